// Task lines: parsing into type and arguments, the handler registration rule, and the
// default handler's servers.
#include <gtest/gtest.h>

#include <string>

#include "runtime/error.h"
#include "runtime/tasks.h"
#include "support/fixtures.h"

using namespace vx::rt;
using vx::test::text;

namespace {

class Tasks : public vx::test::MemTest {
protected:
    void TearDown() override {
        task_handler_set(nullptr);
        task_expander_set(nullptr);
        for (u16 t = 1; t <= TASK_TYPE_COUNT; t++) task_serve(t, nullptr);
        MemTest::TearDown();
    }
};

std::string served;
u16 serve_help(Str args) {
    served = "help:" + text(args);
    return 0;
}
u16 serve_report(Str args) {
    served = "report:" + text(args);
    return 127;
}
u32 seen_request;
u16 app_handler(u32 request, Str args) {
    seen_request = request;
    served = "app:" + text(args);
    return 5;
}

}  // namespace

TEST_F(Tasks, LinesSplitIntoTypeAndArguments) {
    struct Case { const char* line; u16 type; u16 status; const char* args; } cases[] = {
        {"Report %APNAME%report.ppn,Edit", TASK_REPORT, 0, "%APNAME%report.ppn,Edit"},
        {"Help,About", TASK_HELP, 0, "About"},
        {"Help", TASK_HELP, 0, ""},
        {"ExpEval A#=1", TASK_EXPEVAL, 0, "A#=1"},
        {"ExpEval WRITE('a b';4)", TASK_EXPEVAL, 0, "WRITE('a b';4)"},
        {"ExpEval,'x y'", TASK_EXPEVAL, 0, "'x y'"},
        {"report x", 0, 163, "x"},
        {"Unknown,1", 0, 163, "1"},
        {"", 0, 163, ""},
        {"Menu", TASK_MENU, 0, ""},
    };
    for (const auto& c : cases) {
        TaskRequest r = task_parse(str_from_cstr(c.line));
        EXPECT_EQ(r.type, c.type) << c.line;
        EXPECT_EQ(r.status, c.status) << c.line;
        EXPECT_EQ(text(r.args), c.args) << c.line;
        EXPECT_EQ(r.packed(), (u32(c.type) << 16) | c.status);
    }
}

TEST_F(Tasks, DefaultHandlerServesRegisteredTypes) {
    task_serve(TASK_HELP, serve_help);
    task_serve(TASK_REPORT, serve_report);
    EXPECT_EQ(task_run(S("Help,About"), task_default_handler), 0);
    EXPECT_EQ(served, "help:About");
    EXPECT_EQ(task_run(S("Report a.ppn,1"), task_default_handler), 127);
    EXPECT_EQ(served, "report:a.ppn,1");
    // Types nobody serves, and unknown names, end with 163 and the detail text.
    EXPECT_EQ(task_run(S("MantMain x"), task_default_handler), E_DATA);
    EXPECT_EQ(text(error_detail()), "Proceso no definido");
    EXPECT_EQ(task_run(S("help,About"), task_default_handler), E_DATA);
}

TEST_F(Tasks, RegisteredHandlerWinsOverTheDefault) {
    task_handler_set(app_handler);
    task_serve(TASK_HELP, serve_help);
    EXPECT_EQ(task_run(S("Help About"), task_default_handler), 5);
    EXPECT_EQ(served, "app:About");
    EXPECT_EQ(task_type_of(seen_request), TASK_HELP);
    EXPECT_EQ(task_run(S("Nope"), task_default_handler), 5);
    EXPECT_EQ(task_status_of(seen_request), 163);
    // The default is installed only when no handler is set, and set_handler replaces.
    task_handler_set(nullptr);
    EXPECT_EQ(task_run(S("Help x"), task_default_handler), 0);
    EXPECT_EQ(task_handler(), &task_default_handler);
    task_handler_set(app_handler);
    EXPECT_EQ(task_handler(), &app_handler);
}

TEST_F(Tasks, BracketsAreExpandedBeforeTheTypeIsRead) {
    task_expander_set([](Str line) -> Str {
        return text(line) == "[$]4" ? str_copy(S("Help,four")) : line;
    });
    task_serve(TASK_HELP, serve_help);
    EXPECT_EQ(task_run(S("[$]4"), task_default_handler), 0);
    EXPECT_EQ(served, "help:four");
    task_expander_set([](Str) -> Str { return str_error(147); });
    EXPECT_EQ(task_run(S("[x"), task_default_handler), 147);
}
