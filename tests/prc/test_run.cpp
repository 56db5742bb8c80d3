// Running procedures: every control statement, GOSUB limits, END and the result stack, the
// error report, commands with and without an executor, the trace, cancelling a loop that
// never ends, and the clean-up of open sets, structures and windows.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "expr/eval.h"
#include "expr/funcs_hooks.h"
#include "expr/structs.h"
#include "expr/vars.h"
#include "runtime/store.h"
#include "runtime/sysvars.h"
#include "test_run_support.h"

using namespace vx::rt;
using namespace vx::prc;
using namespace vx::expr;
using vx::test::text;

namespace {

using Exec = vx::test::RunTest;

int results() { return store_count(LIST_RESULTS); }

std::string top_result() { return text(store_get(LIST_RESULTS, store_top(LIST_RESULTS))); }

}  // namespace

TEST_F(Exec, BranchesNestedIfElse) {
    ASSERT_EQ(run("A=2\nB=0\nIF A==1\nB=1\nELSE\nIF A==2\nB=2\nIF A==3\nB=99\nENDIF\nELSE\nB=3\n"
                  "ENDIF\nENDIF\nIF\nC=1\nENDIF\nIF \"s\"\nC=2\nENDIF\nIF_FALSE A==2\nD=1\nELSE\n"
                  "D=2\nENDIF\nIF_TRUE A==2\nE=1\nENDIF\n"),
              0);
    EXPECT_EQ(var("B"), "2");
    EXPECT_EQ(var("C"), "1");  // empty condition holds, a string result does not
    EXPECT_EQ(var("D"), "2");
    EXPECT_EQ(var("E"), "1");
}

TEST_F(Exec, LoopsOfEveryKind) {
    ASSERT_EQ(run("N=0\nDO_WHILE N<5\nN=N+1\nLOOP\n"
                  "M=0\nDO_UNTIL M==3\nM=M+1\nLOOP\n"
                  "K=0\nDO\nK=K+1\nLOOP_WHILE K<4\n"
                  "J=0\nDO\nJ=J+1\nLOOP_UNTIL J==6\n"
                  "Z=0\nDO_WHILE 0\nZ=1\nLOOP\n"
                  "GOTO skip\nZ=2\n:skip\nI=0\nIF I<3\nI=I+1\nLOOP\n"),
              0);
    EXPECT_EQ(var("N"), "5");
    EXPECT_EQ(var("M"), "3");
    EXPECT_EQ(var("K"), "4");
    EXPECT_EQ(var("J"), "6");
    EXPECT_EQ(var("Z"), "0");
    EXPECT_EQ(var("I"), "3");  // IF … LOOP repeats while the condition holds
}

TEST_F(Exec, GotoToALabelPastTheEndEndsTheRun) {
    ASSERT_EQ(run("A=1\nGOTO out\nA=2\n:out\n", "", RUN_KEEP_RESULT), 0);
    EXPECT_EQ(var("A"), "1");
    EXPECT_EQ(results(), 0);  // no END step
}

TEST_F(Exec, GosubNestsSixtyFourDeepAndNoDeeper) {
    const char* src = "N=0\nGOSUB R\nEND\n:R\nN=N+1\nIF N<LIMIT\nGOSUB R\nENDIF\nRETURN\n";
    ASSERT_EQ(assign("LIMIT", 64), 0);
    EXPECT_EQ(run(src), 0);
    EXPECT_EQ(var("N"), "64");
    ASSERT_EQ(assign("LIMIT", 65), 0);
    EXPECT_EQ(run(src), E_PRCSTCK) << "a procedure stack error, not a lack of memory";
    EXPECT_NE(detail().find("GOSUB: more than 64 pending"), std::string::npos) << detail();
    EXPECT_NE(detail().find("Line: 6 (+ remmarks) in t.prc:\r\n R"), std::string::npos)
        << detail();
}

TEST_F(Exec, ReturnWithoutGosubEndsWithoutAResult) {
    EXPECT_EQ(run("X$=\"a\"\nRETURN\nY=1\nEND\n", "", RUN_KEEP_RESULT), 0);
    EXPECT_EQ(results(), 0);
    EXPECT_EQ(var("Y"), "0");
}

TEST_F(Exec, EndKeepsTheLastValueOnlyWhenAsked) {
    EXPECT_EQ(run("X$=\"abc\"\nEND\n"), 0);
    EXPECT_EQ(results(), 0);
    EXPECT_EQ(run("X$=\"abc\"\nEND\nX$=\"no\"\n", "", RUN_KEEP_RESULT), 0);
    ASSERT_EQ(results(), 1);
    EXPECT_EQ(top_result(), "abc");
    EXPECT_EQ(var("X$"), "abc");
    EXPECT_EQ(run("X#=2.5\nEND\n", "", RUN_KEEP_RESULT), 0);
    ASSERT_EQ(results(), 2);
    EXPECT_EQ(top_result(), "2.50");
    EXPECT_EQ(run("X#=1\n", "", RUN_KEEP_RESULT), 0);  // ran past its end
    EXPECT_EQ(results(), 2);
}

TEST_F(Exec, ErrorsNameTheStatementAndTheFile) {
    EXPECT_EQ(run("; remark\nA=1\n\nB=1\nC$=1+\"x\"\nD=1\n"), E_TYPEMISMATCH);
    EXPECT_EQ(var("D"), "0");
    EXPECT_NE(detail().find("Line: 3 (+ remmarks) in t.prc:\r\n C$=1+\"x\""), std::string::npos)
        << detail();
    // A condition that fails ends the run as well.
    EXPECT_GE(run("IF 1+\"x\"\nA=5\nENDIF\n"), E_TYPEMISMATCH);
    EXPECT_EQ(var("A"), "1");
}

TEST_F(Exec, CommandsEndWith148NamingTheCommand) {
    EXPECT_EQ(run("A=1\nA=2\n;x\nA=3\nA=4\nA=5\nA=6\nPRINT \"x\",A\nA=9\n"), E_FEATUREREMOVED);
    EXPECT_EQ(var("A"), "6");
    EXPECT_NE(detail().find("Line: 7 (+ remmarks) in t.prc:\r\nPRINT \"x\",A"), std::string::npos)
        << detail();
    EXPECT_EQ(run("system \"ls\"\n"), E_FEATUREREMOVED);
    EXPECT_NE(detail().find("Line: 1 (+ remmarks) in t.prc:\r\nSYSTEM \"ls\""), std::string::npos)
        << detail();
}

namespace {

struct Seen {
    u16 code = 0, nargs = 0, calls = 0;
    std::string got;
};
Seen seen;

u16 fake_executor(u16 code, u16 nargs, const u8* types, const i16* values, const Str* texts) {
    seen.code = code;
    seen.nargs = nargs;
    seen.calls++;
    seen.got.clear();
    for (u16 k = 0; k < nargs; k++)
        seen.got += std::to_string(types[k]) + ":" + std::to_string(values[k]) + ":" +
                    text(texts[k]) + "|";
    return values[0] == 13 ? E_SYSTEMCMD : 0;
}

}  // namespace

TEST_F(Exec, AnInstalledExecutorGetsTheArgumentsInOrder) {
    seen = {};
    ASSERT_EQ(prc_executor_set(3, fake_executor), 0);
    EXPECT_EQ(prc_executor_set(PRC_EXECUTOR_SLOTS, fake_executor), E_DATAOUTBOUND);
    u16 depth = param_depth();
    EXPECT_EQ(run("A=6\nMESSAGE A*2,\"hi\",FN#SLEN(\"a,b\")\nB=1\n", "", RUN_KEEP_RESULT), 0);
    EXPECT_EQ(seen.code, PC_MESSAGE) << detail();
    EXPECT_EQ(seen.got, "0:12:12.00|1:0:hi|0:3:3.00|");
    EXPECT_EQ(var("B"), "1");
    EXPECT_EQ(param_depth(), depth);
    EXPECT_EQ(results(), 0);  // ran past its end after the command
    EXPECT_EQ(run("WAIT 13\nB=2\n"), E_SYSTEMCMD);
    EXPECT_NE(detail().find("Line: 1 (+ remmarks) in t.prc:\r\nWAIT 13"), std::string::npos);
    prc_executor_set(3, nullptr);
}

TEST_F(Exec, TraceWritesEveryStatementAboutToRun) {
    sysint_set(SV_TRACE, TRACE_ON | 8);
    EXPECT_EQ(run("X=1\nIF X\nY=2\nENDIF\nEND\n"), 0);
    sysint_set(SV_TRACE, TRACE_ON);
    const std::string expected = "1\t X=1\r\n2\tIF X\r\n3\t Y=2\r\n4\tENDIF \r\n5\tEND \r\n";
    EXPECT_EQ(vx::test::slurp("PrcLog.txt"), expected);
    EXPECT_EQ(run("X=1\n"), 0);  // tracing off: nothing more
    EXPECT_EQ(vx::test::slurp("PrcLog.txt"), expected);
}

namespace {

int polls_left = 0;
bool cancel_after() { return --polls_left < 0; }

}  // namespace

TEST_F(Exec, ACancelEndsALoopThatNeverEnds) {
    polls_left = 1000;
    prc_cancel_poll_set(cancel_after);
    EXPECT_EQ(run("N=0\nDO\nN=N+1\nLOOP_WHILE\n"), E_CANCELLED);
    prc_cancel_poll_set(nullptr);
    EXPECT_EQ(var("N"), "333");  // the statement about to run did not run
}

namespace {

int applied = 0;
u16 count_open_set(Str) {
    applied++;
    return 0;
}
u16 push_set(u16, Str name, const Value*, u16, Value* value) {
    if (!str_equal(name, S("_OPEN"))) return E_SYNTAX;
    *value = val_num(0);
    return store_push(LIST_OPEN_SETS, S("\x01"));
}

}  // namespace

TEST_F(Exec, OpenSetsAreRestoredAfterARunFromTheStart) {
    DataFileCalls calls;
    calls.open_set = count_open_set;
    datafile_calls_set(&calls);
    app_function_hook_set(push_set);
    applied = 0;
    EXPECT_EQ(run("_OPEN()\n_OPEN()\n_OPEN()\n"), 0);
    EXPECT_EQ(store_count(LIST_OPEN_SETS), 0);
    EXPECT_EQ(applied, 2);  // the first set of an empty stack has nothing below to apply
    applied = 0;
    store_push(LIST_OPEN_SETS, S("\x01"));
    EXPECT_EQ(run("_OPEN()\n_OPEN()\nEND\n"), 0);
    EXPECT_EQ(store_count(LIST_OPEN_SETS), 1);
    EXPECT_EQ(applied, 2);
    // Entered at an entry point, the run leaves what it opened.
    EXPECT_EQ(run("A=1\nDEF_FN in\n_OPEN()\n", "in"), 0);
    EXPECT_EQ(store_count(LIST_OPEN_SETS), 2);
    // After an error above 128 nothing is cleaned up.
    EXPECT_EQ(run("_OPEN()\nPRINT 1\n"), E_FEATUREREMOVED);
    EXPECT_EQ(store_count(LIST_OPEN_SETS), 3);
    store_truncate(LIST_OPEN_SETS, 0);
    app_function_hook_set(nullptr);
    datafile_calls_set(nullptr);
}

namespace {

u16 define_two(u16, Str name, const Value*, u16, Value* value) {
    if (!str_equal(name, S("_DEFS"))) return E_SYNTAX;
    *value = val_num(0);
    if (u16 rc = struct_save()) return rc;
    if (u16 rc = struct_define(7, S("one"), S(""))) return rc;
    return struct_define(8, S("two"), S(""));
}

}  // namespace

TEST_F(Exec, StructuresDefinedByTheRunAreRestored) {
    app_function_hook_set(define_two);
    ASSERT_EQ(struct_define(1, S("base"), S("")), 0);
    EXPECT_EQ(run("_DEFS()\nEND\n"), 0);
    EXPECT_EQ(struct_count(), 1);
    EXPECT_EQ(struct_saves(), 0);
    EXPECT_EQ(run("A=1\nDEF_FN in\n_DEFS()\n", "in"), 0);  // entered by name: kept
    EXPECT_EQ(struct_count(), 3);
    app_function_hook_set(nullptr);
}

// ---- Windows a run leaves open ----

namespace {

// A window stack and a progress window of pretend, driven by _WIN() and _PROG().
struct FakeWindows {
    u16 count = 0;
    bool progress = false;
    int destroyed = 0;
    bool stuck = false;   // destroying fails, as with a stack that has nothing to give
};
FakeWindows fw;

u16 open_windows(u16, Str name, const Value*, u16, Value* value) {
    *value = val_num(0);
    if (str_equal(name, S("_WIN"))) fw.count++;
    else if (str_equal(name, S("_PROG"))) fw.progress = true;
    else return E_SYNTAX;
    return 0;
}

PrcWindows fake_windows() {
    PrcWindows w;
    w.progress_open = [] { return fw.progress; };
    w.progress_close = [] { fw.progress = false; };
    w.count = [] { return fw.count; };
    w.destroy_top = []() -> u16 {
        if (fw.stuck || !fw.count) return E_DATAOUTBOUND;
        fw.count--;
        fw.destroyed++;
        return 0;
    };
    return w;
}

}  // namespace

TEST_F(Exec, WindowsTheRunOpenedAreClosedOnEveryWayOut) {
    prc_windows_set(fake_windows());
    app_function_hook_set(open_windows);
    fw = FakeWindows{};
    fw.count = 1;   // the window that started the run (a menu, a form) stays
    EXPECT_EQ(run("_PROG()\n_WIN()\n_WIN()\nEND\n"), 0);
    EXPECT_EQ(fw.count, 1);
    EXPECT_EQ(fw.destroyed, 2);
    EXPECT_FALSE(fw.progress);
    // A run that fails closes them as well: nobody else would.
    EXPECT_EQ(run("_PROG()\n_WIN()\nPRINT 1\n"), E_FEATUREREMOVED);
    EXPECT_EQ(fw.count, 1);
    EXPECT_FALSE(fw.progress);
    // A progress window open before the run is its caller's.
    fw.progress = true;
    EXPECT_EQ(run("_WIN()\n"), 0);
    EXPECT_TRUE(fw.progress);
    EXPECT_EQ(fw.count, 1);
    // Entered at an entry point, the run leaves what it opened.
    fw.progress = false;
    EXPECT_EQ(run("A=1\nDEF_FN in\n_PROG()\n_WIN()\n", "in"), 0);
    EXPECT_TRUE(fw.progress);
    EXPECT_EQ(fw.count, 2);
    // A stack that refuses to give a window up ends the clean-up instead of looping.
    fw = FakeWindows{};
    fw.stuck = true;
    EXPECT_EQ(run("_WIN()\n_WIN()\n"), 0);
    EXPECT_EQ(fw.count, 2);
    app_function_hook_set(nullptr);
    prc_windows_set(PrcWindows{});
}
