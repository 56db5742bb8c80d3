// Expressions logged in to the stand-in database, its tables "clientes" and "ventas" discovered
// as data files: every line of the input evaluated in order.
#include "expr_lines.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vx::fuzz::fresh_folder();
    vx::fuzz::SessionOptions options;
    options.logged_in = true;
    vx::fuzz::Session session(options);
    if (session.started()) vx::fuzz::evaluate_lines(vx::fuzz::input_text(data, size));
    return 0;
}
