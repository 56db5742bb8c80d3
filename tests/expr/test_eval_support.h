// Helpers of the evaluator tests: a fixture with the variable tables and the evaluator
// installed, and short ways to evaluate a text and see its result.
#pragma once

#include <string>

#include "expr/eval.h"
#include "expr/value.h"
#include "runtime/arena.h"
#include "runtime/error.h"
#include "support.h"

namespace vx::test {

class EvalTest : public VarTest {
protected:
    void SetUp() override {
        VarTest::SetUp();
        vx::expr::eval_install();
    }
    void TearDown() override {
        vx::expr::app_function_hook_set(nullptr);
        vx::expr::function_dispatch_set(nullptr);
        VarTest::TearDown();
    }
};

// The result of evaluating text: a number with its decimals ("14.00"), a string in quotes
// ("'ABC'"), or the code in angle brackets ("<147>") for 122 and above.
inline std::string eval(const std::string& expression) {
    vx::rt::TmpScope scope;
    vx::expr::Value v;
    vx::rt::u16 code = vx::expr::expr_eval(vx::rt::Str{expression.data(), vx::rt::u16(expression.size())}, v);
    if (code >= vx::rt::E_CANCELLED) return "<" + std::to_string(code) + ">";
    if (v.is_str) return "'" + text(v.str) + "'";
    return text(vx::expr::num_text(v.num));
}

// The scaled number of an evaluation (0 when it fails or gives a string).
inline vx::rt::i64 scaled(const std::string& expression) {
    vx::rt::TmpScope scope;
    vx::expr::Value v;
    vx::rt::u16 code = vx::expr::expr_eval(vx::rt::Str{expression.data(), vx::rt::u16(expression.size())}, v);
    return code == 0 ? v.num : 0;
}

inline vx::rt::Str view(const std::string& s) { return vx::rt::Str{s.data(), vx::rt::u16(s.size())}; }

}  // namespace vx::test
