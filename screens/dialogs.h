// The system's file, folder and print dialogs as the run-time asks them, with their
// unattended form: when nobody can answer (unattended()), the answer is the next line of the
// INPUT file, and the dialog is written out like a message box ("[title] answer") to the
// OUTPUT file or standard error. An empty line, "\ESC" or the end of the input cancels.
#pragma once

#include "platform/canvas.h"
#include "runtime/str.h"

namespace vx::scr {

inline constexpr const char* ANSWER_ESC = "\\ESC";

// The open dialog (save false: an existing file) or the save dialog. filters is a comma list
// of descriptions and patterns, two items per entry ("Ficheros PDF (*.PDF),*.PDF,Todos
// (*.*),*.*"); folder "" is the current folder; initial may be a pattern. The chosen path in
// the arena, or "" when cancelled. *chosen_filter (when given) receives the number (from 1)
// of the filter entry in force when the dialog closed; unattended, that of the first entry
// whose pattern takes the answer's extension; 0 when there is none.
rt::Str ask_file(bool save, rt::Str title, rt::Str folder, rt::Str initial, rt::Str filters,
                 rt::u16* chosen_filter = nullptr);
// The folder chooser: the chosen folder, or "".
rt::Str ask_folder(rt::Str title, rt::Str start);
// The print dialog for a document of the given name: the job, or null when cancelled.
// Unattended, the input line names the PDF file that the document is printed into.
// *chosen (when given) is set when a printer or file was chosen, so that a null job then
// means that it could not be printed on.
platform::PrintJob* ask_printer(rt::Str document, bool landscape, bool* chosen = nullptr);

}  // namespace vx::scr
