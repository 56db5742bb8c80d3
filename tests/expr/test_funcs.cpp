// The call of built-in functions: the dispatch table against the function list, argument
// counts and types, empty arguments, the parameter stack (typed entries, and its depth
// after calls that succeed or fail at any depth), and the arena after calls.
#include <gtest/gtest.h>

#include "expr/funcs.h"
#include "expr/funcs_impl.h"
#include "runtime/files.h"
#include "test_funcs_support.h"

using namespace vx::rt;
using namespace vx::expr;
using vx::test::eval;
using vx::test::Expect;
using vx::test::expect_all;
using vx::test::text;

namespace {

class FnCall : public vx::test::FnTest {};

TEST_F(FnCall, TableFollowsTheFunctionList) {
    for (u16 k = 1; k <= FUNCTION_COUNT; k++) EXPECT_EQ(text(fn_name(k)), fn::table_name(k)) << k;
}

TEST_F(FnCall, ArgumentCountsOutsideTheRangeFail) {
    expect_all({
        {"_#()", "<147>"},
        {"_#(1;2;3;4)", "<147>"},
        {"FN#FLEN('a';'b')", "<147>"},
        {"FN#SLEN()", "<147>"},
        {"FN#SLEN('a';'b')", "<147>"},
        {"FN#PARM('a';'b';'c';'d')", "<147>"},
        {"FN#VALN()", "<147>"},
        {"FN#ACUM(1)", "<147>"},
        {"FN#ACUM(1;2;3;4;5)", "<147>"},
        {"FILEREL(1;2)", "<147>"},
        {"FILELOCATE()", "<147>"},
        {"FILESEL('a';1;2)", "<147>"},
        {"FN$CHNG('a')", "<147>"},
        {"FN$CHRS(1;2;3)", "<147>"},
        {"FN$DATE('';0;1)", "<147>"},
        {"FN$MASK('#')", "<147>"},
        {"FN$MIDS('a')", "<147>"},
        {"FN$MIDS('a';1;2;3)", "<147>"},
        {"FN$TRIM()", "<147>"},
        {"ENVELOP$('a';'b';'c')", "<147>"},
        {"EXEC$()", "<147>"},
        {"READ$('a';1;2;3)", "<147>"},
        {"WRITE('a';1)", "<147>"},
        {"MACRO$()", "<147>"},
        {"ENVRON$('a';1;2)", "<147>"},
        {"_$(1;2;3;4)", "<147>"},
        {"KEY$(1;2;3;4;5)", "<147>"},
        {"TIME$('';0;1)", "<147>"},
        {"IER(1;2)", "<147>"},
        {"EXP$()", "<147>"},
    });
}

TEST_F(FnCall, ArgumentTypes) {
    expect_all({
        {"FN#SLEN(12)", "<128>"},         // a number where a string is required
        {"FN$MIDS('abc';'2')", "<128>"},  // a string where a whole number is required
        {"FN$CHRS(65;'3')", "<128>"},
        {"ENVELOP$(5)", "<128>"},
        {"FN$TRIM(12.5)", "'12.50'"},          // either, with _PRECIS decimals
        {"FN$MIDS('abcdef';2.5;1.4)", "'c'"},  // whole numbers rounded half away from zero
        {"FN$MIDS('abcdef';-1.5)", "'ef'"},
    });
    EXPECT_EQ(eval("_PRECIS=3;FN$TRIM(1/8)"), "'0.125'");
}

TEST_F(FnCall, EmptyArgumentsTakeTheirDefaults) {
    expect_all({
        {"FN$MIDS('abcdef';2;)", "'bcdef'"},
        {"FN$PARM('a,b,c';;)", "'c'"},
        {"FN$CHRS('x';)", "'x'"},
        {"FN$TRIM(;'LEFTTRIM')", "''"},
        {"FN$CHRS(65; )", "'A'"},
    });
}

TEST_F(FnCall, ArgumentsSplitOutsideQuotesAndBrackets) {
    expect_all({
        {"FN$MIDS('a;b,c';2;FN#SLEN('x,y'))", "';b,'"},
        {"FN$PARM(FN$MIDS('p,q,r';1);2)", "'q'"},
        {"FN$TRIM(\"a;b\")", "'a;b'"},
        {"FN#SLEN((1+2;'abcd'))", "4.00"},
    });
}

TEST_F(FnCall, ArgumentErrorsEndTheCall) {
    expect_all({
        {"FN$TRIM(1+'a')", "<128>"},
        {"FN$MIDS('abc';(1+))", "<147>"},
        {"FN$MIDS(X$=5;1)", "<128>"},
    });
    // Nothing after the failing argument is evaluated.
    EXPECT_EQ(eval("FN$MIDS(1+'a';N=7)"), "<128>");
    EXPECT_EQ(eval("N"), "0.00");
}

TEST_F(FnCall, ArgumentsArePushedWithTheirTypes) {
    // _$ on the parameter stack sees the stack as its caller does: the arguments of the
    // enclosing call that are evaluated so far.
    EXPECT_EQ(eval("FN$MIDS('abc';FN#SLEN(_$(.fnparm;0)))"), "'c'");
    EXPECT_EQ(eval("FN$MIDS('abcdef';2.5;FN#SLEN(_$(.fnparm;0)))"), "'cdef'");  // "2.50"
    EXPECT_EQ(stack_depth(), 0);
    ASSERT_EQ(param_push(val_num(1250)), 0);
    ASSERT_EQ(param_push(val_str(S("txt"))), 0);
    Value v;
    TmpScope scope;
    ASSERT_EQ(param_read(0, v), 0);
    EXPECT_FALSE(v.is_str);
    EXPECT_EQ(v.num, 1250);
    ASSERT_EQ(param_read(1, v), 0);
    EXPECT_EQ(text(v.str), "txt");
    EXPECT_EQ(param_read(2, v), E_DATAOUTBOUND);
    EXPECT_EQ(eval("_$(.fnparm;0)"), "'txt'");
    EXPECT_EQ(eval("_$(.fnparm;-1)+_$(.fnparm;0)"), "'txt12.50'");  // popped, then the new top
    EXPECT_EQ(stack_depth(), 1);
    param_cut(0);
}

TEST_F(FnCall, LongArgumentsPassEvenWhenTheStoreCannotHoldThem) {
    EXPECT_EQ(eval("FN#SLEN(FN$CHRS('x';62000))"), "62000.00");
    EXPECT_EQ(eval("FN$MIDS(FN$CHRS('x';40000)+'yz';-2)"), "'yz'");
    EXPECT_EQ(error_code(), 0);
    EXPECT_EQ(stack_depth(), 0);
}

TEST_F(FnCall, StackDepthIsKeptWhateverTheOutcome) {
    ASSERT_EQ(param_push(val_str(S("caller's"))), 0);
    const char* texts[] = {
        "FN$TRIM('  a  ')",
        "FN$TRIM('x';'MIDTRIM')",
        "FN$MIDS('abc';FN$TRIM(FN$CHRS(65;'x')))",
        "FN$PARM(FN$MIDS('a,b';FN#SLEN(FN$TRIM(1+'z')));1)",
        "CHK#(1;FN$MIDS(FN$TRIM('a';'BAD');1))",
        "FN#ACUM(FN$TRIM(I);I;1;3)",
        "FN#ACUM(FN#SLEN(I);I;1;3)",
        "SQLCHILD(FN$TRIM(1);FN#SLEN(2))",
        "MACRO$('[FN#SLEN(1)]')",
    };
    for (const char* t : texts) {
        eval(t);
        EXPECT_EQ(stack_depth(), 1) << t;
    }
    EXPECT_EQ(eval("_$(.fnparm;0)"), "'caller's'");
    param_cut(0);
}

TEST_F(FnCall, PushingAndPoppingTheParameterStackStays) {
    EXPECT_EQ(eval("_$(.fnparm;0;'a');_$(.fnparm;0;7)"), "'7.00'");
    EXPECT_EQ(stack_depth(), 2);
    EXPECT_EQ(eval("_$(.fnparm;-5)"), "'a'");  // stops at the empty stack
    EXPECT_EQ(stack_depth(), 0);
}

TEST_F(FnCall, ArenaKeepsOnlyTheResult) {
    u16 mark = tmp_mark();
    const char* texts[] = {"FN$TRIM('  abc  ')", "FN$MIDS('abcdef';2;3)", "FN#SLEN('abc')",
                           "FN$TRIM('x';'BAD')", "FN#ACUM(I;I;1;10)",     "FN$CHNG('abc';'b';'x')"};
    for (const char* t : texts) {
        Value v;
        expr_eval(str_from_cstr(t), v);
        tmp_release(mark);
        EXPECT_EQ(tmp_mark(), mark) << t;
    }
    Value v;
    ASSERT_EQ(fn_call(fn_find(S("FN$TRIM")), S("'  ab  '"), v), 1);
    EXPECT_EQ(text(v.str), "ab");
    EXPECT_EQ(tmp_mark(), mark + 1);  // the result alone
    tmp_release(mark);
    EXPECT_EQ(fn_call(fn_find(S("FN$TRIM")), S("'a';'X'"), v), E_SYNTAX);
    EXPECT_EQ(tmp_mark(), mark);
}

TEST_F(FnCall, NamesAreCaseInsensitive) {
    expect_all(
        {{"fn$trim('  ab ')", "'ab'"}, {"Fn$Mids('abc';2)", "'bc'"}, {"chk#(1;2;3)", "2.00"}});
}

TEST_F(FnCall, DeepNestingFailsCleanly) {
    std::string t = "1";
    for (int i = 0; i < 200; i++) t = "FN$TRIM(" + t + ")";
    EXPECT_EQ(eval(t), "<180>");
    EXPECT_EQ(stack_depth(), 0);
}

}  // namespace
