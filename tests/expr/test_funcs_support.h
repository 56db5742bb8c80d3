// Helpers of the built-in function tests: a fixture with the evaluator installed and a
// scratch folder as the current folder, and tables of (expression, expected result).
#pragma once

#include <string>
#include <vector>

#include "expr/funcs_hooks.h"
#include "runtime/store.h"
#include "test_eval_support.h"

namespace vx::test {

struct Expect {
    const char* expression;
    const char* result;  // as eval() writes it: "14.00", "'abc'", "<147>"
};

inline void expect_all(const std::vector<Expect>& cases) {
    for (const auto& c : cases) EXPECT_EQ(eval(c.expression), c.result) << c.expression;
}

class FnTest : public EvalTest {
protected:
    void SetUp() override {
        EvalTest::SetUp();
        dir_.enter();
    }
    void TearDown() override {
        vx::expr::datafile_calls_set(nullptr);
        vx::expr::fn_clock_set(nullptr);
        EvalTest::TearDown();
    }
    vx::rt::u16 stack_depth() const { return vx::rt::store_count(vx::expr::LIST_PARAMS); }
    ScratchDir dir_{"fn"};
};

}  // namespace vx::test
