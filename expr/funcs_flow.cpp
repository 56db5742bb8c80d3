// Built-in functions that evaluate their raw arguments themselves: FN#ACUM (sums over a
// counter or while a condition holds), CHK# and CHK$ (choice without evaluating the other
// branch), SQLCHILD (evaluation in a nested data context) and FN$FLDS (a field, variable
// or value as text).
#include <cstring>

#include "expr/eval.h"
#include "expr/fieldref.h"
#include "expr/fields.h"
#include "expr/funcs_impl.h"
#include "expr/scan.h"
#include "expr/vars.h"
#include "runtime/arena.h"
#include "runtime/error.h"
#include "runtime/loop.h"
#include "runtime/store.h"
#include "runtime/sysvars.h"

namespace vx::expr::fn {

using namespace vx::rt;

namespace {

using u64 = std::uint64_t;

// ---- FN#ACUM ----
// Each pass is a step of a long loop: window events are handled now and then and the user
// can cancel (122), as in a procedure's loops.

constexpr i64 COUNTER_MIN = -32768;
constexpr i64 COUNTER_MAX = 32767;
constexpr u16 COUNTED_FORM_ITEMS = 4;

i64 wrap_add(i64 a, i64 b) {
    return i64(u64(a) + u64(b));
}

// The expression's value as a number (a string read as one, an empty text 0).
u16 summand(Str expression, i64* value) {
    TmpScope scope;
    Value v;
    u16 code = eval_value(expression, v);
    if (stops(code)) return code;
    *value = v.is_str ? num_parse(v.str) : v.num;
    return 0;
}

// Whether a condition holds: a non-zero number. An empty condition does not hold here, so
// that a sum cannot run on forever for want of one.
u16 holds(Str condition, bool* yes) {
    *yes = false;
    if (str_trim(condition, TRIM_BOTH).n == 0) return 0;
    u16 code = expr_condition(condition);
    if (code >= 122) return code;
    *yes = code == 1;
    return 0;
}

bool integer_variable(Str name) {
    u16 fn = 0;
    return name.n && operand_flags(name, false, &fn) == FL_VARIABLE;
}

u16 counter_value(Str name, i64* whole) {
    TmpScope scope;
    Value v;
    if (u16 rc = var_read(name, v)) return rc;
    *whole = v.is_str ? 0 : num_round_whole(v.num);
    return 0;
}

u16 counter_set(Str name, i64 whole) {
    return var_assign(name, val_num(num_from_whole(whole)));
}

// expression; variable; start; limit: the variable counts from start up to limit.
u16 sum_counted(const Call& c, Str expression, i64* sum) {
    Str variable = unbracket(c.item[1]);
    if (!integer_variable(variable)) return E_SYNTAX;
    i64 start, limit;
    if (u16 rc = eval_whole(unbracket(c.item[2]), 0, &start)) return rc;
    if (u16 rc = eval_whole(unbracket(c.item[3]), 0, &limit)) return rc;
    if (start < COUNTER_MIN || start > COUNTER_MAX || limit < COUNTER_MIN || limit > COUNTER_MAX)
        return E_DATAOUTBOUND;
    if (u16 rc = counter_set(variable, start)) return rc;
    for (;;) {
        if (u16 rc = loop_step()) return rc;
        i64 k, value;
        if (u16 rc = counter_value(variable, &k)) return rc;
        if (k > limit) return 0;
        if (u16 rc = summand(expression, &value)) return rc;
        *sum = wrap_add(*sum, value);
        // A 16-bit counter cannot pass its largest value.
        if (k >= COUNTER_MAX) return 0;
        if (u16 rc = counter_set(variable, k + 1)) return rc;
    }
}

// expression; first condition; next condition (the first one again when absent).
u16 sum_while(const Call& c, Str expression, i64* sum) {
    Str condition = unbracket(c.item[1]);
    Str next = c.count > 2 ? unbracket(c.item[2]) : condition;
    for (;;) {
        if (u16 rc = loop_step()) return rc;
        bool yes;
        if (u16 rc = holds(condition, &yes)) return rc;
        if (!yes) return 0;
        i64 value;
        if (u16 rc = summand(expression, &value)) return rc;
        *sum = wrap_add(*sum, value);
        condition = next;
    }
}

// ---- CHK# and CHK$ ----

u16 choose(const Call& c, bool want_string, Value& out) {
    i64 condition;
    if (u16 rc = arg_whole(c, 0, 0, &condition)) return rc;
    u16 pick = condition != 0 ? 1 : 2;
    out = want_string ? val_str(str_empty()) : val_num(0);
    if (pick >= c.count || c.item[pick].n == 0) return 0;
    Value v;
    u16 code = eval_value(c.item[pick], v);
    if (stops(code)) return code;
    if (code == E_NULLEXPR) return 0;
    if (v.is_str != want_string) return E_ODDTYPE;
    out = v;
    return 0;
}

// ---- SQLCHILD ----

constexpr i16 SQL_NESTING_MAX = 7;

// ---- FN$FLDS ----

enum FieldsMode : i64 { FIELDS_STORED = 0, FIELDS_SHOWN = 1, FIELDS_SHOWN_TRIMMED = 2 };

bool has_brace(Str s) {
    return str_find_char(s, 0, '{', QUOTED) != NOT_FOUND;
}

// The stored bytes of a field in the current image; blanks where the buffer is short.
Str stored_field(const FieldRef& f) {
    Str rec = store_get(RECORD_LIST, u16(f.file - 1));
    Str out = tmp_alloc(f.width, ' ');
    if (!rec.ok() || !out.ok()) return rec.ok() ? out : rec;
    if (f.offset < rec.n) {
        u32 n = rec.n - f.offset < f.width ? rec.n - f.offset : f.width;
        std::memcpy(str_mut(out), rec.p + f.offset, n);
    }
    return out;
}

u16 field_text(Str ref, i64 mode, Value& out) {
    FieldRef f;
    if (u16 rc = field_ref_parse(ref, &f)) return rc;
    Str stored = stored_field(f);
    if (!stored.ok()) return str_error_code(stored);
    Str shown =
        mode == FIELDS_STORED ? field_read(f.type, stored) : field_display(f.type, stored, f.width);
    out = val_str(mode == FIELDS_SHOWN_TRIMMED ? str_trim(shown, TRIM_BOTH) : shown);
    return 0;
}

u16 named_text(Str name, i64 mode, Value& out) {
    if (has_brace(name)) return field_text(name, mode, out);
    Value v;
    if (u16 rc = var_read(name, v)) return rc;
    Str s = value_text(v);
    out = val_str(mode == FIELDS_SHOWN_TRIMMED ? str_trim(s, TRIM_BOTH) : s);
    return 0;
}

}  // namespace

u16 f_acum(Call& c, Value& out) {
    Str expression = unbracket(c.item[0]);
    i64 sum = 0;
    u16 rc = c.count == COUNTED_FORM_ITEMS ? sum_counted(c, expression, &sum)
                                           : sum_while(c, expression, &sum);
    out = val_num(sum);
    return rc;
}

u16 f_chk_num(Call& c, Value& out) {
    return choose(c, false, out);
}
u16 f_chk_text(Call& c, Value& out) {
    return choose(c, true, out);
}

u16 f_sqlchild(Call& c, Value& out) {
    i16 depth = sysint_get(SV_SQLSTK);
    if (depth >= SQL_NESTING_MAX) return E_STROUTBOUND;
    i16 row = sysint_get(SV_CURROW);
    i16 status = sysint_get(SV_IER);
    sysint_set(SV_SQLSTK, i16(depth + 1));
    sysint_set(SV_CURROW, 0);
    u16 code = 0;
    if (c.count) {
        TmpScope scope;
        Value v;
        code = expr_eval(c.raw, v);
    }
    sysint_set(SV_SQLSTK, depth);
    sysint_set(SV_CURROW, row);
    sysint_set(SV_IER, status);
    out = val_num(0);
    return stops(code) ? code : 0;
}

u16 f_flds(Call& c, Value& out) {
    i64 mode = FIELDS_SHOWN;
    u16 rc = c.count > 1 ? eval_whole(c.item[1], FIELDS_SHOWN, &mode) : 0;
    if (rc) return rc;
    if (mode < FIELDS_STORED || mode > FIELDS_SHOWN_TRIMMED) return E_SYNTAX;
    Str x = c.item[0];
    Str name;
    if (quoted_literal(x, &name)) return named_text(name, mode, out);
    if (has_brace(x)) return field_text(x, mode, out);
    Value v;
    u16 code = eval_value(x, v);
    if (stops(code)) return code;
    Str s = value_text(v);
    out = val_str(mode == FIELDS_SHOWN_TRIMMED ? str_trim(s, TRIM_BOTH) : s);
    return 0;
}

}  // namespace vx::expr::fn
