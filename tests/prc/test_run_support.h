// Helpers of the executor tests: a fixture with the variables, the evaluator and the
// procedure layer installed in a scratch folder that is also the data folder, and short ways
// to run a procedure text and read variables.
#pragma once

#include <fstream>
#include <string>

#include "expr/eval.h"
#include "expr/vars.h"
#include "prc/run.h"
#include "runtime/env.h"
#include "runtime/store.h"
#include "support.h"

namespace vx::test {

class RunTest : public PrcTest {
protected:
    void SetUp() override {
        PrcTest::SetUp();
        ASSERT_EQ(vx::expr::vars_create(), 0);
        vx::expr::eval_install();
        dir_.enter();
        ASSERT_EQ(vx::rt::env_set(vx::rt::ENV_DATA,
                                  vx::rt::str_from_cstr(std::filesystem::current_path().c_str())),
                  0);
        vx::prc::prc_install();
    }
    void TearDown() override {
        vx::prc::prc_chooser_set(nullptr);
        vx::expr::vars_free();
        PrcTest::TearDown();
    }
    static void write(const std::string& name, const std::string& body) {
        std::ofstream f(name, std::ios::binary);
        f << body;
    }
    // Writes src to t.prc and runs it (the entry point, when named).
    static vx::rt::u16 run(const std::string& src, const char* entry = "", vx::rt::u16 flags = 0) {
        write("t.prc", src);
        vx::rt::error_clear();
        vx::rt::error_detail_clear();
        return vx::prc::prc_run(vx::rt::str_from_cstr(entry), vx::rt::S("t.prc"), flags);
    }
    // A variable as text: whole numbers without decimals, others as the store keeps them.
    static std::string var(const char* name) {
        vx::rt::TmpScope scope;
        vx::expr::Value v;
        vx::rt::u16 rc = vx::expr::var_read(vx::rt::str_from_cstr(name), v);
        if (rc) return "<error " + std::to_string(rc) + ">";
        if (v.is_str) return text(v.str);
        vx::rt::i64 sc = vx::expr::scale();
        return v.num % sc == 0 ? std::to_string(v.num / sc) : text(vx::expr::num_text(v.num));
    }
    static vx::rt::u16 assign(const char* name, int value) {
        vx::rt::TmpScope scope;
        return vx::expr::var_assign(vx::rt::str_from_cstr(name),
                                    vx::expr::val_num(vx::expr::num_from_whole(value)));
    }
    static bool declared(const char* name) {
        return vx::expr::var_find(vx::rt::str_from_cstr(name)).found();
    }

    ScratchDir dir_{"prcrun"};
};

}  // namespace vx::test
