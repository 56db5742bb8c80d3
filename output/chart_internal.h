// What the chart's source files share among themselves and nobody else needs: walking the
// comma lists of a description, the pen width on a zoomed surface, the header rows of text
// (title, limits, legend) and the drawing of the modern style.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "output/chart.h"
#include "runtime/arena.h"

namespace vx::out {

// Walks a comma list item by item (quote-aware, items unquoted) without splitting it first:
// a list of thousands of labels needs no room in the arena.
struct ItemCursor {
    Str list;
    u16 at = 0;
    bool done = false;
    Str next();
};

inline std::string_view str_sv(Str s) { return s.ok() ? std::string_view(s.p, s.n) : std::string_view(); }
inline Str sv_str(std::string_view s) { return rt::str_view(s.data(), u16(s.size() < rt::MAX_STR ? s.size() : rt::MAX_STR)); }

// Points of series s that are drawn (those it holds, at most the description's count).
u16 chart_drawn_points(const ChartDesc& d, u16 s);
// A width in window pixels on a surface zoomed by zoom: rounded, at least 1.
int chart_zoomed(int width, double zoom);
// The text broken at blanks into lines no wider than width in the canvas's current font (a
// word wider than that stands alone on its line); none for an empty text.
std::vector<std::string> chart_wrap(const platform::Canvas& c, std::string_view text, int width);

// The modern style: the whole drawing (chart_draw hands it over).
void chart_draw_modern(ChartDesc& d, platform::Canvas& c, PaintMode mode);

// Writes the chart drawn at w x h (its figures, for CSV) into the file: 0, or 131 with the
// path as detail.
u16 chart_write(const ChartDesc& d, int w, int h, Str path, ChartFormat format);
// Puts the chart drawn at w x h and its figures, in the language's decimal separator, on the
// clipboard: 0, or 172 when the clipboard takes nothing.
u16 chart_copy(const ChartDesc& d, int w, int h);

}  // namespace vx::out
