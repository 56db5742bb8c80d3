// The selection box: a comma list of choices offered in a list box or as buttons, of which
// the user picks one. The result is the number of the chosen item (from 1), also left in
// _STAT; 0 when the user cancelled; 65535 at once for an empty title or an empty list.
//
// In the list, Enter or a double click chooses the item under the cursor. Among buttons,
// Up and Down (keys 22 and 28) move the pressed button, wrapping at both ends (with none
// pressed, Up presses the first and Down the last), Enter chooses the pressed one (nothing
// while none is), a click chooses the button clicked. Esc cancels.
//
// Unattended, the answer is the next line of the INPUT file: the item's number or its text;
// "\ESC", an empty line or the end of the input chooses nothing. The box is written out like
// a message box: "[title] line".
#pragma once

#include "screens/window.h"

namespace vx::scr {

enum SelBoxFlags : u16 {
    SEL_WINDOW = 1,    // make the box's own window; else the current one holds the controls
    SEL_LIST = 2,      // a list box; else buttons
    SEL_AT_FOCUS = 4,  // the window goes to the control that has the focus
};

inline constexpr u16 SEL_NONE = 0xFFFF;       // empty title or list
inline constexpr u16 SEL_LIST_ID = 1400;      // the list box
inline constexpr u16 SEL_BUTTON_BASE = 1499;  // item k is the button 1499 + k
inline constexpr u16 SEL_ITEMS_MAX = 0x7FFF;  // _STAT holds the number: later items are left out
inline constexpr u16 SEL_BUTTONS_MAX = 256;   // a longer list is offered in a list box
inline constexpr u16 SEL_MIN_COLS = 15;
inline constexpr u16 SEL_EXTRA_COLS = 5;      // added to the longest item
inline constexpr u16 SEL_LINE_LESS = 3;       // a list line is the cell less this
inline constexpr u16 SEL_BUTTON_SLOTS = 3;    // button heights an item needs to fit in one column

// `start`: the item a list box made for the box starts on (the first when out of range).
u16 select_box(rt::Str title, rt::Str items, u16 flags, u16 start = 1);

}  // namespace vx::scr
