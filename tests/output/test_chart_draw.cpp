// Chart drawing on the recording canvas: point positions with one or two elements per
// point, the baseline of an axis that does not start at 0, the value axis's divisions and
// labels, horizontal labels that skip, frame lines, legend, colours and backgrounds, pens.
// The canvas is 400 x 300 with 16-pixel lines and 8-pixel characters: with the default
// margins the plot runs from x 40 to 392 and from y 15 to 285 (270 pixels high).
#include <algorithm>

#include "chart_support.h"
#include "runtime/sysvars.h"

using namespace vx::out;
using namespace vx::rt;
namespace pf = vx::platform;
using vx::test::Rec;

namespace {

constexpr int LEFT = 40, RIGHT = 392, TOP = 15, BOTTOM = 285;
constexpr pf::Rgb WHITE{255, 255, 255}, BLACK{0, 0, 0};

class ChartDraw : public vx::test::ChartTest {};

std::vector<pf::Point> polyline(const Rec& c, size_t n = 0) {
    auto lines = c.ops_of(Rec::Kind::Polyline);
    return n < lines.size() ? lines[n].points : std::vector<pf::Point>{};
}

std::vector<int> ys(const std::vector<pf::Point>& pts) {
    std::vector<int> out;
    for (const pf::Point& p : pts) out.push_back(p.y);
    return out;
}

std::vector<int> xs(const std::vector<pf::Point>& pts) {
    std::vector<int> out;
    for (const pf::Point& p : pts) out.push_back(p.x);
    return out;
}

bool has_line(const Rec& c, pf::Point a, pf::Point b) {
    for (const Rec::Op& op : c.ops_of(Rec::Kind::Line))
        if (op.points[0] == a && op.points[1] == b) return true;
    return false;
}

}  // namespace

TEST_F(ChartDraw, PointsSpreadEvenlyAndScaleToThePlot) {
    array("V#", {0, 100, 200, 300, 400});
    ChartDesc d = describe("V#", CHART_FROM_ZERO);
    EXPECT_EQ(d.points, 5);
    Rec c = draw(d);
    auto pts = polyline(c);
    EXPECT_EQ(xs(pts), (std::vector<int>{40, 128, 216, 304, 392}));
    // y = bottom - v * 270 / 40000 (scaled), truncated toward zero.
    EXPECT_EQ(ys(pts), (std::vector<int>{285, 218, 150, 83, 15}));
}

TEST_F(ChartDraw, TwoElementsPerPointPlaceByTheirXValue) {
    u16 dims[2] = {2, 1};
    ASSERT_EQ(vx::expr::array_declare(S("XY#"), vx::expr::ARRAY_NUM, dims, 2, 0), 0);
    const double points[3][2] = {{100, 0}, {200, 50}, {300, 100}};
    for (i64 i = 0; i < 3; i++)
        for (i64 j = 0; j < 2; j++) {
            i64 subs[2] = {i, j};
            ASSERT_EQ(vx::expr::array_assign(S("XY#"), subs, 2, vx::expr::val_num(i64(points[i][j] * 100))), 0);
        }
    ChartDesc d = describe("XY#", CHART_FROM_ZERO | CHART_XY);
    EXPECT_EQ(d.points, 3);  // six elements make three points
    Rec c = draw(d);
    EXPECT_EQ(xs(polyline(c)), (std::vector<int>{40, 216, 392}));
    EXPECT_EQ(d.xmax, 10000);
    EXPECT_EQ(ys(polyline(c)).back(), TOP);

    // Every x value 0: every point stands at the left edge.
    array("Z#", {5, 0, 6, 0});
    ChartDesc z = describe("Z#", CHART_XY);
    EXPECT_EQ(xs(polyline(draw(z))), (std::vector<int>{LEFT, LEFT}));
}

TEST_F(ChartDraw, AxisFromTheMinimumUsesABaselineOffset) {
    array("N#", {-100, 0, 100});
    ChartDesc d = describe("N#", 0);
    Rec c = draw(d);
    EXPECT_EQ(d.baseline, -135);  // -10000 * 270 / 20000
    EXPECT_EQ(ys(polyline(c)), (std::vector<int>{285, 150, 15}));

    // Positive data: without flag 1 the lowest value sits on the bottom edge; with it the
    // axis starts at 0 and the lowest value is drawn above the edge.
    array("P#", {100, 300});
    ChartDesc from_min = describe("P#", 0);
    EXPECT_EQ(ys(polyline(draw(from_min))), (std::vector<int>{285, 15}));
    EXPECT_EQ(from_min.baseline, 135);
    ChartDesc from_zero = describe("P#", CHART_FROM_ZERO);
    EXPECT_EQ(ys(polyline(draw(from_zero))), (std::vector<int>{195, 15}));
    EXPECT_EQ(from_zero.vmin, 0);
    EXPECT_EQ(from_zero.baseline, 0);
    // "290.00" needs 56 pixels: on a canvas twice as wide the labels fit left of the plot.
    auto from_zero_labels = value_labels(draw(from_zero, 800, 300), 2 * LEFT);
    ASSERT_FALSE(from_zero_labels.empty());
    EXPECT_EQ(from_zero_labels.front().text, "0.00");

    // Flag 1 does nothing to an axis with a negative value.
    ChartDesc neg = describe("N#", CHART_FROM_ZERO);
    draw(neg);
    EXPECT_EQ(neg.vmin, -10000);
}

TEST_F(ChartDraw, EqualValuesLieAtPlotHeightWithoutValueLabels) {
    array("E#", {7, 7, 7});
    ChartDesc d = describe("E#", 0);
    Rec c = draw(d);
    EXPECT_EQ(ys(polyline(c)), (std::vector<int>{BOTTOM - TOP, BOTTOM - TOP, BOTTOM - TOP}));
    EXPECT_TRUE(value_labels(c, LEFT).empty());
}

TEST_F(ChartDraw, ValueAxisHalvesAndDoublesItsDivisions) {
    // A plot 300 pixels high (top 0, bottom 25% of 400) and a range of 1000 units:
    // 1000 halves down to 15 divisions of 66 units.
    array("R#", {0, 10});
    ChartDesc d = describe("R#", CHART_FROM_ZERO, "SCRHIG=400,0,25");
    Rec c = draw(d, 400, 400);
    auto labels = value_labels(c, LEFT);
    ASSERT_EQ(labels.size(), 16u);  // 0, 66 ... 990: each below the maximum 1000
    EXPECT_EQ(labels[0].text, "0.00");
    EXPECT_EQ(labels[1].text, "0.66");
    EXPECT_EQ(labels[15].text, "9.90");
    // Right end one character before the left edge, centred on the value's height.
    EXPECT_EQ(labels[1].points[0].x, LEFT - 8 * 5);
    int y66 = chart_y(d, chart_plot_area(d, 400, 400), 66);
    EXPECT_EQ(labels[1].points[0].y, y66 - 8);
    EXPECT_TRUE(has_line(c, {LEFT, y66}, {LEFT + 16, y66}));

    // 17 units in 270 pixels: halved once to 8 (17 x 16 does not fit), doubled to 16.
    array("S#", {0, 0.17});
    ChartDesc sd = describe("S#", CHART_FROM_ZERO);
    Rec s = draw(sd);
    auto small = value_labels(s, LEFT);
    ASSERT_EQ(small.size(), 17u);
    EXPECT_EQ(small[16].text, "0.16");

    // A range smaller than its divisions gives a step of 0: no labels.
    array("T#", {0, 0.04});
    ChartDesc tiny = describe("T#", CHART_FROM_ZERO);
    EXPECT_TRUE(value_labels(draw(tiny), LEFT).empty());
}

TEST_F(ChartDraw, FirstLabelIsNotBelowAPositiveMinimum) {
    array("M#", {150, 1150});
    ChartDesc d = describe("M#", 0);
    Rec c = draw(d, 800, 300);  // room for "1100.00" left of the plot
    auto labels = value_labels(c, 2 * LEFT);
    ASSERT_FALSE(labels.empty());
    for (const Rec::Op& op : labels) EXPECT_LE(op.points[0].y + 8, BOTTOM) << op.text;
}

TEST_F(ChartDraw, ValueLabelsFollowThePrecision) {
    EXPECT_EQ(vx::test::text(chart_value_label(0)), "0.00");
    EXPECT_EQ(vx::test::text(chart_value_label(150)), "1.50");
    EXPECT_EQ(vx::test::text(chart_value_label(-150)), "-1.50");
    EXPECT_EQ(vx::test::text(chart_value_label(123456789)), "1234567.89");
    sysint_set(SV_PRECIS, 3);
    EXPECT_EQ(vx::test::text(chart_value_label(1500)), "1.500");
    sysint_set(SV_PRECIS, 0);
    EXPECT_EQ(vx::test::text(chart_value_label(42)), "42");
}

TEST_F(ChartDraw, HorizontalLabelsSkipWhenTheyWouldTouch) {
    array("H#", {1, 2, 3, 4, 5});
    // 15-character labels are 120 pixels wide; the points are 88 pixels apart. A canvas
    // 400 high leaves the labels room under the plot (bottom at 380).
    ChartDesc d = describe("H#", CHART_FROM_ZERO, "", "",
                           "aaaaaaaaaaaaaaa,bbbbbbbbbbbbbbb,ccccccccccccccc,ddddddddddddddd,eeeeeeeeeeeeeee");
    Rec c = draw(d, 400, 400);
    const int bottom = 380;
    std::vector<std::string> shown;
    std::vector<int> at;
    for (const Rec::Op& op : c.ops_of(Rec::Kind::Text))
        if (op.points[0].y == bottom + 4) {
            shown.push_back(op.text.substr(0, 1));
            at.push_back(op.points[0].x);
        }
    EXPECT_EQ(shown, (std::vector<std::string>{"a", "c", "e"}));
    // Centred under their points, but the first and the last stay inside the canvas.
    EXPECT_EQ(at, (std::vector<int>{0, 216 - 60, 400 - 120}));
    // Ticks at every point but the first, one text height up from the bottom edge.
    for (int x : {128, 216, 304, 392}) EXPECT_TRUE(has_line(c, {x, bottom}, {x, bottom - 16})) << x;
    EXPECT_FALSE(has_line(c, {LEFT, bottom}, {LEFT, bottom - 16}));

    // On the 300-high canvas the bottom margin (15) cannot hold a 16-pixel label a quarter
    // line down: the plot's bottom rises so that the labels end at the canvas's edge.
    Rec low = draw(d);
    for (const Rec::Op& op : low.ops_of(Rec::Kind::Text)) EXPECT_LE(op.points[0].y + 16, 300) << op.text;
    EXPECT_TRUE(has_line(low, {LEFT, 300 - 16 - 4}, {RIGHT, 300 - 16 - 4}));

    // Short labels all show, centred under their points; without a bottom margin they move
    // one text height up.
    ChartDesc s = describe("H#", CHART_FROM_ZERO, "SCRHIG=300,5,0", "", "a,b,c,d,e");
    Rec sc = draw(s);
    int count = 0;
    for (const Rec::Op& op : sc.ops_of(Rec::Kind::Text))
        if (op.points[0].y == 300 + 4 - 16) count++;
    EXPECT_EQ(count, 5);
}

TEST_F(ChartDraw, TenThousandLabelsNeedNoArenaRoom) {
    u16 dim = 9999;
    ASSERT_EQ(vx::expr::array_declare(S("G#"), vx::expr::ARRAY_NUM, &dim, 1, 0), 0);
    std::string labels;
    for (int i = 0; i < 10000; i++) labels += (i ? ",'" : "'") + std::to_string(i % 100) + "'";
    ChartDesc d = describe("G#", 0, "", "", labels.c_str());
    Rec c = draw(d, 4000, 400);
    std::vector<std::string> shown;
    for (const Rec::Op& op : c.ops_of(Rec::Kind::Text))
        if (op.points[0].y == 380 + 4) shown.push_back(op.text);
    ASSERT_GT(shown.size(), 100u);
    EXPECT_EQ(shown[0], "0");  // unquoted
    EXPECT_LT(shown.size(), 10000u);
}

TEST_F(ChartDraw, FrameLinesFollowMarginsAndFlag32) {
    array("F#", {1, 2});
    ChartDesc d = describe("F#", 0);
    Rec c = draw(d);
    EXPECT_TRUE(has_line(c, {LEFT, TOP}, {LEFT, BOTTOM}));
    EXPECT_TRUE(has_line(c, {LEFT, BOTTOM}, {RIGHT, BOTTOM}));
    EXPECT_FALSE(has_line(c, {LEFT, TOP}, {RIGHT, TOP}));
    EXPECT_FALSE(has_line(c, {RIGHT, TOP}, {RIGHT, BOTTOM}));

    ChartDesc framed = describe("F#", CHART_FRAME);
    Rec f = draw(framed);
    EXPECT_TRUE(has_line(f, {LEFT, TOP}, {RIGHT, TOP}));
    EXPECT_TRUE(has_line(f, {RIGHT, TOP}, {RIGHT, BOTTOM}));

    // Margins of 0: no line on that side, even with flag 32.
    ChartDesc bare = describe("F#", CHART_FRAME, "SCRWID=400,0,0 SCRHIG=300,0,5");
    Rec b = draw(bare);
    EXPECT_FALSE(has_line(b, {0, 0}, {0, BOTTOM}));
    EXPECT_FALSE(has_line(b, {0, 0}, {400, 0}));
    EXPECT_FALSE(has_line(b, {400, 0}, {400, BOTTOM}));
    EXPECT_TRUE(has_line(b, {0, BOTTOM}, {400, BOTTOM}));
}

TEST_F(ChartDraw, LegendRowInSeriesColours) {
    array("A#", {1, 2});
    array("B#", {2, 1});
    ChartDesc d = describe("A#,B#", 0, "", "Ventas,Compras");
    Rec c = draw(d);
    std::vector<Rec::Op> legend;
    for (const Rec::Op& op : c.ops_of(Rec::Kind::Text))
        if (op.points[0].y == 8) legend.push_back(op);
    ASSERT_EQ(legend.size(), 2u);
    EXPECT_EQ(legend[0].text, "Ventas");
    EXPECT_EQ(legend[0].points[0].x, LEFT);
    EXPECT_EQ(legend[0].colour, (pf::Rgb{0, 0, 255}));
    EXPECT_EQ(legend[1].points[0].x, LEFT + 8 * (7 + 3));  // longest title + 3 characters
    EXPECT_EQ(legend[1].colour, (pf::Rgb{0, 255, 0}));

    // Printing adds the chart's title two characters from the left.
    Rec p = draw(d, 400, 300, PaintMode::Print);
    auto printed = texts(p), shown = texts(c);
    EXPECT_NE(std::find(printed.begin(), printed.end(), "Prueba"), printed.end());
    EXPECT_EQ(std::find(shown.begin(), shown.end(), "Prueba"), shown.end());
}

TEST_F(ChartDraw, DarkBackgroundMakesLinesAndTextsWhite) {
    array("D#", {0, 10});
    ChartDesc d = describe("D#", CHART_FROM_ZERO | CHART_BG_DARK);
    Rec c = draw(d, 400, 300, PaintMode::Image);
    auto fills = c.ops_of(Rec::Kind::Fill);
    ASSERT_FALSE(fills.empty());
    EXPECT_EQ(fills[0].colour, (pf::Rgb{64, 64, 64}));
    for (const Rec::Op& pen : c.ops_of(Rec::Kind::Pen)) {
        if (pen.width == 1) {
            EXPECT_EQ(pen.colour, WHITE);
        }
    }
    for (const Rec::Op& t : value_labels(c, LEFT)) EXPECT_EQ(t.colour, WHITE);

    ChartDesc g = describe("D#", CHART_FROM_ZERO | CHART_BG_GRAY);
    Rec gc = draw(g, 400, 300, PaintMode::Image);
    EXPECT_EQ(gc.ops_of(Rec::Kind::Fill)[0].colour, (pf::Rgb{128, 128, 128}));
    for (const Rec::Op& pen : gc.ops_of(Rec::Kind::Pen)) {
        if (pen.width == 1) {
            EXPECT_EQ(pen.colour, BLACK);
        }
    }
    // The window erases its own background: nothing is filled there.
    EXPECT_TRUE(draw(g).ops_of(Rec::Kind::Fill).empty());
}

TEST_F(ChartDraw, PensCycleThroughTheColourTable) {
    std::string names;
    for (int s = 0; s < 12; s++) {
        std::string n = "S" + std::to_string(s) + "#";
        array(n.c_str(), {double(s), double(s + 1)});
        names += (s ? "," : "") + n;
    }
    ChartDesc d = describe(names.c_str(), 0, "PENWID=5");
    Rec c = draw(d);
    std::vector<pf::Rgb> colours;
    for (const Rec::Op& pen : c.ops_of(Rec::Kind::Pen))
        if (pen.width == 5) colours.push_back(pen.colour);
    ASSERT_EQ(colours.size(), 12u);
    for (int s = 0; s < 10; s++) EXPECT_EQ(colours[s], chart_colour(s + 1)) << s;
    EXPECT_EQ(colours[10], WHITE);              // the eleventh: colour 0
    EXPECT_EQ(colours[11], chart_colour(1));    // the twelfth starts again
    EXPECT_EQ(chart_colour(-1), BLACK);
    EXPECT_EQ(chart_colour(11), BLACK);
    // The drawing order: polylines first, value-axis ticks last.
    auto all = c.ops();
    auto first_line = std::find_if(all.begin(), all.end(), [](const Rec::Op& op) { return op.kind == Rec::Kind::Line; });
    auto last_poly = std::find_if(all.rbegin(), all.rend(), [](const Rec::Op& op) { return op.kind == Rec::Kind::Polyline; });
    EXPECT_LT(last_poly.base() - all.begin(), first_line - all.begin() + 1);
}

TEST_F(ChartDraw, OptionsAreHeldToSaneBounds) {
    array("O#", {1, 2});
    ChartDesc d = describe("O#", 0, "PENWID=0 SCRWID=99999,150,-4 SCRHIG=3,7,200");
    EXPECT_EQ(d.pens[0].width, 1);
    EXPECT_EQ(d.width, CHART_SIDE_MAX);
    EXPECT_EQ(d.height, CHART_SIDE_MIN);
    EXPECT_EQ(d.left, MARGIN_MAX);
    EXPECT_EQ(d.right, 0);
    EXPECT_EQ(d.top, 7);
    EXPECT_EQ(d.bottom, MARGIN_MAX);
    draw(d);  // an empty plot draws without trouble

    ChartDesc def = describe("O#", 0);
    EXPECT_EQ(def.pens[0].width, PEN_WIDTH_DEFAULT);
    EXPECT_EQ(def.left, MARGIN_LEFT_DEFAULT);
    EXPECT_EQ(def.right, MARGIN_RIGHT_DEFAULT);
    EXPECT_EQ(def.top, MARGIN_TOP_DEFAULT);
    EXPECT_EQ(def.bottom, MARGIN_BOTTOM_DEFAULT);
    EXPECT_GT(def.width, 0);
    EXPECT_GT(def.height, 0);
}

TEST_F(ChartDraw, ExtremeValuesDoNotOverflow) {
    u16 dim = 2;
    ASSERT_EQ(vx::expr::array_declare(S("X#"), vx::expr::ARRAY_NUM, &dim, 1, 0), 0);
    const i64 values[3] = {INT64_MIN, 0, INT64_MAX};
    for (i64 i = 0; i < 3; i++)
        ASSERT_EQ(vx::expr::array_assign(S("X#"), &i, 1, vx::expr::val_num(values[i])), 0);
    ChartDesc d = describe("X#", 0);
    Rec c = draw(d);
    auto y = ys(polyline(c));
    EXPECT_NEAR(y.front(), BOTTOM, 1);
    EXPECT_NEAR(y.back(), TOP, 1);  // baseline and value are truncated apart
    EXPECT_NEAR(y[1], (TOP + BOTTOM) / 2, 1);
}

TEST_F(ChartDraw, SeriesShorterThanThePointsDrawWhatTheyHold) {
    array("L#", {1, 2, 3, 4});
    array("K#", {1, 2});
    ChartDesc d = describe("L#,K#", 0, "", "", "", 4);
    Rec c = draw(d);
    EXPECT_EQ(polyline(c, 0).size(), 4u);
    EXPECT_EQ(polyline(c, 1).size(), 2u);
    EXPECT_EQ(polyline(c, 1)[1].x, xs(polyline(c, 0))[1]);
}

// ---- Saved and printed layouts ----

TEST_F(ChartDraw, SavedAndPrintedChartsCarryTitleLimitsAndLegendApart) {
    array("A#", {1, 2, 3});
    array("B#", {3, 2, 1});
    ChartDesc d = describe("A#,B#", CHART_FROM_ZERO, "", "Ventas,Compras", "x,y,z");
    d.subtitle = "Desde: 202501, Hasta: 202512";
    const std::string heads[] = {"Prueba", "Desde: 202501, Hasta: 202512", "Ventas", "Compras"};
    for (PaintMode mode : {PaintMode::Image, PaintMode::Print}) {
        Rec c = draw(d, 400, 300, mode);
        auto boxes = text_boxes(c, false);
        int head_bottom = 0;
        for (const std::string& h : heads) {
            const TextBox* b = box_of(boxes, h);
            ASSERT_NE(b, nullptr) << h;
            head_bottom = std::max(head_bottom, b->y1);
            for (const std::string& other : heads) {
                const TextBox* o = box_of(boxes, other);
                if (o && o != b) {
                    EXPECT_FALSE(b->overlaps(*o)) << h << " / " << other;
                }
            }
        }
        // Title, then limits, then the legend, each on a row of its own.
        EXPECT_LT(box_of(boxes, "Prueba")->y0, box_of(boxes, heads[1])->y0);
        EXPECT_LT(box_of(boxes, heads[1])->y0, box_of(boxes, "Ventas")->y0);
        EXPECT_GT(series_top(c), head_bottom) << "the plot starts below the head";
        EXPECT_EQ(d.area.top, head_bottom + 8);
    }
    // On screen the caption holds the title: neither it nor the limits are drawn, and the
    // legend keeps its row half a line from the top.
    Rec w = draw(d);
    auto shown = text_boxes(w, false);
    EXPECT_EQ(box_of(shown, "Prueba"), nullptr);
    EXPECT_EQ(box_of(shown, heads[1]), nullptr);
    ASSERT_NE(box_of(shown, "Ventas"), nullptr);
    EXPECT_EQ(box_of(shown, "Ventas")->y0, 8);
    EXPECT_GT(series_top(w), box_of(shown, "Ventas")->y1) << "the legend is not drawn over the line";
}

TEST_F(ChartDraw, LongHeadsWrapAndLongLegendsBreakIntoRows) {
    std::string names, legend;
    for (int s = 0; s < 9; s++) {
        std::string n = "L" + std::to_string(s) + "#";
        array(n.c_str(), {double(s), double(s + 1)});
        names += (s ? "," : "") + n;
        legend += (s ? "," : "") + std::string("Delegacion ") + std::to_string(s);
    }
    ChartDesc d = describe(names.c_str(), 0, "", legend.c_str(), "a,b");
    d.title = "Ventas acumuladas por delegacion y mes del ejercicio 2025";
    d.subtitle = "Desde periodo: 202501, Hasta periodo: 202512, Zona: Norte";
    Rec c = draw(d, 400, 400, PaintMode::Image);
    auto boxes = text_boxes(c, false);
    int head_bottom = 0, legend_rows_seen = 0, last_row = -1;
    // The head: texts neither left of the plot (value labels) nor under it.
    auto in_head = [&](const TextBox& b) { return b.x1 > d.area.left && b.y0 < d.area.bottom; };
    for (const TextBox& b : boxes) {
        if (!in_head(b)) continue;
        EXPECT_GE(b.x0, 0) << b.text;
        EXPECT_LE(b.x1, 400) << b.text;
        for (const TextBox& o : boxes) {
            if (&o != &b && in_head(o)) {
                EXPECT_FALSE(b.overlaps(o)) << b.text << " / " << o.text;
            }
        }
        head_bottom = std::max(head_bottom, b.y1);
        if (b.text.rfind("Delegacion", 0) == 0 && b.y0 != last_row) {
            legend_rows_seen++;
            last_row = b.y0;
        }
    }
    EXPECT_GT(legend_rows_seen, 1);
    EXPECT_GT(series_top(c), head_bottom);
    // Every word of the title is there, over more than one line.
    std::string joined;
    for (const TextBox& b : boxes)
        if (b.y0 < box_of(boxes, "Delegacion 0")->y0 && b.text.find("Desde") == std::string::npos &&
            b.text.find("Zona") == std::string::npos)
            joined += (joined.empty() ? "" : " ") + b.text;
    EXPECT_EQ(joined, d.title);
}

// Value labels shrink, then stay out, rather than run off the left side; nothing is drawn
// outside the image at any width from 200 pixels, in either style.
TEST_F(ChartDraw, ValueLabelsAreNeverCutAtAnyWidth) {
    array("V#", {19533.22, 671.41, 0, 12000});
    for (ChartStyle style : {ChartStyle::Classic, ChartStyle::Modern}) {
        int widths_with_labels = 0;
        for (int w = 200; w <= 1600; w += 50) {
            ChartDesc d = describe("V#", CHART_FROM_ZERO | CHART_BG_GRAY, "", "Serie", "Ene,Feb,Mar,Abr");
            d.style = style;
            d.subtitle = "Desde: 202501";
            int h = w * 3 / 4;
            Rec c(w, h, pf::TextMetrics{16, 8, 12});
            c.scale_text_with_font(true);
            chart_draw(d, c, PaintMode::Image, CHART_FONT_PX);
            bool labels = false;
            for (const TextBox& b : text_boxes(c, true)) {
                SCOPED_TRACE(b.text + " at width " + std::to_string(w));
                EXPECT_GE(b.x0, 0);
                EXPECT_LE(b.x1, w);
                EXPECT_GE(b.y0, 0);
                EXPECT_LE(b.y1, h);
                labels = labels || (b.x1 <= d.area.left && b.y0 >= d.area.top - b.font);            }
            widths_with_labels += labels;
            if (style == ChartStyle::Modern || w >= 300) {
                EXPECT_TRUE(labels) << "width " << w;
            }
        }
        EXPECT_GT(widths_with_labels, 20);
    }
}

TEST_F(ChartDraw, NarrowMarginsShrinkTheValueLabelsFont) {
    array("V#", {0, 19533.22});
    ChartDesc d = describe("V#", CHART_FROM_ZERO);
    Rec c(400, 300, pf::TextMetrics{16, 8, 12});
    c.scale_text_with_font(true);
    chart_draw(d, c, PaintMode::Window, CHART_FONT_PX);
    // "18137.99" and the character before the edge: 9 characters in 40 pixels need
    // characters of 4 pixels, which a 9-pixel font has on this canvas.
    size_t longest = 0;
    for (const TextBox& b : text_boxes(c, true)) {
        if (b.x1 > LEFT) continue;  // value labels only
        longest = std::max(longest, b.text.size());
        EXPECT_EQ(b.font, 9) << b.text;
        EXPECT_EQ(b.x1, LEFT - 4) << b.text;  // one character before the edge
    }
    EXPECT_EQ(longest, 8u);
    // With room to spare the chart's own font is kept.
    Rec wide(1200, 300, pf::TextMetrics{16, 8, 12});
    wide.scale_text_with_font(true);
    chart_draw(d, wide, PaintMode::Window, CHART_FONT_PX);
    for (const TextBox& b : text_boxes(wide, true)) {
        EXPECT_EQ(b.font, CHART_FONT_PX) << b.text;
    }
}

TEST_F(ChartDraw, PrintedPensGrowWithThePage) {
    array("P#", {1, 3, 2});
    ChartDesc d = describe("P#", CHART_FROM_ZERO, "", "Serie", "a,b,c");
    Rec page(4000, 3000, pf::TextMetrics{160, 80, 120});
    chart_draw(d, page, PaintMode::Print, CHART_FONT_PX * 10, 10.0);
    std::vector<int> widths;
    for (const Rec::Op& pen : page.ops_of(Rec::Kind::Pen)) widths.push_back(pen.width);
    ASSERT_FALSE(widths.empty());
    EXPECT_EQ(widths.front(), PEN_WIDTH_DEFAULT * 10) << "the series";
    EXPECT_EQ(*std::min_element(widths.begin(), widths.end()), 10) << "frame lines and ticks";
}
