// Start, run and stop of a program: the exit code is the run-time's.
#include "app/shell.h"

#include "expr/install.h"
#include "runtime/arena.h"
#include "runtime/env.h"
#include "runtime/msg.h"
#include "runtime/startup.h"
#include "screens/install.h"

namespace vx::app {

using namespace vx::rt;

int program_main(const Identity& who, int argc, const char* const* argv) {
    mem_set_arena_size(who.arena_kb);
    msg_install();
    vx::expr::expr_install();
    vx::scr::screens_install();
    u16 rc = runtime_start_args(nullptr, argc, argv, str_from_cstr(who.id),
                                str_from_cstr(who.description), who.flags, nullptr);
    if (rc) return rc;
    u16 result = runtime_run(cmd_key(KEY_APSTART));
    return runtime_stop(nullptr, result);
}

}  // namespace vx::app
