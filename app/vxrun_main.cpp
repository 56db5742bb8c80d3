// vxrun: the bare run-time. It has no task handler of its own, so the run-time's default
// handler serves every task type. --help and --version are answered before anything starts.
#include "app/shell.h"
#include "app/usage.h"

int main(int argc, char** argv) {
    if (vx::app::usage_answer(false, argc, argv)) return 0;
    static const vx::app::Identity bare{"", "", 6, 512};
    return vx::app::program_main(bare, argc, argv);
}
