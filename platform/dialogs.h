// Standard dialogs of the window system: the application object they need and the modal
// message box. Texts are Windows-1252 byte strings; the conversion to Qt happens inside.
#pragma once

#include <string_view>

namespace vx::platform {

// Creates the process's application object on first use (with the offscreen platform when
// no display is named) and tells whether one exists. The window layer takes it over later.
bool app_ensure();

// True when a box shown now would reach a person: a display is named, the platform chosen
// is not a headless one and the application object exists.
bool dialogs_interactive();

enum class BoxIcon : unsigned char { None, Information, Warning, Error };

// Buttons of a message box, combined as bits. A box lays them out in the window system's
// order; the answer is the button pressed.
enum BoxButton : unsigned {
    BOX_OK = 1,
    BOX_CANCEL = 2,
    BOX_RETRY = 4,
    BOX_YES = 8,
    BOX_NO = 16,
    BOX_ABORT = 32,
    BOX_IGNORE = 64,
};

// Shows a modal message box over the active window and returns the button pressed;
// BOX_CANCEL when the box was closed without one (or no application object exists).
unsigned message_box(std::string_view text, std::string_view caption, BoxIcon icon,
                     unsigned buttons);

}  // namespace vx::platform
