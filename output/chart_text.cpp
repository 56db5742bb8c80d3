// The texts a chart gives out: numbers in the language's format, series titles and point
// labels, the tooltip of a point and the point under the mouse, the figures as CSV, the
// limits chosen in the limits form, a file name made of the title, the file formats of the
// save dialog, and the style setting read from the command line or a parameter file.
#include <algorithm>
#include <iterator>
#include <string>

#include "expr/masks.h"
#include "expr/members.h"
#include "expr/value.h"
#include "expr/vars.h"
#include "output/chart_internal.h"
#include "runtime/env.h"
#include "runtime/paths.h"
#include "runtime/store.h"
#include "screens/accept.h"

namespace vx::out {

using namespace vx::rt;
using i128 = __int128;

namespace {

constexpr char FORM_OPTIONS[] = " /";         // the fields end where the form's options begin
constexpr char LIMITS_JOIN[] = ", ";
constexpr char NAME_BAD_CHARS[] = "\\/:*?\"<>|";
constexpr size_t FILE_STEM_MAX = 80;
constexpr char FILE_STEM_DEFAULT[] = "grafico";
constexpr char CSV_EOL[] = "\r\n";
constexpr int DIGITS_MAX = 48;                // of a 128-bit number, with room to spare

struct StyleName {
    const char* name;
    ChartStyle style;
};
constexpr StyleName STYLE_NAMES[] = {
    {"CLASSIC", ChartStyle::Classic}, {"CLASICO", ChartStyle::Classic},
    {"MODERN", ChartStyle::Modern},   {"MODERNO", ChartStyle::Modern},
};

struct FormatRow {
    ChartFormat format;
    const char* ext;
    const char* description;
};
constexpr FormatRow FORMATS[] = {
    {ChartFormat::Png, ".png", "PNG (*.png)"},
    {ChartFormat::Bmp, ".bmp", "BMP (*.bmp)"},
    {ChartFormat::Svg, ".svg", "SVG (*.svg)"},
    {ChartFormat::Pdf, ".pdf", "PDF (*.pdf)"},
    {ChartFormat::Csv, ".csv", "CSV (*.csv)"},
    {ChartFormat::CsvPoint, ".csv", "CSV con punto decimal (*.csv)"},
};
static_assert(std::size(FORMATS) == CHART_FORMATS, "one row per format, in the enumeration's order");

std::string digits_of(i128 v) {
    char buf[DIGITS_MAX];
    int n = 0;
    do {
        buf[n++] = char('0' + int(v % 10));
        v /= 10;
    } while (v > 0 && n < DIGITS_MAX);
    return std::string(std::make_reverse_iterator(buf + n), std::make_reverse_iterator(buf));
}

i128 ten_to(int k) {
    i128 p = 1;
    while (k-- > 0) p *= 10;
    return p;
}

bool ends_with_nocase(std::string_view s, std::string_view tail) {
    return s.size() >= tail.size() && str_equal_nocase(sv_str(s.substr(s.size() - tail.size())), sv_str(tail));
}

bool style_named(Str text, ChartStyle* out) {
    text = str_trim(str_unquote(str_trim(text, TRIM_BOTH)), TRIM_BOTH);
    for (const StyleName& n : STYLE_NAMES)
        if (text.ok() && str_equal_nocase(text, str_from_cstr(n.name))) {
            *out = n.style;
            return true;
        }
    return false;
}

// A CSV field, quoted when it holds the separator, a quote, a line break or blanks at its ends.
std::string csv_field(std::string_view text, char sep) {
    bool quote = !text.empty() && (text.front() == ' ' || text.back() == ' ');
    for (char ch : text) quote = quote || ch == sep || ch == '"' || ch == '\r' || ch == '\n';
    if (!quote) return std::string(text);
    std::string out = "\"";
    for (char ch : text) out += ch == '"' ? std::string("\"\"") : std::string(1, ch);
    return out + "\"";
}

// The label of a limits form's field: its first item, without a placing "{row,col}", the
// file of a field reference or the colon at its end.
std::string field_label(Str def) {
    char sep = str_find_char(def, 0, ':', QUOTED) != NOT_FOUND ? ':' : ';';
    Str label = str_trim(str_unquote(str_trim(list_item(def, sep, 1), TRIM_BOTH)), TRIM_BOTH);
    std::string text(str_sv(label));
    if (!text.empty() && text.front() == '{' && text.find('}') != std::string::npos) text.erase(0, text.find('}') + 1);
    if (size_t brace = text.find('{'); brace != std::string::npos && brace > 0) text.erase(brace);
    while (!text.empty() && (text.back() == ':' || text.back() == ' ')) text.pop_back();
    while (!text.empty() && text.front() == ' ') text.erase(0, 1);
    return text;
}

}  // namespace

// ---- Numbers and texts of points ----

std::string chart_number(i64 value, int decimals, char decimal, char thousands) {
    int precis = int(expr::precis());
    decimals = std::clamp(decimals, 0, DIGITS_MAX / 2);
    i128 v = value, a = v < 0 ? -v : v;
    if (decimals < precis) {
        i128 unit = ten_to(precis - decimals);
        a = (a + unit / 2) / unit;
    } else {
        a *= ten_to(decimals - precis);
    }
    std::string digits = digits_of(a);
    if (digits.size() < size_t(decimals) + 1) digits.insert(0, size_t(decimals) + 1 - digits.size(), '0');
    std::string whole = digits.substr(0, digits.size() - size_t(decimals));
    std::string out = v < 0 && a != 0 ? "-" : "";
    for (size_t i = 0; i < whole.size(); i++) {
        if (thousands && i > 0 && (whole.size() - i) % 3 == 0) out += thousands;
        out += whole[i];
    }
    if (decimals) out += decimal + digits.substr(whole.size());
    return out;
}

std::string chart_series_title(const ChartDesc& d, u16 s) {
    Str legend = sv_str(d.legend);
    Str title = legend.n ? str_trim(str_unquote(str_trim(list_item(legend, ',', u16(s + 1)), TRIM_BOTH)), TRIM_BOTH)
                         : str_empty();
    if (title.ok() && title.n) return std::string(str_sv(title));
    return s < d.series.size() ? d.series[s].name : std::string();
}

std::string chart_point_label(const ChartDesc& d, u16 k) {
    ItemCursor labels{sv_str(d.labels)};
    Str label = str_empty();
    for (u16 i = 0; i <= k; i++) {
        if (labels.done) return {};
        label = labels.next();
    }
    return std::string(str_sv(str_trim(label, TRIM_BOTH)));
}

std::string chart_point_text(const ChartDesc& d, u16 series, u16 point) {
    if (series >= d.series.size() || point >= chart_drawn_points(d, series)) return {};
    const expr::LangParams& lang = expr::lang_params();
    int precis = int(expr::precis());
    const Series& s = d.series[series];
    std::string label = chart_point_label(d, point);
    if (label.empty() && point < s.x.size()) label = chart_number(s.x[point], precis, lang.decimal, lang.thousands);
    std::string text = label.empty() ? std::string() : label + "\n";
    return text + chart_series_title(d, series) + ": " + chart_number(s.y[point], precis, lang.decimal, lang.thousands);
}

namespace {

// The points that can lie within radius of x: those whose evenly spread columns are that
// near; all of them when the x values place the points.
void near_columns(const ChartDesc& d, int x, int radius, u16* from, u16* to) {
    *from = 0;
    *to = d.points;
    int span = d.area.right - d.area.left;
    if ((d.flags & CHART_XY) || d.points < 2 || span <= 0) return;
    i64 per = d.points - 1;
    i64 lo = (i64(x) - radius - d.area.left) * per / span - 1, hi = (i64(x) + radius - d.area.left) * per / span + 2;
    *from = u16(std::clamp<i64>(lo, 0, d.points));
    *to = u16(std::clamp<i64>(hi, 0, d.points));
}

}  // namespace

ChartHit chart_hit(const ChartDesc& d, int x, int y, int radius) {
    ChartHit hit;
    i64 best = i64(radius) * radius;
    u16 from = 0, to = 0;
    near_columns(d, x, radius, &from, &to);
    for (u16 s = 0; s < d.series.size(); s++) {
        u16 n = std::min(chart_drawn_points(d, s), to);
        for (u16 j = from; j < n; j++) {
            i64 dx = chart_x(d, d.area, s, j) - x, dy = chart_y(d, d.area, d.series[s].y[j]) - y;
            if (dx * dx + dy * dy > best) continue;
            best = dx * dx + dy * dy;
            hit = ChartHit{true, s, j};
        }
    }
    return hit;
}

// ---- Figures as CSV ----

std::string chart_csv(const ChartDesc& d, char decimal) {
    char sep = decimal == ',' ? ';' : ',';
    int precis = int(expr::precis());
    bool xy = d.flags & CHART_XY;
    std::string out;
    for (u16 s = 0; s < d.series.size(); s++) {
        std::string title = chart_series_title(d, s);
        if (xy) out += sep + csv_field(title + " x", sep);
        out += sep + csv_field(title, sep);
    }
    out += CSV_EOL;
    ItemCursor labels{sv_str(d.labels)};
    for (u16 k = 0; k < d.points; k++) {
        out += csv_field(str_sv(labels.next()), sep);
        for (u16 s = 0; s < d.series.size(); s++) {
            bool has = k < chart_drawn_points(d, s);
            if (xy) out += sep + (has && k < d.series[s].x.size() ? chart_number(d.series[s].x[k], precis, decimal, 0) : "");
            out += sep + (has ? chart_number(d.series[s].y[k], precis, decimal, 0) : "");
        }
        out += CSV_EOL;
    }
    return out;
}

// ---- The limits chosen ----

std::string chart_limits_text() {
    TmpScope scope;
    Str fields = str_trim(str_unquote(str_trim(expr::member_value(MEMBER_ACBOUND), TRIM_BOTH)), TRIM_BOTH);
    if (!fields.ok() || !fields.n) return {};
    if (!str_equal(store_get(scr::ACCEPT_LIST, scr::ACCEPT_DEFINITION), fields)) return {};
    u16 cut = str_find_sub(fields, S(FORM_OPTIONS), QUOTED);
    Str defs = cut == NOT_FOUND ? fields : str_substr(fields, 0, cut);
    std::string out;
    for (u16 k = 1, n = list_count(defs, ','); k <= n; k++) {
        std::string value(str_sv(scr::accept_value(k)));
        if (value.empty()) continue;
        std::string label = field_label(str_trim(list_item(defs, ',', k), TRIM_BOTH));
        if (!out.empty()) out += LIMITS_JOIN;
        out += label.empty() ? value : label + ": " + value;
    }
    return out;
}

// ---- Files ----

std::string chart_file_stem(const ChartDesc& d) {
    std::string stem;
    for (char ch : d.title) {
        unsigned char u = static_cast<unsigned char>(ch);
        bool bad = u < ' ' || u == 0x7F || std::string_view(NAME_BAD_CHARS).find(ch) != std::string_view::npos;
        stem += bad ? '_' : ch;
    }
    if (stem.size() > FILE_STEM_MAX) stem.resize(FILE_STEM_MAX);
    size_t from = stem.find_first_not_of(" ."), to = stem.find_last_not_of(" .");
    stem = from == std::string::npos ? std::string() : stem.substr(from, to - from + 1);
    return stem.empty() ? std::string(FILE_STEM_DEFAULT) : stem;
}

bool chart_format_of(Str path, ChartFormat* out) {
    std::string_view p = str_sv(path);
    for (const FormatRow& f : FORMATS)
        if (ends_with_nocase(p, f.ext) && p.size() > std::string_view(f.ext).size()) {
            *out = f.format;
            return true;
        }
    return false;
}

const char* chart_format_ext(ChartFormat f) {
    for (const FormatRow& row : FORMATS)
        if (row.format == f) return row.ext;
    return FORMATS[0].ext;
}

Str chart_save_filters() {
    static const std::string filters = [] {
        std::string out;
        for (const FormatRow& f : FORMATS) out += std::string(out.empty() ? "" : ",") + f.description + ",*" + f.ext;
        return out;
    }();
    return sv_str(filters);
}

std::string chart_path_with_ext(std::string_view path, ChartFormat f) {
    std::string_view ext = chart_format_ext(f);
    return ends_with_nocase(path, ext) ? std::string(path) : std::string(path) + std::string(ext);
}

// ---- Style ----

ChartStyle chart_style_setting() {
    TmpScope scope;
    ChartStyle style = ChartStyle::Classic;
    if (style_named(cmd_key_named(S(STYLE_KEY)), &style)) return style;
    expr::Value v;
    if (expr::vars_ready() && !expr::var_read(S(STYLE_VARIABLE), v) && v.is_str && style_named(v.str, &style))
        return style;
    return ChartStyle::Classic;
}

}  // namespace vx::out
