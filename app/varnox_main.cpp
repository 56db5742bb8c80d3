// varnox: the SQL chart viewer. --help and --version are answered before anything starts.
#include "app/usage.h"
#include "app/viewer.h"

int main(int argc, char** argv) {
    if (vx::app::usage_answer(true, argc, argv)) return 0;
    return vx::app::viewer_main(argc, argv);
}
