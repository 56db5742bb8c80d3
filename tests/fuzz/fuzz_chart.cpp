// Chart definition files: the input as fz.ppn, logged in to the stand-in database (tables
// "clientes" and "ventas"). The definitions are listed and the first three run: their limits
// forms confirmed with the values shown, their charts drawn and left without an image.
#include <vector>

#include "output/chart.h"
#include "runtime/arena.h"
#include "support.h"

using namespace vx;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::fresh_folder();
    fuzz::put_file("fz.ppn", fuzz::input_text(data, size));
    fuzz::SessionOptions options;
    options.logged_in = true;
    options.input_lines = "\\ENTER\n\n\\ENTER\n\n\\ENTER\n\n";
    fuzz::Session session(options);
    if (!session.started()) return 0;
    std::vector<out::ChartEntry> entries;
    if (out::chart_definitions(rt::S("fz.ppn"), &entries)) return 0;
    for (std::size_t i = 0; i < entries.size() && i < 3; i++) {
        rt::TmpScope scope;
        out::chart_run(rt::str_format(32, "fz.ppn,%u", unsigned(entries[i].number)));
    }
    return 0;
}
