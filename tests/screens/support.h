// The fixture of the window-layer tests: a memory layer, a scratch folder, Qt's offscreen
// platform, and the window layer back to its start-up defaults around each test. Boxes that
// a test makes appear by mistake are closed and counted, so that no test waits for a person.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/gui.h"
#include "runtime/env.h"
#include "runtime/error.h"
#include "runtime/sysvars.h"
#include "screens/install.h"
#include "screens/screen.h"
#include "screens/window.h"
#include "support/fixtures.h"

namespace vx::test {

class ScreenTest : public MemTest {
protected:
    explicit ScreenTest(const char* tag = "scr") : dir_(tag) {}
    // VX_TEST_QPA=xcb runs the tests on a real display instead (under xvfb-run).
    void SetUp() override {
        const char* platform = std::getenv("VX_TEST_QPA");
        if (!platform || !*platform) {
            ::unsetenv("DISPLAY");
            ::unsetenv("WAYLAND_DISPLAY");
        }
        ::setenv("QT_QPA_PLATFORM", platform && *platform ? platform : "offscreen", 1);
        dir_.enter();
        MemTest::SetUp();
        rt::sysint_reset();
        ASSERT_TRUE(platform::gui_init());
        scr::screens_reset();
        platform::gui_force_interactive(false);
        boxes_ = 0;
    }
    void TearDown() override {
        attended_ = false;
        platform::gui_force_interactive(false);
        scr::screens_reset();
        rt::sysint_reset();
        MemTest::TearDown();
    }

    // For tests whose premise is that no display is there.
    static bool display_named() {
        const char* platform = std::getenv("VX_TEST_QPA");
        return platform && *platform;
    }

    // Loops wait as for a person; a box that opens is closed at once and counted.
    // The watch stays armed for the whole test: a box may open long after the last event
    // was handled (slow builds), and nothing else would ever close it.
    void attended() {
        platform::gui_force_interactive(true);
        if (!attended_) {
            attended_ = true;
            close_boxes_soon();
        }
    }
    static void close_boxes_soon() {
        QTimer::singleShot(20, [] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                boxes_++;
                box->reject();
            }
            if (attended_) close_boxes_soon();
        });
    }
    void command_line(const char* line) {
        ASSERT_EQ(rt::env_set(rt::ENV_CMDLINE, rt::str_from_cstr(line)), 0);
    }
    void write(const std::string& name, const std::string& body) {
        std::ofstream(dir_.path() / name, std::ios::binary) << body;
    }
    std::string read(const std::string& name) { return slurp(dir_.path() / name); }

    // A window of a kind with a default grid; fails the test when it cannot be made.
    scr::WinId open(rt::u16 kind = scr::KIND_DIALOG, rt::u16 cols = 40, rt::u16 rows = 10) {
        scr::WindowSpec spec;
        spec.kind = kind;
        spec.title = rt::S("Prueba");
        spec.class_name = rt::S("Test");
        spec.cols = cols;
        spec.rows = rows;
        scr::WinId w = 0;
        EXPECT_EQ(scr::window_create(spec, &w), 0);
        return w;
    }

    ScratchDir dir_;
    static inline int boxes_ = 0;
    static inline bool attended_ = false;
};

}  // namespace vx::test
