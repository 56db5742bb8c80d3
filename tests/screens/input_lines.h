// The INPUT file of the unattended tests: lines written to "in.txt" in the current folder and
// held open as the run-time holds the INPUT file while a piece of the test runs.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "runtime/files.h"
#include "runtime/sysvars.h"

namespace vx::test {

template <typename F>
void with_input_lines(const std::string& lines, F f) {
    std::ofstream("in.txt", std::ios::binary) << lines;
    rt::u16 h = rt::file_open(rt::S("in.txt"), rt::FM_READ | rt::FM_NOUPDATE);
    ASSERT_TRUE(rt::file_handle_ok(h));
    rt::sysint_set(rt::SV_INHND, rt::i16(h));
    f();
    rt::sysint_set(rt::SV_INHND, 0);
    rt::file_close(h);
}

}  // namespace vx::test
