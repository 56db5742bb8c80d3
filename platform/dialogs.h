// Standard dialogs of the window system: the modal message box and the file and folder
// choosers. They run on the application object of gui.h. Texts and paths are Windows-1252
// byte strings; the conversion to Qt happens inside.
#pragma once

#include <string>
#include <string_view>

namespace vx::platform {

// The application object (gui_init) for the callers that only show boxes.
bool app_ensure();

// True when a box shown now would reach a person (gui_interactive).
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

// One entry of a file dialog's list of filters: "Ficheros PDF (*.PDF)" and "*.PDF"; several
// patterns are separated by ";". Patterns match without regard to case.
struct FileFilter {
    std::string_view description;
    std::string_view pattern;
};

// The system's open (save false: an existing file) or save dialog, starting in folder (the
// current folder when empty) with the initial name (a pattern such as "VX*.PDF" only sets the
// filter). The chosen path, or "" when cancelled; *chosen_filter (when given) receives the
// index of the filter selected at the end, -1 when none was.
std::string file_dialog(bool save, std::string_view title, std::string_view folder,
                        std::string_view initial, const FileFilter* filters, int count,
                        int* chosen_filter = nullptr);
// The folder chooser: the chosen folder, or "" when cancelled.
std::string folder_dialog(std::string_view title, std::string_view start);

}  // namespace vx::platform
