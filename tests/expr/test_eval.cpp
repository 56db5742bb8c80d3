// The evaluator: operators and their numeric rules, strings and the wildcard rule, signs and
// empty operands, blanks, assignment, expression lists, arrays, application functions,
// built-in function dispatch, error codes and contexts, the entry points, nesting limits and
// the arena balance.
#include <string>
#include <vector>

#include "expr/eval.h"
#include "expr/funcs.h"
#include "expr/vars.h"
#include "runtime/env.h"
#include "runtime/store.h"
#include "runtime/sysvars.h"
#include "test_eval_support.h"

using namespace vx::rt;
using namespace vx::expr;
using namespace vx::test;

namespace {

using Eval = vx::test::EvalTest;

struct Case {
    const char* text;
    const char* result;
};

void expect_all(const std::vector<Case>& cases) {
    for (const auto& c : cases) EXPECT_EQ(eval(c.text), c.result) << c.text;
}

}  // namespace

TEST_F(Eval, Arithmetic) {
    expect_all({
        {"2+3*4", "14.00"},        {"10-2-3", "5.00"},       {"2*3|4", "14.00"},
        {"7/0", "0.00"},           {"7/2", "3.50"},          {"1/3", "0.33"},
        {"2/3", "0.67"},           {"-2/3", "-0.67"},        {"2/-3", "-0.67"},
        {"100/10/2", "5.00"},      {"8-2*3-1", "1.00"},      {"12.345", "12.35"},
        {"-12.345", "-12.35"},     {"12.344", "12.34"},      {"0.005", "0.01"},
        {"10.55!1", "10.60"},      {"10.55!0", "11.00"},     {"-10.55!1", "-10.60"},
        {"10.55!2", "10.55"},      {"10.55!7", "10.55"},     {"1250!-2", "1300.00"},
        {"1.5*1.5!0", "2.00"},     {"200%15", "30.00"},      {"200\xF7" "15", "170.00"},
        {"0.01*0.5", "0.01"},      {"-0.01*0.5", "-0.01"},   {"0.05/10", "0.01"},
        {"0.04/10", "0.00"},       {"3*0.333", "0.99"},      {"1@@1", "0.00"},
        {"1@@0", "1.00"},          {"0@@0", "0.00"},         {"6@@1", "1.00"},
        {"5&3", "1.00"},           {"7.9&3.2", "3.00"},      {"5|2", "7.00"},
        {"5|1", "0.00"},           {"5@2", "7.00"},          {"5@4", "0.00"},
        {"3>2", "1.00"},           {"2>=2", "1.00"},         {"2<>2", "0.00"},
        {"1==1", "1.00"},          {"1<2", "1.00"},          {"2<=1", "0.00"},
        {"1&&2", "1.00"},          {"1&&0", "0.00"},         {"0||0", "0.00"},
        {"0||3", "1.00"},          {"1+2>2", "1.00"},        {"2>1&&3>4", "0.00"},
        {"1+1&&0", "0.00"},        {"(2+3)*4", "20.00"},     {"((2))", "2.00"},
    });
}

TEST_F(Eval, SignsApplyToTheOperandThatFollows) {
    expect_all({
        {"-3*2", "-6.00"},   {"2*-3", "-6.00"},   {"10--2", "12.00"},  {"+5", "5.00"},
        {"-2+3", "1.00"},    {"10--2+1", "13.00"}, {"2*-3+1", "-5.00"}, {"2+-3*4", "-10.00"},
        {"2*--3", "6.00"},   {"1-(-1)", "2.00"},  {"3>-1", "1.00"},    {"A#=-2*3", "-6.00"},
    });
}

TEST_F(Eval, TruthOfAndAndOrIsInTheLow16Bits) {
    expect_all({{"655.36&&1", "0.00"}, {"655.37&&1", "1.00"}, {"655.36||0", "0.00"}, {"0.01&&0.01", "1.00"}});
}

TEST_F(Eval, ArithmeticWrapsIn64Bits) {
    EXPECT_EQ(scaled("92233720368547758.07+0.01"), INT64_MIN);
    EXPECT_EQ(scaled("0-92233720368547758.07-0.02"), INT64_MAX);
    // Products and quotients wrap instead of failing (the sanitizer build checks for UB).
    EXPECT_EQ(eval("92233720368547758.07*92233720368547758.07").front() == '<', false);
    EXPECT_EQ(eval("92233720368547758.07/0.01").front() == '<', false);
    EXPECT_EQ(eval("(0-92233720368547758.07-0.01)/(0-0.01)").front() == '<', false);
    EXPECT_EQ(eval("92233720368547758.07%92233720368547758.07").front() == '<', false);
}

TEST_F(Eval, Strings) {
    expect_all({
        {"'ABC'+'DEF'", "'ABCDEF'"}, {"\"dq\"", "'dq'"},         {"'it\"s'", "'it\"s'"},
        {"''", "''"},                {"'ABC'-'A'", "<147>"},    {"'ABC'*'A'", "<147>"},
        {"'A'&&'B'", "<147>"},       {"'AB'<'ABC'", "1.00"},    {"'ABC'>'AB'", "1.00"},
        {"'b'>'a'", "1.00"},         {"'a'<'B'", "0.00"},       {"'\xE9'>'z'", "1.00"},
        {"'AB'<>'AB'", "0.00"},      {"'AB'>='AB'", "1.00"},    {"'A'+1", "<128>"},
        {"1+'A'", "<128>"},          {"'A'+-1", "<147>"},       {"-'A'", "<147>"},
        {"'ab", "<147>"},            {"'a''b'", "<147>"},       {"a'b'", "<147>"},
    });
}

TEST_F(Eval, WildcardEquality) {
    expect_all({
        {"'ABCDEF'=='abc*'", "1.00"}, {"'XXABCXX'=='*abc'", "1.00"}, {"'XXABCXX'=='*abd'", "0.00"},
        {"'AB'=='abc*'", "0.00"},     {"'ABC'=='*B*'", "1.00"},      {"'abc'=='ABC'", "0.00"},
        {"'ABC'=='*'", "1.00"},       {"'ABC'=='A*C'", "1.00"},      {"'ABC'=='ABC'", "1.00"},
    });
    sysint_set(SV_AUXSTAT, 128);
    expect_all({{"'ABCDEF'=='abc*'", "0.00"}, {"'XXABCXX'=='*abc'", "0.00"}, {"'ABC'=='ABC'", "1.00"}});
}

TEST_F(Eval, EmptyOperands) {
    expect_all({
        {"", "<123>"},   {"5+", "<147>"},     {"'A'+", "<147>"}, {"A#=", "<147>"},
        {"=5", "<147>"}, {"()", "<123>"},     {"()+1", "1.00"},  {"1+()", "1.00"},
        {"(5;)", "<123>"}, {"2*(-3)", "-6.00"},
    });
}

TEST_F(Eval, BlanksAreCheckedAndRemoved) {
    expect_all({
        {"A# = 5", "5.00"},       {"A#=5", "5.00"},         {" 1 + 2 ", "3.00"},
        {"'A B' + 'C'", "'A BC'"}, {"A#\t=\t7", "7.00"},    {"( 1 + 2 ) * 2", "6.00"},
        {"A# 5", "<147>"},        {"'A' 'B'", "<147>"},     {"1 2", "<147>"},
        {"(1+2", "<129>"},        {"1+2)", "<129>"},        {"')' + '('", "')('"},
    });
    error_detail_clear();
    EXPECT_EQ(eval("A# 5+1"), "<147>");
    EXPECT_EQ(text(error_detail()), " 5+1");
}

TEST_F(Eval, OperatorPairsThatAreNoOperatorAndStrayBracketsFail) {
    expect_all({{"A=>B", "<147>"}, {"1*=2", "<147>"}, {"1!=2", "<147>"}, {")(", "<147>"}, {"1+2)(3", "<147>"}});
}

TEST_F(Eval, Assignment) {
    expect_all({
        {"A$=5", "<128>"}, {"A#='x'", "<128>"}, {"A='x'", "<128>"}, {"5=3", "<147>"},
        {"'x'=3", "<147>"}, {"1+A=5", "<147>"}, {"(A)=5", "<147>"}, {"FN$TRIM(1)=2", "<147>"},
    });
    EXPECT_EQ(eval("A=3.6"), "3.60");   // the value of an assignment is the value assigned
    EXPECT_EQ(read_text("A"), "4.00");
    EXPECT_EQ(eval("A=B=0"), "0.00");
    EXPECT_EQ(read_text("A"), "0.00");
    EXPECT_EQ(read_text("B"), "0.00");
    EXPECT_EQ(eval("X#=Y#=Z#=2.5"), "2.50");
    EXPECT_EQ(read_text("X#") + read_text("Y#") + read_text("Z#"), "2.502.502.50");
    EXPECT_EQ(eval("S$='AB'+'C'"), "'ABC'");
    EXPECT_EQ(read_text("S$"), "ABC");
    EXPECT_EQ(eval("(N#=2)*3"), "6.00");
    EXPECT_EQ(eval("C#=C#+1;C#=C#+1;C#"), "2.00");
    EXPECT_EQ(eval("T=40000"), "40000.00");
    EXPECT_EQ(read_text("T"), "-25536.00");
    // A failed assignment leaves what was assigned before it.
    EXPECT_EQ(eval("P#=1;P$=2"), "<128>");
    EXPECT_EQ(read_text("P#"), "1.00");
}

TEST_F(Eval, ExpressionLists) {
    EXPECT_EQ(eval("A=1;B=2"), "2.00");
    EXPECT_EQ(read_text("A") + read_text("B"), "1.002.00");
    EXPECT_EQ(eval("C=1,D=2:E=3"), "3.00");
    EXPECT_EQ(read_text("C") + read_text("D"), "1.002.00");
    EXPECT_EQ(eval("F=1;;G=2"), "2.00");
    EXPECT_EQ(eval("H=1;"), "<123>");
    EXPECT_EQ(read_text("H"), "1.00");
    EXPECT_EQ(eval("(I=4;I*2)+1"), "9.00");
    // Evaluation stops at the first error.
    EXPECT_EQ(eval("J=1;'a'-1;K=1"), "<128>");
    EXPECT_EQ(read_text("J") + read_text("K"), "1.000.00");
}

TEST_F(Eval, ArraysThroughExpressions) {
    EXPECT_EQ(eval("X#(2;3)"), "0.00");   // declares a 3-by-4 array
    EXPECT_EQ(eval("X#(3;0)"), "<168>");
    EXPECT_EQ(eval("X#(2;3)=4.5"), "4.50");
    EXPECT_EQ(eval("X#(1+1;6/2)"), "4.50");
    EXPECT_EQ(eval("Y#(1)=5"), "<149>");  // assigning never declares
    EXPECT_EQ(eval("M=3;X#(1;M-1)=X#(2;M)+1;X#(1;2)"), "5.50");
    EXPECT_EQ(eval("X#((1);(2))"), "5.50");
    EXPECT_EQ(eval("X#(X#(0;0)+1;2)"), "5.50");
    EXPECT_EQ(eval("X#(1.5;2.5)"), "4.50");  // subscripts are rounded: (2;3)
    EXPECT_EQ(eval("X#('a';1)"), "<128>");
    EXPECT_EQ(eval("X#()"), "<147>");
    EXPECT_EQ(eval("X#(1;)"), "<147>");
    EXPECT_EQ(eval("X#(1:2)"), "<147>");
    EXPECT_EQ(eval("X#(1;1;1;1;1;1)"), "<149>");
    EXPECT_EQ(eval("N$(2);N$(2)='abc';N$(2)+'d'"), "'abcd'");   // declared by the read of N$(2)
    EXPECT_EQ(eval("I(1)=3.9;I(1)"), "<149>");
    EXPECT_EQ(eval("I(1);I(1)=3.9;I(1)"), "3.00");  // integer elements truncate
    // Reads by name (as other layers make them) evaluate subscripts as full expressions.
    EXPECT_EQ(read_text("X#(1+1;2*1+1)"), "4.50");
}

TEST_F(Eval, PrecedenceAndAssociativity) {
    expect_all({
        {"2*3+4*5", "26.00"},      {"2+3|4", "9.00"},        {"1|2*3", "9.00"},
        {"2*2|1", "6.00"},         {"7-2-1", "4.00"},        {"64/4/2", "8.00"},
        {"1<2==1", "1.00"},        {"2>1>0", "1.00"},        {"1&&1||0", "1.00"},
        {"0&&1||1", "1.00"},       {"3&1+2", "3.00"},        {"1+1>1&&2>1", "1.00"},
    });
}

TEST_F(Eval, ErrorContextNamesTheOperandAndTheRestOfTheText) {
    u16 dims[] = {2};
    ASSERT_EQ(array_declare(S("V#"), ARRAY_NUM, dims, 1, 0), 0);
    error_detail_clear();
    error_clear();
    EXPECT_EQ(eval("A=1;2*V#(9)+1"), "<168>");
    std::string detail = text(error_detail());
    EXPECT_NE(detail.find("V#(9)\r\nV#(9)+1"), std::string::npos) << detail;
    EXPECT_EQ(detail.substr(detail.size() - 7), "V#(9)+1");

    error_detail_clear();
    error_clear();
    EXPECT_EQ(eval("B=2;1+'A'-2"), "<128>");
    EXPECT_EQ(text(error_detail()), "1+'A'-2");
    EXPECT_EQ(error_code(), E_TYPEMISMATCH);
    EXPECT_EQ(error_module(), M_EXPEXEC);

    error_detail_clear();
    EXPECT_EQ(eval("C$=5"), "<128>");
    EXPECT_EQ(text(error_detail()), "C$\r\nC$=5");

    // A failing operand that is the rest of the text is named once, not twice.
    error_detail_clear();
    EXPECT_EQ(eval("D=1;2*V#(9)"), "<168>");
    EXPECT_EQ(text(error_detail()), "V#(9)");
    error_detail_clear();
    EXPECT_EQ(eval("1+FILEFIND('k')"), "<148>");
    detail = text(error_detail());
    EXPECT_EQ(detail.find("FILEFIND('k')"), detail.rfind("FILEFIND('k')")) << detail;
}

TEST_F(Eval, EntryPoints) {
    struct CondCase {
        const char* text;
        u16 result;
    } conds[] = {
        {"", 1}, {"  ", 1}, {"1>2", 0}, {"2>1", 1}, {"'abc'", 0}, {"0.01", 1},
        {"0", 0}, {"655.36", 1}, {"A$=5", 128}, {"Q=1;", 123},
    };
    for (const auto& c : conds) EXPECT_EQ(expr_condition(str_from_cstr(c.text)), c.result) << c.text;

    TmpScope scope;
    EXPECT_EQ(text(expr_text(S("2+3"))), "5.00");
    EXPECT_EQ(text(expr_text(S("'x'+'y'"))), "xy");
    EXPECT_EQ(text(expr_text(S(""))), "");
    EXPECT_EQ(text(expr_text(S("A$=5"))), "<error 128>");
    sysint_set(SV_PRECIS, 0);
    EXPECT_EQ(text(expr_text(S("2/3"))), "1");
    EXPECT_EQ(text(expr_text(S("2.5"))), "3");
    sysint_set(SV_PRECIS, 3);
    EXPECT_EQ(text(expr_text(S("2/3"))), "0.667");
    sysint_set(SV_PRECIS, 2);

    EXPECT_EQ(expr_number(S("2.5*2")), 500);
    EXPECT_EQ(expr_number(S("'12.5'")), 1250);
    EXPECT_EQ(expr_number(S("A$=5")), 0);
    EXPECT_EQ(expr_whole(S("2.5")), 3);
    EXPECT_EQ(expr_whole(S("-2.5")), -3);
    EXPECT_EQ(expr_whole(S("2.49")), 2);
    EXPECT_EQ(expr_whole(S("1+'a'")), 0);
    EXPECT_EQ(expr_check(S("1+1")), 0);
    EXPECT_EQ(expr_check(S("")), 0);
    EXPECT_EQ(expr_check(S("'a'-1")), 128);
}

TEST_F(Eval, ResultsLeaveTheArenaBalanced) {
    ASSERT_EQ(eval("S$='abc';N#=1"), "1.00");
    u16 mark = tmp_mark();
    u32 used = tmp_stats().used;
    const char* numbers[] = {"N#=N#+1", "(N#>10)&&(S$=='AB*')", "N#*2+X#(1)", "1+'a'", "(1+2", "A# 5", ""};
    for (int round = 0; round < 200; round++)
        for (const char* t : numbers) {
            Value v;
            u16 code = expr_eval(str_from_cstr(t), v);
            EXPECT_NE(code, 1) << t;
            ASSERT_EQ(tmp_mark(), mark) << t;
        }
    EXPECT_EQ(tmp_stats().used, used);
    // A string is handed back as the one newest temporary.
    Value v;
    ASSERT_EQ(expr_eval(S("S$+'d'+S$"), v), 1);
    EXPECT_EQ(tmp_mark(), mark + 1);
    EXPECT_EQ(tmp_top().p, v.str.p);
    EXPECT_EQ(text(v.str), "abcdabc");
    tmp_release(mark);
    // A long concatenation chain keeps only its running result.
    std::string chain = "S$";
    for (int i = 0; i < 400; i++) chain += "+S$";
    ASSERT_EQ(expr_eval(view(chain), v), 1);
    EXPECT_EQ(v.str.n, 401 * 3);
    EXPECT_LT(tmp_stats().high_bytes, 40000u);
    tmp_release(mark);
}

TEST_F(Eval, DeepNestingFailsCleanly) {
    auto nested = [](int n, const char* open, const char* middle, const char* close) {
        std::string s;
        for (int i = 0; i < n; i++) s += open;
        s += middle;
        for (int i = 0; i < n; i++) s += close;
        return s;
    };
    EXPECT_EQ(eval(nested(40, "(", "1", ")")), "1.00");
    EXPECT_EQ(eval(nested(5000, "(", "1", ")")), "<180>");
    EXPECT_EQ(eval(nested(5000, "-", "1", "")), "<180>");
    EXPECT_EQ(eval(nested(5000, "A=", "1", "")), "<180>");
    EXPECT_EQ(eval(nested(5000, "X#(", "1", ")")), "<180>");
    EXPECT_EQ(eval(nested(40, "-", "1", "")), "1.00");
    EXPECT_EQ(eval("1+1"), "2.00");   // the depth is back to 0
}

TEST_F(Eval, NamedConstantsAndLiterals) {
    expect_all({
        {".next", "16.00"},    {".datey", "10000.00"}, {".lf$", "'\r\n'"}, {".null$", "''"},
        {".5", "0.50"},        {"5.", "5.00"},         {"1e5", "<147>"},  {"1.2.3", "<147>"},
        {".", "<147>"},        {"?", "<147>"},
    });
}

TEST_F(Eval, VariablesOfEveryKind) {
    ASSERT_EQ(eval("I=2;N#=2.25;S$='x'"), "'x'");
    expect_all({{"I*2", "4.00"}, {"N#*2", "4.50"}, {"S$+S$", "'xx'"}, {"U", "0.00"}, {"U$", "''"}, {"_PRECIS", "2.00"}});
    // The kind of a name is read from it on every evaluation.
    EXPECT_EQ(eval("_PRECIS=3;N#"), "0.225");   // the same scaled integer
    EXPECT_EQ(eval("_PRECIS=2;N#"), "2.25");
}

namespace {

struct Call {
    u16 number = 0;
    std::string raw;
};
std::vector<Call> calls;

u16 recording_dispatch(u16 number, Str raw, Value& out) {
    calls.push_back({number, text(raw)});
    if (number == fn_find(S("CHK$"))) {
        out = val_str(str_copy(S("odd")));
        return E_ODDTYPE;
    }
    out = val_num(num_from_whole(number));
    return 0;
}

struct HookCall {
    u16 mode;
    std::string name;
    std::vector<std::string> args;
    std::string value;
};
std::vector<HookCall> hook_calls;

std::string value_text(const Value& v) { return v.is_str ? "'" + text(v.str) + "'" : text(num_text(v.num)); }

u16 app_hook(u16 mode, Str name, const Value* args, u16 nargs, Value* value) {
    HookCall h{mode, text(name), {}, mode == APP_FN_WRITE ? value_text(*value) : ""};
    for (u16 i = 0; i < nargs; i++) h.args.push_back(value_text(args[i]));
    hook_calls.push_back(h);
    if (text(name) == "_FAIL") return E_DATA;
    if (mode == APP_FN_READ) *value = val_num(num_parse(S("2.5")));
    return 0;
}

}  // namespace

TEST_F(Eval, BuiltInFunctionsGetTheirNumberAndRawArguments) {
    calls.clear();
    function_dispatch_set(recording_dispatch);
    EXPECT_EQ(eval("FN$TRIM(' a ';'FIT')"), "19.00");
    EXPECT_EQ(eval("fn$trim( 1 )+1"), "20.00");
    EXPECT_EQ(eval("_$(.envvar;.dialog)"), "28.00");
    EXPECT_EQ(eval("_#(1)"), "1.00");
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].raw, "' a ';'FIT'");
    EXPECT_EQ(calls[1].raw, "1");
    EXPECT_EQ(calls[2].raw, ".envvar;.dialog");
    // Code 125 on a string result becomes the empty string.
    EXPECT_EQ(eval("CHK$(1;2;3)"), "''");
}

TEST_F(Eval, AcceptMacrosAreRewrittenBeforeTheCall) {
    calls.clear();
    function_dispatch_set(recording_dispatch);
    EXPECT_EQ(eval("X$=_ACCEPT$( 3 )"), "<128>");   // the recorder answers a number
    EXPECT_EQ(eval("_ACCEPT#(A+1)*2"), "10.00");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].number, fn_find(S("FN$TRIM")));
    EXPECT_EQ(calls[0].raw, "FN$PARM(_$(.envvar;.dialog);3);'FIT'");
    EXPECT_EQ(calls[1].number, fn_find(S("FN#VALN")));
    EXPECT_EQ(calls[1].raw, "FN$TRIM(FN$PARM(_$(.envvar;.dialog);A+1);'FIT')");
}

TEST_F(Eval, FunctionWithoutItsLayerFailsWith148AndTheName) {
    error_detail_clear();
    EXPECT_EQ(eval("1+FILEFIND('k')"), "<148>");
    EXPECT_EQ(text(error_detail()).rfind("FILEFIND", 0), 0u) << text(error_detail());
}

TEST_F(Eval, AcceptMacrosReadTheLastCapturedValues) {
    // The values captured by the last form are entry 7 of list 9.
    ASSERT_EQ(store_set(LIST_ERROR, 7, S("Ana ,  12.50 ")), 0);
    EXPECT_EQ(eval("_ACCEPT$(1)"), "'Ana'");
    EXPECT_EQ(eval("_ACCEPT#(2)*2"), "25.00");
}

TEST_F(Eval, FunctionListIsCachedWithNulSeparators) {
    EXPECT_EQ(fn_find(S("FN$TRIM")), 19);
    Str cached = env_get(ENV_FUNCLIST);
    ASSERT_GT(cached.n, 10);
    EXPECT_EQ(std::string(cached.p, 10), std::string("_#\0FN#FLEN", 10));
    struct Find {
        const char* name;
        u16 number;
    } finds[] = {{"_#", 1}, {"fn#flen", 2}, {"Fn$Trim", 19}, {"_$", 28}, {"SQLCHILD", 33},
                 {"FN$", 0}, {"", 0}, {"TRIM", 0}, {"FN$TRIMX", 0}};
    for (const auto& f : finds) EXPECT_EQ(fn_find(str_from_cstr(f.name)), f.number) << f.name;
    EXPECT_EQ(text(fn_name(33)), "SQLCHILD");
}

TEST_F(Eval, ApplicationFunctions) {
    EXPECT_EQ(eval("_F(1)"), "<147>");   // no hook
    hook_calls.clear();
    app_function_hook_set(app_hook);
    EXPECT_EQ(eval("_F(1;'a'+'b')"), "3.00");     // an integer name rounds
    EXPECT_EQ(eval("_F#()"), "2.50");
    EXPECT_EQ(eval("_F$(2*3)"), "'2.50'");
    EXPECT_EQ(eval("_G(4)=7"), "7.00");
    EXPECT_EQ(eval("_FAIL(1)"), "<163>");
    ASSERT_EQ(hook_calls.size(), 5u);
    EXPECT_EQ(hook_calls[0].args, (std::vector<std::string>{"1.00", "'ab'"}));
    EXPECT_TRUE(hook_calls[1].args.empty());
    EXPECT_EQ(hook_calls[3].mode, APP_FN_WRITE);
    EXPECT_EQ(hook_calls[3].name, "_G");
    EXPECT_EQ(hook_calls[3].value, "7.00");
    EXPECT_EQ(hook_calls[3].args, (std::vector<std::string>{"4.00"}));
}

TEST_F(Eval, RepeatedTextsSeeChangedState) {
    // The same text read again sees new values and kinds of the moment.
    for (int i = 1; i <= 3; i++) EXPECT_EQ(eval("K#=K#+1"), std::to_string(i) + ".00");
    EXPECT_EQ(eval("1/3"), "0.33");
    sysint_set(SV_PRECIS, 4);
    EXPECT_EQ(eval("1/3"), "0.3333");
    EXPECT_EQ(eval("12.34567"), "12.3457");
    sysint_set(SV_PRECIS, 2);
    EXPECT_EQ(eval("12.34567"), "12.35");
    // More distinct texts than the cache keeps.
    for (int i = 0; i < 100; i++) EXPECT_EQ(eval(std::to_string(i) + "+1"), std::to_string(i + 1) + ".00");
    for (int i = 0; i < 100; i++) EXPECT_EQ(eval(std::to_string(i) + "+1"), std::to_string(i + 1) + ".00");
}

TEST_F(Eval, LongTextsAreEvaluatedWithoutTheCache) {
    std::string sum = "0";
    for (int i = 0; i < 2000; i++) sum += "+1";
    EXPECT_EQ(eval(sum), "2000.00");
    std::string list;
    for (int i = 0; i < 300; i++) list += "L#=L#+1;";
    list += "L#";
    EXPECT_EQ(eval(list), "300.00");
}

namespace {

// Evaluates many other texts inside a call, as a function evaluating its arguments does.
u16 busy_dispatch(u16, Str, Value& out) {
    for (int i = 0; i < 100; i++) {
        std::string t = "Z#=" + std::to_string(i);
        TmpScope scope;
        Value v;
        if (expr_eval(view(t), v) != 0) return E_INTERNAL;
    }
    out = val_num(num_from_whole(1));
    return 0;
}

}  // namespace

TEST_F(Eval, NestedEvaluationsLeaveTheOuterTextIntact) {
    function_dispatch_set(busy_dispatch);
    for (int round = 0; round < 3; round++) {
        EXPECT_EQ(eval("W#=FN$TRIM(0)+FN$TRIM(0)*10+Z#"), "110.00");
        EXPECT_EQ(read_text("W#"), "110.00");
    }
}
