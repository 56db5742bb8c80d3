// Process launch: each element of the argument vector reaches the program as one argument,
// nothing goes through a shell, the program is not waited for, and a program that does not
// exist is reported.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/os.h"
#include "platform/process.h"

namespace fs = std::filesystem;
using vx::os::process_start;

namespace {

class Process : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("vx_process_" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        script_ = (dir_ / "args.sh").string();
        std::ofstream(script_) << "#!/bin/sh\nfor a in \"$@\"; do printf '[%s]\\n' \"$a\"; done > '"
                               << (dir_ / "args.txt").string() << ".part'\nmv '"
                               << (dir_ / "args.txt").string() << ".part' '" << (dir_ / "args.txt").string()
                               << "'\n";
        fs::permissions(script_, fs::perms::owner_all);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string args_seen() {
        for (int i = 0; i < 300 && !fs::exists(dir_ / "args.txt"); i++)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::ifstream f(dir_ / "args.txt");
        return std::string((std::istreambuf_iterator<char>(f)), {});
    }
    fs::path dir_;
    std::string script_;
};

TEST_F(Process, EachElementIsOneArgument) {
    ASSERT_TRUE(process_start({script_, "a b", "$(touch hacked)", "x;y", "", "'q'"}));
    EXPECT_EQ(args_seen(), "[a b]\n[$(touch hacked)]\n[x;y]\n[]\n['q']\n");
    EXPECT_FALSE(fs::exists("hacked"));
}

TEST_F(Process, TheProgramIsNotWaitedFor) {
    auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(process_start({"sleep", "3"}));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST_F(Process, MissingProgramsAndEmptyVectors) {
    EXPECT_FALSE(process_start({"/no/such/program", "x"}));
    EXPECT_FALSE(process_start({"no-such-program-anywhere-vx"}));
    EXPECT_FALSE(process_start({}));
    EXPECT_FALSE(process_start({""}));
}

}  // namespace
