// Accept forms: parsing the definition text into field records, building the form window on
// a screen record, the key handler that ends the form, the start values, collection into the
// targets, the result texts in list 9, the unattended answer and the AcceptRun task.
#include "screens/accept.h"

#include <algorithm>
#include <string>
#include <vector>

#include "expr/eval.h"
#include "expr/fieldref.h"
#include "expr/fields.h"
#include "expr/members.h"
#include "expr/vars.h"
#include "platform/mnemonic.h"
#include "platform/window.h"
#include "runtime/arena.h"
#include "runtime/error.h"
#include "runtime/files.h"
#include "runtime/msg.h"
#include "runtime/msgbox.h"
#include "runtime/startup.h"
#include "runtime/store.h"
#include "runtime/sysvars.h"
#include "screens/dialogs.h"
#include "screens/keys.h"
#include "screens/screen.h"
#include "screens/window.h"

namespace vx::scr {

using namespace vx::rt;
namespace pf = vx::platform;
using expr::Value;

namespace {

constexpr u16 ITEMS_MAX = 5;
constexpr u16 DATE_SHOWN_MAX = 8;         // a D field is shown at most this wide ...
constexpr u16 DATE_EXACT = 8;             // ... unless its width is exactly this
constexpr u16 WIDTH_MAX = 4096;
constexpr u16 FIELD_TYPE_MAX = 8;         // "A4096"
constexpr u16 LABEL_GAP = 1;              // cells between a label and its field
constexpr u16 FIELD_SHOWN_MAX = 48;       // cells a field takes at most: longer texts scroll in it
constexpr u16 FORM_MARGIN_PX = 8;         // around the fields
// The form's own buttons: between the identifiers of fields and those of labels.
constexpr int BUTTON_ACCEPT_ID = 3101;
constexpr int BUTTON_CANCEL_ID = 3102;
constexpr u16 MEMBER_FD = 51;
constexpr u16 MEMBER_ACBOUND = 93;
constexpr u16 MEMBER_WINNAME = 102;
constexpr u16 MEMBER_ACCEPT_PRC = 101;
constexpr const char* CLASS_NAME = "Accept";
constexpr const char* FORM_OPTIONS = " /";
constexpr const char* POSITION_OPTIONS[] = {"/ROW", "/COL"};
constexpr const char* SCREEN_VAR_TEXT = "_SCRF%u$";    // screen field variables by type
constexpr const char* SCREEN_VAR_NUMBER = "_SCRF%u#";
constexpr const char* TEXT_TYPES = "ABCDF";
constexpr u16 SCREEN_VAR_MAX = 15;
constexpr u16 DEFAULT_EXPAND = expr::EXPAND_QUOTE | expr::EXPAND_EMPTY_BLANK;
// Form from variables: the type of integers and of strings, and the two patterns.
constexpr const char* VAR_TYPES[] = {"A32", "A511"};
constexpr const char* FROM_VARS_NTH = "\"%.*s: \":\"%s\":%.*s:FN$PARM([%.*s];%u)";
constexpr const char* FROM_VARS = "\"%.*s: \":\"%s\":%.*s:[%.*s]";
constexpr u16 FROM_VARS_ITEM_MAX = 1024;
constexpr const char* SCRBACK = "SCRBACK=";
constexpr const char* PASSWORD_SHOWN = "'********'";   // a password answer as written out

// Comparison operators that end a target asking for a condition, longest first.
constexpr const char* COMPARISONS[] = {"==", ">=", "<=", "<>", ">", "<"};
constexpr const char* CONDITION_JOIN = "&&";

// What a field asks of the collection.
enum FieldFlags : u16 {
    FF_TRIM = 1,        // trailing spaces are removed from the captured text
    FF_ASSIGN = 2,      // item 3 receives the value when item 5 is empty
    FF_CONDITION = 4,   // a captured value adds "target op value" to the conditions
    FF_QUOTE = 8,       // ... with the value quoted (text fields)
};

// Screen actions of the form's key map that mean something to a form.
enum FormAction : u16 {
    FA_END_FIELDS = 22,   // Ctrl+End
    FA_DOWN = 31,
    FA_UP = 32,
};

struct Field {
    Str label{"", 0};
    u16 label_row = NO_POS, label_col = NO_POS, label_cells = 0;
    char type = 'A';
    u16 width = 0, cells = 0;
    u16 row = NO_POS, col = NO_POS;
    u16 flags = FF_TRIM | FF_ASSIGN;
    Str target{"", 0}, start{"", 0}, assign{"", 0};
    Str condition{"", 0};   // the target with its comparison operator
};

struct Form {
    std::vector<Field> fields;
    Metrics metrics{};                 // the layer's metrics while the form is open
    bool metrics_saved = false;
    bool counted = false;              // counted as an accept window of its screen
    std::vector<std::string> values;   // what the fields held when the form ended
    WinId win = 0;
    bool screen_opened = false;
    u16 key = KEY_ESC;
    bool ended = false;
};

// The form whose loop runs (forms nest: each run puts back the one it covered, so nothing
// is left behind at shutdown).
struct AcceptState {
    Form* open = nullptr;
};
AcceptState acc;

// Key classes by key number; every other key is class 0.
struct KeyClass {
    u16 key, cls;
};
constexpr KeyClass KEY_CLASSES[] = {
    {KEY_ENTER, KC_CONFIRM}, {KEY_TAB, KC_CONFIRM},   {KEY_ESC, KC_CANCEL},
    {KEY_BACKTAB, KC_BACK},  {KEY_UP, 12},            {KEY_PGUP, 20},
    {KEY_DOWN, 10},          {KEY_PGDN, 18},          {KEY_CTRL_END, KC_END},
};

u16 form_key_class(u16 key) {
    if (key >= KEY_F1 && key <= KEY_F11) return KC_FKEY;
    for (const KeyClass& k : KEY_CLASSES)
        if (k.key == key) return k.cls;
    return 0;
}

bool blank(Str s) { return !s.ok() || str_trim(s, TRIM_BOTH).n == 0; }

bool quoted(Str s) { return s.n >= 2 && (str_enclosed(s, '\'') || str_enclosed(s, '"')); }

bool is_field_ref(Str item) {
    return item.n > 2 && item.p[item.n - 1] == '}' && str_find_char(item, 0, '{', QUOTED) != NOT_FOUND;
}

// The field name of a reference NAME{FILE} (the text before "{").
Str field_ref_name(Str ref) { return str_trim(str_substr(ref, 0, str_find_char(ref, 0, '{', QUOTED)), TRIM_BOTH); }

// A text item: quoted as written, else the value of the expression (the text itself when
// it is no expression that gives one).
Str text_item(Str item) {
    item = str_trim(item, TRIM_BOTH);
    if (quoted(item)) return str_unquote(item);
    if (!item.n) return item;
    Str v = expr::expr_text(item);
    error_detail_clear();
    return v.ok() ? v : item;
}

// A label: a field reference gives its field name; else as a text item.
Str label_item(Str item) {
    item = str_trim(item, TRIM_BOTH);
    return is_field_ref(item) ? field_ref_name(item) : text_item(item);
}

// A default: its [expressions] replaced by their quoted values, then evaluated.
Str default_item(Str item) {
    if (str_find_char(item, 0, '[', QUOTED) == NOT_FOUND) return text_item(item);
    Str expanded = expr::expr_expand(item, DEFAULT_EXPAND, str_empty());
    return expanded.ok() ? text_item(expanded) : str_empty();
}

// "/ROW=5" or "/COL:10": the number after one character; the definition proper ends at the
// first position option.
Str take_positions(Str def, Field& f) {
    u16 end = def.n;
    Str up = str_upper(def);
    for (u16 i = 0; i < 2; i++) {
        Str opt = str_from_cstr(POSITION_OPTIONS[i]);
        u16 at = str_find_sub(up, opt, QUOTED);
        if (at == NOT_FOUND) continue;
        end = std::min(end, at);
        u32 num_at = u32(at) + opt.n + 1;
        if (num_at > def.n) continue;
        i64 n = text_to_int64(str_substr(def, int(num_at), u16(def.n - num_at)));
        u16 v = u16(std::clamp<i64>(n, 0, GRID_MAX));
        (i == 0 ? f.row : f.col) = v;
    }
    return str_substr(def, 0, end);
}

// A label that begins with {row,col} is placed there.
Str take_label_place(Str label, Field& f) {
    if (!label.n || label.p[0] != '{') return label;
    u16 close = str_find_char(label, 0, '}', PLAIN);
    if (close == NOT_FOUND) return label;
    Str inside = str_substr(label, 1, u16(close - 1));
    f.label_row = u16(std::clamp<i64>(text_to_int64(list_item(inside, ',', 1)), 0, GRID_MAX));
    f.label_col = u16(std::clamp<i64>(text_to_int64(list_item(inside, ',', 2)), 0, GRID_MAX));
    return str_substr(label, close + 1, u16(label.n - close - 1));
}

// "A30", "N3", "L1": a type letter and a width.
u16 parse_type(Str text, Field& f) {
    text = str_trim(text, TRIM_BOTH);
    if (!text.n) return E_DATA;
    char t = text.p[0];
    if (t >= 'a' && t <= 'z') t = char(t - 'a' + 'A');
    if (t < 'A' || t > 'Z') return E_DATA;
    i64 w = text_to_int64(str_substr(text, 1, u16(text.n - 1)));
    if (w < 1 || w > WIDTH_MAX) return E_DATA;
    f.type = t;
    f.width = u16(w);
    u16 shown = expr::field_display_width(t, f.width);
    if (t == 'D' && f.width != DATE_EXACT) shown = std::min(shown, DATE_SHOWN_MAX);
    f.cells = std::max<u16>(1, shown);
    return 0;
}

// The flags that follow from the type: a password keeps its trailing spaces; text values
// are quoted in conditions.
void type_flags(Field& f) {
    if (f.type == 'P') f.flags &= u16(~FF_TRIM);
    if (expr::field_type_is_text(f.type)) f.flags |= FF_QUOTE;
}

// A bare field reference: label, type and width from the data file's field description.
u16 parse_bare_field(Str ref, Field& f) {
    expr::FieldRef r;
    if (!is_field_ref(ref)) return E_DATA;
    if (u16 rc = expr::field_ref_parse(ref, &r)) return rc;
    f.target = f.assign = ref;
    f.label = field_ref_name(ref);
    Value now;
    if (!expr::field_ref_get(r, now)) f.start = now.is_str ? str_trim(now.str, TRIM_RIGHT) : expr::num_text(now.num);
    if (u16 rc = parse_type(str_format(FIELD_TYPE_MAX, "%c%u", r.type, unsigned(r.width)), f)) return rc;
    type_flags(f);
    return 0;
}

// A target that ends with a comparison operator ("CODE{}>=") asks for a condition instead
// of an assignment: the target proper is the text before the operator.
void take_comparison(Field& f) {
    for (const char* op : COMPARISONS) {
        Str o = str_from_cstr(op);
        if (f.target.n <= o.n || !str_equal(str_substr(f.target, int(f.target.n - o.n), o.n), o)) continue;
        f.condition = f.target;
        f.target = str_trim(str_substr(f.target, 0, u16(f.target.n - o.n)), TRIM_RIGHT);
        f.flags = u16((f.flags | FF_CONDITION) & ~FF_ASSIGN);
        return;
    }
}

u16 parse_field(Str def, Field& f) {
    def = str_trim(take_positions(str_trim(def, TRIM_BOTH), f), TRIM_BOTH);
    char sep = str_count_char(def, ':', QUOTED) == 0 && str_count_char(def, ';', QUOTED) ? ';' : ':';
    Str items[ITEMS_MAX] = {};
    u16 count = std::min(list_count(def, sep), ITEMS_MAX);
    for (u16 i = 0; i < ITEMS_MAX; i++) items[i] = str_trim(list_item(def, sep, u16(i + 1)), TRIM_BOTH);
    if (count <= 1) return parse_bare_field(items[0], f);
    f.label = take_label_place(label_item(items[0]), f);
    if (u16 rc = parse_type(text_item(items[1]), f)) return rc;
    // Without item 3 the target is item 1; a quoted label names nothing to assign, so such a
    // field only captures its value (the login and configuration forms are made so).
    f.target = count >= 3 && items[2].n ? items[2] : items[0];
    if (blank(f.target)) return E_DATA;
    if (quoted(f.target)) f.flags &= u16(~FF_ASSIGN);
    take_comparison(f);
    type_flags(f);
    if (count >= 4 && items[3].n) f.start = default_item(items[3]);
    f.assign = count >= 5 && items[4].n ? items[4] : (f.flags & FF_ASSIGN) ? f.target : str_empty();
    return 0;
}

// The definition proper and the form options after " /".
void split_options(Str text, Str* defs, Str* options) {
    u16 at = str_find_sub(text, str_from_cstr(FORM_OPTIONS), QUOTED);
    *defs = at == NOT_FOUND ? text : str_substr(text, 0, at);
    *options = at == NOT_FOUND ? str_empty() : str_substr(text, at + 2, u16(text.n - at - 2));
}

u16 parse_form(Str defs, Form& form) {
    u16 n = list_count(defs, ',');
    if (!n || blank(defs)) return error_raise(M_SCREENS, E_DATA);
    if (n > ACCEPT_FIELDS_MAX) return error_raise(M_SCREENS, E_DATAOUTBOUND);
    form.fields.resize(n);
    for (u16 i = 0; i < n; i++)
        if (u16 rc = parse_field(list_item(defs, ',', u16(i + 1)), form.fields[i]))
            return error_raise(M_SCREENS, rc);
    return 0;
}

// Start values: the default, else what the last form with the same definition captured.
void start_values(Str definition, Form& form) {
    bool same = str_equal(store_get(ACCEPT_LIST, ACCEPT_DEFINITION), definition);
    for (u16 i = 0; i < form.fields.size(); i++) {
        Field& f = form.fields[i];
        if (!f.start.n && same) f.start = accept_value(u16(i + 1));
        if (!f.start.ok()) f.start = str_empty();
    }
}

// ---- The window ----

// Labels in one column as wide as the longest, fields after it, one row each; a placed
// field keeps its place and its label goes just left of it.
void lay_out(Form& form) {
    u16 label_cells = 0;
    for (const Field& f : form.fields) label_cells = std::max(label_cells, f.label.n);
    label_cells = std::min<u16>(label_cells, LABEL_MAX);
    for (u16 i = 0; i < form.fields.size(); i++) {
        Field& f = form.fields[i];
        if (f.row == NO_POS) f.row = i;
        if (f.col == NO_POS) f.col = u16(label_cells + LABEL_GAP);
        bool placed_label = f.label_row != NO_POS;
        f.label_cells = placed_label ? std::min<u16>(f.label.n, LABEL_MAX) : label_cells;
        if (!placed_label) f.label_row = f.row;
        if (!placed_label) {  // just left of the field, cut when the field leaves less room
            f.label_col = f.col > label_cells + LABEL_GAP ? u16(f.col - label_cells - LABEL_GAP) : 0;
            f.label_cells = u16(std::min<int>(f.label_cells, std::max(0, f.col - LABEL_GAP - f.label_col)));
        }
        f.cells = std::min<u16>(f.cells, u16(GRID_MAX - std::min<u16>(f.col, GRID_MAX - 1)));
        f.cells = std::min(f.cells, FIELD_SHOWN_MAX);
    }
}

ScreenField screen_field(const Field& f) {
    ScreenField s;
    s.spec.row = f.row;
    s.spec.col = f.col;
    s.spec.width = f.width;
    s.spec.cells = f.cells;
    s.spec.type = f.type;
    s.label_row = f.label_row;
    s.label_col = f.label_col;
    s.label_len = f.label_cells ? std::min<u16>(f.label.n, LABEL_MAX) : 0;  // no room: no label
    s.label_cells = f.label_cells;
    std::copy(f.label.p, f.label.p + s.label_len, s.label);
    return s;
}

void end_form(Form& form, u16 key) {
    if (form.ended) return;
    form.ended = true;
    form.key = key;
    for (u16 i = 0; i < form.values.size() && window_on_stack(form.win); i++) {
        Str t = field_text(form.win, u16(i + 1));
        if (t.ok()) form.values[i].assign(t.p, t.n);
    }
    if (window_on_stack(form.win)) window_destroy_id(form.win);
}

void focus_field(Form& form, u16 n) {
    if (n >= 1 && n <= form.fields.size()) pf::control_focus(form.win, field_id(n));
}

// The form's screen-action handler: field movement, and the keys that end the form.
u16 form_action(u16 action, i32, void* data) {
    Form& form = *static_cast<Form*>(data);
    u16 key = u16(sysint_get(SV_LASTKEY));
    u16 at = screen_current_field();
    u16 count = u16(form.fields.size());
    if ((action & ACTION_LOW) == ACT_BUTTON) {
        end_form(form, key);
        return 0;
    }
    switch (action) {
    case ACT_NEXT:
        if (key == KEY_TAB && at && at < count) focus_field(form, u16(at + 1));
        else end_form(form, key);
        return 0;
    case FA_DOWN:
        if (at && at < count) focus_field(form, u16(at + 1));
        else end_form(form, key);
        return 0;
    case ACT_PREV:
    case FA_UP:
        if (at > 1) focus_field(form, u16(at - 1));
        return 0;
    case ACT_CANCEL:
    case FA_END_FIELDS:
        end_form(form, key);
        return 0;
    default:
        return 0;
    }
}

// The close box cancels like Esc; the form's buttons confirm like Ctrl+End and cancel like
// Esc.
bool form_proc(const pf::Event& e, void* data) {
    Form& form = *static_cast<Form*>(data);
    u16 key = KEY_OTHER;
    if (e.kind == pf::EvKind::Close) key = KEY_ESC;
    else if (e.kind == pf::EvKind::Command && e.ctl == BUTTON_ACCEPT_ID) key = KEY_CTRL_END;
    else if (e.kind == pf::EvKind::Command && e.ctl == BUTTON_CANCEL_ID) key = KEY_ESC;
    if (key == KEY_OTHER) return false;
    sysint_set(SV_LASTKEY, i16(key));
    end_form(form, key);
    return true;
}

// The form's own metrics while it is open: its grid is at least 80 x 25 and as wide and high
// as its fields and labels reach, so that every label gets an identifier of its own.
Metrics form_metrics(const Form& form) {
    Metrics m{GRID_COLS, GRID_ROWS, {0, 0, 0, 0}};
    for (const Field& f : form.fields) {
        m.grid_w = std::max<u16>(m.grid_w, u16(std::max(f.col + f.cells, f.label_col + f.label_cells)));
        m.grid_h = std::max<u16>(m.grid_h, u16(std::max(f.row, f.label_row) + 1));
    }
    m.grid_w = std::min(m.grid_w, GRID_MAX);
    m.grid_h = std::min(m.grid_h, GRID_MAX);
    return m;
}

// The cells the fields and labels take: the window shows that much of the grid.
void form_extent(const Form& form, u16* cols, u16* rows) {
    u16 w = 1, h = 1;
    for (const Field& f : form.fields) {
        w = std::max<u16>(w, u16(std::max(f.col + f.cells, f.label_col + f.label_cells)));
        h = std::max<u16>(h, u16(std::max(f.row, f.label_row) + 1));
    }
    *cols = std::min(w, GRID_MAX);
    *rows = std::min(h, GRID_MAX);
}

// "Aceptar" and "Cancelar" under the fields, with the keys that do the same; the window is
// then sized to hold them and the fields.
void add_buttons(const Form& form) {
    TmpScope scope;
    Str names = msg_text_id(MSG_FORM_BUTTONS);
    Str hint = msg_text_id(MSG_FORM_KEYS);
    std::string taken;
    std::string labels[2];
    for (u16 i = 0; i < 2; i++) {
        Str item = str_trim(list_item(names, ',', u16(i + 1)), TRIM_BOTH);
        labels[i] = pf::mnemonic_label(std::string_view(item.p, item.n), taken);
    }
    const pf::BarButton buttons[] = {{BUTTON_ACCEPT_ID, labels[0], {}, false},
                                     {BUTTON_CANCEL_ID, labels[1], {}, false}};
    pf::window_set_bar(form.win, std::string_view(hint.p, hint.n), buttons, 2);
    pf::window_fit(form.win);
}

u16 open_window(Str title, Form& form) {
    WindowSpec spec;
    spec.kind = KIND_DIALOG;
    spec.title = title;
    spec.class_name = str_from_cstr(CLASS_NAME);
    form_extent(form, &spec.cols, &spec.rows);
    spec.margin_px = FORM_MARGIN_PX;
    spec.proc = form_proc;
    spec.data = &form;
    if (u16 rc = window_create(spec, &form.win)) return rc;
    u16 rc = screen_open(form.win);
    form.screen_opened = rc == 0;
    if (!rc) {
        screen_accept_enter();
        form.counted = true;
        form.metrics = metrics_get();
        form.metrics_saved = true;
        metrics_set(form_metrics(form));
    }
    for (const Field& f : form.fields)
        if (!rc) rc = screen_field_add(screen_field(f));
    if (!rc) rc = ScreenActionSet(form_action, 0, &form);
    if (!rc) rc = ScreenSetWin(0);
    for (u16 i = 0; !rc && i < form.fields.size(); i++)
        field_set_text(form.win, u16(i + 1), form.fields[i].start);
    if (!rc) add_buttons(form);
    return rc;
}

void close_window(Form& form) {
    if (window_on_stack(form.win)) window_destroy_id(form.win);
    if (form.metrics_saved) metrics_set(form.metrics);
    if (form.counted) screen_accept_leave();
    if (form.screen_opened) screen_close();
    form.metrics_saved = form.counted = form.screen_opened = false;
}

// Runs the form attended; the values shown when it ended in form.values. 0, or the error
// that kept the form from opening.
u16 run_attended(Str title, Form& form) {
    form.key = KEY_ESC;
    u16 rc = open_window(title, form);
    if (!rc) {
        focus_field(form, 1);
        sysint_set(SV_LASTKEY, KEY_OTHER);
        Form* covered = acc.open;
        acc.open = &form;
        run_loop(form.win);
        acc.open = covered;
    }
    close_window(form);
    return rc;
}

// ---- Unattended ----

// The answer line: a comma list of values (items may be quoted), "\ENTER" for the values
// shown, "\ESC" or the end of the input to cancel. The input reads "" at its end, so an
// empty line cancels too (a form whose only field is to be emptied answers '').
// Whether a quote opened in s is never closed.
bool quote_left_open(Str s) {
    char open = 0;
    for (u16 i = 0; i < s.n; i++) {
        char c = s.p[i];
        if (open ? c == open : (c == '\'' || c == '"')) open = open ? 0 : c;
    }
    return open != 0;
}

// The answer line as it is written out: a password's item is masked. An item with a quote
// that is never closed runs to the end of the line and may hold the items that follow it
// (O'Brien,secret is one item): when a password field is at or after it, it is masked too.
Str answer_shown(Str answer, const Form& form) {
    Str bare = str_trim(answer, TRIM_BOTH);
    if (str_equal(bare, str_from_cstr(ANSWER_ENTER)) || str_equal(bare, str_from_cstr(ANSWER_ESC))) return answer;
    u16 n = list_count(answer, ',');
    bool open_last = n && quote_left_open(list_item(answer, ',', n));
    Str shown = answer;
    for (u16 i = 0; i < form.fields.size(); i++) {
        if (form.fields[i].type != 'P') continue;
        u16 item = i < n ? u16(i + 1) : open_last ? n : 0;
        if (item) shown = list_set_item(shown, ',', int(item), str_from_cstr(PASSWORD_SHOWN));
    }
    return shown.ok() ? shown : str_from_cstr(PASSWORD_SHOWN);
}

void answer_from_input(Str title, Form& form) {
    Str line = input_next_line();
    if (!line.ok()) line = str_empty();
    Str answer = str_trim(line, TRIM_BOTH);
    msg_box(answer_shown(line, form), title, BOX_INFO);  // unattended, a box is only written out
    if (!answer.n || str_equal(answer, str_from_cstr(ANSWER_ESC))) {
        form.key = KEY_ESC;
        return;
    }
    form.key = KEY_ENTER;
    if (str_equal(answer, str_from_cstr(ANSWER_ENTER))) return;
    u16 n = std::min<u16>(list_count(answer, ','), u16(form.values.size()));
    for (u16 i = 0; i < n; i++) {  // cut to the field's width, as its control would
        Str v = str_unquote(str_trim(list_item(answer, ',', u16(i + 1)), TRIM_BOTH));
        form.values[i].assign(v.p, std::min(v.n, form.fields[i].width));
    }
}

// ---- Collection ----

// The value for a target: text for string names (and string array elements), a number for
// the others.
Value value_for(Str target, Str text) {
    u16 paren = str_find_char(target, 0, '(', QUOTED);
    Str name = str_trim(paren == NOT_FOUND ? target : str_substr(target, 0, paren), TRIM_BOTH);
    if (expr::var_kind(name) == expr::KIND_STR) return expr::val_str(text);
    return expr::val_num(expr::num_parse(text));
}

// A field reference takes the text fitted to its field; a variable or array element takes
// the value of its kind.
u16 assign_target(Str target, Str text) {
    target = str_trim(target, TRIM_BOTH);
    if (!is_field_ref(target)) return expr::var_assign(target, value_for(target, text));
    expr::FieldRef r;
    if (u16 rc = expr::field_ref_parse(target, &r)) return rc;
    return expr::field_ref_set(r, r.text ? expr::val_str(text) : expr::val_num(expr::num_parse(text)));
}

// Quoted with ' (or " when the value holds '); a value with both loses its double quotes.
Str quote_value(Str v) {
    Str q = str_quote(v, '\'');
    if (q.ok()) return q;
    return str_quote(str_replace(v, S("\""), str_empty(), PLAIN), '\'');
}

// "target op value": text values quoted, numbers as the number they read as, so that what was
// typed is never taken as part of the expression.
Str condition_of(const Field& f, Str text) {
    Str value = (f.flags & FF_QUOTE) ? quote_value(text) : expr::num_text(expr::num_parse(text));
    return str_concat(f.condition, value);
}

// A field with an empty value sets no limit and adds no condition.
Str add_condition(Str conditions, const Field& f, Str text) {
    if (!(f.flags & FF_CONDITION) || blank(text)) return conditions;
    Str c = condition_of(f, text);
    return conditions.n ? str_join(conditions, str_from_cstr(CONDITION_JOIN), c) : c;
}

u16 collect(Str definition, const Form& form) {
    Str list = str_empty(), conditions = str_empty();
    for (u16 i = 0; i < form.fields.size(); i++) {
        const std::string& v = form.values[i];
        const Field& f = form.fields[i];
        Str text = str_view(v.data(), u16(std::min<size_t>(v.size(), MAX_STR)));
        if (f.flags & FF_TRIM) text = str_trim(text, TRIM_RIGHT);
        if (f.assign.n)
            if (u16 rc = assign_target(f.assign, text)) return rc;
        list = i ? str_join(list, S(","), quote_value(text)) : quote_value(text);
        conditions = add_condition(conditions, f, text);
        if (!list.ok()) return error_raise(M_SCREENS, str_error_code(list));
        if (!conditions.ok()) return error_raise(M_SCREENS, str_error_code(conditions));
    }
    u16 rc = store_set(ACCEPT_LIST, ACCEPT_VALUES, list);
    if (!rc) rc = store_set(ACCEPT_LIST, ACCEPT_CONDITIONS, conditions);
    if (!rc) rc = store_set(ACCEPT_LIST, ACCEPT_DEFINITION, definition);
    return rc;
}

// ---- Screen field variables ----

Str screen_variable(u16 n, char type, Str fd) {
    Str item = list_item(fd, ',', n);
    if (item.n) return item;
    bool text = str_find_char(str_from_cstr(TEXT_TYPES), 0, type, PLAIN) != NOT_FOUND;
    return str_format(SCREEN_VAR_MAX, text ? SCREEN_VAR_TEXT : SCREEN_VAR_NUMBER, unsigned(n));
}

// When the form's record has fewer FD$ items than the form has fields, FD$ is completed with
// the screen field variables _SCRFn$ (types ABCDF) or _SCRFn# (the others) and written in
// front of the record.
u16 screen_variables(const Form& form) {
    u16 fields = u16(form.fields.size());
    TmpScope scope;
    Str fd = str_unquote(expr::member_value(MEMBER_FD));
    if (!fields || list_count(fd, ',') >= fields) return 0;
    Str list = str_empty();
    for (u16 n = 1; n <= fields && list.ok(); n++) {
        Str v = screen_variable(n, form.fields[n - 1].type, fd);
        list = n > 1 ? str_join(list, S(","), v) : str_copy(v);
    }
    Str item = str_concat(str_join_kv(expr::member_name(MEMBER_FD), str_quote(list, '"')), S(":"));
    Str record = str_concat(item, str_copy(expr::parm_top()));
    if (!record.ok()) return error_raise(M_SCREENS, str_error_code(record));
    expr::parm_pop();
    return expr::parm_push(record);
}

u16 run_form(Str title, Str definition, u16 options, Form& form) {
    Str defs, form_options;
    split_options(definition, &defs, &form_options);
    if (u16 rc = parse_form(defs, form)) return rc;
    if (u16 rc = screen_variables(form)) return rc;
    lay_out(form);
    start_values(definition, form);
    form.values.resize(form.fields.size());
    for (u16 i = 0; i < form.fields.size(); i++) form.values[i].assign(form.fields[i].start.p, form.fields[i].start.n);
    sysint_set(SV_LASTKEY, KEY_OTHER);
    if (unattended()) answer_from_input(title, form);
    else if (u16 rc = run_attended(title, form)) return rc;
    sysint_set(SV_LASTKEY, i16(form.key));
    if (!(options & ACC_COLLECT) && form.key == KEY_ENTER) return 0;
    if (!accept_key_confirms(form.key)) return E_CANCELLED;
    u16 rc = collect(definition, form);
    if (form.key == KEY_CTRL_END) sysint_set(SV_LASTKEY, 0);
    return rc;
}

}  // namespace

Str accept_from_vars(Str names, u16 flags, u16 field) {
    TmpScope scope;
    Str out = str_empty();
    u16 count = list_count(names, ',');
    for (u16 i = 1; i <= count && out.ok(); i++) {
        Str name = str_trim(list_item(names, ',', i), TRIM_BOTH);
        expr::VarKind kind = expr::var_kind(name);
        if (!name.n || (kind != expr::KIND_INT && kind != expr::KIND_STR)) continue;  // numbers, arrays
        const char* type = VAR_TYPES[kind == expr::KIND_STR];
        Str shown = (flags & FROM_VARS_AS_WRITTEN) ? name : str_upper(name);
        Str target = (flags & FROM_VARS_NO_TARGET) ? str_empty() : name;
        Str def = field ? str_format(FROM_VARS_ITEM_MAX, FROM_VARS_NTH, int(name.n), name.p, type, int(target.n),
                                     target.p, int(shown.n), shown.p, unsigned(field))
                        : str_format(FROM_VARS_ITEM_MAX, FROM_VARS, int(name.n), name.p, type, int(target.n),
                                     target.p, int(shown.n), shown.p);
        out = out.n ? str_join(out, S(","), def) : def;
    }
    return scope.keep(out.ok() ? str_copy(out) : out);
}

// "SCRBACK=NAME$": the open form's field texts saved into the string variable NAME$ as a
// quoted comma list, or put back from it when every item fits its field.
u16 accept_screen_back(Str text, bool restore) {
    TmpScope scope;
    Str v = expr::expr_text(text);
    Str key = str_from_cstr(SCRBACK);
    if (!v.ok() || v.n <= key.n || !str_equal_nocase(str_substr(v, 0, key.n), key)) return error_raise(M_SCREENS, E_DATA);
    Str name = str_trim(str_substr(v, key.n, u16(v.n - key.n)), TRIM_BOTH);
    Form* form = acc.open;
    if (expr::var_kind(name) != expr::KIND_STR || !form || !window_on_stack(form->win)) return error_raise(M_SCREENS, E_DATA);
    u16 fields = u16(form->fields.size());
    if (!restore) {
        Str list = str_empty();
        for (u16 n = 1; n <= fields && list.ok(); n++) {
            Str q = quote_value(field_text(form->win, n));
            list = n > 1 ? str_join(list, S(","), q) : q;
        }
        if (!list.ok()) return error_raise(M_SCREENS, str_error_code(list));
        return expr::var_assign(name, expr::val_str(list));
    }
    expr::Value saved;
    if (u16 rc = expr::var_read(name, saved)) return rc;
    u16 items = list_count(saved.str, ',');
    if (!saved.is_str || items > fields) return error_raise(M_SCREENS, E_DATAOUTBOUND);
    for (u16 n = 1; n <= items; n++)
        if (str_unquote(str_trim(list_item(saved.str, ',', n), TRIM_BOTH)).n > form->fields[n - 1].width)
            return error_raise(M_SCREENS, E_DATAOUTBOUND);
    for (u16 n = 1; n <= items; n++)
        field_set_text(form->win, n, str_unquote(str_trim(list_item(saved.str, ',', n), TRIM_BOTH)));
    return 0;
}

bool accept_key_confirms(u16 key) { return form_key_class(key) & (KC_CONFIRM | KC_END); }

Str accept_value(u16 n) {
    Str item = list_item(store_get(ACCEPT_LIST, ACCEPT_VALUES), ',', n);
    return str_trim(str_unquote(str_trim(item, TRIM_BOTH)), TRIM_BOTH);
}

u16 accept_run(Str title, Str definition, u16 options, AcceptResult* out) {
    i16 cured = sysint_get(SV_CUREDFLD);
    Str defs, form_options;
    split_options(definition, &defs, &form_options);
    u16 depth = expr::parm_depth();
    u16 rc = expr::parm_push(form_options);
    Form form;
    if (!rc) {
        TmpScope scope;
        rc = run_form(title, definition, options, form);
    }
    while (expr::parm_depth() > depth) expr::parm_pop();
    sysint_set(SV_CUREDFLD, cured);
    if (out) {
        out->key = form.key;
        out->values = store_get(ACCEPT_LIST, ACCEPT_VALUES);
        out->conditions = store_get(ACCEPT_LIST, ACCEPT_CONDITIONS);
        out->code = rc;
    }
    return rc;
}

// The task's arguments: the parameter file, the record code (0) and the file kind (0).
u16 accept_task(Str args) {
    TmpScope scope;
    Str file = str_trim(list_item(args, ',', 1), TRIM_BOTH);
    i64 code = text_to_int64(list_item(args, ',', 2));
    i64 kind = text_to_int64(list_item(args, ',', 3));
    if (code < 0 || kind < 0 || kind >= expr::PARM_KINDS) return error_raise(M_SCREENS, E_DATA);
    u16 depth = expr::parm_depth();
    u16 lines = 0;
    if (u16 rc = expr::parm_load(file, u16(kind), u32(code), &lines)) return rc;
    u16 rc = accept_task_record(0);
    while (expr::parm_depth() > depth) expr::parm_pop();
    return rc;
}

u16 accept_task_record(u16 hook_slot) {
    Str bound = expr::member_value(MEMBER_ACBOUND);
    if (!bound.n) {
        return fail_with_detail(error_raise(M_SCREENS, E_DATA), expr::member_name(MEMBER_ACBOUND), false);
    }
    Str title = str_unquote(expr::member_value(MEMBER_WINNAME));
    AcceptResult r;
    u16 rc = accept_run(title, str_unquote(bound), ACC_COLLECT, &r);
    if (rc) return rc;
    if (!hook_slot) {
        i64 n = expr::expr_whole(expr::member_value(MEMBER_ACCEPT_PRC));
        if (n <= 0 || n >= HOOK_SLOTS) {
            return fail_with_detail(error_raise(M_SCREENS, E_DATA), expr::member_name(MEMBER_ACCEPT_PRC),
                                    false);
        }
        hook_slot = u16(n);
    }
    // Only a function stored as an accept hook is called: the slot's number may come from a
    // file, and another slot's function would be called with arguments it does not take.
    AcceptHook hook = hook_find<AcceptHook>(hook_slot);
    if (!hook && hook_get(hook_slot)) {
        return fail_with_detail(error_raise(M_SCREENS, E_DATA), expr::member_name(MEMBER_ACCEPT_PRC),
                                false);
    }
    return hook ? hook(r) : 0;
}

}  // namespace vx::scr
