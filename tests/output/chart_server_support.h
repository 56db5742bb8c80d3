// The fixture of the chart tests that run definitions against the test server: the
// data-file fixture with tables made by the test, the window layer on Qt's offscreen
// platform answering from INPUT lines, and the data folder made the current one.
#pragma once

#include <cstdlib>
#include <string>

#include "data/datafile_support.h"
#include "platform/gui.h"
#include "screens/install.h"

namespace vx::test {

class ChartServerTest : public DataFileTest {
protected:
    void start(const char* tables) {
        ::unsetenv("DISPLAY");
        ::unsetenv("WAYLAND_DISPLAY");
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        DataFileTest::SetUp();
        ASSERT_TRUE(platform::gui_init());
        scr::screens_reset();
        platform::gui_force_interactive(false);
        expr::eval_install();
        setup_tables(tables);
        ASSERT_EQ(rt::env_set(rt::ENV_DATA, rt::S(".")), 0);
    }
    void TearDown() override {
        scr::screens_reset();
        DataFileTest::TearDown();
    }
};

}  // namespace vx::test
