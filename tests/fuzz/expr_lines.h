// The expression harnesses' common body: every line of the input is evaluated in order, as a
// parameter file's lines are, so that what one line assigns the next can use.
#pragma once

#include <string_view>

#include "expr/eval.h"
#include "runtime/arena.h"
#include "support.h"

namespace vx::fuzz {

inline void evaluate_lines(std::string_view text) {
    while (!text.empty()) {
        auto [line, rest] = first_line(text);
        rt::TmpScope scope;
        expr::Value v;
        expr::expr_eval(rt::Str{line.data(), rt::u16(line.size())}, v);
        text = rest;
    }
}

}  // namespace vx::fuzz
