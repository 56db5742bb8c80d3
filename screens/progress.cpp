// The progress window: its state, window and controls, range reduction, steps, the text
// panel, cancelling and the query progress hook.
#include "screens/progress.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "platform/os.h"
#include "platform/window.h"
#include "runtime/arena.h"
#include "runtime/error.h"
#include "runtime/msg.h"

namespace vx::scr {

using namespace vx::rt;
namespace pf = vx::platform;
using pf::EvKind;

namespace {

constexpr u16 MSG_CAPTION = 16;  // "Proceso en progreso....."
constexpr u16 MSG_CANCEL = 20;   // "Cancelar"
constexpr const char* CLASS_NAME = "Progress";
// Geometry of the window's client area (the caption takes the rest of the 90 pixels).
constexpr int INNER_X = 20, INNER_Y = 10, INNER_H = 17;
constexpr int SIDE_MARGINS = 40;
constexpr int CLIENT_H = 70;
constexpr int BUTTON_FROM_RIGHT = 50, BUTTON_Y = 35, BUTTON_W = 70, BUTTON_H = 20;
constexpr pf::Rgb PANEL_GREY{128, 128, 128};
constexpr pf::Rgb PANEL_TEXT{255, 255, 255};
const pf::FontSpec DIALOG_FONT{13, 0, 400, "DejaVu Sans"};

struct Progress {
    WinId win = 0;
    bool bar = false;        // the bar control exists
    bool text_mode = false;
    bool cancelled = false;
    bool wrap = false;
    u16 width = 0;           // of the inner control; remembered for the next opening
    u32 total = 0;           // remembered for the next opening
    u32 range = 0;           // 0 until the first step sets it
    u16 position = 0;
    i64 divisor = 0, remainder = 0;
    i64 mark = 0;
    i64 pumped_at = 0;  // clock of the last pump (progress_tick)
    bool pumped = false;
    u16 text_len = 0;
    char text[PROGRESS_TEXT_MAX] = {};
    ProgressClock clock = nullptr;
    bool opened_for_wait = false;  // progress_wait opened the window
};

Progress st;

i64 now_ms() { return st.clock ? st.clock() : vx::os::monotonic_ms(); }

u16 width_of(u16 given) {
    if (given == 0 || given == PROGRESS_WIDTH_UNSET) return PROGRESS_WIDTH_DEFAULT;
    return std::clamp(given, PROGRESS_WIDTH_MIN, PROGRESS_WIDTH_MAX);
}

// The window may have gone without us (closed with every other window at shutdown).
bool window_alive() {
    if (st.win && pf::window_exists(st.win) && window_on_stack(st.win)) return true;
    st.win = 0;
    st.bar = false;
    return false;
}

void repaint_panel() {
    if (st.win && st.text_mode) pf::window_repaint(st.win);
}

// The text panel: grey, the text in white and centred, on a transparent background.
void paint_panel(pf::Canvas& c) {
    if (!st.text_mode) return;
    c.fill_rect(INNER_X, INNER_Y, st.width, INNER_H, PANEL_GREY);
    if (!st.text_len) return;
    c.set_font(DIALOG_FONT);
    std::string_view text(st.text, st.text_len);
    int x = INNER_X + std::max(0, (int(st.width) - c.text_width(text)) / 2);
    int y = INNER_Y + (INNER_H - c.text_metrics().height) / 2;
    c.text(x, y, text, PANEL_TEXT);
}

// The window's own rules: Cancel, Esc and the close box set the cancel flag (the window
// stays until the operation closes it); the window belongs to no screen, so focus changes
// perform no screen action.
bool progress_proc(const pf::Event& e, void*) {
    switch (e.kind) {
    case EvKind::Command:
        if (e.ctl != PROGRESS_CANCEL_ID || e.code != pf::NOTIFY_CLICKED) return false;
        st.cancelled = true;
        return true;
    case EvKind::KeyDown:
        if (e.key != pf::VK_ESCAPE) return false;
        st.cancelled = true;
        return true;
    case EvKind::Close:
        st.cancelled = true;
        return true;
    case EvKind::FocusIn:
        return e.ctl == 0;
    case EvKind::Paint:
        if (e.canvas) paint_panel(*e.canvas);
        return true;
    case EvKind::Destroy:
        if (e.win == st.win) {
            st.win = 0;
            st.bar = false;
        }
        return false;
    default:
        return false;
    }
}

u16 make_cancel_button(WinId w) {
    TmpScope scope;
    Str label = msg_text_id(MSG_CANCEL);
    pf::CtlSpec b;
    b.kind = pf::CtlKind::Button;
    b.id = PROGRESS_CANCEL_ID;
    b.at = pf::Rect{st.width - BUTTON_FROM_RIGHT, BUTTON_Y, BUTTON_W, BUTTON_H};
    b.text = std::string_view(label.p, label.n);
    return pf::control_create(w, b) ? 0 : error_raise(M_SCREENS, E_WINCONTROL);
}

u16 make_bar(WinId w) {
    pf::CtlSpec bar;
    bar.kind = pf::CtlKind::Progress;
    bar.id = PROGRESS_BAR_ID;
    bar.at = pf::Rect{INNER_X, INNER_Y, st.width, INNER_H};
    st.bar = pf::control_create(w, bar);
    return st.bar ? 0 : error_raise(M_SCREENS, E_COMMONCTL);
}

// Makes the window (a bar, or the text panel) and starts the state afresh.
u16 open_window(u16 width, u32 total, bool text_mode) {
    TmpScope scope;
    WindowSpec spec;
    spec.kind = KIND_PROGRESS;
    spec.title = msg_text_id(MSG_CAPTION);
    spec.class_name = str_from_cstr(CLASS_NAME);
    spec.width_px = u16(width + SIDE_MARGINS);
    spec.height_px = CLIENT_H;
    spec.proc = progress_proc;
    WinId w = 0;
    if (u16 rc = window_create(spec, &w)) return rc;
    ProgressClock clock = st.clock;
    st = Progress{};
    st.clock = clock;
    st.win = w;
    st.width = width;
    st.total = total;
    st.text_mode = text_mode;
    pf::window_set_font(w, DIALOG_FONT);
    u16 rc = make_cancel_button(w);
    if (!text_mode) {
        u16 bar = make_bar(w);
        if (!rc) rc = bar;
    }
    pump();
    return rc;
}

// On the first step: the total, or 200 with wrapping, halved until it fits the bar.
void set_range() {
    st.wrap = st.total == 0;
    st.range = st.wrap ? PROGRESS_WRAP_RANGE : st.total;
    while (st.range > PROGRESS_RANGE_MAX) {
        st.range /= 2;
        st.divisor = (st.divisor ? st.divisor : 1) * 2;
    }
    if (st.bar) pf::progress_set_range(st.win, PROGRESS_BAR_ID, 0, int(st.range));
}

// Adds steps to the position (the bar is told when it is shown).
void add_steps(i64 steps) {
    i64 by = steps;
    if (st.divisor) {
        st.remainder += steps;
        by = st.remainder / st.divisor;
        st.remainder %= st.divisor;
    }
    i64 pos = st.position + by;
    if (st.wrap && pos > i64(PROGRESS_WRAP_RANGE)) pos = 1;
    st.position = u16(std::min<i64>(pos, st.range));
}

void show_position() {
    if (st.bar) pf::progress_set_pos(st.win, PROGRESS_BAR_ID, st.position);
}

u16 pumped_answer() {
    pump();
    st.pumped_at = now_ms();
    st.pumped = true;
    return st.cancelled ? E_CANCELLED : 0;
}

// The window of a step: opened when there is none, its range set at the first step.
void ready_for_steps() {
    if (!window_alive()) open_window(width_of(st.width), st.total, false);
    if (!st.range) set_range();
}

void keep_text(Str text) {
    st.text_len = std::min<u16>(text.n, PROGRESS_TEXT_MAX);
    std::memcpy(st.text, text.p, st.text_len);
}

// From bar to text: the bar goes, the panel is painted where it was.
void enter_text_mode() {
    st.text_mode = true;
    if (st.bar && st.win) pf::control_destroy(st.win, PROGRESS_BAR_ID);
    st.bar = false;
}

}  // namespace

u16 progress_open(u16 width, u32 total) {
    if (window_alive()) return 0;
    return open_window(width_of(width), total, false);
}

u16 progress_step(u32 n) {
    ready_for_steps();
    add_steps(std::max<u32>(n, 1));
    show_position();
    repaint_panel();
    return pumped_answer();
}

u16 progress_tick(u32 n) {
    ready_for_steps();
    if (n) add_steps(n);
    if (st.pumped && now_ms() - st.pumped_at < PROGRESS_TICK_MS)
        return st.cancelled ? E_CANCELLED : 0;
    show_position();
    repaint_panel();
    return pumped_answer();
}

u16 progress_text(Str text) {
    if (!window_alive()) open_window(PROGRESS_WIDTH_DEFAULT, st.total, true);
    if (text.ok() && text.n) {
        enter_text_mode();
        keep_text(text);
        repaint_panel();
    }
    return pumped_answer();
}

void progress_close() {
    if (window_alive()) window_destroy_id(st.win);
    st.win = 0;
    st.bar = false;
    st.text_mode = false;
    st.range = 0;
    st.text_len = 0;
}

u16 progress_poll(u16 phase) {
    pump();
    if (phase == POLL_START) {
        st.mark = now_ms();
    } else if (phase == POLL_TICK) {
        i64 now = now_ms();
        if (now - st.mark >= PROGRESS_POLL_MS) {
            progress_step(0);
            st.mark = now;
        }
    }
    return 0;
}

u16 progress_wait(u16 phase) {
    if (phase == POLL_START) {
        bool open = window_alive();
        if (!open) open_window(width_of(st.width), 0, false);
        st.opened_for_wait = !open;
        st.mark = now_ms();
        return pumped_answer();
    }
    if (phase == POLL_TICK) {
        // Another operation's bar counts that operation's steps: it is only kept alive.
        if (st.opened_for_wait)
            progress_poll(POLL_TICK);
        else
            pump();
        return st.cancelled ? E_CANCELLED : 0;
    }
    if (st.opened_for_wait) progress_close();
    st.opened_for_wait = false;
    return 0;
}

void progress_reset() {
    progress_close();
    st = Progress{};
}

ProgressView progress_view() {
    window_alive();
    return ProgressView{st.win,   st.text_mode, st.cancelled, st.wrap,
                        st.width, st.range,     st.position,  st.divisor};
}

void progress_clock_set(ProgressClock clock) { st.clock = clock; }

}  // namespace vx::scr
