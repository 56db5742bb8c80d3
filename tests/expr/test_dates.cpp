// Dates: typed dates in each language and year window, validity, the display modes, the
// date of a file, parts, arithmetic and differences, and six-character date fields.
#include <cstdio>
#include <string>

#include "expr/dates.h"
#include "platform/os.h"
#include "runtime/arena.h"
#include "runtime/env.h"
#include "runtime/sysvars.h"
#include "support.h"

using namespace vx::rt;
using namespace vx::expr;
using vx::test::text;

namespace {

using DateTest = vx::test::VarTest;
class DateParse : public DateTest {};
class DateFormat : public DateTest {};
class DateCalc : public DateTest {};
class DateField : public DateTest {};

std::string parsed(const char* typed) {
    TmpScope scope;
    return text(date_parse(str_from_cstr(typed)));
}

std::string today_text() {
    const vx::os::DateTime now = vx::os::now_local();
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", now.year, now.month, now.day);
    return buf;
}

struct Typed {
    const char* typed;
    const char* stored;
};

}  // namespace

TEST_F(DateParse, DayFirstInSpanish) {
    vx::test::use_language("ES");
    const Typed cases[] = {
        {"31/12/99", "19991231"},
        {"1-2-2017", "20170201"},
        {"31.12.05", "20051231"},
        {" 5/8/17 ", "20170805"},
        {"311299", "19991231"},
        {"20170131", "20170131"},
        {"1/1/00", "20000101"},
        {"1/1/79", "20790101"},
        {"1/1/80", "19800101"},
        {"29/2/2100", "21000229"},
        {"29/2/1900", "19000229"},
        {"29/2/2023", ""},
        {"31/02/2017", ""},
        {"0/1/2017", ""},
        {"1/0/2017", ""},
        {"1/1/0000", ""},
        {"1/1/0", "20000101"},
        {"a/b/c", ""},
        {"1/2", ""},
        {"1/2/3/4", ""},
        {"1//2017", ""},
        {"12345", ""},
        {"1/2/12345", ""},
        {"32/12/99", ""},
    };
    for (const Typed& c : cases) EXPECT_EQ(parsed(c.typed), c.stored) << c.typed;
}

TEST_F(DateParse, MonthFirstInOtherLanguages) {
    vx::test::use_language("EN");
    EXPECT_EQ(parsed("12/31/05"), "20051231");
    EXPECT_EQ(parsed("31/12/05"), "");
    EXPECT_EQ(parsed("311205"), "20051231");  // six digits are always DDMMYY
    for (const char* lang : {"FR", "IT"}) {
        ASSERT_EQ(vx::rt::env_set(vx::rt::ENV_LANG, str_from_cstr(lang)), 0);
        EXPECT_EQ(parsed("12/31/05"), "") << lang;
        EXPECT_EQ(parsed("31/12/05"), "20051231") << lang;
    }
}

TEST_F(DateParse, YearWindowFollowsSystemVariables) {
    vx::test::use_language("ES");
    sysint_set(SV_BKYEAR, 50);
    EXPECT_EQ(parsed("1/1/49"), "20490101");
    EXPECT_EQ(parsed("1/1/60"), "19600101");
    sysint_set(SV_BYEAR, 2100);
    EXPECT_EQ(parsed("1/1/05"), "21050101");
    EXPECT_EQ(parsed("1/1/99"), "20990101");
}

TEST_F(DateParse, EmptyIsTodayUnlessAuxstat64) {
    EXPECT_EQ(parsed(""), today_text());
    EXPECT_EQ(parsed("   "), today_text());
    EXPECT_EQ(date_today(), std::stoi(today_text()));
    sysint_set(SV_AUXSTAT, AUX_DATE_EMPTY);
    EXPECT_EQ(parsed(""), "");
    EXPECT_EQ(date_read(S("")), 0);
}

TEST_F(DateParse, Validity) {
    struct Case {
        int value;
        bool valid;
    } cases[] = {
        {21000229, true},   {20240229, true}, {20230229, false}, {19000229, true},
        {20171131, false},  {20171130, true}, {20171301, false}, {20170001, false},
        {20170100, false},  {101, true},      {99991231, true},  {100000101, false},
        {-20170101, false}, {0, false},
    };
    for (const Case& c : cases) EXPECT_EQ(date_value_valid(c.value), c.valid) << c.value;
}

TEST_F(DateFormat, ModesInSpanishAndEnglish) {
    struct Case {
        const char* lang;
        u16 mode;
        const char* shown;
    } cases[] = {
        {"ES", DATE_STORED, "20170805"},           {"ES", DATE_SHORT, "05-08-17"},
        {"ES", DATE_FULL, "05-08-2017"},           {"ES", DATE_MONTH_YEAR, "Ago 2017"},
        {"ES", DATE_LONG, "05 de Agosto de 2017"}, {"ES", 5, ""},
        {"EN", DATE_STORED, "20170805"},           {"EN", DATE_SHORT, "08-05-17"},
        {"EN", DATE_FULL, "08-05-2017"},           {"EN", DATE_MONTH_YEAR, "Aug 2017"},
        {"EN", DATE_LONG, "August 05, 2017"},      {"EN", 127, ""},
    };
    for (const Case& c : cases) {
        vx::test::use_language(c.lang);
        TmpScope scope;
        EXPECT_EQ(text(date_format_value(20170805, c.mode)), c.shown) << c.lang << c.mode;
    }
}

TEST_F(DateFormat, SmallYearsAndInvalidDates) {
    vx::test::use_language("ES");
    TmpScope scope;
    EXPECT_EQ(text(date_format_value(50101, DATE_FULL)), "01-01-0005");
    EXPECT_EQ(text(date_format_value(20050101, DATE_SHORT)), "01-01-05");
    EXPECT_EQ(text(date_text(50101)), "00050101");
    for (u16 mode = 0; mode <= DATE_LONG; mode++) {
        EXPECT_EQ(text(date_format_value(20170231, mode)), "") << mode;
        EXPECT_EQ(text(date_format_value(0, mode)), "") << mode;
    }
}

TEST_F(DateFormat, ReadsItsTextFirst) {
    vx::test::use_language("ES");
    TmpScope scope;
    EXPECT_EQ(text(date_format(S("31/12/99"), DATE_FULL)), "31-12-1999");
    EXPECT_EQ(text(date_format(S("20170805"), DATE_SHORT)), "05-08-17");
    EXPECT_EQ(text(date_format(S(""), DATE_STORED)), today_text());
    EXPECT_EQ(text(date_format(S("nonsense"), DATE_STORED)), "");
    EXPECT_EQ(text(date_long_today()), text(date_format_value(date_today(), DATE_LONG)));
    EXPECT_EQ(text(date_long(20170805)), "05 de Agosto de 2017");
    EXPECT_EQ(text(date_long(4000000000u)), "");
}

TEST_F(DateFormat, DateOfAFilesLastChange) {
    vx::test::ScratchDir dir("dates");
    dir.enter();
    std::FILE* f = std::fopen("Stamp.txt", "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    TmpScope scope;
    EXPECT_EQ(text(date_format(S("Stamp.txt"), DATE_OF_FILE | DATE_STORED)), today_text());
    EXPECT_EQ(text(date_format(S("STAMP.TXT"), DATE_OF_FILE | DATE_STORED)), today_text());
    EXPECT_EQ(text(date_format(S("missing.txt"), DATE_OF_FILE | DATE_SHORT)), "");
    EXPECT_EQ(text(date_format(S(""), DATE_OF_FILE)), "");
}

TEST_F(DateCalc, PartsOfADate) {
    EXPECT_EQ(date_part(20170805, PART_DAY), 5);
    EXPECT_EQ(date_part(20170805, PART_MONTH), 8);
    EXPECT_EQ(date_part(20170805, PART_YEAR), 2017);
    EXPECT_EQ(date_part(20170805, PART_WHOLE), 20170805);
    EXPECT_EQ(date_part(20170805, 3), 0);
    EXPECT_EQ(date_part(20170230, PART_DAY), 0);
}

TEST_F(DateCalc, AddsDaysMonthsAndYears) {
    struct Case {
        int date;
        u16 part;
        int count;
        int result;
    } cases[] = {
        {20170131, PART_MONTH, 1, 20170228},
        {20160131, PART_MONTH, 1, 20160229},
        {20171231, PART_MONTH, 1, 20180131},
        {20170331, PART_MONTH, -1, 20170228},
        {20170115, PART_MONTH, 12, 20180115},
        {20170115, PART_MONTH, -13, 20151215},
        {20171231, PART_DAY, 1, 20180101},
        {20160228, PART_DAY, 1, 20160229},
        {21000228, PART_DAY, 1, 21000229},
        {20170101, PART_DAY, 365, 20180101},
        {20170101, PART_DAY, -1, 20161231},
        {20170101, PART_WHOLE, 31, 20170201},
        {20160229, PART_YEAR, 1, 20170228},
        {20160229, PART_YEAR, 4, 20200229},
        {101, PART_DAY, -1, 0},
        {99991231, PART_YEAR, 1, 0},
        {99991231, PART_DAY, 1, 0},
        {20170115, PART_MONTH, -24205, 0},
        {20170230, PART_DAY, 1, 0},
        {20170101, 3, 1, 0},
        {20170101, PART_DAY, 2000000000, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(date_add(c.date, c.part, c.count), c.result)
            << c.date << " " << c.part << " " << c.count;
}

TEST_F(DateCalc, DifferencesInDaysMonthsAndYears) {
    struct Case {
        int date;
        int other;
        u16 part;
        int result;
    } cases[] = {
        {20180101, 20170101, PART_DAY, 365},  {20210101, 20200101, PART_DAY, 366},
        {20170101, 20170111, PART_DAY, -10},  {21000301, 21000228, PART_DAY, 2},
        {20170301, 20161231, PART_MONTH, 3},  {20170101, 20161231, PART_YEAR, 1},
        {20161231, 20170301, PART_MONTH, -3}, {20170805, 20170805, PART_WHOLE, 0},
        {20170230, 20170101, PART_DAY, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(date_diff(c.date, c.other, c.part), c.result) << c.date << " " << c.other;
}

TEST_F(DateCalc, SecondArgumentIsACountOrADate) {
    EXPECT_EQ(date_calc(20170131, PART_MONTH, 1), 20170228);
    EXPECT_EQ(date_calc(20170131, PART_DAY, 10000), date_add(20170131, PART_DAY, 10000));
    EXPECT_EQ(date_calc(20170301, PART_DAY, 20170201), 28);
    EXPECT_EQ(date_calc(20170301, PART_DAY, -5), 20170224);
}

TEST_F(DateField, SixCharacterDatesWidenAndNarrow) {
    struct Case {
        const char* six;
        const char* eight;
    } cases[] = {
        {"991231", "19991231"}, {"A51231", "20051231"}, {"J91231", "20991231"},
        {"9 1231", "19901231"}, {" 51231", "   51231"}, {"K51231", "K51231"},
        {"12345", "12345"},
    };
    for (const Case& c : cases) {
        TmpScope scope;
        EXPECT_EQ(text(date_widen6(str_from_cstr(c.six))), c.eight) << c.six;
    }
    TmpScope scope;
    EXPECT_EQ(text(date_narrow6(S("20051231"), true)), "A51231");
    EXPECT_EQ(text(date_narrow6(S("19991231"), true)), "991231");
    EXPECT_EQ(text(date_narrow6(S("20051231"), false)), "051231");
    EXPECT_EQ(text(date_narrow6(S("2005123"), true)), "2005123");
}
