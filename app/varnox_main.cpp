// varnox: the SQL chart viewer.
#include "app/shell.h"

int main(int argc, char** argv) {
    static const vx::app::Identity viewer{"VXW01Q:Varnox", "Visor gr\xE1" "fico SQL para Windows", 6, 512};
    return vx::app::program_main(viewer, argc, argv);
}
