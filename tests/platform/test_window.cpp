// Windows, controls, menus, events and loops of the platform layer on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "platform/gui.h"
#include "platform/qt_access.h"
#include "platform/window.h"

using namespace vx::platform;

namespace {

struct Log {
    std::vector<Event> events;
    bool consume_keys = false;
    bool refuse_close = false;
    bool destroy_on_key = false;

    std::vector<Event> of(EvKind k) const {
        std::vector<Event> out;
        for (const Event& e : events)
            if (e.kind == k) out.push_back(e);
        return out;
    }
};

bool on_event(void* user, const Event& e) {
    auto* log = static_cast<Log*>(user);
    log->events.push_back(e);
    if (e.kind == EvKind::Close) return log->refuse_close;
    if (e.kind == EvKind::KeyDown && log->destroy_on_key) {
        window_destroy(e.win);
        return true;
    }
    return e.kind == EvKind::KeyDown && log->consume_keys;
}

class Win : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ASSERT_TRUE(gui_init());
    }
    void TearDown() override { gui_close_all(); }
    WinHandle make(int w = 300, int h = 200, int margin = 0) {
        WinSpec s;
        s.margin = margin;
        s.title = "T\xEDtulo";
        s.class_name = "Clase";
        s.width = w;
        s.height = h;
        WinHandle win = window_create(s, on_event, &log);
        EXPECT_NE(win, NO_WINDOW);
        return win;
    }
    static bool edit_at(WinHandle w, int id, Rect at) {
        CtlSpec s;
        s.kind = CtlKind::Edit;
        s.id = id;
        s.at = at;
        return control_create(w, s);
    }
    bool control(WinHandle w, CtlKind kind, int id, unsigned flags = 0, int limit = 0,
                 std::string_view text = {}) {
        CtlSpec s;
        s.kind = kind;
        s.id = id;
        s.at = Rect{10, 10, 120, 24};
        s.flags = flags;
        s.limit = limit;
        s.text = text;
        return control_create(w, s);
    }
    Log log;
};

}  // namespace

TEST_F(Win, TitleAndClassKeepTheirBytes) {
    WinHandle w = make();
    EXPECT_EQ(window_title(w), "T\xEDtulo");
    EXPECT_EQ(window_widget(w)->windowTitle(), QString::fromUtf8("Título"));
    EXPECT_EQ(window_class(w), "Clase");
    EXPECT_TRUE(window_set_title(w, "Otro \x80"));
    EXPECT_EQ(window_title(w), "Otro \x80");
}

TEST_F(Win, ControlsByIdentifier) {
    WinHandle w = make();
    EXPECT_TRUE(control(w, CtlKind::Edit, 2000, CF_RIGHT | CF_PASSWORD, 4, "ab"));
    EXPECT_FALSE(control(w, CtlKind::Edit, 2000)) << "identifiers are unique";
    EXPECT_FALSE(control(w, CtlKind::Label, 0));
    EXPECT_FALSE(control(w, CtlKind::Label, 70000));
    EXPECT_FALSE(control(w, CtlKind::None, 5));
    EXPECT_FALSE(control(12345, CtlKind::Label, 5)) << "no such window";
    auto* e = qobject_cast<QLineEdit*>(control_widget(w, 2000));
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->maxLength(), 4);
    EXPECT_EQ(e->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(e->alignment() & Qt::AlignRight);
    EXPECT_EQ(control_text(w, 2000), "ab");
    EXPECT_TRUE(control_set_text(w, 2000, "abcdefg"));
    EXPECT_EQ(control_text(w, 2000), "abcd");
    EXPECT_EQ(control_kind(w, 2000), CtlKind::Edit);
    EXPECT_EQ(control_kind(w, 9), CtlKind::None);
    EXPECT_TRUE(control_set_limit(w, 2000, 6));
    EXPECT_EQ(e->maxLength(), 6);
    EXPECT_TRUE(control_destroy(w, 2000));
    EXPECT_FALSE(control_exists(w, 2000));
    EXPECT_EQ(control_text(w, 2000), "");
}

TEST_F(Win, PictureButtonShowsItsImageFile) {
    WinHandle w = make();
    std::string png = (std::filesystem::temp_directory_path() / "vx_button.png").string();
    Canvas* img = image_open(16, 12, Rgb{0, 128, 0});
    ASSERT_TRUE(image_save(img, png.c_str(), "PNG"));
    image_close(img);
    CtlSpec s;
    s.kind = CtlKind::PictureButton;
    s.id = 7;
    s.at = Rect{0, 0, 40, 30};
    s.text = "Texto";
    s.image = png;
    ASSERT_TRUE(control_create(w, s));
    auto* b = qobject_cast<QPushButton*>(control_widget(w, 7));
    EXPECT_FALSE(b->icon().isNull());
    EXPECT_EQ(b->iconSize(), QSize(16, 12));
    EXPECT_TRUE(b->text().isEmpty());
    s.id = 8;
    s.image = "/no/such/image.bmp";
    ASSERT_TRUE(control_create(w, s));
    EXPECT_EQ(control_text(w, 8), "Texto") << "without its image a picture button shows its text";
    EXPECT_FALSE(control_set_image(w, 8, "/no/such/image.bmp"));
    EXPECT_TRUE(control_set_image(w, 8, png));
    std::filesystem::remove(png);
}

TEST_F(Win, ListsCombosProgressAndText) {
    WinHandle w = make();
    ASSERT_TRUE(control(w, CtlKind::ListBox, 10));
    ASSERT_TRUE(control(w, CtlKind::ComboBox, 11));
    ASSERT_TRUE(control(w, CtlKind::Progress, 12));
    ASSERT_TRUE(control(w, CtlKind::Text, 13, CF_READONLY));
    for (const char* item : {"uno", "dos", "tres"}) {
        EXPECT_TRUE(list_add(w, 10, item));
        EXPECT_TRUE(list_add(w, 11, item));
    }
    EXPECT_EQ(list_count(w, 10), 3);
    log.events.clear();
    EXPECT_TRUE(list_set_current(w, 10, 2));
    EXPECT_FALSE(list_set_current(w, 10, 3));
    EXPECT_EQ(list_current(w, 10), 2);
    EXPECT_EQ(control_text(w, 10), "tres");
    EXPECT_EQ(list_item(w, 11, 1), "dos");
    EXPECT_EQ(list_item(w, 11, 7), "");
    auto cmds = log.of(EvKind::Command);
    ASSERT_EQ(cmds.size(), 1u);
    EXPECT_EQ(cmds[0].ctl, 10);
    EXPECT_EQ(cmds[0].code, NOTIFY_SELCHANGE);
    log.events.clear();
    auto* lw = qobject_cast<QListWidget*>(control_widget(w, 10));
    Q_EMIT lw->itemDoubleClicked(lw->item(1));
    ASSERT_EQ(log.of(EvKind::Command).size(), 1u);
    EXPECT_EQ(log.of(EvKind::Command)[0].code, NOTIFY_DBLCLK);
    log.events.clear();
    auto* cb = qobject_cast<QComboBox*>(control_widget(w, 11));
    Q_EMIT cb->activated(1);
    EXPECT_EQ(log.of(EvKind::Command).back().code, NOTIFY_SELENDOK);
    EXPECT_TRUE(progress_set_range(w, 12, 0, 200));
    EXPECT_FALSE(progress_set_range(w, 12, 5, 1));
    EXPECT_TRUE(progress_set_pos(w, 12, 250));
    EXPECT_EQ(progress_pos(w, 12), 200) << "held to the range";
    EXPECT_TRUE(control_set_text(w, 13, "l\xEDnea 1\r\nl\xEDnea 2"));
    EXPECT_EQ(qobject_cast<QPlainTextEdit*>(control_widget(w, 13))->blockCount(), 2);
    EXPECT_EQ(control_text(w, 13), "l\xEDnea 1\r\nl\xEDnea 2");
    EXPECT_TRUE(list_clear(w, 10));
    EXPECT_EQ(list_count(w, 10), 0);
}

TEST_F(Win, KeysOfWatchedControlsReachTheRunTimeFirst) {
    WinHandle w = make();
    ASSERT_TRUE(control(w, CtlKind::Edit, 1, CF_EVENTS));
    ASSERT_TRUE(control(w, CtlKind::Edit, 2));  // not watched
    QWidget* e1 = control_widget(w, 1);
    QTest::keyClicks(e1, "ab");
    EXPECT_EQ(control_text(w, 1), "ab") << "keys not taken reach the control";
    auto downs = log.of(EvKind::KeyDown);
    ASSERT_EQ(downs.size(), 2u);
    EXPECT_EQ(downs[0].ctl, 1);
    EXPECT_EQ(downs[0].key, VK_A);
    EXPECT_EQ(downs[0].ch, 'a');
    log.events.clear();
    log.consume_keys = true;
    QTest::keyClicks(e1, "cd");
    EXPECT_EQ(control_text(w, 1), "ab") << "keys taken never reach the control";
    QTest::keyClick(e1, Qt::Key_End, Qt::ControlModifier);  // Ctrl is pressed first
    QTest::keyClick(e1, Qt::Key_Backtab, Qt::ShiftModifier);
    downs = log.of(EvKind::KeyDown);
    ASSERT_EQ(downs.size(), 6u);
    EXPECT_EQ(downs[2].key, VK_CONTROL);
    EXPECT_EQ(downs[3].key, VK_END);
    EXPECT_EQ(downs[3].mods, unsigned(MOD_CTRL));
    EXPECT_EQ(downs[4].key, VK_SHIFT);
    EXPECT_EQ(downs[5].key, VK_TAB);
    EXPECT_TRUE(downs[5].mods & MOD_SHIFT);
    log.events.clear();
    QTest::keyClicks(control_widget(w, 2), "xy");
    for (const Event& e : log.of(EvKind::KeyDown)) EXPECT_EQ(e.ctl, 0) << "only what the edit passes on";
    EXPECT_EQ(control_text(w, 2), "xy");
}

TEST_F(Win, AWindowDestroyedInsideItsOwnEventIsLeftAlone) {
    WinHandle w = make();
    ASSERT_TRUE(control(w, CtlKind::Edit, 1, CF_EVENTS));
    QWidget* e = control_widget(w, 1);
    log.destroy_on_key = true;
    QTest::keyClick(e, Qt::Key_Escape);
    EXPECT_FALSE(window_exists(w));
    ASSERT_EQ(log.of(EvKind::Destroy).size(), 1u);
    gui_pump();  // the widgets go now
    EXPECT_FALSE(window_destroy(w));
    EXPECT_FALSE(control_set_text(w, 1, "x"));
}

TEST_F(Win, CloseCanBeRefused) {
    WinHandle w = make();
    log.refuse_close = true;
    EXPECT_TRUE(window_close(w));
    EXPECT_TRUE(window_exists(w));
    log.refuse_close = false;
    EXPECT_TRUE(window_close(w));
    EXPECT_FALSE(window_exists(w));
    EXPECT_EQ(log.of(EvKind::Close).size(), 2u);
    EXPECT_EQ(log.of(EvKind::Destroy).size(), 1u);
}

TEST_F(Win, MenuEntriesSendTheirCommands) {
    WinHandle w = make();
    MenuHandle bar = menu_create(false);
    MenuHandle sub = menu_create(true);
    EXPECT_TRUE(menu_add_entry(sub, 1500, "Crear Nuevo Informe"));
    EXPECT_TRUE(menu_add_entry(sub, 1501, "Modificar Informe"));
    EXPECT_TRUE(menu_add_separator(sub));
    EXPECT_TRUE(menu_add_submenu(bar, sub, "Informes Gr\xE1" "ficos"));
    EXPECT_TRUE(menu_add_entry(bar, 1502, "Ayuda"));
    EXPECT_FALSE(menu_add_entry(bar, 0, "x"));
    EXPECT_TRUE(window_set_menu(w, bar));
    EXPECT_TRUE(menu_trigger(w, 1501));
    EXPECT_TRUE(menu_trigger(w, 1502));
    EXPECT_FALSE(menu_trigger(w, 1600));
    auto cmds = log.of(EvKind::Command);
    ASSERT_EQ(cmds.size(), 2u);
    EXPECT_EQ(cmds[0].ctl, 1501);
    EXPECT_EQ(cmds[1].ctl, 1502);
    EXPECT_EQ(cmds[0].code, NOTIFY_CLICKED);
}

TEST_F(Win, PrivateEventsAndTimersArriveThroughTheLoop) {
    WinHandle w = make();
    EXPECT_TRUE(post_private(w, 2000, 0x88E1, 7, -3));
    EXPECT_TRUE(log.of(EvKind::Private).empty());
    gui_pump();
    auto priv = log.of(EvKind::Private);
    ASSERT_EQ(priv.size(), 1u);
    EXPECT_EQ(priv[0].code, 0x88E1);
    EXPECT_EQ(priv[0].ctl, 2000);
    EXPECT_EQ(priv[0].wparam, 7);
    EXPECT_EQ(priv[0].lparam, -3);
    EXPECT_FALSE(post_private(999, 0, 1, 0, 0));

    struct Ticks {
        Log* log;
        bool expired = false;
        static bool done(void* d) {
            auto* t = static_cast<Ticks*>(d);
            return t->expired || t->log->of(EvKind::Timer).size() >= 3;
        }
    } ticks{&log};
    EXPECT_TRUE(timer_start(w, 5, 10));
    QTimer guard;  // a failing test must not hang
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&ticks] {
        ticks.expired = true;
        gui_loop_wake();
    });
    guard.start(5000);
    gui_loop(Ticks::done, &ticks);
    EXPECT_TRUE(timer_stop(w, 5));
    EXPECT_FALSE(ticks.expired);
    EXPECT_GE(log.of(EvKind::Timer).size(), 3u);
    EXPECT_EQ(log.of(EvKind::Timer)[0].code, 5);
    EXPECT_FALSE(timer_stop(w, 6));
    EXPECT_EQ(gui_loop_depth(), 0);
}

TEST_F(Win, PaintGivesACanvasOfTheClientArea) {
    WinHandle w = make(120, 80);
    ASSERT_TRUE(window_set_background(w, Rgb{255, 0, 0}));
    ASSERT_TRUE(window_show(w, true));
    QImage img = client_widget(w)->grab().toImage();
    auto paints = log.of(EvKind::Paint);
    ASSERT_FALSE(paints.empty());
    EXPECT_EQ(img.pixelColor(60, 40), QColor(255, 0, 0));
}

TEST_F(Win, WorkAreaAndFonts) {
    Rect a = work_area();
    EXPECT_GT(a.w, 0);
    EXPECT_GT(a.h, 0);
    FontInfo f = font_info(FontSpec{21, 11, 400, "Lucida Console"});
    EXPECT_GT(f.char_width, 0);
    EXPECT_GT(f.height, 0);
    EXPECT_TRUE(font_face_exists(f.face)) << f.face;
    FontInfo wide = font_info(FontSpec{21, 22, 400, "Lucida Console"});
    EXPECT_GT(wide.char_width, f.char_width) << "the width is reached by stretching";
}

TEST_F(Win, MouseMovesOnlyWhenTrackedAndTooltipsShowTheirText) {
    WinHandle w = make();
    ASSERT_TRUE(window_show(w, true));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_widget(w)));
    QWidget* client = client_widget(w);
    QTest::mouseMove(client, QPoint(30, 40));
    EXPECT_TRUE(log.of(EvKind::MouseMove).empty()) << "not asked for";
    ASSERT_TRUE(window_track_mouse(w, true));
    QTest::mouseMove(client, QPoint(50, 60));
    auto moves = log.of(EvKind::MouseMove);
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(moves[0].x, 50);
    EXPECT_EQ(moves[0].y, 60);
    ASSERT_TRUE(window_tooltip(w, 50, 60, "Mar\nNorte: 1,50 \x80"));
    EXPECT_TRUE(QToolTip::isVisible());
    EXPECT_EQ(QToolTip::text(), QString::fromUtf8("Mar\nNorte: 1,50 €"));
    EXPECT_TRUE(window_tooltip(w, 0, 0, ""));
    EXPECT_FALSE(window_track_mouse(NO_WINDOW, true));
    EXPECT_FALSE(window_tooltip(NO_WINDOW, 0, 0, "x"));
}

TEST_F(Win, TheMenuKeyArrivesAsItsVirtualKey) {
    WinHandle w = make();
    ASSERT_TRUE(window_show(w, true));
    QTest::keyClick(window_widget(w), Qt::Key_Menu);
    QTest::keyClick(window_widget(w), Qt::Key_F10, Qt::ShiftModifier);
    auto downs = log.of(EvKind::KeyDown);
    ASSERT_GE(downs.size(), 3u);
    EXPECT_EQ(downs[0].key, VK_APPS);
    EXPECT_EQ(downs.back().key, VK_F1 + 9);
    EXPECT_EQ(downs.back().mods, unsigned(MOD_SHIFT));
}

TEST_F(Win, TheBarSendsCommandsAndFittingHoldsControlsBarAndMargin) {
    WinHandle w = make(900, 700, 8);
    ASSERT_TRUE(window_set_font(w, FontSpec{21, 11, 400, "Lucida Console"}));
    ASSERT_TRUE(edit_at(w, 2000, Rect{100, 0, 150, 25}));
    EXPECT_EQ(control_rect(w, 2000).x, 100) << "positions are the grid's, the margin comes on top";
    EXPECT_EQ(control_widget(w, 2000)->geometry().x(), 108);

    const BarButton buttons[] = {{3101, "&Aceptar", "", true}, {3102, "&Cancelar", "", false}};
    ASSERT_TRUE(window_set_bar(w, "Intro: aceptar", buttons, 2));
    const BarButton clash[] = {{2000, "x", "", false}};
    EXPECT_FALSE(window_set_bar(w, "", clash, 1)) << "an identifier in use";
    EXPECT_EQ(control_kind(w, 3101), CtlKind::Button);
    auto* ok = qobject_cast<QPushButton*>(control_widget(w, 3101));
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), "&Aceptar");
    EXPECT_NE(ok->font(), window_widget(w)->font()) << "the bar keeps the desktop's font";

    ASSERT_TRUE(window_fit(w));
    window_show(w, true);
    QWidget* top = window_widget(w);
    QWidget* bar = ok->parentWidget();
    EXPECT_EQ(client_widget(w)->width(), std::max(8 + 250 + 8, bar->sizeHint().width()));
    EXPECT_EQ(client_widget(w)->height(), 8 + 25 + 8);
    EXPECT_LT(top->width(), 500);
    EXPECT_EQ(top->height(), 41 + bar->sizeHint().height());

    ok->click();
    std::vector<Event> commands = log.of(EvKind::Command);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].ctl, 3101);
    EXPECT_EQ(commands[0].code, NOTIFY_CLICKED);

    // A second bar replaces the first.
    ASSERT_TRUE(window_set_bar(w, "", &buttons[1], 1));
    EXPECT_FALSE(control_exists(w, 3101));
    EXPECT_TRUE(control_exists(w, 3102));
}

TEST_F(Win, FittingAWindowTallerThanTheWorkAreaScrolls) {
    WinHandle w = make(100, 100);
    Rect area = work_area();
    ASSERT_TRUE(edit_at(w, 2000, Rect{0, area.h + 100, 50, 20}));
    ASSERT_TRUE(window_fit(w));
    bool h = true, v = false;
    ASSERT_TRUE(window_scrollbars(w, &h, &v));
    EXPECT_FALSE(h);
    EXPECT_TRUE(v);
    EXPECT_LE(window_widget(w)->height(), area.h);
}
