// The selection box on real widgets of the offscreen platform, driven as a person would:
// list and button modes, their sizes, the keys that choose, cancel and move (with wrapping),
// double clicks and clicks, the current window's own controls, and the answers read from the
// INPUT file when nobody is there.
#include <QListWidget>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <set>
#include <utility>

#include "platform/qt_access.h"
#include "runtime/arena.h"
#include "runtime/sysvars.h"
#include "screens/selbox.h"
#include "input_lines.h"
#include "support.h"

using namespace vx::scr;
using namespace vx::rt;
namespace pf = vx::platform;
using vx::test::text;

namespace {

constexpr u16 BOX_KIND = 9;
constexpr int WATCHDOG_MS = 5000;

class SelBox : public vx::test::ScreenTest {
protected:
    using Drive = std::function<void(WinId)>;

    // Runs the box as a person would answer it: drive gets the box's window once its loop
    // runs. A box still open after five seconds is closed and the test fails.
    u16 run(const char* title, const char* items, u16 flags, Drive drive, u16 start = 1) {
        attended();
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [] {
            ADD_FAILURE() << "the box was still open";
            window_destroy();
        });
        watchdog.start(WATCHDOG_MS);
        QTimer::singleShot(0, [drive] { drive(window_top()); });
        return select_box(str_from_cstr(title), str_from_cstr(items), flags, start);
    }

    // A key pressed where the focus is: the focused control, else the client area.
    static void key(WinId w, Qt::Key k) {
        if (!pf::window_exists(w)) return;
        int focused = pf::control_focused(w);
        QWidget* target = focused ? pf::control_widget(w, focused) : pf::client_widget(w);
        QTest::keyClick(target, k);
    }
    static void keys(WinId w, std::initializer_list<Qt::Key> ks) {
        for (Qt::Key k : ks) key(w, k);
    }
    static QListWidget* list(WinId w) {
        return qobject_cast<QListWidget*>(pf::control_widget(w, SEL_LIST_ID));
    }
    static int pressed(WinId w) {
        int f = pf::control_focused(w);
        return f > SEL_BUTTON_BASE ? f - SEL_BUTTON_BASE : 0;
    }
};

}  // namespace

TEST_F(SelBox, EmptyTitleOrListGives65535WithoutAWindow) {
    attended();
    EXPECT_EQ(select_box(str_empty(), S("a,b"), 3), SEL_NONE);
    EXPECT_EQ(select_box(S("  "), S("a,b"), 3), SEL_NONE);
    EXPECT_EQ(select_box(S("Elegir"), str_empty(), 3), SEL_NONE);
    EXPECT_EQ(select_box(S("Elegir"), S("   "), 1), SEL_NONE);
    EXPECT_EQ(select_box(S("Elegir"), str_error(E_DATA), 1), SEL_NONE);
    EXPECT_EQ(window_count(), 0);
}

TEST_F(SelBox, ListIsSizedByItemsTitleAndScreenRows) {
    CellSize c = cell_size();
    int line = c.h - SEL_LINE_LESS;
    struct Case {
        const char* title;
        const char* items;
        int cols, rows;
    } cases[] = {
        {"Elegir", " uno , dos,tres ", 15, 3},                        // at least 15 columns
        {"Elegir", "una opcion bastante larga,b", 25 + 5, 2},          // longest item + 5
        {"Seleccion de un fichero largo", "a", 29, 1},                 // the title's width
        {"T", "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28", 15, 25},
    };
    for (const Case& k : cases) {
        u16 n = run(k.title, k.items, SEL_WINDOW | SEL_LIST, [&](WinId w) {
            EXPECT_EQ(window_kind(w), BOX_KIND);
            pf::Rect client = pf::window_client(w), box = pf::control_rect(w, SEL_LIST_ID);
            EXPECT_EQ(client.w, k.cols * c.w) << k.items;
            EXPECT_EQ(box.w, client.w) << k.items;
            EXPECT_EQ(box.h, k.rows * line + 4) << k.items;
            EXPECT_GE(client.h, box.h) << "the window system may keep a window taller";
            key(w, Qt::Key_Escape);
        });
        EXPECT_EQ(n, 0);
    }
}

TEST_F(SelBox, ListEnterChoosesTheLineUnderTheCursor) {
    sysint_set(SV_STAT, 9);
    u16 n = run("Informes", " Ventas ,Compras,Stock,Caja", SEL_WINDOW | SEL_LIST, [](WinId w) {
        QListWidget* l = list(w);
        ASSERT_NE(l, nullptr);
        EXPECT_EQ(l->count(), 4);
        EXPECT_EQ(l->item(0)->text().toStdString(), "Ventas") << "items are trimmed";
        EXPECT_EQ(pf::control_focused(w), SEL_LIST_ID) << "the list has the focus";
        EXPECT_EQ(l->currentRow(), 0);
        keys(w, {Qt::Key_Down, Qt::Key_Down, Qt::Key_Return});
    });
    EXPECT_EQ(n, 3);
    EXPECT_EQ(sysint_get(SV_STAT), 3);
    EXPECT_EQ(window_count(), 0);
}

TEST_F(SelBox, AListCanStartOnAGivenLine) {
    auto from = [&](u16 start) {
        int row = -1;
        u16 n = run(
            "Tablas", "zonas,pedidos,ventas", SEL_WINDOW | SEL_LIST,
            [&](WinId w) {
                row = list(w)->currentRow();
                key(w, Qt::Key_Return);
            },
            start);
        EXPECT_EQ(n, row + 1);
        return row;
    };
    EXPECT_EQ(from(2), 1) << "Enter alone chooses the line it started on";
    EXPECT_EQ(from(3), 2);
    EXPECT_EQ(from(0), 0) << "out of range: the first";
    EXPECT_EQ(from(4), 0);
}

TEST_F(SelBox, EscAndTheCloseBoxLeaveZero) {
    sysint_set(SV_STAT, 9);
    EXPECT_EQ(run("T", "a,b,c", SEL_WINDOW | SEL_LIST, [](WinId w) { keys(w, {Qt::Key_Down, Qt::Key_Escape}); }), 0);
    EXPECT_EQ(sysint_get(SV_STAT), 0);
    EXPECT_EQ(run("T", "a,b,c", SEL_WINDOW, [](WinId w) { keys(w, {Qt::Key_Down, Qt::Key_Escape}); }), 0);
    EXPECT_EQ(run("T", "a,b,c", SEL_WINDOW, [](WinId w) { pf::window_widget(w)->close(); }), 0);
    EXPECT_EQ(sysint_get(SV_STAT), 0);
    EXPECT_EQ(window_count(), 0);
}

TEST_F(SelBox, DoubleClickChoosesTheItem) {
    u16 n = run("T", "a,b,c,d", SEL_WINDOW | SEL_LIST, [](WinId w) {
        QListWidget* l = list(w);
        QRect r = l->visualItemRect(l->item(1));
        QTest::mouseClick(l->viewport(), Qt::LeftButton, Qt::NoModifier, r.center());
        EXPECT_TRUE(pf::window_exists(w)) << "a single click only moves the cursor";
        QTest::mouseDClick(l->viewport(), Qt::LeftButton, Qt::NoModifier, r.center());
    });
    EXPECT_EQ(n, 2);
    EXPECT_EQ(sysint_get(SV_STAT), 2);
}

TEST_F(SelBox, ButtonsMoveAndWrapWithUpAndDown) {
    u16 n = run("Font", "Lucida,Courier,Arial", SEL_WINDOW, [](WinId w) {
        for (u16 k = 1; k <= 3; k++)
            EXPECT_EQ(pf::control_kind(w, SEL_BUTTON_BASE + k), pf::CtlKind::Button) << k;
        EXPECT_EQ(pf::control_text(w, SEL_BUTTON_BASE + 2), "Courier");
        EXPECT_EQ(pressed(w), 0);
        key(w, Qt::Key_Down);
        EXPECT_EQ(pressed(w), 3) << "with none pressed, Down presses the last";
        key(w, Qt::Key_Down);
        EXPECT_EQ(pressed(w), 1) << "past the last comes the first";
        key(w, Qt::Key_Up);
        EXPECT_EQ(pressed(w), 3) << "before the first comes the last";
        key(w, Qt::Key_Up);
        EXPECT_EQ(pressed(w), 2);
        key(w, Qt::Key_Return);
    });
    EXPECT_EQ(n, 2);
    EXPECT_EQ(sysint_get(SV_STAT), 2);
}

TEST_F(SelBox, EnterWithNoButtonPressedChoosesNothingAndStays) {
    u16 n = run("Font", "Lucida,Courier,Arial", SEL_WINDOW, [](WinId w) {
        sysint_set(SV_STAT, 7);
        key(w, Qt::Key_Return);
        EXPECT_TRUE(pf::window_exists(w));
        EXPECT_EQ(sysint_get(SV_STAT), 0);
        key(w, Qt::Key_Up);
        EXPECT_EQ(pressed(w), 1) << "with none pressed, Up presses the first";
        key(w, Qt::Key_Return);
    });
    EXPECT_EQ(n, 1);
}

TEST_F(SelBox, AClickChoosesThatButton) {
    u16 n = run("T", "uno,dos,tres", SEL_WINDOW, [](WinId w) {
        QTest::mouseClick(pf::control_widget(w, SEL_BUTTON_BASE + 3), Qt::LeftButton);
    });
    EXPECT_EQ(n, 3);
}

TEST_F(SelBox, ManyButtonsFormAGridThatFitsTheScreen) {
    screen_size_set(1600, 600);
    std::string items;
    for (int i = 1; i <= 40; i++) items += (i > 1 ? "," : "") + std::to_string(i);
    u16 n = run("T", items.c_str(), SEL_WINDOW, [](WinId w) {
        pf::Rect client = pf::window_client(w);
        std::set<std::pair<int, int>> corners;
        for (u16 k = 1; k <= 40; k++) {
            pf::Rect r = pf::control_rect(w, SEL_BUTTON_BASE + k);
            EXPECT_GE(r.x, 0) << k;
            EXPECT_GE(r.y, 0) << k;
            EXPECT_LE(r.x + r.w, client.w) << k;
            EXPECT_LE(r.y + r.h, client.h) << k;
            corners.insert({r.x, r.y});
        }
        EXPECT_EQ(corners.size(), 40u) << "no button hides another";
        EXPECT_LE(client.h, 600);
        EXPECT_GT(pf::control_rect(w, SEL_BUTTON_BASE + 40).x, 0) << "more than one column";
        std::set<int> visited;
        for (int i = 0; i < 40; i++) {
            key(w, Qt::Key_Down);
            visited.insert(pressed(w));
        }
        EXPECT_EQ(visited.size(), 40u) << "every button is reachable";
        key(w, Qt::Key_Return);
    });
    EXPECT_EQ(n, 39) << "from none: the last, then 1 to 39";
}

TEST_F(SelBox, ButtonsThatCannotAllBeShownAreOfferedAsAList) {
    auto as_list = [](WinId w) {
        ASSERT_NE(list(w), nullptr);
        EXPECT_FALSE(pf::control_exists(w, SEL_BUTTON_BASE + 1));
        keys(w, {Qt::Key_Down, Qt::Key_Return});
    };
    std::string items;
    for (int i = 1; i <= SEL_BUTTONS_MAX + 1; i++) items += (i > 1 ? "," : "") + std::to_string(i);
    EXPECT_EQ(run("T", items.c_str(), SEL_WINDOW, as_list), 2);
    screen_size_set(400, 300);  // 40 buttons need more columns than fit
    EXPECT_EQ(run("T", items.substr(0, items.find(",41,")).c_str(), SEL_WINDOW, as_list), 2);
}

TEST_F(SelBox, WithoutFlag1TheCurrentWindowsButtonsAreUsed) {
    WinId main = open(KIND_PLAIN);
    WinId own = open(KIND_DIALOG);
    for (u16 k = 1; k <= 2; k++) {
        pf::CtlSpec b;
        b.kind = pf::CtlKind::Button;
        b.id = SEL_BUTTON_BASE + k;
        b.at = pf::Rect{10, 10 + 30 * k, 80, 24};
        b.text = k == 1 ? "Si" : "No";
        ASSERT_TRUE(pf::control_create(own, b));
    }
    u16 n = run("T", "Si,No", 0, [own](WinId w) {
        EXPECT_EQ(w, own) << "no window of its own";
        QTest::mouseClick(pf::control_widget(w, SEL_BUTTON_BASE + 2), Qt::LeftButton);
    });
    EXPECT_EQ(n, 2);
    EXPECT_FALSE(pf::window_exists(own)) << "the choice closes the current window";
    EXPECT_EQ(window_top(), main);

    // A current window without such controls: the box makes its own.
    n = run("T", "a,b", SEL_LIST, [main](WinId w) {
        EXPECT_NE(w, main);
        EXPECT_EQ(window_kind(w), BOX_KIND);
        keys(w, {Qt::Key_Down, Qt::Key_Return});
    });
    EXPECT_EQ(n, 2);
    EXPECT_EQ(window_top(), main);
    EXPECT_TRUE(pf::window_enabled(main));
}

TEST_F(SelBox, Flag4PlacesTheBoxAtTheFocusedControl) {
    WinId form = open(KIND_DIALOG, 60, 20);
    pf::CtlSpec e;
    e.kind = pf::CtlKind::Edit;
    e.id = 2001;
    e.at = pf::Rect{200, 150, 100, 20};
    ASSERT_TRUE(pf::control_create(form, e));
    ASSERT_TRUE(pf::control_focus(form, 2001));
    pf::Rect client = pf::window_client(form);
    CellSize c = cell_size();
    run("T", "a,b", SEL_WINDOW | SEL_LIST | SEL_AT_FOCUS, [&](WinId w) {
        pf::Rect box = pf::window_client(w);
        EXPECT_NEAR(box.x, client.x + 200, c.w);
        EXPECT_NEAR(box.y, client.y + 170, c.h);
        key(w, Qt::Key_Escape);
    });
}

TEST_F(SelBox, UnattendedTheAnswerIsANumberOrAText) {
    command_line("prog /BATCH /OUTPUT='out.txt'");
    vx::test::with_input_lines("2\r\nCaja\r\n  caja  \r\n\\ESC\r\n\r\n9\r\nNada\r\n0\r\n", [] {
        Str items = S("Ventas,Compras,Stock,Caja");
        EXPECT_EQ(select_box(S("Informes"), items, 3), 2);
        EXPECT_EQ(sysint_get(SV_STAT), 2);
        EXPECT_EQ(select_box(S("Informes"), items, 3), 4);
        EXPECT_EQ(select_box(S("Informes"), items, 1), 4) << "without regard to case";
        EXPECT_EQ(select_box(S("Informes"), items, 3), 0) << "\\ESC";
        EXPECT_EQ(sysint_get(SV_STAT), 0);
        EXPECT_EQ(select_box(S("Informes"), items, 3), 0) << "an empty line";
        EXPECT_EQ(select_box(S("Informes"), items, 3), 0) << "no item 9";
        EXPECT_EQ(select_box(S("Informes"), items, 3), 0) << "no such text";
        EXPECT_EQ(select_box(S("Informes"), items, 3), 0) << "no item 0";
        sysint_set(SV_STAT, 5);
        EXPECT_EQ(select_box(S("Informes"), items, 3), 0) << "end of input";
        EXPECT_EQ(sysint_get(SV_STAT), 0);
    });
    EXPECT_EQ(window_count(), 0);
    EXPECT_EQ(read("out.txt"),
              "[Informes] 2\r\n[Informes] Caja\r\n[Informes] caja\r\n[Informes] \\ESC\r\n"
              "[Informes]\r\n[Informes] 9\r\n[Informes] Nada\r\n[Informes] 0\r\n[Informes]\r\n");
}

TEST_F(SelBox, UnattendedAnItemThatIsANumberIsFoundByItsText) {
    command_line("prog /BATCH /OUTPUT='out.txt'");
    vx::test::with_input_lines("20\r\n3\r\n", [] {
        EXPECT_EQ(select_box(S("A\xF1o"), S("10,20,30"), 3), 2);
        EXPECT_EQ(select_box(S("A\xF1o"), S("10,20,30"), 3), 3);
    });
}

TEST_F(SelBox, PicturesOfTheBox) {
    for (u16 flags : {u16(SEL_WINDOW), u16(SEL_WINDOW | SEL_LIST)}) {
        const char* name = flags & SEL_LIST ? "/selbox_list.png" : "/selbox_buttons.png";
        run("Selecci\xF3n de Informe", "Ventas por mes,Compras por proveedor,Stock,Caja diaria",
            flags, [name](WinId w) {
                key(w, Qt::Key_Down);
                pf::gui_pump();
                std::string path = std::string(VX_TEST_OUT_DIR) + name;
                EXPECT_TRUE(pf::window_save_image(w, path.c_str(), "PNG"));
                key(w, Qt::Key_Escape);
            });
    }
}
