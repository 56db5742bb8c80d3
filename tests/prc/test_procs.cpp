// The table of loaded procedures: loading files (as named, from the data folders, in
// another case), missing and empty files, loading one file twice, finding entry points
// newest first, the table's limit, unloading with stable handles, and the release at
// shutdown.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "prc/compile.h"
#include "runtime/env.h"
#include "runtime/startup.h"
#include "support.h"

using namespace vx::rt;
using namespace vx::prc;
using vx::test::text;

namespace {

class Procs : public vx::test::PrcTest {
protected:
    void SetUp() override {
        PrcTest::SetUp();
        dir_.enter();
        ASSERT_EQ(env_set(ENV_DATA, S("nowhere,lib")), 0);
        std::filesystem::create_directory("lib");
        base_blocks_ = mem_blocks_in_use();
    }
    static void write(const std::string& name, const std::string& body) {
        std::ofstream f(name, std::ios::binary);
        f << body;
    }
    static u16 load(const char* name) {
        error_clear();
        error_detail_clear();
        return prc_load(str_from_cstr(name));
    }
    vx::test::ScratchDir dir_{"prc"};
    u16 base_blocks_ = 0;
};

}  // namespace

TEST_F(Procs, LoadsFromTheNameThenTheDataFolders) {
    write("main.prc", "; main\r\nDEF_FN go\r\nX=1\r\nEND\r\n");
    write("lib/lib.prc", "DEF_FN helper\nRETURN\n");
    write("lib/UPPER.PRC", "X=2");  // no terminator on the last line
    u16 a = load("main.prc");
    u16 b = load("lib.prc");
    u16 c = load("upper.prc");
    ASSERT_EQ(a, 0);
    ASSERT_EQ(b, 1);
    ASSERT_EQ(c, 2);
    EXPECT_EQ(prc_loaded(), 3);
    EXPECT_EQ(prc_table_count(), 3);
    const PrcRecord* r = prc_record(a);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->count, 2);
    EXPECT_EQ(text(prc_text(*r, 0)), "X=1");
    EXPECT_EQ(text(prc_file_name(*r)), "main.prc");
    EXPECT_EQ(r->error, 0);
    EXPECT_EQ(text(prc_text(*prc_record(c), 0)), "X=2");
}

TEST_F(Procs, MissingEmptyOrUnreadableFilesFailWith164) {
    EXPECT_EQ(load("absent.prc"), E_FILENOTFOUND);
    EXPECT_EQ(text(error_detail()), "absent.prc");
    EXPECT_EQ(error_current().module, M_EXEC_COMPILER);
    write("empty.prc", "");
    EXPECT_EQ(load("empty.prc"), E_FILENOTFOUND);
    EXPECT_EQ(text(error_detail()), "empty.prc");
    EXPECT_EQ(load("lib"), E_FILENOTFOUND);  // a folder
    EXPECT_EQ(load(""), E_FILENOTFOUND);
    EXPECT_EQ(prc_loaded(), 0);
    EXPECT_EQ(prc_table_count(), 0);
    // A file of one empty line has a line: it compiles to nothing.
    write("blank.prc", "\n");
    EXPECT_EQ(load("blank.prc"), 0);
    EXPECT_EQ(prc_record(0)->count, 0);
}

TEST_F(Procs, CompileFaultsAppendNothing) {
    write("bad.prc", "X=1\nGOTO missing\n");
    EXPECT_EQ(load("bad.prc"), E_SYNTAX);
    EXPECT_EQ(text(error_detail()), "\r\nLabel 'missing' in line 2 (+ remmarks) not found");
    EXPECT_EQ(prc_table_count(), 0);
    EXPECT_EQ(mem_blocks_in_use(), base_blocks_);
}

TEST_F(Procs, ALineLongerThanTheLimitIsRefusedNotSplit) {
    write("long.prc", "X=1\n;" + std::string(70000, 'r') + "\nY=2\n");
    EXPECT_EQ(load("long.prc"), E_STRINGTOOLONG);
    EXPECT_EQ(text(error_detail()), "\r\nLine longer than 32767 bytes in line 2 (+ remmarks)");
}

TEST_F(Procs, BinaryFilesFailCleanly) {
    std::string junk;
    for (int i = 0; i < 4096; i++) junk += char((i * 7919) & 0xFF);
    write("junk.bin", junk);
    u16 rc = load("junk.bin");
    EXPECT_TRUE(rc == E_SYNTAX || rc == 0) << rc;
    EXPECT_EQ(prc_loaded(), rc == 0 ? 1 : 0);
}

TEST_F(Procs, SameFileTwiceGivesTwoRecordsAndEntriesAreFoundNewestFirst) {
    write("a.prc", "X=1\nDEF_FN shared\nY=2\nDEF_FN only_a\nZ=3\n");
    write("b.prc", "DEF_FN shared\nW=1\n");
    u16 first = load("a.prc");
    u16 second = load("a.prc");
    ASSERT_EQ(first, 0);
    ASSERT_EQ(second, 1);
    EXPECT_NE(prc_record(first)->block, prc_record(second)->block);
    u16 entry;
    EXPECT_EQ(prc_find(S("shared"), &entry), second);
    EXPECT_EQ(entry, 0);
    ASSERT_EQ(load("b.prc"), 2);
    EXPECT_EQ(prc_find(S("shared"), &entry), 2);
    EXPECT_EQ(prc_find(S("only_a"), &entry), second);
    EXPECT_EQ(entry, 1);
    EXPECT_EQ(prc_record(second)->entries[entry].pos, 2);
    EXPECT_EQ(prc_find(S("SHARED"), &entry), NOT_FOUND);
    EXPECT_EQ(entry, NOT_FOUND);
    EXPECT_EQ(prc_find(S(""), &entry), 2);  // no name: the newest record
    EXPECT_EQ(entry, NOT_FOUND);
    EXPECT_EQ(prc_unload(2), 0);
    EXPECT_EQ(prc_find(S("shared"), &entry), second);
}

TEST_F(Procs, TableLimitAnswers141AndKeepsNothing) {
    write("p.prc", "X=1\n");
    for (u16 i = 0; i < PRC_TABLE_MAX; i++) ASSERT_EQ(load("p.prc"), i);
    u16 blocks = mem_blocks_in_use();
    EXPECT_EQ(load("p.prc"), E_INTERNAL);
    EXPECT_EQ(error_current().code, E_INTERNAL);
    EXPECT_EQ(mem_blocks_in_use(), blocks);
    EXPECT_EQ(prc_loaded(), PRC_TABLE_MAX);
    // Freeing the newest slot makes room again.
    EXPECT_EQ(prc_unload(PRC_TABLE_MAX - 1), 0);
    EXPECT_EQ(load("p.prc"), PRC_TABLE_MAX - 1);
}

TEST_F(Procs, UnloadKeepsOtherHandlesAndShrinksFromTheEnd) {
    write("p.prc", "X=1\n");
    for (u16 i = 0; i < 4; i++) ASSERT_EQ(load("p.prc"), i);
    const void* third = prc_record(2)->block;
    EXPECT_EQ(prc_unload(1), 0);
    EXPECT_EQ(prc_record(1), nullptr);
    EXPECT_EQ(prc_record(2)->block, third);
    EXPECT_EQ(prc_table_count(), 4);
    EXPECT_EQ(prc_loaded(), 3);
    EXPECT_EQ(prc_unload(1), E_DATAOUTBOUND);  // already gone
    EXPECT_EQ(prc_unload(9), E_DATAOUTBOUND);
    EXPECT_EQ(prc_unload(3), 0);
    EXPECT_EQ(prc_table_count(), 3);
    EXPECT_EQ(prc_unload(2), 0);
    EXPECT_EQ(prc_table_count(), 1);  // the free slot 1 went with them
    EXPECT_EQ(load("p.prc"), 1);
}

TEST_F(Procs, UnloadPassesErrorCodesAndChecksTheOwner) {
    EXPECT_EQ(prc_unload(E_FILENOTFOUND), E_FILENOTFOUND);
    EXPECT_EQ(prc_unload(E_CANCELLED), E_CANCELLED);
    write("p.prc", "X=1\n");
    ASSERT_EQ(load("p.prc"), 0);
    EXPECT_EQ(prc_unload(0, TAG_STRUCTS), E_INTERNAL);
    EXPECT_NE(prc_record(0), nullptr);
    EXPECT_EQ(prc_unload(0, TAG_PROC), 0);
}

// Stopping the run-time releases what is loaded: a block still held would end the stop
// with 178.
TEST(PrcShutdown, StoppingTheRunTimeReleasesLoadedProcedures) {
    vx::test::ScratchDir dir("prcstop");
    dir.enter();
    std::ofstream("p.prc") << "X=1\n";
    runtime_services() = RuntimeServices{};
    prc_install();
    ASSERT_EQ(runtime_start(nullptr, S("prog"), S("VXW01Q:Varnox"), S("Visor"), 0, nullptr), 0);
    ASSERT_EQ(prc_load(S("p.prc")), 0);
    ASSERT_EQ(prc_load(S("p.prc")), 1);
    EXPECT_EQ(prc_unload(0), 0);
    EXPECT_EQ(runtime_stop(nullptr, 0), 0);
    EXPECT_EQ(prc_loaded(), 0);
    EXPECT_EQ(prc_table_count(), 0);
    runtime_services() = RuntimeServices{};
}
