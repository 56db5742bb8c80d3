// The evaluator: the cache of prepared texts and their scans, operands, the operator loop
// with assignment, expression lists, and the entry points.
//
// A text is prepared (balance, blanks, macro forms) and scanned operand by operand; the
// prepared text and the tokens found in it are kept for the last CACHE_ENTRIES texts, so a
// text evaluated again is neither prepared nor scanned again. Only what the text alone
// decides is kept: values, variable kinds of the moment and field types are read afresh on
// every evaluation. An entry in use is pinned and never reused by a nested evaluation.
#include "expr/eval.h"

#include <cstring>

#include "expr/eval_impl.h"
#include "expr/fieldref.h"
#include "expr/funcs.h"
#include "expr/scan.h"
#include "expr/vars.h"
#include "runtime/arena.h"
#include "runtime/error.h"
#include "runtime/tasks.h"

namespace vx::expr {

using namespace vx::rt;
using namespace detail;

namespace {

constexpr u16 CACHE_ENTRIES = 32;
constexpr u16 CACHE_KEY_MAX = 256;     // longer texts are not kept
constexpr u16 CACHE_TEXT_MAX = 512;    // nor are texts whose prepared form is longer
constexpr u16 CACHE_TOKENS_MAX = 64;   // tokens kept per text; later ones are scanned each time
constexpr u16 SUBSCRIPTS_MAX = ARRAY_DIMS_MAX + 1;   // one more than allowed, to tell 149

struct CacheEntry {
    u32 hash = 0;
    u32 stamp = 0;      // last use; 0 for a free entry
    u16 key_len = 0;
    u16 text_len = 0;
    u16 pins = 0;
    u16 tokens = 0;
    char key[CACHE_KEY_MAX];
    char text[CACHE_TEXT_MAX];
    u8 token_at[CACHE_TEXT_MAX + 1];   // 1 + index of the token that starts there, 0 for none
    Token token[CACHE_TOKENS_MAX];
};

struct EvalState {
    CacheEntry cache[CACHE_ENTRIES];
    u32 clock = 0;
    u16 depth = 0;                     // nesting of evaluations, over all entry points
    AppFunctionHook app = nullptr;
    FunctionDispatch dispatch = nullptr;
};

EvalState ev;

// ---- The cache ----

u32 text_hash(Str s) {
    u32 h = 2166136261u;
    for (u16 i = 0; i < s.n; i++) h = (h ^ s.at(i)) * 16777619u;
    return h;
}

CacheEntry* cache_find(u32 hash, Str key) {
    for (CacheEntry& e : ev.cache)
        if (e.stamp && e.hash == hash && e.key_len == key.n && std::memcmp(e.key, key.p, key.n) == 0) return &e;
    return nullptr;
}

// The least recently used entry that is not pinned, null when all are.
CacheEntry* cache_victim() {
    CacheEntry* best = nullptr;
    for (CacheEntry& e : ev.cache)
        if (e.pins == 0 && (!best || e.stamp < best->stamp)) best = &e;
    return best;
}

CacheEntry* cache_fill(u32 hash, Str key, Str text) {
    CacheEntry* e = cache_victim();
    if (!e) return nullptr;
    e->hash = hash;
    e->key_len = key.n;
    std::memcpy(e->key, key.p, key.n);
    e->text_len = text.n;
    std::memcpy(e->text, text.p, text.n);
    std::memset(e->token_at, 0, u32(text.n) + 1);
    e->tokens = 0;
    return e;
}

// ---- One evaluation over one prepared text ----

struct Ctx {
    Str text;
    CacheEntry* entry = nullptr;   // pinned while the evaluation runs
    u16 fail_pos = NOT_FOUND;      // start of the failing operand
    u16 fail_shown = 0;            // bytes from fail_pos already in the error context
};

u16 open_text(Str raw, Ctx& c) {
    bool cacheable = raw.n <= CACHE_KEY_MAX;
    u32 hash = cacheable ? text_hash(raw) : 0;
    CacheEntry* e = cacheable ? cache_find(hash, raw) : nullptr;
    if (!e) {
        Str prepared;
        if (u16 rc = text_prepare(raw, &prepared)) return rc;
        c.text = prepared;
        if (cacheable && prepared.n <= CACHE_TEXT_MAX) e = cache_fill(hash, raw, prepared);
        if (!e) return 0;
    }
    e->stamp = ++ev.clock;
    e->pins++;
    c.entry = e;
    c.text = Str{e->text, e->text_len};
    return 0;
}

void close_text(Ctx& c) {
    if (c.entry) c.entry->pins--;
}

Token token_at(Ctx& c, u16 pos) {
    CacheEntry* e = c.entry;
    if (e && e->token_at[pos]) return e->token[e->token_at[pos] - 1];
    Token t = scan_token(c.text, pos);
    if (e && e->tokens < CACHE_TOKENS_MAX) {
        e->token[e->tokens++] = t;
        e->token_at[pos] = u8(e->tokens);
    }
    return t;
}

Str operand_text(const Ctx& c, const Token& t) { return Str{c.text.p + t.start, t.text_len()}; }
Str operand_name(const Ctx& c, const Token& t) { return Str{c.text.p + t.start, t.len}; }

// ---- Nesting limit ----

struct Nest {
    bool ok;
    Nest() : ok(ev.depth < EVAL_DEPTH_MAX) { ev.depth = u16(ev.depth + (ok ? 1 : 0)); }
    ~Nest() { ev.depth = u16(ev.depth - (ok ? 1 : 0)); }
    Nest(const Nest&) = delete;
    Nest& operator=(const Nest&) = delete;
};

// ---- Values on the way ----

struct Item {
    Value v;
    u16 code = 0;
    Token tok;                   // the last token taken: its operator comes next
    u16 first = 0;               // where the item's text starts
    bool plain = false;          // the value is that of the operand tok alone
    bool pending = false;        // plain operand not read yet (it is followed by "=")
    bool numeric_field = false;  // plain operand that is a numeric field reference
};

bool stops(u16 code) { return code >= FIRST_ERROR || code == E_CANCELLED; }
u16 code_of(const Value& v) { return v.is_str ? 1 : 0; }

u16 fail_at(Ctx& c, u16 pos, u16 code) {
    if (c.fail_pos == NOT_FOUND) c.fail_pos = pos;
    return code;
}

u16 operand_failed(Ctx& c, const Token& t, u16 code) {
    if (code < FIRST_ERROR) return code;
    bool first = c.fail_pos == NOT_FOUND;
    fail_at(c, t.start, code);
    if (t.flags == FL_GROUP) return code;
    fail_with_detail(code, operand_text(c, t), true);
    if (first) c.fail_shown = t.text_len();
    return code;
}

// A string result moves down to base; a number leaves nothing above it.
void keep_at(Item& it, u16 base) {
    if (!it.v.is_str) {
        tmp_release(base);
        return;
    }
    it.v.str = tmp_release_keep(base, it.v.str);
    if (!it.v.str.ok()) it.code = str_error_code(it.v.str);
}

void eval_list(Ctx& c, u16 pos, u16 end, Item& out);
void eval_item(Ctx& c, u16 pos, Item& out);

// ---- Operands ----

bool is_letter(char ch) { return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z'); }
bool is_digit(char ch) { return ch >= '0' && ch <= '9'; }

bool number_literal(Str s) {
    u16 i = 0, digits = 0;
    for (; i < s.n && is_digit(s.p[i]); i++) digits++;
    if (i < s.n && s.p[i] == '.')
        for (i++; i < s.n && is_digit(s.p[i]); i++) digits++;
    return digits && i == s.n;
}

u16 read_literal(Str s, Value& v) {
    if (s.n < 2 || skip_quoted(s, 0) != s.n || s.p[s.n - 1] != s.p[0]) return E_SYNTAX;
    v = val_str(Str{s.p + 1, u16(s.n - 2)});
    return 1;
}

u16 read_number(Str s, Value& v) {
    if (s.n > 1 && s.p[0] == '.' && is_letter(s.p[1])) {
        u16 rc = const_read(s, v);
        return rc ? rc : code_of(v);
    }
    if (!number_literal(s)) return E_SYNTAX;
    v = val_num(num_parse(s));
    return 0;
}

u16 read_variable(Str name, Value& v) {
    u16 rc = var_read(name, v);
    return rc ? rc : code_of(v);
}

// Evaluates the items of an operand's bracketed list, separated by ";" or ",". An empty
// list gives no value when allowed, else 147; more than max values give too_many.
u16 eval_args(Ctx& c, const Token& t, Value* vals, u16 max, u16* n, bool allow_none, u16 too_many) {
    Nest nest;
    if (!nest.ok) return fail_at(c, t.start, E_MEMOVERFLOW);
    u16 pos = u16(t.start + t.len + 1);
    u16 close = u16(t.start + t.len + t.list - 1);
    *n = 0;
    if (pos == close) return allow_none ? 0 : fail_at(c, t.start, E_SYNTAX);
    for (;;) {
        if (*n == max) return fail_at(c, pos, too_many);
        Item it;
        eval_item(c, pos, it);
        if (stops(it.code)) return it.code;
        if (it.code == E_NULLEXPR) return fail_at(c, pos, E_SYNTAX);
        vals[(*n)++] = it.v;
        const Token& last = it.tok;
        if (last.end == ')' && last.next - 1 == close) return 0;
        if (last.end != ';' && last.end != ',') return fail_at(c, last.start, E_SYNTAX);
        pos = last.next;
    }
}

u16 eval_subscripts(Ctx& c, const Token& t, i64* subs, u16* n) {
    Value vals[SUBSCRIPTS_MAX];
    if (u16 rc = eval_args(c, t, vals, SUBSCRIPTS_MAX, n, false, E_DIMSTRUC)) return rc;
    for (u16 i = 0; i < *n; i++) {
        if (vals[i].is_str) return fail_at(c, t.start, E_TYPEMISMATCH);
        subs[i] = num_round_whole(vals[i].num);
    }
    return 0;
}

constexpr char NOT_IN_NAMES[] = "'\"{}";

bool plain_name(Str name) {
    for (const char* ch = NOT_IN_NAMES; *ch; ch++)
        if (std::memchr(name.p, *ch, name.n)) return false;
    return true;
}

// The application's value converted to the kind of the name.
void to_kind_of(Str name, Value& v) {
    switch (var_kind(name)) {
        case KIND_STR:
            if (!v.is_str) v = val_str(num_text(v.num));
            break;
        case KIND_NUM:
            if (v.is_str) v = val_num(num_parse(v.str));
            break;
        default:
            v = val_num(num_from_whole(num_to_int16(v.is_str ? num_parse(v.str) : v.num)));
    }
}

u16 call_application(Ctx& c, const Token& t, u16 mode, Value* v) {
    if (!ev.app) return E_SYNTAX;
    Value args[CALL_ARGS_MAX];
    u16 n = 0;
    if (u16 rc = eval_args(c, t, args, CALL_ARGS_MAX, &n, true, E_SYNTAX)) return rc;
    Str name = operand_name(c, t);
    if (u16 rc = ev.app(mode, name, args, n, v)) return rc;
    if (mode == APP_FN_WRITE) return 0;
    to_kind_of(name, *v);
    return v->is_str && !v->str.ok() ? str_error_code(v->str) : code_of(*v);
}

u16 read_list_operand(Ctx& c, const Token& t, Value& v) {
    Str name = operand_name(c, t);
    if (!plain_name(name)) return E_SYNTAX;
    TmpScope scope;
    u16 code;
    if (name.p[0] == '_') {
        code = call_application(c, t, APP_FN_READ, &v);
    } else {
        i64 subs[SUBSCRIPTS_MAX];
        u16 n = 0;
        if (u16 rc = eval_subscripts(c, t, subs, &n)) return rc;
        u16 rc = array_read(name, subs, n, v);
        code = rc ? rc : code_of(v);
    }
    if (code < FIRST_ERROR && v.is_str) v.str = scope.keep(v.str);
    return code;
}

u16 call_function(Ctx& c, const Token& t, Value& v) {
    Str raw{c.text.p + t.start + t.len + 1, u16(t.list - 2)};
    FunctionDispatch call = ev.dispatch ? ev.dispatch : fn_call;
    u16 code = call(t.fn, raw, v);
    if (code < E_CANCELLED) code = code_of(v);
    return code;
}

u16 read_field(Ctx& c, const Token& t, Item& it) {
    FieldRef f;
    if (u16 rc = field_ref_parse(operand_name(c, t), &f)) return rc;
    it.numeric_field = !f.text;
    u16 rc = field_ref_get(f, it.v);
    return rc ? rc : code_of(it.v);
}

u16 eval_group(Ctx& c, const Token& t, Item& it) {
    Nest nest;
    if (!nest.ok) return E_MEMOVERFLOW;
    Item inner;
    eval_list(c, u16(t.start + 1), u16(t.start + t.list - 1), inner);
    it.v = inner.v;
    return inner.code;
}

// Evaluates the operand of it.tok into it.
u16 read_operand(Ctx& c, Item& it) {
    const Token& t = it.tok;
    it.v = val_num(0);
    u16 code;
    if (t.error) code = t.error;
    else if (t.empty()) code = E_NULLEXPR;
    else {
        Str name = operand_name(c, t);
        switch (t.flags) {
            case FL_GROUP: code = eval_group(c, t, it); break;
            case FL_FUNCTION: code = call_function(c, t, it.v); break;
            case FL_LIST: code = read_list_operand(c, t, it.v); break;
            case FL_FIELD: code = read_field(c, t, it); break;
            case FL_VARIABLE:
            case FL_STRING | FL_VARIABLE:
            case FL_VARIABLE | FL_NUMBER_VAR: code = read_variable(name, it.v); break;
            case FL_STRING: code = read_literal(name, it.v); break;
            case 0: code = read_number(name, it.v); break;
            default: code = E_SYNTAX;
        }
    }
    it.code = operand_failed(c, t, code);
    return it.code;
}

void load_operand(Ctx& c, u16 pos, Item& it) {
    it = Item{};
    it.tok = token_at(c, pos);
    it.first = pos;
    it.plain = !it.tok.empty();
    if (it.plain && it.tok.op == OP_ASSIGN && !it.tok.error) {
        it.pending = true;   // an assignment target is not read
        return;
    }
    read_operand(c, it);
}

u16 resolve(Ctx& c, Item& it) {
    if (!it.pending) return it.code;
    it.pending = false;
    return read_operand(c, it);
}

// ---- Operators ----

// Applies op to left and right; the result replaces left.
void combine(Ctx& c, u8 op, Item& left, const Item& right) {
    const Value& a = left.v;
    const Value& b = right.v;
    Value out;
    u16 rc;
    if (a.is_str == b.is_str) {
        rc = a.is_str ? apply_strings(op, a.str, b.str, out) : apply_numbers(op, a.num, b.num, &out.num);
    } else if (left.numeric_field || right.numeric_field) {
        // A numeric field reference takes the string on the other side as a number.
        i64 x = a.is_str ? num_parse(a.str) : a.num;
        i64 y = b.is_str ? num_parse(b.str) : b.num;
        rc = apply_numbers(op, x, y, &out.num);
    } else {
        rc = E_TYPEMISMATCH;
    }
    left.tok = right.tok;
    left.plain = false;
    left.numeric_field = false;
    if (rc) {
        left.code = fail_at(c, left.first, rc);
        return;
    }
    left.v = out;
    left.code = code_of(out);
}

void climb(Ctx& c, Item& left, u8 min_prec, u16 base);
void assign(Ctx& c, Item& left, u16 base);

// A sign: the empty operand in it is followed by an operator, which applies to 0 and the
// operand after it (with what binds tighter than the sign). The operand must be a number.
void sign(Ctx& c, Item& it, u16 base);

// Loads the right operand of op at pos with everything that binds tighter than op.
void right_operand(Ctx& c, bool left_is_str, u8 op, u16 pos, Item& right, u16 base) {
    load_operand(c, pos, right);
    if (stops(right.code)) return;
    if (right.tok.empty()) {
        if (right.tok.op == OP_NONE || left_is_str) {
            right.code = fail_at(c, right.first, E_SYNTAX);
            return;
        }
        sign(c, right, base);
    }
    while (!stops(right.code) && right.tok.op && OP_PRECEDENCE[right.tok.op] > OP_PRECEDENCE[op])
        climb(c, right, OP_PRECEDENCE[right.tok.op], base);
    if (op != OP_ASSIGN && !stops(right.code)) resolve(c, right);
}

void sign(Ctx& c, Item& it, u16 base) {
    Nest nest;
    u8 op = it.tok.op;
    if (!nest.ok || op == OP_ASSIGN) {
        it.code = fail_at(c, it.first, nest.ok ? E_SYNTAX : E_MEMOVERFLOW);
        return;
    }
    Item zero = it;
    zero.v = val_num(0);
    zero.code = 0;
    zero.plain = false;
    Item operand;
    right_operand(c, false, op, it.tok.next, operand, base);
    if (stops(operand.code)) {
        it.code = operand.code;
        return;
    }
    if (operand.v.is_str) {   // no operand before a string
        it.code = fail_at(c, it.first, E_SYNTAX);
        return;
    }
    combine(c, op, zero, operand);
    it = zero;
    if (!stops(it.code)) keep_at(it, base);
}

void climb(Ctx& c, Item& left, u8 min_prec, u16 base) {
    Nest nest;
    if (!nest.ok) {
        left.code = fail_at(c, left.first, E_MEMOVERFLOW);
        return;
    }
    while (!stops(left.code)) {
        u8 op = left.tok.op;
        if (op == OP_NONE || OP_PRECEDENCE[op] < min_prec) break;
        if (op == OP_ASSIGN) {
            assign(c, left, base);
            continue;
        }
        if (stops(resolve(c, left))) break;
        u16 right_base = tmp_mark();
        Item right;
        right_operand(c, left.v.is_str, op, left.tok.next, right, right_base);
        if (stops(right.code)) {
            left.code = right.code;
            break;
        }
        combine(c, op, left, right);
        if (!stops(left.code)) keep_at(left, base);
    }
}

// ---- Assignment ----

bool assignable(u8 flags) {
    switch (flags) {
        case FL_VARIABLE:
        case FL_STRING | FL_VARIABLE:
        case FL_VARIABLE | FL_NUMBER_VAR:
        case FL_LIST:
        case FL_FIELD: return true;
        default: return false;
    }
}

u16 store(Ctx& c, const Token& t, const Value& v) {
    Str name = operand_name(c, t);
    switch (t.flags) {
        case FL_FIELD: {
            FieldRef f;
            u16 rc = field_ref_parse(name, &f);
            return rc ? rc : field_ref_set(f, v);
        }
        case FL_LIST: {
            if (!plain_name(name)) return E_SYNTAX;
            TmpScope scope;
            if (name.p[0] == '_') {
                Value copy = v;
                return call_application(c, t, APP_FN_WRITE, &copy);
            }
            i64 subs[SUBSCRIPTS_MAX];
            u16 n = 0;
            if (u16 rc = eval_subscripts(c, t, subs, &n)) return rc;
            return array_assign(name, subs, n, v);
        }
        default:
            if (((t.flags & FL_STRING) != 0) != v.is_str) return E_TYPEMISMATCH;
            return var_assign(name, v);
    }
}

// left: a plain operand followed by "=". The right side is evaluated first (with a further
// assignment it ends in, so that A=B=0 assigns right to left), then stored.
void assign(Ctx& c, Item& left, u16 base) {
    Nest nest;
    if (!nest.ok || !left.plain || !assignable(left.tok.flags)) {
        left.code = fail_at(c, left.first, nest.ok ? E_SYNTAX : E_MEMOVERFLOW);
        return;
    }
    Item right;
    right_operand(c, false, OP_ASSIGN, left.tok.next, right, base);
    if (!stops(right.code) && right.tok.op == OP_ASSIGN) {
        if (right.plain) assign(c, right, base);
        else right.code = fail_at(c, right.first, E_SYNTAX);
    }
    if (stops(right.code)) {
        left.code = right.code;
        return;
    }
    u16 rc = store(c, left.tok, right.v);
    if (stops(rc)) {
        left.code = operand_failed(c, left.tok, rc);
        return;
    }
    left.v = right.v;
    left.code = right.code;
    left.tok = right.tok;
    left.plain = false;
    left.pending = false;
    left.numeric_field = false;
    keep_at(left, base);
}

// ---- Items and lists ----

void eval_item(Ctx& c, u16 pos, Item& out) {
    u16 base = tmp_mark();
    load_operand(c, pos, out);
    if (stops(out.code)) return;
    if (out.tok.empty()) {
        if (out.tok.op == OP_NONE) return;   // an empty item: 123 with the number 0
        sign(c, out, base);                  // a leading sign
    }
    climb(c, out, 0, base);
}

// Items separated by ";", "," or ":" up to end (the text's end, or the ")" of a group);
// the value is that of the last item.
void eval_list(Ctx& c, u16 pos, u16 end, Item& out) {
    u16 mark = tmp_mark();
    for (;;) {
        tmp_release(mark);
        eval_item(c, pos, out);
        if (stops(out.code)) return;
        const Token& t = out.tok;
        bool group_end = t.end == ')' && t.next - 1 == end;
        if ((t.end == END_TEXT && end == c.text.n) || group_end) return;
        if (t.end != ';' && t.end != ',' && t.end != ':') {
            out.code = fail_at(c, u16(t.start + t.text_len()), E_SYNTAX);
            return;
        }
        pos = t.next;
    }
}

// ---- The end of a top-level evaluation ----

u16 finish(Ctx& c, Item& it, u16 mark, Value& out) {
    u16 code = it.code;
    if (code == E_ODDTYPE && it.v.is_str) {
        it.v = val_str(str_empty());
        code = 1;
    }
    if (stops(code)) {
        // The rest of the text from the failing operand, unless that operand was the rest:
        // the context would show the same line twice.
        Str rest = c.fail_pos != NOT_FOUND ? str_substr(c.text, c.fail_pos, NOT_FOUND) : str_empty();
        if (code >= FIRST_ERROR && rest.n && rest.n != c.fail_shown)
            fail_with_detail(code, rest, true);
        tmp_release(mark);
        return code;
    }
    if (!it.v.is_str) {
        tmp_release(mark);
        out = it.v;
        return code;
    }
    Str s = tmp_release_keep(mark, it.v.str);
    if (!s.ok()) return str_error_code(s);
    out = val_str(s);
    return code;
}

u16 subscript_value(Str text, i64* scaled) {
    TmpScope scope;
    Value v;
    u16 code = expr_eval(text, v);
    if (code == E_NULLEXPR) return E_SYNTAX;
    if (stops(code)) return code;
    if (v.is_str) return E_TYPEMISMATCH;
    *scaled = v.num;
    return 0;
}

}  // namespace

// ---- Entry points ----

u16 expr_eval(Str text, Value& out) {
    out = val_num(0);
    if (!text.ok()) return str_error_code(text);
    u16 mark = tmp_mark();
    Nest nest;
    Ctx c;
    u16 code = nest.ok ? open_text(text, c) : u16(E_MEMOVERFLOW);
    if (code == 0) {
        Item it;
        eval_list(c, 0, c.text.n, it);
        code = finish(c, it, mark, out);
        close_text(c);
    } else {
        tmp_release(mark);
    }
    return error_note(1, M_EXPEXEC, code, code);
}

u16 expr_condition(Str text) {
    if (!text.ok()) return str_error_code(text);
    if (str_trim(text, TRIM_BOTH).n == 0) return 1;
    TmpScope scope;
    Value v;
    u16 code = expr_eval(text, v);
    if (code >= E_CANCELLED) return code;
    return !v.is_str && v.num != 0 ? 1 : 0;
}

Str expr_text(Str text) {
    TmpScope scope;
    Value v;
    u16 code = expr_eval(text, v);
    if (stops(code)) return scope.keep(str_error(u16(code)));
    if (code == E_NULLEXPR) return scope.keep(str_empty());
    return scope.keep(v.is_str ? v.str : num_text(v.num));
}

i64 expr_number(Str text) {
    TmpScope scope;
    Value v;
    if (stops(expr_eval(text, v))) return 0;
    return v.is_str ? num_parse(v.str) : v.num;
}

i64 expr_whole(Str text) { return num_round_whole(expr_number(text)); }

u16 expr_check(Str text) {
    TmpScope scope;
    Value v;
    u16 code = expr_eval(text, v);
    return code >= FIRST_ERROR ? code : 0;
}

void app_function_hook_set(AppFunctionHook hook) { ev.app = hook; }
void function_dispatch_set(FunctionDispatch dispatch) { ev.dispatch = dispatch; }

void eval_cache_clear() {
    for (CacheEntry& e : ev.cache)
        if (e.pins == 0) e.stamp = 0;
}

void eval_install() {
    eval_cache_clear();
    task_expander_set(task_line_expand);
    vars_set_subscript_eval(subscript_value);
}

}  // namespace vx::expr
