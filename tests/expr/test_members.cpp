// Member names and keys, member values from the parameter-record stack, the old menu
// names, and parameter files of every kind.
#include <filesystem>
#include <fstream>
#include <string>

#include "expr/members.h"
#include "runtime/env.h"
#include "runtime/error.h"
#include "runtime/sysvars.h"
#include "support.h"

using namespace vx::rt;
using namespace vx::expr;
using vx::test::text;

namespace {

using Member = vx::test::VarTest;

std::string value_of(u16 number) {
    TmpScope scope;
    return text(member_value(number));
}

std::string key_of(u16 number) {
    TmpScope scope;
    return text(member_key(number));
}

}  // namespace

TEST_F(Member, NumbersNameMembersThroughTheThresholdLists) {
    struct Case { u16 number; const char* name; } cases[] = {
        {93, "ACBOUND$"}, {55, "FILEDEF$"}, {12, "SET$"}, {5, "LOAD$"}, {1, "MODULES$"},
        {9, "STATMSG$"}, {101, "ACCEPT_PRC%"}, {116, "STRUCT$"}, {81, "WD"}, {65, "IK$(1)"},
        {48, "MAXLIN%"}, {0, ""}, {10, ""}, {100, ""}, {117, ""}, {63, "ON_CANCEL$"}, {60, "WINDOWS$"},
    };
    for (const auto& c : cases) EXPECT_EQ(text(member_name(c.number)), c.name) << c.number;
}

TEST_F(Member, AuxSelectsAPrefixFromTheEnvironmentList) {
    ASSERT_EQ(env_set(ENV_STRUCT_PREFIXES, S("REP,,MNU")), 0);
    EXPECT_EQ(key_of(5), "LOAD$");
    sysint_set(SV_AUX, 3);
    EXPECT_EQ(key_of(5), "MNU.LOAD$");
    sysint_set(SV_AUX, 2);   // an empty item
    EXPECT_EQ(key_of(5), "LOAD$");
    sysint_set(SV_AUX, 7);   // beyond the list
    EXPECT_EQ(key_of(93), "ACBOUND$");
    sysint_set(SV_AUX, 1);
    ASSERT_EQ(parm_push(S("ACBOUND$=plain:REP.ACBOUND$=prefixed")), 0);
    EXPECT_EQ(value_of(93), "prefixed");
    parm_pop();
}

TEST_F(Member, ValuesComeFromTheTopRecord) {
    ASSERT_EQ(parm_push(S("ACBOUND$=A1:WINNAME$='Two words':LOAD$=1,2")), 0);
    ASSERT_EQ(parm_push(S("FILEDEF$=clientes SET$=x")), 0);
    EXPECT_EQ(value_of(55), "clientes");
    EXPECT_EQ(value_of(12), "x");
    EXPECT_EQ(value_of(93), "");
    parm_pop();
    EXPECT_EQ(value_of(93), "A1");
    EXPECT_EQ(value_of(102), "'Two words'");
    EXPECT_EQ(value_of(5), "1,2");
    parm_pop();
    EXPECT_EQ(parm_depth(), 0);
    EXPECT_EQ(value_of(93), "");
}

TEST_F(Member, OldMenuNamesWithCompat16) {
    struct Case { const char* record; u16 member; const char* without; const char* with; } cases[] = {
        {"MODULOS$=M1:MODULO$=X:OPTIONS$=Y", MEMBER_MODULES, "", "M1"},
        {"MODULOS$=M1:MODULO$=X:OPTIONS$=Y", MEMBER_SUBMENU, "", "X,Y"},
        {"MODULO$=X", MEMBER_SUBMENU, "", "X"},
        {"OPTIONS$=Y", MEMBER_SUBMENU, "", "Y"},
        {"SUBMENU$=S:MODULO$=X", MEMBER_SUBMENU, "S", "S"},
        {"MODULES$=NEW:MODULOS$=OLD", MEMBER_MODULES, "NEW", "NEW"},
        {"MODULOS$=OLD", 2, "", ""},   // only the modules and submenu members have old names
    };
    for (const auto& c : cases) {
        ASSERT_EQ(parm_push(str_from_cstr(c.record)), 0);
        sysint_set(SV_COMPAT, 0);
        EXPECT_EQ(value_of(c.member), c.without) << c.record;
        sysint_set(SV_COMPAT, COMPAT_OLD_MENU);
        EXPECT_EQ(value_of(c.member), c.with) << c.record;
        parm_pop();
    }
}

// ---- Parameter files ----

namespace {

class ParmFile : public vx::test::VarTest {
protected:
    void SetUp() override {
        VarTest::SetUp();
        dir_.enter();
    }
    void write(const char* name, const std::string& content) { std::ofstream(name, std::ios::binary) << content; }
    // Loads and pops; the record, "<not found>" or "<error N>".
    std::string load(const char* file, u16 kind, u32 code, u16* lines = nullptr) {
        u16 depth = parm_depth();
        u16 n = 0;
        u16 rc = parm_load(str_from_cstr(file), kind, code, &n);
        if (lines) *lines = n;
        if (rc == E_NODATA) return parm_depth() == depth ? "<not found>" : "<pushed anyway>";
        if (rc) return "<error " + std::to_string(rc) + ">";
        std::string r = text(parm_top());
        parm_pop();
        return r;
    }
    vx::test::ScratchDir dir_{"parm"};
};

}  // namespace

TEST_F(ParmFile, EachKindHasItsColumns) {
    write("k0.dat", "A=1\r\nB=2\r\n");
    write("k1.dat", " 1 A=1\r\n 2 B=2\n01 C=3\r\n1  D=4\r\n 1 E=5");
    write("k2.dat", "x05A=1;\r\nx05B=2;\r\nx06C=3;\r\n");
    write("k3.dat", "  12 A=1\r\n0012 B=2\r\n 12  C=3\r\n  13 D=4\r\n");
    write("k4.dat", " 7A=1\r\n07B=2\r\n");
    write("k6.dat", "00042 A=1\r\n   42 B=2\r\n00043 C=3\r\n");
    struct Case { const char* file; u16 kind; u32 code; const char* record; u16 lines; } cases[] = {
        {"k0.dat", 0, 0, "A=1:B=2", 2},
        {"k0.dat", 5, 0, "A=1:B=2", 2},
        {"k0.dat", 0, 1, "<not found>", 0},
        {"k1.dat", 1, 1, "A=1:C=3:E=5", 3},
        {"k1.dat", 1, 10, "D=4", 1},       // "1 " reads 10: blanks count as zeros
        {"k1.dat", 1, 2, "B=2", 1},
        {"k2.dat", 2, 5, "A=1:B=2", 2},
        {"k2.dat", 2, 6, "C=3", 1},
        {"k3.dat", 3, 12, "A=1:B=2", 2},
        {"k3.dat", 3, 120, "C=3", 1},      // " 12 " reads 0120
        {"k4.dat", 4, 7, "A=1:B=2", 2},
        {"k6.dat", 6, 42, "00042 A=1:   42 B=2", 2},
    };
    for (const auto& c : cases) {
        u16 lines = 0;
        EXPECT_EQ(load(c.file, c.kind, c.code, &lines), c.record) << c.file << " kind " << c.kind << " code " << c.code;
        EXPECT_EQ(lines, c.lines) << c.file << " kind " << c.kind << " code " << c.code;
    }
}

TEST_F(ParmFile, MissingCodeOrFile) {
    write("k1.dat", " 1 A=1\r\n");
    EXPECT_EQ(load("k1.dat", 1, 9), "<not found>");
    EXPECT_EQ(load("absent.dat", 1, 1), "<error 164>");
    EXPECT_NE(text(error_detail()).find("absent.dat"), std::string::npos);
    EXPECT_EQ(load("k1.dat", 7, 1), "<error 163>");
    // The variant that always succeeds pushes an empty record.
    for (const char* file : {"k1.dat", "absent.dat"}) {
        ASSERT_EQ(parm_load_always(str_from_cstr(file), 1, 9), 0);
        EXPECT_EQ(parm_depth(), 1);
        EXPECT_EQ(text(parm_top()), "");
        parm_pop();
    }
    ASSERT_EQ(parm_load_always(S("k1.dat"), 1, 1), 0);
    EXPECT_EQ(text(parm_top()), "A=1");
    parm_pop();
}

TEST_F(ParmFile, FoundInTheDataFolder) {
    std::filesystem::create_directory("data");
    write("data/defs.dat", " 3 ACBOUND$=F1\r\n");
    ASSERT_EQ(env_set(ENV_DATA, S("nowhere,data")), 0);
    EXPECT_EQ(load("defs.dat", 1, 3), "ACBOUND$=F1");
}
