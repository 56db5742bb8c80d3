// The fixture of the message, box and log tests: a memory layer and a scratch folder per
// test, no display (boxes are written out), and the message file looked for afresh.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "runtime/msg.h"
#include "runtime/sysvars.h"
#include "support/fixtures.h"

namespace vx::test {

class MsgFixture : public MemTest {
protected:
    explicit MsgFixture(const char* tag) : dir_(tag) {}
    void SetUp() override {
        ::unsetenv("DISPLAY");
        ::unsetenv("WAYLAND_DISPLAY");
        dir_.enter();
        vx::rt::msg_shutdown();  // whatever an earlier test left looked for
        MemTest::SetUp();
        vx::rt::sysint_reset();
    }
    void TearDown() override {
        vx::rt::msg_shutdown();
        vx::rt::sysint_reset();
        MemTest::TearDown();
    }
    void write(const std::string& name, const std::string& body) {
        std::ofstream(dir_.path() / name, std::ios::binary) << body;
    }
    std::string read(const std::string& name) { return slurp(dir_.path() / name); }
    ScratchDir dir_;
};

}  // namespace vx::test
