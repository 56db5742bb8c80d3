// The device selection: a dialog with the list of devices, the serial speed and line setting,
// the lines, width, step and show fields (enabled by a mask per device) and the printer
// configuration of the printer ports; the composition of the device text from the choice;
// and the answer from an input file or, unattended, from nobody.
#include <algorithm>
#include <iterator>

#include "output/devsel.h"
#include "platform/os.h"
#include "runtime/arena.h"
#include "runtime/error.h"
#include "runtime/files.h"
#include "runtime/msg.h"
#include "runtime/msgbox.h"
#include "runtime/store.h"
#include "runtime/sysvars.h"
#include "screens/accept.h"
#include "screens/dialogs.h"
#include "screens/filesel.h"
#include "screens/window.h"

namespace vx::out {

using namespace vx::rt;
namespace pf = vx::platform;
using pf::EvKind;

namespace {

enum DevselMsg : u16 {
    MSG_TITLE = 82,     // "Selección de Dispositivo"
    MSG_LABELS = 83,    // "Vel.:,Paridad:,Lineas:,Ancho:,Paso:,Mostrar"
    MSG_NOTHING = 84,   // "No se ha seleccionado nada"
    MSG_CANCEL = 20,    // "Cancelar"
};

constexpr const char* SPEEDS = "9600,4800,2400,1200";
constexpr const char* LINE_SETTINGS = "'N,8,1','N,7,1','O,8,1','O,7,1','N,8,2','N,7,2','O,8,2','O,7,2'";
constexpr const char* OPTION_TAGS[] = {" /LP:", " /WD:", " /ST:", " /VW:"};
constexpr const char* CLASS_NAME = "DevSel";
constexpr const char* CONFIG_TEXT = "Lpt Config";
constexpr const char* OK_TEXT = "OK";
constexpr const char* DEV_FORM = "'':'A50'";
constexpr u16 GRID_W = 40, GRID_H = 14;

// The fields of the dialog: what each device enables.
struct DeviceMask {
    const char* name;
    u8 mask;
    u16 file_kind;  // save dialog kind for the names replaced by a file, else 0
    const char* ext;
};
constexpr u8 M_PAGE = MASK_LINES | MASK_WIDTH | MASK_STEP;
constexpr u8 M_SERIAL = MASK_SPEED | MASK_LINESET | M_PAGE;
constexpr DeviceMask MASKS[] = {
    {"CON", M_PAGE, 0, nullptr},      {"LPT1", M_PAGE, 0, nullptr},
    {"LPT2", M_PAGE, 0, nullptr},     {"LPT3", M_PAGE, 0, nullptr},
    {"LPT4", M_PAGE, 0, nullptr},     {"LPT5", M_PAGE, 0, nullptr},
    {"LPT6", M_PAGE, 0, nullptr},     {"PDF", M_PAGE | MASK_SHOW, 7, ".pdf"},
    {"TXT", M_PAGE | MASK_SHOW, 8, ".txt"}, {"COM1:", M_SERIAL, 0, nullptr},
    {"COM2:", M_SERIAL, 0, nullptr},  {"DEV", 0, 0, nullptr},
    {"WINPRN", 0, 0, nullptr},
};

// Controls and their fields of the choice, in the order of the labels of message 0083.
struct FieldCtl {
    int id;
    u8 mask;
    u16 row;
    pf::CtlKind kind;
    u16 cells;
};
constexpr FieldCtl FIELDS[] = {
    {DEVSEL_SPEED, MASK_SPEED, 0, pf::CtlKind::ComboBox, 10},
    {DEVSEL_LINESET, MASK_LINESET, 1, pf::CtlKind::ComboBox, 10},
    {DEVSEL_LINES, MASK_LINES, 2, pf::CtlKind::Edit, 5},
    {DEVSEL_WIDTH, MASK_WIDTH, 3, pf::CtlKind::Edit, 5},
    {DEVSEL_STEP, MASK_STEP, 4, pf::CtlKind::Edit, 5},
    {DEVSEL_SHOW, MASK_SHOW, 5, pf::CtlKind::Edit, 2},
};
constexpr u16 LABEL_COL = 15, LABEL_CELLS = 9, FIELD_COL = 25, LIST_COL = 1, LIST_CELLS = 12;
constexpr u16 LIST_ROWS = 12, CONFIG_ROW = 7, BUTTON_ROW = 11;

struct Dialog {
    scr::WinId win = 0;
    bool accepted = false;
    DeviceChoice choice;
};

std::string_view view(Str s) { return s.ok() ? std::string_view(s.p, s.n) : std::string_view(); }
Str str_of(const std::string& s) { return str_view(s.data(), u16(std::min<size_t>(s.size(), MAX_STR))); }

const DeviceMask* mask_of(const std::string& name) {
    for (const DeviceMask& m : MASKS)
        if (name == m.name) return &m;
    return nullptr;
}

std::string first_letter_of_yes() {
    Str yes = list_item(msg_text_id(MSG_ANSWERS), ',', 1);
    return yes.ok() && yes.n ? std::string(1, yes.p[0]) : std::string("S");
}

// A new empty file of that extension in the folder of temporary output.
std::string temp_file(const char* ext) {
    std::string dir = temp_folder();
    std::string made = os::make_temp_file(dir.c_str(), ext);
    return made.empty() ? std::string() : dir + "/" + made;
}

// The typed device of DEV: a form of one 'A50' field.
std::string ask_typed_device() {
    TmpScope scope;
    scr::AcceptResult r;
    if (scr::accept_run(msg_text_id(MSG_TITLE), str_from_cstr(DEV_FORM), scr::ACC_COLLECT, &r)) return {};
    Str typed = scr::accept_value(1);
    return std::string(view(str_trim(typed, TRIM_BOTH)));
}

// ---- The dialog ----

// A rectangle of whole cells, half a cell below the top edge.
pf::Rect cell_rect(u16 row, u16 col, u16 cells, u16 rows = 1) {
    scr::CellSize c = scr::cell_size();
    return pf::Rect{scr::grid_to_x(col), scr::grid_to_y(row) + c.h / 2, cells * c.w, rows * c.h};
}

bool add_control(scr::WinId w, pf::CtlKind kind, int id, pf::Rect at, std::string_view text, unsigned flags = 0) {
    pf::CtlSpec s;
    s.kind = kind;
    s.id = id;
    s.at = at;
    s.text = text;
    s.flags = flags;
    return pf::control_create(w, s);
}

void fill_list(scr::WinId w, int id, const char* items) {
    TmpScope scope;
    Str list = str_from_cstr(items);
    u16 n = list_count(list, ',');
    for (u16 i = 1; i <= n; i++) pf::list_add(w, id, view(str_unquote(list_item(list, ',', i))));
}

int index_in(const char* items, const std::string& item) {
    TmpScope scope;
    Str list = str_from_cstr(items);
    u16 n = list_count(list, ',');
    for (u16 i = 1; i <= n; i++)
        if (view(str_unquote(list_item(list, ',', i))) == item) return i - 1;
    return -1;
}

void enable_fields(const Dialog& dlg) {
    int at = pf::list_current(dlg.win, DEVSEL_DEVICES);
    std::string name = at >= 0 ? pf::list_item(dlg.win, DEVSEL_DEVICES, at) : std::string();
    const DeviceMask* m = mask_of(name);
    u8 mask = m ? m->mask : 0;
    for (const FieldCtl& f : FIELDS) pf::control_enable(dlg.win, f.id, (mask & f.mask) != 0);
    pf::control_enable(dlg.win, DEVSEL_CONFIG, device_printer_number(str_of(name)) != 0);
}

bool make_controls(Dialog& dlg) {
    scr::WinId w = dlg.win;
    bool ok = add_control(w, pf::CtlKind::ListBox, DEVSEL_DEVICES, cell_rect(0, LIST_COL, LIST_CELLS, LIST_ROWS), {},
                          pf::CF_EVENTS);
    Str labels = msg_text_id(MSG_LABELS);
    for (u16 i = 0; i < std::size(FIELDS); i++) {
        const FieldCtl& f = FIELDS[i];
        ok = ok && add_control(w, pf::CtlKind::Label, DEVSEL_LABEL_BASE + i, cell_rect(f.row, LABEL_COL, LABEL_CELLS),
                               view(str_trim(list_item(labels, ',', u16(i + 1)), TRIM_BOTH)));
        ok = ok && add_control(w, f.kind, f.id, cell_rect(f.row, FIELD_COL, f.cells), {});
    }
    ok = ok && add_control(w, pf::CtlKind::Button, DEVSEL_CONFIG, cell_rect(CONFIG_ROW, LABEL_COL, 12), CONFIG_TEXT);
    ok = ok && add_control(w, pf::CtlKind::Button, DEVSEL_OK, cell_rect(BUTTON_ROW, LABEL_COL, 8), OK_TEXT,
                           pf::CF_DEFAULT);
    ok = ok && add_control(w, pf::CtlKind::Button, DEVSEL_CANCEL, cell_rect(BUTTON_ROW, FIELD_COL, 10),
                           view(msg_text_id(MSG_CANCEL)));
    if (!ok) return false;
    fill_list(w, DEVSEL_DEVICES, DEVICE_CHOICES);
    fill_list(w, DEVSEL_SPEED, SPEEDS);
    fill_list(w, DEVSEL_LINESET, LINE_SETTINGS);
    return true;
}

// The dialog starts from the current device text.
void show_current(Dialog& dlg, Str current) {
    TmpScope scope;
    scr::WinId w = dlg.win;
    Str name = device_name(current);
    std::string n(view(name));
    u16 colon = str_find_char(name, 0, ':', PLAIN);
    std::string listed = colon != NOT_FOUND ? n.substr(0, colon + 1u) : n;
    u8 kind = device_kind(name);
    if (kind & DEV_PDF) listed = "PDF";
    if (!name.n) listed = "CON";  // no device is the screen
    int at = index_in(DEVICE_CHOICES, listed);
    if (at < 0 && name.n && kind == (DEV_FILE | DEV_ALWAYS)) at = index_in(DEVICE_CHOICES, "TXT");
    pf::list_set_current(w, DEVSEL_DEVICES, at);
    SerialParams sp;
    bool serial = colon != NOT_FOUND && !serial_params(name, &sp);
    int speed = serial ? index_in(SPEEDS, std::to_string(sp.speed)) : -1;
    int setting = serial ? index_in(LINE_SETTINGS, std::string(1, sp.parity) + "," + std::to_string(sp.data_bits) +
                                                       "," + std::to_string(sp.stop_bits))
                         : -1;
    pf::list_set_current(w, DEVSEL_SPEED, std::max(speed, 0));
    pf::list_set_current(w, DEVSEL_LINESET, std::max(setting, 0));
    const char* keys[] = {"LP", "WD", "ST"};
    const int ids[] = {DEVSEL_LINES, DEVSEL_WIDTH, DEVSEL_STEP};
    for (u16 i = 0; i < 3; i++) pf::control_set_text(w, ids[i], view(opt_value(current, str_from_cstr(keys[i]), 0)));
    Str vw = opt_value(current, S("VW"), 0);
    pf::control_set_text(w, DEVSEL_SHOW, vw.ok() && vw.n ? view(vw) : first_letter_of_yes());
    enable_fields(dlg);
}

void read_choice(Dialog& dlg) {
    scr::WinId w = dlg.win;
    DeviceChoice& c = dlg.choice;
    int at = pf::list_current(w, DEVSEL_DEVICES);
    c.name = at >= 0 ? pf::list_item(w, DEVSEL_DEVICES, at) : std::string();
    const DeviceMask* m = mask_of(c.name);
    c.mask = m ? m->mask : 0;
    c.speed = pf::list_item(w, DEVSEL_SPEED, std::max(0, pf::list_current(w, DEVSEL_SPEED)));
    c.line_setting = pf::list_item(w, DEVSEL_LINESET, std::max(0, pf::list_current(w, DEVSEL_LINESET)));
    c.lines = pf::control_text(w, DEVSEL_LINES);
    c.width = pf::control_text(w, DEVSEL_WIDTH);
    c.step = pf::control_text(w, DEVSEL_STEP);
    c.show = pf::control_text(w, DEVSEL_SHOW);
}

void accept(Dialog& dlg) {
    if (pf::list_current(dlg.win, DEVSEL_DEVICES) < 0) {
        msg_box(msg_text_id(MSG_NOTHING), msg_text_id(MSG_TITLE), BOX_WARNING);
        return;
    }
    read_choice(dlg);
    dlg.accepted = true;
    scr::window_destroy_id(dlg.win);
}

void configure(Dialog& dlg) {
    int at = pf::list_current(dlg.win, DEVSEL_DEVICES);
    std::string name = at >= 0 ? pf::list_item(dlg.win, DEVSEL_DEVICES, at) : std::string();
    u16 n = device_printer_number(str_of(name));
    if (!n) return;
    if (u16 rc = printer_configure(n); rc >= FIRST_ERROR) error_show(rc);
}

bool on_command(Dialog& dlg, const pf::Event& e) {
    switch (e.ctl) {
    case DEVSEL_DEVICES:
        if (e.code == pf::NOTIFY_DBLCLK) accept(dlg);
        else if (e.code == pf::NOTIFY_SELCHANGE) enable_fields(dlg);
        return true;
    case DEVSEL_OK: accept(dlg); return true;
    case DEVSEL_CANCEL: scr::window_destroy_id(dlg.win); return true;
    case DEVSEL_CONFIG: configure(dlg); return true;
    default: return false;
    }
}

bool devsel_proc(const pf::Event& e, void* data) {
    Dialog& dlg = *static_cast<Dialog*>(data);
    switch (e.kind) {
    case EvKind::Command:
        return on_command(dlg, e);
    case EvKind::KeyDown:
        if (e.key != pf::VK_RETURN) return false;
        accept(dlg);
        return true;
    default:
        return false;
    }
}

// The dialog's answer: the choice, or nothing when it was cancelled.
bool run_dialog(Str current, DeviceChoice* out) {
    Dialog dlg;
    scr::WindowSpec spec;
    spec.kind = scr::KIND_DEVSEL;
    spec.title = msg_text_id(MSG_TITLE);
    spec.class_name = str_from_cstr(CLASS_NAME);
    spec.cols = GRID_W;
    spec.rows = GRID_H;
    spec.proc = devsel_proc;
    spec.data = &dlg;
    if (scr::window_create(spec, &dlg.win)) return false;
    if (!make_controls(dlg)) {
        scr::window_destroy_id(dlg.win);
        error_raise(M_DEVICES, E_WINCONTROL);
        return false;
    }
    show_current(dlg, current);
    pf::control_focus(dlg.win, DEVSEL_DEVICES);
    scr::run_loop(dlg.win);
    if (scr::window_on_stack(dlg.win)) scr::window_destroy_id(dlg.win);
    *out = dlg.choice;
    return dlg.accepted;
}

bool input_attached() {
    u16 h = u16(sysint_get(SV_INHND));
    return h != 0 && !file_at_end(h);
}

Str keep_choice(const std::string& text) {
    Str s = str_of(text);
    store_set(DEVICE_LIST, DEVICE_CHOSEN_ENTRY, s);
    return str_copy(s);
}

}  // namespace

std::string device_compose(const DeviceChoice& c) {
    if (c.name == "DEV") return ask_typed_device();
    std::string text = c.name;
    if (c.mask & MASK_SPEED) {
        TmpScope scope;
        text += c.speed + "," + std::string(view(str_unquote(str_of(c.line_setting))));
    }
    const DeviceMask* m = mask_of(c.name);
    if (m && m->file_kind) {
        bool show = (c.mask & MASK_SHOW) && yes_letter(str_of(c.show));
        if (show) {
            text = temp_file(m->ext);
        } else {
            TmpScope scope;
            Str chosen = scr::file_dialog(true, u16(m->file_kind | scr::FD_KEEP_FOLDER));
            text.assign(view(chosen));
        }
        if (text.empty()) return {};
    }
    const std::string* values[] = {&c.lines, &c.width, &c.step, &c.show};
    const u8 masks[] = {MASK_LINES, MASK_WIDTH, MASK_STEP, MASK_SHOW};
    for (u16 i = 0; i < 4; i++) {
        std::string v = *values[i];
        v.erase(0, v.find_first_not_of(" \t"));
        v.erase(v.find_last_not_of(" \t") + 1);
        if ((c.mask & masks[i]) && !v.empty()) text += OPTION_TAGS[i] + v;
    }
    return text;
}

Str device_select(Str current) {
    TmpScope scope;
    sysint_or(SV_SYSCOMPAT, SYSCOMPAT_SYSTEM_PRINTERS);
    Str title = msg_text_id(MSG_TITLE);
    if (input_attached() || scr::unattended()) {
        Str line = str_trim(input_next_line(), TRIM_BOTH);
        if (!line.ok()) line = str_empty();
        if (scr::unattended()) msg_box(line, title, BOX_INFO);  // written out: "[title] line"
        if (str_equal(line, str_from_cstr(scr::ANSWER_ESC))) line = str_empty();
        return scope.keep(keep_choice(std::string(view(line))));
    }
    DeviceChoice choice;
    std::string text = run_dialog(current.ok() ? current : str_empty(), &choice) ? device_compose(choice) : "";
    return scope.keep(keep_choice(text));
}

}  // namespace vx::out
