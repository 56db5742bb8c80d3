// The fixture of the chart tests: the window-layer fixture with the variable layer, and
// helpers that declare numeric arrays and pick drawing operations off a recording canvas.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "expr/eval.h"
#include "expr/vars.h"
#include "output/chart.h"
#include "platform/canvas.h"
#include "support.h"

namespace vx::test {

using Rec = platform::RecordingCanvas;

class ChartTest : public ScreenTest {
protected:
    explicit ChartTest(const char* tag = "chart") : ScreenTest(tag) {}
    void SetUp() override {
        ScreenTest::SetUp();
        ASSERT_EQ(expr::vars_create(), 0);
        expr::eval_install();
    }
    void TearDown() override {
        expr::vars_free();
        ScreenTest::TearDown();
    }

    // A one-dimensional numeric array holding the values (whole units, scaled here).
    static void array(const char* name, std::initializer_list<double> values) {
        rt::u16 dim = rt::u16(values.size() - 1);
        ASSERT_EQ(expr::array_declare(rt::str_from_cstr(name), expr::ARRAY_NUM, &dim, 1, 0), 0);
        rt::i64 i = 0;
        for (double v : values) {
            rt::i64 scaled = rt::i64(v * double(expr::scale()) + (v < 0 ? -0.5 : 0.5));
            ASSERT_EQ(expr::array_assign(rt::str_from_cstr(name), &i, 1, expr::val_num(scaled)), 0);
            i++;
        }
    }

    static out::ChartDesc describe(const char* series, rt::u16 flags, const char* options = "",
                                   const char* legend = "", const char* labels = "",
                                   rt::i32 points = out::POINTS_FROM_ARRAY) {
        out::ChartDesc d;
        EXPECT_EQ(out::chart_describe(rt::S("Prueba"), rt::str_from_cstr(legend),
                                      rt::str_from_cstr(options), rt::str_from_cstr(labels),
                                      rt::str_from_cstr(series), flags, points, &d),
                  0);
        return d;
    }

    // Draws on a 400 x 300 recording canvas with 16-pixel lines and 8-pixel characters.
    static Rec draw(out::ChartDesc& d, int w = 400, int h = 300,
                    out::PaintMode mode = out::PaintMode::Window) {
        Rec c(w, h, platform::TextMetrics{16, 8, 12});
        out::chart_draw(d, c, mode, out::CHART_FONT_PX);
        return c;
    }

    static std::vector<Rec::Op> ops(const Rec& c, Rec::Kind kind) { return c.ops_of(kind); }
    static std::vector<std::string> texts(const Rec& c) {
        std::vector<std::string> out;
        for (const Rec::Op& op : c.ops_of(Rec::Kind::Text)) out.push_back(op.text);
        return out;
    }
    // A text drawn, with the box it covers in the font it was drawn in.
    struct TextBox {
        std::string text;
        int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
        int font = 0;  // the height asked of the font
        bool overlaps(const TextBox& o) const { return x0 < o.x1 && o.x0 < x1 && y0 < o.y1 && o.y0 < y1; }
    };
    // The boxes of every text, measured as the canvas measures (metrics 16 x 8, following the
    // font's height when scaled).
    static std::vector<TextBox> text_boxes(const Rec& c, bool scaled) {
        std::vector<TextBox> out;
        int font = 16;
        for (const Rec::Op& op : c.ops()) {
            if (op.kind == Rec::Kind::Font) font = op.height;
            if (op.kind != Rec::Kind::Text) continue;
            int h = scaled ? std::max(1, font) : 16, cw = scaled ? std::max(1, 8 * font / 16) : 8;
            int x = op.points[0].x, y = op.points[0].y;
            out.push_back(TextBox{op.text, x, y, x + cw * int(op.text.size()), y + h, font});
        }
        return out;
    }
    static const TextBox* box_of(const std::vector<TextBox>& boxes, const std::string& text) {
        for (const TextBox& b : boxes)
            if (b.text == text) return &b;
        return nullptr;
    }
    // The highest point of the drawn series.
    static int series_top(const Rec& c) {
        int top = INT32_MAX;
        for (const Rec::Op& op : c.ops_of(Rec::Kind::Polyline))
            for (const platform::Point& p : op.points) top = std::min(top, p.y);
        return top;
    }

    // Texts standing left of the plot (the value-axis labels).
    static std::vector<Rec::Op> value_labels(const Rec& c, int left) {
        std::vector<Rec::Op> out;
        for (const Rec::Op& op : c.ops_of(Rec::Kind::Text))
            if (op.points[0].x + int(op.text.size()) * 8 <= left) out.push_back(op);
        return out;
    }
};

}  // namespace vx::test
