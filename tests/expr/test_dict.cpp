// Dictionary files and the start-up wiring of the variable layer: structure, field, key,
// dictionary and include lines, default keys, missing files, bad lines, the rollback of a
// failed load, and the dictionary step of start-up with its DPATH retry.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "expr/dict.h"
#include "expr/install.h"
#include "expr/structs.h"
#include "runtime/env.h"
#include "runtime/error.h"
#include "runtime/startup.h"
#include "runtime/sysvars.h"
#include "support.h"

using namespace vx::rt;
using namespace vx::expr;
using vx::test::text;

namespace {

// Lines of a dictionary file.
std::string structure(int n, const char* folder, int number, const char* name) {
    char b[200];
    std::snprintf(b, sizeof b, "%02d*%s*%02d%s", n, folder, number, name);
    return b;
}
std::string field(int n, int width, char type, const char* name) {
    char b[200];
    std::snprintf(b, sizeof b, "%02d       %3d %c%s", n, width, type, name);
    return b;
}
std::string include(const char* prefix) { return "05*$*00" + std::string(prefix); }


std::string name_of(u16 s) {
    StructDesc d;
    return struct_info(s, &d) ? "<none>" : text(d.name);
}

class Dict : public vx::test::VarTest {
protected:
    void SetUp() override {
        VarTest::SetUp();
        dir_.enter();
        std::filesystem::create_directory("data");
    }
    void write(const std::string& name, const std::vector<std::string>& lines) {
        std::ofstream f("data/" + name, std::ios::binary);
        for (const auto& l : lines) f << l << "\r\n";
    }
    u16 load(const char* prefix = "VX") { return dict_load(S("nowhere,data"), str_from_cstr(prefix), S("def")); }
    vx::test::ScratchDir dir_{"dict"};
};

}  // namespace

TEST_F(Dict, LoadsStructuresFieldsKeysAndDictionaryLines) {
    write("VXDICC.DAT", {
        "* a comment line",
        structure(1, " tables ", 3, " Clientes "),
        field(1, 6, 'N', "CODIGO"),
        field(1, 30, 'A', "NOMBRE  "),
        structure(2, "", 4, "Facturas"),
        field(2, 8, 'N', "NUMERO"),
        field(2, 6, 'N', "CLIENTE"),
        "32<00010080009006",
        "62 update:2R1K1",
    });
    write("VXREL.DAT", {"61 rel:1R1K2", "91 ignored", "31<0007030"});
    ASSERT_EQ(load(), 0) << text(error_detail());
    ASSERT_EQ(struct_count(), 2);
    StructDesc d;
    ASSERT_EQ(struct_info(1, &d), 0);
    EXPECT_EQ(text(d.name), "clientes");
    EXPECT_EQ(text(d.folder), "tables");
    EXPECT_EQ(d.number, 3);
    EXPECT_EQ(d.record_length, 36);
    ASSERT_EQ(struct_info(2, &d), 0);
    EXPECT_EQ(text(d.folder), "def");   // no folder of its own
    FieldDesc f;
    ASSERT_EQ(struct_field(1, 2, &f), 0);
    EXPECT_EQ(text(f.name), "NOMBRE");
    EXPECT_EQ(f.width, 30);
    EXPECT_EQ(f.type, 'A');
    EXPECT_EQ(vx::test::key_text(1, 1), "0+6");   // default key, given before structure 2's key
    EXPECT_EQ(vx::test::key_text(2, 1), "0+8,8+6");
    EXPECT_EQ(vx::test::key_text(1, 2), "6+30");  // from REL.DAT
    EXPECT_EQ(text(struct_dict(2)), "2R1K1");
    EXPECT_EQ(text(struct_dict(1)), "1R1K2");
    EXPECT_EQ(struct_relation(1, 1, 1), 2);
}

TEST_F(Dict, DefaultKeysOnlyWhenDiccEndsWithAStructureOrFieldLine) {
    write("VXDICC.DAT", {structure(1, "", 1, "a"), field(1, 4, 'A', "X"), structure(2, "", 2, "b"),
                         field(2, 2, 'A', "Y"), field(2, 5, 'N', "N_LINE")});
    ASSERT_EQ(load(), 0);
    EXPECT_EQ(vx::test::key_text(1, 1), "0+4");
    EXPECT_EQ(vx::test::key_text(2, 1), "0+7");
    structs_free();
    write("VXDICC.DAT", {structure(1, "", 1, "a"), field(1, 4, 'A', "X"), structure(2, "", 2, "b"),
                         field(2, 2, 'A', "Y"), "31<0001002"});
    ASSERT_EQ(load(), 0);
    EXPECT_EQ(vx::test::key_text(1, 1), "0+2");
    EXPECT_EQ(vx::test::key_text(2, 1), "<error 168>");
}

TEST_F(Dict, IncludeLinesLoadAnotherPrefixAndShiftTheNumbering) {
    write("XYDICC.DAT", {structure(1, "", 1, "inc1"), field(1, 3, 'A', "P"), structure(2, "", 2, "inc2"),
                         field(2, 5, 'A', "Q"), "32<0001001", "62:from inc"});
    write("XYREL.DAT", {"61:inc rel"});
    write("VXDICC.DAT", {structure(1, "", 1, "main1"), field(1, 2, 'A', "M"), "61:main before", include("XY"),
                         structure(6, "", 6, "main2"), field(6, 9, 'A', "Z"), "31<0002003", "61:main after"});
    ASSERT_EQ(load(), 0) << text(error_detail());
    ASSERT_EQ(struct_count(), 4);
    EXPECT_EQ(name_of(2), "inc1");
    EXPECT_EQ(name_of(4), "main2");
    EXPECT_EQ(text(struct_dict(1)), "main before");
    EXPECT_EQ(text(struct_dict(2)), "inc rel");     // the included files count from their own first
    EXPECT_EQ(text(struct_dict(3)), "from inc");
    EXPECT_EQ(text(struct_dict(4)), "main after");  // after the include: from the next structure
    EXPECT_EQ(vx::test::key_text(3, 1), "0+1");
    EXPECT_EQ(vx::test::key_text(4, 1), "1+3");
    EXPECT_EQ(vx::test::key_text(1, 1), "0+2");   // default keys from the included DICC.DAT's end
}

TEST_F(Dict, FailuresReportTheirCodeAndLeaveNoStructures) {
    struct Case { const char* what; std::vector<std::string> lines; u16 code; const char* detail; } cases[] = {
        {"key for a missing structure", {structure(1, "", 1, "a"), field(1, 2, 'A', "X"), "33<0001002"}, E_DATA, "VXDICC.DAT, line 3"},
        {"dictionary line for a missing structure", {structure(1, "", 1, "a"), "62:x"}, E_BADFILENUMBER, "line 2"},
        {"line over 512 bytes", {structure(1, "", 1, "a"), "61:" + std::string(510, 'x')}, E_DATAOUTBOUND, "line 2"},
        {"field line without a width", {structure(1, "", 1, "a"), "01       abc AX"}, E_DATA, "line 2"},
        {"field before any structure", {field(1, 2, 'A', "X")}, E_FILEOUTBOUND, "line 1"},
        {"include of itself", {structure(1, "", 1, "a"), include("VX")}, E_LOOP, "line 2"},
    };
    for (const auto& c : cases) {
        write("VXDICC.DAT", c.lines);
        error_clear();
        error_detail_clear();
        EXPECT_EQ(load(), c.code) << c.what;
        EXPECT_NE(text(error_detail()).find(c.detail), std::string::npos) << c.what << ": " << text(error_detail());
        EXPECT_EQ(struct_count(), 0) << c.what;
        EXPECT_EQ(struct_fields_total(), 0) << c.what;
    }
    // 512 bytes exactly is still a line.
    write("VXDICC.DAT", {structure(1, "", 1, "a"), "61:" + std::string(509, 'x')});
    EXPECT_EQ(load(), 0);
}

TEST_F(Dict, MissingDiccFailsWithItsNameAndMissingRelIsFine) {
    error_detail_clear();
    EXPECT_EQ(load(), E_FILENOTFOUND);
    EXPECT_EQ(text(error_detail()), "VXDICC.DAT");
    write("vxdicc.dat", {structure(1, "", 1, "solo")});   // found without regard to case
    EXPECT_EQ(load(), 0);
    EXPECT_EQ(struct_count(), 1);
}

TEST_F(Dict, DeclaresEachDataFileAsAnIntegerVariable) {
    write("VXDICC.DAT", {structure(1, "", 1, "Clientes"), field(1, 2, 'A', "X"), structure(2, "", 2, "Lineas"),
                         field(2, 2, 'A', "Y"), structure(3, "", 3, "raro$"), field(3, 2, 'A', "Z")});
    ASSERT_EQ(load(), 0);
    ASSERT_EQ(dict_declare(), 0);
    EXPECT_EQ(vx::test::read_text("clientes"), "1.00");
    EXPECT_EQ(vx::test::read_text("lineas"), "2.00");
    EXPECT_FALSE(var_find(S("raro$")).found());
}

// ---- Start-up wiring ----

namespace {

class DictStartup : public ::testing::Test {
protected:
    void SetUp() override {
        dir_.enter();
        runtime_services() = RuntimeServices{};
        vars_install();
    }
    void TearDown() override {
        if (runtime_started()) {
            EXPECT_EQ(runtime_stop(nullptr, 0), 0);
        }
        runtime_services() = RuntimeServices{};
    }
    u16 start(const std::string& line, u16 flags = START_DICT | START_DICT_OPTIONAL) {
        return runtime_start(nullptr, str_from_cstr(line.c_str()), S("VXW01Q:Varnox"), S("Visor"), flags, nullptr);
    }
    vx::test::ScratchDir dir_{"dictstart"};
};

}  // namespace

TEST_F(DictStartup, SystemVariablesAreThereFromTheStart) {
    for (int round = 0; round < 2; round++) {
        ASSERT_EQ(start("prog /TRACE=6"), 0);
        EXPECT_EQ(vx::test::read_text("_TRACE"), "7.00");
        EXPECT_EQ(vx::test::read_text("_LASTKEY"), "4.00");
        ASSERT_EQ(vx::test::assign("_USER02", vx::test::num("12")), 0);
        EXPECT_EQ(sysint_get(SV_USER02), 12);
        EXPECT_EQ(struct_count(), 0);   // no dictionary: fine with flags bit 4
        EXPECT_EQ(runtime_stop(nullptr, 0), 0);
        EXPECT_FALSE(vars_ready());
    }
}

TEST_F(DictStartup, DictionaryFromTheDpathFolderOnRetry) {
    std::filesystem::create_directory("apps");
    std::ofstream("apps/VXDICC.DAT", std::ios::binary) << structure(1, "", 1, "Pedidos") << "\r\n"
                                                        << field(1, 6, 'N', "NUM") << "\r\n";
    std::string dpath = (dir_.path() / "apps").string();
    ASSERT_EQ(start("prog /DPATH='" + dpath + "'", START_DICT), 0) << text(error_detail());
    EXPECT_EQ(text(env_get(ENV_DATA)), dpath);
    EXPECT_EQ(struct_count(), 1);
    EXPECT_EQ(vx::test::read_text("pedidos"), "1.00");
}

TEST_F(DictStartup, MissingDictionaryFailsWithoutTheOptionalFlag) {
    EXPECT_EQ(start("prog", START_DICT), E_FILENOTFOUND);
    // Start-up failed: the run-time is not shut down by it, so the test does it.
    runtime_stop(nullptr, 0);
}
