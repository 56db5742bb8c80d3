// The viewer's menus: the default menu text, the built-in menus kept as messages, the
// temporary menu file written from them, and the choice of the menu a run starts from.
#pragma once

#include "runtime/str.h"

namespace vx::app {

using rt::Str;
using rt::u16;

// Menus that menu_file_write adds after its text, by flag.
enum MenuFileFlags : u16 {
    MENU_HELP = 1,        // "Ayuda", message 0120, task type Help
    MENU_REORG = 2,       // "Reorganizacion", message 0119, Reorg
    MENU_TRANSFER = 4,    // "Transacciones", message 0111, FileTrans
    MENU_FILES = 256,     // "Mantenimiento de Ficheros": one MantAuto entry per data file
    MENU_REPORTS = 512,   // "Informes", message 0110, Report
};

// The default menu as the built-in Spanish message 0135 gives it; a language's message file
// gives its own (default_menu_text).
inline constexpr const char* DEFAULT_MENU =
    "Informes Graficos\r\n"
    "\tCrear Nuevo Informe,Report\r\n"
    "\tModificar Informe,Report %APNAME%report.ppn,Edit\r\n"
    "\tInformes de Usuario,Report %APNAME%report.ppn\r\n";
inline constexpr const char* OWN_MENU_FILE = "VXMENU.PMT";
inline constexpr const char* OWN_MENU_FOLDERS = "..\\..\\..\\APPS";   // after the program's folder

// The default menu in the language in use: the lines of message 0135 (arena).
Str default_menu_text();

// Writes a temporary menu file (kind PMT, in the current folder) with text and then the menus
// of flags; its path, or an error descriptor (131 when it cannot be written).
Str menu_file_write(u16 flags, Str text);

// True when the menu file name (its first item) exists in the data folder as PMT or PPN.
bool menu_file_exists(Str name);

// The menu name of a written file: the path without its extension, "," and "1".
Str menu_name_of(Str path);

// The menu a run starts from: VXMENU.PMT (as named, in the program's folder, then in the
// APPS folder), else the APSTART key or prefix + "MENU" when that file exists in the data
// folder, else the default menu written to a temporary file whose path goes to *written
// (empty when nothing was written). "" when even that fails. Texts in the arena.
Str menu_choose(Str* written);

}  // namespace vx::app
