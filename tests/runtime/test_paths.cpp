// Folder names, %NAME% substitution, path arithmetic and text files.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "runtime/arena.h"
#include "runtime/env.h"
#include "runtime/error.h"
#include "runtime/files.h"
#include "runtime/paths.h"
#include "runtime/startup.h"
#include "runtime/sysvars.h"
#include "support/fixtures.h"

using namespace vx::rt;
namespace fs = std::filesystem;

namespace {

using vx::test::slurp;
using txt_fn = std::string (*)(Str);
constexpr txt_fn txt = vx::test::text;

// A started run-time in a folder of its own.
class Paths : public ::testing::Test {
protected:
    void SetUp() override {
        dir_.enter();
        runtime_services() = RuntimeServices{};
        ASSERT_EQ(runtime_start(nullptr, S("/opt/app/bin/prog /HOST=db1"), S("VXW01Q:Varnox"), S("d"), 6, nullptr), 0);
        mark_ = tmp_mark();
    }
    void TearDown() override {
        tmp_release(mark_);
        runtime_stop(nullptr, 0);
    }
    std::string cwd() const { return dir_.path().string(); }
    vx::test::ScratchDir dir_{"paths"};
    u16 mark_ = 0;
};

}  // namespace

TEST_F(Paths, JoinAndExtension) {
    EXPECT_EQ(txt(path_join(S("a"), S("b"))), "a/b");
    EXPECT_EQ(txt(path_join(S("a/"), S("b"))), "a/b");
    EXPECT_EQ(txt(path_join(S("a\\"), S("b"))), "a\\b");
    EXPECT_EQ(txt(path_join(S(""), S("b"))), "b");
    EXPECT_EQ(txt(path_join(S("a"), S(""))), "a");
    EXPECT_EQ(txt(path_join(S("a"), S("/b"))), "a/b");
    EXPECT_EQ(txt(path_ext_join(S("f"), S("txt"))), "f.txt");
    EXPECT_EQ(txt(path_ext_join(S("f"), S(""))), "f");
    EXPECT_EQ(txt(path_ext_join(S(""), S("txt"))), "txt");
    EXPECT_EQ(str_error_code(path_join(str_error(145), S("b"))), 145);
}

TEST_F(Paths, Parts) {
    struct Case { const char* path; u16 parts; const char* out; } cases[] = {
        {"/usr/lib/file.tar.gz", 8, "gz"},
        {"/usr/lib/file.tar.gz", 4, "file.tar"},
        {"/usr/lib/file.tar.gz", 7, "/usr/lib/file.tar"},
        {"/usr/lib/file.tar.gz", 3, "/usr/lib"},
        {"/usr/lib/file.tar.gz", 12, "file.tar.gz"},
        {"..\\data\\x.dat", 6, "..\\data/x"},
        {"dir.v2/name", 8, ""},
        {"name", 6, "name"},
        {"/name", 2, "/"},
        {"C:\\x\\y.txt", 1, "C:"},
        {"C:\\x\\y.txt", 3, "C:\\x"},
        {"C:y.txt", 5, "C:y"},
    };
    for (const auto& c : cases) EXPECT_EQ(txt(path_part(str_from_cstr(c.path), c.parts)), c.out) << c.path << " " << c.parts;
}

TEST_F(Paths, Relative) {
    EXPECT_EQ(txt(path_relative(S("/a/b/c"), S("../data"))), "/a/b/data");
    EXPECT_EQ(txt(path_relative(S("/a/b/c"), S("..\\..\\x"))), "/a/x");
    EXPECT_EQ(txt(path_relative(S("/a/b"), S("Help"))), "/a/b/Help");
    EXPECT_EQ(txt(path_relative(S("/a/b"), S("./x/./y"))), "/a/b/x/y");
    EXPECT_EQ(txt(path_relative(S(""), S("Backups"))), "Backups");
    EXPECT_EQ(txt(path_relative(S("/a/b"), S(".."))), "/a");
}

TEST_F(Paths, FolderNames) {
    EXPECT_EQ(txt(path_resolve(APPPATH_RUNPATH)), "/opt/app/bin");
    EXPECT_EQ(txt(path_resolve(APPPATH_DEFAULT)), "/opt/app/bin");
    // No drive letters: the documents rule applies, which is the current folder here.
    EXPECT_EQ(txt(path_resolve(APPPATH_DOCS)), cwd());
    EXPECT_EQ(txt(path_resolve(APPPATH_DATA)), dir_.path().parent_path().string() + "/data");
    EXPECT_EQ(txt(path_resolve(APPPATH_HELP)), "/opt/app/bin/Help");
    EXPECT_EQ(txt(path_resolve(APPPATH_BACKUP)), "Backups");
    env_set(ENV_DB, S("'srv',base,u,p"));
    EXPECT_EQ(txt(path_resolve(APPPATH_BACKREL)), cwd() + "/Backups/srv/BASE");
    EXPECT_EQ(txt(path_resolve(99)), "");
}

TEST_F(Paths, ExpandNames) {
    env_set(ENV_DB, S("'Host1',base,user,pw"));
    ::setenv("TEMP", "/var/tmpx", 1);
    struct Case { const char* in; const char* out; } cases[] = {
        {"%APNAME%PARINI.%DATABASE_HOST%.DAT", "VXPARINI.Host1.DAT"},
        {"%LANGMODULE.DOCPATH%", "ES"},
        {"%DOCPATH%x", "x"},
        {"%LANGMODULE%", ""},
        {"%XYZ%abc", "abc"},
        {"%temp%/f", "/var/tmpx/f"},
        {"%APPPATH_RUNPATH%/x", "/opt/app/bin/x"},
        // After a name fell through to the entries, folder names read as empty.
        {"%APNAME%%APPPATH_RUNPATH%", "VX"},
        {"no names", "no names"},
        {"50%", "50%"},
        {"%%x", "%%x"},
        {"%DATABASE_DBNAME%", "BASE"},
        {"%HELPPATH%", "/opt/app/bin/Help"},
        {"%DATAPATH%", "/opt/app/bin"},
    };
    for (const auto& c : cases) EXPECT_EQ(txt(path_expand(str_from_cstr(c.in))), c.out) << c.in;
    ::unsetenv("TEMP");
}

TEST_F(Paths, ExpandEndsOnSelfReferences) {
    ::setenv("TEMP", "%TEMP%%TEMP%", 1);
    // The value doubles the reference each round: the expansion must end, either when the
    // text no longer fits or after its last round.
    Str r = path_expand(S("%TEMP%"));
    EXPECT_TRUE(r.ok() || str_error_code(r) >= 128);
    ::unsetenv("TEMP");
}

TEST_F(Paths, FindAndLocalise) {
    fs::create_directories("d1");
    fs::create_directories("d2");
    std::ofstream("d2/VXMENU.PMT") << "x";
    EXPECT_EQ(txt(path_find(S("d1,d2"), S("VXMENU.PMT"))), "d2/VXMENU.PMT");
    EXPECT_EQ(txt(path_find(S("d1,'d2'"), S("vxmenu.pmt"))), "d2/VXMENU.PMT");  // case retried
    EXPECT_EQ(txt(path_find(S("d1,d2"), S("none.pmt"))), "");
    EXPECT_EQ(txt(path_localised(S("HELP.HLP"), 2)), "HELP_es.HLP");
    EXPECT_EQ(txt(path_localised(S("/h/HELP.HLP"), 1)), "/h/HELP_en.HLP");
    EXPECT_EQ(txt(path_localised(S("HELP.HLP"), 0)), "HELP.HLP");
    EXPECT_EQ(lang_index(S("FR")), 3);
}

TEST_F(Paths, MakeFolders) {
    EXPECT_EQ(folder_make(S("a/b\\c")), 0);
    EXPECT_TRUE(fs::is_directory("a/b/c"));
    EXPECT_EQ(folder_make(S("a/b/c/")), 0);
    EXPECT_EQ(folder_make(S("")), E_DATA);
    std::ofstream("plain") << "x";
    EXPECT_EQ(folder_make(S("plain/sub")), E_DATA);
    EXPECT_EQ(txt(error_detail()), "plain/sub");
}

TEST_F(Paths, FileKindsAndTempNames) {
    EXPECT_EQ(txt(file_kind_ext(KIND_PMT, true)), "PMT");
    EXPECT_EQ(txt(file_kind_ext(KIND_CFG | KIND_LOWER, true)), "cfg");
    EXPECT_EQ(txt(file_kind_ext(1, false)), "");
    EXPECT_EQ(txt(file_kind_ext(5, false)), "TMP");
    Str a = temp_name(KIND_TXT);
    Str b = temp_name(KIND_TXT);
    ASSERT_TRUE(a.ok() && b.ok());
    EXPECT_NE(txt(a), txt(b));
    EXPECT_EQ(txt(a).substr(txt(a).size() - 4), ".TXT");
    EXPECT_EQ(txt(a).find('/'), std::string::npos);
    EXPECT_TRUE(fs::exists(txt(a)));
}

TEST_F(Paths, TextFilesReadLines) {
    std::ofstream("in.txt", std::ios::binary) << "one\r\ntwo\n\nlast";
    u16 h = file_open(S("in.txt"), FM_READ);
    ASSERT_TRUE(file_handle_ok(h));
    EXPECT_GE(h, 3);
    EXPECT_EQ(file_size(h), 14);
    EXPECT_EQ(txt(file_read_line(h)), "one");
    EXPECT_EQ(txt(file_read_line(h)), "two");
    EXPECT_EQ(txt(file_read_line(h)), "");
    EXPECT_FALSE(file_at_end(h));
    EXPECT_EQ(txt(file_read_line(h)), "last");
    EXPECT_TRUE(file_at_end(h));
    EXPECT_EQ(str_error_code(file_read_line(h)), 130);
    EXPECT_EQ(file_close(h), 0);
    EXPECT_EQ(file_close(h), E_BADFILENUMBER);
}

// A file written afresh (the font file, the server paths, WRITE with mode 2) replaces the
// old one in one step: a write that fails half-way, here at the file size limit, keeps it.
TEST_F(Paths, FileWrittenAfreshIsNeverLeftHalfWritten) {
    std::ofstream("f.txt", std::ios::binary) << "old\r\n";
    pid_t pid = ::fork();
    if (pid == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit r{16, 16};
        ::setrlimit(RLIMIT_FSIZE, &r);
        std::string big(1000, 'n');
        u16 rc = file_write_all(S("f.txt"), FILE_DELETE_FIRST, Str{big.data(), u16(big.size())});
        ::_exit(rc == E_FILEIO ? 0 : 1);
    }
    int status = -1;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(slurp("f.txt"), "old\r\n");
    EXPECT_EQ(file_write_all(S("f.txt"), FILE_DELETE_FIRST, S("new")), 0);
    EXPECT_EQ(slurp("f.txt"), "new");
    error_clear();
    EXPECT_EQ(file_write_all(S("nofolder/f.txt"), FILE_DELETE_FIRST, S("x")), E_FILEIO);
    EXPECT_EQ(txt(error_detail()), "nofolder/f.txt");
    EXPECT_EQ(error_code(), E_FILEIO);
}

TEST_F(Paths, TextFilesWriteAndAppend) {
    EXPECT_EQ(file_write_all(S("out.txt"), FILE_AT_END, S("ab")), 0);
    EXPECT_EQ(file_write_all(S("out.txt"), FILE_AT_END, S("cd")), 0);
    EXPECT_EQ(slurp("out.txt"), "abcd");
    EXPECT_EQ(file_write_all(S("out.txt"), 1, S("X")), 0);
    EXPECT_EQ(slurp("out.txt"), "aXcd");
    EXPECT_EQ(file_write_all(S("out.txt"), FILE_DELETE_FIRST, S("new")), 0);
    EXPECT_EQ(slurp("out.txt"), "new");
    // Writing in pieces gives the whole text.
    std::string big(5000, 'z');
    big[4999] = 'e';
    u16 h = file_open(S("big.txt"), FM_WRITE);
    ASSERT_TRUE(file_handle_ok(h));
    EXPECT_EQ(file_write(h, FILE_AT_END, Str{big.data(), u16(big.size())}), 5000);
    EXPECT_EQ(file_write_line(h, S("!")), 3);
    file_close(h);
    EXPECT_EQ(slurp("big.txt"), big + "!\r\n");
}

TEST_F(Paths, TextFilesModesAndLimits) {
    // Reading for update creates a missing file; reading without update does not.
    u16 h = file_open(S("made.txt"), FM_READ);
    ASSERT_TRUE(file_handle_ok(h));
    file_close(h);
    EXPECT_TRUE(fs::exists("made.txt"));
    EXPECT_EQ(file_open(S("absent.txt"), FM_READ | FM_NOUPDATE), E_FILENOTFOUND);
    EXPECT_EQ(error_code(), E_FILENOTFOUND);
    EXPECT_EQ(txt(error_detail()), "absent.txt");
    EXPECT_FALSE(fs::exists("absent.txt"));
    // A file that may only be read is opened for reading, never emptied.
    std::ofstream("ro.txt") << "keep";
    fs::permissions("ro.txt", fs::perms::owner_read);
    if (::geteuid() != 0) {
        h = file_open(S("ro.txt"), FM_READ);
        ASSERT_TRUE(file_handle_ok(h));
        EXPECT_EQ(txt(file_read_line(h)), "keep");
        file_close(h);
    }
    EXPECT_EQ(slurp("ro.txt"), "keep");
    // Names and handles.
    EXPECT_EQ(file_open(S(""), FM_READ), E_DATA);
    std::string longname(384, 'n');
    EXPECT_EQ(file_open(Str{longname.data(), u16(longname.size())}, FM_READ | FM_QUIET), E_DATA);
    EXPECT_EQ(file_open(S("CON"), FM_WRITE), 1);
    EXPECT_EQ(file_open(S("con"), FM_READ), 0);
    u16 opened[FILE_HANDLES];
    u16 count = 0;
    for (;;) {
        u16 k = file_open(S("made.txt"), FM_READ | FM_QUIET);
        if (!file_handle_ok(k)) {
            EXPECT_EQ(k, E_DATAOUTBOUND);
            break;
        }
        opened[count++] = k;
    }
    EXPECT_EQ(count, FILE_HANDLES - 3);
    for (u16 i = 0; i < count; i++) file_close(opened[i]);
}

TEST_F(Paths, CaseInsensitiveOpen) {
    std::ofstream("Mixed.TXT", std::ios::binary) << "hi\n";
    u16 h = file_open(S("mixed.txt"), FM_READ | FM_NOUPDATE);
    ASSERT_TRUE(file_handle_ok(h));
    EXPECT_EQ(txt(file_read_line(h)), "hi");
    file_close(h);
    EXPECT_TRUE(file_exists(S("MIXED.txt")));
    EXPECT_FALSE(file_exists(S("other.txt")));
}

TEST_F(Paths, InputNextLine) {
    EXPECT_EQ(txt(input_next_line()), "");
    std::ofstream("answers.txt", std::ios::binary) << "a,b\r\n\\ESC\r\n";
    u16 h = file_open(S("answers.txt"), FM_READ | FM_NOUPDATE);
    ASSERT_TRUE(file_handle_ok(h));
    sysint_set(SV_INHND, i16(h));
    EXPECT_EQ(txt(input_next_line()), "a,b");
    EXPECT_EQ(txt(input_next_line()), "\\ESC");
    EXPECT_EQ(txt(input_next_line()), "");
    sysint_set(SV_INHND, 0);
    file_close(h);
}
