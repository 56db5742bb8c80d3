// Procedures and the windows of the window layer: a run from its first statement closes the
// progress window and the windows it left open, and leaves the windows it found.
#include <filesystem>

#include "expr/eval.h"
#include "expr/vars.h"
#include "prc/run.h"
#include "runtime/arena.h"
#include "runtime/env.h"
#include "runtime/tasks.h"
#include "screens/progress.h"
#include "support.h"

using namespace vx::scr;
using namespace vx::rt;
namespace ex = vx::expr;
namespace prc = vx::prc;

namespace {

// A command executor that opens what the commands name: WINOPEN a window, WINPROG the
// progress window. Every other command fails as it would without an executor.
u16 opening_executor(u16 code, u16, const u8*, const i16*, const Str*) {
    if (code == prc::PC_WINPROG) return progress_open(0, 10);
    if (code != prc::PC_WINOPEN) return E_FEATUREREMOVED;
    WindowSpec spec;
    spec.kind = KIND_DIALOG;
    spec.title = S("Ventana");
    spec.class_name = S("Test");
    spec.cols = 20;
    spec.rows = 5;
    WinId w = 0;
    return window_create(spec, &w);
}

class ProcedureWindows : public vx::test::ScreenTest {
protected:
    void SetUp() override {
        ScreenTest::SetUp();
        ASSERT_EQ(ex::vars_create(), 0);
        ex::eval_install();
        screens_install();
        prc::prc_install();
        ASSERT_EQ(env_set(ENV_DATA, str_from_cstr(std::filesystem::current_path().c_str())), 0);
        prc::prc_executor_set(0, opening_executor);
    }
    void TearDown() override {
        // The servers that screens_install and prc_install added: other tests expect none.
        for (u16 type : {TASK_PRCEXEC, TASK_COPY, TASK_REORG}) task_serve(type, nullptr);
        prc::prc_executor_set(0, nullptr);
        prc::prc_windows_set(prc::PrcWindows{});
        prc::prc_cancel_poll_set(nullptr);
        prc::prc_free();
        progress_reset();
        ex::vars_free();
        ScreenTest::TearDown();
    }
    u16 run(const std::string& body, const char* entry = "") {
        write("w.prc", body);
        return prc::prc_run(str_from_cstr(entry), S("w.prc"), prc::RUN_LOCAL);
    }
};

}  // namespace

TEST_F(ProcedureWindows, WhatTheRunOpenedIsClosedAndWhatItFoundStays) {
    WinId menu = open(KIND_PLAIN);   // the window the procedure was started from
    ASSERT_EQ(run("WINPROG 1\nWINOPEN 1\nWINOPEN 2\nEND\n"), 0);
    EXPECT_EQ(progress_view().window, 0u) << "the progress window it opened is gone";
    EXPECT_EQ(window_count(), 1);
    EXPECT_EQ(window_top(), menu);

    // Also when the run fails after opening them.
    EXPECT_EQ(run("WINOPEN 1\nWINPROG 1\nPRINT 1\n"), E_FEATUREREMOVED);
    EXPECT_EQ(progress_view().window, 0u);
    EXPECT_EQ(window_count(), 1);

    // A progress window of the caller stays open.
    ASSERT_EQ(progress_open(0, 5), 0);
    WinId caller_progress = progress_view().window;
    EXPECT_EQ(run("WINOPEN 1\n"), 0);
    EXPECT_EQ(progress_view().window, caller_progress);
    EXPECT_EQ(window_count(), 2);
    progress_close();

    // Entered at an entry point, a run is part of its caller's work and leaves them open.
    EXPECT_EQ(run("END\nDEF_FN part\nWINOPEN 1\nWINPROG 1\n", "part"), 0);
    EXPECT_NE(progress_view().window, 0u);
    EXPECT_EQ(window_count(), 3);
}
