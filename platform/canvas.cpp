// The recording canvas: every drawing call kept as an operation, text measured with fixed
// metrics.
#include "platform/canvas.h"

#include <algorithm>

namespace vx::platform {

RecordingCanvas::RecordingCanvas(int width, int height, TextMetrics metrics)
    : width_(width), height_(height), metrics_(metrics) {}

void RecordingCanvas::set_pen(Rgb colour, int width) {
    ops_.push_back(Op{Kind::Pen, {}, colour, std::max(1, width), 0, {}});
}

void RecordingCanvas::polyline(const Point* points, int count) {
    if (!points || count < 1) return;
    ops_.push_back(Op{Kind::Polyline, std::vector<Point>(points, points + count), {}, 0, 0, {}});
}

void RecordingCanvas::line(int x1, int y1, int x2, int y2) {
    ops_.push_back(Op{Kind::Line, {{x1, y1}, {x2, y2}}, {}, 0, 0, {}});
}

void RecordingCanvas::set_font(const FontSpec& font) {
    ops_.push_back(Op{Kind::Font, {}, {}, font.width, font.height, font.face, font.weight});
    font_height_ = font.height;
}

TextMetrics RecordingCanvas::current_metrics() const {
    if (!scaled_ || font_height_ <= 0 || metrics_.height <= 0) return metrics_;
    auto scaled = [this](int v) { return std::max(1, v * font_height_ / metrics_.height); };
    return TextMetrics{scaled(metrics_.height), scaled(metrics_.char_width), scaled(metrics_.ascent)};
}

void RecordingCanvas::text(int x, int y, std::string_view text, Rgb colour) {
    ops_.push_back(Op{Kind::Text, {{x, y}}, colour, 0, 0, std::string(text)});
}

int RecordingCanvas::text_width(std::string_view text) const {
    return int(text.size()) * current_metrics().char_width;
}

void RecordingCanvas::fill_rect(int x, int y, int w, int h, Rgb colour) {
    ops_.push_back(Op{Kind::Fill, {{x, y}}, colour, w, h, {}});
}

void RecordingCanvas::fill_ellipse(int x, int y, int w, int h, Rgb colour) {
    ops_.push_back(Op{Kind::Ellipse, {{x, y}}, colour, w, h, {}});
}

std::vector<RecordingCanvas::Op> RecordingCanvas::ops_of(Kind kind) const {
    std::vector<Op> out;
    std::copy_if(ops_.begin(), ops_.end(), std::back_inserter(out),
                 [kind](const Op& op) { return op.kind == kind; });
    return out;
}

}  // namespace vx::platform
