// Bracket expansion: values of [expression] pairs and every option, keys from the caller's
// list, the command line and the environment, repeated expansion and its limit, and the
// expander of task lines.
#include <cstdlib>
#include <string>

#include "runtime/env.h"
#include "runtime/tasks.h"
#include "test_eval_support.h"

using namespace vx::rt;
using namespace vx::expr;
using namespace vx::test;

namespace {

using Brackets = vx::test::EvalTest;

std::string expand(const char* t, u16 options = 0, const char* keys = "") {
    TmpScope scope;
    return text(expr_expand(str_from_cstr(t), options, str_from_cstr(keys)));
}

}  // namespace

TEST_F(Brackets, ValuesReplaceThePairs) {
    ASSERT_EQ(eval("A#=2;S$=' x ';Q$='it''s'"), "<147>");   // no doubled quotes
    ASSERT_EQ(eval("A#=2;S$=' x ';Q$=\"it's\""), "'it's'");
    struct Case {
        const char* text;
        u16 options;
        const char* result;
    } cases[] = {
        {"Total: [A#*2]", 0, "Total: 4.00"},
        {"[A#][A#+1]", 0, "2.003.00"},
        {"no pairs", 0, "no pairs"},
        {"[50%]", 0, "50%"},
        {"['a'+'b']", 0, "ab"},
        {"[]", 0, "0"},
        {"[ ]", EXPAND_EMPTY_BLANK, ""},
        {"<[S$]>", 0, "<x>"},
        {"<[S$]>", EXPAND_NO_TRIM, "< x >"},
        {"[S$]", EXPAND_QUOTE, "'x'"},
        {"[S$]", EXPAND_DQUOTE, "\"x\""},
        {"[Q$]", EXPAND_QUOTE, "\"it's\""},
        {"'[1]' [2]", 0, "'[1]' 2.00"},
        {"'[1]' [2]", EXPAND_IN_QUOTES, "'1.00' 2.00"},
        {"[(1+[2])]", 0, "1.00"},   // "[2]" inside is a variable name
        {"a [b", 0, "a [b"},
        {"\\{x\\} [1]", EXPAND_ESCAPES, "[x] 1.00"},
        {"\\{x\\}", 0, "\\{x\\}"},
    };
    for (const auto& c : cases) EXPECT_EQ(expand(c.text, c.options), c.result) << c.text;
}

TEST_F(Brackets, AnErrorStopsTheExpansion) {
    EXPECT_EQ(expand("a [1+'a'] [B=1]"), "<error 128>");
    EXPECT_EQ(read_text("B"), "0.00");
    EXPECT_EQ(expand("[(1]"), "<error 129>");
}

TEST_F(Brackets, ValuesAreExpandedAgainWithOption128) {
    ASSERT_EQ(eval("R$='[1+1]';L$='[L$]'"), "'[L$]'");
    EXPECT_EQ(expand("<[R$]>"), "<[1+1]>");
    EXPECT_EQ(expand("<[R$]>", EXPAND_AGAIN), "<2.00>");
    EXPECT_EQ(expand("[L$]", EXPAND_AGAIN), "<error 129>");   // a value that brings itself back
}

TEST_F(Brackets, KeysFromTheCallerTheCommandLineAndTheEnvironment) {
    ASSERT_EQ(env_set(ENV_CMDLINE, S("vxrun /TITLE='Sales 2024' /DPATH=data")), 0);
    ::setenv("VX_EXPAND_TEST", " from env ", 1);
    const char* keys = "NAME=Ana:CITY=Lugo";
    EXPECT_EQ(expand("[NAME]-[CITY]", EXPAND_KEYS, keys), "Ana-Lugo");
    EXPECT_EQ(expand("[TITLE]", EXPAND_KEYS, keys), "Sales 2024");
    EXPECT_EQ(expand("[title]", EXPAND_KEYS, keys), "Sales 2024");
    EXPECT_EQ(expand("[VX_EXPAND_TEST]", EXPAND_KEYS, keys), "from env");
    EXPECT_EQ(expand("[VX_EXPAND_TEST]", EXPAND_KEYS | EXPAND_NO_TRIM, keys), " from env ");
    EXPECT_EQ(expand("[2*3]", EXPAND_KEYS, keys), "6.00");    // not a key: evaluated
    EXPECT_EQ(expand("[NAME]", 0, keys), "0.00");             // without the option, a variable
    ::unsetenv("VX_EXPAND_TEST");
}

TEST_F(Brackets, ManyPairsKeepTheArenaSmall) {
    ASSERT_EQ(eval("W$='" + std::string(50, 'w') + "'").size(), 52u);
    std::string t;
    for (int i = 0; i < 400; i++) t += "[W$]";
    u16 mark = tmp_mark();
    Str r = expr_expand(view(t), 0, str_empty());
    ASSERT_TRUE(r.ok()) << str_error_code(r);
    EXPECT_EQ(r.n, 20000);
    EXPECT_EQ(tmp_mark(), mark + 1);
    EXPECT_LT(tmp_stats().high_bytes, 80000u);
    tmp_release(mark);
}

TEST_F(Brackets, TaskLinesAreExpandedBeforeTheirTypeIsRead) {
    TmpScope scope;
    TaskRequest r = task_parse(S("Help,[1+1]"));
    EXPECT_EQ(r.type, TASK_HELP);
    EXPECT_EQ(text(r.args), "2.00");
    r = task_parse(S("Report %APNAME%report.ppn,Edit"));
    EXPECT_EQ(r.type, TASK_REPORT);
    EXPECT_EQ(text(r.args), "%APNAME%report.ppn,Edit");
    EXPECT_EQ(task_parse(S("Help,[1+'a']")).status, E_TYPEMISMATCH);
}
