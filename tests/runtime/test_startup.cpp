// Start-up, the command line and its keys, the environment, shutdown and the exit code.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "runtime/arena.h"
#include "runtime/env.h"
#include "runtime/error.h"
#include "runtime/files.h"
#include "runtime/startup.h"
#include "runtime/store.h"
#include "runtime/sysvars.h"
#include "runtime/tasks.h"
#include "support/fixtures.h"

using namespace vx::rt;
namespace fs = std::filesystem;

namespace {

using txt_fn = std::string (*)(Str);
constexpr txt_fn txt = vx::test::text;

// Runs each test in a folder of its own, with the run-time started on a given line.
class Startup : public ::testing::Test {
protected:
    void SetUp() override {
        dir_.enter();
        runtime_services() = RuntimeServices{};
    }
    void TearDown() override {
        if (runtime_started()) runtime_stop(nullptr, 0);
        runtime_services() = RuntimeServices{};
        task_handler_set(nullptr);
    }
    u16 start(const char* line, const char* id = "VXW01Q:Varnox", u16 flags = 6,
              StartupHook hook = nullptr) {
        return runtime_start(nullptr, str_from_cstr(line), str_from_cstr(id), S("Visor"), flags, hook);
    }
    vx::test::ScratchDir dir_{"startup"};
};

}  // namespace

TEST_F(Startup, CommandLineIsNormalised) {
    struct Case { const char* in; const char* out; } cases[] = {
        {"prog.exe  --APNAME=ABC", "prog.exe /APNAME=ABC"},
        {"  prog   -TRACE=3\t", "prog /TRACE=3"},
        {"prog ---x", "prog /-x"},
        {"prog '  --a  b' /K=1", "prog '  --a  b' /K=1"},
        {"prog \"x  -y\"   -z", "prog \"x  -y\" /z"},
        {"prog    -A    --B", "prog /A /B"},
    };
    ASSERT_EQ(mem_init(), 0);
    for (const auto& c : cases) {
        TmpScope scope;
        EXPECT_EQ(txt(cmdline_normalise(str_from_cstr(c.in))), c.out) << c.in;
    }
    mem_shutdown();
}

TEST_F(Startup, ArgumentVectorQuotesValuesThatHoldSeparators) {
    const char* argv[] = {"/usr/bin/vxrun", "--INPUT=/tmp/lines.txt", "/RUN=ExpEval A#=1",
                          "-TRACE=5", "/RUN2=\"kept as is\"", "/X=it's a/b"};
    ASSERT_EQ(mem_init(), 0);
    {
        TmpScope scope;
        EXPECT_EQ(txt(cmdline_from_args(6, argv)),
                  "/usr/bin/vxrun /INPUT=\"/tmp/lines.txt\" /RUN=\"ExpEval A#=1\" /TRACE=5 "
                  "/RUN2=\"kept as is\" /X=\"it's a/b\"");
    }
    mem_shutdown();
}

// An argument longer than any string ends start-up with 146, one byte more as one byte less.
TEST_F(Startup, ArgumentLongerThanAStringIs146) {
    for (std::size_t n : {65535u, 65536u, 200000u}) {
        std::string huge(n, 'x');
        const char* argv[] = {"vxrun", "/BATCH", huge.c_str()};
        EXPECT_EQ(runtime_start_args(nullptr, 3, argv, S(""), S(""), 6, nullptr), E_STRINGTOOLONG) << n;
        if (runtime_started()) runtime_stop(nullptr, 0);
        std::string value = "/RUN=" + std::string(n, 'y');
        const char* with_key[] = {"vxrun", value.c_str()};
        EXPECT_EQ(runtime_start_args(nullptr, 2, with_key, S(""), S(""), 6, nullptr), E_STRINGTOOLONG) << n;
        if (runtime_started()) runtime_stop(nullptr, 0);
    }
}

TEST_F(Startup, KeysAreReadCleanedAndInEitherCase) {
    ASSERT_EQ(start("prog.exe  --APNAME=abc /apstart='Menu1' /TRACE=4 /?;HELP /device=lpt1 "
                    "/HOST= srv "),
              0);
    EXPECT_EQ(txt(env_get(ENV_CMDLINE)), "prog.exe /APNAME=abc /apstart='Menu1' /TRACE=4 /?;HELP "
                                         "/device=lpt1 /HOST= srv");
    EXPECT_EQ(txt(cmd_key(KEY_APNAME)), "ABC");
    EXPECT_EQ(txt(cmd_key(KEY_APSTART)), "Menu1");   // found in lower case, quoted keeps case
    EXPECT_EQ(txt(cmd_key(KEY_HELP)), "YES");        // present without a value
    EXPECT_EQ(txt(cmd_key(KEY_DEVICE)), "LPT1");
    EXPECT_EQ(txt(cmd_key(KEY_RUN)), "");
    EXPECT_EQ(txt(cmd_key(KEY_HOST)), "");           // the value ends at the blank
    EXPECT_EQ(cmd_key_in(KEY_DEVICE, S("COM1,LPT1,PRN")), 2);
    EXPECT_EQ(cmd_key_in(KEY_RUN, S("COM1,LPT1")), 0);
    EXPECT_EQ(sysint_get(SV_TRACE), 5);              // bit 1 always set
}

TEST_F(Startup, HelpKeyAbsentReadsEmpty) {
    ASSERT_EQ(start("prog /APNAME=XX"), 0);
    EXPECT_EQ(txt(cmd_key(KEY_HELP)), "");
    EXPECT_FALSE(cmd_batch());
}

TEST_F(Startup, BatchKeyIsAFlag) {
    std::ofstream("x.txt") << "";
    ASSERT_EQ(start("prog /BATCH /INPUT='x.txt'"), 0);
    EXPECT_TRUE(cmd_batch());
    EXPECT_EQ(txt(cmd_key(KEY_INPUT)), "x.txt");
}

TEST_F(Startup, EnvironmentAfterStart) {
    ASSERT_EQ(start("/opt/vx/bin/varnox /X=1"), 0);
    EXPECT_EQ(txt(env_get(ENV_APNAME)), "VXW01Q:Varnox");
    EXPECT_EQ(txt(app_prefix()), "VX");
    EXPECT_EQ(txt(env_get(ENV_APDESC)), "Visor");
    EXPECT_EQ(txt(env_get(ENV_LANG)), "ES");
    EXPECT_EQ(txt(env_get(ENV_DATA)), "/opt/vx/bin");
    EXPECT_EQ(txt(env_get(ENV_HELP)), "/opt/vx/bin/Help");
    EXPECT_EQ(sysint_get(SV_LASTKEY), 4);
    EXPECT_EQ(sysint_get(SV_PRECIS), 2);
    EXPECT_EQ(sysint_get(SV_BYEAR), 2000);
}

TEST_F(Startup, ApnameKeyReplacesTheIdAndKeepsTheName) {
    ASSERT_EQ(start("prog /APNAME=ABC"), 0);
    EXPECT_EQ(txt(env_get(ENV_APNAME)), "ABC:Varnox");
    EXPECT_EQ(txt(app_prefix()), "AB");
}

TEST_F(Startup, SecondStartIsRefused) {
    ASSERT_EQ(start("prog"), 0);
    EXPECT_EQ(start("prog"), 124);
}

namespace {
u16 hook_calls[4];
u16 counting_hook(u16 code) {
    hook_calls[code % 16]++;
    EXPECT_EQ(code / 16, 6);
    return 0;
}
u16 failing_stage2(u16 code) { return code % 16 == STAGE_READY ? 174 : 0; }
u16 dict_calls;
u16 dict_missing(Str) { dict_calls++; return E_FILENOTFOUND; }
}  // namespace

TEST_F(Startup, HookStagesRunInOrder) {
    hook_calls[1] = hook_calls[2] = hook_calls[3] = 0;
    ASSERT_EQ(start("prog", "VXW01Q:Varnox", 6, counting_hook), 0);
    EXPECT_EQ(hook_calls[1], 1);
    EXPECT_EQ(hook_calls[2], 1);
    EXPECT_EQ(runtime_stop(counting_hook, 0), 0);
    EXPECT_EQ(hook_calls[3], 1);
}

TEST_F(Startup, StageTwoFailureIsReturned) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(start("prog", "VXW01Q:Varnox", 6, failing_stage2), 174);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("174"), std::string::npos);
}

TEST_F(Startup, MissingDictionaryIsRetriedAndForgivenWithFlag4) {
    runtime_services().dict_load = dict_missing;
    dict_calls = 0;
    ASSERT_EQ(start("prog /DPATH='/nowhere'", "VXW01Q:Varnox", 6), 0);
    EXPECT_EQ(dict_calls, 2);
    EXPECT_EQ(txt(env_get(ENV_DATA)), "/nowhere");
    runtime_stop(nullptr, 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(start("prog", "VXW01Q:Varnox", 2), E_FILENOTFOUND);
    testing::internal::GetCapturedStderr();
}

TEST_F(Startup, DictionaryWithoutPrefixLeavesItToStageTwo) {
    // Without a two-character prefix the step ends with 156, which stage 2 may still mend.
    runtime_services().dict_load = dict_missing;
    dict_calls = 0;
    hook_calls[2] = 0;
    EXPECT_EQ(start("prog", "", 2, [](u16 code) -> u16 { hook_calls[code % 16]++; return 0; }), 0);
    EXPECT_EQ(dict_calls, 0);
    EXPECT_EQ(hook_calls[2], 1);
    runtime_stop(nullptr, 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(start("prog", "", 2, failing_stage2), 174);
    testing::internal::GetCapturedStderr();
}

TEST_F(Startup, TraceReportWritesLogAndStopsQuietly) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(start("prog /TRACE=273"), E_SILENTSTOP);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    std::ifstream log("log.txt", std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(log)), {});
    EXPECT_EQ(all, "0,ES\r\n");
}

TEST_F(Startup, NothingToRunIs163) {
    ASSERT_EQ(start("prog"), 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(runtime_run(S("")), E_DATA);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("163"), std::string::npos);
}

namespace {
std::string ran;
// Records "type:args" of each task line it is handed; arguments starting with F fail.
u16 record_task(u32 request, Str args) {
    ran += std::to_string(task_type_of(request)) + ":" + std::string(args.p, args.n) + "|";
    return args.n && args.p[0] == 'F' ? 145 : 0;
}
}  // namespace

TEST_F(Startup, InputLinesThenRunLine) {
    std::ofstream("lines.txt", std::ios::binary) << "ExpEval A=1\r\n\r\nExpEval B=2\nHelp Fail\nHelp Never\n";
    task_handler_set(record_task);
    ASSERT_EQ(start("prog /INPUT='lines.txt' /RUN='Last one'"), 0);
    ran.clear();
    testing::internal::CaptureStderr();
    EXPECT_EQ(runtime_run(S("")), 145);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(ran, "19:A=1|19:B=2|15:Fail|");
    EXPECT_EQ(sysint_get(SV_INHND), 0);
    EXPECT_EQ(sysint_get(SV_SCRSTAT) & SCR_RUNKEY, 0);
}

TEST_F(Startup, RunKeySetsScrstatBit) {
    task_handler_set(record_task);
    ASSERT_EQ(start("prog /RUN=\"Help now\" /OUTPUT='out.txt'"), 0);
    ran.clear();
    EXPECT_EQ(runtime_run(S("")), 0);
    EXPECT_EQ(ran, "15:now|");
    EXPECT_EQ(sysint_get(SV_SCRSTAT) & SCR_RUNKEY, SCR_RUNKEY);
    EXPECT_EQ(sysint_get(SV_OUTHND), 1);
}

TEST_F(Startup, MissingInputFileFails) {
    task_handler_set(record_task);
    hook_calls[2] = 0;
    testing::internal::CaptureStderr();
    EXPECT_EQ(start("prog /BATCH /INPUT='absent.txt'", "VXW01Q:Varnox", 6, counting_hook),
              E_FILENOTFOUND);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("absent.txt"), std::string::npos) << err;
    EXPECT_EQ(hook_calls[2], 0) << "start-up ends before stage 2";
    EXPECT_FALSE(fs::exists("absent.txt"));  // reading never creates the file
}

namespace {
std::string stage2_line;
// Stage 2 of an application that reads an answer line and moves to a working folder.
u16 reading_stage2(u16 code) {
    if (code % 16 != STAGE_READY) return 0;
    TmpScope scope;
    stage2_line = txt(input_next_line());
    fs::create_directories("work");
    fs::current_path("work");
    return 0;
}
}  // namespace

TEST_F(Startup, InputFileAnswersStageTwoThenRunsItsTaskLines) {
    std::ofstream("lines.txt", std::ios::binary) << "host,db,user\r\nExpEval A=1\r\nHelp me\r\n";
    task_handler_set(record_task);
    stage2_line.clear();
    ASSERT_EQ(start("prog /BATCH /INPUT=lines.txt /OUTPUT=out.txt", "VXW01Q:Varnox", 6,
                    reading_stage2), 0);
    EXPECT_EQ(stage2_line, "host,db,user");
    // Names typed relative to the starting folder keep meaning the files there.
    fs::path started = fs::current_path().parent_path();
    {
        TmpScope scope;
        EXPECT_EQ(txt(runtime_file_key(KEY_OUTPUT)), (started / "OUT.TXT").string());
    }
    ran.clear();
    EXPECT_EQ(runtime_run(S("")), 0);
    EXPECT_EQ(ran, "19:A=1|15:me|");
    EXPECT_EQ(sysint_get(SV_INHND), 0);
    fs::current_path(started);
}

TEST_F(Startup, FailingLanguageVariablesEndStartUp) {
    runtime_services().after_start = [] {
        return fail_with_detail(E_SYNTAX, S("VXLANGVARS.DAT: M#=0019"), false);
    };
    testing::internal::CaptureStderr();
    EXPECT_EQ(start("prog"), E_SYNTAX);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("VXLANGVARS.DAT: M#=0019"), std::string::npos) << err;
}

TEST_F(Startup, ExitCodeRule) {
    ASSERT_EQ(start("prog"), 0);
    EXPECT_EQ(runtime_stop(nullptr, 127), 0);
    ASSERT_EQ(start("prog"), 0);
    EXPECT_EQ(runtime_stop(nullptr, 145), 145);
    ASSERT_EQ(start("prog"), 0);
    EXPECT_EQ(runtime_stop(failing_stage2, 0), 0);   // stage 3 answers 0
    ASSERT_EQ(start("prog"), 0);
    EXPECT_EQ(runtime_stop([](u16) -> u16 { return 150; }, 0), 150);
    EXPECT_EQ(exit_code_of(121), 0);
    EXPECT_EQ(exit_code_of(128), 128);
}

TEST_F(Startup, LeakedBlockIsReportedAtShutdown) {
    ASSERT_EQ(start("prog"), 0);
    void* leak = mem_alloc(42, 16, 0);
    ASSERT_NE(leak, nullptr);
    testing::internal::CaptureStderr();
    EXPECT_EQ(runtime_stop(nullptr, 0), E_MEMLEAKS);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("42"), std::string::npos);
    // Nothing was released: free the block and shut down for real.
    EXPECT_EQ(mem_free(42, leak), 0);
    EXPECT_EQ(mem_shutdown(), 0);
}
