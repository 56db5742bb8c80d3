// The scanner: preparing texts, finding operands, operators and brackets, and the type
// flags of operands.
#include "expr/scan.h"

#include <cstring>

#include "expr/funcs.h"
#include "runtime/arena.h"
#include "runtime/error.h"

namespace vx::expr {

using namespace vx::rt;

namespace {

// Operators by their text; a pair missing here is no operator.
struct OperatorText {
    char first;
    char second;   // 0 for a one-character operator
    u8 op;
};
constexpr OperatorText OPERATORS[] = {
    {'*', 0, OP_MUL},      {'/', 0, OP_DIV},     {'!', 0, OP_ROUND},  {'%', 0, OP_PERCENT},
    {'\xF7', 0, OP_LESS_PERCENT},                {'+', 0, OP_ADD},    {'-', 0, OP_SUB},
    {'=', 0, OP_ASSIGN},   {'>', 0, OP_GT},      {'<', 0, OP_LT},     {'=', '=', OP_EQ},
    {'>', '=', OP_GE},     {'<', '=', OP_LE},    {'<', '>', OP_NE},   {'&', 0, OP_BITAND},
    {'|', 0, OP_BITOR},    {'@', 0, OP_BITOR2},  {'&', '&', OP_AND},  {'|', '|', OP_OR},
    {'@', '@', OP_XOR},
};

// The macro forms and what they become; the argument goes between head and tail.
struct MacroForm {
    const char* call;
    const char* head;
    const char* tail;
};
constexpr MacroForm MACROS[] = {
    {"_ACCEPT$(", "FN$TRIM(FN$PARM(_$(.envvar;.dialog);", ");'FIT')"},
    {"_ACCEPT#(", "FN#VALN(FN$TRIM(FN$PARM(_$(.envvar;.dialog);", ");'FIT'))"},
};
constexpr u16 MACRO_CALL_LEN = 9;   // "_ACCEPT$(" and "_ACCEPT#("
constexpr char MACRO_STEM[] = "_ACCEPT";

bool in_set(const char* set, char c) { return c != 0 && std::strchr(set, c) != nullptr; }

bool has_char(Str s, char c) { return s.n && std::memchr(s.p, c, s.n) != nullptr; }

// ---- Balance and blanks ----

u16 check_balance(Str text) {
    i32 depth = 0;
    for (u16 i = 0; i < text.n;) {
        char c = text.p[i];
        if (is_quote(c)) { i = skip_quoted(text, i); continue; }
        if (c == '(') depth++;
        else if (c == ')') depth--;
        i++;
    }
    return depth == 0 ? 0 : E_LOOP;
}

// The first blank outside quotes that stands between two operands, NOT_FOUND when none;
// *blanks tells whether there is any blank outside quotes at all.
u16 misplaced_blank(Str text, bool* blanks) {
    *blanks = false;
    char prev = 0;   // nearest non-blank byte before, 0 at the start
    for (u16 i = 0; i < text.n;) {
        char c = text.p[i];
        if (is_quote(c)) {
            u16 after = skip_quoted(text, i);
            prev = text.p[after - 1];
            i = after;
            continue;
        }
        if (!is_blank(c)) {
            prev = c;
            i++;
            continue;
        }
        *blanks = true;
        u16 j = i;
        while (j < text.n && is_blank(text.p[j])) j++;
        bool before_ok = prev == 0 || is_delimiter(prev);
        bool after_ok = j == text.n || is_delimiter(text.p[j]);
        if (!before_ok && !after_ok) return i;
        i = j;
    }
    return NOT_FOUND;
}

Str without_blanks(Str text) {
    Str out = tmp_alloc(text.n, NO_FILL);
    if (!out.ok()) return out;
    char* w = str_mut(out);
    u16 n = 0;
    for (u16 i = 0; i < text.n;) {
        char c = text.p[i];
        if (is_quote(c)) {
            u16 after = skip_quoted(text, i);
            std::memcpy(w + n, text.p + i, after - i);
            n = u16(n + (after - i));
            i = after;
            continue;
        }
        if (!is_blank(c)) w[n++] = c;
        i++;
    }
    return Str{out.p, n};
}

// ---- Macro forms ----

// The next macro call at or after from, outside quotes and at the start of an operand.
u16 find_macro(Str text, u16 from, const MacroForm** form) {
    const u16 stem = u16(sizeof MACRO_STEM - 1);
    for (u16 i = from; i < text.n;) {
        char c = text.p[i];
        if (is_quote(c)) { i = skip_quoted(text, i); continue; }
        bool at_start = i == 0 || is_delimiter(text.p[i - 1]);
        if (c == '_' && at_start && text.n - i >= MACRO_CALL_LEN &&
            std::memcmp(text.p + i, MACRO_STEM, stem) == 0) {
            for (const MacroForm& m : MACROS)
                if (std::memcmp(text.p + i, m.call, MACRO_CALL_LEN) == 0) {
                    *form = &m;
                    return i;
                }
        }
        i++;
    }
    return NOT_FOUND;
}

// Rewrites every macro call, the arguments of calls included.
Str rewrite_macros(Str text) {
    const MacroForm* form = nullptr;
    u16 at = find_macro(text, 0, &form);
    if (at == NOT_FOUND) return text;
    TmpScope scope;
    while (at != NOT_FOUND) {
        u16 open = u16(at + MACRO_CALL_LEN - 1);
        u16 close = match_bracket(text, open);
        if (close == NOT_FOUND) break;
        Str head = str_from_cstr(form->head);
        StrBuilder b;
        b.put(text.p, at);
        b.put(head);
        b.put(text.p + open + 1, u32(close - open - 1));
        b.put(str_from_cstr(form->tail));
        b.put(text.p + close + 1, u32(text.n - close - 1));
        text = b.finish();
        if (!text.ok()) return text;
        at = find_macro(text, u16(at + head.n), &form);
    }
    return scope.keep(text);
}

}  // namespace

bool is_delimiter(char c) { return in_set(DELIMITERS, c); }

u16 skip_quoted(Str text, u16 pos) {
    char q = text.p[pos];
    const void* close = pos + 1 < text.n ? std::memchr(text.p + pos + 1, q, text.n - pos - 1) : nullptr;
    return close ? u16(static_cast<const char*>(close) - text.p + 1) : text.n;
}

u16 match_bracket(Str text, u16 open) {
    u16 depth = 0;
    for (u16 i = open; i < text.n;) {
        char c = text.p[i];
        if (is_quote(c)) { i = skip_quoted(text, i); continue; }
        if (c == '(') depth++;
        else if (c == ')' && --depth == 0) return i;
        i++;
    }
    return NOT_FOUND;
}

u16 text_prepare(Str text, Str* out) {
    *out = text;
    if (!text.ok()) return str_error_code(text);
    if (u16 rc = check_balance(text)) return rc;
    bool blanks = false;
    u16 bad = misplaced_blank(text, &blanks);
    if (bad != NOT_FOUND) return fail_with_detail(E_SYNTAX, str_substr(text, bad, NOT_FOUND), true);
    TmpScope scope;
    Str t = blanks ? without_blanks(text) : text;
    if (t.ok()) t = rewrite_macros(t);
    if (!t.ok()) return str_error_code(t);
    *out = t.p == text.p ? text : scope.keep(t);
    return out->ok() ? 0 : str_error_code(*out);
}

u8 operator_at(Str text, u16 pos, u16* length) {
    char first = text.p[pos];
    char second = pos + 1 < text.n && in_set(PAIR_SECONDS, text.p[pos + 1]) ? text.p[pos + 1] : 0;
    *length = second ? 2 : 1;
    for (const OperatorText& o : OPERATORS)
        if (o.first == first && o.second == second) return o.op;
    return OP_NONE;
}

u8 operand_flags(Str name, bool with_list, u16* fn) {
    *fn = 0;
    if (name.n == 0) return with_list ? FL_GROUP : 0;
    if (with_list) {
        *fn = fn_find(name);
        return *fn ? FL_FUNCTION : FL_LIST;
    }
    struct Mark {
        char c;
        u8 flags;
    };
    static constexpr Mark MARKS[] = {{'\'', FL_STRING},
                                     {'"', FL_STRING},
                                     {'$', FL_STRING | FL_VARIABLE},
                                     {'#', FL_VARIABLE | FL_NUMBER_VAR},
                                     {'{', FL_FIELD},
                                     {'(', FL_LIST}};
    for (const Mark& m : MARKS)
        if (has_char(name, m.c)) return m.flags;
    return u8(name.p[0]) < u8('A') ? 0 : FL_VARIABLE;
}

Token scan_token(Str text, u16 pos) {
    Token t;
    t.start = pos;
    u16 i = pos;
    while (i < text.n) {
        char c = text.p[i];
        if (is_quote(c)) { i = skip_quoted(text, i); continue; }
        if (c == '(') {
            u16 close = match_bracket(text, i);
            if (close == NOT_FOUND) {
                t.error = E_LOOP;
                t.len = u16(i - pos);
                i = text.n;
                break;
            }
            t.len = u16(i - pos);
            t.list = u16(close + 1 - i);
            i = u16(close + 1);
            // Nothing but a delimiter may follow the list.
            u16 j = i;
            while (j < text.n && !is_delimiter(text.p[j])) j = is_quote(text.p[j]) ? skip_quoted(text, j) : u16(j + 1);
            if (j != i) t.error = E_SYNTAX;
            i = j;
            break;
        }
        if (is_delimiter(c)) break;
        i++;
    }
    if (t.list == 0 && !t.error) t.len = u16(i - pos);
    t.flags = operand_flags(Str{text.p + pos, t.len}, t.list != 0, &t.fn);
    if (i >= text.n) {
        t.next = text.n;
        t.end = END_TEXT;
        return t;
    }
    char c = text.p[i];
    if (c == ';' || c == ',' || c == ':' || c == ')') {
        t.end = c;
        t.next = u16(i + 1);
        return t;
    }
    u16 length = 1;
    t.op = operator_at(text, i, &length);
    if (t.op == OP_NONE) t.end = END_UNKNOWN;
    t.next = u16(i + length);
    return t;
}

}  // namespace vx::expr
