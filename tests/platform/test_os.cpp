// Files replaced in one step, copies that never empty their target first, the identity of two
// names, and the listing of a folder's files by pattern.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/os.h"
#include "support/fixtures.h"

namespace fs = std::filesystem;
using vx::test::slurp;

namespace {

class Os : public ::testing::Test {
protected:
    void SetUp() override { dir_.enter(); }
    static void write(const char* name, const std::string& text) { std::ofstream(name, std::ios::binary) << text; }
    static fs::perms mode(const char* name) { return fs::status(name).permissions() & fs::perms::all; }
    // The names of the folder, for what a replacement may have left behind.
    static std::string names() {
        std::string all;
        for (const auto& e : fs::directory_iterator(".")) all += e.path().filename().string() + " ";
        return all;
    }
    // Runs f in a child process that may write files of at most `limit` bytes; its exit status.
    template <typename F>
    static int with_file_limit(rlim_t limit, F f) {
        pid_t pid = ::fork();
        if (pid == 0) {
            ::signal(SIGXFSZ, SIG_IGN);
            rlimit r{limit, limit};
            ::setrlimit(RLIMIT_FSIZE, &r);
            ::_exit(f() ? 0 : 1);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    vx::test::ScratchDir dir_{"os"};
};

}  // namespace

TEST_F(Os, ReplacingKeepsTheModeOrMakesTheFilePrivate) {
    write("a.txt", std::string(100, 'x'));
    fs::permissions("a.txt", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_TRUE(vx::os::file_replace("a.txt", "new", 3, false));
    EXPECT_EQ(slurp("a.txt"), "new");
    EXPECT_EQ(mode("a.txt"), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_TRUE(vx::os::file_replace("a.txt", "secret", 6, true));
    EXPECT_EQ(mode("a.txt"), fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_TRUE(vx::os::file_replace("b.txt", "", 0, false));
    EXPECT_TRUE(fs::exists("b.txt"));
    EXPECT_EQ(names().find(".a.txt"), std::string::npos) << names();
    EXPECT_FALSE(vx::os::file_replace("missing/c.txt", "x", 1, false));
    EXPECT_FALSE(vx::os::file_replace("", "x", 1, false));
}

// A write that fails half-way (here the file size limit) leaves the old file whole and no
// other file behind.
TEST_F(Os, AFailedReplacementLeavesTheOldFile) {
    write("keep.txt", "old contents\r\n");
    std::string big(4096, 'n');
    EXPECT_EQ(with_file_limit(100, [&] { return !vx::os::file_replace("keep.txt", big.data(), big.size(), false); }), 0);
    EXPECT_EQ(slurp("keep.txt"), "old contents\r\n");
    write("source.txt", big);
    EXPECT_EQ(with_file_limit(100, [] { return !vx::os::file_copy("source.txt", "keep.txt", true); }), 0);
    EXPECT_EQ(slurp("keep.txt"), "old contents\r\n");
    EXPECT_EQ(names().find(".keep.txt"), std::string::npos) << names();
}

TEST_F(Os, CopyOntoTheSameFileUnderAnotherNameLeavesItWhole) {
    fs::create_directory("d");
    write("d/t", "rows\n");
    fs::create_directory_symlink("d", "link");
    for (const char* other : {"d/./t", "d//t", "link/t", "./d/t"}) {
        EXPECT_TRUE(vx::os::same_file("d/t", other)) << other;
        ASSERT_TRUE(vx::os::file_copy(other, "d/t", false)) << other;
        EXPECT_EQ(slurp("d/t"), "rows\n") << other;
    }
    EXPECT_FALSE(vx::os::same_file("d/t", "d/u"));
    EXPECT_FALSE(vx::os::file_copy("d/u", "d/t", false));
    EXPECT_EQ(slurp("d/t"), "rows\n");
    ASSERT_TRUE(vx::os::file_copy("d/t", "private", true));
    EXPECT_EQ(mode("private"), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(slurp("private"), "rows\n");
}

// Only regular files are listed: never "." or "..", folders, pipes or names that would not
// come out of the list as one item.
TEST_F(Os, ListingMatchesRegularFilesOnly) {
    for (const char* f : {"b.prc", "A.PRC", "c.txt", "it's.prc", "a,b.prc"}) write(f, "x");
    fs::create_directory("dir.prc");
    ::mkfifo("pipe.prc", 0600);
    fs::create_symlink("b.prc", "ln.prc");
    fs::create_symlink("nowhere", "dead.prc");
    EXPECT_EQ(vx::os::list_matching(".", "*.prc", ','), "A.PRC,b.prc,ln.prc");
    EXPECT_EQ(vx::os::list_matching(".", "*", ','), "A.PRC,b.prc,c.txt,ln.prc");
    EXPECT_EQ(vx::os::list_matching("", "*.txt", '\0'), "c.txt");
    EXPECT_EQ(vx::os::list_matching("nofolder", "*", ','), "");
}
