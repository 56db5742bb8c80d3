// The modern chart style: white paper, the title, the chosen limits and a legend with line
// samples at the head, a light grid at round value steps whose labels carry thousands
// separators and no needless decimals, a colour-blind-safe palette, markers on the points
// when there are few, smoothed lines, and every size taken from the surface: the smaller of
// its sides and its dots per inch (so a printed page matches the window). The geometry of
// the points is the classic one (chart_x, chart_y) over the round value range.
#include <algorithm>
#include <climits>
#include <cmath>

#include "expr/masks.h"
#include "expr/value.h"
#include "output/chart_internal.h"

namespace vx::out {

using namespace vx::rt;
namespace pf = vx::platform;
using i128 = __int128;

namespace {

// Okabe and Ito's palette, yellow left out for its poor contrast on white.
constexpr pf::Rgb PALETTE[] = {
    {0, 114, 178}, {230, 159, 0}, {0, 158, 115}, {213, 94, 0},
    {204, 121, 167}, {86, 180, 233}, {0, 0, 0}, {120, 120, 120},
};
constexpr pf::Rgb PAPER{255, 255, 255}, INK{33, 33, 33}, MUTED{90, 90, 90};
constexpr pf::Rgb GRID{228, 228, 228}, AXIS{150, 150, 150}, ZERO_LINE{100, 100, 100};
constexpr char FACE[] = "DejaVu Sans";
constexpr int WEIGHT_NORMAL = 400, WEIGHT_BOLD = 700;

// Sizes at 96 dots per inch.
constexpr int FONT_MIN_PX = 10, FONT_MAX_PX = 16;
constexpr int FONT_SIDE_DIVISOR = 55;      // the font is the smaller side over this
constexpr int HEIGHT_WEIGHT_PCT = 150;     // the height counts half as much again
constexpr int TITLE_PCT = 130, SUBTITLE_PCT = 95;
constexpr int SAMPLE_PCT = 220;            // length of a legend's line sample
constexpr int LINE_PCT = 67;               // series lines: two thirds of PENWID
constexpr int LABEL_SPACING = 2;           // value labels at least two text heights apart
constexpr int MARKERS_MAX = 60;            // points of a series that still get markers
constexpr int MARKER_SPACING = 4;          // markers when points are this many diameters apart
constexpr int PERCENT = 100;

constexpr int TICK_DIVISIONS_MAX = 20;
constexpr int POWERS_MAX = 18;             // 10^18 is the largest power below 2^63
constexpr i64 ROUND_MULTIPLES[] = {1, 2, 5};

struct Surface {
    ChartDesc& d;
    pf::Canvas& c;
    double s = 1;          // dots per inch over 96
    int font = FONT_MIN_PX;
    int pad = 0, gap = 0;
    int line_h = 1;        // height of a line of the normal font
    int stroke = 1;        // width of grid and axis lines
};

int pct(int v, int percent) { return std::max(1, v * percent / PERCENT); }

pf::Rgb series_colour(u16 s) { return PALETTE[s % std::size(PALETTE)]; }

int series_width(const Surface& m, u16 s) {
    int pen = s < m.d.pens.size() ? m.d.pens[s].width : PEN_WIDTH_DEFAULT;
    return chart_zoomed(pct(pen, LINE_PCT), m.s);
}

void use_font(Surface& m, int px, int weight) { m.c.set_font(pf::FontSpec{px, 0, weight, FACE}); }

Surface measure(ChartDesc& d, pf::Canvas& c) {
    Surface m{d, c};
    m.s = double(std::max(1, c.dpi())) / pf::Canvas::DPI_STANDARD;
    double w96 = c.width() / m.s, h96 = c.height() / m.s;
    double side = std::min(w96, h96 * HEIGHT_WEIGHT_PCT / PERCENT) / FONT_SIDE_DIVISOR;
    m.font = int(std::clamp(side, double(FONT_MIN_PX), double(FONT_MAX_PX)) * m.s + 0.5);
    m.pad = m.font;
    m.gap = std::max(1, m.font / 2);
    m.stroke = chart_zoomed(1, m.s);
    use_font(m, m.font, WEIGHT_NORMAL);
    m.line_h = std::max(1, c.text_metrics().height);
    return m;
}

// ---- Head: title, limits, legend ----

bool markers_wanted(const ChartDesc& d, const PlotArea& a, int radius) {
    if (d.points == 0 || d.points > MARKERS_MAX) return false;
    if (d.points == 1 || (d.flags & CHART_XY)) return true;
    return (a.right - a.left) / (d.points - 1) >= MARKER_SPACING * 2 * radius;
}

int marker_radius(const Surface& m, u16 s) { return series_width(m, s) + m.stroke; }

void draw_marker(Surface& m, int x, int y, int r, pf::Rgb colour) {
    int ring = r + m.stroke;
    m.c.fill_ellipse(x - ring, y - ring, 2 * ring, 2 * ring, PAPER);
    m.c.fill_ellipse(x - r, y - r, 2 * r, 2 * r, colour);
}

struct LegendEntry {
    std::string title;
    int width = 0;
};

// Entries in rows from the left padding, a row breaking when the next entry would pass the
// right padding. Returns the height used; draws when draw is set.
int legend_block(Surface& m, int top, bool markers, bool draw) {
    use_font(m, m.font, WEIGHT_NORMAL);
    int sample = pct(m.font, SAMPLE_PCT);
    int x = m.pad, y = top, used = 0;
    for (u16 s = 0; s < m.d.series.size(); s++) {
        std::string title = chart_series_title(m.d, s);
        int w = sample + m.gap + m.c.text_width(title);
        if (x > m.pad && x + w > m.c.width() - m.pad) {
            x = m.pad;
            y += m.line_h;
        }
        if (draw) {
            int mid = y + m.line_h / 2;
            m.c.set_pen(series_colour(s), series_width(m, s));
            m.c.line(x, mid, x + sample, mid);
            if (markers) draw_marker(m, x + sample / 2, mid, marker_radius(m, s), series_colour(s));
            m.c.text(x + sample + m.gap, y, title, INK);
        }
        used = y + m.line_h - top;
        x += w + m.font * 3 / 2;
    }
    return used;
}

// Title and limits from the top padding; the height they take with the gap below them.
int text_head(Surface& m, bool draw) {
    int y = m.pad;
    struct Line {
        const std::string& text;
        int percent, weight;
        pf::Rgb colour;
    };
    const Line lines[] = {{m.d.title, TITLE_PCT, WEIGHT_BOLD, INK}, {m.d.subtitle, SUBTITLE_PCT, WEIGHT_NORMAL, MUTED}};
    for (const Line& l : lines) {
        use_font(m, pct(m.font, l.percent), l.weight);
        int line_h = std::max(1, m.c.text_metrics().height);
        for (const std::string& text : chart_wrap(m.c, l.text, m.c.width() - 2 * m.pad)) {
            if (draw) m.c.text(m.pad, y, text, l.colour);
            y += line_h;
        }
    }
    return y > m.pad ? y + m.gap / 2 : y;
}

// ---- Value axis ----

struct Tick {
    i64 value;
    std::string text;
};

std::vector<Tick> tick_labels(const ValueTicks& t) {
    const expr::LangParams& lang = expr::lang_params();
    std::vector<Tick> out;
    for (u16 k = 0; k < t.count; k++) {
        i64 v = t.at(k);
        out.push_back(Tick{v, chart_number(v, t.decimals, lang.decimal, lang.thousands)});
    }
    return out;
}

// The range of the data, then the round ticks over it with as many divisions as fit the
// height; the description's range becomes the ticks' so that the grid meets the plot's edges.
ValueTicks value_range(Surface& m, PlotArea& a) {
    chart_scale(m.d, a);
    int room = std::max(1, (a.bottom - a.top) / (LABEL_SPACING * m.line_h));
    ValueTicks t = chart_round_ticks(m.d.vmin, m.d.vmax, room);
    m.d.vmin = t.first;
    m.d.vmax = t.last();
    i128 range = i128(m.d.vmax) - m.d.vmin;
    m.d.baseline = range ? i64(i128(m.d.vmin) * (a.bottom - a.top) / range) : 0;
    return t;
}

void draw_grid(Surface& m, const PlotArea& a, const std::vector<Tick>& ticks) {
    for (const Tick& t : ticks) {
        int y = chart_y(m.d, a, t.value);
        bool zero = t.value == 0 && ticks.front().value < 0;
        bool base = &t == &ticks.front();
        m.c.set_pen(zero ? ZERO_LINE : base ? AXIS : GRID, m.stroke);
        m.c.line(a.left, y, a.right, y);
    }
}

void draw_value_labels(Surface& m, const PlotArea& a, const std::vector<Tick>& ticks) {
    use_font(m, m.font, WEIGHT_NORMAL);
    for (const Tick& t : ticks) {
        int y = chart_y(m.d, a, t.value);
        int tw = m.c.text_width(t.text);
        m.c.text(std::max(0, a.left - m.gap - tw), y - m.line_h / 2, t.text, MUTED);
    }
}

int widest(Surface& m, const std::vector<Tick>& ticks) {
    use_font(m, m.font, WEIGHT_NORMAL);
    int w = 0;
    for (const Tick& t : ticks) w = std::max(w, m.c.text_width(t.text));
    return w;
}

// ---- Horizontal labels ----

// Every stride-th label, the stride the least at which the widest label keeps a gap from its
// neighbours (points evenly spread); a label that would still touch the one before is left
// out.
u16 label_stride(Surface& m, const PlotArea& a) {
    if ((m.d.flags & CHART_XY) || m.d.points < 2) return 1;
    ItemCursor labels{sv_str(m.d.labels)};
    int widest = 0;
    for (u16 k = 0; k < m.d.points && !labels.done; k++) widest = std::max(widest, m.c.text_width(str_sv(labels.next())));
    double spacing = double(a.right - a.left) / (m.d.points - 1);
    if (spacing <= 0) return 1;
    return u16(std::clamp(std::ceil((widest + m.gap) / spacing), 1.0, double(m.d.points)));
}

void draw_point_labels(Surface& m, const PlotArea& a) {
    use_font(m, m.font, WEIGHT_NORMAL);
    u16 stride = label_stride(m, a);
    ItemCursor labels{sv_str(m.d.labels)};
    int y = a.bottom + m.gap;
    int prev_end = INT_MIN;
    m.c.set_pen(AXIS, m.stroke);
    for (u16 k = 0; k < m.d.points && !labels.done; k++) {
        Str label = labels.next();
        if (!label.ok() || !label.n || k % stride) continue;
        int px = chart_x(m.d, a, 0, k);
        int tw = m.c.text_width(str_sv(label));
        int tx = std::max(0, std::min(px - tw / 2, m.c.width() - tw));
        if (prev_end != INT_MIN && tx < prev_end + m.gap) continue;
        m.c.line(px, a.bottom, px, a.bottom + m.gap / 2);
        m.c.text(tx, y, str_sv(label), MUTED);
        prev_end = tx + tw;
    }
}

// The width of the last label, which sits under the right edge of the plot.
int last_label_width(Surface& m) {
    if (!m.d.points || m.d.labels.empty()) return 0;
    use_font(m, m.font, WEIGHT_NORMAL);
    return m.c.text_width(chart_point_label(m.d, u16(m.d.points - 1)));
}

// ---- Series ----

void draw_lines(Surface& m, const PlotArea& a, bool markers) {
    std::vector<pf::Point> pts;
    for (u16 s = 0; s < m.d.series.size(); s++) {
        u16 n = chart_drawn_points(m.d, s);
        if (!n) continue;
        pts.resize(n);
        for (u16 j = 0; j < n; j++) pts[j] = {chart_x(m.d, a, s, j), chart_y(m.d, a, m.d.series[s].y[j])};
        m.c.set_pen(series_colour(s), series_width(m, s));
        m.c.polyline(pts.data(), n);
        if (!markers) continue;
        for (const pf::Point& p : pts) draw_marker(m, p.x, p.y, marker_radius(m, s), series_colour(s));
    }
}

i128 power_of_ten(int k) {
    i128 p = 1;
    while (k-- > 0) p *= 10;
    return p;
}

i128 floor_div(i128 a, i128 b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }
i128 ceil_div(i128 a, i128 b) { return -floor_div(-a, b); }

}  // namespace

ValueTicks chart_round_ticks(i64 lo, i64 hi, int max_divisions) {
    // Two divisions cover any range at some step (one does not when it holds a multiple).
    int most = std::clamp(max_divisions, 2, TICK_DIVISIONS_MAX);
    i128 l = std::min(lo, hi), h = std::max(lo, hi);
    if (l == h) {
        i128 widen = l == 0 ? i128(expr::scale()) : std::max<i128>(1, (l < 0 ? -l : l) / 10);
        if (l != 0) l -= widen;
        h += widen;
    }
    // The least round step that covers the range in few enough divisions; a range too wide
    // for any takes the largest.
    int power = POWERS_MAX;
    i128 step = ROUND_MULTIPLES[std::size(ROUND_MULTIPLES) - 1] * power_of_ten(power);
    for (int k = 0; k <= POWERS_MAX; k++) {
        auto fits = [&](i64 multiple) {
            i128 s = multiple * power_of_ten(k);
            return (ceil_div(h, s) - floor_div(l, s)) <= most;
        };
        auto it = std::find_if(std::begin(ROUND_MULTIPLES), std::end(ROUND_MULTIPLES), fits);
        if (it == std::end(ROUND_MULTIPLES)) continue;
        step = *it * power_of_ten(k);
        power = k;
        break;
    }
    // Bounds beyond the 64-bit range are pulled in by a step.
    i128 first = floor_div(l, step) * step, last = ceil_div(h, step) * step;
    if (first < INT64_MIN) first += step;
    if (last > INT64_MAX) last -= step;
    ValueTicks t;
    t.step = i64(step);
    t.first = i64(first);
    t.count = u16((last - first) / step + 1);
    t.decimals = u16(std::max(0, int(expr::precis()) - power));
    return t;
}

void chart_draw_modern(ChartDesc& d, pf::Canvas& c, PaintMode) {
    c.fill_rect(0, 0, c.width(), c.height(), PAPER);
    c.set_antialias(true);
    Surface m = measure(d, c);
    // The head first, with markers judged on the plot as wide as it can be.
    PlotArea a{m.pad, 0, c.width() - m.pad, c.height() - m.pad};
    bool markers = markers_wanted(d, a, marker_radius(m, 0));
    int head = text_head(m, false);
    bool has_legend = !d.series.empty() && (!d.legend.empty() || d.series.size() > 1);
    int legend = has_legend ? legend_block(m, head, markers, false) : 0;
    a.top = head + legend + (head + legend > m.pad ? m.gap : 0) + m.line_h / 2;
    a.bottom = c.height() - m.pad - (d.labels.empty() ? 0 : m.line_h + m.gap);
    a.bottom = std::max(a.bottom, a.top + 1);
    ValueTicks t = value_range(m, a);
    std::vector<Tick> ticks = tick_labels(t);
    a.left = std::min(m.pad + widest(m, ticks) + m.gap, c.width() / 2);
    a.right = std::max(a.left + 1, c.width() - std::max(m.pad, last_label_width(m) / 2 + m.stroke));
    markers = markers_wanted(d, a, marker_radius(m, 0));
    d.area = a;
    text_head(m, true);
    if (legend) legend_block(m, head, markers, true);
    draw_grid(m, a, ticks);
    draw_value_labels(m, a, ticks);
    draw_point_labels(m, a);
    draw_lines(m, a, markers);
}

}  // namespace vx::out
