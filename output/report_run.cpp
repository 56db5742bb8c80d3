// The report task and the run of one report: the definition or template named by the task,
// its procedure loaded and its data files opened for the run, the limits form asked again
// after each report; for each run the first record in range found (with progress), the
// device chosen, the AUXLOAD$ record pushed, the template read and printed once per copy
// (COUNTER$), the whole run repeated while EOT_EXP$ holds, and the device finished.
#include <algorithm>
#include <string>

#include "data/datafile.h"
#include "data/sqlcond.h"
#include "expr/eval.h"
#include "expr/funcs_hooks.h"
#include "expr/members.h"
#include "expr/structs.h"
#include "expr/vars.h"
#include "output/pdf.h"
#include "output/report_internal.h"
#include "prc/compile.h"
#include "runtime/arena.h"
#include "runtime/env.h"
#include "runtime/error.h"
#include "runtime/files.h"
#include "runtime/msg.h"
#include "runtime/paths.h"
#include "runtime/store.h"
#include "runtime/sysvars.h"
#include "runtime/tasks.h"
#include "screens/accept.h"
#include "screens/progress.h"

namespace vx::out {

using namespace vx::rt;
namespace dt = vx::data;

namespace {

constexpr u16 MSG_LIMITS = 81;  // "Captura de Limites de Informe"
constexpr u16 MSG_NO_TEMPLATE = 10;
constexpr u16 FOUND_FIRST = 1;        // the search for the first record stops on it
constexpr u16 ANOTHER_RANGE_MAX = 2;  // results after which the limits form is asked again
constexpr u16 DEFINITION_KIND = 1;    // code in columns 1-2, text from column 4
constexpr std::size_t CODE_WIDTH = 2, TEXT_COLUMN = 3, ROW_COL_WIDTH = 5;
constexpr char DEFINITION_EXT[] = "PPN";
constexpr char RESTORE_WORD[] = "RESTORE";
constexpr char NO_END_KEY[] = "\xFF";
constexpr char COND_JOIN[] = "&&";
constexpr char DEVICE_SEP[] = " /";
constexpr const char* DEVICE_OPTIONS[] = {"LP", "WD", "ST", "VW", "LANDSCAPE"};
constexpr i64 COPIES_MAX = 9999;
constexpr char ROW_COL_CHARS[] = " 0123456789";

std::string joined(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) return a.empty() ? b : a;
    return "(" + a + ")" + COND_JOIN + "(" + b + ")";
}

std::string expanded(const std::string& text) {
    if (text.empty()) return text;
    TmpScope scope;
    Str e = expr::expr_expand(sv_str(text), 0, str_empty());
    return e.ok() ? std::string(str_sv(e)) : text;
}

std::string right_trimmed(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
    return s;
}

i64 whole_of(const std::string& text, i64 fallback) {
    if (text.empty()) return fallback;
    TmpScope scope;
    return expr::expr_whole(sv_str(text));
}

// DEVICE$: its commas become " /" where an option follows ("LPT1,LP:66"); the commas of a
// serial port's settings stay.
std::string device_text_of(std::string text) {
    for (std::size_t at = 0; (at = text.find(',', at)) != std::string::npos; at++) {
        bool option = false;
        for (const char* key : DEVICE_OPTIONS) {
            std::size_t n = std::char_traits<char>::length(key);
            if (text.compare(at + 1, n, key) == 0 &&
                (text.size() == at + 1 + n || text[at + 1 + n] == ':' || text[at + 1 + n] == '=' ||
                 text[at + 1 + n] == ' '))
                option = true;
        }
        if (option) text.replace(at, 1, DEVICE_SEP);
    }
    return text;
}

// ---- Accumulators, parameter records ----

u16 make_accumulators() {
    TmpScope scope;
    expr::ArrayInfo a;
    if (expr::array_info(S("_#"), &a) == 0) return 0;
    u16 dims[] = {u16(ACCUMULATORS_DEFAULT - 1)};
    return expr::array_declare(S("_#"), expr::ARRAY_NUM, dims, 1, sizeof(i64));
}

// AUXLOAD$: "file;n" items; the lines of code n of each file (read as kind n) joined into
// one record pushed for the run. The report's own record follows them in it, so that a
// member the auxiliary files leave out still reads as the definition gives it.
u16 push_auxload() {
    std::string items = string_or_written(member_written(RM_AUXLOAD));
    if (items.empty()) return 0;
    TmpScope scope;
    Str list = sv_str(items);
    std::string record;
    for (u16 k = 1, n = list_count(list, ','); k <= n; k++) {
        TmpScope item_scope;
        Str item = str_trim(list_item(list, ',', k), TRIM_BOTH);
        Str file = str_trim(list_item(item, ';', 1), TRIM_BOTH);
        i16 code = str_to_int(str_trim(list_item(item, ';', 2), TRIM_BOTH));
        if (!file.n) continue;
        Str path = path_find(env_get(ENV_DATA), file);
        u16 rc = expr::parm_load(path.ok() && path.n ? path : file, u16(std::max<i16>(code, 0)),
                                 u32(std::max<i16>(code, 0)), nullptr);
        if (rc == E_NODATA) continue;
        if (rc) return rc;
        Str top = expr::parm_top();
        if (!record.empty() && top.n) record += ':';
        record.append(top.p, top.n);
        expr::parm_pop();
    }
    Str own = expr::parm_top();
    if (!record.empty() && own.n) record += ':';
    record.append(own.p, own.n);
    if (record.size() > MAX_STR) {
        error_raise(M_DEVICES, E_STRINGTOOLONG);
        return fail_with_detail(E_STRINGTOOLONG, S("AUXLOAD$"), false);
    }
    return expr::parm_push(sv_str(record));
}

// ---- The first record ----

u16 search_progress(void* context, u32) {
    return *static_cast<bool*>(context) ? scr::progress_step(0) : u16(0);
}

u16 stop_at_first(void*, u16) {
    return FOUND_FIRST;
}

// Positions the current data file on the first record in range that satisfies the
// condition and keeps its key: 0, 127 when there is none, 122 when cancelled.
u16 find_first(ReportState& r, const std::string& from, bool progress) {
    TmpScope scope;
    u16 found = dt::datafile_find(r.file, r.key, sv_str(from), dt::FIND_AT_OR_AFTER);
    if (found >= FIRST_ERROR) return found;
    if (found != dt::STATUS_EXACT && found != dt::STATUS_NEIGHBOUR) return E_NODATA;
    dt::ScanRequest q;
    q.file = r.file;
    q.end_key = r.to.empty() ? S(NO_END_KEY) : sv_str(r.to);
    q.condition = sv_str(r.condition);
    q.action = stop_at_first;
    q.progress = search_progress;
    q.context = &progress;
    dt::ScanCounts counts;
    u16 rc = dt::datafile_scan(q, &counts);
    if (progress) scr::progress_close();
    if (rc != FOUND_FIRST) return rc <= dt::STATUS_NONE ? u16(E_NODATA) : rc;
    Str key = dt::datafile_key(r.file, r.key);
    if (!key.ok()) return str_error_code(key);
    r.first_key.assign(key.p, key.n);
    return 0;
}

// ---- Progress ----

// The server's estimate of the records of the range, for the bar: an exact count would cost
// a pass over the range of its own.
u32 records_in_range(const ReportState& r) {
    if (r.source != Source::Scan) return 0;
    TmpScope scope;
    Str sql = r.condition.empty() ? str_empty() : dt::sql_condition(r.file, sv_str(r.condition));
    i64 records = 0;
    Str end = r.to.empty() ? S(NO_END_KEY) : sv_str(r.to);
    if (dt::sql_count_estimate(r.file, r.key, sv_str(r.first_key), end,
                               sql.ok() ? sql : str_empty(), &records))
        return 0;
    return u32(std::clamp<i64>(records, 0, INT32_MAX));
}

// PROG_MODE$: "PROGRESS" the bar, "NONE" nothing, any other text (the title when empty) a
// window showing that text.
void progress_start(ReportState& r, const std::string& mode, const std::string& title) {
    TmpScope scope;
    r.progress = mode != PROGRESS_NONE;
    if (mode == PROGRESS_STANDARD)
        scr::progress_open(0, records_in_range(r));
    else if (r.progress)
        scr::progress_text(sv_str(mode.empty() ? title : mode));
}

// ---- The run ----

u16 no_template() {
    TmpScope scope;
    error_raise(M_DEVICES, E_FILENOTFOUND);
    return fail_with_detail(E_FILENOTFOUND, msg_text_id(MSG_NO_TEMPLATE), false);
}

u16 choose_device(const ReportRequest& q, std::string* text) {
    TmpScope scope;
    Str given = sv_str(q.device);
    if (device_name(given).n) {
        *text = q.device;
        return 0;
    }
    if (!q.chooser) {
        *text = "CON" + q.device;
        return 0;
    }
    Str current = q.device.empty() ? store_get(DEVICE_LIST, DEVICE_CHOSEN_ENTRY) : given;
    Str chosen = device_select(current);
    if (!chosen.ok() || !chosen.n) return E_CANCELLED;
    text->assign(chosen.p, chosen.n);
    return 0;
}

// Step 2: where the records come from, and the first of them.
u16 select_records(ReportState& r, const ReportRequest& q, bool progress) {
    bool own = sysint_bit(SV_UPSTAT, UPSTAT_OWN_RECORDS);
    u16 file = dt::datafile_number(0);
    if (own) {
        r.source = Source::Free;
    } else if (file && dt::datafile_is_open(file)) {
        r.source = Source::Scan;
        r.file = file;
        r.key = u16(
            std::clamp<i64>(whole_of(string_or_written(member_written(RM_INDEX)), 1), 1, 0x7FFF));
        r.to = q.to;
        return find_first(r, right_trimmed(q.from), progress);
    } else {
        u16 h = u16(sysint_get(SV_INHND));
        r.source = h && !file_at_end(h) ? Source::Input : Source::Free;
    }
    return 0;
}

u16 read_template(ReportState& r, const ReportRequest& q) {
    if (q.name.empty() && q.lines.empty()) return no_template();
    TmpScope scope;
    u16 rc = q.name.empty() ? template_from_lines(q.lines, &r.lines)
                            : template_read(sv_str(q.name), &r.lines);
    if (rc) return rc;
    report_sections(r);
    return 0;
}

// Steps 7 to 10 once the records and the template are known: the device, the copies, the
// repetitions.
u16 print_all(ReportState& r, const ReportRequest& q) {
    std::string device;
    if (u16 rc = choose_device(q, &device)) return rc == E_CANCELLED ? 0 : rc;
    TmpScope scope;
    std::string title = string_or_written(member_written(RM_TITLE));
    if (title.empty()) title = q.name;
    if (dev_open(r.dev, sv_str(device), sv_str(title))) {
        u16 rc = r.dev.error;
        dev_close(r.dev);
        return rc;
    }
    progress_start(r, member_written(RM_PROG_MODE), title);
    i64 copies =
        std::clamp<i64>(whole_of(string_or_written(member_written(RM_COUNTER)), 0), 0, COPIES_MAX) +
        1;
    u16 rc = make_accumulators();
    for (u32 run = 0; !rc && run < RUNS_MAX; run++) {
        for (i64 c = 0; !rc && c < copies; c++) {
            if (!sysint_bit(SV_AUXSTAT, AUXSTAT_KEEP_TOTALS)) {
                expr::Value v;
                u16 cls = expr::expr_eval(S("_#('CLS')"), v);
                if (cls >= FIRST_ERROR) rc = cls;
            }
            if (!rc) rc = report_print(r);
        }
        if (rc || q.repeat.empty()) break;
        u16 again = expr::expr_condition(sv_str(q.repeat));
        if (again >= FIRST_ERROR) rc = again;
        if (again != 1) break;
    }
    if (r.progress) scr::progress_close();
    bool ok = rc <= E_CANCELLED;
    if (ok) {
        u16 finished = dev_finish(r.dev);
        if (finished >= FIRST_ERROR) rc = finished;
    }
    u16 closed = ok ? dev_close(r.dev) : dev_discard(r.dev);
    if (rc <= E_CANCELLED && closed) rc = closed;
    return rc <= E_CANCELLED ? u16(0) : rc;
}

u16 run_steps(ReportState& r, const ReportRequest& q) {
    std::string progress_mode = member_written(RM_PROG_MODE);
    if (u16 rc = read_template(r, q)) return rc;
    if (u16 rc = select_records(r, q, progress_mode != PROGRESS_NONE))
        return rc == E_CANCELLED ? u16(0) : rc;
    {
        TmpScope scope;
        if (u16 rc = pdf_choose_image(sv_str(q.origin.empty() ? q.name : q.origin))) return rc;
    }
    if (!q.start.empty()) {
        TmpScope scope;
        u16 c = expr::expr_condition(sv_str(q.start));
        if (c >= FIRST_ERROR) return c;
        if (c != 1) return E_NODATA;
    }
    return print_all(r, q);
}

}  // namespace

u16 report_run(const ReportRequest& request) {
    std::string image;
    {
        TmpScope scope;
        image.assign(str_sv(store_get(DEVICE_LIST, PDF_IMAGE_ENTRY)));
    }
    i16 aux = sysint_get(SV_AUX);
    sysint_set(SV_AUX, 0);
    u16 depth = expr::parm_depth();
    u16 template_lines = store_count(TEMPLATE_LIST);
    ReportRequest q = request;
    if (!sysint_bit(SV_UPSTAT, UPSTAT_OWN_RECORDS))
        q.condition = joined(q.condition, expanded(member_written(RM_COND)));
    ReportState r;
    r.condition = q.condition;
    u16 rc = push_auxload();
    if (!rc) rc = run_steps(r, q);
    if (r.dev.open) dev_discard(r.dev);
    store_truncate(TEMPLATE_LIST, template_lines);
    while (expr::parm_depth() > depth) expr::parm_pop();
    sysint_set(SV_AUX, aux);
    {
        TmpScope scope;
        store_set(DEVICE_LIST, PDF_IMAGE_ENTRY, sv_str(image));
    }
    return rc;
}

// ---- The report task ----

namespace {

struct OpenScope {
    bool pushed = false, base = false;
    i16 current = 0;
};

// The files of the open text for the run; a set of the files open now goes below it when
// the stack is empty, so that RESTORE has one to go back to.
u16 open_for_run(const std::string& text, OpenScope& s) {
    s.current = sysint_get(SV_CURFIL);
    if (text.empty()) return 0;
    TmpScope scope;
    if (!store_count(expr::LIST_OPEN_SETS)) {
        u16 files = expr::struct_count();
        Str bytes = tmp_alloc(files, 0);
        if (!bytes.ok()) return str_error_code(bytes);
        for (u16 n = 1; n <= files; n++)
            str_mut(bytes)[n - 1] = dt::datafile_is_open(n) ? char(dt::OPEN_PLAIN) : 0;
        if (u16 rc = store_push(expr::LIST_OPEN_SETS, bytes)) return rc;
        s.base = true;
    }
    u16 before = store_count(expr::LIST_OPEN_SETS);
    u16 rc = dt::datafile_select(sv_str(text));
    s.pushed = store_count(expr::LIST_OPEN_SETS) > before;
    if (rc >= FIRST_ERROR) return rc;
    Str list = sv_str(text);
    for (u16 k = list_count(list, ','); k >= 1; k--) {
        u16 file =
            expr::struct_number(str_trim(list_item(list_item(list, ',', k), ';', 1), TRIM_BOTH));
        if (file) {
            sysint_set(SV_CURFIL, i16(file));
            break;
        }
    }
    return 0;
}

void open_undo(OpenScope& s) {
    if (s.pushed) dt::datafile_select(S(RESTORE_WORD));
    if (s.base) store_drop(expr::LIST_OPEN_SETS);
    sysint_set(SV_CURFIL, s.current);
}

bool digits_only(Str s) {
    if (!s.n || s.n > CODE_WIDTH) return false;
    for (u16 i = 0; i < s.n; i++)
        if (s.at(i) < '0' || s.at(i) > '9') return false;
    return true;
}

// The lines of definition n that are template lines (row and column digits first).
std::vector<std::string> own_template_lines(Str path, u16 number) {
    std::vector<std::string> lines;
    TmpScope scope;
    u16 h = file_open(path, FM_READ | FM_NOUPDATE | FM_QUIET);
    if (!file_handle_ok(h)) return lines;
    while (!file_at_end(h) && lines.size() < TEMPLATE_LINES_MAX) {
        TmpScope per_line;
        Str line = file_read_line(h);
        if (!line.ok()) break;
        std::string_view s = str_sv(line);
        if (s.size() <= TEXT_COLUMN + ROW_COL_WIDTH) continue;
        u16 code = 0;
        bool coded = true;
        for (std::size_t i = 0; i < CODE_WIDTH; i++) {
            char c = s[i] == ' ' ? '0' : s[i];
            coded = coded && c >= '0' && c <= '9';
            code = u16(code * 10 + (c - '0'));
        }
        std::string_view text = s.substr(TEXT_COLUMN);
        if (coded && code == number &&
            text.substr(0, ROW_COL_WIDTH).find_first_not_of(ROW_COL_CHARS) ==
                std::string_view::npos)
            lines.emplace_back(text);
    }
    file_close(h);
    return lines;
}

struct Task {
    std::string path;  // a definitions file, "" for a template
    u16 number = 0;
    u16 flags = 0;
    std::string docname;  // "template;procedure"
};

u16 bad_argument(Str args) {
    error_raise(M_DEVICES, E_SYNTAX);
    return fail_with_detail(E_SYNTAX, args, false);
}

// "file.ppn,n[,flags]" or "template[;procedure][,flags]": the record pushed.
u16 task_parse_args(Str args, Task* t) {
    TmpScope scope;
    Str a = str_trim(args, TRIM_BOTH);
    u16 items = list_count(a, ',');
    if (!items || items > 3) return bad_argument(args);
    Str first = path_expand(str_trim(list_item(a, ',', 1), TRIM_BOTH));
    Str second = str_trim(list_item(a, ',', 2), TRIM_BOTH);
    Str file = str_trim(list_item(first, ';', 1), TRIM_BOTH);
    bool definitions = str_equal_nocase(path_part(file, PART_EXT), S(DEFINITION_EXT));
    if (definitions) {
        if (!digits_only(second) || !(t->number = u16(str_to_int(second))))
            return bad_argument(args);
        t->flags = u16(str_to_int(str_trim(list_item(a, ',', 3), TRIM_BOTH)));
        Str path = path_find(env_get(ENV_DATA), file);
        t->path.assign(str_sv(path.ok() && path.n ? path : file));
        return expr::parm_load(sv_str(t->path), DEFINITION_KIND, t->number, nullptr);
    }
    if (items > 2 || !file.n) return bad_argument(args);
    t->flags = u16(str_to_int(second));
    t->docname.assign(str_sv(first));
    return expr::parm_push(str_empty());
}

// The limits of one report: the form's values (when it was asked) or LIMITS$.
void limits_of(ReportRequest& q, bool asked, Str form_conditions) {
    std::string limits = member_written(RM_LIMITS);
    TmpScope scope;
    if (!limits.empty()) {
        Str list = sv_str(limits);
        Str from = expr::expr_text(list_item(list, ',', 1));
        Str to = expr::expr_text(list_item(list, ',', 2));
        q.from = from.ok() ? std::string(str_sv(from)) : std::string();
        q.to = to.ok() ? std::string(str_sv(to)) : std::string();
    } else if (asked) {
        q.from = std::string(str_sv(scr::accept_value(1)));
        q.to = std::string(str_sv(scr::accept_value(2)));
    }
    q.condition = joined(expanded(member_written(RM_RD_COND)),
                         asked ? std::string(str_sv(form_conditions)) : std::string());
}

// Reports one range after another while the definition has a limits form.
u16 task_loop(const Task& t) {
    for (;;) {
        TmpScope scope;
        std::string acbound = member_written(RM_ACBOUND);
        bool ask = !acbound.empty() && !(t.flags & TASK_NO_LIMITS);
        scr::AcceptResult answer;
        if (ask) {
            u16 rc = scr::accept_run(msg_text_id(MSG_LIMITS), sv_str(acbound), scr::ACC_COLLECT,
                                     &answer);
            if (rc == E_CANCELLED) return 0;
            if (rc) return rc;
        }
        ReportRequest q;
        std::string doc = string_or_written(member_written(RM_DOCNAME));
        if (doc.empty()) doc = t.docname;
        q.name = trimmed_item(doc, 1);
        if (q.name.empty() && !t.path.empty()) {
            q.lines = own_template_lines(sv_str(t.path), t.number);
            q.origin = t.path;
        }
        limits_of(q, ask, answer.conditions);
        q.start = expanded(member_written(RM_USR_COND));
        q.repeat = expanded(member_written(RM_EOT_EXP));
        q.device = device_text_of(string_or_written(member_written(RM_DEVICE)));
        u16 rc = report_run(q);
        if (rc == E_NODATA) {
            error_show(rc);
            rc = 0;
        }
        if (rc > ANOTHER_RANGE_MAX || !ask) return rc;
    }
}

}  // namespace

std::string trimmed_item(const std::string& text, u16 n) {
    TmpScope scope;
    Str item = str_trim(list_item(sv_str(text), ';', n), TRIM_BOTH);
    return std::string(str_sv(item));
}

u16 report_task(Str args) {
    Task t;
    u16 depth = expr::parm_depth();
    u16 rc = task_parse_args(args, &t);
    if (rc) return rc;
    std::string doc = string_or_written(member_written(RM_DOCNAME));
    if (doc.empty()) doc = t.docname;
    std::string procedure = trimmed_item(doc, 2);
    if (procedure.empty()) procedure = string_or_written(member_written(RM_PRCNAME));
    u16 handle = NOT_FOUND;
    if (!procedure.empty()) {
        TmpScope scope;
        handle = prc::prc_load(sv_str(procedure));
        if (handle >= E_CANCELLED) rc = handle;
    }
    OpenScope open;
    if (!rc) rc = open_for_run(member_written(RM_OPEN), open);
    if (!rc) rc = task_loop(t);
    open_undo(open);
    if (handle < E_CANCELLED) prc::prc_unload(handle);
    while (expr::parm_depth() > depth) expr::parm_pop();
    return rc;
}

void reports_install() {
    task_serve(TASK_REPORT, report_task);
    report_window_set(report_window_show);
}

}  // namespace vx::out
