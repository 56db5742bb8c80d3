// The trace log: its path and the lines written to it when their bits meet _TRACE.
#pragma once

#include "runtime/str.h"

namespace vx::rt {

Str log_path();                          // the application prefix + "log.txt" unless started
u16 log_start(Str name);                 // deletes the file and makes name the log path
u16 log_line(u16 bits, Str text);        // appends text + CR LF when bits meet _TRACE
void log_reset();

}  // namespace vx::rt
