// varnox: the SQL chart viewer.
#include "app/viewer.h"

int main(int argc, char** argv) { return vx::app::viewer_main(argc, argv); }
