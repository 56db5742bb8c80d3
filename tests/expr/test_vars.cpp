// Variables: kinds by name, conversions on assignment, undeclared reads, the name index,
// string values, the variable hook, variable formats, named constants, system variables
// and the variable scope.
#include <string>
#include <vector>

#include "expr/vars.h"
#include "runtime/error.h"
#include "runtime/startup.h"
#include "runtime/sysvars.h"
#include "support.h"

using namespace vx::rt;
using namespace vx::expr;
using namespace vx::test;

namespace {

using Var = vx::test::VarTest;

}  // namespace

TEST_F(Var, KindFollowsTheFirstMarkCharacter) {
    struct Case { const char* name; VarKind kind; } cases[] = {
        {"A", KIND_INT}, {"A$", KIND_STR}, {"A#", KIND_NUM}, {"A$(1)", KIND_ARRAY},
        {"A#$", KIND_STR}, {"A$#", KIND_STR}, {"_LASTKEY", KIND_INT}, {"N#(2;3)", KIND_ARRAY},
    };
    for (const auto& c : cases) EXPECT_EQ(var_kind(str_from_cstr(c.name)), c.kind) << c.name;
}

TEST_F(Var, AssignmentConvertsToTheKind) {
    struct Case { const char* name; vx::expr::Value value; const char* reads; } cases[] = {
        {"A", num("3.6"), "4.00"},
        {"B", num("-2.5"), "-3.00"},
        {"C", num("2.49"), "2.00"},
        {"D", num("40000"), "-25536.00"},
        {"E", num("0.5"), "1.00"},
        {"A#", num("3.6"), "3.60"},
        {"B#", num("-12.345"), "-12.35"},
        {"S$", str("text"), "text"},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(assign(c.name, c.value), 0) << c.name;
        EXPECT_EQ(read_text(c.name), c.reads) << c.name;
    }
}

TEST_F(Var, UndeclaredNamesReadAsZeroOrEmptyAndStayUndeclared) {
    EXPECT_EQ(read_text("B$"), "");
    EXPECT_EQ(read_text("B"), "0.00");
    EXPECT_EQ(read_text("B#"), "0.00");
    for (const char* name : {"B$", "B", "B#"}) EXPECT_FALSE(var_find(str_from_cstr(name)).found()) << name;
}

TEST_F(Var, MixedTypesFailAndLeaveTheValue) {
    ASSERT_EQ(assign("A$", str("kept")), 0);
    ASSERT_EQ(assign("N#", num("1.5")), 0);
    EXPECT_EQ(assign("A$", num("5")), E_TYPEMISMATCH);
    EXPECT_EQ(assign("N#", str("x")), E_TYPEMISMATCH);
    EXPECT_EQ(assign("I", str("x")), E_TYPEMISMATCH);
    EXPECT_EQ(read_text("A$"), "kept");
    EXPECT_EQ(read_text("N#"), "1.50");
    EXPECT_FALSE(var_find(S("I")).found());
}

TEST_F(Var, NamesThatCannotBeDeclaredGive157) {
    EXPECT_EQ(assign("", num("1")), E_VARNAME);
    EXPECT_EQ(assign("A,B", num("1")), E_VARNAME);
    // The number list holds at most 65535 bytes of names.
    std::string base(200, 'N');
    std::string failed;
    for (int i = 0; i < 400 && failed.empty(); i++) {
        std::string name = base + std::to_string(i) + "#";
        if (assign(name.c_str(), num("1")) == E_VARNAME) failed = name;
    }
    ASSERT_FALSE(failed.empty());
    EXPECT_GT(var_names(KIND_NUM).n + 1 + failed.size(), 65535u);
    EXPECT_FALSE(var_find(str_from_cstr(failed.c_str())).found());
    EXPECT_EQ(read_text((base + "0#").c_str()), "1.00");
}

TEST_F(Var, ManyNamesKeepTheirOwnValues) {
    constexpr int N = 3000;
    for (int i = 0; i < N; i++) {
        std::string name = "V" + std::to_string(i);
        ASSERT_EQ(assign(name.c_str(), num(std::to_string(i % 30000).c_str())), 0);
        ASSERT_EQ(assign((name + "$").c_str(), str(name.c_str())), 0);
    }
    for (int i = 0; i < N; i += 7) {
        std::string name = "V" + std::to_string(i);
        EXPECT_EQ(read_text(name.c_str()), std::to_string(i % 30000) + ".00");
        EXPECT_EQ(read_text((name + "$").c_str()), name);
    }
    EXPECT_EQ(read_text("v1"), "0.00");  // names are case-sensitive
}

TEST_F(Var, StringValuesSurviveGrowthShrinkingAndCompaction) {
    std::vector<std::string> expect(50);
    for (int round = 0; round < 40; round++)
        for (int i = 0; i < 50; i++) {
            std::string name = "S" + std::to_string(i) + "$";
            expect[i] = std::string(size_t((round * 37 + i * 11) % 300), char('a' + (round + i) % 26));
            ASSERT_EQ(assign(name.c_str(), str(expect[i].c_str())), 0);
        }
    for (int i = 0; i < 50; i++) EXPECT_EQ(read_text(("S" + std::to_string(i) + "$").c_str()), expect[i]);
    // A value taken from the store itself.
    VarRef ref = var_find(S("S1$"));
    ASSERT_EQ(var_set_str(var_find(S("S2$")).slot, var_str(ref.slot)), 0);
    EXPECT_EQ(read_text("S2$"), expect[1]);
    std::string big(65000, 'z');
    ASSERT_EQ(assign("BIG$", str(big.c_str())), 0);
    EXPECT_EQ(read_text("BIG$").size(), 65000u);
}

// ---- The variable hook ----

namespace {

struct HookLog {
    std::string written;
};
HookLog hook_log;

u16 test_hook(u16 mode, Str name, Str value, Str* answer) {
    std::string n = vx::test::text(name);
    if (mode == VAR_HOOK_WRITE) {
        if (n != "_SCR$" && n != "_N") return E_DATA;
        hook_log.written = n + "=" + vx::test::text(value);
        return 0;
    }
    if (n == "_SCR$") *answer = str_copy(S("from hook"));
    else if (n == "_N") *answer = str_copy(S("12.5"));
    else if (n == "_M#") *answer = str_copy(S("3.456"));
    else if (n == "_BAD") return E_PERMISSION;
    else return E_DATA;
    return 0;
}

class VarHookTest : public Var {
protected:
    void SetUp() override {
        Var::SetUp();
        hook_log = HookLog{};
        var_hook_register(test_hook);
    }
    void TearDown() override {
        var_hook_register(nullptr);
        Var::TearDown();
    }
};

}  // namespace

TEST_F(VarHookTest, ServesItsNamesInBothModesAndPassesOthersOn) {
    EXPECT_EQ(read_text("_SCR$"), "from hook");
    EXPECT_EQ(read_text("_N"), "13.00");      // an integer name: rounded to a whole number
    EXPECT_EQ(read_text("_M#"), "3.46");
    EXPECT_EQ(read_text("_BAD"), "<error 175>");
    EXPECT_EQ(read_text("_PRECIS"), "2.00");  // 163: the store answers
    ASSERT_EQ(assign("_N", num("7.25")), 0);
    EXPECT_EQ(hook_log.written, "_N=7.25");
    EXPECT_FALSE(var_find(S("_N")).found());
    ASSERT_EQ(assign("_USER01", num("5")), 0);  // not the hook's: stored
    EXPECT_EQ(sysint_get(SV_USER01), 5);
    EXPECT_EQ(assign("_SCR$", num("1")), E_TYPEMISMATCH);  // checked before the hook
}

TEST_F(Var, FormatComesFromTheVVariable) {
    ASSERT_EQ(assign("_V3$", str("A30")), 0);
    ASSERT_EQ(assign("_V12$", str("N")), 0);
    ASSERT_EQ(assign("_V4$", str("")), 0);
    VarFormat f;
    ASSERT_EQ(var_format(3, &f), 0);
    EXPECT_EQ(f.type, 'A');
    EXPECT_EQ(f.width, 30);
    ASSERT_EQ(var_format(12, &f), 0);
    EXPECT_EQ(f.type, 'N');
    EXPECT_EQ(f.width, 0);
    EXPECT_EQ(var_format(5, &f), E_SCREENFIELD);
    EXPECT_EQ(var_format(4, &f), E_SCREENFIELD);
}

// ---- Named constants ----

using Const = vx::test::VarTest;

TEST_F(Const, NamesReadTheirValues) {
    struct Case { const char* name; const char* reads; } cases[] = {
        {".lf$", "\r\n"}, {".tab$", "\t"}, {".pchr$", "\\"}, {".null$", ""},
        {".next", "16.00"}, {".envron", "0.00"}, {".docroot", "5.00"}, {".datem", "100.00"},
        {".datey", "10000.00"}, {".envvar", "9.00"}, {".dialog", "7.00"}, {".top", "36.00"},
        {".usrfif", "38.00"}, {".noprint", "8192.00"}, {".iscgi", "16384.00"},
        {".nothing", "0.00"},
    };
    for (const auto& c : cases) EXPECT_EQ(read_text(c.name), c.reads) << c.name;
    vx::expr::Value v;
    ASSERT_EQ(const_read(S(".lf$"), v), 0);
    EXPECT_EQ(v.str.n, 2);
}

// ---- System variables ----

using SysVars = vx::test::VarTest;

TEST_F(SysVars, DeclaredInOrderWithTheirDefaults) {
    struct Case { u16 slot; const char* name; i16 value; } cases[] = {
        {SV_AUXSTAT, "_AUXSTAT", 0}, {SV_DEVHIG, "_DEVHIG", 24}, {SV_DEVWID, "_DEVWID", 80},
        {SV_LASTKEY, "_LASTKEY", 4}, {SV_UPSTAT, "_UPSTAT", 1}, {SV_LB, "_LB", 128},
        {SV_TRACE, "_TRACE", 1}, {SV_PRECIS, "_PRECIS", 2}, {SV_BYEAR, "_BYEAR", 2000},
        {SV_BKYEAR, "_BKYEAR", 80}, {SV_USER03, "_USER03", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(var_find(str_from_cstr(c.name)).slot, c.slot) << c.name;
        EXPECT_EQ(var_int(c.slot), c.value) << c.name;
        EXPECT_EQ(sysint_get(c.slot), c.value) << c.name;
    }
    EXPECT_EQ(var_count(KIND_INT), SV_COUNT_ALL);
    EXPECT_EQ(vx::test::text(var_names(KIND_STR)), SYSVAR_STRINGS);
    EXPECT_EQ(read_text("_LTEXT$"), "");
}

TEST_F(SysVars, SlotsAndNamesShareOneValue) {
    ASSERT_EQ(assign("_COUNT", num("7")), 0);
    EXPECT_EQ(sysint_get(SV_COUNT), 7);
    sysint_set(SV_SAFE, -3);
    EXPECT_EQ(read_text("_SAFE"), "-3.00");
    sysint_or(SV_AUXSTAT, 8);
    EXPECT_EQ(read_text("_AUXSTAT"), "8.00");
    ASSERT_EQ(assign("_PRECIS", num("3")), 0);
    EXPECT_EQ(read_text("_PRECIS"), "3.000");
}

TEST_F(SysVars, PrecisionOutsideZeroToFourIsHeldThere) {
    sysint_set(SV_PRECIS, 0);
    EXPECT_EQ(scale(), 1);
    EXPECT_EQ(num_parse(S("12.5")), 13);
    sysint_set(SV_PRECIS, 4);
    EXPECT_EQ(num_parse(S("1.23456")), 12346);
    sysint_set(SV_PRECIS, 16);   // 10^16 would not fit the scale: held at 4 decimals
    EXPECT_EQ(scale(), 10000);
    sysint_set(SV_PRECIS, -1);
    EXPECT_EQ(scale(), 1);
}

// ---- Variable scope ----

using Scope = vx::test::VarTest;

TEST_F(Scope, CutDiscardsWhatCameAfterTheMark) {
    ASSERT_EQ(assign("OLD", num("1")), 0);
    ASSERT_EQ(assign("OLD$", str("old")), 0);
    ASSERT_EQ(assign("OLD#", num("2.5")), 0);
    u16 dims[] = {3};
    ASSERT_EQ(array_declare(S("OA#"), ARRAY_NUM, dims, 1, 0), 0);
    ASSERT_EQ(assign("OA#(2)", num("9")), 0);
    ScopeMark mark = scope_mark();
    std::string before_int = vx::test::text(var_names(KIND_INT));
    ASSERT_EQ(assign("NEW", num("3")), 0);
    ASSERT_EQ(assign("NEW$", str(std::string(500, 'n').c_str())), 0);
    ASSERT_EQ(assign("OLD$", str("changed inside and longer than before")), 0);
    ASSERT_EQ(assign("NEW#", num("4")), 0);
    u16 big[] = {100, 10};
    ASSERT_EQ(array_declare(S("NA$"), ARRAY_STR, big, 2, 20), 0);
    ASSERT_EQ(scope_cut(mark), 0);
    EXPECT_EQ(vx::test::text(var_names(KIND_INT)), before_int);
    for (const char* gone : {"NEW", "NEW$", "NEW#"}) EXPECT_FALSE(var_find(str_from_cstr(gone)).found()) << gone;
    ArrayInfo info;
    EXPECT_EQ(array_info(S("NA$"), &info), E_DIMSTRUC);
    EXPECT_EQ(read_text("OLD"), "1.00");
    EXPECT_EQ(read_text("OLD$"), "changed inside and longer than before");
    EXPECT_EQ(read_text("OLD#"), "2.50");
    EXPECT_EQ(read_text("OA#(2)"), "9.00");
    // Slots are given again from the mark on.
    ASSERT_EQ(assign("AGAIN$", str("a")), 0);
    EXPECT_EQ(var_find(S("AGAIN$")).slot, mark.names[KIND_STR]);
    EXPECT_EQ(read_text("AGAIN$"), "a");
}

TEST_F(Scope, CutToAMarkBeyondTheListsFailsWith141) {
    ScopeMark outer = scope_mark();
    ASSERT_EQ(assign("A1", num("1")), 0);
    ScopeMark inner = scope_mark();
    ASSERT_EQ(scope_cut(outer), 0);
    EXPECT_EQ(scope_cut(inner), E_INTERNAL);
    EXPECT_EQ(var_count(KIND_INT), outer.names[KIND_INT]);
}
