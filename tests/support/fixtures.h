// Helpers shared by the test programs: readable texts of descriptors, a memory layer per
// test, and a scratch folder that a test runs in.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "runtime/arena.h"
#include "runtime/error.h"

namespace vx::test {

// The bytes of a descriptor, or "<error N>" for an error descriptor.
inline std::string text(vx::rt::Str s) {
    return s.ok() ? std::string(s.p, s.n) : "<error " + std::to_string(vx::rt::str_error_code(s)) + ">";
}

inline std::string slurp(const std::filesystem::path& name) {
    std::ifstream f(name, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), {});
}

// A memory layer (blocks, arena, store) of its own for each test.
class MemTest : public ::testing::Test {
protected:
    virtual vx::rt::u16 arena_kb() const { return vx::rt::ARENA_KB_DEFAULT; }
    void SetUp() override {
        vx::rt::mem_set_arena_size(arena_kb());
        ASSERT_EQ(vx::rt::mem_init(), 0);
        vx::rt::error_clear();
    }
    void TearDown() override {
        EXPECT_EQ(vx::rt::mem_shutdown(), 0);
        vx::rt::mem_set_arena_size(vx::rt::ARENA_KB_DEFAULT);
        vx::rt::error_clear();
    }
};

// A fresh folder named after the test, made the current folder while the test runs.
class ScratchDir {
public:
    explicit ScratchDir(const char* tag) {
        auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = std::filesystem::temp_directory_path() /
                (std::string("vx_") + tag + "_" + std::to_string(::getpid()) + "_" + info->name());
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir() {
        if (entered_) std::filesystem::current_path(old_);
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    void enter() {
        old_ = std::filesystem::current_path();
        std::filesystem::current_path(path_);
        entered_ = true;
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_, old_;
    bool entered_ = false;
};

}  // namespace vx::test
