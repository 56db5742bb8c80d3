// The scanner: operand flags, operators and separators, bracketed lists, and the preparing
// of texts (balance, blanks, macro forms).
#include <string>

#include "expr/scan.h"
#include "test_eval_support.h"

using namespace vx::rt;
using namespace vx::expr;
using namespace vx::test;

namespace {

using Scan = vx::test::EvalTest;

std::string prepared(const char* t) {
    Str out;
    u16 rc = text_prepare(str_from_cstr(t), &out);
    return rc ? "<" + std::to_string(rc) + ">" : text(out);
}

}  // namespace

TEST_F(Scan, OperandFlags) {
    struct Case {
        const char* text;
        u8 flags;
    } cases[] = {
        {"'a'+1", FL_STRING},           {"\"a\"", FL_STRING},        {"A$", FL_STRING | FL_VARIABLE},
        {"A#", 6},                      {"A$#", 3},                  {"A#'x'", FL_STRING},
        {"AMOUNT{sales}", FL_FIELD},    {"A", FL_VARIABLE},          {"_AUXSTAT", FL_VARIABLE},
        {"12.5", 0},                    {".5", 0},                   {".next", 0},
        {"(1+2)*3", FL_GROUP},          {"V#(M-1)", FL_LIST},        {"FN$TRIM(X$)", FL_FUNCTION},
        {"fn$mids(X$;1)", FL_FUNCTION}, {"_F(1)", FL_LIST},          {"", 0},
        {"\xE9X", FL_VARIABLE},
    };
    for (const auto& c : cases) EXPECT_EQ(scan_token(str_from_cstr(c.text), 0).flags, c.flags) << c.text;
}

TEST_F(Scan, OperatorsAndSeparators) {
    struct Case {
        const char* text;
        u8 op;
        char end;
        u16 next;
    } cases[] = {
        {"A*B", OP_MUL, 0, 2},          {"A\xF7" "B", OP_LESS_PERCENT, 0, 2}, {"A==B", OP_EQ, 0, 3},
        {"A=B", OP_ASSIGN, 0, 2},       {"A=-B", OP_ASSIGN, 0, 2},    {"A>=B", OP_GE, 0, 3},
        {"A<>B", OP_NE, 0, 3},          {"A&&B", OP_AND, 0, 3},       {"A||B", OP_OR, 0, 3},
        {"A@@B", OP_XOR, 0, 3},         {"A@B", OP_BITOR2, 0, 2},     {"A--B", OP_SUB, 0, 2},
        {"A=>B", OP_NONE, END_UNKNOWN, 3}, {"A!=B", OP_NONE, END_UNKNOWN, 3},
        {"A;B", OP_NONE, ';', 2},       {"A,B", OP_NONE, ',', 2},     {"A:B", OP_NONE, ':', 2},
        {"A)", OP_NONE, ')', 2},        {"A", OP_NONE, END_TEXT, 1},  {"'a;b'+1", OP_ADD, 0, 6},
    };
    for (const auto& c : cases) {
        Token t = scan_token(str_from_cstr(c.text), 0);
        EXPECT_EQ(t.op, c.op) << c.text;
        EXPECT_EQ(t.end, c.end) << c.text;
        EXPECT_EQ(t.next, c.next) << c.text;
    }
}

TEST_F(Scan, BracketedLists) {
    Token t = scan_token(S("FN$MIDS(A$;(1);')';2)+1"), 0);
    EXPECT_EQ(t.len, 7);
    EXPECT_EQ(t.list, 14);
    EXPECT_EQ(t.fn, 17);
    EXPECT_EQ(t.op, OP_ADD);
    t = scan_token(S("X+(A*(B+C))-1"), 2);
    EXPECT_EQ(t.flags, FL_GROUP);
    EXPECT_EQ(t.len, 0);
    EXPECT_EQ(t.list, 9);
    EXPECT_EQ(t.op, OP_SUB);
    EXPECT_EQ(scan_token(S("A(1)B+1"), 0).error, E_SYNTAX);
    EXPECT_EQ(scan_token(S("(1)B"), 0).error, E_SYNTAX);
    EXPECT_EQ(scan_token(S("A(1"), 0).error, E_LOOP);
    EXPECT_TRUE(scan_token(S("+1"), 0).empty());
    EXPECT_FALSE(scan_token(S("()"), 0).empty());
}

TEST_F(Scan, PreparingTexts) {
    struct Case {
        const char* text;
        const char* result;
    } cases[] = {
        {"A# = 5", "A#=5"},
        {"  A  +  'x  y'  ", "A+'x  y'"},
        {"FN$MIDS( A$ ; 1 )", "FN$MIDS(A$;1)"},
        {"A\t=\t1", "A=1"},
        {"A# 5", "<147>"},
        {"'A' 'B'", "<147>"},
        {"(1+2", "<129>"},
        {"1+2)", "<129>"},
        {"'('+1", "'('+1"},
        {"_ACCEPT$(X)", "FN$TRIM(FN$PARM(_$(.envvar;.dialog);X);'FIT')"},
        {"_ACCEPT#(3)+1", "FN#VALN(FN$TRIM(FN$PARM(_$(.envvar;.dialog);3);'FIT'))+1"},
        {"_ACCEPT$(_ACCEPT#(1))",
         "FN$TRIM(FN$PARM(_$(.envvar;.dialog);FN#VALN(FN$TRIM(FN$PARM(_$(.envvar;.dialog);1);'FIT')));'FIT')"},
        {"'_ACCEPT$(1)'", "'_ACCEPT$(1)'"},
        {"X_ACCEPT$(1)", "X_ACCEPT$(1)"},
        {"_ACCEPT$((1);2)", "FN$TRIM(FN$PARM(_$(.envvar;.dialog);(1);2);'FIT')"},
    };
    for (const auto& c : cases) EXPECT_EQ(prepared(c.text), c.result) << c.text;
    error_detail_clear();
    EXPECT_EQ(prepared("A=B C+1"), "<147>");
    EXPECT_EQ(text(error_detail()), " C+1");
}

TEST_F(Scan, UnchangedTextsAreNotCopied) {
    Str in = S("A#=A#+B#*2");
    Str out;
    u16 mark = tmp_mark();
    ASSERT_EQ(text_prepare(in, &out), 0);
    EXPECT_EQ(out.p, in.p);
    EXPECT_EQ(tmp_mark(), mark);
}
