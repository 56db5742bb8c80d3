// Running a chart definition of a definition file: the definition is loaded as a parameter
// record, its data files are opened as an open set, the limits are asked with the limits
// form, the figures are gathered per sub-definition into the series arrays, and the chart is
// shown. Also the listing of the definitions a file holds, for the report selection.
//
// Members are read as written (outer quotes removed), except RESET$ (evaluated: its value is
// the comma list of labels), the items of LIMITS$ (each evaluated), and RD_COND$, RD_EXP$,
// ASSIGN$ and the legend item of FD$ (bracket-expanded).
#include <algorithm>

#include "data/datafile.h"
#include "expr/eval.h"
#include "expr/funcs_hooks.h"
#include "expr/members.h"
#include "expr/structs.h"
#include "output/chart.h"
#include "runtime/arena.h"
#include "runtime/env.h"
#include "runtime/error.h"
#include "runtime/files.h"
#include "runtime/msg.h"
#include "runtime/paths.h"
#include "runtime/store.h"
#include "runtime/sysvars.h"
#include "screens/accept.h"

namespace vx::out {

using namespace vx::rt;
namespace dt = vx::data;

namespace {

enum FdItem : u16 { FD_TITLE = 1, FD_LEGEND = 2 };
enum LimitItem : u16 { LIMIT_FROM = 1, LIMIT_TO = 2 };

constexpr u16 MSG_LIMITS = 81;                 // "Captura de Limites de Informe"
constexpr u16 ARGUMENT_ITEMS = 2;              // file name, definition number
constexpr char DEFINITION_EXT[] = "PPN";
constexpr u16 DEFINITION_KIND = 1;             // code in columns 1-2, text from column 4
constexpr u16 CODE_WIDTH = 2;
constexpr u16 TEXT_COLUMN = 3;                 // 0-based start of a line's text
constexpr char PLACEHOLDER[] = "{}";
constexpr char NO_FILE_DETAIL[] = "No file has been defined and accept use {}. Use %.*s";
constexpr u16 DETAIL_LEN_MAX = 256;
constexpr char RESTORE_WORD[] = "RESTORE";
constexpr char COND_JOIN[] = "&&";
constexpr u16 KEY_DEFAULT = 1;
constexpr u16 RUN_FLAGS = CHART_FROM_ZERO | CHART_BG_GRAY;
constexpr u16 SUBDEFINITIONS_MAX = 64;         // items of LOAD$ gathered
constexpr u16 DOC_FLAGS_HIDDEN = DOC_NOT_IN_MENU;  // of the document flags in DOCSETS$

// A member's text as written, trimmed and without enclosing quotes (arena).
Str member_text(u16 number) {
    TmpScope scope;
    return scope.keep(str_copy(str_trim(str_unquote(str_trim(expr::member_value(number), TRIM_BOTH)), TRIM_BOTH)));
}

Str expanded(Str text) { return text.n ? expr::expr_expand(text, 0, str_empty()) : text; }

// The definition number of a line of a definition file (blanks in the code count as
// zeros); 0 for a line that carries none.
u16 line_code(Str line) {
    if (line.n <= TEXT_COLUMN) return 0;
    u16 code = 0;
    for (u16 i = 0; i < CODE_WIDTH; i++) {
        char c = line.at(i) == ' ' ? '0' : line.at(i);
        if (c < '0' || c > '9') return 0;
        code = u16(code * 10 + (c - '0'));
    }
    return code;
}

// The number of the definition named by the argument's second item: 1..99, else 0.
u16 definition_number(Str item) {
    item = str_trim(item, TRIM_BOTH);
    if (!item.n || item.n > CODE_WIDTH) return 0;
    for (u16 i = 0; i < item.n; i++)
        if (item.at(i) < '0' || item.at(i) > '9') return 0;
    return u16(str_to_int(item));
}

// ---- Open sets ----

// An open set applied for the run. When no set is on the stack yet, the files open now are
// recorded below it first, so that "RESTORE" has a set to go back to.
struct OpenSet {
    bool pushed = false;
    bool base = false;
};

u16 push_base_set() {
    TmpScope scope;
    u16 files = expr::struct_count();
    Str bytes = tmp_alloc(files, 0);
    if (!bytes.ok()) return str_error_code(bytes);
    for (u16 n = 1; n <= files; n++) str_mut(bytes)[n - 1] = dt::datafile_is_open(n) ? char(dt::OPEN_PLAIN) : 0;
    return store_push(expr::LIST_OPEN_SETS, bytes);
}

u16 open_apply(Str text, OpenSet& s) {
    if (!store_count(expr::LIST_OPEN_SETS)) {
        if (u16 rc = push_base_set()) return rc;
        s.base = true;
    }
    u16 before = store_count(expr::LIST_OPEN_SETS);
    u16 rc = dt::datafile_select(text);
    s.pushed = store_count(expr::LIST_OPEN_SETS) > before;
    return rc >= FIRST_ERROR ? rc : 0;
}

u16 open_undo(OpenSet& s) {
    u16 rc = s.pushed ? dt::datafile_select(S(RESTORE_WORD)) : u16(0);
    if (s.base) store_drop(expr::LIST_OPEN_SETS);
    s = OpenSet{};
    return rc >= FIRST_ERROR ? rc : 0;
}

// The data file an open text makes the main one: its last named item.
u16 main_file_of(Str text) {
    TmpScope scope;
    u16 file = 0;
    for (u16 k = 1, n = list_count(text, ','); k <= n; k++) {
        Str name = str_trim(list_item(list_item(text, ',', k), ';', 1), TRIM_BOTH);
        if (name.n) file = expr::struct_number(name);
    }
    return file;
}

// ---- The run ----

struct Run {
    Str path;
    u16 file = 0;             // the definition's data file, 0 when it names none
    OpenSet set;
    Str from, to, condition;  // captured by the limits form
};

u16 fail_no_file() {
    TmpScope scope;
    Str name = expr::member_name(MEMBER_FILEDEF);
    error_raise(M_DEVICES, E_DATA);
    return fail_with_detail(E_DATA, str_format(DETAIL_LEN_MAX, NO_FILE_DETAIL, int(name.n), name.p), false);
}

// Step 2: LOAD$ lists sub-definitions, so FILEDEF$ names the file; otherwise OPEN$.
u16 open_files(Run& r) {
    Str text = member_text(member_text(MEMBER_LOAD).n ? MEMBER_FILEDEF : MEMBER_OPEN);
    if (!text.ok()) return str_error_code(text);
    if (!text.n) return 0;
    if (u16 rc = open_apply(text, r.set)) return rc;
    r.file = main_file_of(text);
    if (r.file) sysint_set(SV_CURFIL, i16(r.file));
    return 0;
}

// Step 3: the limits form over ACBOUND$; nothing to ask when it is empty.
u16 ask_limits(Run& r) {
    Str fields = member_text(MEMBER_ACBOUND);
    if (!fields.ok()) return str_error_code(fields);
    if (!r.file && str_find_sub(fields, S(PLACEHOLDER), PLAIN) != NOT_FOUND) return fail_no_file();
    r.from = r.to = r.condition = str_empty();
    if (!fields.n) return 0;
    scr::AcceptResult answer;
    if (u16 rc = scr::accept_run(msg_text_id(MSG_LIMITS), fields, scr::ACC_COLLECT, &answer)) return rc;
    r.from = str_copy(scr::accept_value(LIMIT_FROM));
    r.to = str_copy(scr::accept_value(LIMIT_TO));
    r.condition = str_copy(answer.conditions);
    return !r.from.ok() ? str_error_code(r.from) : !r.to.ok() ? str_error_code(r.to) : str_error_code(r.condition);
}

Str joined_condition(Str own, Str form) {
    if (!own.n || !form.n) return own.n ? own : form;
    TmpScope scope;
    Str left = str_concat(str_concat(S("("), own), S(")"));
    Str right = str_concat(str_concat(S("("), form), S(")"));
    return scope.keep(str_join(left, S(COND_JOIN), right));
}

// One gathering over the record on top of the parameter stack. A range without records
// gathers nothing: the chart shows the figures as RESET$ left them.
u16 gather_step(Run& r, u16 file) {
    TmpScope scope;
    i16 key = str_to_int(member_text(MEMBER_INDEX));
    Str limits = member_text(MEMBER_LIMITS);
    Str from = r.from, to = r.to;
    if (limits.n) {
        from = expr::expr_text(list_item(limits, ',', LIMIT_FROM));
        to = expr::expr_text(list_item(limits, ',', LIMIT_TO));
        if (!from.ok()) return str_error_code(from);
        if (!to.ok()) return str_error_code(to);
    }
    Str condition = joined_condition(expanded(member_text(MEMBER_RD_COND)), r.condition);
    Str step = expanded(member_text(MEMBER_RD_EXP));
    if (!condition.ok()) return str_error_code(condition);
    if (!step.ok()) return str_error_code(step);
    u16 rc = chart_gather(file, key > 0 ? u16(key) : KEY_DEFAULT, from, to, condition, step,
                          GATHER_PROGRESS, nullptr);
    return rc == E_NODATA ? u16(0) : rc;
}

// A sub-definition: loaded, its open set applied and its RESET$ run; a definition that
// fails to get that far, or opens nothing, is skipped. Its main file is the one gathered.
u16 gather_sub(Run& r, u16 number) {
    if (expr::parm_load(r.path, DEFINITION_KIND, number, nullptr)) return 0;
    TmpScope scope;
    OpenSet set;
    Str open = member_text(MEMBER_OPEN);
    u16 file = open.ok() && open.n ? main_file_of(open) : 0;
    u16 rc = 0;
    bool ready = file && !open_apply(open, set);
    if (ready) {
        sysint_set(SV_CURFIL, i16(file));
        Str reset = member_text(MEMBER_RESET);
        expr::Value v;
        ready = !reset.n || expr::expr_eval(reset, v) < FIRST_ERROR;
    }
    if (ready) rc = gather_step(r, file);
    u16 undone = open_undo(set);
    if (r.file) sysint_set(SV_CURFIL, i16(r.file));
    expr::parm_pop();
    return rc ? rc : undone;
}

// Step 4: the labels, then the figures of each LOAD$ item (or of the definition itself).
u16 gather_all(Run& r, Str* labels) {
    Str reset = member_text(MEMBER_RESET);
    *labels = reset.n ? expr::expr_text(reset) : str_empty();
    if (!labels->ok()) return str_error_code(*labels);
    Str load = member_text(MEMBER_LOAD);
    if (!load.n) return r.file ? gather_step(r, r.file) : fail_no_file();
    u16 items = std::min(list_count(load, ','), SUBDEFINITIONS_MAX);
    for (u16 k = 1; k <= items; k++) {
        TmpScope scope;
        u16 number = definition_number(list_item(load, ',', k));
        if (!number) continue;
        if (u16 rc = gather_sub(r, number)) return rc;
    }
    return 0;
}

// Step 5.
u16 show(Str labels) {
    TmpScope scope;
    Str fd = member_text(MEMBER_FD);
    Str title = str_trim(str_unquote(str_trim(list_item(fd, ',', FD_TITLE), TRIM_BOTH)), TRIM_BOTH);
    Str legend = expanded(str_unquote(str_trim(list_item(fd, ',', FD_LEGEND), TRIM_BOTH)));
    Str series = expanded(member_text(MEMBER_ASSIGN));
    if (!legend.ok()) return str_error_code(legend);
    if (!series.ok()) return str_error_code(series);
    i32 points = labels.n ? i32(list_count(labels, ',')) : POINTS_FROM_ARRAY;
    return chart_show(title, legend, str_empty(), labels, series, RUN_FLAGS, points);
}

u16 run_loaded(Run& r) {
    if (u16 rc = open_files(r)) return rc;
    if (u16 rc = ask_limits(r)) return rc;
    Str labels;
    if (u16 rc = gather_all(r, &labels)) return rc;
    return show(labels);
}

u16 bad_argument(Str argument) {
    error_raise(M_DEVICES, E_SYNTAX);
    return fail_with_detail(E_SYNTAX, argument, false);
}

}  // namespace

Str chart_definition_title(Str text) {
    TmpScope scope;
    Str fd = opt_value(text, expr::member_name(MEMBER_FD), OPT_UNQUOTE);
    return scope.keep(str_copy(str_trim(str_unquote(str_trim(list_item(fd, ',', FD_TITLE), TRIM_BOTH)), TRIM_BOTH)));
}

u16 chart_definitions(Str path, std::vector<ChartEntry>* out) {
    out->clear();
    TmpScope scope;
    u16 h = file_open(path, FM_READ | FM_NOUPDATE | FM_QUIET);
    if (!file_handle_ok(h)) return h;
    for (;;) {
        TmpScope per_line;
        Str line = file_read_line(h);
        if (!line.ok()) break;
        u16 code = line_code(line);
        if (!code) continue;
        auto at = std::find_if(out->begin(), out->end(), [code](const ChartEntry& e) { return e.number == code; });
        if (at == out->end()) at = out->insert(out->end(), ChartEntry{code, {}});
        Str text = str_substr(line, TEXT_COLUMN, NOT_FOUND);
        Str title = at->title.empty() ? chart_definition_title(text) : str_empty();
        if (title.ok() && title.n) at->title.assign(title.p, title.n);
        Str flags = opt_value(text, expr::member_name(MEMBER_DOCSETS), OPT_UNQUOTE);
        if (flags.ok() && flags.n)
            at->hidden = (str_to_int(str_trim(flags, TRIM_BOTH)) & DOC_FLAGS_HIDDEN) != 0;
    }
    file_close(h);
    std::sort(out->begin(), out->end(), [](const ChartEntry& a, const ChartEntry& b) { return a.number < b.number; });
    return 0;
}

u16 chart_run(Str argument) {
    TmpScope scope;
    Str a = str_trim(argument, TRIM_BOTH);
    if (!a.ok() || list_count(a, ',') != ARGUMENT_ITEMS) return bad_argument(argument);
    Str name = path_expand(str_trim(list_item(a, ',', 1), TRIM_BOTH));
    u16 number = definition_number(list_item(a, ',', 2));
    if (!name.ok() || !number || !str_equal_nocase(path_part(name, PART_EXT), S(DEFINITION_EXT)))
        return bad_argument(argument);
    Run r;
    r.path = path_find(env_get(ENV_DATA), name);
    if (!r.path.ok() || !r.path.n) r.path = name;
    if (u16 rc = expr::parm_load(r.path, DEFINITION_KIND, number, nullptr)) return rc;
    i16 current = sysint_get(SV_CURFIL);
    u16 rc = run_loaded(r);
    u16 undone = open_undo(r.set);
    sysint_set(SV_CURFIL, current);
    expr::parm_pop();
    return rc ? rc : undone;
}

}  // namespace vx::out
