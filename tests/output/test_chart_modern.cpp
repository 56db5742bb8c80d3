// The modern chart style on the recording canvas: value ticks at round steps for a table of
// ranges, numbers with the language's separators and no needless decimals, white paper,
// smoothing, the palette, the head (bold title, limits, legend with line samples) above the
// plot, markers when the points are few, sizes that follow the surface and its dots per
// inch; and the point under the mouse with the text of its tooltip, in both styles.
#include <algorithm>
#include <cmath>

#include "chart_support.h"
#include "runtime/env.h"
#include "runtime/sysvars.h"

using namespace vx::out;
using namespace vx::rt;
namespace pf = vx::platform;
using vx::test::Rec;

namespace {

constexpr pf::Rgb PAPER{255, 255, 255}, BLUE{0, 114, 178}, ORANGE{230, 159, 0};

class ChartModern : public vx::test::ChartTest {
protected:
    ChartDesc modern(const char* series, const char* legend = "", const char* labels = "", u16 flags = CHART_FROM_ZERO) {
        ChartDesc d = describe(series, flags, "", legend, labels);
        d.style = ChartStyle::Modern;
        return d;
    }
    // The texts of the ticks a drawing of d on a w x h canvas shows left of its plot.
    static std::vector<std::string> tick_texts(ChartDesc& d, int w = 400, int h = 300) {
        Rec c(w, h, pf::TextMetrics{16, 8, 12});
        chart_draw(d, c, PaintMode::Image, CHART_FONT_PX);
        std::vector<std::string> out;
        for (const Rec::Op& op : c.ops_of(Rec::Kind::Text))
            if (op.points[0].x + int(op.text.size()) * 8 <= d.area.left && op.points[0].y >= d.area.top - 16)
                out.push_back(op.text);
        return out;
    }
};

std::vector<std::string> texts_of(const ValueTicks& t) {
    std::vector<std::string> out;
    for (u16 k = 0; k < t.count; k++) out.push_back(chart_number(t.at(k), t.decimals, '.', ','));
    return out;
}

bool round_step(i64 step) {
    while (step >= 10 && step % 10 == 0) step /= 10;
    return step == 1 || step == 2 || step == 5;
}

i64 units(double v) { return i64(std::llround(v * double(vx::expr::scale()))); }

}  // namespace

TEST_F(ChartModern, TicksFallOnRoundStepsForATableOfRanges) {
    struct Case {
        double lo, hi;
        u16 precis;
        std::vector<std::string> ticks;
    };
    const Case cases[] = {
        {0, 671.41, 2, {"0", "100", "200", "300", "400", "500", "600", "700"}},
        {0, 16113.84, 2, {"0", "5,000", "10,000", "15,000", "20,000"}},
        {-500, 1200, 2, {"-500", "0", "500", "1,000", "1,500"}},
        {0, 0.003, 4, {"0.0000", "0.0005", "0.0010", "0.0015", "0.0020", "0.0025", "0.0030"}},
    };
    for (const Case& c : cases) {
        sysint_set(SV_PRECIS, i16(c.precis));
        ValueTicks t = chart_round_ticks(units(c.lo), units(c.hi), 7);
        EXPECT_EQ(texts_of(t), c.ticks) << c.lo << ".." << c.hi;
        EXPECT_TRUE(round_step(t.step)) << t.step;
    }
    // The same through a drawing: the labels left of the plot are such round ticks.
    sysint_set(SV_PRECIS, 2);
    array("R#", {0, 16113.84, 671.41});
    ChartDesc d = modern("R#");
    std::vector<std::string> shown = tick_texts(d);
    ASSERT_GE(shown.size(), 3u);
    EXPECT_EQ(shown.front(), "0");
    for (const std::string& t : shown) EXPECT_EQ(t.find('.'), std::string::npos) << "no needless decimals: " << t;
    EXPECT_EQ(d.vmin, 0);
    EXPECT_GE(d.vmax, units(16113.84)) << "the axis reaches past the highest value";
}

TEST_F(ChartModern, TicksCoverAnyRangeWithinTheirCount) {
    const i64 bounds[][2] = {{0, 1},          {-1, 1},        {3, 3},         {0, 0},
                             {-7, -7},        {12345, 99999}, {-98765, -3},   {1, 1000000000},
                             {INT64_MIN, 0},  {0, INT64_MAX}, {INT64_MIN, INT64_MAX}};
    for (const auto& b : bounds) {
        for (int most : {1, 3, 7, 20}) {
            ValueTicks t = chart_round_ticks(b[0], b[1], most);
            SCOPED_TRACE(std::to_string(b[0]) + ".." + std::to_string(b[1]) + " in " + std::to_string(most));
            ASSERT_GT(t.step, 0);
            ASSERT_GE(t.count, 2);
            EXPECT_TRUE(round_step(t.step));
            EXPECT_EQ(t.first % t.step, 0);
            // Near the ends of the 64-bit range the ticks stay inside it instead.
            bool extreme = b[0] == INT64_MIN || b[1] == INT64_MAX;
            if (!extreme) {
                EXPECT_LE(t.count - 1, std::max(most, 2)) << "two at least";
                EXPECT_LE(t.first, b[0]);
                EXPECT_GE(t.last(), b[1]);
            }
        }
    }
}

TEST_F(ChartModern, NumbersCarrySeparatorsAndRound) {
    EXPECT_EQ(chart_number(123456789, 2, ',', '.'), "1.234.567,89");
    EXPECT_EQ(chart_number(123456789, 0, ',', '.'), "1.234.568");
    EXPECT_EQ(chart_number(123456789, 2, '.', 0), "1234567.89");
    EXPECT_EQ(chart_number(-150, 2, '.', ','), "-1.50");
    EXPECT_EQ(chart_number(-1, 0, '.', ','), "0") << "no minus on a zero";
    EXPECT_EQ(chart_number(5, 1, '.', ','), "0.1") << "half away from zero";
    EXPECT_EQ(chart_number(-5, 1, '.', ','), "-0.1");
    EXPECT_EQ(chart_number(123, 4, '.', ','), "1.2300");
    EXPECT_EQ(chart_number(99999, 0, '.', ','), "1,000");
    EXPECT_EQ(chart_number(INT64_MIN, 2, '.', 0), "-92233720368547758.08");
    sysint_set(SV_PRECIS, 0);
    EXPECT_EQ(chart_number(1234, 0, ',', '.'), "1.234");
}

TEST_F(ChartModern, PaperPaletteHeadAndSmoothing) {
    array("N#", {1, 4, 2, 5, 3});
    array("S#", {2, 1, 3, 2, 4});
    ChartDesc d = modern("N#,S#", "Norte,Sur", "a,b,c,d,e", CHART_FROM_ZERO | CHART_BG_DARK);
    d.subtitle = "Zona: ES";
    Rec c(640, 480, pf::TextMetrics{16, 8, 12});
    chart_draw(d, c, PaintMode::Window, CHART_FONT_PX);
    ASSERT_FALSE(c.ops_of(Rec::Kind::Fill).empty());
    EXPECT_EQ(c.ops_of(Rec::Kind::Fill)[0].colour, PAPER) << "white whatever the background flags";
    EXPECT_TRUE(c.antialiased());
    // The title is written in bold, first, at the top left; the limits under it.
    auto all = c.ops();
    auto title = std::find_if(all.begin(), all.end(), [](const Rec::Op& op) { return op.kind == Rec::Kind::Text; });
    ASSERT_NE(title, all.end());
    EXPECT_EQ(title->text, "Prueba");
    auto font = std::find_if(std::make_reverse_iterator(title), all.rend(), [](const Rec::Op& op) { return op.kind == Rec::Kind::Font; });
    ASSERT_NE(font, all.rend());
    EXPECT_EQ(font->weight, 700);
    auto boxes = text_boxes(c, false);
    const TextBox* sub = box_of(boxes, "Zona: ES");
    ASSERT_NE(sub, nullptr);
    EXPECT_GE(sub->y0, box_of(boxes, "Prueba")->y1);
    // The legend: a line sample in the series' colour before each title.
    for (const auto& [name, colour] : {std::pair{"Norte", BLUE}, std::pair{"Sur", ORANGE}}) {
        const TextBox* b = box_of(boxes, name);
        ASSERT_NE(b, nullptr) << name;
        EXPECT_GE(b->y0, sub->y1);
        EXPECT_LT(b->y1, d.area.top) << "the head stays above the plot";
        bool sample = false;
        pf::Rgb pen{};
        for (const Rec::Op& op : c.ops()) {
            if (op.kind == Rec::Kind::Pen) pen = op.colour;
            if (op.kind == Rec::Kind::Line && pen == colour && op.points[0].y == op.points[1].y &&
                op.points[1].x < b->x0 && op.points[0].y > b->y0 && op.points[0].y < b->y1)
                sample = true;
        }
        EXPECT_TRUE(sample) << name;
    }
    // Series in the palette's first colours; the grid is light.
    std::vector<pf::Rgb> wide;
    bool grid = false;
    for (const Rec::Op& pen : c.ops_of(Rec::Kind::Pen)) {
        if (pen.width == 2) wide.push_back(pen.colour);
        grid = grid || pen.colour == pf::Rgb{228, 228, 228};
    }
    EXPECT_NE(std::find(wide.begin(), wide.end(), BLUE), wide.end());
    EXPECT_NE(std::find(wide.begin(), wide.end(), ORANGE), wide.end());
    EXPECT_TRUE(grid);
    // Nothing of the head touches anything else.
    for (const TextBox& b : boxes) {
        for (const TextBox& o : boxes) {
            if (&b != &o) {
                EXPECT_FALSE(b.overlaps(o)) << b.text << " / " << o.text;
            }
        }
    }
}

TEST_F(ChartModern, MarkersWhenThePointsAreFew) {
    array("F#", {1, 3, 2, 4, 3});
    ChartDesc few = modern("F#");
    Rec c(640, 480, pf::TextMetrics{16, 8, 12});
    chart_draw(few, c, PaintMode::Image, CHART_FONT_PX);
    // A white ring and a dot per point.
    EXPECT_EQ(c.ops_of(Rec::Kind::Ellipse).size(), 2u * 5);
    u16 dim = 199;
    ASSERT_EQ(vx::expr::array_declare(S("M#"), vx::expr::ARRAY_NUM, &dim, 1, 0), 0);
    ChartDesc many = modern("M#");
    Rec m(640, 480, pf::TextMetrics{16, 8, 12});
    chart_draw(many, m, PaintMode::Image, CHART_FONT_PX);
    EXPECT_TRUE(m.ops_of(Rec::Kind::Ellipse).empty());
}

TEST_F(ChartModern, SizesFollowTheSurfaceAndItsDotsPerInch) {
    array("Z#", {1, 2, 3});
    auto title_font = [&](int w, int h, int dpi) {
        ChartDesc d = modern("Z#");
        Rec c(w, h, pf::TextMetrics{16, 8, 12});
        c.set_dpi(dpi);
        chart_draw(d, c, PaintMode::Image, CHART_FONT_PX);
        return c.ops_of(Rec::Kind::Font).front().height;
    };
    int small = title_font(320, 240, 96), large = title_font(1280, 960, 96);
    EXPECT_LT(small, large);
    EXPECT_NEAR(title_font(1280, 960, 192), 2 * title_font(640, 480, 96), 2) << "a screen scaled twice";
    // A printed page of 1200 dots per inch gets the sizes of the window it stands for.
    int page = title_font(12500, 8750, 1200);
    EXPECT_NEAR(page, large * 12.5, large * 12.5 / 10);
}

TEST_F(ChartModern, EmptyAndFlatChartsStillGetAnAxis) {
    array("E#", {7, 7, 7});
    ChartDesc flat = modern("E#", "", "", 0);
    auto ticks = tick_texts(flat);
    ASSERT_GE(ticks.size(), 2u);
    EXPECT_LT(flat.vmin, 700);
    EXPECT_GT(flat.vmax, 700);
    array("O#", {0, 0});
    ChartDesc zero = modern("O#");
    EXPECT_EQ(tick_texts(zero).front(), "0.0") << "0 to 1 in steps of 0.2";
    ChartDesc none = modern("");
    tick_texts(none);  // no series: nothing to fail on
    u16 dim = 2;
    ASSERT_EQ(vx::expr::array_declare(S("X#"), vx::expr::ARRAY_NUM, &dim, 1, 0), 0);
    const i64 values[3] = {INT64_MIN, 0, INT64_MAX};
    for (i64 i = 0; i < 3; i++) ASSERT_EQ(vx::expr::array_assign(S("X#"), &i, 1, vx::expr::val_num(values[i])), 0);
    ChartDesc extreme = modern("X#", "", "", 0);
    EXPECT_GE(tick_texts(extreme).size(), 2u);
}

// ---- The point under the mouse ----

TEST_F(ChartModern, TheNearestPointAnswersWithItsLabelSeriesAndValue) {
    env_set(ENV_LANGTEXTS, S(",.'0123456789,-D',' NS','  ,NO,SI'"));  // Spanish separators
    array("N#", {1234.5, 16113.84, 900});
    array("S#", {10, 20, 30});
    for (ChartStyle style : {ChartStyle::Classic, ChartStyle::Modern}) {
        ChartDesc d = describe("N#,S#", CHART_FROM_ZERO, "", "Norte,Sur", "Ene,Feb,Mar");
        d.style = style;
        draw(d, 640, 480);
        int x = chart_x(d, d.area, 0, 1), y = chart_y(d, d.area, d.series[0].y[1]);
        ChartHit hit = chart_hit(d, x + 3, y - 2, 8);
        ASSERT_TRUE(hit.found);
        EXPECT_EQ(hit.series, 0);
        EXPECT_EQ(hit.point, 1);
        EXPECT_EQ(chart_point_text(d, hit.series, hit.point), "Feb\nNorte: 16.113,84");
        EXPECT_FALSE(chart_hit(d, x + 20, y + 20, 8).found);
        // The second series near the bottom.
        ChartHit low = chart_hit(d, chart_x(d, d.area, 1, 2), chart_y(d, d.area, d.series[1].y[2]), 8);
        ASSERT_TRUE(low.found);
        EXPECT_EQ(chart_point_text(d, low.series, low.point), "Mar\nSur: 30,00");
    }
    // Without a legend the array names the series; without labels the text is the value alone.
    ChartDesc bare = describe("S#", CHART_FROM_ZERO);
    draw(bare);
    EXPECT_EQ(chart_point_text(bare, 0, 0), "S#: 10,00");
    EXPECT_EQ(chart_point_text(bare, 0, 9), "") << "no such point";
    EXPECT_EQ(chart_point_text(bare, 4, 0), "") << "no such series";
}

TEST_F(ChartModern, AmongManyPointsTheOneUnderTheMouseIsFound) {
    u16 dim = 999;
    ASSERT_EQ(vx::expr::array_declare(S("W#"), vx::expr::ARRAY_NUM, &dim, 1, 0), 0);
    for (i64 i = 0; i < 1000; i++)
        ASSERT_EQ(vx::expr::array_assign(S("W#"), &i, 1, vx::expr::val_num((i % 37) * 100)), 0);
    ChartDesc d = describe("W#", CHART_FROM_ZERO);
    draw(d, 4000, 300);
    for (u16 j : {0, 1, 250, 998, 999}) {
        int x = chart_x(d, d.area, 0, j), y = chart_y(d, d.area, d.series[0].y[j]);
        ChartHit hit = chart_hit(d, x, y, 3);
        ASSERT_TRUE(hit.found) << j;
        EXPECT_EQ(hit.point, j);
    }
    EXPECT_FALSE(chart_hit(d, d.area.right + 20, d.area.top, 3).found);
    EXPECT_FALSE(chart_hit(d, -100, -100, 3).found);
}
