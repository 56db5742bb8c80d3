// The chart description and its classic drawing: options and series read into a
// description, the value range and plot area, point positions, the value axis with its
// divisions and labels, the horizontal labels with skipping, ticks, frame lines, legend and
// background, drawn in that order onto any canvas of the platform layer. Images and pages
// carry the title and the chosen limits above the legend; the plot moves down when those
// rows would reach it, and value labels shrink (or stay out) rather than run off the left
// side. The modern style lives in chart_modern.cpp.
#include <algorithm>
#include <climits>
#include <cstring>

#include "expr/masks.h"
#include "expr/vars.h"
#include "output/chart_internal.h"
#include "runtime/arena.h"
#include "runtime/error.h"

namespace vx::out {

using namespace vx::rt;
namespace pf = vx::platform;
using i128 = __int128;

namespace {

constexpr pf::Rgb COLOURS[CHART_COLOURS] = {
    {255, 255, 255}, {0, 0, 255},     {0, 255, 0},     {255, 0, 0},
    {255, 255, 0},   {224, 224, 255}, {224, 255, 224}, {224, 160, 160},
    {192, 192, 192}, {255, 224, 224}, {0, 0, 0},
};
constexpr pf::Rgb BLACK{0, 0, 0}, WHITE{255, 255, 255};

struct Background {
    u16 setting;
    pf::Rgb colour;
};
// The stock brushes of the background settings; setting 6 erases as windows do.
constexpr Background BACKGROUNDS[] = {
    {0, {255, 255, 255}}, {CHART_BG_GRAY, {128, 128, 128}},
    {CHART_BG_DARK, {64, 64, 64}}, {CHART_BG_WINDOW, {255, 255, 255}},
};

constexpr int PIXEL_LIMIT = 1 << 20;        // positions are kept within this of the origin
constexpr int LABEL_FONT_MIN_PX = 7;        // value labels shrink no further than this
constexpr int LABEL_FONT_MIN_PCT = 55;      // nor below this share of the chart's font
constexpr int VALUE_LABELS_MAX = 1000;      // labels of one value axis
constexpr u16 LEGEND_GAP_CHARS = 3;
constexpr int PERCENT = 100;
constexpr char CHART_FACE[] = "DejaVu Sans Mono";
constexpr u16 SIZE_DEFAULT_COLS = scr::GRID_COLS, SIZE_DEFAULT_ROWS = scr::GRID_ROWS;

int clamp_px(i128 v) {
    if (v > PIXEL_LIMIT) return PIXEL_LIMIT;
    if (v < -PIXEL_LIMIT) return -PIXEL_LIMIT;
    return int(v);
}

i64 clamp_i64(i128 v) {
    if (v > i128(INT64_MAX)) return INT64_MAX;
    if (v < i128(INT64_MIN)) return INT64_MIN;
    return i64(v);
}


// ---- Options ----

// Up to three whole numbers of an option "KEY=a,b,c"; items absent or empty keep *out.
void option_numbers(Str options, const char* key, int* out, u16 count) {
    if (!options.ok() || !options.n) return;
    TmpScope scope;
    Str value = opt_value(options, str_from_cstr(key), OPT_CLEANED);
    for (u16 i = 0; value.ok() && value.n && i < count; i++) {
        Str item = str_trim(list_item(value, ',', u16(i + 1)), TRIM_BOTH);
        if (item.ok() && item.n) out[i] = int(text_to_int64(item));
    }
}

void read_options(Str options, ChartDesc& d, int* pen_width) {
    int pen[1] = {PEN_WIDTH_DEFAULT};
    int wid[3] = {0, MARGIN_LEFT_DEFAULT, MARGIN_RIGHT_DEFAULT};
    int hig[3] = {0, MARGIN_TOP_DEFAULT, MARGIN_BOTTOM_DEFAULT};
    option_numbers(options, "PENWID", pen, 1);
    option_numbers(options, "SCRWID", wid, 3);
    option_numbers(options, "SCRHIG", hig, 3);
    auto margin = [](int v) { return u16(std::clamp(v, 0, int(MARGIN_MAX))); };
    auto side = [](int v) { return v <= 0 ? 0 : std::clamp(v, CHART_SIDE_MIN, CHART_SIDE_MAX); };
    *pen_width = std::clamp(pen[0], 1, int(PEN_WIDTH_MAX));
    d.width = side(wid[0]);
    d.height = side(hig[0]);
    d.left = margin(wid[1]);
    d.right = margin(wid[2]);
    d.top = margin(hig[1]);
    d.bottom = margin(hig[2]);
    scr::CellSize cell = scr::cell_size();
    if (!d.width) d.width = std::clamp(SIZE_DEFAULT_COLS * cell.w, CHART_SIDE_MIN, CHART_SIDE_MAX);
    if (!d.height) d.height = std::clamp(SIZE_DEFAULT_ROWS * cell.h, CHART_SIDE_MIN, CHART_SIDE_MAX);
}

// ---- Series ----

u16 bad_series(Str name) {
    error_raise(M_DEVICES, E_DATA);
    return fail_with_detail(E_DATA, str_trim(name, TRIM_BOTH), false);
}

// Subscripts of the flat element k of an array.
u16 subscripts_of(const expr::ArrayInfo& info, u32 k, i64* subs) {
    for (u16 d = info.dims; d > 0; d--) {
        subs[d - 1] = k % info.sizes[d - 1];
        k /= info.sizes[d - 1];
    }
    return info.dims;
}

// The array's values: y values, and with CHART_XY the x value after each.
u16 load_series(Str name, u16 flags, Series& s) {
    Str base = str_trim(name, TRIM_BOTH);
    u16 open = str_find_char(base, 0, '(', PLAIN);
    if (open != NOT_FOUND) base = str_substr(base, 0, open);
    expr::ArrayInfo info;
    u16 dims_max = (flags & CHART_XY) ? 2 : 1;
    if (!base.n || expr::array_info(base, &info) || info.dims > dims_max ||
        info.type == expr::ARRAY_STR)
        return bad_series(name);
    s.name.assign(base.p, base.n);
    bool xy = flags & CHART_XY;
    u32 per_point = xy ? 2 : 1;
    u32 points = std::min<u32>(info.count / per_point, 0xFFFF);
    s.y.resize(points);
    if (xy) s.x.resize(points);
    i64 subs[expr::ARRAY_DIMS_MAX] = {};
    for (u32 k = 0; k < points * per_point; k++) {
        expr::Value v;
        u16 n = subscripts_of(info, k, subs);
        if (u16 rc = expr::array_read(base, subs, n, v)) return rc;
        (xy && k % 2 ? s.x : s.y)[k / per_point] = v.num;
    }
    return 0;
}

// ---- Drawing helpers ----

pf::Rgb ink_of(u16 flags) { return (flags & CHART_BG_MASK) == CHART_BG_DARK ? WHITE : BLACK; }

struct Ctx {
    ChartDesc& d;
    pf::Canvas& c;
    PlotArea a;
    int h = 1, cw = 1;  // text height, character width
    pf::Rgb ink;
    PaintMode mode = PaintMode::Window;
    int font_px = CHART_FONT_PX;
    double zoom = 1;
};

void draw_series(Ctx& x) {
    std::vector<pf::Point> pts;
    for (u16 s = 0; s < x.d.series.size(); s++) {
        u16 n = chart_drawn_points(x.d, s);
        if (!n) continue;
        pts.resize(n);
        for (u16 j = 0; j < n; j++) pts[j] = {chart_x(x.d, x.a, s, j), chart_y(x.d, x.a, x.d.series[s].y[j])};
        const Pen& p = x.d.pens[s];
        x.c.set_pen(chart_colour(p.colour), chart_zoomed(p.width, x.zoom));
        x.c.polyline(pts.data(), n);
    }
}

// The left edge of a text of width tw centred on x, kept inside the surface.
int inside(int x, int tw, int surface) { return std::max(0, std::min(x - tw / 2, surface - tw)); }

// Labels centred under their points (but never past the surface's sides), skipped when they
// would touch the previous one; a tick at every point from the second on.
void draw_horizontal(Ctx& x) {
    ItemCursor labels{sv_str(x.d.labels)};
    int y = x.a.bottom + x.h / 4 - (x.d.bottom == 0 ? x.h : 0);
    int prev_end = INT_MIN;
    x.c.set_pen(x.ink, chart_zoomed(1, x.zoom));
    for (u16 k = 0; k < x.d.points; k++) {
        int px = chart_x(x.d, x.a, 0, k);
        Str label = labels.next();
        if (label.ok() && label.n) {
            int tw = x.c.text_width(str_sv(label));
            int tx = inside(px, tw, x.c.width());
            if (prev_end == INT_MIN || tx >= prev_end + 1) {
                x.c.text(tx, y, str_sv(label), x.ink);
                prev_end = tx + tw;
            }
        }
        if (k > 0) x.c.line(px, x.a.bottom, px, x.a.bottom - x.h);
    }
}

void draw_frame(Ctx& x) {
    const PlotArea& a = x.a;
    x.c.set_pen(x.ink, chart_zoomed(1, x.zoom));
    if (x.d.left) x.c.line(a.left, a.top, a.left, a.bottom);
    if (x.d.bottom) x.c.line(a.left, a.bottom, a.right, a.bottom);
    if (!(x.d.flags & CHART_FRAME)) return;
    if (x.d.top) x.c.line(a.left, a.top, a.right, a.top);
    if (x.d.right) x.c.line(a.right, a.top, a.right, a.bottom);
}

// ---- Title, limits and legend ----

// The legend: titles one after another from the left margin's percent of the width, at the
// width of the longest title and three characters; a title that would run past the right
// side starts a new row.
struct LegendRows {
    int x0 = 0, step = 1, per_row = 1, rows = 0;
};

LegendRows legend_rows(const Ctx& x) {
    LegendRows r;
    Str legend = sv_str(x.d.legend);
    if (!legend.n) return r;
    u16 longest = list_max_len(legend, ',');
    r.x0 = int(i64(x.c.width()) * x.d.left / PERCENT);
    r.step = std::max(1, x.cw * (longest + LEGEND_GAP_CHARS));
    int room = x.c.width() - r.x0 - x.cw * longest;
    r.per_row = std::max(1, room / r.step + 1);
    int items = list_count(legend, ',');
    r.rows = (items + r.per_row - 1) / r.per_row;
    return r;
}

// Rows of text above the legend: on images and pages the title, then the limits, each
// wrapped to the width left of two characters on either side.
std::vector<std::string> head_lines(const Ctx& x) {
    std::vector<std::string> out;
    if (x.mode == PaintMode::Window) return out;
    for (const std::string* text : {&x.d.title, &x.d.subtitle})
        for (std::string& line : chart_wrap(x.c, *text, x.c.width() - 4 * x.cw)) out.push_back(std::move(line));
    return out;
}

int header_bottom(const Ctx& x) {
    int rows = int(head_lines(x).size()) + legend_rows(x).rows;
    return rows ? x.h / 2 + rows * x.h : 0;
}

void draw_header(Ctx& x) {
    int y = x.h / 2;
    for (const std::string& line : head_lines(x)) {
        x.c.text(2 * x.cw, y, line, x.ink);
        y += x.h;
    }
    LegendRows r = legend_rows(x);
    ItemCursor titles{sv_str(x.d.legend)};
    for (u16 i = 0; r.rows && !titles.done; i++) {
        Str t = titles.next();
        int colour = i < x.d.pens.size() ? x.d.pens[i].colour : chart_pen(i, 1).colour;
        int at = r.x0 + (i % r.per_row) * r.step;
        int row_y = y + (i / r.per_row) * x.h;
        if (t.ok() && t.n) x.c.text(at, row_y, str_sv(t), chart_colour(colour));
    }
}

// ---- Value axis ----

// Divisions: halved while they do not fit the plot's height, doubled while twice as many
// still fit (up to 10).
i64 value_divisions(i64 range, int h, int plot_h) {
    i64 n = range;
    while (n > 1 && i128(n) * h >= plot_h) n /= 2;
    while (n < 10 && i128(2 * n) * h < plot_h) n *= 2;
    return n;
}

// The first label: 0 on an axis from 0, else the first multiple of step not below the
// minimum (a label under the axis's lowest point would stand outside the plot).
i64 first_division(const ChartDesc& d, i64 step) {
    if (d.vmin == 0) return 0;
    i64 q = d.vmin / step;
    return (d.vmin > 0 && q * step < d.vmin) ? q + 1 : q;
}

struct LabelFont {
    int h = 1, cw = 1;
    bool fits = true;
};

// The font of the value labels: the chart's own when the longest label (and the character
// before the edge) fits left of the plot, else the largest smaller one that does, down to
// about half the size; no font when none does.
LabelFont label_font(Ctx& x, size_t longest) {
    auto fits = [&](int cw) { return i64(cw) * i64(longest + 1) <= x.a.left; };
    if (fits(x.cw)) return LabelFont{x.h, x.cw, true};
    int floor_px = std::max(LABEL_FONT_MIN_PX, x.font_px * LABEL_FONT_MIN_PCT / PERCENT);
    int guess = int(i64(x.font_px) * x.a.left / (i64(x.cw) * i64(longest + 1))) + 1;
    for (int px = std::min(guess, x.font_px - 1); px >= floor_px; px--) {
        x.c.set_font(pf::FontSpec{px, 0, 400, CHART_FACE});
        pf::TextMetrics m = x.c.text_metrics();
        if (fits(std::max(1, m.char_width))) return LabelFont{std::max(1, m.height), std::max(1, m.char_width), true};
    }
    x.c.set_font(pf::FontSpec{x.font_px, 0, 400, CHART_FACE});
    return LabelFont{x.h, x.cw, false};
}

void draw_value_axis(Ctx& x) {
    i64 range = clamp_i64(i128(x.d.vmax) - x.d.vmin);
    if (range == 0) range = 1;
    i64 n = value_divisions(range, x.h, x.a.bottom - x.a.top);
    i64 step = range / n;
    if (step == 0 || n < 2) return;
    struct Mark {
        int y;
        std::string text;
    };
    std::vector<Mark> marks;
    size_t longest = 0;
    i64 i = first_division(x.d, step);
    for (int drawn = 0; drawn < VALUE_LABELS_MAX; drawn++, i++) {
        i128 value = i128(i) * step;
        if (value >= x.d.vmax) break;
        TmpScope scope;
        Str label = chart_value_label(i64(value));
        if (!label.ok()) break;
        marks.push_back(Mark{chart_y(x.d, x.a, i64(value)), std::string(str_sv(label))});
        longest = std::max(longest, marks.back().text.size());
    }
    LabelFont f = label_font(x, longest);
    x.c.set_pen(x.ink, chart_zoomed(1, x.zoom));
    for (const Mark& m : marks) {
        if (f.fits) x.c.text(x.a.left - f.cw * int(m.text.size() + 1), m.y - f.h / 2, m.text, x.ink);
        x.c.line(x.a.left, m.y, x.a.left + x.h, m.y);
    }
}

// The plot of the margins, moved down below the rows of text over it when they reach it,
// and up when the labels under it would run off the bottom.
PlotArea classic_area(const Ctx& x) {
    PlotArea a = chart_plot_area(x.d, x.c.width(), x.c.height());
    if (x.d.bottom && !x.d.labels.empty()) a.bottom = std::max(a.top, std::min(a.bottom, x.c.height() - x.h - x.h / 4));
    int header = header_bottom(x);
    if (header) a.top = std::min(std::max(a.top, header + x.h / 2), std::max(a.top, a.bottom));
    return a;
}

void draw_classic(ChartDesc& d, pf::Canvas& c, PaintMode mode, int font_px, double zoom) {
    if (mode != PaintMode::Window) c.fill_rect(0, 0, c.width(), c.height(), chart_background(d.flags));
    c.set_font(pf::FontSpec{font_px, 0, 400, CHART_FACE});
    pf::TextMetrics m = c.text_metrics();
    Ctx x{d, c, {}, std::max(1, m.height), std::max(1, m.char_width), ink_of(d.flags), mode, font_px, zoom};
    x.a = classic_area(x);
    d.area = x.a;
    chart_scale(d, x.a);
    draw_series(x);
    draw_horizontal(x);
    draw_frame(x);
    draw_header(x);
    draw_value_axis(x);
}

}  // namespace

// ---- Colours and pens ----

pf::Rgb chart_colour(int index) {
    return index >= 0 && index < int(CHART_COLOURS) ? COLOURS[index] : BLACK;
}

Pen chart_pen(u16 s, int width) { return Pen{int((s + 1) % CHART_COLOURS), width}; }

pf::Rgb chart_background(u16 flags) {
    for (const Background& b : BACKGROUNDS)
        if (b.setting == (flags & CHART_BG_MASK)) return b.colour;
    return WHITE;
}

// ---- Description ----

u16 chart_describe(Str title, Str legend, Str options, Str labels, Str series, u16 flags,
                   i32 points, ChartDesc* out) {
    TmpScope scope;
    ChartDesc d;
    d.flags = flags;
    int pen_width = PEN_WIDTH_DEFAULT;
    read_options(options, d, &pen_width);
    u16 count = series.ok() && str_trim(series, TRIM_BOTH).n ? list_count(series, ',') : 0;
    if (count > CHART_SERIES_MAX) return fail_with_detail(E_DATAOUTBOUND, S("Demasiadas series"), false);
    d.series.resize(count);
    for (u16 s = 0; s < count; s++) {
        if (u16 rc = load_series(list_item(series, ',', u16(s + 1)), flags, d.series[s])) return rc;
        d.pens.push_back(chart_pen(s, pen_width));
    }
    if (points == POINTS_FROM_ARRAY) d.points = count ? u16(d.series.back().y.size()) : 0;
    else d.points = u16(std::clamp<i32>(points, 0, 0xFFFF));
    d.title.assign(str_sv(title));
    d.legend.assign(str_sv(legend));
    d.labels.assign(str_sv(labels));
    *out = std::move(d);
    return 0;
}

// ---- Geometry ----

PlotArea chart_plot_area(const ChartDesc& d, int w, int h) {
    PlotArea a;
    a.left = int(i64(w) * d.left / PERCENT);
    a.top = int(i64(h) * d.top / PERCENT);
    a.right = int(w - i64(w) * d.right / PERCENT);
    a.bottom = int(h - i64(h) * d.bottom / PERCENT);
    return a;
}

void chart_scale(ChartDesc& d, const PlotArea& a) {
    bool any = false;
    i64 lo = 0, hi = 0, xhi = 0;
    for (u16 s = 0; s < d.series.size(); s++) {
        const Series& ser = d.series[s];
        u16 n = chart_drawn_points(d, s);
        for (u16 j = 0; j < n; j++) {
            lo = any ? std::min(lo, ser.y[j]) : ser.y[j];
            hi = any ? std::max(hi, ser.y[j]) : ser.y[j];
            if (!ser.x.empty()) xhi = any ? std::max(xhi, ser.x[j]) : ser.x[j];
            any = true;
        }
    }
    if ((d.flags & CHART_FROM_ZERO) && lo >= 0) lo = 0;
    d.vmin = lo;
    d.vmax = hi;
    d.xmax = (d.flags & CHART_XY) ? xhi : 0;
    i128 range = i128(hi) - lo;
    d.baseline = range ? clamp_i64(i128(lo) * (a.bottom - a.top) / range) : 0;
}

int chart_x(const ChartDesc& d, const PlotArea& a, u16 series, u16 point) {
    i128 span = a.right - a.left;
    if (d.flags & CHART_XY) {
        if (series >= d.series.size() || point >= d.series[series].x.size() || d.xmax == 0)
            return a.left;
        return clamp_px(a.left + i128(d.series[series].x[point]) * span / d.xmax);
    }
    if (d.points <= 1) return a.left;
    return clamp_px(a.left + i128(point) * span / (d.points - 1));
}

int chart_y(const ChartDesc& d, const PlotArea& a, i64 value) {
    i128 range = i128(d.vmax) - d.vmin;
    if (range == 0) return a.bottom - a.top;
    return clamp_px(a.bottom + i128(d.baseline) - i128(value) * (a.bottom - a.top) / range);
}

Str chart_value_label(i64 value) {
    TmpScope scope;
    Str mask = str_concat(S(LABEL_MASK), int_to_text(i16(expr::precis())));
    Str text = expr::mask_apply(mask, expr::num_text(value), 0);
    return scope.keep(str_copy(str_trim(text, TRIM_LEFT)));
}

// ---- Drawing ----

void chart_draw(ChartDesc& d, pf::Canvas& c, PaintMode mode, int font_px, double zoom) {
    if (d.style == ChartStyle::Modern) chart_draw_modern(d, c, mode);
    else draw_classic(d, c, mode, font_px, zoom);
}

// ---- Shared with the other chart files ----

Str ItemCursor::next() {
    if (done || !list.ok()) return str_empty();
    u16 comma = str_find_char(list, at, ',', QUOTED);
    u16 end = comma == NOT_FOUND ? list.n : comma;
    Str item = str_substr(list, at, u16(end - at));
    if (comma == NOT_FOUND) done = true;
    else at = u16(comma + 1);
    return str_unquote(item);
}

u16 chart_drawn_points(const ChartDesc& d, u16 s) {
    return s < d.series.size() ? u16(std::min<size_t>(d.points, d.series[s].y.size())) : u16(0);
}

int chart_zoomed(int width, double zoom) { return std::max(1, int(width * zoom + 0.5)); }

std::vector<std::string> chart_wrap(const pf::Canvas& c, std::string_view text, int width) {
    std::vector<std::string> lines;
    std::string line;
    size_t at = 0;
    while (at < text.size()) {
        size_t space = text.find(' ', at);
        size_t end = space == std::string_view::npos ? text.size() : space;
        std::string_view word = text.substr(at, end - at);
        std::string longer = line.empty() ? std::string(word) : line + " " + std::string(word);
        if (!line.empty() && c.text_width(longer) > width) {
            lines.push_back(line);
            line = std::string(word);
        } else {
            line = std::move(longer);
        }
        at = end + 1;
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

}  // namespace vx::out
