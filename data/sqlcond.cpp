// Conditions of the expression language as SQL conditions. A condition is read one level at
// a time: items separated by the logical operators, each item a comparison of a field of the
// data file with a value, or a bracketed group read as a level of its own. An item that does
// not translate is left out; on a level joined by OR that would narrow the result, so the
// whole level is left out instead.
#include "data/sqlcond.h"

#include <cstring>
#include <vector>

#include "data/schema.h"
#include "data/sqlgen.h"
#include "data/sqltext.h"
#include "expr/eval.h"
#include "expr/fieldref.h"
#include "expr/fields.h"
#include "expr/scan.h"
#include "expr/structs.h"
#include "runtime/arena.h"
#include "runtime/error.h"
#include "runtime/sysvars.h"

namespace vx::data {

using namespace vx::rt;
using namespace vx::expr;

namespace {

constexpr u16 LEVELS_MAX = EVAL_DEPTH_MAX;
constexpr char WILDCARD = '*';
constexpr char DATE_TYPES[] = "DF";
constexpr u16 DATE_DIGITS = 8;

// SQL texts of the comparison operators of the language.
struct Comparison {
    u8 op;
    const char* sql;
};
constexpr Comparison COMPARISONS[] = {{OP_ASSIGN, "="}, {OP_GT, ">"},  {OP_LT, "<"}, {OP_EQ, "="},
                                      {OP_GE, ">="},    {OP_LE, "<="}, {OP_NE, "<>"}};

struct Logical {
    u8 op;
    const char* sql;
};
constexpr Logical LOGICALS[] = {{OP_AND, " AND "}, {OP_OR, " OR "}, {OP_XOR, " OR "}};

// Bytes that a LIKE pattern must escape to stand for themselves.
constexpr char LIKE_SPECIALS[] = "\\%_";

const char* comparison_sql(u8 op) {
    for (const Comparison& c : COMPARISONS)
        if (c.op == op) return c.sql;
    return nullptr;
}

const char* logical_sql(u8 op) {
    for (const Logical& l : LOGICALS)
        if (l.op == op) return l.sql;
    return nullptr;
}

bool is_arithmetic(u8 op) {
    return op >= OP_MUL && op <= OP_SUB;
}
bool ends_item(const Token& t) {
    return t.op == OP_NONE || logical_sql(t.op) != nullptr;
}

// What an item came to: a text, or nothing (left out).
struct Item {
    Str sql;
    bool dropped = false;
    u16 error = 0;
};

// A number in its shortest decimal form: 5, 2.5, -0.25.
Str number_sql(i64 scaled) {
    Str t = num_text(scaled);
    if (!t.ok() || str_find_char(t, 0, '.', PLAIN) == NOT_FOUND) return t;
    while (t.n && t.p[t.n - 1] == '0') t.n--;
    if (t.n && t.p[t.n - 1] == '.') t.n--;
    return t;
}

// The ILIKE pattern of a wildcard text as the evaluator reads it: "*mid*…" finds mid anywhere,
// "head*…" compares the head; the literal part trimmed on the right, LIKE's own specials
// escaped.
Str like_pattern(Str value) {
    bool anywhere = value.at(0) == WILDCARD;
    Str body = anywhere ? str_substr(value, 1, NOT_FOUND) : value;
    u16 star = str_find_char(body, 0, WILDCARD, PLAIN);
    body = str_trim(str_substr(body, 0, star), TRIM_RIGHT);
    StrBuilder b;
    if (anywhere) b.put(S("%"));
    for (u16 i = 0; i < body.n; i++) {
        if (std::strchr(LIKE_SPECIALS, body.p[i])) b.put(S("\\"));
        b.put(body.p + i, 1);
    }
    b.put(S("%"));
    return b.finish();
}

// A date column takes the stored form YYYYMMDD, nothing shorter.
bool is_date(Str t) {
    return t.n == DATE_DIGITS && str_all_in_set(t, S("0123456789"));
}

bool wildcard(u8 op, Str value) {
    return op == OP_EQ && str_find_char(value, 0, WILDCARD, PLAIN) != NOT_FOUND &&
           !sysint_bit(SV_AUXSTAT, AUXSTAT_NO_WILDCARD);
}

// Whether the evaluator accepts a row holding NULL in the field: it reads such a field as
// 0, or as blanks of the field's width.
bool null_row_passes(const FieldRef& f, u8 op, const Value& v) {
    TmpScope scope;
    if (!v.is_str) return expr_compare(op, val_num(0), v);
    Str blanks = str_fill(f.width, ' ');
    return blanks.ok() && expr_compare(op, val_str(blanks), v);
}

Item left_out() {
    Item it;
    it.dropped = true;
    return it;
}

// "field op value" for a field of the data file and an evaluated value; widened by
// "IS NULL OR" where the evaluator accepts a NULL row (a NOT NULL column holds none).
Item comparison(const FieldRef& f, Str name, u8 op, Value v) {
    const char* sql = comparison_sql(op);
    if (!sql) return left_out();  // & | @ work on bits, which SQL comparisons cannot say
    if (!f.text && v.is_str) v = val_num(num_parse(v.str));  // the evaluator's mixed rule
    if (f.text && !v.is_str) return left_out();              // the evaluator refuses it itself
    bool passes = null_row_passes(f, op, v);
    Str value, op_text = str_from_cstr(sql);
    if (!v.is_str) {
        value = number_sql(v.num);
    } else if (v.str.n == 0) {
        // No row equals NULL: only where the evaluator rejects every row too.
        if (passes || op == OP_NE || op == OP_GT || op == OP_GE) return left_out();
        value = S("NULL");
    } else if (wildcard(op, v.str)) {
        if (std::strchr(DATE_TYPES, f.type)) return left_out();  // a date column has no pattern
        value = sql_escape(like_pattern(v.str));
        op_text = S("ILIKE");
    } else {
        // The evaluator sees the field padded with blanks to its width: "y    " differs from
        // 'y' and is greater than it. The column holds 'y'.
        if (op == OP_NE && v.str.n != f.width) return left_out();  // every record differs
        if (std::strchr(DATE_TYPES, f.type) && !is_date(str_trim(v.str, TRIM_RIGHT)))
            return left_out();
        if (op == OP_GT) op_text = S(">=");
        value = sql_escape(str_trim(v.str, TRIM_RIGHT));
    }
    Str id = sql_ident(name);
    Item it;
    it.sql = sql_cat({id, S(" "), op_text, S(" "), value});
    bool nullable = !schema_not_null(f.file, f.field);
    if (nullable && ((!f.text && (op == OP_LT || op == OP_LE)) || passes))
        it.sql = sql_cat({S("("), id, S(" IS NULL OR "), it.sql, S(")")});
    it.error = str_error_code(it.sql);
    return it;
}

Item level(u16 s, Str text, u16 depth, Str whole);

// The value after a comparison: operands joined by arithmetic operators, evaluated as one.
// *after is the token that follows it.
Item value_item(u16 s, Str text, const Token& field_tok, Token* after, Str whole) {
    Item it;
    Token t = scan_token(text, field_tok.next);
    while (is_arithmetic(t.op) && t.error == 0) t = scan_token(text, t.next);
    *after = t;
    if (t.error) {
        it.error = t.error;
        return it;
    }
    Str value_text{text.p + field_tok.next, u16(t.start + t.text_len() - field_tok.next)};
    // A value that reads fields changes from record to record: no constant stands for it.
    if (str_find_char(value_text, 0, '{', QUOTED) != NOT_FOUND) return left_out();
    FieldRef f;
    FieldDesc d;
    if (field_ref_parse(Str{text.p + field_tok.start, field_tok.len}, &f) || f.file != s ||
        struct_field(f.file, f.field, &d))
        return left_out();
    Value v;
    u16 rc = expr_eval(value_text, v);
    if (rc == E_NULLEXPR)
        v = val_num(0);
    else if (rc > 1) {
        it.error = error_raise(M_SQLEXEC, fail_with_detail(E_SYNTAX, whole, false));
        return it;
    }
    return comparison(f, d.name, field_tok.op, v);
}

// One item from tok on; *last is its final token (the one with the logical operator).
Item item(u16 s, Str text, Token tok, Token* last, u16 depth, Str whole) {
    *last = tok;
    if (tok.flags == FL_GROUP && ends_item(tok)) {
        Item it = level(s, Str{text.p + tok.start + 1, u16(tok.list - 2)}, u16(depth + 1), whole);
        if (it.error || it.dropped || it.sql.n == 0) return it.error ? it : left_out();
        it.sql = sql_cat({S("("), it.sql, S(")")});
        it.error = str_error_code(it.sql);
        return it;
    }
    if (tok.flags == FL_FIELD && tok.list == 0 && comparison_sql(tok.op)) {
        Item it = value_item(s, text, tok, last, whole);
        if (it.error || ends_item(*last)) return it;
    }
    // Anything else is left out, up to the next logical operator.
    Item it = left_out();
    while (!ends_item(*last) && last->error == 0) *last = scan_token(text, last->next);
    it.error = last->error;
    return it;
}

// A level: items joined by logical operators. Items left out drop out of an AND chain; on a
// level with an OR the whole level is left out. A list separator (";", ",", ":") or an
// unknown operator leaves the whole level out too.
Item level(u16 s, Str text, u16 depth, Str whole) {
    Item out;
    if (depth > LEVELS_MAX) {
        out.error = error_raise(M_SQLEXEC, fail_with_detail(E_SYNTAX, whole, false));
        return out;
    }
    std::vector<Str> parts;
    std::vector<const char*> joins;
    bool dropped = false, has_or = false, whole_out = false;
    for (u16 pos = 0; pos < text.n;) {
        Token last;
        Item it = item(s, text, scan_token(text, pos), &last, depth, whole);
        if (it.error) return it;
        if (it.dropped)
            dropped = true;
        else
            parts.push_back(it.sql);
        if (last.op == OP_NONE) {
            whole_out = last.end != END_TEXT;
            break;
        }
        const char* join = logical_sql(last.op);
        has_or = has_or || last.op != OP_AND;
        if (!it.dropped) joins.push_back(join);
        pos = last.next;
    }
    if (whole_out || (dropped && has_or) || parts.empty()) {
        out.sql = str_empty();
        return out;
    }
    StrBuilder b;
    for (size_t i = 0; i < parts.size(); i++) {
        if (i) b.put(str_from_cstr(joins[i - 1]));
        b.put(parts[i]);
    }
    out.sql = b.finish();
    if (!out.sql.ok()) out.error = str_error_code(out.sql);
    return out;
}

}  // namespace

Str sql_condition(u16 s, Str text) {
    if (!text.ok()) return text;
    if (sysint_bit(SV_AUXSTAT, AUXSTAT_CONDITION_IS_SQL)) return text;
    TmpScope scope;
    Str prepared;
    if (u16 rc = text_prepare(text, &prepared)) return str_error(rc);
    Item it = level(s, prepared, 0, text);
    if (it.error) return str_error(it.error);
    return scope.keep(it.sql);
}

}  // namespace vx::data
