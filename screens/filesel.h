// The file dialogs as the run-time asks for them: the open or save dialog filtered by one of
// the run-time's file kinds (structures, screens, print templates, procedures, application
// selections, menus, PDF and text files), and the raw form with a filter of the caller's.
// Both are the system dialogs of screens/dialogs.h, with their unattended form.
#pragma once

#include "runtime/str.h"

namespace vx::scr {

// The second argument of file_dialog: the file kind in the low 6 bits and two flags.
enum FileDialogBits : rt::u16 {
    FD_KIND = 63,
    FD_PREFIX = 64,        // patterns begin with the application prefix
    FD_KEEP_FOLDER = 128,  // the current folder is the same afterwards
};

inline constexpr const char* ANY_PREFIX = "??";  // any two-character application prefix

// The chosen path in the arena, or "" when cancelled (or longer than the run-time's file
// names, FILE_NAME_MAX).
rt::Str file_dialog(bool save, rt::u16 kind_flags);
// initial: the name shown first (a pattern only selects the filter; "" for none); pattern:
// used as the name and as the only filter when the others are missing; filter: a comma list
// of descriptions and patterns, two items per entry.
rt::Str file_dialog_raw(bool save, rt::Str initial, rt::Str pattern, rt::Str filter);

// What file_dialog hands to the dialog: the filter ("Ficheros PDF (*.PDF),*.PDF,Todos
// (*.*),*.*") and the initial name ("VX*.PDF").
rt::Str file_dialog_filter(rt::u16 kind_flags);
rt::Str file_dialog_initial(rt::u16 kind_flags);

}  // namespace vx::scr
