// The procedure executor: statements by their code, the run loop that hands commands to a
// command executor, the clean-up of what a run opened, the error report naming the failing
// statement, the procedure trace, named entry, CALL and LOCALVARS.
#include "prc/run.h"

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "expr/eval.h"
#include "expr/scan.h"
#include "expr/structs.h"
#include "expr/vars.h"
#include "prc/run_impl.h"
#include "runtime/arena.h"
#include "runtime/error.h"
#include "runtime/files.h"
#include "runtime/loop.h"
#include "runtime/store.h"
#include "runtime/sysvars.h"

namespace vx::prc {

using namespace vx::rt;
using expr::Value;

namespace {

constexpr u16 TRACE_PROCEDURES = 8;          // bit of _TRACE: trace every statement
constexpr const char* TRACE_FILE = "PrcLog.txt";
constexpr u16 REPORT_MAX = 1024;             // bytes of the line added to the error detail
constexpr u16 TRACE_MAX = 1024;
constexpr u16 TRUE_COND = 1;
constexpr u16 FALSE_COND = 0;
constexpr u16 DETAIL_MAX = 512;
constexpr const char* NESTED_GOSUBS = "GOSUB: more than %u pending";
constexpr const char* NESTED_RUNS = "%.*s: more than %u procedures running inside each other";

struct Runner {
    CommandExecutor executors[PRC_EXECUTOR_SLOTS] = {};
    PrcWindows windows;
    u16 nesting = 0;
};

Runner runner;

// One run of the statement executor: the run copy and what the last statement left.
struct Exec {
    PrcRecord& r;
    u16 flags;
    Value last;              // value of the previous statement, when it was an expression
    bool have_last = false;
    bool stop = false;       // RETURN with no GOSUB pending
};

Str stmt_text(const PrcRecord& r, u16 i) { return prc_text(r, i); }

// ---- Statements ----

u16 st_nothing(Exec&, const PrcInstr&, u16) { return 0; }

u16 st_jump(Exec& x, const PrcInstr& in, u16) {
    x.r.pos = in.target;
    return 0;
}

u16 st_expression(Exec& x, const PrcInstr& in, u16) {
    u16 rc = expr::expr_eval(Str{x.r.texts + in.text, in.len}, x.last);
    if (rc >= FIRST_ERROR) return rc;
    x.have_last = rc <= 1;
    return 0;
}

// Jumps to the target when the condition yields `when`.
u16 st_condition(Exec& x, const PrcInstr& in, u16 when) {
    u16 c = expr::expr_condition(Str{x.r.texts + in.text, in.len});
    if (c >= E_CANCELLED) return c;
    if (c == when) x.r.pos = in.target;
    return 0;
}

u16 st_gosub(Exec& x, const PrcInstr& in, u16) {
    if (x.r.depth >= PRC_RETURN_DEPTH)
        return fail_with_detail(
            E_PRCSTCK, str_format(DETAIL_MAX, NESTED_GOSUBS, unsigned(PRC_RETURN_DEPTH)), false);
    x.r.ret[x.r.depth++] = x.r.pos;
    x.r.pos = in.target;
    return 0;
}

u16 st_return(Exec& x, const PrcInstr&, u16) {
    if (x.r.depth == 0) {
        x.stop = true;
        return 0;
    }
    x.r.pos = x.r.ret[--x.r.depth];
    return 0;
}

u16 st_call(Exec& x, const PrcInstr& in, u16) { return prc_call(Str{x.r.texts + in.text, in.len}); }

u16 st_localvars(Exec& x, const PrcInstr& in, u16) {
    return prc_take_parameters(Str{x.r.texts + in.text, in.len});
}

struct Step {
    u16 (*fn)(Exec&, const PrcInstr&, u16);
    u16 arg;
};

// By code, PC_EXPR to PC_LOCALVARS.
constexpr Step STEPS[PC_END] = {
    {st_expression, 0},          // expression statement
    {st_jump, 0},                // GOTO
    {st_gosub, 0},               // GOSUB
    {st_call, 0},                // CALL
    {st_return, 0},              // RETURN
    {st_nothing, 0},             // ENDIF
    {st_jump, 0},                // LOOP: back to the opener
    {st_condition, TRUE_COND},   // LOOP_WHILE
    {st_condition, FALSE_COND},  // LOOP_UNTIL
    {st_jump, 0},                // ELSE: past the closer
    {st_condition, FALSE_COND},  // IF
    {st_condition, FALSE_COND},  // IF_TRUE
    {st_condition, FALSE_COND},  // DO_WHILE
    {st_condition, TRUE_COND},   // IF_FALSE
    {st_condition, TRUE_COND},   // DO_UNTIL
    {st_nothing, 0},             // DO
    {st_nothing, 0},             // DEF_FN (never stored as a statement)
    {st_localvars, 0},           // LOCALVARS
};

// ---- What surrounds each statement ----

void trace_statement(const PrcRecord& r, u16 at, u16 code) {
    TmpScope scope;
    Str t = stmt_text(r, at);
    Str kw = prc_keyword(code);
    Str line = str_format(TRACE_MAX, "%u\t%.*s %.*s\r\n", unsigned(at) + 1, int(kw.n), kw.p,
                          int(t.n), t.p);
    if (line.ok()) file_write_all(str_from_cstr(TRACE_FILE), -1, line);
}

// The value of the last statement on the result stack (an empty text when there is none).
u16 keep_result(const Exec& x) {
    TmpScope scope;
    Str s = str_empty();
    if (x.have_last) s = x.last.is_str ? x.last.str : expr::num_text(x.last.num);
    if (!s.ok()) return str_error_code(s);
    return store_push(expr::LIST_RESULTS, s);
}

// Runs statements from x.r.pos until END, a command, an error or the end of the record. The
// code of the statement that stopped it, or an error code; *at receives its index.
u16 execute_statements(Exec& x, u16* at) {
    PrcRecord& r = x.r;
    u16 mark = tmp_mark();
    u16 code, result = 0;
    do {
        *at = r.pos;
        code = r.pos < r.count ? r.instr[r.pos].code : u16(PC_END);
        if (sysint_bit(SV_TRACE, TRACE_PROCEDURES)) trace_statement(r, *at, code);
        if (code == PC_END && (x.flags & RUN_KEEP_RESULT)) result = keep_result(x);
        tmp_release(mark);
        // Pending window events now and then; the user's cancel before every statement.
        if (result == 0) result = loop_step();
        if (result == 0 && code < PC_END) {
            const PrcInstr& in = r.instr[r.pos++];
            x.have_last = false;
            result = STEPS[code].fn(x, in, STEPS[code].arg);
            if (x.stop) code = PC_END;
        }
    } while (code < PC_END && result < E_CANCELLED && r.pos < r.count);
    if (result >= E_CANCELLED) return r.error = result;
    return code;
}

// ---- Commands ----

struct CommandArgs {
    u16 count = 0;
    u8 types[PRC_COMMAND_ARGS_MAX] = {};
    i16 values[PRC_COMMAND_ARGS_MAX] = {};
    Str texts[PRC_COMMAND_ARGS_MAX];
};

CommandExecutor executor() {
    for (CommandExecutor fn : runner.executors)
        if (fn) return fn;
    return nullptr;
}

i16 whole16(i64 scaled) {
    i64 w = div_round(scaled, expr::scale());
    return i16(w < INT16_MIN ? INT16_MIN : w > INT16_MAX ? INT16_MAX : w);
}

// Evaluates the arguments onto the parameter stack, then takes them back, last first.
u16 command_args(Str text, CommandArgs& a) {
    u16 base = expr::param_depth();
    u16 rc = 0;
    for (u16 pos = 0; rc == 0 && pos < text.n;) {
        Str item = detail::next_item(text, &pos, ",");
        if (a.count == PRC_COMMAND_ARGS_MAX) {
            rc = fail_with_detail(E_SYNTAX, item, false);
            break;
        }
        Value v;
        u16 code = expr::expr_eval(item, v);
        if (code >= FIRST_ERROR) rc = code;
        else if ((rc = expr::param_push(v)) == 0) a.count++;
    }
    for (u16 k = a.count; rc == 0 && k-- > 0;) {
        Value v;
        rc = expr::param_read(u16(base + k), v);
        a.types[k] = v.is_str ? 1 : 0;
        a.values[k] = v.is_str ? str_to_int(v.str) : whole16(v.num);
        a.texts[k] = v.is_str ? v.str : expr::num_text(v.num);
        expr::param_cut(u16(base + k));
    }
    expr::param_cut(base);
    return rc;
}

u16 run_command(u16 code, Str text) {
    CommandExecutor fn = executor();
    if (!fn) return fail_with_detail(E_FEATUREREMOVED, prc_keyword(code), false);
    CommandArgs a;
    if (u16 rc = command_args(text, a)) return rc;
    return fn(code, a.count, a.types, a.values, a.texts);
}

// ---- A run of a record ----

struct Opened {
    u16 open_sets = 0;
    u16 structs = 0;
    bool progress = false;   // a progress window was open
    u16 windows = 0;         // windows on the window stack
};

Opened opened_now() {
    const PrcWindows& w = runner.windows;
    return Opened{store_count(expr::LIST_OPEN_SETS), expr::struct_count(),
                  w.progress_open && w.progress_open(), w.count ? w.count() : u16(0)};
}

// Closes a progress window the run opened and destroys the windows it stacked above the
// ones it found (never those: the main window or the form that started the run stay).
void close_windows(const Opened& before) {
    const PrcWindows& w = runner.windows;
    if (!before.progress && w.progress_open && w.progress_close && w.progress_open())
        w.progress_close();
    if (!w.count || !w.destroy_top) return;
    for (u16 n = w.count(); n > before.windows; n = w.count())
        if (w.destroy_top() || w.count() >= n) break;   // nothing left, or nothing went
}

// Goes back to the open sets and structures found at the start. The sets are restored one
// by one while there is one below to go back to; the rest (the first set of an empty stack,
// or what a failed restore left) is dropped so the depth is always what it was.
void clean_up(const Opened& before) {
    for (u16 n = store_count(expr::LIST_OPEN_SETS); n > before.open_sets && n > 1; n--)
        if (expr::open_set_select(str_from_cstr(expr::STRUCT_RESTORE))) break;
    if (store_count(expr::LIST_OPEN_SETS) > before.open_sets)
        store_truncate(expr::LIST_OPEN_SETS, before.open_sets);
    for (u16 n = expr::struct_count(); n > before.structs; n--)
        if (expr::struct_define(0, str_from_cstr(expr::STRUCT_RESTORE), str_empty())) break;
}

u16 report(u16 result, const PrcRecord& r, u16 at, u16 command) {
    error_raise(M_EXECRUNTIME, result);
    TmpScope scope;
    Str name = command ? prc_keyword(command) : str_empty();
    Str t = stmt_text(r, at);
    Str file = prc_file_name(r);
    Str line = str_format(REPORT_MAX, "Line: %u (+ remmarks) in %.*s:\r\n%.*s %.*s",
                          unsigned(at) + 1, int(file.n), file.p, int(name.n), name.p, int(t.n),
                          t.p);
    if (line.ok()) fail_with_detail(result, line, true);
    return result;
}

// A run refused because runs already nest as deep as they may: 133 naming the procedure.
u16 too_deep(Str name) {
    TmpScope scope;
    Str detail =
        str_format(DETAIL_MAX, NESTED_RUNS, int(name.n), name.p, unsigned(PRC_NESTING_MAX));
    fail_with_detail(E_PRCSTCK, detail, false);
    return error_raise(M_EXECRUNTIME, E_PRCSTCK);
}

}  // namespace

// ---- Registration ----

u16 prc_executor_set(u16 slot, CommandExecutor fn) {
    if (slot >= PRC_EXECUTOR_SLOTS) return E_DATAOUTBOUND;
    runner.executors[slot] = fn;
    return 0;
}

void prc_cancel_poll_set(PrcCancelPoll fn) { loop_cancel_set(fn); }

void prc_windows_set(const PrcWindows& windows) { runner.windows = windows; }

u16 prc_nesting() { return runner.nesting; }

static_assert(std::is_same_v<decltype(&prc_run), expr::RunProcedureHook>);

// ---- Running ----

u16 prc_run_record(const PrcRecord& rec, u16 flags) {
    PrcRecord r = rec;
    r.depth = 0;
    Opened before = opened_now();
    Exec x{r, flags, Value{}, false, false};
    u16 at = r.pos, command = 0, result = 0;
    for (;;) {
        error_clear();
        u16 code = execute_statements(x, &at);
        if (code >= E_CANCELLED) {
            result = code;
            break;
        }
        if (!prc_is_command(code)) break;
        r.pos++;
        command = code;
        result = run_command(code, stmt_text(r, at));
        if (result) break;
        command = 0;
    }
    if ((flags & RUN_CLEANUP) && result <= E_TYPEMISMATCH) clean_up(before);
    if (flags & RUN_CLEANUP) close_windows(before);   // on every way out: nobody else would
    if (result == 0) return 0;
    return report(result, r, at, command);
}

u16 prc_run(Str entry, Str file, u16 flags) {
    if (!entry.ok() || !file.ok()) return E_SYNTAX;
    if (entry.n == 0 && file.n == 0) return error_raise(M_EXECRUNTIME, E_SYNTAX);
    if (runner.nesting >= PRC_NESTING_MAX) return too_deep(file.n ? file : entry);
    expr::ScopeMark mark = expr::scope_mark();
    u16 loaded = NOT_FOUND, rc = 0;
    if (file.n) {
        loaded = prc_load(file);
        if (loaded >= E_CANCELLED) return loaded;
    }
    u16 entry_index;
    u16 h = prc_find(entry, &entry_index);
    if (h == NOT_FOUND) {
        fail_with_detail(E_SYNTAX, entry, false);
        rc = error_raise(M_EXECRUNTIME, E_SYNTAX);
    } else {
        PrcRecord copy = *prc_record(h);
        bool at_entry = entry_index != NOT_FOUND;
        copy.pos = at_entry ? copy.entries[entry_index].pos : 0;
        u16 run_flags = u16((flags & ~RUN_CLEANUP) | (at_entry ? 0 : RUN_CLEANUP));
        runner.nesting++;
        rc = prc_run_record(copy, run_flags);
        runner.nesting--;
    }
    // The record loaded here is the one unloaded, even when the entry was found elsewhere.
    if (loaded != NOT_FOUND) prc_unload(loaded);
    if (flags & RUN_LOCAL) {
        u16 cut = expr::scope_cut(mark);
        if (rc == 0) rc = cut;
    }
    return rc;
}

// ---- CALL and LOCALVARS ----

namespace {

// A name of CALL's first word: the value when it evaluates to a string, else as written. A
// failed evaluation leaves no trace in the error record.
Str call_name(Str item) {
    item = str_trim(item, TRIM_BOTH);
    if (item.n == 0) return item;
    ErrorPair saved = error_current();
    Str detail = str_copy(error_detail());
    Value v;
    u16 rc = expr::expr_eval(item, v);
    if (rc == 1) return v.str;
    if (rc >= FIRST_ERROR) {
        error_note(2, saved.module, saved.code, 0);
        error_detail_clear();
        if (detail.ok() && detail.n) fail_with_detail(0, detail, false);
    }
    return item;
}

// Pushes the values of CALL's expressions (";" or "," between them).
u16 push_call_params(Str list) {
    u16 n = 0;
    for (u16 pos = 0; pos < list.n;) {
        Str item = detail::next_item(list, &pos, ";,");
        if (n++ == PRC_CALL_PARAMS_MAX) return fail_with_detail(E_SYNTAX, item, false);
        Value v = expr::val_str(str_empty());
        if (str_trim(item, TRIM_BOTH).n) {
            u16 rc = expr::expr_eval(item, v);
            if (rc >= FIRST_ERROR) return rc;
        }
        if (u16 rc = expr::param_push(v)) return rc;
    }
    return 0;
}

}  // namespace

u16 prc_call(Str text) {
    TmpScope scope;
    u16 split = detail::first_blank(text);
    Str names = Str{text.p, split};
    Str list = split < text.n ? str_trim(Str{text.p + split, u16(text.n - split)}, TRIM_BOTH)
                              : str_empty();
    bool local = list_count(names, ',') < 3 ||
                 expr::expr_whole(str_trim(list_item(names, ',', 3), TRIM_BOTH)) != 0;
    u16 base = expr::param_depth();
    u16 rc = push_call_params(list);
    if (rc == 0) {
        Str entry = call_name(list_item(names, ',', 1));
        Str file = call_name(list_item(names, ',', 2));
        rc = prc_run(entry, file, local ? RUN_LOCAL : 0);
    }
    if (rc == 0 && expr::param_depth() != base) {
        fail_with_detail(E_SYNTAX, S("LOCALVARS"), false);
        rc = error_raise(M_EXECRUNTIME, E_SYNTAX);
    }
    expr::param_cut(base);
    return rc;
}

u16 prc_take_parameters(Str text) {
    u16 n = list_count(text, ',');
    for (u16 k = n; k > 0; k--) {
        TmpScope scope;
        Str name = str_trim(list_item(text, ',', k), TRIM_BOTH);
        u16 fn = 0;
        bool with_list = name.n && name.p[name.n - 1] == ')';
        if (!(expr::operand_flags(name, with_list, &fn) & expr::FL_VARIABLE))
            return error_raise(M_EXECRUNTIME, fail_with_detail(E_TYPEMISMATCH, name, false));
        u16 depth = expr::param_depth();
        Value v = expr::val_str(str_empty());
        if (depth)
            if (u16 rc = expr::param_read(u16(depth - 1), v)) return rc;
        if (u16 rc = expr::var_assign(name, v)) return rc;
        if (depth) expr::param_cut(u16(depth - 1));
    }
    return 0;
}

namespace detail {

u16 first_blank(Str text) {
    for (u16 i = 0; i < text.n; i++) {
        if (expr::is_quote(text.p[i])) i = u16(expr::skip_quoted(text, i) - 1);
        else if (expr::is_blank(text.p[i])) return i;
    }
    return text.n;
}

Str next_item(Str text, u16* pos, const char* seps) {
    u16 start = *pos, depth = 0, i = start;
    for (; i < text.n; i++) {
        char c = text.p[i];
        if (expr::is_quote(c)) i = u16(expr::skip_quoted(text, i) - 1);
        else if (c == '(') depth++;
        else if (c == ')' && depth) depth--;
        else if (depth == 0 && std::strchr(seps, c)) break;
    }
    *pos = u16(i < text.n ? i + 1 : i);
    return str_trim(Str{text.p + start, u16(i - start)}, TRIM_BOTH);
}

}  // namespace detail

}  // namespace vx::prc
