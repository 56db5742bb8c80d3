// The progress window on real widgets of the offscreen platform: geometry and controls, the
// bar's range with its divisor and wrapping, the text panel, cancelling by button, Esc or
// close box while steps pump the events, the polled steps and closing.
#include <QCoreApplication>
#include <QProgressBar>
#include <QTest>
#include <QWidget>
#include <filesystem>

#include "platform/qt_access.h"
#include "runtime/arena.h"
#include "screens/progress.h"
#include "support.h"

using namespace vx::scr;
using namespace vx::rt;
namespace pf = vx::platform;
using vx::test::text;

namespace {

i64 fake_now = 0;
i64 fake_clock() { return fake_now; }

class Progress : public vx::test::ScreenTest {
protected:
    void SetUp() override {
        ScreenTest::SetUp();
        progress_reset();
    }
    void TearDown() override {
        progress_reset();
        ScreenTest::TearDown();
    }
    WinId win() { return progress_view().window; }
    QProgressBar* bar() {
        return qobject_cast<QProgressBar*>(pf::control_widget(win(), PROGRESS_BAR_ID));
    }
    // Steps of 1 until the count is done; the answer of the last.
    u16 steps(int count) {
        u16 rc = 0;
        for (int i = 0; i < count; i++) rc = progress_step(1);
        return rc;
    }
};

}  // namespace

TEST_F(Progress, WindowHasCaptionBarAndCancelButtonCentred) {
    ASSERT_EQ(progress_open(0, 0), 0);
    WinId w = win();
    ASSERT_NE(w, 0u);
    EXPECT_EQ(window_kind(w), KIND_PROGRESS);
    EXPECT_TRUE(window_is_modal(w));
    EXPECT_EQ(pf::window_title(w), "Proceso en progreso.....");
    pf::Rect cancel = pf::control_rect(w, PROGRESS_CANCEL_ID);
    EXPECT_EQ(pf::control_text(w, PROGRESS_CANCEL_ID), "Cancelar");
    EXPECT_EQ(cancel.x, 350);
    EXPECT_EQ(cancel.y, 35);
    EXPECT_EQ(cancel.w, 70);
    EXPECT_EQ(cancel.h, 20);
    pf::Rect inner = pf::control_rect(w, PROGRESS_BAR_ID);
    EXPECT_EQ(inner.x, 20);
    EXPECT_EQ(inner.y, 10);
    EXPECT_EQ(inner.w, 400);
    EXPECT_EQ(inner.h, 17);
    pf::Rect client = pf::window_client(w);
    EXPECT_EQ(client.w, 440);
    pf::Rect area = pf::work_area();
    EXPECT_NEAR(client.x, area.x + (area.w - 440) / 2, 2);

    EXPECT_EQ(progress_open(250, 10), 0) << "an open window stays as it is";
    EXPECT_EQ(win(), w);
    EXPECT_EQ(progress_view().width, 400);
    EXPECT_EQ(window_count(), 1);
}

TEST_F(Progress, WidthIsTheInnerControlsWithLimits) {
    struct Case {
        u16 given, width;
    } cases[] = {{0, 400}, {0xFFFF, 400}, {250, 250}, {10, PROGRESS_WIDTH_MIN}, {60000, PROGRESS_WIDTH_MAX}};
    for (const Case& c : cases) {
        ASSERT_EQ(progress_open(c.given, 0), 0) << c.given;
        EXPECT_EQ(progress_view().width, c.width) << c.given;
        EXPECT_EQ(pf::control_rect(win(), PROGRESS_BAR_ID).w, c.width) << c.given;
        EXPECT_EQ(pf::control_rect(win(), PROGRESS_CANCEL_ID).x, c.width - 50) << c.given;
        progress_close();
    }
}

TEST_F(Progress, LargeTotalIsReducedWithADivisor) {
    ASSERT_EQ(progress_open(0, 200000), 0);
    EXPECT_EQ(progress_step(1), 0);
    ProgressView v = progress_view();
    EXPECT_EQ(v.range, 50000u);
    EXPECT_EQ(v.divisor, 4);
    EXPECT_FALSE(v.wrap);
    ASSERT_NE(bar(), nullptr);
    EXPECT_EQ(bar()->maximum(), 50000);
    EXPECT_EQ(v.position, 0) << "one step of four";
    steps(3);
    EXPECT_EQ(progress_view().position, 1) << "four steps of 1 advance the bar by 1";
    progress_step(10);  // 10 more: 2 positions, 2 left over
    EXPECT_EQ(progress_view().position, 3);
    progress_step(0);   // counts as one step: 3 left over
    progress_step(1);
    EXPECT_EQ(progress_view().position, 4);
    EXPECT_EQ(bar()->value(), 4);
}

TEST_F(Progress, RangeHalvingStopsWhenItFits) {
    struct Case {
        u32 total, range;
        i64 divisor;
    } cases[] = {{65535, 65535, 0}, {65536, 32768, 2}, {131071, 65535, 2}, {0xFFFFFFFF, 65535, 65536}};
    for (const Case& c : cases) {
        ASSERT_EQ(progress_open(0, c.total), 0);
        progress_step(1);
        EXPECT_EQ(progress_view().range, c.range) << c.total;
        EXPECT_EQ(progress_view().divisor, c.divisor) << c.total;
        progress_close();
    }
}

TEST_F(Progress, WithoutTotalTheBarWrapsAt200) {
    ASSERT_EQ(progress_open(0, 0), 0);
    steps(200);
    ProgressView v = progress_view();
    EXPECT_TRUE(v.wrap);
    EXPECT_EQ(v.range, 200u);
    EXPECT_EQ(v.position, 200);
    EXPECT_EQ(bar()->maximum(), 200);
    progress_step(1);
    EXPECT_EQ(progress_view().position, 1) << "past 200 it starts again at 1";
    EXPECT_EQ(bar()->value(), 1);
}

TEST_F(Progress, WithATotalTheBarStopsFull) {
    ASSERT_EQ(progress_open(0, 10), 0);
    progress_step(25);
    EXPECT_EQ(progress_view().position, 10);
    progress_step(1);
    EXPECT_EQ(progress_view().position, 10);
}

TEST_F(Progress, EscTheButtonOrTheCloseBoxCancelTheNextStep) {
    ASSERT_EQ(progress_open(0, 100), 0);
    EXPECT_EQ(progress_step(1), 0);
    // Esc with the focus on the Cancel button reaches the window.
    QTest::keyClick(pf::control_widget(win(), PROGRESS_CANCEL_ID), Qt::Key_Escape);
    EXPECT_EQ(progress_step(1), E_CANCELLED);
    EXPECT_EQ(progress_step(1), E_CANCELLED) << "the flag stays until the window closes";
    EXPECT_NE(win(), 0u) << "the window stays for the operation to close";
    progress_close();

    ASSERT_EQ(progress_open(0, 100), 0);
    EXPECT_EQ(progress_step(1), 0) << "a new window starts uncancelled";
    QTest::mouseClick(pf::control_widget(win(), PROGRESS_CANCEL_ID), Qt::LeftButton);
    EXPECT_EQ(progress_step(1), E_CANCELLED);
    progress_close();

    ASSERT_EQ(progress_open(0, 100), 0);
    WinId w = win();
    pf::window_widget(w)->close();  // the close box
    EXPECT_EQ(progress_text(S("x")), E_CANCELLED);
    EXPECT_EQ(win(), w);
    EXPECT_TRUE(pf::window_exists(w));
}

TEST_F(Progress, StepsHandleTheEventsThatWaitSoTheUserCanCancel) {
    ASSERT_EQ(progress_open(0, 0), 0);
    WinId w = win();
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [w] { QTest::mouseClick(pf::control_widget(w, PROGRESS_CANCEL_ID), Qt::LeftButton); },
        Qt::QueuedConnection);
    EXPECT_EQ(progress_step(1), E_CANCELLED) << "the click waiting in the queue is handled by the step";
}

TEST_F(Progress, TextBeforeAnyStepOpensATextWindowOf400) {
    EXPECT_EQ(progress_text(S("Copiando CLIENTES")), 0);
    ProgressView v = progress_view();
    ASSERT_NE(v.window, 0u);
    EXPECT_TRUE(v.text_mode);
    EXPECT_EQ(v.width, 400);
    EXPECT_FALSE(pf::control_exists(v.window, PROGRESS_BAR_ID)) << "the panel is painted instead";
    EXPECT_EQ(pf::window_client(v.window).w, 440);

    pf::RecordingCanvas c(440, 70);  // 8 pixels a character, 16 a line
    pf::Event paint;
    paint.kind = pf::EvKind::Paint;
    paint.canvas = &c;
    pf::send_event(v.window, paint);
    auto fills = c.ops_of(pf::RecordingCanvas::Kind::Fill);
    ASSERT_EQ(fills.size(), 1u);
    EXPECT_EQ(fills[0].points[0], (pf::Point{20, 10}));
    EXPECT_EQ(fills[0].width, 400);
    EXPECT_EQ(fills[0].height, 17);
    EXPECT_EQ(fills[0].colour, (pf::Rgb{128, 128, 128}));
    auto texts = c.ops_of(pf::RecordingCanvas::Kind::Text);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].text, "Copiando CLIENTES");
    EXPECT_EQ(texts[0].colour, (pf::Rgb{255, 255, 255}));
    EXPECT_EQ(texts[0].points[0], (pf::Point{20 + (400 - 17 * 8) / 2, 10}));

    EXPECT_EQ(progress_step(1), 0);
    EXPECT_TRUE(progress_view().text_mode) << "steps keep showing the text";
    EXPECT_FALSE(pf::control_exists(v.window, PROGRESS_BAR_ID));
}

TEST_F(Progress, ATextReplacesTheBarAndAnEmptyOneChangesNothing) {
    ASSERT_EQ(progress_open(300, 0), 0);
    progress_step(1);
    EXPECT_EQ(progress_text(str_empty()), 0);
    EXPECT_FALSE(progress_view().text_mode);
    EXPECT_TRUE(pf::control_exists(win(), PROGRESS_BAR_ID));
    EXPECT_EQ(progress_text(S("Tabla 2 de 9")), 0);
    EXPECT_TRUE(progress_view().text_mode);
    EXPECT_EQ(progress_view().width, 300);
    EXPECT_FALSE(pf::control_exists(win(), PROGRESS_BAR_ID));

    std::string long_text(1000, 'x');
    EXPECT_EQ(progress_text(str_view(long_text.data(), u16(long_text.size()))), 0);
    pf::RecordingCanvas c(340, 70);
    pf::Event paint;
    paint.kind = pf::EvKind::Paint;
    paint.canvas = &c;
    pf::send_event(win(), paint);
    auto texts = c.ops_of(pf::RecordingCanvas::Kind::Text);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].text.size(), PROGRESS_TEXT_MAX);
    EXPECT_EQ(texts[0].points[0].x, 20) << "a text wider than the panel starts at its left";
}

TEST_F(Progress, CloseForgetsTheWindowAndTheNextStepOpensAnother) {
    WinId below = open(KIND_PLAIN);
    ASSERT_EQ(progress_open(300, 0), 0);
    EXPECT_FALSE(pf::window_enabled(below));
    progress_text(S("algo"));
    WinId first = win();
    progress_close();
    EXPECT_FALSE(pf::window_exists(first));
    EXPECT_EQ(window_top(), below);
    EXPECT_TRUE(pf::window_enabled(below));
    ProgressView v = progress_view();
    EXPECT_EQ(v.window, 0u);
    EXPECT_FALSE(v.text_mode);
    EXPECT_EQ(v.range, 0u);

    EXPECT_EQ(progress_step(1), 0);
    EXPECT_NE(win(), 0u);
    EXPECT_NE(win(), first);
    EXPECT_EQ(progress_view().width, 300) << "the width is remembered";
    EXPECT_TRUE(pf::control_exists(win(), PROGRESS_BAR_ID));
    EXPECT_EQ(progress_view().position, 1);
}

TEST_F(Progress, AWindowClosedUnderItIsReplacedAtTheNextStep) {
    ASSERT_EQ(progress_open(0, 0), 0);
    WinId first = win();
    vx::platform::gui_close_all();  // as at shutdown: nobody is told
    screens_reset();
    EXPECT_EQ(progress_step(1), 0);
    EXPECT_NE(win(), first);
    EXPECT_TRUE(window_on_stack(win()));
}

TEST_F(Progress, PollStepsWhen32MillisecondsHavePassed) {
    progress_clock_set(fake_clock);
    ASSERT_EQ(progress_open(0, 0), 0);
    fake_now = 1000;
    EXPECT_EQ(progress_poll(POLL_START), 0);
    fake_now = 1031;
    EXPECT_EQ(progress_poll(POLL_TICK), 0);
    EXPECT_EQ(progress_view().position, 0);
    fake_now = 1032;
    progress_poll(POLL_TICK);
    EXPECT_EQ(progress_view().position, 1);
    fake_now = 1060;
    progress_poll(POLL_TICK);
    EXPECT_EQ(progress_view().position, 1) << "the mark moved to the last step";
    fake_now = 2000;
    progress_poll(POLL_END);
    EXPECT_EQ(progress_view().position, 1) << "the end only pumps";

    QTest::keyClick(pf::client_widget(win()), Qt::Key_Escape);
    progress_poll(POLL_TICK);
    EXPECT_EQ(progress_poll(POLL_TICK), 0) << "the hook lets the statement finish";
    EXPECT_EQ(progress_step(1), E_CANCELLED);
}

TEST_F(Progress, TicksAddUpAndPumpOnlyWhenTheirTimeHasCome) {
    progress_clock_set(fake_clock);
    fake_now = 1000;
    ASSERT_EQ(progress_open(0, 1000), 0);
    EXPECT_EQ(progress_tick(10), 0);
    EXPECT_EQ(bar()->value(), 10) << "the first tick shows and pumps at once";
    fake_now = 1039;
    EXPECT_EQ(progress_tick(5), 0);
    EXPECT_EQ(progress_view().position, 15);
    EXPECT_EQ(bar()->value(), 10) << "shown at the next pump";
    WinId w = win();
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [w] { QTest::mouseClick(pf::control_widget(w, PROGRESS_CANCEL_ID), Qt::LeftButton); },
        Qt::QueuedConnection);
    EXPECT_EQ(progress_tick(0), 0) << "the click waits for the pump";
    EXPECT_EQ(progress_view().position, 15) << "a tick of 0 adds nothing";
    fake_now = 1040;
    EXPECT_EQ(progress_tick(1), E_CANCELLED);
    EXPECT_EQ(bar()->value(), 16);
    fake_now = 1041;
    EXPECT_EQ(progress_tick(1), E_CANCELLED) << "the answer stays without a pump";

    // A step pumps too: the next tick waits its time from there.
    progress_close();
    fake_now = 2000;
    ASSERT_EQ(progress_open(0, 0), 0);
    EXPECT_EQ(progress_step(1), 0);
    fake_now = 2010;
    EXPECT_EQ(progress_tick(3), 0);
    EXPECT_EQ(bar()->value(), 1);
    fake_now = 2040;
    EXPECT_EQ(progress_tick(0), 0);
    EXPECT_EQ(bar()->value(), 4);
}

TEST_F(Progress, UnattendedNothingWaitsAndNothingIsWritten) {
    command_line("prog /BATCH /OUTPUT='out.txt'");
    ASSERT_EQ(progress_open(0, 3), 0);
    EXPECT_EQ(steps(5), 0);
    EXPECT_EQ(progress_text(S("Copiando")), 0);
    progress_close();
    EXPECT_FALSE(std::filesystem::exists(dir_.path() / "out.txt"));
    EXPECT_EQ(window_count(), 0);
}

TEST_F(Progress, PicturesOfTheWindow) {
    ASSERT_EQ(progress_open(0, 100), 0);
    progress_step(40);
    pump();
    std::string bar_png = std::string(VX_TEST_OUT_DIR) + "/progress_bar.png";
    EXPECT_TRUE(pf::window_save_image(win(), bar_png.c_str(), "PNG"));
    progress_text(S("Copiando tabla CLIENTES (3 de 9)"));
    pump();
    std::string text_png = std::string(VX_TEST_OUT_DIR) + "/progress_text.png";
    EXPECT_TRUE(pf::window_save_image(win(), text_png.c_str(), "PNG"));
}
