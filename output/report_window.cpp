// The report window ("ReportWin", class "Report"): the text a report collected on the
// screen device, in a scrolling read-only control below a row of buttons (the items of
// entry 9 of list 0, else "Cancelar"). A button leaves its number - 3000 in _CUREDFLD and
// closes the window; Escape closes it. The main window is disabled while it is open.
// Unattended, the text goes to the OUTPUT file and the window, which nobody would read, is
// made without it and closes at once.
#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "output/device_impl.h"
#include "output/report_internal.h"
#include "platform/gui.h"
#include "platform/window.h"
#include "runtime/arena.h"
#include "runtime/env.h"
#include "runtime/error.h"
#include "runtime/msg.h"
#include "runtime/sysvars.h"
#include "screens/mainwin.h"

namespace vx::out {

using namespace vx::rt;
namespace pf = vx::platform;
using pf::EvKind;

namespace {

constexpr u16 MSG_CANCEL = 20;  // "Cancelar"
constexpr int FONT_PX = 14;
constexpr char FONT_FACE[] = "DejaVu Sans Mono";
constexpr int MARGIN = 6;
constexpr int BUTTON_H = 26;
constexpr int BUTTON_PAD_CHARS = 4;
constexpr int BUTTON_MIN_W = 80;
constexpr int COLS_MIN = 80, COLS_MAX = 132;
constexpr int ROWS_SHOWN = 30;
constexpr int SCROLLBAR_PX = 24;  // room for the control's frame and scroll bar
constexpr u16 BUTTONS_MAX = 32;

struct ReportWin {
    pf::WinHandle win = pf::NO_WINDOW;
};
ReportWin* open_window = nullptr;

// The collected text, refused when it is longer than the window shows; with no text asked
// for, only its size is checked.
u16 read_collected(Str path, std::string* text) {
    std::ifstream in(std::string(str_sv(path)), std::ios::binary);
    if (!in) return device_fail(E_DISKIO, std::string(str_sv(path)));
    in.seekg(0, std::ios::end);
    std::streamoff size = in.tellg();
    if (size < 0) return device_fail(E_DISKIO, std::string(str_sv(path)));
    if (size > std::streamoff(REPORT_TEXT_MAX)) {
        error_raise(M_DEVICES, E_STRINGTOOLONG);
        return fail_with_detail(E_STRINGTOOLONG, path, false);
    }
    if (!text) return 0;
    in.seekg(0);
    text->resize(std::size_t(size));
    in.read(text->data(), size);
    return 0;
}

// Lines end with a line feed alone in the control.
std::string shown_text(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (c != '\r') out.push_back(c);
    return out;
}

std::vector<std::string> button_labels() {
    TmpScope scope;
    Str items = env_get(ENV_REPORT);
    std::vector<std::string> labels;
    for (u16 k = 1, n = std::min<u16>(list_count(items, ','), BUTTONS_MAX); k <= n; k++) {
        Str item = str_trim(str_unquote(str_trim(list_item(items, ',', k), TRIM_BOTH)), TRIM_BOTH);
        labels.emplace_back(str_sv(item));
    }
    if (labels.empty()) labels.emplace_back(str_sv(msg_text_id(MSG_CANCEL)));
    return labels;
}

bool window_event(void* user, const pf::Event& e) {
    auto* rw = static_cast<ReportWin*>(user);
    switch (e.kind) {
        case EvKind::Command:
            if (e.ctl >= WINDOW_BUTTON_BASE && e.ctl < WINDOW_BUTTON_BASE + BUTTONS_MAX) {
                sysint_set(SV_CUREDFLD, i16(e.ctl - WINDOW_BUTTON_BASE));
                pf::window_close(rw->win);
                return true;
            }
            return false;
        case EvKind::KeyDown:
            if (e.key != pf::VK_ESCAPE) return false;
            pf::window_close(rw->win);
            return true;
        case EvKind::Destroy:
            pf::gui_loop_wake();
            return false;
        default:
            return false;
    }
}

bool window_gone(void* data) {
    return !pf::window_exists(static_cast<ReportWin*>(data)->win);
}

int longest_line(const std::string& text) {
    int longest = 0, now = 0;
    for (char c : text) {
        now = c == '\n' ? 0 : now + 1;
        longest = std::max(longest, now);
    }
    return longest;
}

u16 make_window(ReportWin& rw, const std::string& text) {
    pf::FontSpec font;
    font.height = FONT_PX;
    font.face = FONT_FACE;
    pf::FontInfo fi = pf::font_info(font);
    int cw = std::max(fi.char_width, 1), lh = std::max(fi.height, 1);
    pf::Rect work = pf::work_area();
    int cols = std::clamp(longest_line(text), COLS_MIN, COLS_MAX);
    int width =
        std::min(cols * cw + SCROLLBAR_PX + 2 * MARGIN, std::max(work.w - 2 * MARGIN, COLS_MIN));
    int text_h =
        std::min(ROWS_SHOWN * lh + SCROLLBAR_PX, std::max(work.h - BUTTON_H - 6 * MARGIN, lh));
    pf::WinSpec spec;
    spec.style = pf::WinStyle::Captioned;
    spec.title = REPORT_WINDOW;
    spec.class_name = REPORT_CLASS;
    spec.width = width;
    spec.height = text_h + BUTTON_H + 3 * MARGIN;
    spec.owner = scr::window_top();
    rw.win = pf::window_create(spec, window_event, &rw);
    if (!rw.win) return error_raise(M_DEVICES, E_WINCONTROL);
    pf::window_set_font(rw.win, font);
    int x = MARGIN, id = WINDOW_BUTTON_BASE;
    for (const std::string& label : button_labels()) {
        pf::CtlSpec b;
        b.kind = pf::CtlKind::Button;
        b.id = id++;
        b.text = label;
        b.at = {x, MARGIN, std::max(BUTTON_MIN_W, int(label.size() + BUTTON_PAD_CHARS) * cw),
                BUTTON_H};
        b.flags = pf::CF_EVENTS | (b.id == WINDOW_BUTTON_BASE ? pf::CF_DEFAULT : 0u);
        pf::control_create(rw.win, b);
        x += b.at.w + MARGIN;
    }
    pf::CtlSpec t;
    t.kind = pf::CtlKind::Text;
    t.id = REPORT_TEXT_ID;
    t.text = text;
    t.flags = pf::CF_READONLY | pf::CF_EVENTS;
    t.at = {MARGIN, BUTTON_H + 2 * MARGIN, width - 2 * MARGIN, text_h};
    pf::control_create(rw.win, t);
    pf::window_show(rw.win, true);
    pf::window_activate(rw.win);
    pf::control_focus(rw.win, REPORT_TEXT_ID);
    return 0;
}

}  // namespace

scr::WinId report_window() {
    return open_window ? open_window->win : pf::NO_WINDOW;
}

u16 report_window_show(Str collection_file) {
    bool unattended = scr::unattended();
    std::string collected;
    if (u16 rc = read_collected(collection_file, unattended ? nullptr : &collected)) return rc;
    if (unattended) {
        if (u16 rc = screen_write_out(std::string(str_sv(collection_file)))) return rc;
    }
    ReportWin rw;
    if (u16 rc = make_window(rw, shown_text(collected))) return rc;
    ReportWin* outer = open_window;
    open_window = &rw;
    scr::WinId main = scr::main_window();
    bool main_was_enabled = main && pf::window_enabled(main);
    if (main_was_enabled) pf::window_enable(main, false);
    if (unattended) {
        scr::pump();
        pf::window_close(rw.win);
    } else {
        pf::gui_loop(window_gone, &rw);
    }
    if (pf::window_exists(rw.win)) pf::window_destroy(rw.win);
    if (main_was_enabled) {
        pf::window_enable(main, true);
        pf::window_activate(main);
    }
    open_window = outer;
    scr::pump();
    return 0;
}

}  // namespace vx::out
