// The writer of generated report definitions: template lines from the fields chosen, the
// parameter lines of a chart from the answers of its configuration forms (and the way back,
// for editing), and the replacement of one definition in a definition file.
//
// A single-line chart of group G, value X, labels R, condition C and array S is written as
//   RESET$  = S(4095);FN#ACUM(S(VX_I)=0;VX_I;0;4095);R   (the array made and cleared, then R)
//   RD_EXP$ = S((G)-1)=S((G)-1)+(X)                      (point G, counted from 1, adds X)
// so that a chart can be run again, and edited again, with the same answers. Without a group
// the value is the step expression itself, and R is written behind the same making and
// clearing of each array the step fills unless R makes it itself: that is how a definition
// written by hand comes back from the forms unchanged.
#include "output/report_def.h"

#include <algorithm>
#include <cstring>

#include "expr/masks.h"
#include "expr/members.h"
#include "expr/structs.h"
#include "platform/os.h"
#include "runtime/arena.h"
#include "runtime/env.h"
#include "runtime/error.h"
#include "runtime/msg.h"
#include "runtime/paths.h"

namespace vx::out {

using namespace vx::rt;

namespace {

// The members the forms decide; every other parameter line of a definition is kept.
constexpr u16 MANAGED[] = {MEMBER_FD,      MEMBER_DOCSETS, MEMBER_OPEN,
                           MEMBER_FILEDEF, MEMBER_LOAD,    MEMBER_RESET,
                           MEMBER_RD_EXP,  MEMBER_RD_COND, MEMBER_ASSIGN};

enum Row : u16 { ROW_TITLE = 3, ROW_HEADS = 6, ROW_RULE = 7, ROW_DETAIL = 8 };
constexpr u16 FIRST_COLUMN = 1;
constexpr u16 PLACE_WIDTH = 5;  // row in two characters, column in three
constexpr char MASK_SEP = '|';
constexpr char LIST_SEP = ',';
constexpr char RULE_CHAR = '-';
constexpr char ATTRIBUTES[] = " /";
constexpr u16 CODE_WIDTH = 2;  // "%2s " before the text of a line
constexpr u16 TEXT_COLUMN = 3;
constexpr char LINE_END[] = "\r\n";
constexpr u32 READ_PIECE = 65536;
constexpr char PLAIN_CHARS[] =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_#$%.-";
constexpr char NAME_CHARS[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_";
constexpr char TITLE_QUOTE_STANDIN = '`';
constexpr char LEGEND_SEP_STANDIN = ';';
constexpr u16 DOC_KEPT_FLAGS = DOC_CHART | DOC_GRAPHIC | DOC_MULTILINE | DOC_NOT_IN_MENU;
constexpr u16 MSG_SINGLE = 1002;  // the form of a single-line chart: its labels
constexpr u16 MSG_MULTI = 1003;
constexpr u16 DETAIL_MAX = 300;
constexpr char DETAIL_MISSING[] = "Falta: %.*s";
constexpr char DETAIL_NOT_ARRAY[] = "%.*s: %.*s no es un nombre de variable numerica (V#)";
constexpr char DETAIL_NO_CHART[] = "No existe el grafico: %.*s";
constexpr char DETAIL_NOT_SINGLE[] = "No es un grafico de una linea: %.*s";
constexpr char DETAIL_SHARED[] = "Los graficos %.*s y %.*s usan la misma variable: %.*s";
constexpr char DETAIL_FULL[] = "%.*s: no queda numero libre";
constexpr char DETAIL_TAKEN[] = "La variable %.*s ya la usa el grafico %.*s";

std::string text(Str s) {
    return s.ok() ? std::string(s.p, s.n) : std::string();
}
Str view(const std::string& s) {
    return Str{s.data(), u16(std::min<size_t>(s.size(), MAX_STR))};
}
std::string_view sv(Str s) {
    return s.ok() ? std::string_view(s.p, s.n) : std::string_view();
}

bool all_of(std::string_view s, const char* set) {
    return !s.empty() && s.find_first_not_of(set) == std::string_view::npos;
}
bool plain_name(std::string_view s) {
    return all_of(s, NAME_CHARS) && !(s[0] >= '0' && s[0] <= '9');
}

std::string trimmed(std::string_view s) {
    size_t b = s.find_first_not_of(" \t"), e = s.find_last_not_of(" \t");
    return b == std::string_view::npos ? std::string() : std::string(s.substr(b, e - b + 1));
}

std::string place(u16 row, u16 column) {
    char buf[PLACE_WIDTH + 8];
    std::snprintf(buf, sizeof buf, "%2u%3u", unsigned(row), unsigned(column));
    return buf;
}

u16 fail(u16 code, const char* fmt, std::string_view a, std::string_view b = {},
         std::string_view c = {}) {
    TmpScope scope;
    error_raise(M_DEVICES, code);
    return fail_with_detail(code,
                            str_format(DETAIL_MAX, fmt, int(a.size()), a.data(), int(b.size()),
                                       b.data(), int(c.size()), c.data()),
                            false);
}

// ---- Comma lists of the answers (quote-aware, items unquoted and trimmed) ----

std::vector<std::string> items_of(std::string_view list, char sep = LIST_SEP) {
    std::vector<std::string> out;
    if (list.empty() || list.size() > MAX_STR) return out;
    TmpScope scope;
    Str l{list.data(), u16(list.size())};
    for (u16 k = 1, n = list_count(l, sep); k <= n; k++)
        out.push_back(trimmed(sv(str_unquote(str_trim(list_item(l, sep, k), TRIM_BOTH)))));
    return out;
}

// The field labels of a form message, without their quotes and colon.
std::string form_label(u16 message, u16 field) {
    TmpScope scope;
    Str item = list_item(msg_text_id(message), LIST_SEP, field);
    std::string label = text(str_unquote(str_trim(list_item(item, ':', 1), TRIM_BOTH)));
    while (!label.empty() && (label.back() == ':' || label.back() == ' ')) label.pop_back();
    return label;
}

// ---- The lines of a definition file ----

struct FileLine {
    u16 key = 0;  // the number of its definition (lines without one: the one before)
    bool numbered = false;
    std::string bytes;  // with its line end, as read
};

// Kind 1: the number in columns 1-2, blanks and missing columns counting as zeros.
bool line_number(std::string_view line, u16* number) {
    u16 v = 0;
    for (u16 i = 0; i < CODE_WIDTH; i++) {
        char c = i < line.size() ? line[i] : ' ';
        if (c == ' ') c = '0';
        if (c < '0' || c > '9') return false;
        v = u16(v * 10 + (c - '0'));
    }
    *number = v;
    return true;
}

std::string_view without_end(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    return line;
}

u16 read_file(Str path, std::string* out) {
    out->clear();
    std::string p = text(path);
    if (!os::path_exists(p.c_str())) return 0;
    os::File* f = os::file_open(p.c_str(), os::Open::Read);
    if (!f) return fail_with_detail(error_raise(M_STREAMS, E_FILENOTFOUND), path, false);
    char buf[READ_PIECE];
    u16 rc = 0;
    for (std::size_t n; (n = os::file_read(f, buf, sizeof buf)) > 0;) {
        out->append(buf, n);
        if (out->size() > REPORT_DEF_FILE_MAX) {
            rc = fail_with_detail(error_raise(M_STREAMS, E_STRINGTOOLONG), path, false);
            break;
        }
    }
    os::file_close(f);
    return rc;
}

u16 read_lines(Str path, std::vector<FileLine>* out) {
    std::string bytes;
    if (u16 rc = read_file(path, &bytes)) return rc;
    out->clear();
    u16 key = 0;
    for (size_t at = 0; at < bytes.size();) {
        size_t end = bytes.find('\n', at);
        end = end == std::string::npos ? bytes.size() : end + 1;
        FileLine l;
        l.bytes = bytes.substr(at, end - at);
        l.numbered = line_number(without_end(l.bytes), &l.key);
        if (!l.numbered) l.key = key;
        key = l.key;
        out->push_back(std::move(l));
        at = end;
    }
    return 0;
}

// The whole text into a new file beside the path, which then takes the path's name (and
// the old file's mode): a failed write leaves the old file as it was.
u16 write_whole(Str path, const std::string& bytes) {
    if (os::file_replace(text(path).c_str(), bytes.data(), bytes.size(), false)) return 0;
    return fail_with_detail(error_raise(M_STREAMS, E_FILEIO), path, false);
}

bool is_template_text(std::string_view t) {
    return t.size() > PLACE_WIDTH &&
           t.substr(0, PLACE_WIDTH).find_first_not_of(" 0123456789") == std::string_view::npos;
}

// The key of a parameter line: its text up to "=" or ":".
std::string param_key(std::string_view t) {
    return trimmed(t.substr(0, t.find_first_of("=:")));
}

// ---- Members of a definition, read as the chart runner reads them ----

struct Members {
    std::string fd, docsets, open, filedef, load, acbound, reset, rd_exp, rd_cond, assign;
};

std::string member(u16 number) {
    TmpScope scope;
    return text(str_trim(str_unquote(str_trim(expr::member_value(number), TRIM_BOTH)), TRIM_BOTH));
}

u16 load_members(Str path, u16 number, Members* m) {
    if (u16 rc = expr::parm_load(path, 1, number, nullptr)) return rc;
    *m = Members{member(MEMBER_FD),      member(MEMBER_DOCSETS), member(MEMBER_OPEN),
                 member(MEMBER_FILEDEF), member(MEMBER_LOAD),    member(MEMBER_ACBOUND),
                 member(MEMBER_RESET),   member(MEMBER_RD_EXP),  member(MEMBER_RD_COND),
                 member(MEMBER_ASSIGN)};
    expr::parm_pop();
    return 0;
}

std::string fd_item(const std::string& fd, u16 n) {
    std::vector<std::string> items = items_of(fd);
    return n <= items.size() ? items[n - 1] : std::string();
}

// The data file an open text makes the main one: its last named item.
u16 main_file_of(const std::string& open) {
    u16 file = 0;
    for (const std::string& item : items_of(open)) {
        std::vector<std::string> parts = items_of(item, ';');
        TmpScope scope;
        if (!parts.empty() && !parts[0].empty()) file = expr::struct_number(view(parts[0]));
    }
    return file;
}

std::string table_name(u16 table) {
    expr::StructDesc d;
    return table && !expr::struct_info(table, &d) ? text(d.name) : std::string();
}

// ---- The generated forms of a chart's step ----

std::string clear_prefix(const std::string& storage) {
    const std::string last = std::to_string(CHART_POINTS_MAX - 1);
    return storage + "(" + last + ");FN#ACUM(" + storage + "(" + CHART_COUNTER + ")=0;" +
           CHART_COUNTER + ";0;" + last + ");";
}
std::string point_of(const std::string& storage, const std::string& group) {
    return storage + "((" + group + ")-1)";
}
std::string step_of(const std::string& storage, const std::string& group,
                    const std::string& value) {
    std::string point = point_of(storage, group);
    return point + "=" + point + "+(" + value + ")";
}

// Group and value back from a step written by step_of; false for any other step.
bool parse_step(const std::string& step, const std::string& storage, std::string* group,
                std::string* value) {
    const std::string head = storage + "((";
    if (storage.empty() || step.rfind(head, 0) != 0 || step.back() != ')') return false;
    for (size_t at = step.find(")-1)=", head.size()); at != std::string::npos;
         at = step.find(")-1)=", at + 1)) {
        std::string g = step.substr(head.size(), at - head.size());
        std::string lead = point_of(storage, g) + "=" + point_of(storage, g) + "+(";
        if (step.size() > lead.size() && step.rfind(lead, 0) == 0) {
            *group = g;
            *value = step.substr(lead.size(), step.size() - lead.size() - 1);
            return true;
        }
    }
    return false;
}

// A numeric array name: a letter, letters, digits or "_", then "#".
bool numeric_array_name(std::string_view s) {
    return s.size() >= 2 && s.back() == '#' && plain_name(s.substr(0, s.size() - 1));
}

// Quotes cannot stand in a title (it is written quoted), nor line breaks anywhere.
std::string clean_title(std::string_view title) {
    std::string t = trimmed(title);
    for (char& c : t) {
        if (c == '\'' || c == '"')
            c = TITLE_QUOTE_STANDIN;
        else if (u8(c) < ' ')
            c = ' ';
    }
    return t;
}

// The legend of one series: a comma would make it two.
std::string legend_of(std::string_view title) {
    std::string legend = clean_title(title);
    std::replace(legend.begin(), legend.end(), LIST_SEP, LEGEND_SEP_STANDIN);
    return legend;
}

std::string doc_flags_text(u16 flags) {
    return std::to_string((flags & DOC_KEPT_FLAGS) | DOC_CHART | DOC_GRAPHIC);
}

std::string quoted_list(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& v : items) {
        if (!out.empty()) out += LIST_SEP;
        char q = v.find('\'') == std::string::npos ? '\'' : '"';
        out += q + v + q;
    }
    return out;
}

struct Param {
    u16 member;
    std::string value;
};

u16 param_lines(const std::vector<Param>& params, std::vector<std::string>* out) {
    for (const Param& p : params) {
        TmpScope scope;
        u16 rc = 0;
        std::string line = report_param_line(sv(expr::member_name(p.member)), p.value, &rc);
        if (rc) return rc;
        if (!line.empty()) out->push_back(std::move(line));
    }
    return 0;
}

// ---- Every definition of a file ----

struct Definition {
    u16 number = 0;
    std::string title;
    Members m;
};

u16 all_definitions(Str path, std::vector<Definition>* out) {
    out->clear();
    if (!os::path_exists(text(path).c_str())) return 0;
    std::vector<ChartEntry> entries;
    if (u16 rc = chart_definitions(path, &entries)) return rc;
    for (const ChartEntry& e : entries) {
        Definition d{e.number, e.title, {}};
        if (u16 rc = load_members(path, e.number, &d.m)) return rc;
        out->push_back(std::move(d));
    }
    return 0;
}

bool loads(const Members& m, u16 number) {
    for (const std::string& item : items_of(m.load))
        if (std::atoi(item.c_str()) == number) return true;
    return false;
}

// Each chart fills arrays of its own: one that another definition of the file fills (a
// multi-line chart that combines this one aside) would hold the other's figures, or be too
// small for this one's.
u16 storage_free(Str path, u16 self, const std::string& storage) {
    std::vector<Definition> defs;
    if (u16 rc = all_definitions(path, &defs)) return rc;
    for (const Definition& d : defs) {
        if (d.number == self || loads(d.m, self)) continue;
        for (const std::string& array : items_of(d.m.assign))
            for (const std::string& mine : items_of(storage))
                if (mine == array)
                    return fail(E_DATA, DETAIL_TAKEN, mine,
                                d.title.empty() ? std::to_string(d.number) : d.title);
    }
    return 0;
}

// ---- Multi-line charts: the single-line charts they combine ----

struct Part {
    u16 number = 0;
    std::string title;
    Members m;
};

u16 find_parts(Str path, const std::vector<std::string>& titles, u16 self,
               std::vector<Part>* parts) {
    std::vector<ChartEntry> entries;
    if (os::path_exists(text(path).c_str()))
        if (u16 rc = chart_definitions(path, &entries)) return rc;
    parts->clear();
    std::vector<std::string> seen;  // the arrays filled so far, with the chart that fills it
    std::vector<std::string> owner;
    for (const std::string& t : titles) {
        TmpScope scope;
        auto e = std::find_if(entries.begin(), entries.end(), [&](const ChartEntry& c) {
            return c.number != self && str_equal_nocase(view(c.title), view(t));
        });
        if (e == entries.end()) return fail(E_DATA, DETAIL_NO_CHART, t);
        Part p{e->number, e->title, {}};
        if (u16 rc = load_members(path, p.number, &p.m)) return rc;
        if (!p.m.load.empty() || p.m.open.empty() || p.m.assign.empty())
            return fail(E_DATA, DETAIL_NOT_SINGLE, t);
        for (const std::string& array : items_of(p.m.assign)) {
            auto s = std::find(seen.begin(), seen.end(), array);
            if (s != seen.end())
                return fail(E_DATA, DETAIL_SHARED, owner[size_t(s - seen.begin())], p.title, array);
            seen.push_back(array);
            owner.push_back(p.title);
        }
        parts->push_back(std::move(p));
    }
    return 0;
}

std::vector<std::string> titles_of(const std::string& answers) {
    std::vector<std::string> out;
    std::vector<std::string> a = items_of(answers);
    for (const std::string& t : items_of(a.empty() ? std::string() : a[0]))
        if (!t.empty()) out.push_back(t);
    return out;
}

u16 multi_params(Str path, const ChartDefinition& def, const std::string& title,
                 std::vector<Param>* out) {
    std::vector<std::string> titles = titles_of(def.answers);
    if (titles.empty()) return chart_answer_missing(MSG_MULTI, ANSWER_TITLES);
    std::vector<Part> parts;
    if (u16 rc = find_parts(path, titles, def.number, &parts)) return rc;
    std::string numbers, legend, arrays;
    for (const Part& p : parts) {
        for (std::string* s : {&numbers, &legend, &arrays})
            if (!s->empty()) *s += LIST_SEP;
        numbers += std::to_string(p.number);
        legend += p.title;
        arrays += p.m.assign;
    }
    *out = {{MEMBER_FD, "'" + title + "','" + legend + "'"},
            {MEMBER_DOCSETS, doc_flags_text(def.flags | DOC_MULTILINE)},
            {MEMBER_FILEDEF, def.table_name},
            {MEMBER_LOAD, numbers},
            {MEMBER_ACBOUND, parts[0].m.acbound},
            {MEMBER_RESET, parts[0].m.reset},
            {MEMBER_ASSIGN, arrays}};
    return 0;
}

// The answers of a single-line chart, with the array named after the definition when none
// was given.
struct Single {
    std::string group, value, reset, condition, storage;
};

Single single_of(const std::string& answers, u16 number) {
    std::vector<std::string> a = items_of(answers);
    a.resize(CHART_ANSWERS);
    Single s{a[ANSWER_GROUP - 1], a[ANSWER_VALUE - 1], a[ANSWER_RESET - 1], a[ANSWER_CONDITION - 1],
             a[ANSWER_STORAGE - 1]};
    if (s.storage.empty() && !s.group.empty()) {
        char buf[16];
        std::snprintf(buf, sizeof buf, CHART_STORAGE_DEFAULT, unsigned(number));
        s.storage = buf;
    }
    return s;
}

u16 single_check(const Single& s) {
    auto missing = [](u16 field) { return chart_answer_missing(MSG_SINGLE, field); };
    if (s.value.empty()) return missing(ANSWER_VALUE);
    if (s.reset.empty()) return missing(ANSWER_RESET);
    if (s.group.empty() && s.storage.empty()) return missing(ANSWER_STORAGE);
    // With a group the step fills one array; without, the step may fill several.
    std::vector<std::string> arrays = items_of(s.storage);
    if (!s.group.empty() && arrays.size() != 1) arrays.assign(1, s.storage);
    for (const std::string& array : arrays)
        if (!numeric_array_name(array))
            return fail(E_BADDATA, DETAIL_NOT_ARRAY, form_label(MSG_SINGLE, ANSWER_STORAGE), array);
    return 0;
}

// The reset a chart is written with: the arrays it fills made and cleared first, so that
// it runs, and runs again from nothing. With a group that is its one array; without, each
// array the step fills that the reset does not make itself (as one written by hand does).
std::string reset_written(const Single& s) {
    if (!s.group.empty()) return clear_prefix(s.storage) + s.reset;
    std::string made;
    for (const std::string& array : items_of(s.storage))
        if (s.reset.find(array + "(") == std::string::npos) made += clear_prefix(array);
    return made + s.reset;
}
std::string step_written(const Single& s) {
    return s.group.empty() ? s.value : step_of(s.storage, s.group, s.value);
}
// The reset as it was answered, from the one written.
std::string reset_answered(std::string reset, const std::string& storage) {
    for (const std::string& array : items_of(storage)) {
        std::string made = clear_prefix(array);
        if (reset.rfind(made, 0) == 0) reset.erase(0, made.size());
    }
    return reset;
}

u16 single_params(const ChartDefinition& def, u16 number, const std::string& title,
                  const std::string& legend, std::vector<Param>* out) {
    Single s = single_of(def.answers, number);
    if (u16 rc = single_check(s)) return rc;
    *out = {{MEMBER_FD, "'" + title + "','" + legend + "'"},
            {MEMBER_DOCSETS, doc_flags_text(def.flags & ~DOC_MULTILINE)},
            {MEMBER_OPEN, def.table_name},
            {MEMBER_RESET, reset_written(s)},
            {MEMBER_RD_COND, s.condition},
            {MEMBER_RD_EXP, step_written(s)},
            {MEMBER_ASSIGN, s.storage}};
    return 0;
}

// The parameter lines the forms decide, in the order they are written.
u16 chart_params(Str path, const ChartDefinition& def, u16 number,
                 const std::vector<std::string>& old, std::vector<std::string>* out) {
    std::string title = clean_title(def.title);
    std::vector<Param> params;
    u16 rc;
    if (def.flags & DOC_MULTILINE) {
        rc = multi_params(path, def, title, &params);
    } else {
        // An edited chart keeps a legend of its own; one that repeated the title, as a new
        // chart's does, follows the title.
        std::string legend, old_title;
        for (const std::string& t : old)
            if (!is_template_text(t) && param_key(t) == text(expr::member_name(MEMBER_FD))) {
                TmpScope scope;
                Str fd = opt_value(view(t), expr::member_name(MEMBER_FD), 0);
                std::string items = text(str_trim(str_unquote(str_trim(fd, TRIM_BOTH)), TRIM_BOTH));
                old_title = fd_item(items, 1);
                legend = fd_item(items, 2);
            }
        if (legend == legend_of(old_title)) legend.clear();
        legend = legend_of(legend.empty() ? title : legend);
        rc = single_params(def, number, title, legend, &params);
    }
    return rc ? rc : param_lines(params, out);
}

// The old lines of the definition that stay: parameter lines of members the forms do not
// decide (ACBOUND$ is decided for a multi-line chart only).
std::vector<std::string> kept_lines(const std::vector<std::string>& old, bool multi) {
    std::vector<std::string> keys;
    TmpScope scope;
    for (u16 m : MANAGED) keys.push_back(text(expr::member_name(m)));
    if (multi) keys.push_back(text(expr::member_name(MEMBER_ACBOUND)));
    std::vector<std::string> out;
    for (const std::string& t : old)
        if (!is_template_text(t) && std::find(keys.begin(), keys.end(), param_key(t)) == keys.end())
            out.push_back(t);
    return out;
}

// The fields of the detail line: the field of each reference "name{file}" (by name or number).
std::string fields_of_detail(const std::vector<std::string>& lines, u16 table, bool* found) {
    *found = false;
    std::string fields;
    for (const std::string& t : lines) {
        size_t mark = t.find(REPORT_MARK_DETAIL);
        if (!is_template_text(t) || mark == std::string::npos) continue;
        *found = true;
        std::string exprs = t.substr(mark + 1);
        exprs = exprs.substr(0, exprs.find(ATTRIBUTES));
        for (const std::string& ref : items_of(exprs)) {
            std::string name = trimmed(ref.substr(0, ref.find('{')));
            if (all_of(name, "0123456789")) {
                expr::FieldDesc d;
                TmpScope scope;
                name = expr::struct_field(table, u16(std::stoi(name.substr(0, 5))), &d)
                           ? std::string()
                           : text(d.name);
            }
            if (name.empty()) continue;
            if (!fields.empty()) fields += LIST_SEP;
            fields += name;
        }
    }
    return fields;
}

}  // namespace

// ---- Template lines ----

u16 report_line_width(const std::vector<ReportColumn>& columns) {
    u32 total = 0;
    for (const ReportColumn& c : columns) total += c.width + (total ? 1 : 0);
    for (u16 w : REPORT_WIDTHS)
        if (total <= w) return w;
    return REPORT_WIDTHS[std::size(REPORT_WIDTHS) - 1];
}

std::vector<std::string> report_template_lines(std::string_view title,
                                               const std::vector<ReportColumn>& columns) {
    u16 width = report_line_width(columns);
    std::string heads, rule, masks, exprs;
    for (size_t k = 0; k < columns.size(); k++) {
        const ReportColumn& c = columns[k];
        if (k) {
            heads += ' ';
            rule += ' ';
            masks += MASK_SEP;
            exprs += LIST_SEP;
        }
        std::string head = c.title.substr(0, c.width);
        std::string pad(c.width - head.size(), ' ');
        bool right = c.type && std::strchr(REPORT_RIGHT_TYPES, c.type);
        heads += right ? pad + head : head + pad;
        rule += std::string(c.width, RULE_CHAR);
        TmpScope scope;
        masks += text(expr::mask_for_type(c.type, c.width));
        exprs += c.expression;
    }
    std::string lead(title.size() < width ? (width - title.size()) / 2 : 0, ' ');
    return {REPORT_PAGE_LINE, place(ROW_TITLE, FIRST_COLUMN) + lead + std::string(title),
            place(ROW_HEADS, FIRST_COLUMN) + heads, place(ROW_RULE, FIRST_COLUMN) + rule,
            place(ROW_DETAIL, FIRST_COLUMN) + masks + REPORT_MARK_DETAIL + exprs};
}

std::vector<ReportColumn> report_columns(u16 table, std::string_view fields) {
    std::vector<ReportColumn> out;
    expr::StructDesc sd;
    if (expr::struct_info(table, &sd)) return out;
    std::string file = text(sd.name);
    if (!plain_name(file)) file = std::to_string(table);
    for (const std::string& name : items_of(fields)) {
        for (u16 f = 1; f <= sd.fields; f++) {
            TmpScope scope;
            expr::FieldDesc d;
            if (expr::struct_field(table, f, &d) || text(d.name) != name) continue;
            std::string ref = plain_name(name) ? name : std::to_string(f);
            out.push_back(ReportColumn{name, d.type, d.width, ref + "{" + file + "}"});
            break;
        }
    }
    return out;
}

// ---- The definition file ----

std::string report_param_line(std::string_view name, std::string_view value, u16* code) {
    *code = 0;
    if (value.empty()) return std::string();
    if (value.find_first_of("\r\n") != std::string_view::npos) {
        *code = fail(E_DATA, "%.*s", name);
        return std::string();
    }
    std::string line(name);
    line += '=';
    if (all_of(value, PLAIN_CHARS)) return line + std::string(value);
    char q = value.find('"') == std::string_view::npos ? '"' : '\'';
    if (value.find(q) != std::string_view::npos) {
        *code = fail(E_DATA, "%.*s", name);
        return std::string();
    }
    return line + q + std::string(value) + q;
}

Str report_def_path() {
    TmpScope scope;
    Str name = str_concat(app_prefix(), S(REPORT_DEF_FILE));
    Str folder = path_resolve(APPPATH_DATA);
    Str found = path_find(folder, name);
    return scope.keep(found.ok() && found.n ? found : path_join(folder, name));
}

u16 report_def_free_number(Str path, u16* number) {
    std::vector<FileLine> lines;
    if (u16 rc = read_lines(path, &lines)) return rc;
    bool used[REPORT_DEF_NUMBER_MAX + 1] = {};
    for (const FileLine& l : lines)
        if (l.numbered && l.key <= REPORT_DEF_NUMBER_MAX) used[l.key] = true;
    for (u16 n = 1; n <= REPORT_DEF_NUMBER_MAX; n++)
        if (!used[n]) return *number = n, u16(0);
    return fail(E_FILEOUTBOUND, DETAIL_FULL, sv(path));
}

u16 report_def_lines(Str path, u16 number, std::vector<std::string>* out) {
    out->clear();
    std::vector<FileLine> lines;
    if (u16 rc = read_lines(path, &lines)) return rc;
    for (const FileLine& l : lines)
        if (l.numbered && l.key == number) {
            std::string_view t = without_end(l.bytes);
            out->push_back(
                std::string(t.size() > TEXT_COLUMN ? t.substr(TEXT_COLUMN) : std::string_view()));
        }
    return 0;
}

u16 report_def_replace(Str path, u16 number, const std::vector<std::string>& texts) {
    if (number < 1 || number > REPORT_DEF_NUMBER_MAX) return fail(E_DATA, "%.*s", sv(path));
    for (const std::string& t : texts)
        if (t.find_first_of("\r\n") != std::string::npos) return fail(E_DATA, "%.*s", t);
    std::vector<FileLine> lines;
    if (u16 rc = read_lines(path, &lines)) return rc;
    std::erase_if(lines, [number](const FileLine& l) { return l.numbered && l.key == number; });
    char code[CODE_WIDTH + 2];
    std::snprintf(code, sizeof code, "%2u ", unsigned(number));
    for (const std::string& t : texts) lines.push_back(FileLine{number, true, code + t + LINE_END});
    std::stable_sort(lines.begin(), lines.end(),
                     [](const FileLine& a, const FileLine& b) { return a.key < b.key; });
    std::string bytes;
    for (const FileLine& l : lines) {
        if (!bytes.empty() && bytes.back() != '\n') bytes += LINE_END;
        bytes += l.bytes;
    }
    return write_whole(path, bytes);
}

// ---- Chart definitions ----

u16 chart_answer_missing(u16 message, u16 field) {
    return fail(E_BADDATA, DETAIL_MISSING, form_label(message, field));
}

u16 chart_answers_check(bool multi, std::string_view answers, Str path, u16 self) {
    std::string a(answers);
    if (!multi) {
        u16 number = self;
        if (!number)
            if (u16 rc = report_def_free_number(path, &number)) return rc;
        Single s = single_of(a, number);
        if (u16 rc = single_check(s)) return rc;
        // Every value must be writable, in the forms it is written in.
        for (const std::string& v : {reset_written(s), step_written(s), s.condition, s.storage}) {
            u16 rc = 0;
            report_param_line(form_label(MSG_SINGLE, ANSWER_VALUE), v, &rc);
            if (rc) return rc;
        }
        return storage_free(path, self, s.storage);
    }
    std::vector<std::string> titles = titles_of(a);
    if (titles.empty()) return chart_answer_missing(MSG_MULTI, ANSWER_TITLES);
    std::vector<Part> parts;
    return find_parts(path, titles, self, &parts);
}

namespace {

// The multi-line charts written from the forms that combine chart n are written again, so
// that they follow its variable, labels and title.
u16 refresh_combinations(Str path, u16 n) {
    std::vector<Definition> defs;
    if (u16 rc = all_definitions(path, &defs)) return rc;
    for (const Definition& d : defs) {
        if (!loads(d.m, n) || !(std::atoi(d.m.docsets.c_str()) & DOC_MULTILINE)) continue;
        ChartDefinition multi;
        if (u16 rc = chart_definition_load(path, d.number, &multi)) return rc;
        if (u16 rc = chart_definition_save(path, multi, nullptr)) return rc;
    }
    return 0;
}

}  // namespace

u16 chart_definition_save(Str path, const ChartDefinition& def, u16* number) {
    u16 n = def.number;
    if (!n)
        if (u16 rc = report_def_free_number(path, &n)) return rc;
    std::vector<std::string> old, lines;
    if (def.number)
        if (u16 rc = report_def_lines(path, n, &old)) return rc;
    if (u16 rc = chart_params(path, def, n, old, &lines)) return rc;
    for (std::string& t : kept_lines(old, def.flags & DOC_MULTILINE)) lines.push_back(std::move(t));
    for (std::string& t :
         report_template_lines(clean_title(def.title), report_columns(def.table, def.fields)))
        lines.push_back(std::move(t));
    if (u16 rc = report_def_replace(path, n, lines)) return rc;
    if (number) *number = n;
    return (def.flags & DOC_MULTILINE) ? u16(0) : refresh_combinations(path, n);
}

u16 chart_definition_load(Str path, u16 number, ChartDefinition* out) {
    std::vector<std::string> lines;
    if (u16 rc = report_def_lines(path, number, &lines)) return rc;
    if (lines.empty()) return error_raise(M_DEVICES, E_NODATA);
    Members m;
    if (u16 rc = load_members(path, number, &m)) return rc;
    ChartDefinition d;
    d.path = text(path);
    d.number = number;
    d.title = fd_item(m.fd, 1);
    u16 flags = m.docsets.empty() ? 0 : u16(std::atoi(m.docsets.c_str()));
    bool multi = !m.load.empty() || (flags & DOC_MULTILINE);
    d.flags =
        u16((flags & DOC_NOT_IN_MENU) | DOC_CHART | DOC_GRAPHIC | (multi ? DOC_MULTILINE : 0));
    d.table = main_file_of(multi ? m.filedef : m.open);
    d.table_name = table_name(d.table);
    d.fields = fields_of_detail(lines, d.table, &d.fields_known);
    if (multi) {
        std::vector<ChartEntry> entries;
        if (u16 rc = chart_definitions(path, &entries)) return rc;
        std::vector<std::string> titles;
        for (const std::string& item : items_of(m.load)) {
            int k = std::atoi(item.c_str());
            for (const ChartEntry& e : entries)
                if (e.number == k && !e.title.empty()) titles.push_back(e.title);
        }
        std::string joined;
        for (const std::string& t : titles) joined += (joined.empty() ? "" : ",") + t;
        d.answers = quoted_list({joined});
    } else {
        Single s;
        s.storage = m.assign;
        s.condition = m.rd_cond;
        if (!parse_step(m.rd_exp, m.assign, &s.group, &s.value)) s.value = m.rd_exp;
        s.reset = reset_answered(m.reset, m.assign);
        d.answers = quoted_list({s.group, s.value, s.reset, s.condition, s.storage});
    }
    *out = std::move(d);
    return 0;
}

}  // namespace vx::out
