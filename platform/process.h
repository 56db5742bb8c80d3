// Starting other programs (viewers of finished documents): an argument vector handed to the
// program as it is, one argument per element, never through a shell, and never waited for.
#pragma once

#include <string>
#include <vector>

namespace vx::os {

// Starts args[0] (looked for along PATH when it names no folder) with the arguments that
// follow it. The program runs on its own: it is not a child the caller must reap, and it
// inherits no descriptor beyond the standard three. True when the program was started.
bool process_start(const std::vector<std::string>& args);

}  // namespace vx::os
