// varnox, the SQL chart viewer: its identity, its start-up hook (log in, data folders,
// parameter files), its task handler (Report, Help) and its entry point.
#pragma once

#include "runtime/str.h"

namespace vx::app {

using rt::Str;
using rt::u16;
using rt::u32;

inline constexpr const char* VIEWER_ID = "VXW01Q:Varnox";
inline constexpr const char* VIEWER_DESCRIPTION = "Visor gr\xE1" "fico SQL";
inline constexpr u16 VIEWER_FLAGS = 6;
inline constexpr u16 VIEWER_ARENA_KB = 512;

// Bits the viewer sets.
inline constexpr u16 AUXSTAT_VIEWER = 16;          // _AUXSTAT: the viewer runs
inline constexpr u16 AUXSTAT_DATA_FOLDERS = 1024;  // _AUXSTAT: data folders from the login
inline constexpr u16 UPSTAT_STARTED = 64;          // _UPSTAT: stage 2 is over

// The parameter files read at stage 2, in order, from the data folder.
inline constexpr const char* PARAMETER_FILES[] = {
    "%APNAME%PARINI.%DATABASE_HOST%.DAT",
    "%APNAME%CLCUSR.%DATABASE_HOST%.%DATABASE_DBNAME%.DAT",
    "%APNAME%CLCUSR.%DATABASE_HOST%.%DATABASE_DBNAME%.%DATABASE_USER%.DAT",
    "%APNAME%CLCFIX.%DATABASE_HOST%.%DATABASE_DBNAME%.DAT",
};

// The start-up hook: stage 1 nothing, stage 2 log in and read the parameters, stage 3 close
// the database connections.
u16 viewer_stage(u16 code);
// The task handler: Report and Help; every other known type does nothing (0); an unknown
// type name ends with 163.
u16 viewer_task(u32 request, Str args);
// The Report task. "file": the titled definitions of the file (found in the data folder) are
// offered in a selection box, except those kept out of menus, and the chosen one runs, again
// until the user chooses none (0); 127 is shown and the loop goes on, 128 and above end it
// and are returned. "file,word": every titled definition is offered, and the chosen one is
// edited with the configuration forms and written back under its number, again until the
// user chooses none. No argument: the configuration forms, then a new definition in the
// application's definition file of the data folder. More items: 163; a file not found:
// message 0007 and 0. Configuration forms cancelled end quietly with 0.
u16 viewer_report(Str args);
// The Help task. With arguments the About box. Without, the help address the user set (the
// HELPURL key of the command line, else the string variable HELPURL$ that a parameter file
// may assign) in the browser; without one, or when the browser cannot be started, the local
// help page, or a box that says why there is none to show. 0.
u16 viewer_help(Str args);
inline constexpr const char* HELP_ADDRESS_KEY = "HELPURL";
inline constexpr const char* HELP_ADDRESS_VARIABLE = "HELPURL$";

// Stage 2 without the login: the data folders from host and database (items 1 and 2 of
// environment entry 11), then the parameter files. The first error met.
u16 viewer_prepare();
// The working folder for a host and database: host/database/datas, each name made safe to
// be one folder name ("/", "\" and ".." cannot lead elsewhere).
Str viewer_work_folder(Str host, Str database);

// The entry point: the program's exit code.
int viewer_main(int argc, const char* const* argv);

}  // namespace vx::app
