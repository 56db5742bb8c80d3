// WINPRN: the page geometry of portrait and landscape pages, lines and fonts on a canvas that
// keeps every font asked for, new pages at 97% of the height, and the device printed into a
// PDF file through the print dialog's unattended answer.
#include <cstdio>
#include <regex>

#include "device_support.h"
#include "input_lines.h"

using namespace vx::out;
using namespace vx::rt;
using vx::test::text;
namespace pf = vx::platform;
namespace fs = std::filesystem;

namespace {

// Keeps the fonts and texts asked for; every character is 10 pixels wide.
class FontCanvas final : public pf::Canvas {
public:
    struct Text {
        int x, y;
        std::string text;
        pf::FontSpec font;
    };
    FontCanvas(int w, int h) : w_(w), h_(h) {}
    int width() const override { return w_; }
    int height() const override { return h_; }
    void set_pen(pf::Rgb, int) override {}
    void polyline(const pf::Point*, int) override {}
    void line(int, int, int, int) override {}
    void set_font(const pf::FontSpec& f) override { font_ = f; }
    void text(int x, int y, std::string_view t, pf::Rgb) override { texts.push_back({x, y, std::string(t), font_}); }
    pf::TextMetrics text_metrics() const override { return {20, 10, 15}; }
    int text_width(std::string_view t) const override { return int(t.size()) * 10; }
    void fill_rect(int, int, int, int, pf::Rgb) override {}
    std::vector<Text> texts;

private:
    int w_, h_;
    pf::FontSpec font_;
};

struct Pages {
    int turned = 0;
};
bool turn(void* data) {
    static_cast<Pages*>(data)->turned++;
    return true;
}

class DeviceWinprn : public vx::test::DeviceTest {
protected:
    std::string run(const std::string& command) {
        std::string out;
        FILE* p = ::popen(command.c_str(), "r");
        char buf[4096];
        for (std::size_t n; p && (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
        if (p) ::pclose(p);
        return out;
    }
};

TEST_F(DeviceWinprn, PortraitAndLandscapeGeometry) {
    WinPrinter p;
    winprn_setup(p, nullptr, 4760, 6800);  // A4 at 600 dpi, less the margins
    EXPECT_EQ(p.base, 104);
    EXPECT_EQ(p.lines, 64);
    EXPECT_EQ(p.line_height, 6256 / 64);
    EXPECT_EQ(p.top, 340);
    EXPECT_EQ(p.left, 272);
    EXPECT_EQ(p.bottom, 6596);
    EXPECT_EQ(p.font.height, 78);
    EXPECT_EQ(p.font.width, 52);
    EXPECT_EQ(p.font.face, WINPRN_FACE);
    winprn_setup(p, nullptr, 6800, 4760);
    EXPECT_EQ(p.base, 87);
    EXPECT_EQ(p.lines, 36);
    EXPECT_EQ(p.line_height, 4379 / 36);
    EXPECT_EQ(p.left, 190);
}

TEST_F(DeviceWinprn, LinesAndTheFontsTheirControlCharactersChoose) {
    FontCanvas c(4760, 6800);
    WinPrinter p;
    winprn_setup(p, &c, c.width(), c.height());
    ASSERT_TRUE(winprn_text(p, S("Uno\r\n\x0E\x1C" "Ancha\r\nSigue")));
    ASSERT_TRUE(winprn_text(p, S(" igual\r\n\x0F\x10\x1E" "chica\r\n\x12\x11\x1D\x1Fnormal\r\n")));
    ASSERT_EQ(c.texts.size(), 6u);
    const auto& t = c.texts;
    EXPECT_EQ(t[0].text, "Uno");
    EXPECT_EQ(t[0].x, p.left);
    EXPECT_EQ(t[0].y, p.top);
    EXPECT_EQ(t[0].font.width, 52);
    EXPECT_EQ(t[0].font.weight, 400);
    EXPECT_EQ(t[1].text, "Ancha");
    EXPECT_EQ(t[1].y, p.top + p.line_height);
    EXPECT_EQ(t[1].font.width, 104);  // double width
    EXPECT_EQ(t[1].font.weight, 700);
    EXPECT_EQ(t[1].font.height, 78);
    EXPECT_EQ(t[2].text, "Sigue");      // no control characters: the font stays
    EXPECT_EQ(t[2].font.weight, 700);
    EXPECT_EQ(t[3].text, " igual");     // the same line goes on to the right
    EXPECT_EQ(t[3].x, p.left + 50);
    EXPECT_EQ(t[3].y, t[2].y);
    EXPECT_EQ(t[4].text, "chica");
    EXPECT_EQ(t[4].font.width, 32);
    EXPECT_TRUE(t[4].font.underline);
    EXPECT_TRUE(t[4].font.italic);
    EXPECT_EQ(t[4].font.weight, 400);
    EXPECT_EQ(t[5].text, "normal");
    EXPECT_EQ(t[5].font.width, 52);
    EXPECT_FALSE(t[5].font.underline || t[5].font.italic);
}

TEST_F(DeviceWinprn, SizesFollowTheBaseOfThePage) {
    FontCanvas c(9520, 13600);  // the same page at 1200 dpi
    WinPrinter p;
    winprn_setup(p, &c, c.width(), c.height());
    ASSERT_TRUE(winprn_text(p, S("a\r\n\x0E" "b\r\n\x0F" "c\r\n")));
    EXPECT_EQ(p.base, 208);
    EXPECT_EQ(c.texts[0].font.width, 104);
    EXPECT_EQ(c.texts[1].font.width, 208);
    EXPECT_EQ(c.texts[2].font.width, 64);
}

TEST_F(DeviceWinprn, SixtyFourLinesFillAPortraitPage) {
    FontCanvas c(4760, 6800);
    WinPrinter p;
    Pages pages;
    winprn_setup(p, &c, c.width(), c.height());
    p.next_page = turn;
    p.job = &pages;
    for (int i = 1; i <= 130; i++) {
        std::string line = "l" + std::to_string(i) + "\r\n";
        ASSERT_TRUE(winprn_text(p, str_view(line.data(), u16(line.size()))));
    }
    EXPECT_EQ(pages.turned, 2);
    EXPECT_EQ(p.pages, 3);
    EXPECT_EQ(c.texts[63].text, "l64");
    EXPECT_EQ(c.texts[64].text, "l65");
    EXPECT_EQ(c.texts[64].y, p.top);
    EXPECT_LT(c.texts[63].y, p.bottom);
    ASSERT_TRUE(winprn_text(p, S("\r\n\r\n")));  // empty lines are lines too
    EXPECT_EQ(p.y, p.top + 4 * p.line_height);
    // A shorter line height: the page turns at 97% of the height before its 64 lines.
    winprn_setup(p, &c, c.width(), c.height());
    p.next_page = turn;
    p.job = &pages;
    p.line_height = 120;
    for (int i = 1; i <= 54; i++) ASSERT_TRUE(winprn_text(p, S("x\r\n")));
    EXPECT_EQ(p.pages, 2);
    EXPECT_EQ(p.page_lines, 1);
}

TEST_F(DeviceWinprn, PrintedIntoThePdfTheDialogAnswerNames) {
    sysint_or(SV_SYSCOMPAT, SYSCOMPAT_SYSTEM_PRINTERS);
    command_line("vxrun /BATCH /OUTPUT='out.txt'");
    std::string pdf = (dir_.path() / "impreso.pdf").string();
    vx::test::with_input_lines(pdf + "\r\n", [&] {
        Device d;
        ASSERT_EQ(dev_open(d, S("WINPRN"), S("Listado")), 0);
        EXPECT_EQ(d.kind, KIND_WINPRN);
        EXPECT_EQ(d.lines, 64);  // the printed page's lines, as LP was not given
        ASSERT_EQ(dev_write(d, S("\x0E\x1CTITULO\r\nse\xF1or\r\n")), 0);
        ASSERT_EQ(dev_finish(d), 0);
        ASSERT_EQ(dev_close(d), 0);
    });
    std::string t = run("pdftotext '" + pdf + "' -");
    EXPECT_NE(t.find("TITULO"), std::string::npos);
    EXPECT_NE(t.find("señor"), std::string::npos);
    EXPECT_EQ(read("out.txt"), "[Listado] " + pdf + "\r\n");
    std::string info = run("pdfinfo '" + pdf + "'");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(info, m, std::regex("Page size:\\s+([0-9.]+) x ([0-9.]+)")));
    EXPECT_LT(std::stod(m[1]), std::stod(m[2]));  // portrait
}

TEST_F(DeviceWinprn, LandscapeAndCancel) {
    sysint_or(SV_SYSCOMPAT, SYSCOMPAT_SYSTEM_PRINTERS);
    command_line("vxrun /BATCH /OUTPUT='out.txt'");
    std::string pdf = (dir_.path() / "ancho.pdf").string();
    vx::test::with_input_lines(pdf + "\r\n\\ESC\r\n", [&] {
        Device d;
        ASSERT_EQ(dev_open(d, S("WINPRN /LANDSCAPE /LP:30"), S("Ancho")), 0);
        EXPECT_EQ(d.lines, 30);
        ASSERT_EQ(dev_write(d, S("x\r\n")), 0);
        ASSERT_EQ(dev_close(d), 0);
        EXPECT_EQ(dev_open(d, S("WINPRN"), S("Otro")), E_CANCELLED);
        EXPECT_FALSE(d.open);
    });
    std::string info = run("pdfinfo '" + pdf + "'");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(info, m, std::regex("Page size:\\s+([0-9.]+) x ([0-9.]+)")));
    EXPECT_GT(std::stod(m[1]), std::stod(m[2]));
}

TEST_F(DeviceWinprn, APrinterThatCannotBeHadIsADeviceError) {
    sysint_or(SV_SYSCOMPAT, SYSCOMPAT_SYSTEM_PRINTERS);
    command_line("vxrun /BATCH /OUTPUT='out.txt'");
    vx::test::with_input_lines("/no/such/folder/x.pdf\r\n", [&] {
        Device d;
        EXPECT_EQ(dev_open(d, S("WINPRN"), S("Listado")), E_DEVICEIO);
    });
}

}  // namespace
