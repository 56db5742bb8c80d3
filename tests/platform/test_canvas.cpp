// The canvas: what the recording canvas keeps, images drawn by the Qt canvas, SVG and PDF
// drawings, and the clipboard.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "platform/canvas.h"
#include "platform/gui.h"

using namespace vx::platform;

namespace {

using Kind = RecordingCanvas::Kind;

const Rgb WHITE{255, 255, 255}, BLUE{0, 0, 255}, RED{255, 0, 0}, GREEN{0, 255, 0};

std::filesystem::path scratch(const char* name) {
    return std::filesystem::temp_directory_path() /
           (std::string("vx_canvas_") + std::to_string(::getpid()) + "_" + name);
}

class QtCanvasTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ASSERT_TRUE(gui_init());
    }
};

}  // namespace

TEST(RecordingCanvasTest, KeepsEveryCallInOrder) {
    RecordingCanvas c(640, 480, TextMetrics{16, 8, 12});
    EXPECT_EQ(c.width(), 640);
    EXPECT_EQ(c.height(), 480);
    const Point pts[] = {{0, 0}, {10, 20}, {30, 5}};
    c.set_pen(BLUE, 0);
    c.polyline(pts, 3);
    c.polyline(pts, 0);      // nothing to draw
    c.polyline(nullptr, 3);  // nothing either
    c.line(1, 2, 3, 4);
    c.text(5, 6, "Enero", RED);
    c.fill_rect(0, 0, 10, 10, WHITE);
    ASSERT_EQ(c.ops().size(), 5u);
    EXPECT_EQ(c.ops()[0].kind, Kind::Pen);
    EXPECT_EQ(c.ops()[0].width, 1) << "a pen is at least 1 wide";
    EXPECT_EQ(c.ops()[1].points, (std::vector<Point>{{0, 0}, {10, 20}, {30, 5}}));
    EXPECT_EQ(c.ops_of(Kind::Line)[0].points, (std::vector<Point>{{1, 2}, {3, 4}}));
    EXPECT_EQ(c.ops_of(Kind::Text)[0].text, "Enero");
    EXPECT_EQ(c.ops_of(Kind::Text)[0].colour, RED);
    EXPECT_EQ(c.text_width("Enero"), 40);
    EXPECT_EQ(c.text_metrics().height, 16);
    c.clear();
    EXPECT_TRUE(c.ops().empty());
}

TEST_F(QtCanvasTest, PngShowsWhatWasDrawn) {
    Canvas* c = image_open(200, 100, WHITE);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->width(), 200);
    c->fill_rect(150, 60, 40, 30, GREEN);
    c->set_pen(BLUE, 5);
    const Point pts[] = {{10, 50}, {100, 50}, {100, 10}};
    c->polyline(pts, 3);
    c->set_font(FontSpec{16, 0, 400, "Lucida Console"});
    TextMetrics m = c->text_metrics();
    EXPECT_GT(m.height, 10);
    EXPECT_GT(m.char_width, 3);
    EXPECT_GT(c->text_width("MMMM"), c->text_width("M"));
    c->text(10, 70, "Ene", RED);
    auto path = scratch("chart.png");
    ASSERT_TRUE(image_save(c, path.c_str(), "PNG"));
    c->line(0, 99, 199, 99);  // still drawable after a save
    auto bmp = scratch("chart.bmp");
    ASSERT_TRUE(image_save(c, bmp.c_str(), "BMP"));
    image_close(c);

    QImage img(QString::fromStdString(path.string()));
    ASSERT_FALSE(img.isNull());
    EXPECT_EQ(img.size(), QSize(200, 100));
    EXPECT_EQ(img.pixelColor(50, 50), QColor(0, 0, 255)) << "on the polyline";
    EXPECT_EQ(img.pixelColor(100, 30), QColor(0, 0, 255));
    EXPECT_EQ(img.pixelColor(50, 20), QColor(255, 255, 255)) << "background";
    EXPECT_EQ(img.pixelColor(170, 75), QColor(0, 255, 0));
    EXPECT_EQ(img.pixelColor(100, 99), QColor(255, 255, 255)) << "drawn after the PNG";
    bool red = false;
    for (int y = 70; y < 70 + m.height && !red; y++)
        for (int x = 10; x < 10 + 3 * m.char_width && !red; x++) red = img.pixelColor(x, y).red() > 200 && img.pixelColor(x, y).green() < 100;
    EXPECT_TRUE(red) << "the text is drawn below its top";
    QImage b(QString::fromStdString(bmp.string()));
    EXPECT_EQ(b.pixelColor(100, 99), QColor(0, 0, 255));
    std::filesystem::remove(path);
    std::filesystem::remove(bmp);
}

TEST_F(QtCanvasTest, ImagesOutsideTheLimitsAreRefused) {
    EXPECT_EQ(image_open(0, 10, WHITE), nullptr);
    EXPECT_EQ(image_open(10, -1, WHITE), nullptr);
    EXPECT_EQ(image_open(20000, 10, WHITE), nullptr);
    Canvas* c = image_open(10, 10, WHITE);
    EXPECT_FALSE(image_save(c, "/nonexistent/dir/x.png", "PNG"));
    EXPECT_FALSE(image_save(nullptr, "x.png", "PNG"));
    RecordingCanvas r(1, 1);
    EXPECT_FALSE(image_save(&r, "x.png", "PNG")) << "only an image can be saved";
    image_close(c);
    image_close(&r);  // not an image: left alone
}

TEST_F(QtCanvasTest, PrintIntoPdf) {
    auto path = scratch("page.pdf");
    PrintJob* job = print_begin("Prueba", false, path.c_str());
    ASSERT_NE(job, nullptr);
    Canvas* c = print_canvas(job);
    EXPECT_GT(c->height(), c->width()) << "portrait";
    c->line(0, 0, 100, 100);
    EXPECT_TRUE(print_new_page(job));
    EXPECT_TRUE(print_end(job));
    EXPECT_GT(std::filesystem::file_size(path), 100u);
    std::filesystem::remove(path);
    EXPECT_EQ(print_canvas(nullptr), nullptr);
    EXPECT_FALSE(print_end(nullptr));
}

TEST(RecordingCanvasTest, EllipsesSmoothingDotsPerInchAndScaledText) {
    RecordingCanvas c(100, 100, TextMetrics{16, 8, 12});
    EXPECT_EQ(c.dpi(), 96);
    EXPECT_FALSE(c.antialiased());
    c.set_antialias(true);
    EXPECT_TRUE(c.antialiased());
    c.fill_ellipse(1, 2, 6, 8, RED);
    ASSERT_EQ(c.ops_of(Kind::Ellipse).size(), 1u);
    EXPECT_EQ(c.ops_of(Kind::Ellipse)[0].points[0], (Point{1, 2}));
    EXPECT_EQ(c.ops_of(Kind::Ellipse)[0].width, 6);
    EXPECT_EQ(c.ops_of(Kind::Ellipse)[0].height, 8);
    c.set_dpi(192);
    EXPECT_EQ(c.dpi(), 192);
    c.set_font(FontSpec{8, 0, 700, "X"});
    EXPECT_EQ(c.text_width("ab"), 16) << "fixed metrics unless asked";
    EXPECT_EQ(c.ops_of(Kind::Font)[0].weight, 700);
    c.scale_text_with_font(true);
    EXPECT_EQ(c.text_width("ab"), 8) << "half the height, half the width";
    EXPECT_EQ(c.text_metrics().height, 8);
    c.set_font(FontSpec{32, 0, 400, "X"});
    EXPECT_EQ(c.text_metrics().char_width, 16);
}

TEST_F(QtCanvasTest, VectorDrawingsKeepTheirSizeAndTexts) {
    auto svg = scratch("chart.svg"), pdf = scratch("chart.pdf");
    for (auto [kind, path] : {std::pair{VectorKind::Svg, svg}, std::pair{VectorKind::Pdf, pdf}}) {
        Canvas* c = vector_open(kind, path.c_str(), 320, 240, "Ventas \x80");
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->width(), 320);
        EXPECT_EQ(c->height(), 240);
        EXPECT_EQ(c->dpi(), 96);
        c->fill_rect(0, 0, 320, 240, WHITE);
        c->set_pen(BLUE, 2);
        c->line(0, 0, 320, 240);
        c->fill_ellipse(10, 10, 8, 8, RED);
        c->set_font(FontSpec{14, 0, 700, "DejaVu Sans"});
        c->text(20, 20, "Norte", RED);
        EXPECT_TRUE(vector_close(c));
    }
    std::string s;
    {
        std::ifstream in(svg, std::ios::binary);
        s.assign(std::istreambuf_iterator<char>(in), {});
    }
    EXPECT_NE(s.find("viewBox=\"0 0 320 240\""), std::string::npos);
    EXPECT_NE(s.find(">Norte<"), std::string::npos);
    EXPECT_NE(s.find("<title>Ventas \xE2\x82\xAC</title>"), std::string::npos) << "the title in UTF-8";
    std::string p;
    {
        std::ifstream in(pdf, std::ios::binary);
        p.assign(std::istreambuf_iterator<char>(in), {});
    }
    EXPECT_EQ(p.substr(0, 5), "%PDF-");
    size_t box = p.find("/MediaBox [");
    ASSERT_NE(box, std::string::npos);
    std::istringstream numbers(p.substr(box + 11, 60));
    double x0 = -1, y0 = -1, x1 = 0, y1 = 0;
    numbers >> x0 >> y0 >> x1 >> y1;
    EXPECT_NEAR(x1 - x0, 240, 0.5) << "320 x 240 pixels at 96 per inch: " << p.substr(box, 40);
    EXPECT_NEAR(y1 - y0, 180, 0.5);
    std::filesystem::remove(svg);
    std::filesystem::remove(pdf);
    EXPECT_EQ(vector_open(VectorKind::Svg, "x.svg", 0, 10, ""), nullptr);
    EXPECT_EQ(vector_open(VectorKind::Pdf, "x.pdf", 10, 20000, ""), nullptr);
    EXPECT_EQ(vector_open(VectorKind::Pdf, "/nonexistent/dir/x.pdf", 10, 10, ""), nullptr);
    EXPECT_EQ(vector_open(VectorKind::Svg, nullptr, 10, 10, ""), nullptr);
    EXPECT_FALSE(vector_close(nullptr));
    RecordingCanvas r(1, 1);
    EXPECT_FALSE(vector_close(&r)) << "only a drawing is closed";
}

TEST_F(QtCanvasTest, TheClipboardTakesAnImageAndItsText) {
    Canvas* c = image_open(40, 30, WHITE);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->dpi(), 96);
    c->fill_ellipse(10, 5, 20, 20, GREEN);
    ASSERT_TRUE(clipboard_put(c, ",Norte\r\nEne,1.50 \x80\r\n"));
    image_close(c);
    QClipboard* board = QGuiApplication::clipboard();
    QImage img = board->image();
    EXPECT_EQ(img.size(), QSize(40, 30));
    EXPECT_EQ(img.pixelColor(20, 15), QColor(0, 255, 0)) << "the ellipse's middle";
    EXPECT_EQ(img.pixelColor(1, 1), QColor(255, 255, 255)) << "outside its rectangle's corner";
    EXPECT_EQ(board->text(), QString::fromUtf8(",Norte\r\nEne,1.50 €\r\n"));
    RecordingCanvas r(1, 1);
    EXPECT_FALSE(clipboard_put(&r, "x")) << "only an image goes on the clipboard";
}
