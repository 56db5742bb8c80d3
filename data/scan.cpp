// Key-range scans: the records from the current record's key value up to an end key, in
// key order, that a condition of the expression language accepts. The condition is used
// twice: translated to SQL, so that the server leaves out what it can, and evaluated on each
// record read, which decides. Records come in chunks of 512 rows that never split a group
// of equal keys (the next chunk starts at the cut-off key), or one at a time when the file
// was opened with flag 2. The statement of the next chunk is sent as soon as a chunk
// arrives, so the server prepares it while this one is visited. A group of equal keys that
// fills a whole chunk is read to its end through a cursor of its own. Rows are loaded in
// place into the record buffer: nothing per row goes to the heap and no statement is built
// per row.
#include <cstring>
#include <string>

#include "data/datafile_impl.h"
#include "data/sql.h"
#include "data/sqlcond.h"
#include "expr/eval.h"
#include "runtime/arena.h"
#include "runtime/error.h"
#include "runtime/sysvars.h"

namespace vx::data {

using namespace vx::rt;
using namespace df;

namespace {

enum CondResult : u16 { COND_FALSE = 0, COND_TRUE = 1 };
constexpr u16 GROUP_NAME_MAX = 32;

struct Scan {
    u16 n = 0;
    u16 key = 0;
    const ScanRequest* request = nullptr;
    ScanCounts* counts = nullptr;
    Str sql_condition{"", 0};
};

u16 stop(u16 n, u16 code) {
    state(n).ctrl[CW_SCAN_OUTCOME] = i16(code);
    set_status(n, code);
    return code;
}

// The record now loaded: condition, action and progress. 0 to go on.
u16 visit(Scan& s) {
    const ScanRequest& r = *s.request;
    s.counts->read++;
    if (r.progress && s.counts->read % SCAN_PROGRESS_ROWS == 0)
        if (u16 rc = r.progress(r.context, s.counts->read)) return rc;
    u16 cond = r.condition.n ? expr::expr_condition(r.condition) : u16(COND_TRUE);
    state(s.n).ctrl[CW_SCAN_COND] = i16(cond);
    if (cond == COND_FALSE) return 0;
    if (cond != COND_TRUE) return cond;
    s.counts->accepted++;
    return r.action ? r.action(r.context, s.n) : u16(0);
}

// The server texts of the key's fields that a row shows only approximately: two keys
// that show the same bytes are one key value only when these agree too.
std::string key_server_texts(const ExactRow& row, const KeyFields& kf) {
    std::string out;
    for (const ExactField& e : row.fields)
        for (u16 i = 0; i < kf.count; i++)
            if (kf.field[i] == e.field) out.append(e.literal).push_back(char(i));
    return out;
}

// The first row of the last group of rows sharing one key value (0: every row shares it).
u32 last_group_start(Scan& s, u16 slot, u32 rows) {
    const FileState& f = state(s.n);
    TmpScope scope;
    KeyFields kf;
    if (key_fields(s.n, s.key, &kf)) return 0;
    Str scratch = tmp_alloc(f.record_length, ' ');
    if (!scratch.ok()) return 0;
    ExactRow exact;
    load_image(f, slot, rows - 1, str_mut(scratch), &exact);
    Str last = key_of(s.n, s.key, scratch);
    if (!last.ok()) return 0;
    std::string last_texts = key_server_texts(exact, kf);
    u32 row = rows - 1;
    while (row > 0) {
        TmpScope row_scope;
        load_image(f, slot, row - 1, str_mut(scratch), &exact);
        if (!str_equal(key_of(s.n, s.key, scratch), last) ||
            key_server_texts(exact, kf) != last_texts)
            break;
        row--;
    }
    return row;
}

void hold_chunk(u16 n, u16 slot) {
    i16* w = state(n).ctrl + CW_SCAN_SLOT;
    std::memmove(w + 1, w, (SCAN_SLOTS - 1) * sizeof(i16));
    w[0] = i16(slot);
}

// A statement of the scan on its way: cancelled when the scan ends before collecting it.
struct Ahead {
    SqlPending pending;
    Ahead() = default;
    Ahead(const Ahead&) = delete;
    Ahead& operator=(const Ahead&) = delete;
    ~Ahead() {
        if (pending.active()) sql_cancel(&pending);
    }
};

// Collects a statement sent ahead into a free result slot (current afterwards): 0 with its
// rows, 2 without rows, or the failure. While the server works, the waiting callback is
// asked; its non-zero answer cancels the statement.
u16 collect(Scan& s, Ahead& a, u32* rows, u16* slot) {
    const ScanRequest& r = *s.request;
    s.counts->statements++;
    if (r.waiting)
        while (!sql_is_ready(a.pending, SCAN_WAIT_MS))
            if (u16 rc = r.waiting(r.context, s.counts->read)) {
                sql_cancel(&a.pending);
                return rc;
            }
    u16 rc = sql_collect(&a.pending, SLOT_FREE, rows);
    *slot = u16(sysint_get(SV_SQLSTK));
    return rc;
}

// Takes a collected result as the file's newest scan slot: 168 when three are held already.
u16 hold_collected(u16 n, u16 slot) {
    if (state(n).ctrl[CW_SCAN_SLOT + SCAN_SLOTS - 1]) {
        sql_clear(slot);
        return error_raise(M_DATAFILE, E_DATAOUTBOUND);
    }
    hold_chunk(n, slot);
    return 0;
}

// Loads and visits rows [0, usable) of the chunk in slot.
u16 visit_rows(Scan& s, u16 slot, u32 usable) {
    FileState& f = state(s.n);
    f.ctrl[CW_SCAN_LAST] = i16(usable - 1);
    for (u32 row = 0; row < usable; row++) {
        TmpScope row_scope;
        f.ctrl[CW_SCAN_ROW] = i16(row);
        if (u16 rc = load_row(s.n, slot, row, IMAGE_BOTH, LOAD_SCAN)) return rc;
        if (u16 rc = visit(s)) return rc;
    }
    return 0;
}

// The key value of a row of the chunk in slot; exact receives what its fields show
// approximately.
u16 row_key(Scan& s, u16 slot, u32 row, std::string* key, ExactRow* exact) {
    const FileState& f = state(s.n);
    TmpScope scope;
    Str scratch = tmp_alloc(f.record_length, ' ');
    if (!scratch.ok()) return str_error_code(scratch);
    load_image(f, slot, row, str_mut(scratch), exact);
    Str k = key_of(s.n, s.key, scratch);
    if (!k.ok()) return str_error_code(k);
    key->assign(k.p, k.n);
    return 0;
}

// Sends the chunk from key (lower_op 3) or after it (2), up to the end key.
u16 send_chunk(Scan& s, const std::string& key, const ExactRow& row, u16 lower_op, Ahead& a) {
    TmpScope scope;
    Str from{key.data(), u16(key.size())};
    ExactScope exact(&row);
    Str cond = sql_and(leading_bound(s.n, s.key, from, SQL_GE), s.sql_condition);
    return send(
        sqlgen_scan_chunk(s.n, s.key, from, s.request->end_key, SCAN_CHUNK_ROWS, cond, lower_op),
        &a.pending);
}

u32 group_serial = 0;

// A group of equal keys that fills a whole chunk: read to its end through a cursor of its
// own, a chunk at a time, the next piece fetched while the current one is visited.
u16 scan_group(Scan& s, const std::string& key, const ExactRow& row) {
    TmpScope scope;
    Str name = str_format(GROUP_NAME_MAX, "vx_group_%u", unsigned(++group_serial));
    Str declare;
    {
        ExactScope exact(&row);
        declare = sqlgen_group_declare(name, s.n, s.key, Str{key.data(), u16(key.size())},
                                       s.sql_condition);
    }
    s.counts->statements++;
    if (u16 rc = exec(declare, SLOT_AUTO, nullptr, nullptr)) return rc;
    u16 rc = 0;
    {
        Ahead a;
        rc = send(sqlgen_group_fetch(name, SCAN_CHUNK_ROWS), &a.pending);
        while (!rc) {
            u16 slot = 0;
            u32 rows = 0;
            rc = collect(s, a, &rows, &slot);
            if (rc == SQL_NO_ROWS) {
                rc = 0;
                break;
            }
            if (rc || (rc = hold_collected(s.n, slot))) break;
            bool more = rows >= SCAN_CHUNK_ROWS;
            if (more) rc = send(sqlgen_group_fetch(name, SCAN_CHUNK_ROWS), &a.pending);
            if (!rc) rc = visit_rows(s, slot, rows);
            release_scan(s.n);
            if (!more) break;
        }
    }
    s.counts->statements++;
    u16 closed = exec(sqlgen_group_close(name), SLOT_AUTO, nullptr, nullptr);
    return rc ? rc : closed;
}

u16 scan_chunks(Scan& s, Str start_key) {
    std::string start(start_key.p, start_key.n);
    ExactRow start_row = loaded_exact(s.n);  // what the start key's fields show approximately
    Ahead a;
    if (u16 rc = send_chunk(s, start, start_row, SQL_GE, a)) return stop(s.n, rc);
    for (;;) {
        TmpScope chunk_scope;
        u16 slot = 0;
        u32 rows = 0;
        u16 rc = collect(s, a, &rows, &slot);
        if (rc == SQL_NO_ROWS) return stop(s.n, STATUS_NONE);
        if (rc || (rc = hold_collected(s.n, slot))) return stop(s.n, rc);
        bool full = rows >= SCAN_CHUNK_ROWS;
        u32 usable = full ? last_group_start(s, slot, rows) : rows;
        if (full) {
            // The next chunk starts at the last group's key, sent before this one's rows are
            // visited. A chunk of one key alone is a group of its own, read to its end first.
            rc = row_key(s, slot, usable, &start, &start_row);
            if (!rc && usable == 0) {
                release_scan(s.n);
                rc = scan_group(s, start, start_row);
            }
            if (!rc) rc = send_chunk(s, start, start_row, usable ? SQL_GE : SQL_GT, a);
        }
        if (!rc && usable) rc = visit_rows(s, slot, usable);
        release_scan(s.n);
        if (rc) return stop(s.n, rc);
        if (!full) return stop(s.n, STATUS_NONE);
    }
}

u16 scan_records(Scan& s, Str start_key) {
    const ScanRequest& r = *s.request;
    LoadedRowScope exact(s.n);
    u32 before = datafile_statements();
    u16 rc = read_first_in_range(s.n, start_key, s.sql_condition, r.end_key);
    while (rc == STATUS_EXACT) {
        TmpScope row_scope;
        if ((rc = visit(s))) break;
        rc = move_with(s.n, READ_NEXT, s.sql_condition, r.end_key);
    }
    s.counts->statements += datafile_statements() - before;
    return stop(s.n, rc == STATUS_NEIGHBOUR ? u16(STATUS_NONE) : rc);
}

}  // namespace

namespace df {

void release_scan(u16 n) {
    i16* w = state(n).ctrl + CW_SCAN_SLOT;
    for (u16 i = 0; i < SCAN_SLOTS; i++) {
        if (w[i] > 0) sql_clear(u16(w[i]));
        w[i] = 0;
    }
}

}  // namespace df

u16 datafile_scan(const ScanRequest& request, ScanCounts* counts) {
    ScanCounts local;
    if (!counts) counts = &local;
    *counts = ScanCounts{};
    u16 n;
    if (u16 rc = use(request.file, &n)) return rc;
    if (!request.end_key.ok()) return str_error_code(request.end_key);
    SlotScope keep_slot;
    TmpScope scope;
    Scan s;
    s.n = n;
    s.key = key_number(n, 0);
    s.request = &request;
    s.counts = counts;
    if (request.condition.n) {
        s.sql_condition = sql_condition(n, request.condition);
        if (!s.sql_condition.ok()) return stop(n, str_error_code(s.sql_condition));
    }
    leave_multi(n);
    release_scan(n);
    FileState& f = state(n);
    for (u16 w = CW_SCAN_OUTCOME; w < CW_SCAN_SLOT; w++) f.ctrl[w] = 0;
    Str start = key_of(n, 0, image(n, IMAGE_CURRENT));
    if (!start.ok()) return stop(n, str_error_code(start));
    if (key_blank(start)) start = str_empty();   // a blank record: from the first key on
    if (f.ctrl[CW_FLAGS] & OPEN_ROW_SCAN) return scan_records(s, start);
    return scan_chunks(s, start);
}

}  // namespace vx::data
