// The trace log and its path, dated records, and assertions.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include "runtime/arena.h"
#include "runtime/env.h"
#include "runtime/error.h"
#include "runtime/log.h"
#include "runtime/msg.h"
#include "runtime/sysvars.h"
#include "support/fixtures.h"
#include "test_msg_support.h"

using namespace vx::rt;
using vx::test::text;

namespace {

class Log : public vx::test::MsgFixture {
protected:
    Log() : MsgFixture("log") {}
    void TearDown() override {
        log_date_text_set(nullptr);
        MsgFixture::TearDown();
    }
    bool exists(const char* name) { return std::filesystem::exists(dir_.path() / name); }
};

using LogDeathTest = Log;

const std::string HEADER =
    R"(\*{29}\r\n Date:\d{4}-\d{2}-\d{2} - Time:\d{2}:\d{2}:\d{2} - User:0\r\n)";
const std::string FOOTER = R"(\r\n\*{22}\r\n\r\n)";

Str fixed_date(u32 yyyymmdd) {
    return str_format(16, "<%u>", unsigned(yyyymmdd / 10000));
}

}  // namespace

TEST_F(Log, PathFollowsTheApplicationUntilStarted) {
    {
        TmpScope scope;
        EXPECT_EQ(text(log_path()), "log.txt");
        env_set(ENV_APNAME, S("VXW01Q:Varnox"));
        EXPECT_EQ(text(log_path()), "VXlog.txt");
    }
    write("trace.log", "old\r\n");
    EXPECT_EQ(log_start(S("trace.log")), 0);
    EXPECT_FALSE(exists("trace.log")) << "the log starts afresh";
    EXPECT_EQ(text(log_path()), "trace.log");
    EXPECT_EQ(log_start(str_empty()), E_DATA);
    EXPECT_EQ(log_start(str_error(E_OUTOFMEMORY)), E_OUTOFMEMORY);
    EXPECT_EQ(text(log_path()), "trace.log");
}

TEST_F(Log, LinesWhoseBitsMeetTrace) {
    sysint_set(SV_TRACE, 1 | 4);
    struct Case {
        u16 bits;
        Str line;
    } cases[] = {
        {1, S("one")},
        {2, S("two")},
        {4, S("four")},
        {6, S("six")},
        {0, S("none")},
        {8, S("eight")},
        {1, str_error(E_OUTOFMEMORY)},
        {1, str_error(0)},
    };
    for (const auto& c : cases) EXPECT_EQ(log_line(c.line, c.bits), 0);
    EXPECT_EQ(read("log.txt"), "one\r\nfour\r\nsix\r\nError #145\r\nError #65535\r\n");
}

TEST_F(Log, LineThatCannotBeWrittenIsLostQuietly) {
    log_start(S("no/such/dir/x.log"));
    EXPECT_EQ(log_line(S("lost"), 1), E_FILEIO);
    EXPECT_EQ(error_code(), 0);
    EXPECT_EQ(error_detail().n, 0);
}

TEST_F(Log, RecordsAreFramedAndDated) {
    EXPECT_EQ(log_record(S("first"), S("records.log")), 0);
    EXPECT_EQ(log_record(str_error(E_SQLERROR), S("records.log")), 0);
    EXPECT_TRUE(std::regex_match(read("records.log"), std::regex(HEADER + "first" + FOOTER +
                                                                 HEADER + "Error #162" + FOOTER)))
        << read("records.log");
    env_set(ENV_APNAME, S("VXW01Q:Varnox"));
    EXPECT_EQ(log_record(S("to the log"), str_empty()), 0);
    EXPECT_TRUE(std::regex_match(read("VXlog.txt"), std::regex(HEADER + "to the log" + FOOTER)));
}

TEST_F(Log, RecordDateCanBeFormattedByAnotherLayer) {
    log_date_text_set(fixed_date);
    EXPECT_EQ(log_record(S("x"), S("r.log")), 0);
    EXPECT_TRUE(std::regex_search(read("r.log"), std::regex(R"(^\*+\r\n Date:<\d{4}> - Time:)")));
}

TEST_F(Log, RecordThatCannotBeOpenedFailsWithTheFileName) {
    EXPECT_EQ(log_record(S("x"), S("no/such/dir/r.log")), E_FILENOTFOUND);
    EXPECT_EQ(text(error_detail()), "no/such/dir/r.log");
}

TEST_F(LogDeathTest, FailedAssertionIsRecordedAndEndsTheProcess) {
    assert_true(true, S("never"));
    EXPECT_FALSE(exists("assertions.log"));
    EXPECT_DEATH(assert_true(false, S("ScreenSetWin")), R"(\[Assertion Fail\] ScreenSetWin)");
    EXPECT_TRUE(
        std::regex_match(read("assertions.log"), std::regex(HEADER + "ScreenSetWin" + FOOTER)))
        << read("assertions.log");
}
