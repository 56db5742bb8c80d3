// The run-time environment (list 0 of the store) and the command line: normalisation,
// keys by number and by name, and the application prefix.
#include "runtime/env.h"

#include "runtime/arena.h"
#include "runtime/store.h"

namespace vx::rt {

namespace {

constexpr char BACKTICK = '`';  // keys whose first byte is at or below it retry in lower case

bool is_blank(u8 c) { return c == ' ' || c == '\t'; }
bool is_quote(u8 c) { return c == '\'' || c == '"'; }
bool ends_key_word(u8 c) { return c == ' ' || c == '/' || c == '=' || c == ':'; }
bool starts_key_word(u8 c) { return c == ' ' || c == '/' || c == ':' || c == '&'; }

// True when key stands in text as a word of its own, with or without a value: at the start
// or behind a blank, '/', ':' or '&', and followed by the end, a blank, '/', '=' or ':'.
bool key_present(Str text, Str key) {
    if (!text.ok() || !key.ok() || key.n == 0) return false;
    for (u16 from = 0; from < text.n;) {
        u16 at = str_find_sub_from(text, from, key, QUOTED);
        if (at == NOT_FOUND) return false;
        u32 end = u32(at) + key.n;
        bool left = at == 0 || starts_key_word(text.at(at - 1));
        bool right = end == text.n || ends_key_word(text.at(u16(end)));
        if (left && right) return true;
        from = at + 1;
    }
    return false;
}

// The key in the other case: lower case when its first byte is at or below '`'.
Str other_case(Str key) {
    return key.n && key.at(0) <= u8(BACKTICK) ? str_lower(key) : str_upper(key);
}

Str key_value(Str key, bool yes_when_present) {
    Str line = env_get(ENV_CMDLINE);
    Str v = opt_value(line, key, OPT_CLEANED);
    if (v.ok() && v.n == 0) {
        TmpScope scope;
        Str other = other_case(key);
        Str w = opt_value(line, other, OPT_CLEANED);
        if (w.ok() && w.n) return scope.keep(w);
        if (yes_when_present && (key_present(line, key) || key_present(line, other)))
            return scope.keep(S("YES"));
    }
    return v;
}

// An argument KEY=value (or /KEY=value, -KEY:value ...) whose value holds a byte that ends
// a value on the command line (blank, '/', ':', '&') gets the value quoted, so that paths
// and task lines pass through a shell argument whole. Values already quoted stay as they are.
Str quote_arg_value(Str arg) {
    if (!arg.ok()) return arg;
    u16 i = 0;
    while (i < arg.n && (arg.at(i) == '/' || arg.at(i) == '-')) i++;
    u16 key_start = i;
    while (i < arg.n && arg.at(i) != '=' && arg.at(i) != ':' && !is_blank(arg.at(i)) &&
           !is_quote(arg.at(i)))
        i++;
    if (i == key_start || i >= arg.n || (arg.at(i) != '=' && arg.at(i) != ':')) return arg;
    Str value = str_substr(arg, i + 1, NOT_FOUND);
    if (value.n == 0 || is_quote(value.at(0))) return arg;
    if (str_find_any(value, 0, S(" \t/:&"), PLAIN) == NOT_FOUND) return arg;
    bool has_single = str_find_char(value, 0, '\'', PLAIN) != NOT_FOUND;
    bool has_double = str_find_char(value, 0, '"', PLAIN) != NOT_FOUND;
    if (has_single && has_double) return arg;
    TmpScope scope;
    Str quoted = str_wrap(value, has_double ? '\'' : '"');
    return scope.keep(str_concat(str_substr(arg, 0, i + 1), quoted));
}

}  // namespace

Str env_get(u16 entry) { return store_get(LIST_ENV, entry); }
u16 env_set(u16 entry, Str text) { return store_set(LIST_ENV, entry, text); }

Str cmdline_normalise(Str line) {
    if (!line.ok()) return line;
    TmpScope scope;
    Str s = str_trim(line, TRIM_BOTH);
    Str out = tmp_alloc(s.n, NO_FILL);
    if (!out.ok()) return scope.keep(out);
    char* w = str_mut(out);
    u16 n = 0;
    u8 quote = 0;
    for (u16 i = 0; i < s.n; i++) {
        u8 c = s.at(i);
        if (quote) {
            if (c == quote) quote = 0;
            w[n++] = char(c);
            continue;
        }
        if (is_quote(c)) quote = c;
        if (c == ' ') {
            if (!n || w[n - 1] != ' ') w[n++] = ' ';
            if (i + 1 < s.n && s.at(i + 1) == '-') {
                // " --" and " -" introduce a key as " /" does.
                i += (i + 2 < s.n && s.at(i + 2) == '-') ? 2 : 1;
                w[n++] = '/';
            }
            continue;
        }
        w[n++] = char(c);
    }
    return scope.keep(Str{out.p, n});
}

Str cmdline_from_args(int argc, const char* const* argv) {
    TmpScope scope;
    Str line = str_empty();
    for (int i = 0; i < argc && line.ok(); i++) {
        Str arg = str_from_cstr(argv[i]);
        if (!arg.ok()) return scope.keep(arg);   // longer than a string can be: 146
        if (i == 0 && str_find_char(arg, 0, ' ', PLAIN) != NOT_FOUND) arg = str_wrap(arg, '"');
        else if (i > 0) arg = quote_arg_value(arg);
        line = i == 0 ? arg : str_concat(str_concat(line, S(" ")), arg);
        line = tmp_release_keep(scope.mark(), line);
    }
    if (line.ok() && line.n && line.at(line.n - 1) <= ' ') line.n--;
    return scope.keep(cmdline_normalise(line));
}

Str cmd_key(u16 number) {
    Str key = list_item(str_from_cstr(CMD_KEYS), ',', number);
    if (key.n == 0) return str_empty();
    return key_value(key, number == KEY_HELP);
}

Str cmd_key_named(Str name) { return key_value(name, false); }

u16 cmd_key_in(u16 number, Str list) {
    TmpScope scope;
    return list_find(list, ',', cmd_key(number));
}

bool cmd_batch() {
    Str line = env_get(ENV_CMDLINE);
    return key_present(line, S("BATCH")) || key_present(line, S("batch"));
}

Str app_prefix() {
    Str id = list_item(env_get(ENV_APNAME), ':', 1);
    return str_substr(id, 0, id.n < 2 ? id.n : 2);
}

u16 lang_index(Str code) { return list_find(str_from_cstr(LANGUAGES), ',', code); }

}  // namespace vx::rt
