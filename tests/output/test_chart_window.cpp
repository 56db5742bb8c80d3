// The chart window on real widgets of the offscreen platform: its class and size, Esc,
// nesting, the pop-up menu and its commands (printing into a PDF file and saving images
// answered from INPUT lines), the unattended answer that writes a PNG of the window's size,
// and the errors of chart_show; every export format checked by its content, the save
// dialog's filter deciding the format, the keys, the clipboard and the tooltip.
#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <filesystem>
#include <functional>
#include <sstream>

#include "chart_support.h"
#include "input_lines.h"
#include "platform/qt_access.h"
#include "runtime/arena.h"

using namespace vx::out;
using namespace vx::rt;
namespace pf = vx::platform;
namespace fs = std::filesystem;
namespace scr = vx::scr;

namespace {

constexpr int WATCHDOG_MS = 15000;  // generous: a loaded machine prints and paints slowly
constexpr char SIZE_OPTIONS[] = "SCRWID=320 SCRHIG=240";

class ChartWindow : public vx::test::ChartTest {
protected:
    void SetUp() override {
        ChartTest::SetUp();
        array("V#", {1, 5, 3, 8});
    }

    // Shows a chart as a person would answer it: drive runs once the window's loop runs.
    u16 show_attended(std::function<void()> drive, u16 flags = CHART_FROM_ZERO | CHART_BG_GRAY) {
        attended();
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [] {
            ADD_FAILURE() << "the chart window was still open";
            for (u16 n = chart_window_count(); n > 0; n--) pf::window_destroy(chart_window(n));
        });
        watchdog.start(WATCHDOG_MS);
        QTimer::singleShot(0, drive);
        return show(flags);
    }
    static u16 show(u16 flags = CHART_FROM_ZERO | CHART_BG_GRAY) {
        return chart_show(S("Ventas"), S("Serie"), S(SIZE_OPTIONS), S("a,b,c,d"), S("V#"), flags,
                          POINTS_FROM_ARRAY);
    }
    static void escape(scr::WinId w) { QTest::keyClick(pf::window_widget(w), Qt::Key_Escape); }

    // Runs f as if nobody were there, with the INPUT lines given.
    void unattended_with(const std::string& lines, std::function<void()> f) {
        pf::gui_force_interactive(false);
        vx::test::with_input_lines(lines, f);
        pf::gui_force_interactive(true);
    }
};

}  // namespace

TEST_F(ChartWindow, EscapeClosesTheWindowAndReturns) {
    scr::WinId seen = 0;
    u16 rc = show_attended([&] {
        seen = chart_window(1);
        ASSERT_NE(seen, 0u);
        EXPECT_EQ(chart_window_count(), 1);
        EXPECT_EQ(pf::window_class(seen), CHART_CLASS);
        EXPECT_EQ(pf::window_title(seen), "Ventas");
        pf::Rect r = pf::window_client(seen);
        EXPECT_EQ(r.w, 320);
        EXPECT_EQ(r.h, 240);
        escape(seen);
    });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(chart_window_count(), 0);
    EXPECT_FALSE(pf::window_exists(seen));
}

TEST_F(ChartWindow, TheClientAreaFollowsTheWindowsSize) {
    u16 saved = 99;
    u16 rc = show_attended([&] {
        scr::WinId w = chart_window(1);
        pf::window_widget(w)->resize(500, 350);
        QApplication::processEvents();
        pf::Rect r = pf::window_client(w);
        EXPECT_EQ(r.w, 500);
        EXPECT_EQ(r.h, 350);
        EXPECT_EQ(pf::client_widget(w)->size(), QSize(500, 350));
        saved = chart_save_image(w, S("big.png"), "PNG");
        escape(w);
    });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(saved, 0);
    EXPECT_EQ(QImage("big.png").size(), QSize(500, 350));
}

TEST_F(ChartWindow, ChartsShownFromAChartNestAndAreNumbered) {
    std::vector<u16> counts;
    u16 inner_rc = 99;
    u16 rc = show_attended([&] {
        scr::WinId outer = chart_window(1);
        counts.push_back(chart_window_count());
        QTimer::singleShot(0, [&, outer] {
            counts.push_back(chart_window_count());
            scr::WinId inner = chart_window(2);
            EXPECT_NE(inner, outer);
            EXPECT_EQ(chart_window(1), outer);
            escape(inner);
        });
        inner_rc = show();
        counts.push_back(chart_window_count());
        EXPECT_TRUE(pf::window_exists(outer));
        escape(outer);
    });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(inner_rc, 0);
    EXPECT_EQ(counts, (std::vector<u16>{1, 2, 1}));
    EXPECT_EQ(chart_window_count(), 0);
}

TEST_F(ChartWindow, RightClickOffersTheMenuAndSalirCloses) {
    QStringList items;
    u16 rc = show_attended([&] {
        scr::WinId w = chart_window(1);
        QTimer::singleShot(50, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_NE(menu, nullptr);
            for (QAction* a : menu->actions()) items << a->text();
            menu->setActiveAction(menu->actions().first());
            QTest::keyClick(menu, Qt::Key_Return);
        });
        QTest::mouseClick(pf::client_widget(w), Qt::RightButton, {}, QPoint(20, 20));
    });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(items, (QStringList{"&Salir", "&Imprimir", "&Grabar", "", "&Copiar"}));
    EXPECT_EQ(chart_window_count(), 0);
}

TEST_F(ChartWindow, GrabarWritesTheChosenImageAtTheWindowSize) {
    u16 png = 99, bmp = 99, cancelled = 99, bad = 99;
    u16 rc = show_attended([&] {
        scr::WinId w = chart_window(1);
        unattended_with("grafico.png\n", [&] { png = chart_command(w, CMD_SAVE); });
        unattended_with("grafico.BMP\n", [&] { bmp = chart_command(w, CMD_SAVE); });
        unattended_with("\n", [&] { cancelled = chart_command(w, CMD_SAVE); });
        unattended_with("no/such/folder/x.png\n", [&] { bad = chart_command(w, CMD_SAVE); });
        escape(w);
    });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(png, 0);
    EXPECT_EQ(bmp, 0);
    EXPECT_EQ(cancelled, E_CANCELLED);
    EXPECT_EQ(bad, E_FILEIO);
    EXPECT_EQ(vx::test::text(error_detail()), "no/such/folder/x.png");
    QImage a("grafico.png", "PNG"), b("grafico.BMP", "BMP");
    EXPECT_EQ(a.size(), QSize(320, 240));
    EXPECT_EQ(b.size(), QSize(320, 240));
    EXPECT_EQ(a.pixelColor(0, 0), QColor(128, 128, 128));  // the gray background
}

TEST_F(ChartWindow, ImprimirPrintsOneLandscapePage) {
    u16 printed = 99, none = 99;
    u16 rc = show_attended([&] {
        scr::WinId w = chart_window(1);
        unattended_with("grafico.pdf\n", [&] { printed = chart_command(w, CMD_PRINT); });
        unattended_with("\\ESC\n", [&] { none = chart_command(w, CMD_PRINT); });
        escape(w);
    });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(printed, 0);
    EXPECT_EQ(none, 0);  // no printer: nothing printed, nothing reported
    std::string pdf = read("grafico.pdf");
    ASSERT_GT(pdf.size(), 4u);
    EXPECT_EQ(pdf.substr(0, 4), "%PDF");
    EXPECT_NE(pdf.find("/Count 1"), std::string::npos);
    EXPECT_EQ(chart_command(12345, CMD_PRINT), E_DATA);  // no chart window
}

TEST_F(ChartWindow, UnattendedLineWritesAPngOfTheWindowSize) {
    u16 rc = 99;
    vx::test::with_input_lines("out.png\n\n", [&] {
        rc = show(CHART_FROM_ZERO | CHART_BG_DARK);
        EXPECT_EQ(rc, 0);
        EXPECT_EQ(chart_window_count(), 0);
        EXPECT_EQ(scr::window_count(), 0);
        // An empty line writes nothing and closes all the same.
        EXPECT_EQ(show(), 0);
    });
    QImage img("out.png", "PNG");
    ASSERT_FALSE(img.isNull());
    EXPECT_EQ(img.size(), QSize(320, 240));
    EXPECT_EQ(img.pixelColor(0, 0), QColor(64, 64, 64));
    // White frame lines on dark gray: the bottom line runs along the plot, above the labels.
    int white_rows = 0;
    for (int y = 180; y < 240; y++) white_rows += img.pixelColor(160, y).red() > 128;
    EXPECT_GT(white_rows, 0);
    std::size_t files = 0;
    for (auto& e : fs::directory_iterator(dir_.path())) files += e.path().extension() == ".png";
    EXPECT_EQ(files, 1u);
    // No line left: nothing written either.
    vx::test::with_input_lines("", [&] { EXPECT_EQ(show(), 0); });
}

TEST_F(ChartWindow, BadSeriesAreRefusedWithTheirName) {
    u16 d2[2] = {3, 1};
    ASSERT_EQ(vx::expr::array_declare(S("M#"), vx::expr::ARRAY_NUM, d2, 2, 0), 0);
    u16 d1 = 3;
    ASSERT_EQ(vx::expr::array_declare(S("T$"), vx::expr::ARRAY_STR, &d1, 1, 8), 0);
    struct Case {
        const char* series;
        u16 flags;
        const char* detail;
    };
    const Case cases[] = {
        {"V#,NADA#", 0, "NADA#"},  // no such array
        {"M#", 0, "M#"},           // two dimensions without flag 16
        {"T$", 0, "T$"},           // not numeric
    };
    for (const Case& c : cases) {
        error_clear();
        EXPECT_EQ(chart_show(S("X"), S(""), S(""), S(""), str_from_cstr(c.series), c.flags, -1), E_DATA)
            << c.series;
        EXPECT_EQ(vx::test::text(error_detail()), c.detail);
        EXPECT_EQ(chart_window_count(), 0);
        EXPECT_EQ(scr::window_count(), 0);
    }
    error_clear();
    // Reading a missing series never declares it.
    vx::expr::ArrayInfo info;
    EXPECT_NE(vx::expr::array_info(S("NADA#"), &info), 0);
    // Two dimensions are fine with flag 16: the four rows give four points.
    ChartDesc d = describe("M#", CHART_XY);
    EXPECT_EQ(d.points, 4);
    // -1 takes the points of the last array; a count of its own is kept.
    array("W#", {1, 2, 3, 4, 5, 6});
    EXPECT_EQ(describe("V#,W#", 0).points, 6);
    EXPECT_EQ(describe("W#,V#", 0).points, 4);
    EXPECT_EQ(describe("W#,V#", 0, "", "", "", 3).points, 3);
}

// ---- Exporting, copying, keys and tooltips ----

namespace {

// The numbers of a PDF's page box ("0 0 240 180").
std::string pdf_box(const std::string& pdf) {
    size_t at = pdf.find("/MediaBox");
    if (at == std::string::npos) return {};
    size_t open = pdf.find('[', at), close = pdf.find(']', at);
    return open == std::string::npos || close == std::string::npos ? std::string() : pdf.substr(open + 1, close - open - 1);
}

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> out;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find("\r\n", at);
        if (end == std::string::npos) end = text.size();
        out.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return out;
}

}  // namespace

TEST_F(ChartWindow, EveryFormatIsWrittenUnattendedByItsExtension) {
    command_line("prog /BATCH /OUTPUT='out.txt'");
    vx::test::with_input_lines("g.png\ng.bmp\ng.svg\ng.pdf\ng.csv\nsin_extension\n", [&] {
        for (int i = 0; i < 6; i++) EXPECT_EQ(show(), 0) << i;
    });
    QImage png("g.png", "PNG"), bmp("g.bmp", "BMP");
    EXPECT_EQ(png.size(), QSize(320, 240));
    EXPECT_EQ(bmp.size(), QSize(320, 240));
    EXPECT_EQ(QImage("sin_extension.png", "PNG").size(), QSize(320, 240)) << "PNG, and the extension added";
    EXPECT_FALSE(fs::exists("sin_extension"));

    std::string svg = read("g.svg");
    EXPECT_NE(svg.find("<svg"), std::string::npos);
    EXPECT_NE(svg.find("viewBox=\"0 0 320 240\""), std::string::npos) << svg.substr(0, 400);
    EXPECT_NE(svg.find(">Ventas<"), std::string::npos) << "the title is text of the drawing";
    EXPECT_NE(svg.find(">Serie<"), std::string::npos) << "the legend too";

    std::string pdf = read("g.pdf");
    ASSERT_GT(pdf.size(), 4u);
    EXPECT_EQ(pdf.substr(0, 5), "%PDF-");
    EXPECT_NE(pdf.find("/Count 1"), std::string::npos) << "one page";
    std::istringstream box(pdf_box(pdf));
    double x0 = -1, y0 = -1, x1 = 0, y1 = 0;
    box >> x0 >> y0 >> x1 >> y1;
    EXPECT_NEAR(x1 - x0, 240, 1) << "320 pixels at 96 per inch are 240 points";
    EXPECT_NEAR(y1 - y0, 180, 1);
    EXPECT_EQ(pdf.find("/Subtype /Image"), std::string::npos) << "vectors, not a picture";
    EXPECT_NE(pdf.find("/FontFile"), std::string::npos) << "texts stay texts";

    auto rows = split_lines(read("g.csv"));
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0], ",Serie");
    EXPECT_EQ(rows[1], "a,1.00");
    EXPECT_EQ(rows[4], "d,8.00");
    std::string out = read("out.txt");
    EXPECT_NE(out.find("[Ventas] g.svg"), std::string::npos) << out;
}

TEST_F(ChartWindow, GrabarTakesTheFormatAndExtensionFromTheChosenFilter) {
    struct Answer {
        const char* filter;
        const char* typed;  // nullptr: the name the dialog shows
    };
    const Answer answers[] = {{"PDF (*.pdf)", "informe.png"}, {"SVG (*.svg)", "informe"}, {"SVG (*.svg)", nullptr}};
    QString initial, followed;
    QStringList filters;
    std::vector<u16> saved;
    u16 rc = show_attended([&] {
        scr::WinId w = chart_window(1);
        for (const Answer& a : answers) {
            QTimer::singleShot(50, [&] {
                auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                ASSERT_NE(dialog, nullptr);
                auto* name = dialog->findChild<QLineEdit*>();
                ASSERT_NE(name, nullptr);
                filters = dialog->nameFilters();
                initial = name->text();
                dialog->selectNameFilter(a.filter);
                followed = name->text();
                if (a.typed) name->setText(a.typed);  // typed after the filter was chosen
                static_cast<QDialog*>(dialog)->accept();
            });
            saved.push_back(chart_command(w, CMD_SAVE));
        }
        escape(w);
    });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(saved, (std::vector<u16>{0, 0, 0}));
    EXPECT_EQ(initial, "Ventas.png") << "the chart's title, not a window's caption";
    EXPECT_EQ(followed, "Ventas.svg") << "the name shown follows the filter";
    ASSERT_EQ(filters.size(), 6);
    EXPECT_EQ(filters.front(), "PNG (*.png)");
    EXPECT_EQ(read("informe.png.pdf").substr(0, 5), "%PDF-") << "the filter decides the format";
    EXPECT_FALSE(fs::exists("informe.png"));
    EXPECT_NE(read("informe.svg").find("<svg"), std::string::npos) << "and gives the extension";
    EXPECT_NE(read("Ventas.svg").find("<svg"), std::string::npos);
}

TEST_F(ChartWindow, KeysSavePrintCopyAndOpenTheMenu) {
    QStringList menus;
    u16 rc = show_attended([&] {
        scr::WinId w = chart_window(1);
        QWidget* client = pf::client_widget(w);
        unattended_with("tecla.svg\n", [&] { QTest::keyClick(client, Qt::Key_S, Qt::ControlModifier); });
        unattended_with("tecla.pdf\n", [&] { QTest::keyClick(client, Qt::Key_P, Qt::ControlModifier); });
        QApplication::clipboard()->clear();
        QTest::keyClick(client, Qt::Key_C, Qt::ControlModifier);
        // Shift+F10 and the menu key open the pop-up menu; Esc closes it, not the window.
        for (auto [key, mods] : {std::pair{Qt::Key_F10, Qt::ShiftModifier}, std::pair{Qt::Key_Menu, Qt::NoModifier}}) {
            // Looks for the pop-up until it shows (a loaded machine may take a while).
            QTimer poll;
            int tries = 0;
            QObject::connect(&poll, &QTimer::timeout, [&] {
                auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
                if (!menu && ++tries < WATCHDOG_MS / 20 / 2) return;
                poll.stop();
                menus << (menu ? menu->actions().value(0)->text() : QString("none"));
                if (menu) menu->close();
            });
            poll.start(20);
            QTest::keyClick(client, key, mods);
            while (poll.isActive()) QTest::qWait(10);
        }
        EXPECT_TRUE(pf::window_exists(w));
        escape(w);
    });
    EXPECT_EQ(rc, 0);
    EXPECT_NE(read("tecla.svg").find("<svg"), std::string::npos) << "Ctrl+S";
    EXPECT_EQ(read("tecla.pdf").substr(0, 5), "%PDF-") << "Ctrl+P";
    EXPECT_EQ(menus, (QStringList{"&Salir", "&Salir"}));
    // Ctrl+C: the chart as it would be saved, and its figures as text.
    QImage image = QApplication::clipboard()->image();
    EXPECT_EQ(image.size(), QSize(320, 240));
    EXPECT_EQ(image.pixelColor(0, 0), QColor(128, 128, 128));
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), ",Serie\r\na,1.00\r\nb,5.00\r\nc,3.00\r\nd,8.00\r\n");
}

TEST_F(ChartWindow, HoveringAPointShowsItsLabelSeriesAndValue) {
    QString tip, away;
    u16 rc = show_attended([&] {
        scr::WinId w = chart_window(1);
        QWidget* client = pf::client_widget(w);
        EXPECT_TRUE(QTest::qWaitForWindowExposed(pf::window_widget(w)));
        client->repaint();  // the geometry of the points is that of the last painting
        const ChartDesc* d = chart_window_desc(w);
        ASSERT_NE(d, nullptr);
        QPoint at(chart_x(*d, d->area, 0, 3), chart_y(*d, d->area, d->series[0].y[3]));
        QTest::mouseMove(client, at + QPoint(2, 1));
        QApplication::processEvents();
        tip = QToolTip::text();
        QTest::mouseMove(client, QPoint(d->area.left + 2, d->area.top + 2));
        for (int waited = 0; QToolTip::isVisible() && waited < WATCHDOG_MS / 2; waited += 20) QTest::qWait(20);
        away = QToolTip::isVisible() ? QToolTip::text() : QString();
        escape(w);
    });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(tip, "d\nSerie: 8.00");
    EXPECT_EQ(away, "");
}

TEST_F(ChartWindow, PrintedDocumentsAreNamedByTheChart) {
    command_line("prog /OUTPUT='out.txt'");
    u16 rc = show_attended([&] {
        scr::WinId w = chart_window(1);
        unattended_with("hoja.pdf\n", [&] { EXPECT_EQ(chart_command(w, CMD_PRINT), 0); });
        escape(w);
    });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(read("out.txt"), "[Ventas] hoja.pdf\r\n");
}

TEST_F(ChartWindow, TheModernStyleIsChosenOnTheCommandLine) {
    command_line("prog /BATCH /CHARTSTYLE=MODERN");
    vx::test::with_input_lines("moderno.png\n", [&] { EXPECT_EQ(show(CHART_FROM_ZERO | CHART_BG_DARK), 0); });
    QImage img("moderno.png", "PNG");
    ASSERT_FALSE(img.isNull());
    EXPECT_EQ(img.pixelColor(0, 0), QColor(255, 255, 255)) << "white paper";
    EXPECT_EQ(img.pixelColor(319, 239), QColor(255, 255, 255));
}
