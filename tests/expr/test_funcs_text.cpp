// Built-in functions on texts and lists, on the storage lists and the environment, and on
// sorting: tables of calls and their results.
#include <gtest/gtest.h>

#include "runtime/env.h"
#include "test_funcs_support.h"

using namespace vx::rt;
using namespace vx::expr;
using vx::test::eval;
using vx::test::expect_all;

namespace {

class FnText : public vx::test::FnTest {};
class FnStore : public vx::test::FnTest {};
class FnSort : public vx::test::FnTest {};

TEST_F(FnText, Trim) {
    expect_all({
        {"FN$TRIM('  ab  ')", "'ab'"},
        {"FN$TRIM(' \tab\t ';'LEFTTRIM')", "'ab\t '"},
        {"FN$TRIM('  ab  ';'RIGHTRIM')", "'  ab'"},
        {"FN$TRIM('ab';'FIT')", "'AB'"},  // nothing removed: upper case
        {"FN$TRIM(' ab ';'FIT')", "'ab'"},
        {"FN$TRIM(\"'ab'\";'FIT')", "'ab'"},  // one pair of quotes
        {"FN$TRIM('\"ab\"';'FIT')", "'ab'"},
        {"FN$TRIM(\"'ab\"+'\"';'FIT')", "''AB\"'"},  // different quotes are kept
        {"FN$TRIM(\"'\";'FIT')", "'''"},             // one quote is no pair
        {"FN$TRIM('x';'MIDTRIM')", "<147>"},
        {"FN$TRIM('x';'fit')", "<147>"},
        {"FN$TRIM('x';1)", "<128>"},
        {"FN$TRIM(2+3*4)", "'14.00'"},
    });
}

TEST_F(FnText, Pieces) {
    expect_all({
        {"FN$MIDS('ABCDEF';2;3)", "'BCD'"},
        {"FN$MIDS('ABCDEF';-2)", "'EF'"},
        {"FN$MIDS('ABCDEF';-9;2)", "'AB'"},
        {"FN$MIDS('ABCDEF';5;10)", "'EF'"},
        {"FN$MIDS('ABCDEF';7)", "''"},
        {"FN$MIDS('ABCDEF';0;2)", "'AB'"},
        {"FN$MIDS('ABCDEF';2;0)", "''"},
        {"FN$MIDS('';1)", "''"},
        {"FN$PARM('A,B,C';2)", "'B'"},
        {"FN$PARM('A,B,C')", "'C'"},
        {"FN$PARM('A,B,C';-3)", "'A'"},
        {"FN$PARM('A,B,C';4)", "''"},
        {"FN$PARM('A,B,C';0)", "''"},
        {"FN$PARM('A;B;C';2;59)", "'B'"},
        {"FN$PARM(\"'x,y',z\";1)", "''x,y''"},  // quoted items keep their commas
        {"FN$PARM('A,B';1;256)", "<168>"},
        {"FN#SLEN('abc')", "3.00"},
        {"FN#SLEN('')", "0.00"},
        {"FN#SLEN(FN$CHRS('x';1000))", "1000.00"},
    });
}

TEST_F(FnText, Characters) {
    expect_all({
        {"FN$CHRS(65;3)", "'AAA'"},
        {"FN$CHRS(65)", "'A'"},
        {"FN$CHRS('ab';3)", "'ababab'"},
        {"FN$CHRS('ab';0)", "''"},
        {"FN$CHRS('ab';-2)", "''"},
        {"FN$CHRS(256)", "<168>"},
        {"FN$CHRS(-1)", "<168>"},
        {"FN$CHRS('ab';40000)", "<146>"},
        {"FN$CHRS('a';65536)", "<168>"},
        {"ENVELOP$('abc';'(')", "'(abc)'"},
        {"ENVELOP$('abc')", "''abc''"},
        {"ENVELOP$('abc';'[')", "'[abc]'"},
        {"ENVELOP$('abc';'<')", "'<abc>'"},
        {"ENVELOP$('abc';')')", "')abc)'"},  // a closing bracket is used again
        {"ENVELOP$('abc';'*')", "'*abc*'"},
    });
}

TEST_F(FnText, Change) {
    expect_all({
        {"FN$CHNG('aBc';'UCASE')", "'ABC'"},
        {"FN$CHNG('aBc';'LCASE')", "'abc'"},
        {"FN$CHNG('a  b   c';'CLEAN')", "'a b c'"},
        {"FN$CHNG('a  b';'CLEAN')", "'a b'"},
        {"FN$CHNG(\"a  'b  c'  d\";'CLEAN')", "'a 'b  c' d'"},
        {"FN$CHNG('a1b2';'FILTER';'12')", "'12'"},
        {"FN$CHNG('a1b2c3';'FILTER';'a1b2';'xy')", "'xyc3'"},  // groups of two
        {"FN$CHNG('abc';'FILTER';'abcd';'xyz')", "<147>"},
        {"FN$CHNG('banana';'an';'AN')", "'bANANa'"},
        {"FN$CHNG('banana';'a')", "'bnn'"},
        {"FN$CHNG(\"x 'x' x\";'x';'y')", "'y 'x' y'"},      // quoted runs skipped
        {"FN$CHNG(\"x 'x' x\";'x';'y';1)", "'y 'y' y'"},    // everywhere
        {"FN$CHNG(\"x 'x' x\";'x';'y';'1')", "'y 'x' y'"},  // a string option counts as 0
        {"FN$CHNG(\"it's\";\"'\";'')", "'its'"},            // a quote: everywhere
        {"FN$CHNG('abc';'';'x')", "'abc'"},
        {"FN$CHNG(5;'a')", "<128>"},
    });
}

TEST_F(FnText, ListPositions) {
    expect_all({
        {"FN#PARM('A,B,C')", "3.00"},
        {"FN#PARM('')", "0.00"},
        {"FN#PARM('A,B,C';'B')", "2.00"},
        {"FN#PARM('A,B,C';'D')", "0.00"},
        {"FN#PARM('A,B,C';'B';'10,20,30')", "20.00"},
        {"FN#PARM('A,B,C';'C';'10,20')", "0.00"},
        {"FN#PARM('A,B,C';'X';'10,20,30')", "0.00"},
        {"FN#PARM('1-10,11-20';15;0)", "2.00"},
        {"FN#PARM('1-10,11-20';'5';0)", "1.00"},
        {"FN#PARM('1-10,15,16-20';15;0)", "2.00"},
        {"FN#PARM('1-10,11-20';25;0)", "0.00"},
        {"FN#PARM('5,10,20';10)", "2.00"},  // a numeric key matches its number
        {"FN#PARM('5,10.00,20';10)", "2.00"},
        {"FN#PARM('a,10x,10';10)", "3.00"},
        {"FN#PARM(3)", "<128>"},
    });
}

TEST_F(FnText, Masks) {
    expect_all({
        {"FN$MASK('###,###.##';1234.5)", "'  1,234.50'"},
        {"FN$MASK('###,###.##';'1234.5')", "'  1,234.50'"},
        {"FN$MASK('\\-\\';'ab')", "'a-b'"},
        {"FN$MASK(5;'a')", "<128>"},
        {"FN$MASK('#';1;70000)", "<168>"},
    });
    vx::test::use_language("ES");
    EXPECT_EQ(eval("FN$MASK('###,###.##';1234.5)"), "'  1.234,50'");
}

TEST_F(FnText, Templates) {
    expect_all({
        {"EXP$('$1_ and $2_';A#+1;'x y')", "'A#+1 and 'x y''"},
        {"EXP$('$1_$1_';7)", "'77'"},
        {"EXP$('$10_$1_';a;b;c;d;e;f;g;h;i;j)", "'ja'"},
        {"EXP$('none')", "'none'"},
        {"EXP$('$2_';1)", "'$2_'"},
        {"EXP$(5;1)", "<128>"},
    });
    // The arguments are not evaluated.
    EXPECT_EQ(eval("EXP$('$1_';N=9)"), "'N=9'");
    EXPECT_EQ(eval("N"), "0.00");
}

TEST_F(FnText, Macros) {
    expect_all({
        {"A#=3;MACRO$('Total: [A#*2]')", "'Total: 6.00'"},
        {"MACRO$('[50%] and [ 1+1 ]')", "'50% and 2.00'"},
        {"MACRO$('[A#*2]';8)", "6.00"},  // expanded, then evaluated
        {"MACRO$('[A#]+1';8)", "4.00"},
        {"MACRO$(\"'[A#]'\";8)", "'[A#]'"},  // quoted brackets stay
        {"MACRO$(\"'[A#]'\";9)", "'3.00'"},
        {"MACRO$('x[1+]')", "<147>"},
        {"MACRO$('[NAME] is [AGE]';4;'NAME=Ana:AGE=30')", "'Ana is 30'"},
        {"MACRO$('a[]b')", "'a0b'"},
        {"MACRO$('a[]b';4;'NAME=Ana')", "'ab'"},           // options 1, 4 and 16: empty, not 0
        {"MACRO$(\"'[NAME]'\";4;'NAME=Ana')", "''Ana''"},  // brackets inside quotes too
        {"MACRO$('[NAME]';12;'NAME=2*3')", "6.00"},
        {"A$=' x ';MACRO$('[A$]')", "'x'"},
        {"MACRO$('[A$]';2)", "' x '"},
        {"MACRO$('[X]';4;5)", "<128>"},
    });
}

TEST_F(FnStore, Environment) {
    ASSERT_EQ(env_set(ENV_CMDLINE, S("prog /APNAME=abc /INPUT='lines.txt'")), 0);
    ASSERT_EQ(env_set(ENV_DOCS, S("/docs")), 0);
    expect_all({
        {"ENVRON$('APNAME')", "'abc'"},
        {"ENVRON$('INPUT';1)", "'lines.txt'"},
        {"ENVRON$('NONE')", "''"},
        {"ENVRON$('';6)", "'/docs'"},
        {"ENVRON$('';.docpath+1)", "'/docs'"},
        {"ENVRON$('x';3000)", "''"},
        {"ENVRON$('x';-1)", "''"},
    });
}

TEST_F(FnStore, SlotsAndStacks) {
    expect_all({
        {"_$(12;3;'three')", "'three'"},
        {"_$(12;3)", "'three'"},
        {"_$(12;2)", "''"},
        {"_$(12;0;5)", "'5.00'"},  // a number is stored as its text
        {"_$(12;-1)", "<147>"},
        {"_$(39;0)", "<168>"},
        {"_$(12;5000)", "<168>"},
        {"_$(32;0;'a');_$(32;0;'b')", "'b'"},  // stacks: pushed, the top read
        {"_$(32;0)", "'b'"},
        {"_$(32;-1)", "'b'"},  // popped: the entry taken
        {"_$(32;0)", "'a'"},
        {"_$(32;-3)", "'a'"},  // stops at the empty stack
        {"_$(32;-1)", "''"},
        {"_$(;;'r1');_$()", "'r1'"},  // area 30 by default
        {"_$(.envvar;.dialog;'1,2,3');FN$PARM(_$(.envvar;.dialog);2)", "'2'"},
        {"_$(.envron;.funclist;'x')", "<175>"},
    });
    EXPECT_EQ(eval("_ACCEPT$(3)"), "'3'");
    EXPECT_EQ(eval("_ACCEPT#(2)+1"), "3.00");
    EXPECT_EQ(eval("FN$TRIM('a')"), "'a'");  // the function list still works
}

TEST_F(FnSort, Texts) {
    expect_all({
        {"SORT$('';'pear,fig,apple')", "'apple,fig  ,pear '"},
        {"SORT$('';'pear,fig,apple';128)", "'apple,fig,pear'"},
        {"SORT$('';'b,a,b,c';129)", "'a,b,c'"},
        {"SORT$('';'b,a,c';130)", "'c,b,a'"},
        {"SORT$('';'';0)", "''"},
        {"SORT$('';'b,\"a,c\"')", "'\"a,c\",b    '"},  // quoted items whole
        {"SORT$(1;'a')", "<128>"},
    });
    EXPECT_EQ(eval("SORT$('';'b'+FN$CHRS(0)+'a';64+128)"), "'a" + std::string(1, '\0') + "b'");
}

TEST_F(FnSort, Buffer) {
    expect_all({
        {"SORT$('GET')", "<169>"},  // no buffer yet
        {"SORT$('NEW';4)", "0.00"},
        {"SORT$('ADD';'dd');SORT$('ADD';'bb');SORT$('ADD';'cc');SORT$('ADD';'aa')", "0.00"},
        {"SORT$('ADD';'toolong')", "<163>"},
        {"SORT$('GET')", "''"},  // before the first item
        {"SORT$('MOVE';'NXT')", "0.00"},
        {"SORT$('GET')", "'aa  '"},
        {"SORT$('MOVE';'bottom')", "0.00"},
        {"SORT$('GET')", "'dd  '"},
        {"SORT$('MOVE';'NEXT')", "2.00"},
        {"_IER", "2.00"},
        {"SORT$('GET')", "''"},
        {"SORT$('MOVE';'PRV')", "0.00"},
        {"SORT$('GET')", "'dd  '"},
        {"SORT$('MOVE';'TOP');SORT$('MOVE';'PRV')", "2.00"},
        {"SORT$('MOVE';'DEL')", "<147>"},
        {"SORT$('ADD';'bb';1)", "5.00"},  // an equal item refused
        {"SORT$('KILL')", "0.00"},
        {"SORT$('ADD';'x')", "<169>"},
    });
    // Descending, comparing the first two characters only.
    EXPECT_EQ(eval("SORT$('NEW';3;2;2);SORT$('ADD';'ab1');SORT$('ADD';'cd');SORT$('ADD';'ab2')"),
              "0.00");
    std::string got;
    for (int i = 0; i < 3; i++) got += eval("SORT$('MOVE';'NXT');SORT$('GET')") + "|";
    EXPECT_EQ(got, "'cd '|'ab1'|'ab2'|");
}

TEST_F(FnSort, DataFileSortsGoToTheDataLayer) {
    EXPECT_EQ(eval("SORT$('clientes';1)"), "<148>");
    EXPECT_NE(vx::test::text(error_detail()).find("SORT$"), std::string::npos);
}

}  // namespace
