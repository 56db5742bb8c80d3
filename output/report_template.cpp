// Report templates: reading a template file with its directives (:INCLUDE reads another file
// in place, :DYNAMIC_LINE turns every line of a file into a conditional line), keeping the
// lines in list 8 of the string store, and parsing each line into its row, column, layout,
// marker, expressions and attributes. Also the column masks' decimals rule.
#include <string>
#include <string_view>

#include "expr/eval.h"
#include "expr/members.h"
#include "expr/value.h"
#include "output/report_internal.h"
#include "runtime/arena.h"
#include "runtime/env.h"
#include "runtime/error.h"
#include "runtime/files.h"
#include "runtime/paths.h"
#include "runtime/store.h"
#include "runtime/sysvars.h"

namespace vx::out {

using namespace vx::rt;

namespace {

constexpr std::size_t ROW_DIGITS = 2, COL_DIGITS = 3, LAYOUT_AT = 5;
constexpr std::size_t DIRECTIVE_AT = 5;
constexpr char DIRECTIVE_MARK = ':';
constexpr char INCLUDE_WORD[] = ":INCLUDE";
constexpr char DYNAMIC_WORD[] = ":DYNAMIC_LINE";
constexpr char DYNAMIC_PREFIX[] = "    1";  // row 0, column 1: conditional
constexpr char ATTRS_START[] = " /";
constexpr char CONDITION_END = '\t';
constexpr char SEGMENT_SEP = '|';
constexpr char EXPR_SEP = ',';
constexpr char DECIMALS_MARK[] = ",.";
constexpr char DECIMAL_PLACES[] = "#00123456789";

// Digits of a fixed field; blanks count as zeros, anything else ends it.
u16 field_number(std::string_view s, std::size_t at, std::size_t n) {
    u32 v = 0;
    for (std::size_t i = at; i < at + n && i < s.size(); i++) {
        char c = s[i] == ' ' ? '0' : s[i];
        if (c < '0' || c > '9') break;
        v = v * 10 + u32(c - '0');
    }
    return u16(v);
}

bool is_marker(char c) {
    return c == char(MARK_PLAIN) || c == char(MARK_RELATIVE) || c == char(MARK_DETAIL);
}

u8 flag_of(char marker) {
    switch (u8(marker)) {
        case MARK_PLAIN:
            return LF_PLAIN;
        case MARK_RELATIVE:
            return LF_RELATIVE;
        default:
            return LF_DETAIL;
    }
}

// Whether the text at `at` ("/NAME=") names one of the line members.
bool names_line_member(std::string_view s, std::size_t at) {
    TmpScope scope;
    for (u16 m = LINE_MEMBER_FIRST; m <= LINE_MEMBER_LAST; m++) {
        Str name = expr::member_name(m);
        std::string_view key(name.p, name.n);
        if (s.compare(at, key.size(), key) == 0 && at + key.size() < s.size() &&
            (s[at + key.size()] == '=' || s[at + key.size()] == ':'))
            return true;
    }
    return false;
}

// The attributes begin at the first " /" (outside quotes) that a line member's name and "="
// follow, so that a division written " / 2" stays in its expression.
std::size_t attrs_start(std::string_view s) {
    char quote = 0;
    for (std::size_t i = 0; i + 1 < s.size(); i++) {
        char c = s[i];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (s.compare(i, 2, ATTRS_START) == 0 && names_line_member(s, i + 2)) {
            return i;
        }
    }
    return std::string_view::npos;
}

std::string trimmed(std::string_view s) {
    std::size_t b = s.find_first_not_of(" \t"), e = s.find_last_not_of(" \t");
    return b == std::string_view::npos ? std::string() : std::string(s.substr(b, e - b + 1));
}

// Items split at sep outside quotes and brackets, each trimmed.
std::vector<std::string> split_items(std::string_view s, char sep) {
    std::vector<std::string> items;
    if (trimmed(s).empty()) return items;
    char quote = 0;
    int depth = 0;
    std::size_t from = 0;
    for (std::size_t i = 0; i < s.size(); i++) {
        char c = s[i];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == '(' || c == '[' || c == '{') {
            depth++;
        } else if ((c == ')' || c == ']' || c == '}') && depth > 0) {
            depth--;
        } else if (c == sep && depth == 0) {
            items.push_back(trimmed(s.substr(from, i - from)));
            from = i + 1;
        }
    }
    items.push_back(trimmed(s.substr(from)));
    return items;
}

std::vector<std::string> split_segments(std::string_view s) {
    std::vector<std::string> out;
    for (std::size_t from = 0;;) {
        std::size_t at = s.find(SEGMENT_SEP, from);
        out.emplace_back(
            s.substr(from, at == std::string_view::npos ? std::string_view::npos : at - from));
        if (at == std::string_view::npos) return out;
        from = at + 1;
    }
}

// ---- Reading ----

struct Reader {
    std::vector<std::string> lines;
    u16 depth = 0;
};

u16 too_many(Str what) {
    error_raise(M_DEVICES, E_DATAOUTBOUND);
    return fail_with_detail(E_DATAOUTBOUND, what, false);
}

u16 add_line(Reader& r, std::string line) {
    if (r.lines.size() >= TEMPLATE_LINES_MAX) return too_many(S("template lines"));
    r.lines.push_back(std::move(line));
    return 0;
}

u16 read_file(Reader& r, Str name, bool dynamic);

// A directive's file name: the value of the text when it evaluates to a string, else the
// text as written.
std::string directive_file(std::string_view text) {
    TmpScope scope;
    std::string written = trimmed(text);
    return string_or_written(written);
}

// A directive that names neither word is a mistake in the template: 147 naming the line,
// rather than a line printed with its text as a condition.
u16 unknown_directive(const std::string& line) {
    TmpScope scope;
    error_raise(M_DEVICES, E_SYNTAX);
    return fail_with_detail(E_SYNTAX, sv_str(line.substr(0, MAX_STR)), false);
}

bool starts_word(std::string_view rest, std::string_view word) {
    return rest.compare(0, word.size(), word) == 0 &&
           (rest.size() == word.size() || rest[word.size()] == ' ' || rest[word.size()] == '\t');
}

u16 directive(Reader& r, const std::string& line) {
    std::string_view rest = std::string_view(line).substr(DIRECTIVE_AT);
    bool include = starts_word(rest, INCLUDE_WORD);
    bool dynamic = starts_word(rest, DYNAMIC_WORD);
    if (!include && !dynamic) return unknown_directive(line);
    std::size_t word = dynamic ? sizeof DYNAMIC_WORD - 1 : sizeof INCLUDE_WORD - 1;
    std::string file = directive_file(rest.substr(word));
    if (r.depth >= INCLUDE_DEPTH_MAX) return too_many(S(":INCLUDE"));
    TmpScope scope;
    r.depth++;
    u16 rc = read_file(r, sv_str(file), dynamic);
    r.depth--;
    return rc;
}

// One line as read: a directive is resolved, any other line kept.
u16 take_line(Reader& r, std::string line) {
    if (line.size() > DIRECTIVE_AT && line[DIRECTIVE_AT] == DIRECTIVE_MARK)
        return directive(r, line);
    return add_line(r, std::move(line));
}

u16 read_file(Reader& r, Str name, bool dynamic) {
    TmpScope scope;
    Str path = name.n ? path_find(env_get(ENV_DATA), name) : str_empty();
    if (!path.ok() || !path.n) {
        error_raise(M_DEVICES, E_FILENOTFOUND);
        return fail_with_detail(E_FILENOTFOUND, name, false);
    }
    u16 h = file_open(path, FM_READ | FM_NOUPDATE);
    if (!file_handle_ok(h)) return h;
    u16 rc = 0;
    while (!rc && !file_at_end(h)) {
        TmpScope per_line;
        Str text = file_read_line(h);
        if (!text.ok()) break;
        std::string line(text.p, text.n);
        rc = dynamic ? add_line(r, DYNAMIC_PREFIX + line) : take_line(r, std::move(line));
    }
    file_close(h);
    return rc;
}

// The lines kept in list 8 for the run, and parsed.
u16 keep_and_parse(const std::vector<std::string>& lines, std::vector<TemplateLine>* out) {
    out->clear();
    for (const std::string& line : lines) {
        if (line.size() > MAX_STR) {
            error_raise(M_DEVICES, E_STRINGTOOLONG);
            return E_STRINGTOOLONG;
        }
        if (u16 rc = store_push(TEMPLATE_LIST, sv_str(line))) return rc;
        out->push_back(template_parse(line));
    }
    return 0;
}

}  // namespace

std::string string_or_written(const std::string& written) {
    if (written.empty()) return written;
    TmpScope scope;
    expr::Value v;
    u16 rc = expr::expr_eval(sv_str(written), v);
    if (rc < E_CANCELLED && v.is_str) return std::string(v.str.p, v.str.n);
    Str plain = str_unquote(sv_str(written));
    return std::string(plain.p, plain.n);
}

TemplateLine template_parse(const std::string& line) {
    TemplateLine t;
    std::string_view s(line);
    t.row = field_number(s, 0, ROW_DIGITS);
    t.col = field_number(s, ROW_DIGITS, COL_DIGITS);
    if (t.col == 0) t.col = 1;
    std::string_view layout = s.size() > LAYOUT_AT ? s.substr(LAYOUT_AT) : std::string_view();
    if (t.row == 0) {
        std::size_t tab = layout.find(CONDITION_END);
        t.condition = trimmed(layout.substr(0, tab));
        layout = tab == std::string_view::npos ? std::string_view() : layout.substr(tab + 1);
    }
    std::size_t m = 0;
    while (m < layout.size() && !is_marker(layout[m])) m++;
    t.text = std::string(layout.substr(0, m));
    if (m == layout.size()) return t;
    t.flags = flag_of(layout[m]);
    std::size_t from = m + 1;
    if (from < layout.size() && layout[from] == layout[m]) {
        t.flags |= LF_DOUBLED;
        from++;
    }
    std::string_view rest = layout.substr(from);
    std::size_t attrs = attrs_start(rest);
    if (attrs != std::string_view::npos) t.attrs = std::string(rest.substr(attrs));
    t.exprs = split_items(rest.substr(0, attrs), EXPR_SEP);
    t.masks = split_segments(t.text);
    return t;
}

std::string column_mask(const std::string& mask) {
    std::size_t at = mask.find(DECIMALS_MARK);
    if (at == std::string::npos || at == 0 || at + 2 >= mask.size() || mask[at + 2] != '#')
        return mask;
    i16 dx = sysint_get(SV_DX);
    std::string count = std::to_string(dx ? dx : sysint_get(SV_PRECIS));
    std::string out = mask;
    std::size_t places = at + 2;
    for (std::size_t k = 0;
         k < count.size() && places < out.size() &&
         std::string_view(DECIMAL_PLACES).find(out[places]) != std::string_view::npos;
         k++, places++)
        out[places] = count[k];
    return out;
}

u16 template_read(Str name, std::vector<TemplateLine>* out) {
    Reader r;
    if (u16 rc = read_file(r, name, false)) return rc;
    return keep_and_parse(r.lines, out);
}

u16 template_from_lines(const std::vector<std::string>& lines, std::vector<TemplateLine>* out) {
    Reader r;
    for (const std::string& line : lines)
        if (u16 rc = take_line(r, line)) return rc;
    return keep_and_parse(r.lines, out);
}

}  // namespace vx::out
