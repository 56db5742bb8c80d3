// Literals and identifiers for generated SQL.
#include "data/sqltext.h"

#include "runtime/arena.h"

namespace vx::data {

using namespace vx::rt;

namespace {

// In an escape string a backslash starts an escape, so it is doubled first; the quotes
// become hexadecimal escapes, which can never close the literal.
struct Escape {
    const char* from;
    const char* to;
};
constexpr Escape ESCAPES[] = {{"\\", "\\\\"}, {"'", "\\x27"}, {"\"", "\\x22"}};
constexpr const char* ESCAPE_STRING = "E'";

bool has_quote(Str s) {
    for (u16 i = 0; i < s.n; i++)
        if (s.p[i] == '\'' || s.p[i] == '"') return true;
    return false;
}

}  // namespace

Str sql_escape(Str text) {
    if (!text.ok()) return text;
    if (!has_quote(text)) return str_quote(text, '\'');
    TmpScope scope;
    Str body = text;
    for (const Escape& e : ESCAPES)
        if (body.ok()) body = str_replace(body, str_from_cstr(e.from), str_from_cstr(e.to), PLAIN);
    Str out = str_concat(str_concat(str_from_cstr(ESCAPE_STRING), body), S("'"));
    return scope.keep(out);
}

Str sql_ident(Str name) {
    if (!name.ok()) return name;
    TmpScope scope;
    Str body = str_replace(name, S("\""), S("\"\""), PLAIN);
    return scope.keep(str_concat(str_concat(S("\""), body), S("\"")));
}

}  // namespace vx::data
