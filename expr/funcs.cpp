// The call of a built-in function: the dispatch table, splitting the argument list,
// evaluating the arguments onto the parameter stack, the argument helpers shared by the
// function bodies, and the parameter stack itself.
//
// A call takes an arena mark and the depth of the parameter stack on entry. Its arguments
// are evaluated from left to right (raw-argument functions evaluate fewer or none) and each
// value is pushed on the stack with its type; the body reads the same values from the
// call record. Whatever the outcome, the stack is cut back to its depth and the arena to
// the mark, keeping only the result.
#include "expr/funcs.h"

#include <cstddef>
#include <cstring>

#include "expr/eval.h"
#include "expr/funcs_hooks.h"
#include "expr/funcs_impl.h"
#include "expr/scan.h"
#include "runtime/arena.h"
#include "runtime/error.h"
#include "runtime/paths.h"
#include "runtime/store.h"

namespace vx::expr {

using namespace vx::rt;

namespace fn {

namespace {

constexpr u8 ALL = 255;       // every item is evaluated
constexpr u16 MANY = 0xFFFF;  // no count limit but the text's own

struct Entry {
    const char* name;
    Body body;
    u16 min_items;
    u16 max_items;
    u8 evaluate;  // leading items evaluated by the dispatcher
};

// By function number: the order of FUNCTION_LIST.
constexpr Entry TABLE[FUNCTION_COUNT] = {
    {"_#", f_accumulator, 1, 3, ALL},
    {"FN#FLEN", f_flen, 1, 1, ALL},
    {"FN#SLEN", f_slen, 1, 1, ALL},
    {"FN#PARM", f_parm_num, 1, 3, ALL},
    {"FN#VALN", f_valn, 1, 3, ALL},
    {"FN#ACUM", f_acum, 2, 4, 0},
    {"CHK#", f_chk_num, 1, 3, 1},
    {"FILEFIND", f_filefind, 1, 4, ALL},
    {"FILEREL", f_filerel, 3, MANY, 4},
    {"FILELOCATE", f_filelocate, 1, 2, ALL},
    {"FILESEL", f_filesel, 1, 2, ALL},
    {"FN$CHNG", f_chng, 2, 4, ALL},
    {"FN$CHRS", f_chrs, 1, 2, ALL},
    {"FN$DATE", f_date, 0, 2, ALL},
    {"FN$FLDS", f_flds, 1, 2, 0},
    {"FN$MASK", f_mask, 2, 3, ALL},
    {"FN$MIDS", f_mids, 2, 3, ALL},
    {"FN$PARM", f_parm_text, 1, 3, ALL},
    {"FN$TRIM", f_trim, 1, 2, ALL},
    {"ENVELOP$", f_envelop, 1, 2, ALL},
    {"CHK$", f_chk_text, 1, 3, 1},
    {"SORT$", f_sort, 1, ARGS_MAX, ALL},
    {"EXEC$", f_exec, 1, 2, ALL},
    {"READ$", f_read, 1, 3, ALL},
    {"WRITE", f_write, 3, 3, ALL},
    {"MACRO$", f_macro, 1, 3, ALL},
    {"ENVRON$", f_environ, 1, 2, ALL},
    {"_$", f_slots, 0, 3, ALL},
    {"KEY$", f_key, 0, 4, ALL},
    {"TIME$", f_time, 0, 2, ALL},
    {"IER", f_ier, 0, 1, ALL},
    {"EXP$", f_exp, 1, MANY, 1},
    {"SQLCHILD", f_sqlchild, 0, MANY, 0},
};

// ---- Splitting the argument list ----

bool is_separator(char ch) {
    return ch == ';' || ch == ',';
}

}  // namespace

u32 next_item(Str raw, u32 pos) {
    u16 depth = 0;
    for (u32 i = pos; i < raw.n;) {
        char ch = raw.p[i];
        if (is_quote(ch)) {
            i = skip_quoted(raw, u16(i));
            continue;
        }
        if (ch == '(')
            depth++;
        else if (ch == ')' && depth)
            depth--;
        else if (depth == 0 && is_separator(ch))
            return i + 1;
        i++;
    }
    return u32(raw.n) + 1;
}

namespace {

// The items of raw; an empty text has none. The first ITEMS_MAX are kept, all are counted.
void split_items(Str raw, Call& c) {
    c.count = 0;
    if (raw.n == 0) return;
    for (u32 pos = 0; pos <= raw.n;) {
        u32 next = next_item(raw, pos);
        if (c.count < ITEMS_MAX) c.item[c.count] = Str{raw.p + pos, u16(next - 1 - pos)};
        c.count++;
        pos = next;
    }
}

// ---- Evaluating arguments ----

bool is_digit(char ch) {
    return ch >= '0' && ch <= '9';
}

// Digits with at most one decimal point, as the evaluator reads number literals.
bool number_literal(Str s) {
    u16 points = 0, digits = 0;
    for (u16 i = 0; i < s.n; i++) {
        if (s.p[i] == '.')
            points++;
        else if (is_digit(s.p[i]))
            digits++;
        else
            return false;
    }
    return digits && points <= 1;
}

// Literals are read in place; anything else goes through the evaluator.
u16 eval_item(Str item, Value& v) {
    Str inner;
    if (quoted_literal(item, &inner)) {
        v = val_str(inner);
        return 1;
    }
    if (number_literal(item)) {
        v = val_num(num_parse(item));
        return 0;
    }
    return expr_eval(item, v);
}

// What goes on the parameter stack for an argument: the value itself, or, for a string
// the string store has no room for, an empty string. The function gets the whole value from
// the call record either way.
Value stack_copy(const Value& v) {
    if (!v.is_str) return v;
    return store_stats().bytes + v.str.n + 1 < STORE_TEXT ? v : val_str(str_empty());
}

u16 eval_arguments(Call& c, u16 limit) {
    u16 n = c.count < limit ? c.count : limit;
    if (n > ARGS_MAX) return E_SYNTAX;
    for (u16 i = 0; i < n; i++) {
        Value v;
        u16 code = eval_item(c.item[i], v);
        if (stops(code)) return code;
        c.given[i] = code != E_NULLEXPR;
        if (!c.given[i]) v = val_str(str_empty());
        if (u16 rc = param_push(stack_copy(v))) return rc;
        c.arg[i] = v;
        c.evaluated = u16(i + 1);
    }
    return 0;
}

// Cuts the parameter stack back to the call's depth when the call ends, however it ends.
class StackGuard {
public:
    explicit StackGuard(const Call& c) : c_(c) {}
    ~StackGuard() { param_cut(c_.stack_base); }
    StackGuard(const StackGuard&) = delete;
    StackGuard& operator=(const StackGuard&) = delete;

private:
    const Call& c_;
};

// The result as the newest temporary above mark. Codes 123-127 keep their value (CHK#
// and CHK$ answer 125 with theirs); errors leave nothing.
u16 finish(u16 mark, u16 code, Value& out) {
    if (!stops(code) && out.is_str && !out.str.ok()) code = str_error_code(out.str);
    if (stops(code)) {
        tmp_release(mark);
        out = val_num(0);
        return code;
    }
    if (!out.is_str) {
        tmp_release(mark);
        return code > 1 ? code : 0;
    }
    Str s = tmp_release_keep(mark, out.str);
    if (!s.ok()) {
        out = val_num(0);
        return str_error_code(s);
    }
    out = val_str(s);
    return code > 1 ? code : 1;
}

}  // namespace

// ---- Argument helpers ----

bool given(const Call& c, u16 i) {
    return i < c.evaluated && c.given[i];
}
bool arg_is_str(const Call& c, u16 i) {
    return given(c, i) && c.arg[i].is_str;
}

u16 arg_whole(const Call& c, u16 i, i64 def, i64* out) {
    if (!given(c, i)) {
        *out = def;
        return 0;
    }
    if (c.arg[i].is_str) return E_TYPEMISMATCH;
    *out = num_round_whole(c.arg[i].num);
    return 0;
}

u16 arg_whole_in(const Call& c, u16 i, i64 def, i64 lo, i64 hi, i64* out) {
    if (u16 rc = arg_whole(c, i, def, out)) return rc;
    return *out < lo || *out > hi ? u16(E_DATAOUTBOUND) : u16(0);
}

u16 arg_text(const Call& c, u16 i, Str def, Str* out) {
    if (!given(c, i)) {
        *out = def;
        return 0;
    }
    if (!c.arg[i].is_str) return E_TYPEMISMATCH;
    *out = c.arg[i].str;
    return 0;
}

u16 arg_text_any(const Call& c, u16 i, Str def, Str* out) {
    if (!given(c, i)) {
        *out = def;
        return 0;
    }
    *out = value_text(c.arg[i]);
    return str_error_code(*out);
}

u16 fail(u16 code, Str detail) {
    return fail_with_detail(code, detail, false);
}

Str value_text(const Value& v) {
    return v.is_str ? v.str : num_text(v.num);
}

u16 eval_value(Str text, Value& v) {
    u16 code = eval_item(text, v);
    if (code == E_NULLEXPR) v = val_num(0);
    return code;
}

u16 eval_whole(Str text, i64 def, i64* out) {
    *out = def;
    if (text.n == 0) return 0;
    TmpScope scope;
    Value v;
    u16 code = eval_value(text, v);
    if (stops(code)) return code;
    if (code == E_NULLEXPR) return 0;
    if (v.is_str) return E_TYPEMISMATCH;
    *out = num_round_whole(v.num);
    return 0;
}

Str unbracket(Str item) {
    if (item.n >= 2 && item.p[0] == '(' && match_bracket(item, 0) == item.n - 1)
        return Str{item.p + 1, u16(item.n - 2)};
    return item;
}

bool quoted_literal(Str item, Str* inner) {
    if (item.n < 2 || !is_quote(item.p[0]) || item.p[item.n - 1] != item.p[0]) return false;
    if (skip_quoted(item, 0) != item.n) return false;
    *inner = Str{item.p + 1, u16(item.n - 2)};
    return true;
}

Str file_name(Str name) {
    return path_expand(str_trim(name, TRIM_BOTH));
}

u16 word_index(Str word, const char* const* words, u16 count) {
    for (u16 k = 0; k < count; k++) {
        std::size_t n = std::strlen(words[k]);
        if (n == word.n && std::memcmp(words[k], word.p, n) == 0) return u16(k + 1);
    }
    return 0;
}

const char* table_name(u16 number) {
    return number >= 1 && number <= FUNCTION_COUNT ? TABLE[number - 1].name : "";
}

}  // namespace fn

// ---- The parameter stack ----

namespace {

constexpr u16 NUMBER_BYTES = 1 + sizeof(i64);

}  // namespace

u16 param_push(const Value& v) {
    if (!v.is_str) {
        char entry[NUMBER_BYTES];
        entry[0] = char(PARAM_NUMBER);
        std::memcpy(entry + 1, &v.num, sizeof v.num);
        return store_push(LIST_PARAMS, Str{entry, NUMBER_BYTES});
    }
    if (!v.str.ok()) return str_error_code(v.str);
    if (v.str.n >= MAX_STR) return E_STRINGTOOLONG;
    TmpScope scope;
    Str entry = tmp_alloc(u32(v.str.n) + 1, NO_FILL);
    if (!entry.ok()) return str_error_code(entry);
    str_mut(entry)[0] = char(PARAM_STRING);
    if (v.str.n) std::memcpy(str_mut(entry) + 1, v.str.p, v.str.n);
    return store_push(LIST_PARAMS, entry);
}

u16 param_read(u16 index, Value& out) {
    if (index >= store_count(LIST_PARAMS)) return E_DATAOUTBOUND;
    Str e = store_get(LIST_PARAMS, index);
    if (!e.ok()) return str_error_code(e);
    if (e.n == NUMBER_BYTES && e.p[0] == char(PARAM_NUMBER)) {
        i64 n;
        std::memcpy(&n, e.p + 1, sizeof n);
        out = val_num(n);
        return 0;
    }
    if (e.n == 0 || e.p[0] != char(PARAM_STRING)) return E_DATA;
    Str s = str_copy(Str{e.p + 1, u16(e.n - 1)});
    if (!s.ok()) return str_error_code(s);
    out = val_str(s);
    return 0;
}

u16 param_depth() {
    return store_count(LIST_PARAMS);
}

void param_cut(u16 depth) {
    if (store_count(LIST_PARAMS) > depth) store_truncate(LIST_PARAMS, depth);
}

// ---- The call ----

u16 fn_call(u16 number, Str raw_args, Value& out) {
    using namespace fn;
    out = val_num(0);
    if (number == 0 || number > FUNCTION_COUNT || !raw_args.ok()) return E_SYNTAX;
    const Entry& e = TABLE[number - 1];
    u16 mark = tmp_mark();
    Call c;
    c.number = number;
    c.raw = raw_args;
    c.stack_base = param_depth();
    StackGuard guard(c);
    split_items(raw_args, c);
    u16 code = c.count < e.min_items || c.count > e.max_items ? u16(E_SYNTAX) : u16(0);
    if (!code) code = eval_arguments(c, e.evaluate);
    if (!code) code = e.body(c, out);
    return finish(mark, code, out);
}

}  // namespace vx::expr
