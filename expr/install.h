// Taking part in start-up and shutdown: vars_install() registers the variable layer's
// services with the run-time (variable tables and system variables, the variable hook of
// slot 0, the dictionary step, and the release of everything at shutdown). Call it once
// before runtime_start. expr_install() does that and registers the rest of the expression
// layer (the long date of log records).
#pragma once

namespace vx::expr {

void vars_install();
void expr_install();

}  // namespace vx::expr
