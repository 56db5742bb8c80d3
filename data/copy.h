// Whole-table maintenance: copying every table to files and one table back from a file with
// the server's COPY statement (through the server-paths file that tells where the server's
// folder is seen from this machine), and rebuilding the indexes of one table. The windows
// these tasks need (forms, choosers, the progress display) come through CopyUi, which the
// window layer fills; without it every choice counts as cancelled.
#pragma once

#include "data/sql.h"

namespace vx::data {

inline constexpr const char* SERVER_PATHS_FILE = "ServerPaths.dat";
inline constexpr const char* BACKUP_FOLDER = "Backups";
inline constexpr u16 SERVER_PATHS_MAX = 4000;   // bytes of the server-paths file kept
enum CopyMode : u16 { COPY_SAVE_ALL = 0, COPY_LOAD_ONE = 1, COPY_EDIT_PATHS = 2 };
inline constexpr u16 REINDEX_STEPS = 4;
inline constexpr u16 REINDEX_RUNS = 2;

using ProgressStep = void (*)();

struct CopyUi {
    // The accept form of definition: the captured values (comma list of quoted items).
    u16 (*form)(Str title, Str definition, Str* values, bool* confirmed) = nullptr;
    Str (*choose_folder)(Str start, Str title) = nullptr;   // "" when cancelled
    Str (*choose_file)() = nullptr;                         // open-file dialog, "" when cancelled
    u16 (*choose_item)(Str title, Str items) = nullptr;     // 1-based, 0 when cancelled
    void (*progress_open)(u32 total) = nullptr;
    void (*progress_step)() = nullptr;
    void (*progress_close)() = nullptr;
    QueryProgressHook poll = nullptr;                       // the query progress hook during copies
};
void copy_ui_set(const CopyUi& ui);
const CopyUi& copy_ui();
ProgressStep copy_step();   // the display's step, or one that does nothing

// The two-folder list (server folder, shared folder; quoted items) of the current host,
// asking with a form when mode is 2 or nothing is stored; "" when cancelled.
Str server_paths(u16 mode);
// True when name can be a file name inside a folder: not empty, no separator, no NUL, not
// "." or "..".
bool copy_name_safe(Str name);
// One table (1-based in sql_table_list) between the server and local_folder.
u16 copy_table(u16 table, Str local_folder, u16 mode, ProgressStep step);
u16 copy_task(u16 mode);
u16 reindex_table(u16 file, ProgressStep step);
u16 reindex_task();
// Serves the Copy and Reorg tasks.
void copy_install();

}  // namespace vx::data
