// The procedures of run-time windows and their controls: the field key procedure of edit
// fields (key numbers, _LASTKEY, screen actions, the capture started by character 29), the
// button and check-box procedures, and the frame window's rules.
#include <algorithm>

#include "platform/window.h"
#include "runtime/store.h"
#include "runtime/sysvars.h"
#include "screens/state.h"

namespace vx::scr {

using namespace vx::rt;
namespace pf = vx::platform;
using pf::EvKind;
using pf::Event;

namespace {

constexpr int CHAR_CAPTURE = 29;    // starts a capture
constexpr int CHAR_FIRST_TEXT = 32; // below: control characters, which end it
constexpr u16 LIST_INPUT = 30;      // the input stack of the string store
constexpr int MSG_BUTTON_ACTION = 0x88E0;
constexpr int MSG_FIELD_ACTION = 0x88E1;
// Keys that a check box turns into screen actions.
constexpr u16 CHECKBOX_KEYS[] = {KEY_ENTER, 1, KEY_ESC, KEY_BACKTAB, KEY_TAB};

KeyState& keys() { return state().keys; }

// Shift and Ctrl as tracked, or as the event says (a driver may send no separate press).
u16 key_of(const Event& e) {
    bool shift = keys().shift || (e.mods & pf::MOD_SHIFT);
    bool ctrl = keys().ctrl || (e.mods & pf::MOD_CTRL);
    return key_number(e.key, shift, ctrl);
}

// Shift and Ctrl presses and releases; true when the event was one.
bool track_modifier(const Event& e) {
    bool down = e.kind == EvKind::KeyDown;
    if (e.key == pf::VK_SHIFT) keys().shift = down;
    else if (e.key == pf::VK_CONTROL) keys().ctrl = down;
    else return false;
    return true;
}

void end_capture(int ctl) {
    KeyState& k = keys();
    k.capturing = false;
    store_push(LIST_INPUT, str_view(k.buf, k.len));
    k.len = 0;
    screen_action(ACT_CAPTURE, ctl);
}

// Character 29 starts a capture; printable characters are collected; the first control
// character ends it. True when the key belonged to a capture.
bool capture(const Event& e) {
    KeyState& k = keys();
    if (!k.capturing) {
        if (e.ch != CHAR_CAPTURE) return false;
        k.capturing = true;
        k.len = 0;
        return true;
    }
    if (e.ch >= CHAR_FIRST_TEXT) {
        if (k.len < CAPTURE_MAX) k.buf[k.len++] = char(e.ch);
    } else if (e.ch > 0) {
        end_capture(e.ctl);
    }
    return true;  // keys without a character are swallowed while capturing
}

bool field_key_down(const Event& e) {
    if (capture(e)) return true;
    u16 key = key_of(e);
    sysint_set(SV_LASTKEY, i16(key));
    if (key == KEY_OTHER) return false;
    u16 action = key_action_now(key);
    if (!action) return false;
    keys().ctrl = false;
    screen_action(action, e.ctl);
    return true;
}

// Focus and Shift/Ctrl of fields and check boxes: focus makes the field current or leaves it,
// modifier keys are tracked. True when the event was nothing more than that (the control then
// goes on with it as usual); key presses of other keys are left to the procedure.
bool focus_or_modifier(const Event& e) {
    switch (e.kind) {
    case EvKind::FocusIn:
        screen_action(ACT_FOCUS, e.ctl);
        return true;
    case EvKind::FocusOut:
        screen_action(ACT_LEAVE, e.ctl);
        return true;
    case EvKind::KeyDown:
        return track_modifier(e);
    case EvKind::KeyUp:
        track_modifier(e);
        return true;
    default:
        return true;
    }
}

bool field_proc(const Event& e) { return !focus_or_modifier(e) && field_key_down(e); }

void send_enter_command(WinId w) {
    Event cmd;
    cmd.kind = EvKind::Command;
    cmd.ctl = CMD_ENTER;
    cmd.code = pf::NOTIFY_CLICKED;
    pf::send_event(w, cmd);
}

// Enter sends command 3100 to the window; Esc performs its screen action.
bool button_proc(const Event& e) {
    if (e.kind != EvKind::KeyDown || track_modifier(e)) return false;
    u16 key = key_of(e);
    if (key == KEY_ENTER) {
        send_enter_command(e.win);
        return true;
    }
    if (key != KEY_ESC) return false;
    if (u16 action = key_action_now(key)) screen_action(action, e.ctl);
    return true;
}

// Enter, Esc and Tab perform their screen actions; Space and clicks toggle as usual.
bool checkbox_key_down(const Event& e) {
    u16 key = key_of(e);
    if (std::find(std::begin(CHECKBOX_KEYS), std::end(CHECKBOX_KEYS), key) == std::end(CHECKBOX_KEYS))
        return false;
    sysint_set(SV_LASTKEY, i16(key));
    if (u16 action = key_action_now(key)) screen_action(action, e.ctl);
    return true;
}

bool checkbox_proc(const Event& e) { return !focus_or_modifier(e) && checkbox_key_down(e); }

bool is_button(WinId w, int id) {
    pf::CtlKind k = pf::control_kind(w, id);
    return k == pf::CtlKind::Button || k == pf::CtlKind::PictureButton;
}

// Command 3100: the focused button's command, or the action of Enter.
void enter_command(WinId w) {
    int focused = pf::control_focused(w);
    if (focused > 0 && focused <= BUTTON_MAX && is_button(w, focused))
        screen_action(button_action(u16(focused), ACT_BUTTON_CMD), focused);
    else if (u16 action = key_action_now(KEY_ENTER))
        screen_action(action, focused);
}

bool frame_command(const Event& e) {
    if (e.code == pf::NOTIFY_DBLCLK) {
        send_enter_command(e.win);
        return true;
    }
    if (e.code == pf::NOTIFY_SELENDOK) {
        sysint_set(SV_LASTKEY, KEY_OTHER);
        screen_action(ACT_SELECT, e.ctl);
        return true;
    }
    if (e.code != pf::NOTIFY_CLICKED) return false;
    if (e.ctl == CMD_ENTER) {
        enter_command(e.win);
        return true;
    }
    if (e.ctl > 0 && e.ctl <= BUTTON_MAX && is_button(e.win, e.ctl)) {
        screen_action(button_action(u16(e.ctl), ACT_BUTTON_CMD), e.ctl);
        return true;
    }
    return false;
}

bool frame_private(const Event& e) {
    if (e.code == MSG_BUTTON_ACTION) {
        screen_action(button_action(u16(e.wparam), ACT_BUTTON_CMD), 0);
        return true;
    }
    if (e.code == MSG_FIELD_ACTION) {
        screen_action(ACT_FIELD_CMD, e.ctl);
        return true;
    }
    return false;
}

}  // namespace

bool control_event(const Event& e) {
    switch (pf::control_kind(e.win, e.ctl)) {
    case pf::CtlKind::Edit:
        return field_proc(e);
    case pf::CtlKind::Button:
    case pf::CtlKind::PictureButton:
        return button_proc(e);
    case pf::CtlKind::CheckBox:
        return checkbox_proc(e);
    default:
        return false;
    }
}

bool frame_event(const Event& e) {
    switch (e.kind) {
    case EvKind::FocusIn: {
        if (e.ctl) return false;
        WinEntry* we = entry_of(e.win);
        screen_action(we && we->has_default_action ? ACT_DEFAULT : ACT_FOCUS, 0);
        return false;
    }
    case EvKind::KeyDown:
        if (e.ctl || e.key != pf::VK_ESCAPE) return false;
        pf::window_close(e.win);
        return true;
    case EvKind::Private:
        return frame_private(e);
    case EvKind::Command:
        return frame_command(e);
    default:
        return false;
    }
}

bool on_event(void*, const Event& e) {
    WinEntry* we = entry_of(e.win);
    WinProc proc = we ? we->proc : nullptr;
    void* data = we ? we->data : nullptr;
    if (e.kind == EvKind::Destroy) {
        if (proc) proc(e, data);
        window_popped(e.win);
        return true;
    }
    if (!we) return false;
    bool from_control = e.ctl && e.kind != EvKind::Command && e.kind != EvKind::Private;
    if (from_control && control_event(e)) return true;
    if (proc && proc(e, data)) return true;
    return frame_event(e);
}

}  // namespace vx::scr
