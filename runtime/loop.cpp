// The passes of long loops: event pumping, the cancel check and the optional budget.
#include "runtime/loop.h"

#include "platform/gui.h"
#include "runtime/error.h"

namespace vx::rt {

namespace {

struct Loops {
    LoopCancelPoll cancel = nullptr;
    u32 since_pump = 0;
    u32 budget = 0;   // passes left when limited
    bool limited = false;
};

Loops loops;

}  // namespace

void loop_cancel_set(LoopCancelPoll fn) { loops.cancel = fn; }

void loop_budget_set(u32 passes) {
    loops.budget = passes;
    loops.limited = passes != 0;
}

u16 loop_step() {
    if (loops.limited) {
        if (loops.budget == 0) return E_CANCELLED;
        loops.budget--;
    }
    if (++loops.since_pump >= LOOP_PUMP_EVERY) {
        loops.since_pump = 0;
        if (platform::gui_ready()) platform::gui_pump();
    }
    return loops.cancel && loops.cancel() ? E_CANCELLED : 0;
}

}  // namespace vx::rt
