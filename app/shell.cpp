// Start, run and stop of a program: the exit code is the run-time's.
#include "app/shell.h"

#include "app/menus.h"
#include "data/install.h"
#include "expr/install.h"
#include "output/device.h"
#include "output/report.h"
#include "prc/compile.h"
#include "runtime/arena.h"
#include "runtime/env.h"
#include "runtime/paths.h"
#include "runtime/msg.h"
#include "runtime/startup.h"
#include "screens/install.h"

namespace vx::app {

using namespace vx::rt;

namespace {

// The menu to run: the APSTART key, else the application's own menu file (prefix + "MENU")
// when one is there; with neither, the run has nothing to do.
Str menu_name() {
    Str start = cmd_key(KEY_APSTART);
    if (start.n) return start;
    Str own = str_concat(app_prefix(), S("MENU"));
    return menu_file_exists(own) ? own : str_empty();
}

}  // namespace

void install_layers() {
    msg_install();
    vx::expr::expr_install();
    vx::scr::screens_install();
    vx::out::devices_install();
    vx::out::reports_install();
    vx::data::data_install();
    vx::prc::prc_install();
}

int program_main(const Identity& who, int argc, const char* const* argv) {
    mem_set_arena_size(who.arena_kb);
    install_layers();
    u16 rc = runtime_start_args(nullptr, argc, argv, str_from_cstr(who.id),
                                str_from_cstr(who.description), who.flags, nullptr);
    if (rc) return rc;
    u16 result = runtime_run(menu_name());
    return runtime_stop(nullptr, result);
}

}  // namespace vx::app
