// Screen records, the screen-action handler and performing screen actions.
#include "screens/screen.h"

#include "platform/window.h"
#include "runtime/error.h"
#include "runtime/log.h"
#include "runtime/sysvars.h"
#include "screens/state.h"

namespace vx::scr {

using namespace vx::rt;
namespace pf = vx::platform;

namespace {

// The current screen, or the process ends through the assertion named after the operation.
ScreenRec& screen_for(const char* operation) {
    ScreenRec* s = current_screen();
    assert_true(s != nullptr, str_from_cstr(operation));
    return *s;
}

u16 focus_first_field(ScreenRec& s) {
    for (u16 n = 1; n <= s.fields.size(); n++) {
        if (pf::control_focus(s.win, field_id(n))) {
            s.current_field = n;
            return 0;
        }
    }
    return 0;
}

// The rules of a window without a handler of its own.
u16 window_default(u16 action, ScreenRec* s) {
    if (action == ACT_CLOSE) return window_close_top();
    if (action == ACT_DEFAULT) return s ? focus_first_field(*s) : 0;
    return NOT_TAKEN;
}

u16 make_field(WinId w, const ScreenField& f) {
    u16 rc = 0;
    if (f.label_len)
        rc = label_create(w, f.label_row, f.label_col, f.label_cells, str_view(f.label, f.label_len));
    u16 rc2 = field_control_create(w, f.spec);
    return rc ? rc : rc2;
}

bool in_range(const ScreenRec& s, u16 n) { return s.first && n >= s.first && n <= s.last; }

u16 ask_handler(ScreenRec* s, u16 action) {
    if (s && s->taker && s->current_field) {
        u16 taken = s->taker(s->current_field, action, s->taker_data);
        if (taken != NOT_TAKEN) return taken;
    }
    if (s && s->handler) return s->handler(action, s->value, s->data);
    return window_default(action, s);
}

// An answer below 128 with bit 8 closes the current window; 122 and above is shown.
u16 finish(u16 answer) {
    if (answer < FIRST_ERROR && (answer & ANSWER_CLOSE)) {
        window_close_top();
        return u16(answer & ~ANSWER_STRIP);
    }
    if (answer >= FIRST_NAMED && answer != NOT_TAKEN) error_show(answer);
    return answer;
}

}  // namespace

ScreenRec* current_screen() {
    Screens& st = state();
    return st.screen_count ? &st.screens[st.screen_count - 1] : nullptr;
}

u16 screen_open(WinId w) {
    Screens& st = state();
    if (st.screen_count >= SCREENS_MAX) return E_DATA;
    ScreenRec& s = st.screens[st.screen_count++];
    s = ScreenRec{};
    s.win = w;
    return 0;
}

u16 screen_close() {
    Screens& st = state();
    if (!st.screen_count) return E_DATA;
    st.screens[--st.screen_count] = ScreenRec{};
    return 0;
}

u16 screen_count() { return state().screen_count; }
bool screen_exists() { return current_screen() != nullptr; }

WinId screen_window() {
    ScreenRec* s = current_screen();
    return s ? s->win : 0;
}

u16 screen_field_add(const ScreenField& f) {
    ScreenRec* s = current_screen();
    if (!s) return E_DATA;
    if (s->fields.size() >= FIELDS_MAX) return E_DATAOUTBOUND;
    ScreenField copy = f;
    copy.spec.number = u16(s->fields.size() + 1);
    copy.label_len = std::min(f.label_len, LABEL_MAX);
    copy.label[copy.label_len] = 0;
    s->fields.push_back(copy);
    return 0;
}

u16 screen_field_count() {
    ScreenRec* s = current_screen();
    return s ? u16(s->fields.size()) : 0;
}

u16 screen_set_range(u16 first, u16 last) {
    ScreenRec* s = current_screen();
    if (!s || first > last || last > s->fields.size()) return E_DATA;
    s->first = first;
    s->last = first ? last : 0;
    return 0;
}

u16 screen_set_grid(u16 cols, u16 rows) {
    ScreenRec* s = current_screen();
    if (!s) return E_DATA;
    s->cols = std::min(cols, GRID_MAX);
    s->rows = std::min(rows, GRID_MAX);
    return 0;
}

u16 screen_set_taker(FieldTaker taker, void* data) {
    ScreenRec* s = current_screen();
    if (!s) return E_DATA;
    s->taker = taker;
    s->taker_data = data;
    return 0;
}

u16 screen_set_locked(bool locked) {
    ScreenRec* s = current_screen();
    if (!s) return E_DATA;
    s->locked = locked;
    return 0;
}

u16 screen_current_field() {
    ScreenRec* s = current_screen();
    return s ? s->current_field : 0;
}

u16 screen_attr_set(u16 n, Str text) {
    ScreenRec* s = current_screen();
    if (!s || n < 1 || n > SCREEN_ATTRS || !text.ok()) return E_DATA;
    if (text.n > ATTR_TEXT_MAX) return E_DATAOUTBOUND;
    s->attrs[n - 1].assign(text.p, text.n);
    return 0;
}

Str screen_attr(u16 n) {
    ScreenRec* s = current_screen();
    if (!s || n < 1 || n > SCREEN_ATTRS) return str_empty();
    const std::string& a = s->attrs[n - 1];
    return str_view(a.data(), u16(a.size()));
}

void screen_accept_enter() { screen_for("AcceptWinSelect").accept_windows++; }

void screen_accept_leave() {
    ScreenRec* s = current_screen();
    if (s && s->accept_windows) s->accept_windows--;
}

u16 screen_accept_count() {
    ScreenRec* s = current_screen();
    return s ? s->accept_windows : 0;
}

u16 ScreenActionSet(ActionHandler handler, i32 value, void* data) {
    ScreenRec& s = screen_for("ScreenActionSet");
    if (s.locked) return 0;
    s.handler = handler;
    s.value = value;
    s.data = data;
    return 0;
}

u16 ScreenActionWinDefault(u16 action) {
    return window_default(action, &screen_for("ScreenActionWinDefault"));
}

u16 ScreenSetWin(u16 flags) {
    ScreenRec& s = screen_for("ScreenSetWin");
    if (!pf::window_exists(s.win)) return E_DATA;
    if (flags & SETWIN_REFRESH) return pf::window_repaint(s.win) ? 0 : u16(E_WINCONTROL);
    u16 rc = 0;
    for (u16 n = 1; n <= s.fields.size(); n++) {
        if (in_range(s, n)) continue;
        u16 made = make_field(s.win, s.fields[n - 1]);
        if (!rc) rc = made;
    }
    if (!s.fields.empty()) {
        s.first = 1;
        s.last = u16(s.fields.size());
    }
    return rc;
}

u16 screen_action(u16 action, int ctl) {
    ScreenRec* s = current_screen();
    u16 field = field_of_id(ctl);
    if (field && action == ACT_FOCUS) {
        if (s) s->current_field = field;
        sysint_set(SV_CUREDFLD, i16(field));
    }
    return finish(ask_handler(s, action));
}

}  // namespace vx::scr
