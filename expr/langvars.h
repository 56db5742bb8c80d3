// The language variables file: after start-up, variables receive texts of the message
// catalog in the current language. The file is named by the mask "\\LANGVARS.DAT" filled
// with the application prefix (VXLANGVARS.DAT) and looked for in the data folder; each
// line is variable=message-id.
#pragma once

#include "expr/value.h"

namespace vx::expr {

inline constexpr const char* LANGVARS_MASK = "\\\\LANGVARS.DAT";

Str langvars_file_name();    // the file name for the current application prefix
// Applies every line in order: 0, or the code of the first line that fails. A missing
// file is not an error.
u16 langvars_load();

}  // namespace vx::expr
