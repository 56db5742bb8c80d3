// Texts that go into SQL statements: literals of run-time texts and quoted identifiers.
// Every text a statement carries is made by one of these, so that nothing typed by a user or
// read from a file can end a literal or an identifier early.
#pragma once

#include "runtime/str.h"

namespace vx::data {

using rt::Str;
using rt::u16;

// A literal: 'text' when the text holds neither ' nor "; otherwise the escape-string form
// E'...' with \ written \\, ' written \x27 and " written \x22. A result in the arena (an
// error descriptor when it would not fit).
Str sql_escape(Str text);

// An identifier in double quotes, embedded double quotes doubled: "name".
Str sql_ident(Str name);

}  // namespace vx::data
