// Controls of run-time windows on the character grid: labels, the edit field or check box of
// a form field, push and picture buttons, and field texts by field number.
//
// Identifiers: field n is control 1999 + n, the label at row r and column k is 4000 + r *
// (metrics grid width) + k, a push button carries its button number, and 3100 is the command
// that a list or button sends on Enter.
#pragma once

#include "screens/window.h"

namespace vx::scr {

inline constexpr u16 FIELD_ID_BASE = 1999;
inline constexpr u16 FIELDS_MAX = 1100;      // fields 1-1100: identifiers stay below 3100
inline constexpr u16 CMD_ENTER = 3100;
inline constexpr u16 LABEL_ID_BASE = 4000;
inline constexpr u16 BUTTON_MAX = 1999;      // button numbers 1-1999
inline constexpr u16 EDIT_MIN_PX = 15;
inline constexpr u16 AUX_CHECKBOXES = 16;    // _AUXSTAT bit: logical fields are check boxes
inline constexpr u16 COMPAT_NO_KEYS = 512;   // _COMPAT bit: controls keep their own keys

u16 field_id(u16 field);                // 0 for a field number outside 1-1100
u16 field_of_id(int id);                // 0 when id is no field's
u16 label_id(u16 row, u16 col);         // with the metrics' grid width

struct FieldSpec {
    u16 number = 0;       // 1-based
    u16 row = 0, col = 0;
    u16 width = 0;        // characters the field holds: the text limit
    u16 cells = 0;        // shown width in cells (0: width)
    char type = 'A';
    bool editable = true;
    bool frameless = false;  // the form has no frame: no edge, on top
};

// The edit field (or check box) of a field; 0, 163 for a bad number or window, 179 when the
// window system refuses.
u16 field_control_create(WinId w, const FieldSpec& f);
// A right-aligned label cells wide at a grid position.
u16 label_create(WinId w, u16 row, u16 col, u16 cells, Str text);
// A push button (a picture button when image names a loadable image file).
u16 button_create(WinId w, u16 number, u16 row, u16 col, u16 cells, Str text, Str image);

// Field texts by number; a check box reads "1" or "0" and takes "1" as ticked.
u16 field_set_text(WinId w, u16 field, Str text);
Str field_text(WinId w, u16 field);   // in the arena; 163 when there is no such field

}  // namespace vx::scr
