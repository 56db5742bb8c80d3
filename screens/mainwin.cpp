// The main window: its menu bar (built from the menu file through a sink on the window
// system's menus), caption and logo, the main events and the closing rule.
#include "screens/mainwin.h"

#include <algorithm>
#include <iterator>
#include <string>

#include "expr/dates.h"
#include "platform/gui.h"
#include "runtime/arena.h"
#include "runtime/env.h"
#include "runtime/error.h"
#include "runtime/menu.h"
#include "runtime/msg.h"
#include "runtime/msgbox.h"
#include "runtime/paths.h"
#include "runtime/sysvars.h"
#include "runtime/tasks.h"
#include "screens/screen.h"
#include "screens/status.h"

namespace vx::scr {

using namespace vx::rt;
namespace pf = vx::platform;

namespace {

constexpr u16 CAPTION_MAX = 512;
constexpr u16 MESSAGE_MAX = 512;
constexpr int MAIN_WIDTH = 800, MAIN_HEIGHT = 560;  // pixels of the client area
constexpr u16 LOW_BYTE = 0xFF;
constexpr const char* MAIN_CLASS = "Main";

struct MainState {
    WinId win = 0;
    u16 busy = 0;  // events being handled or the bar being built
    MenuHook menu_hook = nullptr;
    CloseHook close_hook = nullptr;
};

MainState ms;

// ---- The menu bar through the platform's menus ----

struct MenuFrame {
    pf::MenuHandle menu = 0;
    std::string title;
};

struct BarBuilder {
    pf::MenuHandle bar = 0;
    MenuFrame open[MENU_LEVEL_MAX + 1];
    u16 depth = 0;
    pf::MenuHandle top() const { return depth ? open[depth - 1].menu : bar; }
};

std::string_view view(Str s) {
    return s.ok() ? std::string_view(s.p, s.n) : std::string_view();
}

void sink_open(void* ctx, Str title) {
    auto* b = static_cast<BarBuilder*>(ctx);
    if (b->depth > MENU_LEVEL_MAX) return;
    b->open[b->depth++] = MenuFrame{pf::menu_create(true), std::string(view(title))};
}

void sink_entry(void* ctx, u16 id, Str label) {
    auto* b = static_cast<BarBuilder*>(ctx);
    pf::menu_add_entry(b->top(), id, view(label));
}

void sink_close(void* ctx) {
    auto* b = static_cast<BarBuilder*>(ctx);
    if (!b->depth) return;
    MenuFrame f = b->open[--b->depth];
    pf::menu_add_submenu(b->top(), f.menu, f.title);
}

// The bar of the named menu, or 0 when there is none (the failure has been shown).
pf::MenuHandle bar_build(Str name) {
    BarBuilder b;
    b.bar = pf::menu_create(false);
    MenuSink sink{&b, sink_open, sink_entry, sink_close};
    u16 entries = 0;
    u16 rc = menu_load(name, sink, &entries);
    while (b.depth) sink_close(&b);  // a build that stopped half-way
    if (rc == 0) return b.bar;
    pf::menu_destroy(b.bar);
    return 0;
}

// ---- Events ----

constexpr int MENU_LAST_ID = MENU_FIRST_ID + MENU_REACHABLE - 1;

u16 event_of(const pf::Event& e) {
    switch (e.kind) {
        case pf::EvKind::Command:
            if (e.code == pf::NOTIFY_CLICKED && e.ctl >= MENU_FIRST_ID && e.ctl <= MENU_LAST_ID)
                return u16(EV_MENU | ((e.ctl - MENU_FIRST_ID) << 8));
            return 0;
        case pf::EvKind::Close:
            return EV_CLOSE;
        case pf::EvKind::KeyDown:
            return e.key == pf::VK_F1 ? u16(EV_HELP) : u16(0);
        default:
            return 0;
    }
}

void main_escape();

bool main_proc(const pf::Event& e, void*) {
    if (e.kind == pf::EvKind::Paint && e.canvas) {
        logo_draw(*e.canvas, LOGO_MARGIN, LOGO_MARGIN, e.canvas->width() - 2 * LOGO_MARGIN,
                  e.canvas->height() - 2 * LOGO_MARGIN);
        return true;
    }
    if (e.kind == pf::EvKind::Destroy) {
        if (e.win == ms.win) ms.win = 0;
        return false;
    }
    if (e.kind == pf::EvKind::KeyDown && !e.ctl && e.key == pf::VK_ESCAPE && !e.mods) {
        main_escape();
        return true;
    }
    u16 ev = event_of(e);
    if (!ev) return false;
    main_event(ev);
    return true;
}

u16 menu_command(u16 entry) {
    TmpScope scope;
    Str line = menu_task(u16(MENU_FIRST_ID + entry));
    if (!line.ok() || line.n == 0) return 0;
    u16 rc = ms.menu_hook ? ms.menu_hook(entry, line) : u16(E_FEATUREREMOVED);
    if (rc != E_FEATUREREMOVED) return rc;
    return task_run(line, task_default_handler);
}

u16 main_close() {
    if (close_request()) close_all_screens();
    return 0;
}

bool close_allowed(bool ask);

// Esc in the main window: the closing question is asked whatever _AUXSTAT says, so that a
// key pressed once too often never ends the program; nobody is asked when nobody could
// answer.
void main_escape() {
    if (ms.busy) return;
    ms.busy++;
    if (close_allowed(!unattended())) close_all_screens();
    ms.busy--;
}

u16 help_key() {
    return task_run(S("Help"), task_default_handler);
}

bool main_gone(void*) {
    return !ms.win || !window_on_stack(ms.win);
}

Str count_message(u16 id, int screens, int windows) {
    const int numbers[] = {screens, windows};
    return msg_fill_numbers(msg_text_id(id), numbers, 2);
}

// Without anybody to answer, the window is shown, pending events are handled and the
// window closes as on a close request; a refusal cannot be argued with, so it closes anyway.
void run_unattended() {
    pump();
    if (main_gone(nullptr)) return;
    main_event(EV_CLOSE);
    if (!main_gone(nullptr)) close_all_screens();
    pump();
}

}  // namespace

void mainwin_reset() {
    ms = MainState{};
}
void menu_hook_set(MenuHook hook) {
    ms.menu_hook = hook;
}
void close_hook_set(CloseHook hook) {
    ms.close_hook = hook;
}
WinId main_window() {
    return ms.win;
}

Str msg_fill_numbers(Str text, const int* numbers, u16 count) {
    if (!text.ok()) return text;
    std::string out;
    u16 used = 0;
    for (u16 i = 0; i < text.n; i++) {
        char c = text.at(i);
        char next = i + 1 < text.n ? text.at(i + 1) : 0;
        if (c == '%' && next == '%') {
            out += '%';
            i++;
        } else if (c == '%' && (next == 'i' || next == 'd')) {
            out += std::to_string(used < count ? numbers[used] : 0);
            used++;
            i++;
        } else {
            out += c;
        }
    }
    if (out.size() > MESSAGE_MAX) out.resize(MESSAGE_MAX);
    return str_copy(str_view(out.data(), u16(out.size())));
}

Str main_caption() {
    TmpScope scope;
    Str desc = env_get(ENV_APDESC);
    Str date = expr::date_format_value(expr::date_today(), expr::DATE_SHORT);
    Str db = str_unquote(list_item(env_get(ENV_DB), ',', 2));
    Str cwd = str_trim_set(path_cwd(), TRIM_RIGHT, S("/\\"));
    Str folder = cwd.ok() ? path_part(cwd, PART_NAME | PART_EXT) : str_empty();
    Str site = maker_site();
    auto n = [](Str s) { return s.ok() ? int(s.n) : 0; };
    auto p = [](Str s) { return s.ok() ? s.p : ""; };
    return scope.keep(str_format(CAPTION_MAX, " %.*s | %.*s | %.*s %.*s | %.*s", n(desc), p(desc),
                                 n(date), p(date), n(db), p(db), n(folder), p(folder), n(site),
                                 p(site)));
}

void logo_draw(pf::Canvas& c, int x, int y, int w, int h) {
    if (w <= 0 || h <= 0) return;
    const pf::Rgb paper{246, 248, 252}, ink{32, 64, 128}, accent{220, 96, 32}, grid{200, 208, 224};
    c.fill_rect(x, y, w, h, paper);
    int side = std::min(w, h) / 2;
    int left = x + (w - side) / 2, top = y + (h - side) / 2 - side / 8;
    c.set_pen(grid, 1);
    for (int i = 1; i < 4; i++) c.line(left, top + side * i / 4, left + side, top + side * i / 4);
    c.set_pen(ink, 3);
    c.line(left, top, left, top + side);
    c.line(left, top + side, left + side, top + side);
    const pf::Point rise[] = {{left, top + side * 7 / 8},
                              {left + side / 4, top + side / 2},
                              {left + side / 2, top + side * 5 / 8},
                              {left + side * 3 / 4, top + side / 5},
                              {left + side, top + side / 8}};
    c.set_pen(accent, 4);
    c.polyline(rise, int(std::size(rise)));
    c.set_font(pf::FontSpec{std::max(12, side / 6), 0, 700, "Sans Serif"});
    const std::string_view name = "Varnox";
    int tw = c.text_width(name);
    c.text(x + (w - tw) / 2, top + side + side / 10, name, ink);
}

void close_all_screens() {
    while (screen_count()) screen_close();
    while (window_count()) window_destroy();  // deleted later: this may run in their events
}

namespace {

// The closing rule: refused while more than one screen or window is open (or the close hook
// refuses); otherwise allowed, after the question of message 0033 when ask.
bool close_allowed(bool ask) {
    TmpScope scope;
    u16 answer = ms.close_hook ? ms.close_hook() : u16(E_FEATUREREMOVED);
    int screens = answer, windows = answer;
    bool refused = answer != E_FEATUREREMOVED && answer != 0;
    if (answer == E_FEATUREREMOVED) {
        screens = screen_count();
        windows = window_count();
    }
    if (screens > 1 || windows > 1 || refused) {
        msg_box(count_message(MSG_STILL_OPEN, screens, windows), str_empty(), BOX_WARNING);
        return false;
    }
    return !ask || msg_ask(count_message(MSG_CLOSE_ASK, screens, windows));
}

}  // namespace

bool close_request() { return close_allowed(!sysint_bit(SV_AUXSTAT, AUXSTAT_QUIET_CLOSE)); }

u16 main_event(u16 event) {
    u16 rc = 0;
    switch (event & LOW_BYTE) {
        case EV_MENU:
            ms.busy++;
            rc = menu_command(u16(event >> 8));
            break;
        case EV_CLOSE:
            // While a task or a box of ours still runs (the main window may own that box), the
            // request is dropped: the person asks again once it is done.
            if (ms.busy) return 0;
            ms.busy++;
            rc = main_close();
            break;
        case EV_HELP:
            ms.busy++;
            rc = help_key();
            break;
        default:
            return 0;
    }
    if (rc >= E_CANCELLED) error_show(rc);
    ms.busy--;
    return rc;
}

u16 menu_run(Str name) {
    sysint_or(SV_SCRSTAT, SCRSTAT_MENU);
    if (ms.win && window_on_stack(ms.win)) return E_DATA;  // one main window at a time
    TmpScope scope;
    WindowSpec spec;
    spec.kind = KIND_PLAIN;
    spec.title = main_caption();
    spec.class_name = str_from_cstr(MAIN_CLASS);
    spec.width_px = MAIN_WIDTH;
    spec.height_px = MAIN_HEIGHT;
    spec.proc = main_proc;
    WinId w = 0;
    ms.busy = 0;
    if (u16 rc = window_create(spec, &w)) {
        error_show(rc);
        return rc;
    }
    ms.win = w;
    ms.busy++;
    pf::MenuHandle bar = bar_build(name);
    ms.busy--;
    if (bar && !pf::window_set_menu(w, bar)) pf::menu_destroy(bar);
    screen_open(w);
    pf::window_repaint(w);
    if (unattended())
        run_unattended();
    else
        pf::gui_loop(main_gone, nullptr);
    pump();
    ms.win = 0;
    return 0;
}

}  // namespace vx::scr
