// vxrun: the bare run-time. It has no task handler of its own, so the run-time's default
// handler serves every task type.
#include "app/shell.h"

int main(int argc, char** argv) {
    static const vx::app::Identity bare{"", "", 6, 512};
    return vx::app::program_main(bare, argc, argv);
}
