// The chart description and its drawing: options and series read into a description, the
// value range and plot area, point positions, the value axis with its divisions and
// labels, the horizontal labels with skipping, ticks, frame lines, legend and background,
// drawn in that order onto any canvas of the platform layer.
#include <algorithm>
#include <climits>
#include <cstring>

#include "expr/masks.h"
#include "expr/vars.h"
#include "output/chart.h"
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

std::string_view view(Str s) { return s.ok() ? std::string_view(s.p, s.n) : std::string_view(); }
Str str_of(const std::string& s) { return Str{s.data(), u16(std::min<size_t>(s.size(), MAX_STR))}; }

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

// Walks a comma list item by item (quote-aware) without splitting it first: a list of
// thousands of labels needs no room in the arena.
struct ItemCursor {
    Str list;
    u16 at = 0;
    bool done = false;
    Str next() {
        if (done || !list.ok()) return str_empty();
        u16 comma = str_find_char(list, at, ',', QUOTED);
        u16 end = comma == NOT_FOUND ? list.n : comma;
        Str item = str_substr(list, at, u16(end - at));
        if (comma == NOT_FOUND) done = true;
        else at = u16(comma + 1);
        return str_unquote(item);
    }
};

u16 drawn_points(const ChartDesc& d, const Series& s) {
    return u16(std::min<size_t>(d.points, s.y.size()));
}

pf::Rgb ink_of(u16 flags) { return (flags & CHART_BG_MASK) == CHART_BG_DARK ? WHITE : BLACK; }

struct Ctx {
    ChartDesc& d;
    pf::Canvas& c;
    PlotArea a;
    int h = 1, cw = 1;  // text height, character width
    pf::Rgb ink;
};

void draw_series(Ctx& x) {
    std::vector<pf::Point> pts;
    for (u16 s = 0; s < x.d.series.size(); s++) {
        u16 n = drawn_points(x.d, x.d.series[s]);
        if (!n) continue;
        pts.resize(n);
        for (u16 j = 0; j < n; j++) pts[j] = {chart_x(x.d, x.a, s, j), chart_y(x.d, x.a, x.d.series[s].y[j])};
        const Pen& p = x.d.pens[s];
        x.c.set_pen(chart_colour(p.colour), p.width);
        x.c.polyline(pts.data(), n);
    }
}

// Labels centred under their points, skipped when they would touch the previous one;
// a tick at every point from the second on.
void draw_horizontal(Ctx& x) {
    ItemCursor labels{str_of(x.d.labels)};
    int y = x.a.bottom + x.h / 4 - (x.d.bottom == 0 ? x.h : 0);
    int prev_end = INT_MIN;
    x.c.set_pen(x.ink, 1);
    for (u16 k = 0; k < x.d.points; k++) {
        int px = chart_x(x.d, x.a, 0, k);
        Str label = labels.next();
        if (label.ok() && label.n) {
            int tw = x.c.text_width(view(label));
            int tx = px - tw / 2;
            if (prev_end == INT_MIN || tx >= prev_end + 1) {
                x.c.text(tx, y, view(label), x.ink);
                prev_end = tx + tw;
            }
        }
        if (k > 0) x.c.line(px, x.a.bottom, px, x.a.bottom - x.h);
    }
}

void draw_frame(Ctx& x) {
    const PlotArea& a = x.a;
    x.c.set_pen(x.ink, 1);
    if (x.d.left) x.c.line(a.left, a.top, a.left, a.bottom);
    if (x.d.bottom) x.c.line(a.left, a.bottom, a.right, a.bottom);
    if (!(x.d.flags & CHART_FRAME)) return;
    if (x.d.top) x.c.line(a.left, a.top, a.right, a.top);
    if (x.d.right) x.c.line(a.right, a.top, a.right, a.bottom);
}

void draw_legend(Ctx& x, PaintMode mode) {
    Str legend = str_of(x.d.legend);
    ItemCursor titles{legend};
    int step = x.cw * (list_max_len(legend, ',') + LEGEND_GAP_CHARS);
    int at = int(i64(x.c.width()) * x.d.left / PERCENT);
    for (u16 i = 0; legend.n && !titles.done; i++, at += step) {
        Str t = titles.next();
        int colour = i < x.d.pens.size() ? x.d.pens[i].colour : chart_pen(i, 1).colour;
        if (t.ok() && t.n) x.c.text(at, x.h / 2, view(t), chart_colour(colour));
    }
    if (mode == PaintMode::Print && !x.d.title.empty())
        x.c.text(2 * x.cw, x.h / 2, x.d.title, x.ink);
}

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

void draw_value_axis(Ctx& x) {
    i64 range = clamp_i64(i128(x.d.vmax) - x.d.vmin);
    if (range == 0) range = 1;
    i64 n = value_divisions(range, x.h, x.a.bottom - x.a.top);
    i64 step = range / n;
    if (step == 0 || n < 2) return;
    x.c.set_pen(x.ink, 1);
    i64 i = first_division(x.d, step);
    for (int drawn = 0; drawn < VALUE_LABELS_MAX; drawn++, i++) {
        i128 value = i128(i) * step;
        if (value >= x.d.vmax) break;
        TmpScope scope;
        Str label = chart_value_label(i64(value));
        if (!label.ok()) break;
        int y = chart_y(x.d, x.a, i64(value));
        x.c.text(x.a.left - x.cw * (label.n + 1), y - x.h / 2, view(label), x.ink);
        x.c.line(x.a.left, y, x.a.left + x.h, y);
    }
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
    d.title.assign(view(title));
    d.legend.assign(view(legend));
    d.labels.assign(view(labels));
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
    for (const Series& s : d.series) {
        u16 n = drawn_points(d, s);
        for (u16 j = 0; j < n; j++) {
            lo = any ? std::min(lo, s.y[j]) : s.y[j];
            hi = any ? std::max(hi, s.y[j]) : s.y[j];
            if (!s.x.empty()) xhi = any ? std::max(xhi, s.x[j]) : s.x[j];
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

void chart_draw(ChartDesc& d, pf::Canvas& c, PaintMode mode, int font_px) {
    if (mode != PaintMode::Window) c.fill_rect(0, 0, c.width(), c.height(), chart_background(d.flags));
    c.set_font(pf::FontSpec{font_px, 0, 400, CHART_FACE});
    pf::TextMetrics m = c.text_metrics();
    Ctx x{d, c, chart_plot_area(d, c.width(), c.height()), std::max(1, m.height),
          std::max(1, m.char_width), ink_of(d.flags)};
    chart_scale(d, x.a);
    draw_series(x);
    draw_horizontal(x);
    draw_frame(x);
    draw_legend(x, mode);
    draw_value_axis(x);
}

}  // namespace vx::out
