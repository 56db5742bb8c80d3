// The language variables file applied after start-up.
#include <gtest/gtest.h>

#include <fstream>

#include "expr/eval.h"
#include "expr/install.h"
#include "expr/langvars.h"
#include "runtime/env.h"
#include "runtime/msg.h"
#include "runtime/startup.h"
#include "support/fixtures.h"

using namespace vx::rt;
using namespace vx::expr;
using vx::test::text;

namespace {

class LangVars : public ::testing::Test {
protected:
    void SetUp() override {
        dir_.enter();
        runtime_services() = RuntimeServices{};
        msg_install();
        expr_install();
    }
    void TearDown() override {
        if (runtime_started()) runtime_stop(nullptr, 0);
        runtime_services() = RuntimeServices{};
    }
    u16 start() { return runtime_start(nullptr, S("prog /BATCH"), S("VXW01Q:Varnox"), S("d"), 6, nullptr); }
    vx::test::ScratchDir dir_{"langvars"};
};

}  // namespace

TEST_F(LangVars, VariablesReceiveMessageTextsAtStart) {
    std::ofstream("VXLANGVARS.DAT", std::ios::binary) << "T$=0070\r\nN#=0999\r\nQ$=0039\r\n";
    ASSERT_EQ(start(), 0);
    env_set(ENV_DATA, S("."));
    EXPECT_EQ(text(langvars_file_name()), "VXLANGVARS.DAT");
    EXPECT_EQ(text(expr_text(S("T$"))), "Ayuda");
    EXPECT_EQ(text(expr_text(S("N#"))), "0.00");
    EXPECT_EQ(text(expr_text(S("Q$"))), "\xBF" "Continuar?");
}

TEST_F(LangVars, FirstFailingLineEndsTheLoading) {
    ASSERT_EQ(start(), 0);
    env_set(ENV_DATA, S("."));
    EXPECT_EQ(langvars_load(), 0);   // no file: nothing to do
    std::ofstream("VXLANGVARS.DAT", std::ios::binary) << "A$=0070\n1=0070\nB$=0070\n";
    EXPECT_GE(langvars_load(), 128);
    EXPECT_EQ(text(expr_text(S("A$"))), "Ayuda");
    EXPECT_EQ(text(expr_text(S("B$"))), "");
}
