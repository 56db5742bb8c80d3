// Texts that go into SQL statements: literals of run-time texts and quoted identifiers.
// Every text a statement carries is made by one of these, so that nothing typed by a user or
// read from a file can end a literal or an identifier early.
#pragma once

#include "runtime/str.h"

namespace vx::data {

using rt::Str;
using rt::u16;
using rt::u32;

// A literal: 'text' when the text holds none of ' " and \; otherwise the escape-string form
// E'...' with \ written \\, ' written \x27 and " written \x22 (which reads the same whatever
// the server's standard_conforming_strings). A result in the arena (an error descriptor
// when it would not fit).
Str sql_escape(Str text);

// A literal of a text as the server holds it (UTF-8): E'...' in plain ASCII, every character
// beyond ASCII written as a Unicode escape (\uXXXX or \UXXXXXXXX), so that a text the
// run-time's bytes cannot hold still reaches the server exactly. Malformed UTF-8 is written
// byte by byte as \xNN. A result in the arena (146 when it would not fit a string).
Str sql_escape_server(const char* utf8, u32 n);

// An identifier in double quotes, embedded double quotes doubled: "name".
Str sql_ident(Str name);

}  // namespace vx::data
