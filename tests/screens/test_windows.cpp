// Window kinds, the window stack and modality, the message loop, the grid and fonts, on
// real widgets of the offscreen platform.
#include <QTimer>
#include <QWidget>

#include "platform/qt_access.h"
#include "platform/window.h"
#include "runtime/arena.h"
#include "support.h"

using namespace vx::scr;
using namespace vx::rt;
namespace pf = vx::platform;
using vx::test::text;

namespace {

class Windows : public vx::test::ScreenTest {};

}  // namespace

TEST_F(Windows, KindsGiveClassNamesAndModality) {
    ASSERT_EQ(env_set(ENV_APNAME, S("VXW01Q:Varnox")), 0);
    struct Case {
        u16 kind;
        const char* cls;
        bool modal;
    } cases[] = {
        {0, "VXW01Q:Varnox", false},        {1, "VXW01Q:VarnoxLnMant", false},
        {2, "VXW01Q:VarnoxMant", false},    {3, "VXW01Q:VarnoxMantDlg", true},
        {4, "VXW01Q:VarnoxGrid", true},     {5, "VXW01Q:VarnoxDialogx", true},
        {6, "VXW01Q:VarnoxDevSel", true},   {7, "VXW01Q:VarnoxProgress", true},
        {8, "VXW01Q:Varnox", false},        {9, "VXW01Q:Varnox", true},
        {10, "VXW01Q:Varnox", true},        {11, "VXW01Q:Varnox", false},
    };
    for (const Case& c : cases) {
        WinId w = open(c.kind);
        ASSERT_NE(w, 0u) << c.kind;
        EXPECT_EQ(pf::window_class(w), c.cls) << c.kind;
        EXPECT_EQ(window_is_modal(w), c.modal) << c.kind;
        EXPECT_EQ(window_kind(w), c.kind);
        EXPECT_EQ(window_destroy(), 0);
    }
}

TEST_F(Windows, BadKindOrMissingClassNameIsRefused) {
    WindowSpec spec;
    spec.kind = 12;
    spec.class_name = S("Test");
    WinId w = 99;
    EXPECT_EQ(window_create(spec, &w), E_DATA);
    EXPECT_EQ(w, 0u);
    spec.kind = 0;
    spec.class_name = str_empty();  // no application name either
    EXPECT_EQ(window_create(spec, &w), E_DATA);
    EXPECT_EQ(window_count(), 0);
    spec.class_name = S("Own");
    EXPECT_EQ(window_create(spec, &w), 0);
    EXPECT_EQ(pf::window_class(w), "Own");
}

TEST_F(Windows, ModalWindowDisablesTheOneBelowUntilClosed) {
    WinId main = open(KIND_PLAIN);
    WinId mant = open(KIND_MANT);  // not modal: main stays enabled
    EXPECT_TRUE(pf::window_enabled(main));
    WinId form = open(KIND_DIALOG);
    EXPECT_FALSE(pf::window_enabled(mant));
    EXPECT_TRUE(pf::window_enabled(form));
    EXPECT_EQ(window_top(), form);
    EXPECT_EQ(window_count(), 3);
    EXPECT_EQ(window_destroy(), 0);
    EXPECT_TRUE(pf::window_enabled(mant));
    EXPECT_EQ(window_top(), mant);
    EXPECT_FALSE(pf::window_exists(form));
    EXPECT_EQ(window_at(0), main);
    EXPECT_EQ(window_at(1), mant);
}

TEST_F(Windows, ClosingByTheSystemPopsTheWindowToo) {
    WinId main = open(KIND_PLAIN);
    WinId form = open(KIND_DIALOG);
    pf::window_widget(form)->close();  // the close box
    EXPECT_EQ(window_top(), main);
    EXPECT_TRUE(pf::window_enabled(main));
}

TEST_F(Windows, TheThirtyThirdWindowIsRefused) {
    for (u16 i = 0; i < STACK_MAX; i++) ASSERT_NE(open(KIND_MANT, 10, 3), 0u) << i;
    error_detail_clear();
    WindowSpec spec;
    spec.kind = KIND_MANT;
    spec.class_name = S("Test");
    WinId w = 0;
    EXPECT_EQ(window_create(spec, &w), E_DATA);
    EXPECT_EQ(w, 0u);
    EXPECT_NE(text(error_detail()).find("32"), std::string::npos) << text(error_detail());
    EXPECT_EQ(window_count(), STACK_MAX);
    EXPECT_EQ(window_destroy(), 0);
    EXPECT_EQ(window_create(spec, &w), 0);  // room again
}

TEST_F(Windows, ClosingTheLastWindowEndsTheLoop) {
    attended();
    WinId w = open(KIND_PLAIN);
    QTimer::singleShot(30, [w] { pf::window_close(w); });
    EXPECT_EQ(run_loop(w), 0);
    EXPECT_EQ(window_count(), 0);
}

TEST_F(Windows, NestedLoopsEndInnermostFirst) {
    attended();
    WinId outer = open(KIND_PLAIN);
    std::vector<std::string> order;
    QTimer::singleShot(20, [&] {
        WinId inner = open(KIND_DIALOG);
        QTimer::singleShot(20, [&, inner] {
            order.push_back("close inner");
            pf::window_close(inner);
        });
        run_loop(inner);
        order.push_back("inner loop ended");
        EXPECT_TRUE(pf::window_enabled(outer));
        QTimer::singleShot(20, [&] {
            order.push_back("close outer");
            window_destroy();
        });
    });
    EXPECT_EQ(run_loop(outer), 0);
    order.push_back("outer loop ended");
    EXPECT_EQ(order, (std::vector<std::string>{"close inner", "inner loop ended", "close outer",
                                               "outer loop ended"}));
}

TEST_F(Windows, UnattendedLoopDoesNotWait) {
    if (display_named()) GTEST_SKIP() << "runs with a display";
    WinId w = open(KIND_DIALOG);
    EXPECT_EQ(run_loop(w), E_CANCELLED) << "nobody can answer: the loop gives up at once";
    EXPECT_EQ(window_top(), w);
    command_line("prog /BATCH");
    attended();  // a display, but BATCH
    EXPECT_EQ(run_loop(w), E_CANCELLED);
    EXPECT_EQ(run_loop(12345), 0) << "a window that is not on top has no loop to run";
}

TEST_F(Windows, CellSizeFollowsTheCurrentFont) {
    CellSize c = cell_size();
    pf::FontInfo f = pf::font_info(font_current());
    EXPECT_EQ(c.w, f.char_width + 1);
    EXPECT_EQ(c.h, f.height + 3);
    EXPECT_EQ(font_current().height, 21) << "registered 24, made 3 lower";
    EXPECT_EQ(font_current().width, 11) << "12 less max(1, 12/16 rounded)";
    EXPECT_EQ(font_register(40, 32, 700, S("Sin Tal Fuente")), 0);
    EXPECT_EQ(font_current().width, 30) << "32 less 32/16";
    EXPECT_EQ(font_current().weight, 700);
    CellSize big = cell_size();
    EXPECT_GT(big.h, c.h);
    EXPECT_TRUE(pf::font_face_exists(pf::font_info(font_current()).face))
        << "a face that does not exist is replaced by one that does";
}

TEST_F(Windows, AtMostSixFonts) {
    EXPECT_EQ(font_count(), 1);  // Lucida Console from start-up
    for (int i = 0; i < 5; i++) EXPECT_EQ(font_register(i16(10 + i), 0, 400, S("X")), 0);
    EXPECT_EQ(font_register(99, 0, 400, S("Y")), E_DATAOUTBOUND);
    EXPECT_EQ(font_count(), 6);
    EXPECT_EQ(font_current().height, 14 - 3) << "the seventh was ignored";
}

TEST_F(Windows, GridSizeAndScrollBarsWhenLargerThanTheArea) {
    CellSize c = cell_size();
    WinId w = open(KIND_MANT, 20, 5);
    pf::Rect r = pf::window_client(w);
    EXPECT_EQ(r.w, 20 * c.w);
    EXPECT_EQ(r.h, 5 * c.h);
    bool h = true, v = true;
    ASSERT_TRUE(pf::window_scrollbars(w, &h, &v));
    EXPECT_FALSE(h);
    EXPECT_FALSE(v);
    screen_size_set(u16(30 * c.w), u16(100 * c.h));
    WinId wide = open(KIND_MANT, 80, 25);
    ASSERT_TRUE(pf::window_scrollbars(wide, &h, &v));
    EXPECT_TRUE(h);
    EXPECT_FALSE(v);
    EXPECT_EQ(pf::client_widget(wide)->width(), 80 * c.w) << "the whole grid stays reachable";
}

TEST_F(Windows, MetricsDefaultsAndLabelIds) {
    Metrics m = metrics_get();
    EXPECT_EQ(m.grid_w, 70);
    EXPECT_EQ(m.grid_h, 12);
    EXPECT_EQ(label_id(2, 5), 4000 + 2 * 70 + 5);
    metrics_set(Metrics{80, 25, {1, 2, 3, 4}});
    EXPECT_EQ(label_id(2, 5), 4000 + 2 * 80 + 5);
    EXPECT_EQ(field_id(1), 2000);
    EXPECT_EQ(field_id(0), 0);
    EXPECT_EQ(field_id(FIELDS_MAX + 1), 0) << "would reach the Enter command";
    EXPECT_EQ(field_of_id(2000), 1);
    EXPECT_EQ(field_of_id(CMD_ENTER), 0);
}
