// The forms that define a chart document: the document form (title, multi-line, left out
// of the menu), the choice of the data file and of its fields, and the chart form of a
// single-line chart (group, value, reset, condition and storage expressions) or of a
// multi-line one (the titles of the charts it combines). The result is handed back as a
// definition for the definition writer (output/report_def.h). Editing starts the forms from
// a definition read back from its file.
#include <algorithm>
#include <string_view>
#include <vector>

#include "expr/structs.h"
#include "output/chart.h"
#include "output/report_def.h"
#include "runtime/arena.h"
#include "runtime/error.h"
#include "runtime/msg.h"
#include "runtime/store.h"
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
constexpr char FIELD_TICKED[] = ":':'L1'::1";
constexpr char FIELD_UNTICKED[] = ":':'L1'::0";
constexpr char CHECKED[] = "1", UNCHECKED[] = "0";

std::string_view view(Str s) { return s.ok() ? std::string_view(s.p, s.n) : std::string_view(); }
Str str_of(const std::string& s) {
    return Str{s.data(), u16(std::min<size_t>(s.size(), MAX_STR))};
}

// A check box's value: "1" (a default of 1 reads back as the number "1.00") or a yes word.
bool ticked(Str value) { return (value.n && value.at(0) == '1') || str_is_yes(value); }

// The data files offered for a chart, in their order.
std::vector<u16> table_numbers() {
    std::vector<u16> out;
    for (u16 s = 1; s <= expr::struct_count(); s++) {
        expr::StructDesc d;
        if (!expr::struct_info(s, &d)) out.push_back(s);
    }
    return out;
}

// The comma list of their names.
Str table_list() {
    TmpScope scope;
    Str list = str_empty();
    for (u16 s : table_numbers()) {
        expr::StructDesc d;
        expr::struct_info(s, &d);
        list = list.n ? str_join(list, S(","), d.name) : str_copy(d.name);
        if (!list.ok()) break;
    }
    return scope.keep(list);
}

// The place of a data file in the list (1 when it is not there).
u16 table_position(u16 table) {
    std::vector<u16> all = table_numbers();
    auto at = std::find(all.begin(), all.end(), table);
    return at == all.end() ? 1 : u16(at - all.begin() + 1);
}

// The data file at place k of the list, 0 when there is none.
u16 table_at(u16 k) {
    std::vector<u16> all = table_numbers();
    return k >= 1 && k <= all.size() ? all[k - 1] : 0;
}

bool listed(Str name, std::string_view list) {
    TmpScope scope;
    return list_find(Str{list.data(), u16(list.size())}, ',', name) != 0;
}

// One check box per field (at most a form's worth), ticked unless `keep` lists the fields
// to tick; a quote in a name would end its label, so it is shown as a grave accent.
Str fields_form(u16 table, const std::string* keep, u16* offered) {
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
        b.put(!keep || listed(fd.name, *keep) ? S(FIELD_TICKED) : S(FIELD_UNTICKED));
        (*offered)++;
    }
    return scope.keep(b.finish());
}

u16 choose_fields(u16 table, u16 doc_flags, const std::string* keep, std::string& out) {
    TmpScope scope;
    u16 offered = 0;
    Str form = fields_form(table, keep, &offered);
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

// ---- Starting a form from given values ----

// The values a form shows when it opens: those of the last form with the same definition,
// which the accept layer keeps in list 9.
u16 preset(Str form, const std::vector<std::string>& values) {
    TmpScope scope;
    Str list = str_empty();
    for (const std::string& v : values) {
        Str q = str_quote(str_of(v), '\'');
        if (!q.ok()) q = str_quote(S(""), '\'');
        list = list.n ? str_join(list, S(","), q) : q;
    }
    if (!list.ok()) return str_error_code(list);
    u16 rc = store_set(scr::ACCEPT_LIST, scr::ACCEPT_VALUES, list);
    return rc ? rc : store_set(scr::ACCEPT_LIST, scr::ACCEPT_DEFINITION, form);
}

std::vector<std::string> values_of(std::string_view list) {
    std::vector<std::string> out;
    TmpScope scope;
    Str l{list.data(), u16(std::min<size_t>(list.size(), MAX_STR))};
    for (u16 k = 1, n = list_count(l, ','); k <= n; k++)
        out.emplace_back(
            view(str_trim(str_unquote(str_trim(list_item(l, ',', k), TRIM_BOTH)), TRIM_BOTH)));
    return out;
}

// The width of field k of a form ('A255' gives 255).
u16 field_width(Str form, u16 k) {
    TmpScope scope;
    Str type = str_trim(
        str_unquote(str_trim(list_item(list_item(form, ',', k), ':', 2), TRIM_BOTH)), TRIM_BOTH);
    return type.n > 1 ? u16(str_to_int(str_substr(type, 1, NOT_FOUND))) : 0;
}

// A value longer than its field was shown cut: left as it was, it stays whole.
std::string kept_whole(Str form, u16 k, const std::string& before, std::string after) {
    u16 width = field_width(form, k);
    if (width && before.size() > width && after == std::string_view(before).substr(0, width))
        return before;
    return after;
}

std::string captured(Str form, const std::vector<std::string>* before) {
    TmpScope scope;
    std::vector<std::string> now = values_of(view(store_get(scr::ACCEPT_LIST, scr::ACCEPT_VALUES)));
    if (!before) return std::string(view(store_get(scr::ACCEPT_LIST, scr::ACCEPT_VALUES)));
    std::string out;
    for (u16 k = 0; k < now.size(); k++) {
        std::string v =
            k < before->size() ? kept_whole(form, u16(k + 1), (*before)[k], now[k]) : now[k];
        char q = v.find('\'') == std::string::npos ? '\'' : '"';
        out += (k ? "," : "") + (q + v + q);
    }
    return out;
}

// ---- The forms ----

struct Document {
    std::string title;
    bool multi = false, hidden = false;
};

// The document form, again while its title is empty.
u16 document_form(const ChartDefinition* from, Document* out) {
    TmpScope scope;
    Str form = msg_text_id(MSG_DOCUMENT);
    std::vector<std::string> before;
    if (from) {
        before = {from->title, (from->flags & DOC_MULTILINE) ? CHECKED : UNCHECKED,
                  (from->flags & DOC_NOT_IN_MENU) ? CHECKED : UNCHECKED};
        if (u16 rc = preset(form, before)) return rc;
    }
    for (;;) {
        scr::AcceptResult r;
        if (u16 rc = scr::accept_run(msg_text_id(MSG_CHART), form, scr::ACC_COLLECT, &r)) return rc;
        std::vector<std::string> v = values_of(captured(form, from ? &before : nullptr));
        v.resize(ITEM_NOT_IN_MENU);
        out->title = v[ITEM_TITLE - 1];
        out->multi = ticked(str_of(v[ITEM_MULTILINE - 1]));
        out->hidden = ticked(str_of(v[ITEM_NOT_IN_MENU - 1]));
        if (!out->title.empty()) return 0;
        error_show(chart_answer_missing(MSG_DOCUMENT, ITEM_TITLE));
    }
}

// The chart form: again while its answers cannot make a definition (the reason is shown).
u16 chart_form(bool multi, const ChartDefinition& def, const ChartDefinition* from,
               std::string& answers) {
    TmpScope scope;
    Str form = msg_text_id(multi ? MSG_MULTI : MSG_SINGLE);
    Str path = def.path.empty() ? report_def_path() : str_of(def.path);
    std::vector<std::string> before;
    bool same_kind = from && bool(from->flags & DOC_MULTILINE) == multi;
    if (same_kind) {
        before = values_of(from->answers);
        if (u16 rc = preset(form, before)) return rc;
    }
    for (;;) {
        scr::AcceptResult r;
        if (u16 rc = scr::accept_run(msg_text_id(MSG_CHART), form, scr::ACC_COLLECT, &r)) return rc;
        answers = captured(form, same_kind ? &before : nullptr);
        u16 rc = chart_answers_check(multi, answers, path, def.number);
        if (!rc) return 0;
        error_show(rc);
    }
}

u16 ask_configuration(u16 doc_flags, ChartDefinition* out) {
    TmpScope scope;
    const ChartDefinition* from = (doc_flags & DOC_EDIT) ? out : nullptr;
    ChartDefinition def;
    def.path = out->path;
    def.number = (doc_flags & DOC_EDIT) ? out->number : 0;
    Document doc;
    if (u16 rc = document_form(from, &doc)) return rc;
    u16 start = table_position(from ? from->table : 0);
    u16 chosen = scr::select_box(msg_text_id(MSG_TABLE), table_list(),
                                 scr::SEL_WINDOW | scr::SEL_LIST, start);
    if (chosen == scr::SEL_NONE) return E_FEATUREREMOVED;
    if (chosen == 0) return E_CANCELLED;
    u16 table = table_at(chosen);
    expr::StructDesc sd;
    if (!table || expr::struct_info(table, &sd)) return E_BADFILENUMBER;
    def.table = table;
    def.table_name.assign(view(sd.name));
    const std::string* keep =
        from && from->fields_known && from->table == table ? &from->fields : nullptr;
    if (u16 rc = choose_fields(table, doc_flags, keep, def.fields)) return rc;
    def.fields_known = true;
    def.flags = DOC_CHART | DOC_GRAPHIC | (doc.multi ? DOC_MULTILINE : 0) |
                (doc.hidden ? DOC_NOT_IN_MENU : 0);
    if (u16 rc = chart_form(doc.multi, def, from, def.answers)) return rc;
    def.title = std::move(doc.title);
    *out = std::move(def);
    return 0;
}

}  // namespace

// A person who cancels any of the forms, or chooses no table, has changed their mind, which
// is no failure.
u16 chart_configure(u16 doc_flags, ChartDefinition* out) {
    u16 rc = ask_configuration(doc_flags, out);
    if (rc != E_CANCELLED) return rc;
    *out = ChartDefinition{};
    return 0;
}

}  // namespace vx::out
