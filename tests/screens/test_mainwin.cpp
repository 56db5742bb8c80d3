// The main window on real widgets of the offscreen platform: the menu bar built from menu
// files (nested levels, a drop of several levels at once), menu commands reaching the task
// handler through the application's menu hook, the closing rule with one and two screens,
// and the default task servers MantAux, Help and FontSet answered from the INPUT file.
#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "input_lines.h"
#include "platform/os.h"
#include "platform/qt_access.h"
#include "runtime/arena.h"
#include "runtime/fonts.h"
#include "runtime/menu.h"
#include "runtime/sysvars.h"
#include "runtime/tasks.h"
#include "screens/mainwin.h"
#include "screens/state.h"
#include "screens/status.h"
#include "support.h"

using namespace vx::scr;
using namespace vx::rt;
namespace pf = vx::platform;
using vx::test::text;

namespace {

constexpr int WATCHDOG_MS = 5000;

// The bar as text: "Title[entry#id ...]" for submenus, "entry#id" for entries.
std::string describe(const QList<QAction*>& actions) {
    std::string out;
    for (QAction* a : actions) {
        if (!out.empty()) out += " ";
        std::string label = a->text().toStdString();
        if (QMenu* m = a->menu())
            out += label + "[" + describe(m->actions()) + "]";
        else
            out += label + "#" + std::to_string(a->data().toInt());
    }
    return out;
}

struct Seen {
    static inline std::string lines;
    static inline u16 answer = 0;
    static u16 handler(u32 request, Str args) {
        lines += std::to_string(task_type_of(request)) + ":" + text(args) + ";";
        return answer;
    }
};

class MainWin : public vx::test::ScreenTest {
protected:
    using Drive = std::function<void(WinId)>;

    void SetUp() override {
        ScreenTest::SetUp();
        env_set(ENV_DATA, S("."));
        Seen::lines.clear();
        Seen::answer = 0;
        tasks_install();
    }
    void TearDown() override {
        task_handler_set(nullptr);
        menu_hook_set(nullptr);
        close_hook_set(nullptr);
        ScreenTest::TearDown();
    }

    // Runs the menu as a person would, drive getting the main window once its loop runs.
    // A window still open after five seconds is closed and the test fails.
    u16 run(const char* menu, Drive drive) {
        attended();
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [] {
            ADD_FAILURE() << "the main window was still open";
            close_all_screens();
        });
        watchdog.start(WATCHDOG_MS);
        drive_when_ready(drive);
        return menu_run(str_from_cstr(menu));
    }
    // The driver starts once the main loop runs with no box of the start-up open.
    static void drive_when_ready(Drive drive) {
        QTimer::singleShot(10, [drive] {
            if (QApplication::activeModalWidget() || !main_window() || pf::gui_loop_depth() != 1)
                drive_when_ready(drive);
            else
                drive(main_window());
        });
    }
    static std::string bar_of(WinId w) {
        QWidget* win = pf::window_widget(w);
        QMenuBar* bar = win ? win->findChild<QMenuBar*>() : nullptr;
        return bar ? describe(bar->actions()) : "(no bar)";
    }
    static void close_quietly(WinId w) {
        sysint_or(SV_AUXSTAT, AUXSTAT_QUIET_CLOSE);
        pf::window_close(w);
    }
};

// ---- The bar ----

TEST_F(MainWin, NestedLevelsAndADropOfThreeLevels) {
    write("NIVELES.PMT",
          "Uno\r\n\tA,ExpEval 1\r\n\tDos\r\n\t\tB,ExpEval 2\r\n\t\tTres\r\n\t\t\tC,Help About\r\n"
          "Cuatro\r\n\tD,Report %APNAME%report.ppn,Edit\r\n");
    std::string bar, caption;
    u16 rc = run("NIVELES", [&](WinId w) {
        bar = bar_of(w);
        caption = pf::window_title(w);
        close_quietly(w);
    });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(bar, "&Uno[&A#1500 &Dos[&B#1501 &Tres[&C#1502]]] &Cuatro[&D#1503]");
    EXPECT_EQ(text(menu_task(1502)), "Help About");
    EXPECT_EQ(text(menu_task(1503)), "Report %APNAME%report.ppn,Edit");
    EXPECT_EQ(caption.rfind(" ", 0), 0u) << caption;
    EXPECT_NE(caption.find(text(maker_site())), std::string::npos) << caption;
    EXPECT_EQ(main_window(), 0u);
    EXPECT_EQ(window_count(), 0);
    EXPECT_EQ(screen_count(), 0);
    EXPECT_TRUE(sysint_bit(SV_SCRSTAT, SCRSTAT_MENU));
}

TEST_F(MainWin, EntriesAtTheTopLevelGoOnTheBarItself) {
    write("PLANO.PMT", "Salir,ExpEval 0\nMenu\n\tX,Help\n");
    std::string bar;
    run("PLANO", [&](WinId w) {
        bar = bar_of(w);
        close_quietly(w);
    });
    EXPECT_EQ(bar, "&Salir#1500 &Menu[&X#1501]");
}

TEST_F(MainWin, MnemonicsAreTheFirstFreeInitialsOrTheLabelsOwn) {
    write("AYUDA.PMT",
          "Ayuda\r\n\tAyuda,Help\r\n\tAcerca de,Help About\r\n\tAa,Help\r\n\t&Ventas & Compras,Help\r\n"
          "Archivo\r\n\tX,Help\r\n");
    std::string bar;
    run("AYUDA", [&](WinId w) {
        bar = bar_of(w);
        close_quietly(w);
    });
    EXPECT_EQ(bar, "&Ayuda[&Ayuda#1500 Acerca &de#1501 Aa#1502 &Ventas && Compras#1503] A&rchivo[&X#1504]");
}

TEST_F(MainWin, WithoutAMenuFileTheWindowStillCloses) {
    command_line("prog /OUTPUT='out.txt'");
    std::string bar;
    u16 rc = run("NOHAY", [&](WinId w) {
        bar = bar_of(w);
        close_quietly(w);
    });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(bar, "(no bar)");
    EXPECT_EQ(window_count(), 0);
}

// ---- Menu commands ----

TEST_F(MainWin, ChoosingAnEntryRunsItsTaskLine) {
    write("M.PMT", "Uno\r\n\tA,Report a.ppn,Edit\r\n\tB,Help,About\r\n");
    task_handler_set(Seen::handler);
    run("M", [](WinId w) {
        EXPECT_TRUE(pf::menu_trigger(w, 1501));
        EXPECT_TRUE(pf::menu_trigger(w, 1500));
        close_quietly(w);
    });
    EXPECT_EQ(Seen::lines, "15:About;11:a.ppn,Edit;");
}

TEST_F(MainWin, OnlyTwoHundredEntriesReachATaskAndF1AsksForHelp) {
    std::string body = "Muchas\r\n";
    for (int i = 0; i < 201; i++)
        body += "\tE" + std::to_string(i) + ",ExpEval " + std::to_string(i) + "\r\n";
    write("M.PMT", body);
    task_handler_set(Seen::handler);
    run("M", [](WinId w) {
        EXPECT_TRUE(pf::menu_trigger(w, 1699));
        EXPECT_TRUE(pf::menu_trigger(w, 1700));  // on the bar, but beyond the reachable ones
        pf::Event f1;
        f1.kind = pf::EvKind::KeyDown;
        f1.win = w;
        f1.key = pf::VK_F1;
        pf::send_event(w, f1);
        close_quietly(w);
    });
    EXPECT_EQ(Seen::lines, "19:199;15:;");
}

TEST_F(MainWin, TheMenuHookIsAskedFirst) {
    write("M.PMT", "Uno\r\n\tA,Report x\r\n\tB,Help\r\n");
    task_handler_set(Seen::handler);
    static std::string asked;
    asked.clear();
    menu_hook_set([](u16 entry, Str line) -> u16 {
        asked += std::to_string(entry) + "=" + text(line) + ";";
        return entry == 0 ? u16(0) : u16(E_FEATUREREMOVED);  // entry 0 is the hook's own
    });
    EXPECT_EQ(main_event(EV_MENU | (0 << 8)), 0);
    EXPECT_EQ(Seen::lines, "");  // no menu loaded yet: nothing to run
    run("M", [](WinId w) {
        main_event(EV_MENU | (0 << 8));
        main_event(EV_MENU | (1 << 8));
        close_quietly(w);
    });
    EXPECT_EQ(asked, "0=Report x;1=Help;");
    EXPECT_EQ(Seen::lines, "15:;");
}

TEST_F(MainWin, AFailingTaskIsShownAndTheMenuStaysUsable) {
    command_line("prog /OUTPUT='out.txt'");
    write("M.PMT", "Uno\r\n\tA,Report x\r\n");
    task_handler_set(Seen::handler);
    u16 first = 0, second = 0;
    bool still_there = false;
    Seen::answer = E_FILENOTFOUND;
    run("M", [&](WinId w) {
        first = main_event(EV_MENU);
        Seen::answer = 0;
        second = main_event(EV_MENU);
        still_there = pf::window_exists(w);
        close_quietly(w);
    });
    EXPECT_EQ(first, E_FILENOTFOUND);
    EXPECT_EQ(second, 0);
    EXPECT_TRUE(still_there);
    EXPECT_GE(boxes_, 1);  // the error box, closed by the fixture
}

TEST_F(MainWin, UnattendedTheMenuEndsWithoutWaiting) {
    if (display_named()) GTEST_SKIP() << "a person could answer on this display";
    command_line("prog /OUTPUT='out.txt'");
    write("M.PMT", "Uno\r\n\tA,Help\r\n");
    EXPECT_EQ(menu_run(S("M")), 0);
    EXPECT_EQ(window_count(), 0);
    EXPECT_NE(read("out.txt").find("Desea Cerrar"), std::string::npos);
}

TEST_F(MainWin, TheLogoFillsTheAreaItIsGiven) {
    pf::RecordingCanvas c(200, 100);
    logo_draw(c, 3, 3, 194, 94);
    auto fills = c.ops_of(pf::RecordingCanvas::Kind::Fill);
    ASSERT_FALSE(fills.empty());
    EXPECT_EQ(fills[0].points[0], (pf::Point{3, 3}));
    EXPECT_EQ(fills[0].width, 194);
    EXPECT_EQ(fills[0].height, 94);
    EXPECT_FALSE(c.ops_of(pf::RecordingCanvas::Kind::Polyline).empty());
    pf::RecordingCanvas none(4, 4);
    logo_draw(none, 3, 3, -2, -2);
    EXPECT_TRUE(none.ops().empty());
}

// A screenshot of the main window with its menu for a person to look at.
TEST_F(MainWin, ScreenshotOfTheMainWindow) {
    write(
        "M.PMT",
        "Informes Graficos\r\n\tCrear Nuevo Informe,Report\r\nAyuda\r\n\tAcerca de,Help About\r\n");
    bool saved = false;
    run("M", [&](WinId w) {
        pf::window_repaint(w);
        pump();
        std::string out = std::string(VX_TEST_OUT_DIR) + "/mainwin.png";
        saved = pf::window_save_image(w, out.c_str(), "PNG");
        close_quietly(w);
    });
    EXPECT_TRUE(saved);
}

// ---- Closing ----

TEST_F(MainWin, EscAsksBeforeClosingEvenWithTheQuietBit) {
    write("M.PMT", "Uno\r\n\tA,Help\r\n");
    sysint_or(SV_AUXSTAT, AUXSTAT_QUIET_CLOSE);
    attended_ = true;  // the boxes are answered here, not closed by the fixture
    std::string question;
    bool still_open = false;
    u16 rc = run("M", [&](WinId w) {
        // The first question is answered No: the window stays; the second Yes: it closes.
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            question = box->text().toStdString();
            box->button(QMessageBox::No)->click();
        });
        QTest::keyClick(pf::window_widget(w), Qt::Key_Escape);
        still_open = main_window() != 0;
        QTimer::singleShot(0, [] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                box->button(QMessageBox::Yes)->click();
        });
        QTest::keyClick(pf::window_widget(w), Qt::Key_Escape);
    });
    EXPECT_EQ(rc, 0);
    EXPECT_TRUE(still_open) << "No keeps the program running";
    EXPECT_NE(question.find("Cerrar la aplicacion"), std::string::npos) << question;
    EXPECT_EQ(main_window(), 0u);
    EXPECT_EQ(window_count(), 0);
}

class Close : public MainWin {
protected:
    void SetUp() override {
        MainWin::SetUp();
        command_line("prog /BATCH /OUTPUT='out.txt'");  // boxes are written out
    }
    // The main window and its screen, as the menu has them.
    void main_like() {
        open(KIND_PLAIN);
        ASSERT_EQ(screen_open(window_top()), 0);
    }
};

TEST_F(Close, OneScreenWithTheQuietBitClosesWithoutAQuestion) {
    main_like();
    sysint_or(SV_AUXSTAT, AUXSTAT_QUIET_CLOSE);
    EXPECT_TRUE(close_request());
    EXPECT_EQ(read("out.txt"), "");
}

TEST_F(Close, OneScreenIsAskedAndYesCloses) {
    main_like();
    EXPECT_TRUE(close_request());  // unattended, the first button (yes) answers
    std::string out = read("out.txt");
    EXPECT_NE(out.find("Desea Cerrar la aplicacion? (1 Pantallas, 1 Ventanas)"), std::string::npos)
        << out;
}

TEST_F(Close, TwoScreensRefuseEvenWithTheQuietBit) {
    main_like();
    ASSERT_EQ(screen_open(window_top()), 0);
    sysint_or(SV_AUXSTAT, AUXSTAT_QUIET_CLOSE);
    EXPECT_FALSE(close_request());
    EXPECT_NE(read("out.txt").find("Aun hay ventanas abiertas (2 Pantallas, 1 Ventanas)"),
              std::string::npos);
}

TEST_F(Close, TwoWindowsRefuse) {
    main_like();
    open(KIND_PLAIN);
    EXPECT_FALSE(close_request());
    EXPECT_NE(read("out.txt").find("(1 Pantallas, 2 Ventanas)"), std::string::npos);
}

TEST_F(Close, TheCloseHookAnswerStandsForBothCounts) {
    main_like();
    close_hook_set([]() -> u16 { return 3; });
    EXPECT_FALSE(close_request());
    EXPECT_NE(read("out.txt").find("(3 Pantallas, 3 Ventanas)"), std::string::npos);
    close_hook_set([]() -> u16 { return 0; });
    sysint_or(SV_AUXSTAT, AUXSTAT_QUIET_CLOSE);
    open(KIND_PLAIN);  // the hook's 0 counts, not the windows
    EXPECT_TRUE(close_request());
}

TEST_F(Close, AcceptedCloseClosesEveryScreenAndWindow) {
    main_like();
    open(KIND_PLAIN);
    ASSERT_EQ(screen_open(window_top()), 0);
    close_all_screens();
    EXPECT_EQ(screen_count(), 0);
    EXPECT_EQ(window_count(), 0);
}

TEST_F(Close, TwoScreensKeepTheProgramRunningUntilOneCloses) {
    command_line("prog /OUTPUT='out.txt'");
    write("M.PMT", "Uno\r\n\tA,MantAux 1\r\n");
    bool after_refusal = false;
    u16 rc = run("M", [&](WinId w) {
        ASSERT_EQ(screen_open(w), 0);
        sysint_or(SV_AUXSTAT, AUXSTAT_QUIET_CLOSE);
        pf::window_close(w);
        pump();
        after_refusal = pf::window_exists(w) && window_count() == 1;
        EXPECT_EQ(main_event(EV_MENU), 0);  // MantAux 1 closes the second screen
        pf::window_close(w);
    });
    EXPECT_EQ(rc, 0);
    EXPECT_TRUE(after_refusal);
    EXPECT_GE(boxes_, 1);
    EXPECT_EQ(window_count(), 0);
}

TEST_F(Close, MessageNumbersAreFilledWithoutTrustingTheText) {
    const int n[] = {2, 7};
    EXPECT_EQ(text(msg_fill_numbers(S("a %i b %d c %% %s %n %i"), n, 2)), "a 2 b 7 c % %s %n 0");
    EXPECT_EQ(text(msg_fill_numbers(S("sin numeros %"), n, 2)), "sin numeros %");
}

// ---- Default tasks ----

class DefaultTask : public MainWin {
protected:
    void SetUp() override {
        MainWin::SetUp();
        command_line("prog /BATCH /OUTPUT='out.txt'");
        env_set(ENV_APNAME, S("VXW01Q:Varnox"));
        env_set(ENV_APDESC, S("Visor de prueba"));
    }
    static u16 run_line(const char* line) {
        return task_run(str_from_cstr(line), task_default_handler);
    }
};

TEST_F(DefaultTask, HelpWithArgumentsWritesTheAboutBox) {
    EXPECT_EQ(run_line("Help,About"), 0);
    std::string out = read("out.txt");
    EXPECT_NE(out.find("Visor de prueba"), std::string::npos) << out;
    EXPECT_NE(out.find("VXW01Q:Varnox"), std::string::npos) << out;
    EXPECT_NE(out.find("] 2\r\n"), std::string::npos) << out;  // _PRECIS
}

TEST_F(DefaultTask, HelpWithoutAPageSaysSo) {
    EXPECT_EQ(run_line("Help"), 0);
    std::string out = read("out.txt");
    EXPECT_NE(out.find("Pagina de Ayuda no definida"), std::string::npos) << out;
    EXPECT_NE(out.find("\xE1ginas de Ayuda"), std::string::npos) << out;
}

TEST_F(DefaultTask, HelpPrefersThePrefixPageThenTheLocalisedOne) {
    std::filesystem::create_directories(dir_.path() / "ayuda");
    env_set(ENV_HELP, str_from_cstr((dir_.path() / "ayuda").c_str()));
    env_set(ENV_DATA, S("nohay"));
    env_set(ENV_LANG, S("ES"));
    write("ayuda/index_es.html", "x");
    EXPECT_NE(text(help_page_find()).find("ayuda/index_es.html"), std::string::npos);
    write("ayuda/index.html", "x");
    EXPECT_NE(text(help_page_find()).find("ayuda/index.html"), std::string::npos);
    write("ayuda/VXindex.html", "x");
    std::string page = text(help_page_find());
    EXPECT_NE(page.find("ayuda/VXindex.html"), std::string::npos);
    EXPECT_EQ(page.rfind("/", 0), 0u) << page;
    EXPECT_EQ(run_line("Help"), 0);  // unattended: only says what it would open
    EXPECT_NE(read("out.txt").find("VXindex.html"), std::string::npos);
}

TEST_F(DefaultTask, FontSetPutsTheChosenLineFirst) {
    write("KVFONT.PPN", "20;10;BOLD;Courier New\r\n16;8;;Mono\r\n\r\n12;6;;Sans\r\n");
    u16 fonts = font_count();
    vx::test::with_input_lines("3\r\n", [&] { EXPECT_EQ(run_line("FontSet"), 0); });
    EXPECT_EQ(read("KVFONT.PPN"), "12;6;;Sans\r\n20;10;BOLD;Courier New\r\n16;8;;Mono\r\n");
    EXPECT_EQ(font_count(), fonts + 1);
    const FontRec& f = state().fonts[font_count() - 1];
    EXPECT_STREQ(f.face, "Sans");
    EXPECT_EQ(f.height, 12);
    EXPECT_EQ(f.width, 6);
}

TEST_F(DefaultTask, FontSetByTextAndCancel) {
    const std::string body = "20;10;BOLD;Courier New\r\n16;8;;Mono\r\n";
    write("KVFONT.PPN", body);
    u16 fonts = font_count();
    vx::test::with_input_lines("\\ESC\r\n", [&] { EXPECT_EQ(run_line("FontSet"), 0); });
    EXPECT_EQ(read("KVFONT.PPN"), body);
    EXPECT_EQ(font_count(), fonts);
    vx::test::with_input_lines("16;8;;Mono\r\n", [&] { EXPECT_EQ(run_line("FontSet"), 0); });
    EXPECT_EQ(read("KVFONT.PPN"), "16;8;;Mono\r\n20;10;BOLD;Courier New\r\n");
}

TEST_F(DefaultTask, FontSetLeavesAFileTooLongToRewriteAlone) {
    std::string body;
    for (int i = 0; i < FONT_LINES_MAX + 1; i++) body += std::to_string(10 + i) + ";8;;Mono\r\n";
    write("KVFONT.PPN", body);
    vx::test::with_input_lines("2\r\n", [&] { EXPECT_EQ(run_line("FontSet"), E_DATAOUTBOUND); });
    EXPECT_EQ(read("KVFONT.PPN"), body);
    error_clear();
}

TEST_F(DefaultTask, FontSetWithoutAFontFile) {
    EXPECT_EQ(run_line("FontSet"), E_FILENOTFOUND);
    error_clear();
}

TEST_F(DefaultTask, MantAuxOpensAndClosesScreenRecords) {
    EXPECT_EQ(run_line("MantAux 0"), 0);
    EXPECT_EQ(screen_count(), 1);
    WinId w = open(KIND_PLAIN);
    EXPECT_EQ(screen_window(), w);  // the record took the next window made
    EXPECT_EQ(text(screen_attr(ATTR_SCANNER)), "") << "no scanner unless one is named";
    EXPECT_EQ(run_line("MantAux 1"), 0);
    EXPECT_EQ(screen_count(), 0);
    EXPECT_EQ(run_line("MantAux 1"), E_DATA);

    EXPECT_EQ(run_line("MantAux 0,COM1:9600,N,8,1"), 0);
    EXPECT_EQ(text(screen_attr(ATTR_SCANNER)), "COM1:9600,N,8,1") << "the rest is the scanner's device text";
    EXPECT_EQ(run_line("MantAux 1"), 0);
    EXPECT_EQ(text(screen_attr(ATTR_SCANNER)), "") << "and goes with its record";
    EXPECT_EQ(run_line(("MantAux 0," + std::string(ATTR_TEXT_MAX + 1, 'x')).c_str()), E_DATAOUTBOUND);
    EXPECT_EQ(screen_count(), 0) << "a device text too long opens nothing";
    for (const char* line : {"MantAux 2", "MantAux x", "MantAux", "MantAux -1"}) {
        EXPECT_EQ(run_line(line), E_DATA) << line;
        EXPECT_EQ(screen_count(), 0) << line;
    }
    error_clear();
}

TEST_F(DefaultTask, UnservedTypesEndWith163) {
    for (const char* line : {"PrcExec x", "Report a", "Reorg", "Copy 1", "report x"})
        EXPECT_EQ(run_line(line), E_DATA) << line;
    error_clear();
}

// The viewer gets the path as one argument, whatever it holds: no shell sees it.
TEST_F(DefaultTask, TheViewerGetsThePathAsOneArgument) {
    namespace fs = std::filesystem;
    fs::path bin = dir_.path() / "bin";
    fs::create_directories(bin);
    write("bin/xdg-open",
          "#!/bin/sh\nprintf '%s|%s' \"$1\" \"$#\" > \"$(dirname \"$0\")/opened.tmp\"\n"
          "mv \"$(dirname \"$0\")/opened.tmp\" \"$(dirname \"$0\")/opened.txt\"\n");
    fs::permissions(bin / "xdg-open", fs::perms::owner_all);
    std::string old_path = vx::os::env_var("PATH");
    ::setenv("PATH", (bin.string() + ":" + old_path).c_str(), 1);
    bool started = vx::os::open_with_viewer("a b;touch hacked $(id).html");
    for (int i = 0; i < 200 && !fs::exists(bin / "opened.txt"); i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ::setenv("PATH", "/nonexistent", 1);
    bool missing = vx::os::open_with_viewer("x.html");
    ::setenv("PATH", old_path.c_str(), 1);
    EXPECT_TRUE(started);
    EXPECT_EQ(read("bin/opened.txt"), "a b;touch hacked $(id).html|1");
    EXPECT_FALSE(fs::exists(dir_.path() / "hacked"));
    EXPECT_FALSE(missing);
    EXPECT_FALSE(vx::os::open_with_viewer(""));
}

}  // namespace
