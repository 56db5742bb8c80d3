// Bracket expansion: every [expression] of a text replaced by its value, with the options
// of ExpandOption; and the expander of task lines.
#include <functional>
#include <string>

#include "expr/eval.h"
#include "expr/eval_impl.h"
#include "expr/scan.h"
#include "platform/os.h"
#include "runtime/arena.h"
#include "runtime/env.h"
#include "runtime/error.h"

namespace vx::expr {

using namespace vx::rt;

namespace {

constexpr char OPEN = '[';
constexpr char CLOSE = ']';
constexpr char KEEP_MARK = '%';      // a content ending in it is kept as written ([50%])
constexpr u16 TASK_LINE_OPTIONS = 0;

// Whether s lies inside text (a view of the caller's text, not an arena string).
bool inside(Str s, Str text) {
    std::less_equal<const char*> le;
    return le(text.p, s.p) && le(s.p, text.p + text.n);
}

// The next [ ... ] of s: its brackets' positions; nested pairs are skipped, quoted runs too
// unless in_quotes.
bool next_pair(Str s, bool in_quotes, u16* open, u16* close) {
    u16 i = 0;
    while (i < s.n && s.p[i] != OPEN) i = !in_quotes && is_quote(s.p[i]) ? skip_quoted(s, i) : u16(i + 1);
    if (i >= s.n) return false;
    u16 depth = 0;
    for (u16 j = i; j < s.n;) {
        char c = s.p[j];
        if (!in_quotes && is_quote(c)) {
            j = skip_quoted(s, j);
            continue;
        }
        if (c == OPEN) depth++;
        else if (c == CLOSE && --depth == 0) {
            *open = i;
            *close = j;
            return true;
        }
        j++;
    }
    return false;
}

// The value of a key: the caller's KEY=value list, the command line, the environment.
bool key_value(Str key, Str keys, Str* out) {
    if (key.n == 0) return false;
    if (keys.ok() && keys.n) {
        OptPos p = opt_find(keys, key, 0);
        if (p.found()) {
            *out = Str{keys.p + p.pos, p.len};
            return true;
        }
    }
    Str v = cmd_key_named(key);
    if (v.ok() && v.n) {
        *out = v;
        return true;
    }
    const char* name = str_to_cstr(key);
    if (!name || !os::env_has(name)) return false;
    std::string value = os::env_var(name);
    *out = str_copy(Str{value.data(), u16(value.size() < MAX_STR ? value.size() : MAX_STR)});
    return true;
}

Str evaluated(Str content, u16 options) {
    Value v;
    u16 code = expr_eval(content, v);
    if (code >= FIRST_ERROR || code == E_CANCELLED) return str_error(code);
    if (code == E_NULLEXPR) return options & EXPAND_EMPTY_BLANK ? str_empty() : S("0");
    return v.is_str ? v.str : num_text(v.num);
}

Str bracket_value(Str content, u16 options, Str keys) {
    TmpScope scope;
    Str v;
    if (!((options & EXPAND_KEYS) && key_value(content, keys, &v)))
        v = content.n && content.p[content.n - 1] == KEEP_MARK ? content : evaluated(content, options);
    if (!v.ok()) return scope.keep(v);
    if (!(options & EXPAND_NO_TRIM)) v = str_trim(v, TRIM_BOTH);
    if (options & EXPAND_DQUOTE) v = str_quote(v, '"');
    else if (options & EXPAND_QUOTE) v = str_quote(v, '\'');
    return scope.keep(v);
}

// a, b and c in one new string.
Str joined(Str a, Str b, Str c) {
    StrBuilder sb;
    sb.put(a);
    sb.put(b);
    sb.put(c);
    return sb.finish();
}

Str unescape_brackets(Str s) {
    TmpScope scope;
    s = str_replace(s, S("\\{"), S("["), PLAIN);
    return scope.keep(str_replace(s, S("\\}"), S("]"), PLAIN));
}

}  // namespace

Str expr_expand(Str text, u16 options, Str keys) {
    if (!text.ok()) return text;
    TmpScope scope;
    Str done = str_empty();
    Str rest = text;
    u16 open = 0, close = 0, pairs = 0;
    while (next_pair(rest, options & EXPAND_IN_QUOTES, &open, &close)) {
        if (++pairs > EXPAND_PAIRS_MAX) return scope.keep(str_error(E_LOOP));
        Str value = bracket_value(Str{rest.p + open + 1, u16(close - open - 1)}, options, keys);
        if (!value.ok()) return scope.keep(value);
        Str head{rest.p, open};
        Str tail{rest.p + close + 1, u16(rest.n - close - 1)};
        if (options & EXPAND_AGAIN) {
            done = joined(done, head, str_empty());
            rest = joined(value, tail, str_empty());
        } else {
            done = joined(done, head, value);
            rest = tail;
        }
        if (!done.ok() || !rest.ok()) return scope.keep(done.ok() ? rest : done);
        // Only the two parts stay in the arena.
        Str* kept[] = {&done, inside(rest, text) ? nullptr : &rest, nullptr};
        if (u16 rc = tmp_release_keep_many(scope.mark(), kept)) return scope.keep(str_error(rc));
    }
    Str result = str_concat(done, rest);
    if (result.ok() && (options & EXPAND_ESCAPES)) result = unescape_brackets(result);
    return scope.keep(result);
}

namespace detail {

Str task_line_expand(Str line) { return expr_expand(line, TASK_LINE_OPTIONS, str_empty()); }

}  // namespace detail

}  // namespace vx::expr
