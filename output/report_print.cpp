// Printing a template onto the device: placing each line (plain lines at their row, relative
// lines below the line printed last, conditional lines one step down), filling its columns
// through their masks and adding numeric columns to the accumulators of _#, the detail loop
// over the records with its group heads and feet, and the page change that prints the
// page-foot lines, moves to the next page and prints the head lines again.
#include <algorithm>
#include <string>

#include "data/datafile.h"
#include "expr/eval.h"
#include "expr/masks.h"
#include "expr/members.h"
#include "expr/structs.h"
#include "expr/value.h"
#include "expr/vars.h"
#include "output/report_internal.h"
#include "runtime/arena.h"
#include "runtime/error.h"
#include "runtime/files.h"
#include "runtime/loop.h"
#include "runtime/store.h"
#include "runtime/sysvars.h"
#include "screens/progress.h"

namespace vx::out {

using namespace vx::rt;
namespace dt = vx::data;

namespace {

constexpr u16 STOP_ATEND = 1;  // the detail loop ends on ATEND$ (a warning)
constexpr char NO_END_KEY[] = "\xFF";
constexpr char LINE_END[] = "\r\n";
constexpr i32 LINE_COUNTER_MAX = 0xFFFF;  // where a device's line counter stops
constexpr char COND_JOIN[] = "&&";
constexpr char NUMERIC_TYPES[] = "N123456789";
constexpr char CONTINUE_SEPS[] = ",;:";

enum class Role : u8 { Body, Head, Foot };
enum class Place : u8 { AtRow, Relative, Below };

bool is_detail(const TemplateLine& t) {
    return t.flags & LF_DETAIL;
}

Role role_of(const TemplateLine& t) {
    bool foot = false, head = false;
    line_member(t, RM_BRKEND, &foot);
    line_member(t, RM_BREAK, &head);
    return foot ? Role::Foot : head ? Role::Head : Role::Body;
}

u16 step_of(const ReportState& r) {
    return r.dev.step ? r.dev.step : DEVICE_STEP_DEFAULT;
}

// The last usable device line of a line (MAXLINE%: 0 the page length, negative counted back
// from it); 0 on a device without pages.
u16 last_usable(const ReportState& r, const TemplateLine& t) {
    if (!r.dev.lines) return 0;
    i64 m = line_number(t, RM_MAXLINE, 0);
    if (m <= 0) m += r.dev.lines;
    return u16(std::clamp<i64>(m, 1, r.dev.lines));
}

std::string replaced(std::string text, const std::string& what, const std::string& by) {
    for (std::size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += by.size())
        text.replace(at, what.size(), by);
    return text;
}

// A condition of the loop: [$] stands for the group's key. 1 true, 0 false, or an error.
u16 holds(const ReportState& r, const std::string& condition) {
    TmpScope scope;
    std::string text = replaced(condition, GROUP_KEY_MARK, r.group_key);
    u16 rc = expr::expr_condition(sv_str(text));
    return rc >= E_CANCELLED ? rc : u16(rc == 1);
}

u16 run_expression(const std::string& text) {
    TmpScope scope;
    expr::Value v;
    u16 rc = expr::expr_eval(sv_str(text), v);
    return rc >= FIRST_ERROR ? rc : u16(0);
}

// ---- Accumulators ----

u16 accumulate(u32 index, i64 value) {
    TmpScope scope;
    Str name = S("_#");
    expr::ArrayInfo a;
    if (expr::array_info(name, &a) != 0 || index >= a.count)
        return error_raise(M_DEVICES, E_DIMSTRUC);
    i64 subs[expr::ARRAY_DIMS_MAX];
    u32 rest = index;
    for (u16 d = a.dims; d-- > 0;) {
        subs[d] = rest % a.sizes[d];
        rest /= a.sizes[d];
    }
    expr::Value v;
    if (u16 rc = expr::array_read(name, subs, a.dims, v)) return rc;
    i64 old = v.is_str ? expr::num_parse(v.str) : v.num;
    return expr::array_assign(name, subs, a.dims,
                              expr::val_num(i64(std::uint64_t(old) + std::uint64_t(value))));
}

// The accumulators the body lines of the detail section add to become 0 (a group ended).
u16 clear_group_totals(const ReportState& r) {
    for (std::size_t i = r.first_detail; i <= r.last_detail; i++) {
        const TemplateLine& t = r.lines[i];
        if (!is_detail(t) || role_of(t) != Role::Body) continue;
        i64 base = line_number(t, RM_TOTALBASE, 0);
        if (base <= 0 || t.masks.empty()) continue;
        std::string cls = "_#('CLS';" + std::to_string(base + i64(t.masks.size())) + ";" +
                          std::to_string(base) + ")";
        if (u16 rc = run_expression(cls)) return rc;
    }
    return 0;
}

// ---- Columns ----

// A field of the current record, for a detail column without an expression.
bool record_field(const ReportState& r, u16 n, expr::Value* v) {
    expr::FieldDesc f;
    if (!r.file || expr::struct_field(r.file, n, &f) != 0) return false;
    Str text = dt::datafile_field(r.file, n);
    if (!text.ok()) return false;
    bool numeric = std::string_view(NUMERIC_TYPES).find(f.type) != std::string_view::npos;
    *v = numeric ? expr::val_num(expr::num_parse(text)) : expr::val_str(text);
    return true;
}

u16 column_text(const ReportState& r, const TemplateLine& t, std::size_t i, i64 base,
                std::string* out) {
    TmpScope scope;
    std::string mask = column_mask(t.masks[i]);
    const std::string& text = i < t.exprs.size() ? t.exprs[i] : std::string();
    expr::Value v;
    if (text.empty()) {
        if (!is_detail(t) || !record_field(r, u16(i + 1), &v)) {
            out->assign(mask.size(), ' ');
            return 0;
        }
    } else {
        u16 rc = expr::expr_eval(sv_str(text), v);
        if (rc >= FIRST_ERROR) return rc;
        if (rc >= E_CANCELLED) v = expr::val_str(str_empty());
    }
    Str value = v.str;
    if (!v.is_str) {
        if (base > 0)
            if (u16 rc = accumulate(u32(base + i64(i)), v.num)) return rc;
        value = expr::num_text(v.num);
    }
    Str shown = mask.empty() ? value
                             : expr::mask_apply(
                                   sv_str(mask), value,
                                   u16((v.is_str ? 0 : expr::MASK_NUMBER) | expr::MASK_POSITIONAL));
    if (!shown.ok()) return str_error_code(shown);
    out->assign(shown.p, shown.n);
    return 0;
}

// The text of a line: its columns joined by one blank, or the layout as written.
u16 line_text(const ReportState& r, const TemplateLine& t, std::string* out) {
    if (!t.flags) {
        *out = t.text;
        return 0;
    }
    out->clear();
    i64 base = line_number(t, RM_TOTALBASE, 0);
    for (std::size_t i = 0; i < t.masks.size(); i++) {
        std::string col;
        if (u16 rc = column_text(r, t, i, base, &col)) return rc;
        if (i) out->push_back(' ');
        *out += col;
    }
    return 0;
}

// ---- Placing and printing one line ----

u16 move_to(ReportState& r, i32 line, u16 col) {
    if (line < 1) line = 1;
    if (!r.dev.lines) {
        // A stream without pages cannot go back: a line above the current one starts a new line.
        if (line < r.dev.line) {
            if (r.dev.col > 1)
                if (u16 rc = dev_write(r.dev, S(LINE_END))) return rc;
            line = r.dev.line;
        }
        // Its line counter stops at its ceiling while the stream goes on: a line beyond it is
        // reached by as many line ends as it lies below the counter (no more than a positioning
        // writes), and only the column is left.
        if (line > LINE_COUNTER_MAX) {
            for (i32 n = std::min<i32>(line - r.dev.line, LINE_COUNTER_MAX); n > 0; n--)
                if (u16 rc = dev_write(r.dev, S(LINE_END))) return rc;
            line = 0;
        }
    }
    return dev_position(r.dev, u16(std::min<i32>(line, LINE_COUNTER_MAX)), col);
}

// The device line a line goes to.
i32 target_line(const ReportState& r, const TemplateLine& t, Place how, i32 row) {
    i32 st = step_of(r);
    i32 at_col1 = r.dev.col == 1 ? st : 0;
    switch (how) {
        case Place::AtRow:
            return row;
        case Place::Relative: {
            i32 delta = i32(t.row) - i32(r.prev_row);
            return i32(r.dev.line) + std::max<i32>(delta, 1) - at_col1;
        }
        case Place::Below:
            return i32(r.dev.line) + st - at_col1;
    }
    return row;
}

Place placement_of(const TemplateLine& t) {
    if (t.row == 0) return Place::Below;
    return t.flags & LF_RELATIVE ? Place::Relative : Place::AtRow;
}

// Prints line idx: placed as `how` says (at `row` for AtRow). *printed tells whether it was
// (a conditional line whose condition is false prints nothing and moves nothing).
u16 print_line_as(ReportState& r, std::size_t idx, Place how, i32 row, bool* printed = nullptr) {
    const TemplateLine& t = r.lines[idx];
    if (printed) *printed = false;
    dev_publish(r.dev);
    if (t.row == 0) {
        u16 c = holds(r, t.condition);
        if (c >= FIRST_ERROR) return c;
        if (c != 1) return 0;
    }
    if (u16 rc = move_to(r, target_line(r, t, how, how == Place::AtRow ? row : t.row), t.col))
        return rc;
    if (t.row) r.prev_row = t.row;
    std::string text;
    if (u16 rc = line_text(r, t, &text)) return rc;
    if (r.dev.line == 1) dev_size_from_vars(r.dev);
    bool wide = false;
    i64 wd = line_number(t, RM_WD, -1);
    line_member(t, RM_WD, &wide);
    u16 width = r.dev.width;
    if (wide && wd >= 0) r.dev.width = u16(std::min<i64>(wd, 0xFFFF));
    u16 rc = text.empty() ? u16(0) : dev_write(r.dev, sv_str(text));
    r.dev.width = width;
    if (printed) *printed = !rc;
    return rc;
}

u16 print_line(ReportState& r, std::size_t idx, bool* printed = nullptr) {
    const TemplateLine& t = r.lines[idx];
    return print_line_as(r, idx, placement_of(t), t.row, printed);
}

// ---- Pages ----

// CONTINUE% of a line: the device line (negative: back from the page length) and the rows
// the detail lines move up on the pages that follow.
bool continue_of(const ReportState& r, const TemplateLine& t, i32* line, u16* back) {
    bool has = false;
    std::string text = line_member(t, RM_CONTINUE, &has);
    if (!has || text.empty()) return false;
    std::size_t sep = text.find_first_of(CONTINUE_SEPS);
    TmpScope scope;
    *line = i32(expr::expr_whole(sv_str(text.substr(0, sep))));
    if (*line <= 0) *line += r.dev.lines;
    i64 n = sep == std::string::npos ? 0 : expr::expr_whole(sv_str(text.substr(sep + 1)));
    *back = u16(std::clamp<i64>(n, 0, 0xFFFF));
    return true;
}

// The page is full: page-foot lines (doubled markers after the detail section) while the
// device is above their last usable line, then line 1 of the next page and the head lines
// again, up to a line whose CONTINUE% ends the walk.
u16 page_change(ReportState& r) {
    for (std::size_t i = r.last_detail + 1; i < r.lines.size(); i++) {
        const TemplateLine& t = r.lines[i];
        if ((t.flags & LF_DOUBLED) && r.dev.line < last_usable(r, t))
            if (u16 rc = print_line(r, i)) return rc;
    }
    if (r.dev.line > 1 || r.dev.col > 1)
        if (u16 rc = dev_position(r.dev, 1, 1)) return rc;
    r.prev_row = 0;
    r.back = 0;
    for (std::size_t i = 0; i < r.first_detail; i++) {
        bool printed = false;
        if (u16 rc = print_line(r, i, &printed)) return rc;
        i32 line = 0;
        u16 back = 0;
        if (printed && continue_of(r, r.lines[i], &line, &back) && r.dev.line >= line) {
            r.back = back;
            break;
        }
    }
    r.page_fresh = true;
    return 0;
}

// The device line of the next detail step, whose first line stands at template row `first`:
// on a fresh page that row (less the rows CONTINUE% moved up), else the line after the last
// step by LINESTEP% and EXTRASTEP%, never above what the last step printed. A full page is
// changed first; a page that cannot hold one step takes one all the same.
u16 step_begin(ReportState& r, u16 first, i32* row) {
    const TemplateLine& body = r.lines[r.body];
    for (int pass = 0; pass < 2; pass++) {
        i32 next_free = i32(r.dev.line) + (r.dev.col > 1 ? 1 : 0);
        i32 at = 0;
        if (r.page_fresh) {
            at = std::max<i32>(i32(first) - r.back, next_free);
        } else {
            i32 linestep = r.last_linestep > 0 ? r.last_linestep : step_of(r);
            i64 extra = line_number(body, RM_EXTRASTEP, 0);
            at = std::max<i32>(i32(r.step_row) + linestep, next_free) +
                 i32(std::clamp<i64>(extra, -LINE_COUNTER_MAX, LINE_COUNTER_MAX));
        }
        if (!r.dev.lines || r.page_fresh || at <= last_usable(r, body) || pass) {
            *row = std::max<i32>(at, 1);
            return 0;
        }
        if (u16 rc = page_change(r)) return rc;
    }
    return 0;
}

// ---- Detail steps ----

// Walks the detail section printing the detail lines of the roles wanted, each with the
// lines of its block; the first one at the step's row, the others below it as their rows
// stand in the template.
bool wanted(const TemplateLine& t, bool heads, bool bodies, bool feet) {
    Role role = role_of(t);
    return (role == Role::Head && heads) || (role == Role::Body && bodies) ||
           (role == Role::Foot && feet);
}

u16 print_step(ReportState& r, bool heads, bool bodies, bool feet) {
    u16 first = 0;
    for (std::size_t i = r.first_detail; i <= r.last_detail && !first; i++)
        if (is_detail(r.lines[i]) && wanted(r.lines[i], heads, bodies, feet))
            first = std::max<u16>(r.lines[i].row, 1);
    if (!first) return 0;
    i32 row = 0;
    if (u16 rc = step_begin(r, first, &row)) return rc;
    bool in_block = false, placed = false;
    for (std::size_t i = r.first_detail; i <= r.last_detail; i++) {
        const TemplateLine& t = r.lines[i];
        if (is_detail(t)) {
            in_block = wanted(t, heads, bodies, feet);
            if (!in_block) continue;
            u16 rc = placed ? print_line_as(r, i, Place::Relative, 0)
                            : print_line_as(r, i, Place::AtRow, row);
            if (rc) return rc;
            placed = true;
        } else if (in_block) {
            if (u16 rc = print_line(r, i)) return rc;
        }
    }
    if (!placed) return 0;
    r.step_row = u16(std::min<i32>(row, LINE_COUNTER_MAX));
    r.last_linestep = i16(std::clamp<i64>(line_number(r.lines[r.body], RM_LINESTEP, 0), 0, 0x7FFF));
    r.page_fresh = false;
    r.steps++;
    return 0;
}

bool has_role(const ReportState& r, Role role) {
    for (std::size_t i = r.first_detail; i <= r.last_detail; i++)
        if (is_detail(r.lines[i]) && role_of(r.lines[i]) == role) return true;
    return false;
}

// Whether the record now loaded breaks the group: a foot's BRKEND$ (empty: the default) or
// a head's BREAK$ holds on it.
u16 group_breaks(const ReportState& r) {
    for (std::size_t i = r.first_detail; i <= r.last_detail; i++) {
        const TemplateLine& t = r.lines[i];
        if (!is_detail(t)) continue;
        Role role = role_of(t);
        if (role == Role::Body) continue;
        std::string c = line_member(t, role == Role::Foot ? RM_BRKEND : RM_BREAK);
        if (c.empty()) {
            if (role == Role::Head) continue;
            c = BRKEND_DEFAULT;
        }
        u16 h = holds(r, c);
        if (h != 0) return h;
    }
    return 0;
}

u16 close_group(ReportState& r) {
    if (!r.group_open) return 0;
    r.group_open = false;
    if (!has_role(r, Role::Foot)) return 0;
    if (u16 rc = print_step(r, false, false, true)) return rc;
    return clear_group_totals(r);
}

// The first key part of the current record: what [$] stands for in the group's conditions.
std::string group_key_now(const ReportState& r) {
    if (r.source != Source::Scan) return std::string();
    TmpScope scope;
    expr::KeyDesc k;
    Str key = dt::datafile_key(r.file, r.key);
    if (!key.ok()) return std::string();
    u16 n = expr::struct_key(r.file, r.key, &k) == 0 && k.parts ? k.part[0].length : key.n;
    return std::string(key.p, std::min(n, key.n));
}

std::string atend_of(const ReportState& r) {
    bool has = false;
    std::string text = line_member(r.lines[r.body], RM_ATEND, &has);
    if (!has && sysint_bit(SV_UPSTAT, UPSTAT_OWN_RECORDS)) text = ATEND_OWN_RECORDS;
    return text;
}

// One record: ATEND$, the group's end and start, the record's lines, a progress step.
u16 on_record(ReportState& r) {
    std::string atend = atend_of(r);
    if (!atend.empty()) {
        u16 c = holds(r, atend);
        if (c >= FIRST_ERROR) return c;
        if (c == 1) return STOP_ATEND;
    }
    bool start = !r.group_open;
    if (r.group_open) {
        u16 b = group_breaks(r);
        if (b >= FIRST_ERROR) return b;
        if (b == 1) {
            if (u16 rc = close_group(r)) return rc;
            start = true;
        }
    }
    if (start) {
        r.group_open = true;
        r.group_key = group_key_now(r);
    }
    if (u16 rc = print_step(r, start, true, false)) return rc;
    return r.progress ? scr::progress_tick(1) : u16(0);
}

// Every few hundred records read, printed or not: the window is pumped by time, so that
// Cancel is answered even while the condition rejects every record.
u16 scan_progress(void* context, u32) {
    return static_cast<ReportState*>(context)->progress ? scr::progress_tick(0) : u16(0);
}

u16 scan_action(void* context, u16) {
    TmpScope scope;
    return on_record(*static_cast<ReportState*>(context));
}

std::string joined(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) return a.empty() ? b : a;
    return "(" + a + ")" + COND_JOIN + "(" + b + ")";
}

u16 loop_scan(ReportState& r) {
    TmpScope scope;
    u16 found = dt::datafile_find(r.file, r.key, sv_str(r.first_key), dt::FIND_AT_OR_AFTER);
    if (found != dt::STATUS_EXACT && found != dt::STATUS_NEIGHBOUR)
        return found >= FIRST_ERROR ? found : u16(0);
    std::string own = line_member(r.lines[r.body], RM_COND);
    std::string condition = joined(
        r.condition,
        own.empty() ? own : std::string(str_sv(expr::expr_expand(sv_str(own), 0, str_empty()))));
    dt::ScanRequest q;
    q.file = r.file;
    q.end_key = r.to.empty() ? S(NO_END_KEY) : sv_str(r.to);
    q.condition = sv_str(condition);
    q.action = scan_action;
    q.progress = q.waiting = scan_progress;
    q.context = &r;
    dt::ScanCounts counts;
    u16 rc = dt::datafile_scan(q, &counts);
    return rc <= dt::STATUS_NONE ? u16(0) : rc;
}

// The lines of the input file, each kept as the top of list 30 while it is printed.
u16 loop_input(ReportState& r) {
    u16 h = u16(sysint_get(SV_INHND));
    u16 depth = store_count(RESULT_LIST);
    u16 rc = 0;
    while (!rc && h && !file_at_end(h)) {
        TmpScope scope;
        Str line = input_next_line();
        if (store_count(RESULT_LIST) > depth) store_drop(RESULT_LIST);
        if ((rc = store_push(RESULT_LIST, line))) break;
        rc = on_record(r);
    }
    store_truncate(RESULT_LIST, depth);
    return rc;
}

// Without records: the block repeats until ATEND$ holds, once when there is none. Each pass
// is a pass of the languages' loops, so a cancel or a budget of passes ends it with 122.
u16 loop_free(ReportState& r) {
    bool once = atend_of(r).empty();
    for (u32 n = 0; n < FREE_STEPS_MAX; n++) {
        TmpScope scope;
        if (u16 rc = on_record(r)) return rc;
        if (once) return 0;
        if (u16 rc = loop_step()) return rc;
    }
    error_raise(M_DEVICES, E_LOOP);
    return fail_with_detail(E_LOOP, S("ATEND$"), false);
}

u16 detail_loop(ReportState& r) {
    u16 rc = 0;
    switch (r.source) {
        case Source::Scan:
            rc = loop_scan(r);
            break;
        case Source::Input:
            rc = loop_input(r);
            break;
        case Source::Free:
            rc = loop_free(r);
            break;
    }
    if (rc == STOP_ATEND) rc = 0;
    if (rc) return rc;
    return close_group(r);
}

}  // namespace

std::string member_written(u16 number) {
    TmpScope scope;
    Str v = str_trim(str_unquote(str_trim(expr::member_value(number), TRIM_BOTH)), TRIM_BOTH);
    return std::string(str_sv(v));
}

std::string line_member(const TemplateLine& t, u16 number, bool* has) {
    if (has) *has = false;
    if (t.attrs.empty()) return std::string();
    TmpScope scope;
    Str key = expr::member_key(number);
    Str attrs = sv_str(t.attrs);
    OptPos at = opt_find(attrs, key, 0);
    if (!at.found()) return std::string();
    if (has) *has = true;
    Str v =
        str_trim(str_unquote(str_trim(str_view(attrs.p + at.pos, at.len), TRIM_BOTH)), TRIM_BOTH);
    return std::string(str_sv(v));
}

i64 line_number(const TemplateLine& t, u16 number, i64 fallback) {
    std::string text = line_member(t, number);
    if (text.empty()) return fallback;
    TmpScope scope;
    return expr::expr_whole(sv_str(text));
}

void report_sections(ReportState& r) {
    r.has_detail = false;
    for (std::size_t i = 0; i < r.lines.size(); i++) {
        if (!is_detail(r.lines[i])) continue;
        if (!r.has_detail) r.first_detail = i;
        r.has_detail = true;
        r.last_detail = i;
    }
    if (!r.has_detail) {
        r.first_detail = r.last_detail = r.lines.size();
        return;
    }
    while (r.last_detail + 1 < r.lines.size() && r.lines[r.last_detail + 1].row == 0)
        r.last_detail++;
    r.body = r.first_detail;
    for (std::size_t i = r.first_detail; i <= r.last_detail; i++)
        if (is_detail(r.lines[i]) && role_of(r.lines[i]) == Role::Body) {
            r.body = i;
            break;
        }
}

u16 report_print(ReportState& r) {
    r.prev_row = 0;
    r.step_row = 0;
    r.last_linestep = 0;
    r.page_fresh = true;
    r.back = 0;
    r.group_open = false;
    r.steps = 0;
    std::size_t head_end = r.has_detail ? r.first_detail : r.lines.size();
    for (std::size_t i = 0; i < head_end; i++)
        if (u16 rc = print_line(r, i)) return rc;
    if (r.has_detail) {
        if (u16 rc = detail_loop(r)) return rc;
        for (std::size_t i = r.last_detail + 1; i < r.lines.size(); i++)
            if (u16 rc = print_line(r, i)) return rc;
    }
    // The last line is ended and, on a device with pages, the page is completed. The line
    // end comes first: positioning would take a last line on line 1 as line 1 reached.
    if (r.dev.col > 1)
        if (u16 rc = dev_write(r.dev, S(LINE_END))) return rc;
    return r.dev.lines && r.dev.line > 1 ? dev_position(r.dev, 1, 1) : u16(0);
}

}  // namespace vx::out
