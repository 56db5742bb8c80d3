// The report window on Qt's offscreen platform: its class, title, buttons (the items of
// entry 9 of list 0, else "Cancelar") and text; a button leaves its number in _CUREDFLD,
// Escape closes it; unattended, the text goes
// to the OUTPUT file. Also a report on the screen device reaching the window.
#include <QTest>
#include <QTimer>
#include <fstream>
#include <functional>
#include <sstream>

#include "device_support.h"
#include "input_lines.h"
#include "output/report.h"
#include "platform/qt_access.h"
#include "platform/window.h"
#include "runtime/env.h"
#include "runtime/sysvars.h"

using namespace vx::out;
using namespace vx::rt;
namespace pf = vx::platform;
namespace scr = vx::scr;

namespace {

constexpr int WATCHDOG_MS = 5000;
constexpr const char* COLLECTED = "Linea uno\r\nLinea \xF1 dos\r\n";

class ReportWindow : public vx::test::DeviceTest {
protected:
    ReportWindow() : DeviceTest("repwin") {}
    void SetUp() override {
        DeviceTest::SetUp();
        std::ofstream("col.txt", std::ios::binary) << COLLECTED;
        ASSERT_EQ(env_set(ENV_REPORT, str_empty()), 0);
        sysint_set(SV_CUREDFLD, 77);
    }
    // Shows the window as a person would answer it: drive runs once its loop runs.
    u16 show_attended(std::function<void(scr::WinId)> drive) {
        attended();
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [] {
            ADD_FAILURE() << "the report window was still open";
            pf::window_destroy(report_window());
        });
        watchdog.start(WATCHDOG_MS);
        QTimer::singleShot(0, [&] {
            scr::WinId w = report_window();
            ASSERT_NE(w, 0u);
            drive(w);
        });
        return report_window_show(S("col.txt"));
    }
    static std::string read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
};

}  // namespace

TEST_F(ReportWindow, ButtonsOfTheEnvironmentEntryLeaveTheirNumber) {
    ASSERT_EQ(env_set(ENV_REPORT, S("Imprimir,'Salir'")), 0);
    u16 rc = show_attended([](scr::WinId w) {
        EXPECT_EQ(pf::window_title(w), REPORT_WINDOW);
        EXPECT_EQ(pf::window_class(w), REPORT_CLASS);
        EXPECT_EQ(pf::control_text(w, WINDOW_BUTTON_BASE), "Imprimir");
        EXPECT_EQ(pf::control_text(w, WINDOW_BUTTON_BASE + 1), "Salir");
        EXPECT_FALSE(pf::control_exists(w, WINDOW_BUTTON_BASE + 2));
        EXPECT_EQ(pf::control_text(w, REPORT_TEXT_ID), COLLECTED);
        EXPECT_EQ(pf::control_kind(w, REPORT_TEXT_ID), pf::CtlKind::Text);
        QRect text = pf::control_widget(w, REPORT_TEXT_ID)->geometry();
        QRect button = pf::control_widget(w, WINDOW_BUTTON_BASE)->geometry();
        EXPECT_GT(text.top(), button.bottom()) << "the text lies below the buttons";
        QTest::mouseClick(pf::control_widget(w, WINDOW_BUTTON_BASE + 1), Qt::LeftButton);
    });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(sysint_get(SV_CUREDFLD), 1);
    EXPECT_EQ(report_window(), 0u);
}

TEST_F(ReportWindow, WithoutButtonsACancelButtonAndEscapeCloses) {
    u16 rc = show_attended([](scr::WinId w) {
        EXPECT_EQ(pf::control_text(w, WINDOW_BUTTON_BASE), "Cancelar");
        EXPECT_FALSE(pf::control_exists(w, WINDOW_BUTTON_BASE + 1));
        QTest::keyClick(pf::control_widget(w, REPORT_TEXT_ID), Qt::Key_Escape);
    });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(sysint_get(SV_CUREDFLD), 77) << "Escape chooses no button";
}

TEST_F(ReportWindow, UnattendedTheTextGoesToTheOutputFile) {
    command_line("vxrun /BATCH /OUTPUT='out.txt'");
    // The window closes as soon as it is made; what nobody reads is not loaded into it (a
    // listing of millions of lines took the control half a minute and a gigabyte to lay out).
    std::string shown = "never made";
    QTimer::singleShot(0, [&] {
        if (scr::WinId w = report_window()) shown = pf::control_text(w, REPORT_TEXT_ID);
    });
    EXPECT_EQ(report_window_show(S("col.txt")), 0);
    EXPECT_EQ(read("out.txt"), COLLECTED);
    EXPECT_EQ(shown, "");
    EXPECT_EQ(report_window(), 0u);
    EXPECT_EQ(report_window_show(S("missing.txt")), E_DISKIO);
}

TEST_F(ReportWindow, AReportOnTheScreenEndsInTheWindow) {
    report_window_set(report_window_show);
    std::ofstream("pantalla.tpl", std::ios::binary) << "01001Hola\r\n02003\\    \\\x17 'mundo'\r\n";
    ReportRequest q;
    q.name = "pantalla.tpl";
    q.device = "CON /LP:0";
    std::string shown;
    bool closing = false;
    attended();
    // The run pumps events before the window opens (its progress window): wait for it.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        scr::WinId w = report_window();
        if (!w || closing) return;  // a closing window may tick once more
        shown = pf::control_text(w, REPORT_TEXT_ID);
        closing = true;
        pf::window_close(w);
    });
    poll.start(10);
    ASSERT_EQ(env_set(ENV_DATA, S(".")), 0);
    EXPECT_EQ(report_run(q), 0) << vx::test::text(error_detail());
    poll.stop();
    EXPECT_EQ(shown, "Hola\r\n  mundo \r\n");
    // Unattended, the same report is written out.
    vx::platform::gui_force_interactive(false);
    command_line("vxrun /BATCH /OUTPUT='out.txt'");
    EXPECT_EQ(report_run(q), 0);
    EXPECT_EQ(read("out.txt"), "Hola\r\n  mundo \r\n");
}
