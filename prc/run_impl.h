// Inside the procedure executor: the splitting of statement texts shared by CALL, commands
// and the PrcExec task.
#pragma once

#include "runtime/str.h"

namespace vx::prc::detail {

// The position of the first blank outside quotes (the length when there is none).
rt::u16 first_blank(rt::Str text);
// The item of text that starts at *pos, trimmed, ended by one of seps outside quotes and
// brackets; *pos moves past the separator.
rt::Str next_item(rt::Str text, rt::u16* pos, const char* seps);

}  // namespace vx::prc::detail
