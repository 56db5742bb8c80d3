// Built-in functions on numbers, dates and times, and those that evaluate raw arguments:
// the accumulator array, FN#VALN, FN#ACUM, CHK# and CHK$, FN$DATE, TIME$, SQLCHILD and
// FN$FLDS.
#include <gtest/gtest.h>

#include <fstream>
#include <initializer_list>
#include <regex>
#include <vector>

#include "expr/dates.h"
#include "expr/fieldref.h"
#include "expr/structs.h"
#include "runtime/loop.h"
#include "runtime/store.h"
#include "runtime/sysvars.h"
#include "test_funcs_support.h"

using namespace vx::rt;
using namespace vx::expr;
using vx::test::eval;
using vx::test::expect_all;

namespace {

class FnNumber : public vx::test::FnTest {};
class FnDate : public vx::test::FnTest {};
class FnTime : public vx::test::FnTest {};
class FnRaw : public vx::test::FnTest {};

// 13:04:05.067
i64 fixed_clock() {
    return ((13 * 60 + 4) * 60 + 5) * 1000 + 67;
}

void set_accumulator(std::initializer_list<i64> subs, const char* value) {
    std::vector<i64> v(subs);
    ASSERT_EQ(array_assign(S("_#"), v.data(), u16(v.size()), vx::test::num(value)), 0);
}

TEST_F(FnNumber, Accumulators) {
    EXPECT_EQ(eval("_#(3)"), "0.00");  // no array yet: 0, and none is made
    EXPECT_EQ(eval("_#(0)"), "0.00");
    ArrayInfo info;
    EXPECT_NE(array_info(S("_#"), &info), 0);
    u16 dims[] = {9};
    ASSERT_EQ(array_declare(S("_#"), ARRAY_NUM, dims, 1, 0), 0);
    set_accumulator({0}, "10");
    set_accumulator({1}, "11");
    set_accumulator({2}, "5");
    set_accumulator({3}, "7");
    set_accumulator({9}, "1");
    expect_all({
        {"_ACUMX$='SALES,COST,TAX'", "'SALES,COST,TAX'"},
        {"_#(2)", "5.00"},
        {"_#(1;2)", "7.00"},  // index x + second
        {"_#(2.5)", "7.00"},
        {"_#('SALES')", "10.00"},  // position in _ACUMX$ less one
        {"_#('COST')", "11.00"},
        {"_#('TAX';1)", "7.00"},
        {"_#('NONE')", "0.00"},
        {"_#('DIM';3)", "7.00"},
        {"_#(10)", "<168>"},
        {"_#(-1)", "<168>"},
        {"_#('CLS';3;2)", "0.00"},  // index 2 up to, not including, 3
        {"_#(2)+_#(3)", "7.00"},
        {"_#('CLS')", "0.00"},  // everything
        {"_#(0)+_#(3)+_#(9)", "0.00"},
    });
}

TEST_F(FnNumber, AccumulatorIndexesCrossDimensions) {
    u16 dims[] = {1, 2};  // 2 x 3 elements, row-major
    ASSERT_EQ(array_declare(S("_#"), ARRAY_NUM, dims, 2, 0), 0);
    set_accumulator({1, 2}, "8");
    EXPECT_EQ(eval("_#(5)"), "8.00");
    EXPECT_EQ(eval("_#('CLS';5);_#(5)"), "8.00");
    EXPECT_EQ(eval("_#('CLS';6;5);_#(5)"), "0.00");
}

TEST_F(FnNumber, ReadingNumbersAndDates) {
    expect_all({
        {"FN#VALN('12.345')", "12.35"},
        {"FN#VALN('  -3.5xyz')", "-3.50"},
        {"FN#VALN('abc')", "0.00"},
        {"FN#VALN(7.25)", "7.25"},
        {"FN#VALN('20170805';'D')", "5.00"},
        {"FN#VALN('20170805';'M')", "8.00"},
        {"FN#VALN('20170805';'Y')", "2017.00"},
        {"FN#VALN('20170805';'V')", "20170805.00"},
        {"FN#VALN(20170805;'y')", "2017.00"},
        {"FN#VALN('20170131';'M';1)", "20170228.00"},
        {"FN#VALN('20170131';'D';1)", "20170201.00"},
        {"FN#VALN('20170131';'Y';-1)", "20160131.00"},
        {"FN#VALN('20170301';'D';'20170201')", "28.00"},
        {"FN#VALN('20170301';'M';20160101)", "14.00"},
        {"FN#VALN('x';'Q')", "<147>"},
        {"FN#VALN('x';'DM')", "<147>"},
        {"FN#VALN('x';3)", "<128>"},
    });
    vx::test::use_language("ES");
    expect_all({
        {"FN#VALN('1234,5')", "1234.50"},
        {"FN#VALN('05/08/17';'M')", "8.00"},  // day first in Spanish
    });
}

TEST_F(FnNumber, Sums) {
    expect_all({
        {"FN#ACUM(I;I;1;4)", "10.00"},
        {"FN#ACUM((I*2);(I);(1);(3))", "12.00"},  // items may be bracketed
        {"I", "4.00"},                            // the counter passed the limit
        {"FN#ACUM(1;I;5;4)", "0.00"},
        {"FN#ACUM(I;X#;1;4)", "<147>"},  // the counter must be an integer variable
        {"FN#ACUM(I;X$;1;4)", "<147>"},
        {"FN#ACUM(I;I;1;'4')", "<128>"},
        {"FN#ACUM(I;I;1;40000)", "<168>"},
        {"FN#ACUM('2.5';I;1;2)", "5.00"},          // a string read as a number
        {"N=0;FN#ACUM(N;(N=N+1)<=3)", "6.00"},     // one condition, evaluated again
        {"N=0;FN#ACUM(N;N<3;(N=N+1)<3)", "3.00"},  // first and next conditions
        {"FN#ACUM(5;0)", "0.00"},
        {"FN#ACUM(5;)", "0.00"},  // an empty condition does not hold
        {"FN#ACUM(5;1+'a')", "<128>"},
        {"N=0;FN#ACUM(1+'a';(N=N+1)<3)", "<128>"},
    });
    // The counter stops at its largest value instead of wrapping round.
    EXPECT_EQ(eval("FN#ACUM(1;I;32766;32767)"), "2.00");
}

namespace {
int acum_polls = 0;
bool cancel_after_100() { return ++acum_polls > 100; }
}  // namespace

// A sum whose condition always holds runs until the user cancels, as a procedure's loop does.
TEST_F(FnNumber, SumThatNeverEndsCanBeCancelled) {
    acum_polls = 0;
    loop_cancel_set(cancel_after_100);
    EXPECT_EQ(eval("A#=FN#ACUM(1;1)"), "<122>");
    EXPECT_EQ(acum_polls, 101);
    acum_polls = 0;
    EXPECT_EQ(eval("FN#ACUM(I;I;1;30000)"), "<122>") << "a counted sum is cancelled too";
    loop_cancel_set(nullptr);
    loop_budget_set(50);
    EXPECT_EQ(eval("N=0;FN#ACUM(1;(N=N+1)>0)"), "<122>");
    EXPECT_EQ(eval("N"), "50.00");
    loop_budget_set(0);
    EXPECT_EQ(eval("N=0;FN#ACUM(1;(N=N+1)<=2000)"), "2000.00");
}

TEST_F(FnNumber, Choices) {
    expect_all({
        {"CHK#(0;A=1;5)", "5.00"},
        {"A", "0.00"},  // the branch not taken is not evaluated
        {"CHK#(1;5;A=1)", "5.00"},
        {"A", "0.00"},
        {"CHK#(1;'x')", "<125>"},
        {"CHK#(0;'x')", "0.00"},    // b absent
        {"CHK#(0.4;1;2)", "2.00"},  // the condition rounded to a whole number
        {"CHK#(0.5;1;2)", "1.00"},
        {"CHK#('1';1;2)", "<128>"},
        {"CHK$(1;'yes';'no')", "'yes'"},
        {"CHK$(0;'yes';'no')", "'no'"},
        {"CHK$(0;'yes')", "''"},
        {"CHK$(1;;'no')", "''"},  // an empty a
        {"CHK$(1;5)", "''"},      // 125 on a string becomes the empty string
        {"X$=CHK$(1;5)", "''"},
        {"CHK#(1;1+'a';2)", "<128>"},
        {"CHK#(1;CHK#(0;1;CHK#(1;7)))", "7.00"},
    });
}

TEST_F(FnNumber, NestedDataContexts) {
    sysint_set(SV_CURROW, 5);
    sysint_set(SV_IER, 3);
    EXPECT_EQ(eval("SQLCHILD(A=_SQLSTK;B=_CURROW;_IER=9)"), "0.00");
    expect_all(
        {{"A", "1.00"}, {"B", "0.00"}, {"_SQLSTK", "0.00"}, {"_CURROW", "5.00"}, {"_IER", "3.00"}});
    EXPECT_EQ(eval("SQLCHILD()"), "0.00");
    EXPECT_EQ(eval("SQLCHILD(1+'a')"), "<128>");
    EXPECT_EQ(eval("_SQLSTK"), "0.00");  // restored after the error too
    EXPECT_EQ(
        eval("SQLCHILD(SQLCHILD(SQLCHILD(SQLCHILD(SQLCHILD(SQLCHILD(SQLCHILD(D=_SQLSTK)))))))"),
        "0.00");
    EXPECT_EQ(eval("D"), "7.00");
    EXPECT_EQ(
        eval("SQLCHILD(SQLCHILD(SQLCHILD(SQLCHILD(SQLCHILD(SQLCHILD(SQLCHILD(SQLCHILD(1))))))))"),
        "<159>");
    EXPECT_EQ(eval("_SQLSTK"), "0.00");
}

TEST_F(FnDate, ModesInSpanish) {
    vx::test::use_language("ES");
    expect_all({
        {"FN$DATE('20170805')", "'20170805'"},
        {"FN$DATE('20170805';0)", "'20170805'"},
        {"FN$DATE('20170805';1)", "'05-08-17'"},
        {"FN$DATE('20170805';2)", "'05-08-2017'"},
        {"FN$DATE('20170805';3)", "'Ago 2017'"},
        {"FN$DATE('20170805';4)", "'05 de Agosto de 2017'"},
        {"FN$DATE(20170805;4)", "'05 de Agosto de 2017'"},
        {"FN$DATE('05/08/2017';2)", "'05-08-2017'"},  // a text with a separator is parsed first
        {"FN$DATE('31.12.99';0)", "'19991231'"},
        {"FN$DATE('20170805';5)", "''"},
        {"FN$DATE('20170230';2)", "''"},
        {"FN$DATE('20170805';256)", "<168>"},
        {"FN$DATE(20170805;128)", "<128>"},
    });
    EXPECT_EQ(eval("FN$DATE()"), "'" + vx::test::text(date_text(date_today())) + "'");
    EXPECT_EQ(eval("FN$DATE('';2)"),
              "'" + vx::test::text(date_format_value(date_today(), 2)) + "'");
}

TEST_F(FnDate, OfAFile) {
    vx::test::use_language("ES");
    std::ofstream("dated.txt") << "x";
    EXPECT_EQ(eval("FN$DATE('dated.txt';128)"),
              "'" + vx::test::text(date_text(date_today())) + "'");
    EXPECT_EQ(eval("FN$DATE('DATED.TXT';129)").size(), 10u);  // found without regard to case
    EXPECT_EQ(eval("FN$DATE('missing.txt';128)"), "''");
}

TEST_F(FnTime, Formats) {
    fn_clock_set(fixed_clock);
    expect_all({
        {"TIME$()", "'1304'"},
        {"TIME$('';1)", "'13:04'"},
        {"TIME$('';2)", "'130405'"},
        {"TIME$('';3)", "'13:04:05'"},
        {"TIME$('';7)", "'13:04:05.067'"},
        {"TIME$('';4)", "'130405067'"},
        {"TIME$('';5)", "'13:04:05.067'"},
        {"TIME$('9:5:7';3)", "'09:05:07'"},
        {"TIME$('90';3)", "'00:01:30'"},    // one item: seconds
        {"TIME$('2:30';3)", "'00:02:30'"},  // two: minutes and seconds
        {"TIME$('1:2:3.5';7)", "'01:02:03.500'"},
        {"TIME$('1:2:3.25';7)", "'01:02:03.250'"},
        {"TIME$('0:0:1.123';7)", "'00:00:01.123'"},
        {"TIME$('25:00:00';1)", "'01:00'"},  // within one day
        {"TIME$('1:2:3:4')", "<147>"},
        {"TIME$('1:x')", "<147>"},
        {"TIME$('1.2345';7)", "<147>"},
        {"TIME$(12)", "<128>"},
        {"TIME$('';256)", "<168>"},
    });
    fn_clock_set(nullptr);
    EXPECT_TRUE(std::regex_match(
        eval("TIME$('';7)"), std::regex("'([01][0-9]|2[0-3]):[0-5][0-9]:[0-5][0-9]\\.[0-9]{3}'")));
}

TEST_F(FnTime, OfAFile) {
    std::ofstream("timed.txt") << "x";
    EXPECT_TRUE(std::regex_match(eval("TIME$('timed.txt';131)"),
                                 std::regex("'[0-2][0-9]:[0-5][0-9]:[0-5][0-9]'")));
    EXPECT_EQ(eval("TIME$('missing.txt';128)"), "<164>");
    EXPECT_NE(vx::test::text(error_detail()).find("missing.txt"), std::string::npos);
}

class FnFields : public vx::test::FnTest {
protected:
    void SetUp() override {
        FnTest::SetUp();
        ASSERT_EQ(struct_define(1, S("sales"), S("data")), 0);
        ASSERT_EQ(struct_add_field(S("CODE"), 5, 'A'), 0);
        ASSERT_EQ(struct_add_field(S("AMOUNT"), 10, '2'), 0);
        ASSERT_EQ(struct_add_field(S("DAY"), 8, 'D'), 0);
        ASSERT_EQ(store_set(RECORD_LIST, 0, S("AB1  1234567.5020170805")), 0);
    }
};

TEST_F(FnFields, FieldsVariablesAndValues) {
    vx::test::use_language("ES");
    expect_all({
        {"FN$FLDS(CODE{sales})", "'AB1  '"},
        {"FN$FLDS(CODE{sales};2)", "'AB1'"},
        {"FN$FLDS(AMOUNT{sales};0)", "'1234567.50'"},
        {"FN$FLDS(DAY{sales})", "'05-08-17'"},
        {"FN$FLDS(DAY{1};0)", "'20170805'"},
        {"FN$FLDS('CODE{sales}';2)", "'AB1'"},  // a name in quotes
        {"N#=2.5;FN$FLDS('N#')", "'2.50'"},
        {"FN$FLDS(N#*2)", "'5.00'"},
        {"S$=' x ';FN$FLDS(S$;2)", "'x'"},
        {"FN$FLDS(NONE{sales})", "<168>"},
        {"FN$FLDS(CODE{sales};3)", "<147>"},
        {"FN$FLDS(CODE{sales};'1')", "<128>"},
    });
}

}  // namespace
