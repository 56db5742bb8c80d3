// Expressions without a database: every line of the input evaluated in order.
#include "expr_lines.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vx::fuzz::fresh_folder();
    vx::fuzz::Session session;
    if (session.started()) vx::fuzz::evaluate_lines(vx::fuzz::input_text(data, size));
    return 0;
}
