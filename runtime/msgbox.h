// Message boxes, the yes/no question and the About box.
//
// A box is shown by the window system when a person can answer it. With the BATCH key, or
// when no display is there, it is written out instead (to the OUTPUT file, else standard
// error) and its first button answers.
#pragma once

#include "runtime/str.h"

namespace vx::rt {

// Kinds of box: default caption, icon and buttons.
enum BoxKind : u16 {
    BOX_INFO = 0,         // information, OK
    BOX_WARNING = 1,      // warning, OK
    BOX_OKCANCEL = 2,     // information, OK and Cancel
    BOX_ERROR = 3,        // error, OK
    BOX_RETRYCANCEL = 4,  // error, Retry and Cancel
    BOX_YESNO = 5,        // information, Yes and No
    BOX_YESNOCANCEL = 6,  // information, Yes, No and Cancel
};

// Answers: the first letter of the yes word of message 0011 ('S') for OK, Retry and Yes, the
// first letter of its no word ('N') for No, and ANSWER_CANCEL for Cancel, Abort and Ignore.
inline constexpr u16 ANSWER_CANCEL = 3;
inline constexpr u16 NO_CODE = 0xFFFF;  // a box that shows no error code
inline constexpr u16 ABOUT_MAX = 1024;  // bytes of the About text

u16 msg_box(Str text, Str caption, u16 kind);
// The same for the message of an error code; written out, the box names the code.
u16 msg_box_code(Str text, Str caption, u16 kind, u16 code);
bool msg_ask(Str text);           // a yes/no box; true for yes
u16 msg_answer(unsigned button);  // the answer of a window-system button

// The About text and box: see about_text in msgbox.cpp for the layout.
Str about_text(Str value);
u16 about_show(Str value);

}  // namespace vx::rt
