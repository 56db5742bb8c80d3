// The chart window ("graphStat"): one numbered window per chart_show, nested when a chart is
// shown from inside another chart's loop. It runs its own loop until it is gone, erases with
// the chart's background, paints the chart at its client size, closes on Esc and offers
// Salir, Imprimir, Grabar and Copiar in a pop-up menu on a right click, Shift+F10 or the
// menu key; Ctrl+S saves, Ctrl+P prints and Ctrl+C copies. Hovering a point shows its
// label, series and value. Unattended it reads the file to write from the INPUT file and
// closes at once.
#include <algorithm>
#include <array>

#include "output/chart_internal.h"
#include "platform/gui.h"
#include "platform/window.h"
#include "runtime/arena.h"
#include "runtime/error.h"
#include "runtime/files.h"
#include "runtime/msg.h"
#include "runtime/msgbox.h"
#include "screens/dialogs.h"

namespace vx::out {

using namespace vx::rt;
namespace pf = vx::platform;
using pf::EvKind;

namespace {

constexpr u16 MSG_MENU = 130;  // "Salir,Imprimir,Grabar"
constexpr char COPY_LABEL[] = "Copiar";
constexpr char DETAIL_TOO_MANY[] = "Demasiadas ventanas de graficos";
constexpr int HIT_RADIUS = 8;  // pixels from a point at which its tooltip shows

// What a key does in the window besides the menu's commands.
enum WindowAction : u16 { ACT_CLOSE = 100, ACT_MENU = 101 };

struct KeyAction {
    int key;
    unsigned mods;  // exactly these held; ANY_MODS: whatever is held
    u16 action;     // a ChartCommand or a WindowAction
};
constexpr unsigned ANY_MODS = ~0u;
constexpr unsigned MODS_MASK = pf::MOD_SHIFT | pf::MOD_CTRL | pf::MOD_ALT;
constexpr int VK_F10 = pf::VK_F1 + 9;
constexpr KeyAction KEY_ACTIONS[] = {
    {pf::VK_ESCAPE, ANY_MODS, ACT_CLOSE},
    {pf::VK_A + ('S' - 'A'), pf::MOD_CTRL, CMD_SAVE},
    {pf::VK_A + ('P' - 'A'), pf::MOD_CTRL, CMD_PRINT},
    {pf::VK_A + ('C' - 'A'), pf::MOD_CTRL, CMD_COPY},
    {VK_F10, pf::MOD_SHIFT, ACT_MENU},
    {pf::VK_APPS, ANY_MODS, ACT_MENU},
};

struct ChartWin {
    scr::WinId win = 0;
    u16 number = 0;
    ChartDesc desc;
    ChartHit shown;  // the point whose tooltip shows
};

struct Charts {
    std::array<ChartWin*, CHART_NESTING_MAX> open{};
    u16 count = 0;
};

Charts st;

ChartWin* chart_of(scr::WinId w) {
    for (u16 i = 0; i < st.count; i++)
        if (st.open[i]->win == w) return st.open[i];
    return nullptr;
}

void forget(ChartWin* cw) {
    auto end = st.open.begin() + st.count;
    auto it = std::find(st.open.begin(), end, cw);
    if (it == end) return;
    std::copy(it + 1, end, it);
    st.open[--st.count] = nullptr;
}

// The menu entry's text n (from 1) of message 0130.
Str menu_item(u16 n) { return str_trim(list_item(msg_text_id(MSG_MENU), ',', n), TRIM_BOTH); }

// Client size now; the size asked for while the window system has none yet.
void client_size(const ChartWin& cw, int* w, int* h) {
    pf::Rect r = pf::window_client(cw.win);
    *w = r.w > 0 ? r.w : cw.desc.width;
    *h = r.h > 0 ? r.h : cw.desc.height;
}

void run_command(ChartWin& cw, u16 command) {
    u16 rc = chart_command(cw.win, command);
    if (rc >= FIRST_ERROR) error_show(rc);
}

void popup(ChartWin& cw, int x, int y) {
    TmpScope scope;
    pf::MenuHandle m = pf::menu_create(true);
    if (!m) return;
    for (u16 cmd : {CMD_EXIT, CMD_PRINT, CMD_SAVE}) pf::menu_add_entry(m, cmd, str_sv(menu_item(cmd)));
    pf::menu_add_separator(m);
    pf::menu_add_entry(m, CMD_COPY, COPY_LABEL);
    int chosen = pf::menu_popup(cw.win, m, x, y);
    pf::menu_destroy(m);
    if (chosen > 0) run_command(cw, u16(chosen));
}

// The pop-up menu opened from the keyboard stands in the middle of the plot.
void popup_from_keys(ChartWin& cw) {
    int w = 0, h = 0;
    client_size(cw, &w, &h);
    const PlotArea& a = cw.desc.area;
    bool drawn = a.right > a.left && a.bottom > a.top;
    popup(cw, drawn ? (a.left + a.right) / 2 : w / 2, drawn ? (a.top + a.bottom) / 2 : h / 2);
}

const KeyAction* key_action(const pf::Event& e) {
    for (const KeyAction& k : KEY_ACTIONS)
        if (k.key == e.key && (k.mods == ANY_MODS || k.mods == (e.mods & MODS_MASK))) return &k;
    return nullptr;
}

bool key_down(ChartWin& cw, const pf::Event& e) {
    const KeyAction* k = key_action(e);
    if (!k) return false;
    if (k->action == ACT_CLOSE) pf::window_close(e.win);
    else if (k->action == ACT_MENU) popup_from_keys(cw);
    else run_command(cw, k->action);
    return true;
}

void hover(ChartWin& cw, int x, int y) {
    ChartHit hit = chart_hit(cw.desc, x, y, HIT_RADIUS);
    bool same = hit.found == cw.shown.found && hit.series == cw.shown.series && hit.point == cw.shown.point;
    if (same) return;
    cw.shown = hit;
    if (!hit.found) {
        pf::window_tooltip(cw.win, x, y, "");
        return;
    }
    int px = chart_x(cw.desc, cw.desc.area, hit.series, hit.point);
    int py = chart_y(cw.desc, cw.desc.area, cw.desc.series[hit.series].y[hit.point]);
    pf::window_tooltip(cw.win, px, py, chart_point_text(cw.desc, hit.series, hit.point));
}

bool chart_event(void* user, const pf::Event& e) {
    auto* cw = static_cast<ChartWin*>(user);
    switch (e.kind) {
    case EvKind::Paint:
        if (e.canvas) chart_draw(cw->desc, *e.canvas, PaintMode::Window, CHART_FONT_PX);
        return true;
    case EvKind::KeyDown:
        return key_down(*cw, e);
    case EvKind::RightClick:
        popup(*cw, e.x, e.y);
        return true;
    case EvKind::MouseMove:
        hover(*cw, e.x, e.y);
        return true;
    case EvKind::Destroy:
        pf::gui_loop_wake();
        return false;
    default:
        return false;
    }
}

bool window_gone(void* data) { return !pf::window_exists(static_cast<ChartWin*>(data)->win); }

u16 open_window(ChartWin& cw) {
    pf::WinSpec spec;
    spec.style = pf::WinStyle::Overlapped;
    spec.title = cw.desc.title;
    spec.class_name = CHART_CLASS;
    spec.width = cw.desc.width;
    spec.height = cw.desc.height;
    spec.owner = scr::window_top();
    cw.win = pf::window_create(spec, chart_event, &cw);
    if (!cw.win) return error_raise(M_DEVICES, E_WINCONTROL);
    if (cw.desc.style == ChartStyle::Modern) pf::window_set_background(cw.win, {255, 255, 255});
    else if ((cw.desc.flags & CHART_BG_MASK) != CHART_BG_WINDOW)
        pf::window_set_background(cw.win, chart_background(cw.desc.flags));
    pf::window_track_mouse(cw.win, true);
    pf::window_show(cw.win, true);
    pf::window_activate(cw.win);
    return 0;
}

// The format of a name by its extension; PNG, with ".png" added, for a name without one.
ChartFormat format_for(Str path, std::string* target) {
    ChartFormat f = ChartFormat::Png;
    chart_format_of(path, &f);
    *target = chart_path_with_ext(str_sv(path), f);
    return f;
}

// Unattended: the next INPUT line names the file to write, written out under the title.
u16 answer_from_input(ChartWin& cw) {
    TmpScope scope;
    scr::pump();
    Str line = str_trim(input_next_line(), TRIM_BOTH);
    if (!line.ok()) line = str_empty();
    msg_box(line, sv_str(cw.desc.title), BOX_INFO);
    u16 rc = 0;
    if (line.n && !str_equal(line, str_from_cstr(scr::ANSWER_ESC))) {
        std::string target;
        ChartFormat f = format_for(line, &target);
        rc = chart_export(cw.win, sv_str(target), f);
    }
    pf::window_close(cw.win);
    return rc;
}

// Printed as a document named by the chart's title; sizes grow with the page as the page's
// width stands to the window's.
u16 print_chart(ChartWin& cw) {
    TmpScope scope;
    std::string name = chart_file_stem(cw.desc);
    pf::PrintJob* job = scr::ask_printer(sv_str(name), true);
    if (!job) return 0;  // no printer: nothing to do
    pf::Canvas* page = pf::print_canvas(job);
    int w = 0, h = 0;
    client_size(cw, &w, &h);
    double zoom = page && w > 0 ? std::max(1.0, double(page->width()) / w) : 1.0;
    ChartDesc copy = cw.desc;  // the window keeps its own geometry for the mouse
    if (page) chart_draw(copy, *page, PaintMode::Print, int(CHART_FONT_PX * zoom), zoom);
    if (!pf::print_end(job)) return error_raise(M_DEVICES, E_DEVICEIO);
    return 0;
}

// The filter chosen decides the format and gives the extension; unattended, the answer's
// extension does.
u16 save_chart(ChartWin& cw) {
    TmpScope scope;
    std::string initial = chart_file_stem(cw.desc) + chart_format_ext(ChartFormat::Png);
    u16 chosen = 0;
    Str path = scr::ask_file(true, menu_item(CMD_SAVE), str_empty(), sv_str(initial), chart_save_filters(), &chosen);
    if (!path.ok() || !path.n) return E_CANCELLED;
    std::string target;
    ChartFormat f = format_for(path, &target);
    if (chosen >= 1 && chosen <= CHART_FORMATS) {
        f = ChartFormat(chosen - 1);
        target = chart_path_with_ext(str_sv(path), f);
    }
    return chart_export(cw.win, sv_str(target), f);
}

u16 copy_chart(ChartWin& cw) {
    int w = 0, h = 0;
    client_size(cw, &w, &h);
    return chart_copy(cw.desc, w, h);
}

}  // namespace

u16 chart_show(Str title, Str legend, Str options, Str labels, Str series, u16 flags,
               i32 points) {
    if (st.count >= CHART_NESTING_MAX) {
        error_raise(M_DEVICES, E_DATAOUTBOUND);
        return fail_with_detail(E_DATAOUTBOUND, S(DETAIL_TOO_MANY), false);
    }
    ChartWin cw;
    if (u16 rc = chart_describe(title, legend, options, labels, series, flags, points, &cw.desc))
        return rc;
    cw.desc.style = chart_style_setting();
    cw.desc.subtitle = chart_limits_text();
    if (u16 rc = open_window(cw)) return rc;
    st.open[st.count++] = &cw;
    cw.number = st.count;
    u16 rc = 0;
    if (scr::unattended()) rc = answer_from_input(cw);
    else pf::gui_loop(window_gone, &cw);
    if (pf::window_exists(cw.win)) pf::window_destroy(cw.win);
    forget(&cw);
    scr::pump();
    return rc;
}

u16 chart_window_count() { return st.count; }

scr::WinId chart_window(u16 number) {
    return number >= 1 && number <= st.count ? st.open[number - 1]->win : 0;
}

const ChartDesc* chart_window_desc(scr::WinId w) {
    ChartWin* cw = chart_of(w);
    return cw ? &cw->desc : nullptr;
}

u16 chart_command(scr::WinId w, u16 command) {
    ChartWin* cw = chart_of(w);
    if (!cw) return E_DATA;
    switch (command) {
    case CMD_EXIT: pf::window_close(w); return 0;
    case CMD_PRINT: return print_chart(*cw);
    case CMD_SAVE: return save_chart(*cw);
    case CMD_COPY: return copy_chart(*cw);
    default: return E_DATA;
    }
}

u16 chart_save_image(scr::WinId w, Str path, const char* format) {
    bool bmp = format && str_equal_nocase(str_from_cstr(format), S("BMP"));
    return chart_export(w, path, bmp ? ChartFormat::Bmp : ChartFormat::Png);
}

u16 chart_export(scr::WinId w, Str path, ChartFormat format) {
    ChartWin* cw = chart_of(w);
    if (!cw) return E_DATA;
    int width = 0, height = 0;
    client_size(*cw, &width, &height);
    return chart_write(cw->desc, width, height, path, format);
}

}  // namespace vx::out
