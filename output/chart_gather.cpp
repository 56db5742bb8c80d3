// Gathering the figures of a chart: a key-range scan of a data file that accumulates on
// every selected record, either into sums of value expressions or through a step
// expression that assigns array elements itself. The data file is left where it was.
#include <string>

#include "data/datafile.h"
#include "data/sqlcond.h"
#include "expr/eval.h"
#include "output/chart.h"
#include "runtime/arena.h"
#include "runtime/error.h"
#include "runtime/store.h"
#include "screens/progress.h"

namespace vx::out {

using namespace vx::rt;
namespace dt = vx::data;

namespace {

constexpr u16 LIST_RECORDS = 6;   // entry file - 1: the record images of a data file
constexpr char NO_END_KEY[] = "\xFF";

struct Gather {
    Str step;
    i64* sums = nullptr;
    u16 items = 0;
    u32 reported = 0;  // records read that the progress window has been told of
};

// The file's control record, current key value and record images, put back at the end:
// the key, the status and the state of a scan the caller may be in the middle of.
struct Saved {
    u16 file = 0;
    i16 ctrl[dt::CTRL_WORDS] = {};
    std::string key_value;
    std::string images;
};

std::string copy_of(Str s) { return s.ok() ? std::string(s.p, s.n) : std::string(); }
Str view_of(const std::string& s) { return Str{s.data(), u16(s.size())}; }

Saved save(u16 file) {
    TmpScope scope;
    Saved s;
    s.file = file;
    for (u16 w = 0; w < dt::CTRL_WORDS; w++) s.ctrl[w] = dt::datafile_ctrl(file, w);
    s.key_value = copy_of(dt::datafile_key(file, 0));
    s.images = copy_of(store_get(LIST_RECORDS, u16(file - 1)));
    return s;
}

// Another key comes back with a find on the saved key value (which also rebuilds a set of
// records sharing it); then the control words and the images are put back as they were,
// whatever the find read.
void restore(const Saved& s) {
    i16 key = s.ctrl[dt::CW_KEY];
    if (key > 0 && dt::datafile_ctrl(s.file, dt::CW_KEY) != key)
        dt::datafile_find(s.file, u16(key), view_of(s.key_value), dt::FIND_AT_OR_AFTER);
    dt::datafile_ctrl_put_back(s.file, s.ctrl);
    store_set(LIST_RECORDS, u16(s.file - 1), view_of(s.images));
}

// Sums wrap in 64 bits, as every operation on scaled numbers does.
void add_wrapping(i64& sum, i64 v) { sum = i64(std::uint64_t(sum) + std::uint64_t(v)); }

u16 accumulate(void* context, u16) {
    Gather& g = *static_cast<Gather*>(context);
    TmpScope scope;
    expr::Value v;
    if (!g.sums) {
        u16 rc = expr::expr_eval(g.step, v);
        if (rc >= FIRST_ERROR) return rc;
    }
    for (u16 i = 0; g.sums && i < g.items; i++) {
        TmpScope item_scope;
        u16 rc = expr::expr_eval(list_item(g.step, ',', u16(i + 1)), v);
        if (rc >= FIRST_ERROR) return rc;
        if (!v.is_str) add_wrapping(g.sums[i], v.num);
    }
    return 0;
}

// The bar counts the records read (those the translated condition lets through, as the
// estimate does); the window is pumped by time, whether the records are accepted or not.
u16 report_progress(void* context, u32 records_read) {
    Gather& g = *static_cast<Gather*>(context);
    u32 steps = records_read - g.reported;
    g.reported = records_read;
    return scr::progress_tick(steps);
}

// Sizes the progress window with the server's estimate of the records of the range (the
// translated condition narrows it when it translates): an exact count would cost a pass
// over the range of its own.
void open_progress(u16 file, u16 key, Str start, Str end, Str condition) {
    TmpScope scope;
    Str sql = condition.n ? dt::sql_condition(file, condition) : str_empty();
    i64 records = 0;
    if (dt::sql_count_estimate(file, key, start, end, sql.ok() ? sql : str_empty(), &records))
        records = 0;
    scr::progress_open(0, u32(std::min<i64>(std::max<i64>(records, 0), UINT32_MAX)));
}

u16 scan(u16 file, u16 key, Str start, Str end, Str condition, bool progress, Gather& g,
         u32* accepted) {
    u16 rc = dt::datafile_find(file, key, start, dt::FIND_AT_OR_AFTER);
    if (rc != dt::STATUS_EXACT && rc != dt::STATUS_NEIGHBOUR) return rc;
    dt::ScanRequest r;
    r.file = file;
    r.end_key = end;
    r.condition = condition;
    r.action = accumulate;
    r.context = &g;
    if (progress) r.progress = r.waiting = report_progress;
    dt::ScanCounts counts;
    u16 outcome = dt::datafile_scan(r, &counts);
    if (accepted) *accepted = counts.accepted;
    return outcome;
}

}  // namespace

u16 chart_gather(u16 file, u16 key, Str start_key, Str end_key, Str condition, Str step,
                 u16 flags, i64* accumulators, u32* accepted) {
    if (accepted) *accepted = 0;
    u16 n = dt::datafile_number(file);
    if (!n || !dt::datafile_is_open(n)) return error_raise(M_DATAFILE, E_BADFILENUMBER);
    if (!start_key.ok() || !end_key.ok() || !condition.ok() || !step.ok()) return E_DATA;
    TmpScope scope;
    Str end = end_key.n ? end_key : S(NO_END_KEY);
    Gather g;
    g.step = step;
    g.sums = accumulators;
    g.items = accumulators && step.n ? list_count(step, ',') : 0;
    bool progress = flags & GATHER_PROGRESS;
    Saved saved = save(n);
    if (progress) open_progress(n, key, start_key, end, condition);
    u16 rc = scan(n, key, start_key, end, condition, progress, g, accepted);
    if (progress) scr::progress_close();
    restore(saved);
    return rc > E_SILENTSTOP ? rc : u16(0);
}

}  // namespace vx::out
