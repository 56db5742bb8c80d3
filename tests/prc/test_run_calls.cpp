// Procedures that start procedures: EXEC$ through the run hook, CALL with its parameters and
// LOCALVARS, the local variable scope, the nesting limit, and the PrcExec task by name (with
// libraries) and by pattern (with a chooser).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "expr/eval.h"
#include "expr/funcs_hooks.h"
#include "runtime/msg.h"
#include "runtime/tasks.h"
#include "test_run_support.h"

using namespace vx::rt;
using namespace vx::prc;
using namespace vx::expr;
using vx::test::text;

namespace {

using Calls = vx::test::RunTest;

const char* LIB =
    "END\n"
    "DEF_FN SHOUT\nLOCALVARS S$\nS$+\"!\"\nEND\n"
    "DEF_FN ADD\nLOCALVARS P#,Q$\nG#=P#*2\nH$=Q$+\"y\"\nRETURN\n"
    "DEF_FN REC\nDEPTH=DEPTH+1\nCALL REC\n";

}  // namespace

TEST_F(Calls, ExecRunsAProcedureAndReadsItsResult) {
    write("lib.prc", LIB);
    u16 params = param_depth();
    EXPECT_EQ(run("R$=EXEC$(\"SHOUT,lib.prc\";\"hi\")\nEND\n"), 0) << detail();
    EXPECT_EQ(var("R$"), "hi!");
    EXPECT_FALSE(declared("S$"));  // the callee's variables went with its scope
    EXPECT_EQ(param_depth(), params);
    EXPECT_EQ(store_count(LIST_RESULTS), 0);
    EXPECT_EQ(prc_loaded(), 0u);
}

TEST_F(Calls, CallPassesParametersToLocalvars) {
    write("lib.prc", LIB);
    ASSERT_EQ(run("G#=0\nH$=\"\"\nA#=5\nCALL ADD,lib.prc A#+1;\"x\"\n"), 0) << detail();
    EXPECT_EQ(var("G#"), "12");
    EXPECT_EQ(var("H$"), "xy");
    EXPECT_FALSE(declared("P#"));  // local by default: cut back after the call
    EXPECT_EQ(param_depth(), 0);
    // A third item of 0 keeps what the callee declared; names may come from string values.
    ASSERT_EQ(run("F$=\"lib.prc\"\nCALL \"ADD\",F$,0 1,\"z\"\n"), 0) << detail();
    EXPECT_EQ(var("P#"), "1");
    EXPECT_EQ(var("Q$"), "z");
}

TEST_F(Calls, ParametersLeftOverFailTheCall) {
    write("lib.prc", LIB);
    EXPECT_EQ(run("G#=0\nCALL ADD,lib.prc 0;1;\"a\"\nX=1\n"), E_SYNTAX);
    EXPECT_EQ(var("G#"), "2");  // the callee ran
    EXPECT_EQ(var("X"), "0");
    EXPECT_NE(detail().find("LOCALVARS"), std::string::npos) << detail();
    EXPECT_EQ(param_depth(), 0);
    // Seventeen parameters are refused before anything runs.
    EXPECT_EQ(run("CALL ADD,lib.prc 1;2;3;4;5;6;7;8;9;10;11;12;13;14;15;16;17\n"), E_SYNTAX);
    EXPECT_EQ(param_depth(), 0);
    EXPECT_EQ(run("CALL nowhere,lib.prc\n"), E_SYNTAX);
    EXPECT_NE(detail().find("nowhere"), std::string::npos);
    EXPECT_EQ(run("CALL ADD,missing.prc\n"), E_FILENOTFOUND);
}

TEST_F(Calls, LocalvarsTakesTheStackFromTheTop) {
    param_push(val_num(num_from_whole(7)));
    EXPECT_EQ(run("LOCALVARS A$,B$,C#\n"), 0);
    EXPECT_EQ(var("A$"), "");  // nothing left for the first names
    EXPECT_EQ(var("B$"), "");
    EXPECT_EQ(var("C#"), "7");
    EXPECT_EQ(run("LOCALVARS A,12\n"), E_TYPEMISMATCH);
    EXPECT_NE(detail().find("12"), std::string::npos);
}

TEST_F(Calls, TheLocalFlagCutsTheScopeBack) {
    ASSERT_EQ(assign("KEEP", 1), 0);
    EXPECT_EQ(run("KEEP=2\nNEW1=3\n", "", RUN_LOCAL), 0);
    EXPECT_EQ(var("KEEP"), "2");
    EXPECT_FALSE(declared("NEW1"));
    EXPECT_EQ(run("NEW2=3\n"), 0);
    EXPECT_TRUE(declared("NEW2"));
}

TEST_F(Calls, EndlessRecursionStopsAtTheNestingLimit) {
    write("lib.prc", LIB);
    ASSERT_EQ(assign("DEPTH", 0), 0);
    EXPECT_EQ(run("CALL REC,lib.prc,0\n"), E_PRCSTCK);
    EXPECT_EQ(var("DEPTH"), std::to_string(PRC_NESTING_MAX - 1));
    EXPECT_EQ(prc_nesting(), 0);
    EXPECT_EQ(prc_loaded(), 0u);
    EXPECT_EQ(param_depth(), 0);
}

TEST_F(Calls, RecursionThatLoadsItsFileEachTimeReachesTheSameLimit) {
    // Every level loads rec.prc again: the table of loaded procedures must not run out first.
    write("rec.prc", "DEF_FN r\nDEPTH=DEPTH+1\nCALL r,rec.prc\n");
    ASSERT_EQ(assign("DEPTH", 0), 0);
    EXPECT_EQ(run("CALL r,rec.prc\n"), E_PRCSTCK) << detail();
    EXPECT_EQ(var("DEPTH"), std::to_string(PRC_NESTING_MAX - 1));
    EXPECT_NE(detail().find("rec.prc: more than 24 procedures running inside each other"),
              std::string::npos) << detail();
    EXPECT_EQ(error_current().code, E_PRCSTCK);
    EXPECT_EQ(prc_loaded(), 0u);
    EXPECT_EQ(prc_nesting(), 0);
}

TEST_F(Calls, ExecFindsItsRunOperationBeforeAnyCompile) {
    write("lib.prc", LIB);
    prc_free();
    hook_set(HOOK_RUNPRC, nullptr);
    prc_install();
    TmpScope scope;
    Value v;
    EXPECT_EQ(expr_eval(S("R$=EXEC$(\"SHOUT,lib.prc\";\"hola\")"), v), 1) << detail();
    EXPECT_EQ(var("R$"), "hola!");
}

TEST_F(Calls, NoFileAndNoEntryIsASyntaxError) {
    EXPECT_EQ(prc_run(S(""), S(""), 0), E_SYNTAX);
    EXPECT_EQ(prc_run(S("ghost"), S(""), 0), E_SYNTAX);
}

// ---- The PrcExec task ----

TEST_F(Calls, TaskRunsTheEntryOfTheNewestLibraryAndUnloadsAll) {
    write("main.prc", "W$=W$+\"m\"\n");
    write("a.prc", "DEF_FN GO\nW$=W$+\"a\"\n");
    write("b.prc", "DEF_FN GO\nW$=W$+\"b\"\n");
    ASSERT_EQ(run("W$=\"\"\n"), 0);
    EXPECT_EQ(task_run(S("PrcExec main.prc;a.prc;b.prc,GO,X=7"), task_default_handler), 0)
        << detail();
    EXPECT_EQ(var("W$"), "a");  // b loaded first, then a, then main (which has no GO)
    EXPECT_EQ(var("X"), "7");
    EXPECT_EQ(prc_loaded(), 0u);
    EXPECT_EQ(task_run(S("PrcExec main.prc"), task_default_handler), 0);
    EXPECT_EQ(var("W$"), "am");
    EXPECT_EQ(task_run(S("PrcExec main.prc;nolib.prc,GO"), task_default_handler),
              E_FILENOTFOUND);
    EXPECT_EQ(prc_loaded(), 0u);
}

namespace {

std::string offered, title;
int answers[4];
int asked = 0;

u16 fake_chooser(Str t, Str items) {
    title = text(t);
    offered = text(items);
    return u16(answers[asked++]);
}

}  // namespace

TEST_F(Calls, TaskPatternOffersTheMatchingFilesUntilCancelled) {
    write("p1.prc", "W$=W$+\"1\"\n");
    write("p2.prc", "W$=W$+\"2\"\n");
    write("other.txt", "x");
    ASSERT_EQ(run("W$=\"\"\n"), 0);
    EXPECT_EQ(task_run(S("PrcExec p*.prc"), task_default_handler), E_DATA);  // no chooser
    prc_chooser_set(fake_chooser);
    asked = 0;
    answers[0] = 2, answers[1] = 1, answers[2] = 2, answers[3] = 0;
    EXPECT_EQ(task_run(S("PrcExec p*.prc"), task_default_handler), 0) << detail();
    EXPECT_EQ(asked, 4);
    EXPECT_EQ(offered, "p1.prc,p2.prc");
    EXPECT_EQ(title, text(msg_text_id(88)));
    EXPECT_EQ(var("W$"), "212");
    EXPECT_EQ(prc_loaded(), 0u);
    asked = 0;
    EXPECT_EQ(task_run(S("PrcExec q*.prc"), task_default_handler), E_DATA);
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(detail(), text(msg_text_id(31)));
}

// "*" offers files only: "." and "..", folders and pipes cannot be run as procedures.
TEST_F(Calls, TaskPatternOffersNothingButFiles) {
    write("p1.prc", "W$=\"1\"\n");
    std::filesystem::create_directory("sub.prc");
    ::mkfifo("pipe.prc", 0600);
    prc_chooser_set(fake_chooser);
    asked = 0;
    answers[0] = 0;
    EXPECT_EQ(task_run(S("PrcExec *"), task_default_handler), 0) << detail();
    EXPECT_EQ(offered, "p1.prc");
    asked = 0;
    EXPECT_EQ(task_run(S("PrcExec *.prc"), task_default_handler), 0);
    EXPECT_EQ(offered, "p1.prc");
    std::filesystem::remove("p1.prc");
    asked = 0;
    EXPECT_EQ(task_run(S("PrcExec *"), task_default_handler), E_DATA) << "only a folder and a pipe";
    EXPECT_EQ(asked, 0);
}
