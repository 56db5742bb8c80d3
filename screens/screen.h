// Screen records and screen actions.
//
// A screen is the run-time's record of what a window shows: its fields, the field range whose
// controls exist, the current field, and the handler that screen actions go to (with a value
// and data handed back to it). Screens are kept on a stack; the top one is the current screen.
// A screen opened while no window waits for it takes the next window created.
//
// Performing an action: 91 on a field makes it current, 92 leaves it; other actions go to the
// current field first (its taker) and, when not taken, to the screen's handler. A handler's
// answer below 128 with bit 8 closes the current window and comes back without bits 4, 8
// and 16. Answers of 122 and above are shown as messages, except 163, which only says that
// the handler did not take the action.
#pragma once

#include "screens/controls.h"
#include "screens/keys.h"

namespace vx::scr {

using ActionHandler = u16 (*)(u16 action, i32 value, void* data);
// Offered an action for the current field first: 163 when it does not take it.
using FieldTaker = u16 (*)(u16 field, u16 action, void* data);

inline constexpr u16 SCREENS_MAX = STACK_MAX;
inline constexpr u16 LABEL_MAX = 127;        // bytes of a field label kept by a screen
inline constexpr u16 NOT_TAKEN = 163;
inline constexpr u16 ANSWER_CLOSE = 8;       // answer bit: close the current window
inline constexpr u16 ANSWER_STRIP = 4 | 8 | 16;
inline constexpr u16 SETWIN_REFRESH = 1;
inline constexpr u16 SCREEN_ATTRS = 32;      // text attributes of a screen, numbered from 1
inline constexpr u16 ATTR_SCANNER = 26;      // the device text of a serial scanner
inline constexpr u16 ATTR_TEXT_MAX = 255;

struct ScreenField {
    FieldSpec spec;
    u16 label_row = 0, label_col = 0, label_cells = 0;
    char label[LABEL_MAX + 1] = {};
    u16 label_len = 0;
};

// Opens a screen on the window w (0: the next window created) and makes it current:
// 0, or 163 when 32 screens are open.
u16 screen_open(WinId w);
u16 screen_close();                         // the current one; 163 when none is open
u16 screen_count();
bool screen_exists();
WinId screen_window();                      // the current screen's window, or 0
u16 screen_field_add(const ScreenField& f); // 0, 168 when full, 163 without a screen
u16 screen_field_count();
u16 screen_set_range(u16 first, u16 last);  // fields whose controls exist already
u16 screen_set_grid(u16 cols, u16 rows);    // the grid of the screen's windows
u16 screen_set_taker(FieldTaker taker, void* data);
u16 screen_set_locked(bool locked);
u16 screen_current_field();                 // 0 when none

// Text attributes of the current screen: 0, 163 without a screen or for n outside 1-32,
// 168 for a text longer than 255 bytes. Reading gives "" when unset or without a screen.
u16 screen_attr_set(u16 n, Str text);
Str screen_attr(u16 n);

// Accept forms running on the current screen: entering counts one more (the screen must
// exist: assertion "AcceptWinSelect"), leaving one less.
void screen_accept_enter();
void screen_accept_leave();
u16 screen_accept_count();

// Sets the handler of the current screen with the value and data handed back to it;
// ignored while the screen is locked.
u16 ScreenActionSet(ActionHandler handler, i32 value, void* data);
// 29 closes the current window; 95 puts the focus on the first field that takes it; every
// other action is not taken (163).
u16 ScreenActionWinDefault(u16 action);
// With SETWIN_REFRESH, repaints the screen's window; otherwise creates the controls of the
// fields before and after the range that exists, which then covers every field.
u16 ScreenSetWin(u16 flags);

// Performs a screen action (ctl: the control it comes from, 0 for none).
u16 screen_action(u16 action, int ctl = 0);

}  // namespace vx::scr
