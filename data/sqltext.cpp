// Literals and identifiers for generated SQL.
#include "data/sqltext.h"

#include <cstdio>
#include <cstring>

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

// A plain '...' literal is read differently by a server whose standard_conforming_strings
// is off when it holds a backslash: such texts take the escape-string form, which reads the
// same on every server.
bool needs_escape(Str s) {
    for (u16 i = 0; i < s.n; i++)
        if (s.p[i] == '\'' || s.p[i] == '"' || s.p[i] == '\\') return true;
    return false;
}

}  // namespace

Str sql_escape(Str text) {
    if (!text.ok()) return text;
    if (!needs_escape(text)) return str_quote(text, '\'');
    TmpScope scope;
    Str body = text;
    for (const Escape& e : ESCAPES)
        if (body.ok()) body = str_replace(body, str_from_cstr(e.from), str_from_cstr(e.to), PLAIN);
    Str out = str_concat(str_concat(str_from_cstr(ESCAPE_STRING), body), S("'"));
    return scope.keep(out);
}

namespace {

// The code point of the UTF-8 sequence at p[*i] (moving *i past it), or -1 for a byte that
// starts no well-formed sequence (*i moves by one).
long next_code_point(const unsigned char* p, u32 n, u32* i) {
    unsigned char c = p[*i];
    u32 more = c >= 0xF0 && c < 0xF5 ? 3 : c >= 0xE0 ? 2 : c >= 0xC2 && c < 0xE0 ? 1 : 0;
    if (c < 0x80 || more == 0 || *i + more >= n) {
        (*i)++;
        return c < 0x80 ? long(c) : -1;
    }
    long cp = c & (0x3F >> more);
    for (u32 k = 1; k <= more; k++) {
        if ((p[*i + k] & 0xC0) != 0x80) {
            (*i)++;
            return -1;
        }
        cp = (cp << 6) | (p[*i + k] & 0x3F);
    }
    *i += more + 1;
    return cp;
}

}  // namespace

Str sql_escape_server(const char* utf8, u32 n) {
    const auto* p = reinterpret_cast<const unsigned char*>(utf8);
    StrBuilder b;
    b.put(str_from_cstr(ESCAPE_STRING));
    char esc[16];
    for (u32 i = 0; i < n;) {
        u32 at = i;
        long cp = next_code_point(p, n, &i);
        if (cp < 0) {
            std::snprintf(esc, sizeof esc, "\\x%02X", unsigned(p[at]));
            b.put(esc, u32(std::strlen(esc)));
        } else if (cp == '\\' || cp == '\'' || cp == '"') {
            for (const Escape& e : ESCAPES)
                if (*e.from == char(cp)) b.put(str_from_cstr(e.to));
        } else if (cp < 0x80) {
            char c = char(cp);
            b.put(&c, 1);
        } else {
            std::snprintf(esc, sizeof esc, cp <= 0xFFFF ? "\\u%04lX" : "\\U%08lX", cp);
            b.put(esc, u32(std::strlen(esc)));
        }
    }
    b.put(S("'"));
    return b.finish();
}

Str sql_ident(Str name) {
    if (!name.ok()) return name;
    TmpScope scope;
    Str body = str_replace(name, S("\""), S("\"\""), PLAIN);
    return scope.keep(str_concat(str_concat(S("\""), body), S("\"")));
}

}  // namespace vx::data
