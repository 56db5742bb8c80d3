// The passes of long loops (cancel check and budget), and the typed slots of the hook table.
#include <gtest/gtest.h>

#include "runtime/error.h"
#include "runtime/loop.h"
#include "runtime/startup.h"

using namespace vx::rt;

namespace {

int polls = 0;
bool cancel_at_third() { return ++polls >= 3; }

}  // namespace

TEST(LoopStep, GoesOnUntilTheCancelCheckSaysStop) {
    polls = 0;
    loop_cancel_set(cancel_at_third);
    EXPECT_EQ(loop_step(), 0);
    EXPECT_EQ(loop_step(), 0);
    EXPECT_EQ(loop_step(), E_CANCELLED);
    loop_cancel_set(nullptr);
    EXPECT_EQ(loop_step(), 0);
}

TEST(LoopStep, BudgetEndsEveryLoopOnceSpentUntilItIsLifted) {
    loop_budget_set(2);
    EXPECT_EQ(loop_step(), 0);
    EXPECT_EQ(loop_step(), 0);
    EXPECT_EQ(loop_step(), E_CANCELLED);
    EXPECT_EQ(loop_step(), E_CANCELLED) << "a spent budget stays spent";
    loop_budget_set(0);
    for (int i = 0; i < 5000; i++) ASSERT_EQ(loop_step(), 0) << "no budget: no end";
    loop_budget_set(1);
    EXPECT_EQ(loop_step(), 0);
    EXPECT_EQ(loop_step(), E_CANCELLED);
    loop_budget_set(0);
}

namespace {

using ResultHook = u16 (*)(const int& result);
using OtherHook = u16 (*)(u16 code);
u16 result_hook(const int&) { return 7; }
u16 other_hook(u16 code) { return code; }
void untyped() {}

}  // namespace

// A slot read with a type answers only a function stored with that type.
TEST(HookTable, TypedReadsAnswerOnlyTheirOwnType) {
    constexpr u16 SLOT = 9;
    hook_put<ResultHook>(SLOT, result_hook);
    EXPECT_EQ(hook_find<ResultHook>(SLOT), &result_hook);
    EXPECT_EQ(hook_find<OtherHook>(SLOT), nullptr);
    EXPECT_EQ(hook_get(SLOT), reinterpret_cast<AnyFn>(result_hook)) << "untyped reads still see it";

    hook_set(SLOT, untyped);
    EXPECT_EQ(hook_find<ResultHook>(SLOT), nullptr) << "stored untyped";
    hook_put<OtherHook>(SLOT, other_hook);
    EXPECT_EQ(hook_find<ResultHook>(SLOT), nullptr);
    EXPECT_EQ(hook_find<OtherHook>(SLOT), &other_hook);

    hook_put<ResultHook>(SLOT, nullptr);
    EXPECT_EQ(hook_find<ResultHook>(SLOT), nullptr);
    EXPECT_EQ(hook_get(SLOT), nullptr);
    hook_put<ResultHook>(HOOK_SLOTS, result_hook);
    EXPECT_EQ(hook_find<ResultHook>(HOOK_SLOTS), nullptr) << "no slot past the table";
}
