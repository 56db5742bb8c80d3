// The run-time environment (list 0 of the string store) and the command line.
//
// The command line is kept normalised in entry 1: keys may be written /KEY=value, -KEY,
// --KEY or KEY:value, and are read back by number (the key table below) or by name.
#pragma once

#include "runtime/str.h"

namespace vx::rt {

enum EnvEntry : u16 {
    ENV_LANGTEXTS = 0,  // mask parameters, NUL, month names and date pattern, NUL, blank
    ENV_CMDLINE = 1,
    ENV_APNAME = 2,     // "VXW01Q:Varnox": prefix, code, ':' and name
    ENV_APDESC = 3,
    ENV_LANG = 4,       // one of "EN,ES,FR,DE,IT"
    ENV_DATA = 5,       // data folder(s), comma-separated
    ENV_DOCS = 6,
    ENV_HELP = 7,
    ENV_FUNCLIST = 8,
    ENV_REPORT = 9,
    ENV_MASKS = 10,
    ENV_DB = 11,        // host, database, user, password
    ENV_DB2 = 12,
};

// Command-line keys by number.
enum CmdKey : u16 {
    KEY_HELP = 1, KEY_APNAME, KEY_APSTART, KEY_DPATH, KEY_SCRWID, KEY_SCRHIG, KEY_INPUT,
    KEY_OUTPUT, KEY_FILE, KEY_INDEX, KEY_DEVICE, KEY_RUN, KEY_MODE, KEY_TRACE, KEY_CONFIG,
    KEY_HOST, KEY_DATABASE, KEY_USER, KEY_PASSW,
};
inline constexpr const char* CMD_KEYS =
    "?;HELP,APNAME,APSTART,DPATH,SCRWID,SCRHIG,INPUT,OUTPUT,FILE,INDEX,DEVICE,RUN,MODE,TRACE,"
    "CONFIG,HOST,DATABASE,USER,PASSW";
inline constexpr const char* LANGUAGES = "EN,ES,FR,DE,IT";

Str env_get(u16 entry);
u16 env_set(u16 entry, Str text);

// Normalises a command line: trims, collapses blank runs outside quotes, and turns " --"
// and " -" into " /".
Str cmdline_normalise(Str line);
// The command line of an argument vector: the program, then the arguments joined with
// single blanks, normalised.
Str cmdline_from_args(int argc, const char* const* argv);

Str cmd_key(u16 number);                // cleaned value, "" when absent
Str cmd_key_named(Str name);            // the same for any key name
u16 cmd_key_in(u16 number, Str list);   // position of the key's value in a comma list
bool cmd_batch();                       // the BATCH key is present

Str app_prefix();                       // first two characters of the application id
u16 lang_index(Str code);               // 1-based in LANGUAGES, 0 when unknown

}  // namespace vx::rt
