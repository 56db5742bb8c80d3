// The passes of the languages' long loops: procedure statements, and sums that run while a
// condition holds. Each pass calls loop_step(), which handles pending window events now and
// then and asks the cancel check a window layer registers (the Cancel button of an open
// progress window), so that a loop the language lets run for ever can still be stopped.
//
// A budget of passes can be set (none unless set): once it is spent every further pass
// answers 122, as a cancel would. Programs that feed the run-time generated texts by the
// thousand use it, so that an endless loop ends instead of hanging them.
#pragma once

#include "runtime/str.h"

namespace vx::rt {

inline constexpr u32 LOOP_PUMP_EVERY = 1024;   // passes between two event pumps

// Asked at every pass: true ends the loop with 122. Null: nobody can cancel.
using LoopCancelPoll = bool (*)();
void loop_cancel_set(LoopCancelPoll fn);

// One pass: 0 to go on, 122 when the user cancelled or the budget is spent.
u16 loop_step();

// At most `passes` further passes (0: no budget, the default).
void loop_budget_set(u32 passes);

}  // namespace vx::rt
