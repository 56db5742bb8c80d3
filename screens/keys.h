// The run-time's key numbers, their classes and the key maps that turn them into screen
// actions. Keys arrive as virtual-key numbers (platform/keys.h) and leave as the numbers that
// _LASTKEY holds; the key map selected by _KEYMAP gives the screen action of each.
#pragma once

#include "runtime/str.h"

namespace vx::scr {

using rt::i16;
using rt::u16;
using rt::u32;

enum KeyNumber : u16 {
    KEY_ENTER = 0,
    KEY_ESC = 3,
    KEY_OTHER = 4,   // Left, Right and every key without a number of its own
    KEY_239 = 6,     // the key with virtual-key code 239
    KEY_BACKTAB = 8, // Shift+Tab
    KEY_TAB = 9,
    KEY_F1 = 11,     // to KEY_F1 + 10 (F11)
    KEY_F11 = 21,
    KEY_UP = 22,
    KEY_PGUP = 23,
    KEY_DOWN = 28,
    KEY_PGDN = 29,
    KEY_CTRL_END = 32,
};

inline constexpr u16 KEY_NUMBERS = 33;        // entries of one key map
inline constexpr u16 KEYMAP_ENTRIES = 132;    // four maps; maps 2 and 3 give no actions
inline constexpr u16 KEYMAP_DEFINED = 2;      // maps 0 and 1

// Key classes: what a key does to a form.
enum KeyClassBits : u16 {
    KC_FKEY = 1,
    KC_CONFIRM = 2,
    KC_BACK = 4,
    KC_LINE = 8,
    KC_PAGE = 16,
    KC_CANCEL = 32,
    KC_END = 64,
};

// Screen actions with a meaning in the window layer. An action whose low byte is
// ACT_BUTTON presses the form button numbered by its high byte; ACT_BUTTON_CMD is the
// action of a button's own command (button number * 256 + 23).
enum ScreenAction : u16 {
    ACT_NONE = 0,
    ACT_NEXT = 1,
    ACT_PREV = 2,
    ACT_FIELD_CMD = 18,
    ACT_CANCEL = 21,
    ACT_BUTTON_CMD = 23,
    ACT_CAPTURE = 24,
    ACT_BUTTON = 25,
    ACT_CLOSE = 29,
    ACT_FOCUS = 91,
    ACT_LEAVE = 92,
    ACT_SELECT = 94,
    ACT_DEFAULT = 95,
};
inline constexpr u16 ACTION_LOW = 0xFF;
inline constexpr u16 ACTION_SHIFT = 8;
inline constexpr u16 button_action(u16 button, u16 low) { return u16(button << ACTION_SHIFT | low); }

// The key number of a virtual key with Shift and Ctrl as held.
u16 key_number(int virtual_key, bool shift, bool ctrl);
u16 key_class(u16 key);
bool key_confirms(u16 key);  // class bit 2 or 64
// The screen action of a key in a map (the map number as _KEYMAP holds it); 0 beyond the
// table.
u16 key_action(u16 key, i16 map);
u16 key_action_now(u16 key);  // in the map _KEYMAP selects

}  // namespace vx::scr
