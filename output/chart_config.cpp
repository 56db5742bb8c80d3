// The forms that define a new chart document: the document form (title, multi-line, left out
// of the menu), the choice of the data file and of its fields, and the chart form of a
// single-line chart (group, value, reset, condition and storage expressions) or of a
// multi-line one (the titles of the charts it combines). The result is handed back as a
// definition for the document store to write.
#include <string_view>

#include "expr/structs.h"
#include "output/chart.h"
#include "runtime/arena.h"
#include "runtime/env.h"
#include "runtime/error.h"
#include "runtime/files.h"
#include "runtime/msg.h"
#include "runtime/paths.h"
#include "screens/accept.h"
#include "screens/selbox.h"

namespace vx::out {

using namespace vx::rt;

namespace {

enum ConfigMsg : u16 {
    MSG_TABLE = 85,       // "Selección de Tabla"
    MSG_FIELDS = 96,      // "Selección de Campos"
    MSG_DOCUMENT = 113,   // the document form
    MSG_CHART = 1001,     // "Configuración de Estadistica Grafica"
    MSG_SINGLE = 1002,    // the form of a single-line chart
    MSG_MULTI = 1003,     // the form of a multi-line chart
};

enum DocumentItem : u16 { ITEM_TITLE = 1, ITEM_MULTILINE = 2, ITEM_NOT_IN_MENU = 3 };

constexpr char FIELD_LABEL_OPEN[] = "'";
constexpr char FIELD_LABEL_CLOSE[] = ":':'L1'::1";
constexpr char DEFINITION_FILE[] = "report.ppn";   // behind the application prefix
constexpr u16 LINE_CODE_WIDTH = 3;                      // "%2s " before each line
constexpr char DETAIL_NO_CHART[] = "No existe el grafico: ";

ChartTitleCheck title_check = nullptr;

std::string_view view(Str s) { return s.ok() ? std::string_view(s.p, s.n) : std::string_view(); }

// A check box's value: "1" (a default of 1 reads back as the number "1.00") or a yes word.
bool ticked(Str value) { return (value.n && value.at(0) == '1') || str_is_yes(value); }

// The comma list of the data files' names, in their order.
Str table_list() {
    TmpScope scope;
    Str list = str_empty();
    for (u16 s = 1; s <= expr::struct_count(); s++) {
        expr::StructDesc d;
        if (expr::struct_info(s, &d)) continue;
        list = list.n ? str_join(list, S(","), d.name) : str_copy(d.name);
        if (!list.ok()) break;
    }
    return scope.keep(list);
}

// One ticked check box per field (at most a form's worth); a quote in a name would end
// its label, so it is shown as a grave accent.
Str fields_form(u16 table, u16* offered) {
    TmpScope scope;
    expr::StructDesc d;
    *offered = 0;
    if (expr::struct_info(table, &d)) return scope.keep(str_empty());
    StrBuilder b;
    for (u16 f = 1; f <= d.fields && *offered < scr::ACCEPT_FIELDS_MAX; f++) {
        expr::FieldDesc fd;
        if (expr::struct_field(table, f, &fd)) continue;
        if (*offered) b.put(",", 1);
        b.put(FIELD_LABEL_OPEN, 1);
        for (u16 i = 0; i < fd.name.n; i++) b.put(fd.name.at(i) == '\'' ? "`" : fd.name.p + i, 1);
        b.put(S(FIELD_LABEL_CLOSE));
        (*offered)++;
    }
    return scope.keep(b.finish());
}

u16 choose_fields(u16 table, u16 doc_flags, std::string& out) {
    TmpScope scope;
    u16 offered = 0;
    Str form = fields_form(table, &offered);
    if (!form.ok()) return str_error_code(form);
    if (!offered) return 0;
    scr::AcceptResult r;
    if (u16 rc = scr::accept_run(msg_text_id(MSG_FIELDS), form, scr::ACC_COLLECT, &r)) return rc;
    bool all = true;
    for (u16 f = 1; f <= offered; f++) {
        expr::FieldDesc fd;
        if (expr::struct_field(table, f, &fd)) continue;
        if (!ticked(scr::accept_value(f))) {
            all = false;
            continue;
        }
        if (!out.empty()) out += ',';
        out.append(fd.name.p, fd.name.n);
    }
    if (all && (doc_flags & DOC_ALL_FIELDS_EMPTY)) out.clear();
    return 0;
}

// A line "NN FD$=title,legend" of the definition file whose first item is the title.
bool line_has_title(Str line, Str title) {
    if (line.n <= LINE_CODE_WIDTH) return false;
    Str first = chart_definition_title(str_substr(line, LINE_CODE_WIDTH, NOT_FOUND));
    return first.n && str_equal_nocase(first, title);
}

// The document store's definition file in the data folders: a chart of that title.
bool title_in_definition_file(Str title) {
    TmpScope scope;
    Str name = str_concat(app_prefix(), S(DEFINITION_FILE));
    Str path = path_find(env_get(ENV_DATA), name);
    if (!path.ok() || !path.n) return false;
    u16 h = file_open(path, FM_READ | FM_NOUPDATE | FM_QUIET);
    if (!file_handle_ok(h)) return false;
    bool found = false;
    while (!found) {
        TmpScope per_line;
        Str line = file_read_line(h);
        if (!line.ok()) break;
        found = line_has_title(line, title);
    }
    file_close(h);
    return found;
}

bool chart_exists(Str title) {
    if (!title.ok() || !title.n) return false;
    return title_check ? title_check(title) : title_in_definition_file(title);
}

// The chart form: single-line once; multi-line until its first title names a chart.
u16 chart_form(bool multi, std::string& answers) {
    TmpScope scope;
    Str form = msg_text_id(multi ? MSG_MULTI : MSG_SINGLE);
    for (;;) {
        scr::AcceptResult r;
        if (u16 rc = scr::accept_run(msg_text_id(MSG_CHART), form, scr::ACC_COLLECT, &r)) return rc;
        Str first = str_trim(str_unquote(list_item(scr::accept_value(1), ',', 1)), TRIM_BOTH);
        if (!multi || chart_exists(first)) {
            answers.assign(view(r.values));
            return 0;
        }
        TmpScope shown;
        error_raise(M_DEVICES, E_DATA);
        fail_with_detail(E_DATA, str_concat(S(DETAIL_NO_CHART), first), false);
        error_show(E_DATA);
    }
}

}  // namespace

void chart_title_check_set(ChartTitleCheck fn) { title_check = fn; }

namespace {

u16 ask_configuration(u16 doc_flags, ChartDefinition* out) {
    TmpScope scope;
    ChartDefinition def;
    scr::AcceptResult r;
    if (u16 rc = scr::accept_run(msg_text_id(MSG_CHART), msg_text_id(MSG_DOCUMENT),
                                 scr::ACC_COLLECT, &r))
        return rc;
    std::string title(view(scr::accept_value(ITEM_TITLE)));
    bool multi = ticked(scr::accept_value(ITEM_MULTILINE));
    bool hidden = ticked(scr::accept_value(ITEM_NOT_IN_MENU));
    u16 table = scr::select_box(msg_text_id(MSG_TABLE), table_list(), scr::SEL_WINDOW | scr::SEL_LIST);
    if (table == scr::SEL_NONE) return E_FEATUREREMOVED;
    if (table == 0) {
        *out = ChartDefinition{};
        return 0;
    }
    expr::StructDesc sd;
    if (expr::struct_info(table, &sd)) return E_BADFILENUMBER;
    def.table = table;
    def.table_name.assign(view(sd.name));
    if (u16 rc = choose_fields(table, doc_flags, def.fields)) return rc;
    if (u16 rc = chart_form(multi, def.answers)) return rc;
    def.title = std::move(title);
    def.flags = DOC_CHART | DOC_GRAPHIC | (multi ? DOC_MULTILINE : 0) | (hidden ? DOC_NOT_IN_MENU : 0);
    *out = std::move(def);
    return 0;
}

}  // namespace

// A person who cancels any of the forms has changed their mind, which is no failure.
u16 chart_configure(u16 doc_flags, ChartDefinition* out) {
    u16 rc = ask_configuration(doc_flags, out);
    if (rc != E_CANCELLED) return rc;
    *out = ChartDefinition{};
    return 0;
}

}  // namespace vx::out
