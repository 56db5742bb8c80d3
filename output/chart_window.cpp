// The chart window ("graphStat"): one numbered window per chart_show, nested when a chart is
// shown from inside another chart's loop. It runs its own loop until it is gone, erases with
// the chart's background, paints the chart at its client size, closes on Esc and offers
// Salir, Imprimir and Grabar in a pop-up menu on a right click. Unattended it reads the
// image file to write from the INPUT file and closes at once.
#include <algorithm>
#include <array>

#include "output/chart.h"
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
constexpr char SAVE_FILTERS[] = "PNG (*.png),*.png,BMP (*.bmp),*.bmp";
constexpr char SAVE_INITIAL[] = "*.png";
constexpr char BMP_EXTENSION[] = ".bmp";
constexpr char DETAIL_TOO_MANY[] = "Demasiadas ventanas de graficos";

struct ChartWin {
    scr::WinId win = 0;
    u16 number = 0;
    ChartDesc desc;
};

struct Charts {
    std::array<ChartWin*, CHART_NESTING_MAX> open{};
    u16 count = 0;
};

Charts st;

std::string_view view(Str s) { return s.ok() ? std::string_view(s.p, s.n) : std::string_view(); }

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

// "BMP" for a name ending in ".bmp" (any case), else "PNG".
const char* image_format(Str path) {
    Str ext = S(BMP_EXTENSION);
    bool bmp = path.n >= ext.n && str_equal_nocase(str_substr(path, path.n - ext.n, ext.n), ext);
    return bmp ? "BMP" : "PNG";
}

Str text_of(const std::string& s) { return str_view(s.data(), u16(std::min<size_t>(s.size(), MAX_STR))); }

// Client size now; the size asked for while the window system has none yet.
void client_size(const ChartWin& cw, int* w, int* h) {
    pf::Rect r = pf::window_client(cw.win);
    *w = r.w > 0 ? r.w : cw.desc.width;
    *h = r.h > 0 ? r.h : cw.desc.height;
}

void popup(ChartWin& cw, int x, int y) {
    TmpScope scope;
    pf::MenuHandle m = pf::menu_create(true);
    if (!m) return;
    for (u16 cmd : {CMD_EXIT, CMD_PRINT, CMD_SAVE}) pf::menu_add_entry(m, cmd, view(menu_item(cmd)));
    int chosen = pf::menu_popup(cw.win, m, x, y);
    pf::menu_destroy(m);
    if (chosen <= 0) return;
    u16 rc = chart_command(cw.win, u16(chosen));
    if (rc >= FIRST_ERROR) error_show(rc);
}

bool chart_event(void* user, const pf::Event& e) {
    auto* cw = static_cast<ChartWin*>(user);
    switch (e.kind) {
    case EvKind::Paint:
        if (e.canvas) chart_draw(cw->desc, *e.canvas, PaintMode::Window, CHART_FONT_PX);
        return true;
    case EvKind::KeyDown:
        if (e.key != pf::VK_ESCAPE) return false;
        pf::window_close(e.win);
        return true;
    case EvKind::RightClick:
        popup(*cw, e.x, e.y);
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
    if ((cw.desc.flags & CHART_BG_MASK) != CHART_BG_WINDOW)
        pf::window_set_background(cw.win, chart_background(cw.desc.flags));
    pf::window_show(cw.win, true);
    pf::window_activate(cw.win);
    return 0;
}

// Unattended: the next INPUT line names the image to write, written out under the title.
u16 answer_from_input(ChartWin& cw) {
    TmpScope scope;
    scr::pump();
    Str line = str_trim(input_next_line(), TRIM_BOTH);
    if (!line.ok()) line = str_empty();
    msg_box(line, text_of(cw.desc.title), BOX_INFO);
    u16 rc = 0;
    if (line.n && !str_equal(line, str_from_cstr(scr::ANSWER_ESC))) rc = chart_save_image(cw.win, line, image_format(line));
    pf::window_close(cw.win);
    return rc;
}

u16 print_chart(ChartWin& cw) {
    TmpScope scope;
    scr::WinId current = scr::window_top();
    std::string name = current ? pf::window_title(current) : cw.desc.title;
    pf::PrintJob* job = scr::ask_printer(text_of(name), true);
    if (!job) return 0;  // no printer: nothing to do
    pf::Canvas* page = pf::print_canvas(job);
    int w = 0, h = 0;
    client_size(cw, &w, &h);
    int font = page && w > 0 ? int(std::max<i64>(CHART_FONT_PX, i64(CHART_FONT_PX) * page->width() / w))
                             : CHART_FONT_PX;
    if (page) chart_draw(cw.desc, *page, PaintMode::Print, font);
    if (!pf::print_end(job)) return error_raise(M_DEVICES, E_DEVICEIO);
    return 0;
}

u16 save_chart(ChartWin& cw) {
    TmpScope scope;
    Str path = scr::ask_file(true, menu_item(CMD_SAVE), str_empty(), S(SAVE_INITIAL), S(SAVE_FILTERS));
    if (!path.ok() || !path.n) return E_CANCELLED;
    return chart_save_image(cw.win, path, image_format(path));
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

u16 chart_command(scr::WinId w, u16 command) {
    ChartWin* cw = chart_of(w);
    if (!cw) return E_DATA;
    switch (command) {
    case CMD_EXIT: pf::window_close(w); return 0;
    case CMD_PRINT: return print_chart(*cw);
    case CMD_SAVE: return save_chart(*cw);
    default: return E_DATA;
    }
}

u16 chart_save_image(scr::WinId w, Str path, const char* format) {
    ChartWin* cw = chart_of(w);
    if (!cw) return E_DATA;
    TmpScope scope;
    int width = 0, height = 0;
    client_size(*cw, &width, &height);
    pf::Canvas* image = pf::image_open(width, height, chart_background(cw->desc.flags));
    bool ok = image != nullptr;
    if (ok) chart_draw(cw->desc, *image, PaintMode::Image, CHART_FONT_PX);
    ok = ok && pf::image_save(image, str_to_cstr(path), format);
    pf::image_close(image);
    if (ok) return 0;
    error_raise(M_DEVICES, E_FILEIO);
    return fail_with_detail(E_FILEIO, path, false);
}

}  // namespace vx::out
