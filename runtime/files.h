// Text files: a table of 40 handles over the system's files. Handles 0, 1 and 2 are the
// standard input, output and error streams. Lines written end with CR LF; lines read may
// end with CR LF or LF.
#pragma once

#include "runtime/str.h"

namespace vx::rt {

inline constexpr u16 FILE_HANDLES = 40;
inline constexpr u16 FILE_NAME_MAX = 383;
inline constexpr u16 FILE_WRITE_PIECE = 512;
inline constexpr u16 FILE_AT_END = 0xFFFF;     // write position "at the end"
inline constexpr int FILE_DELETE_FIRST = -2;   // file_write_all: delete the file first

enum FileMode : u16 {
    FM_READ = 0,
    FM_WRITE = 2,      // from the start
    FM_APPEND = 4,
    FM_NOUPDATE = 8,   // not opened for update
    FM_QUIET = 128,    // failures are not recorded
};

// The handle, or 168 when every handle is in use, 164 when the file cannot be opened,
// 163 for a bad name. Handles are below 40, so a result of 40 or more is an error code.
u16 file_open(Str name, u16 mode);
inline bool file_handle_ok(u16 h) { return h < FILE_HANDLES; }
Str file_read_line(u16 handle);           // error descriptor 130 at the end
u16 file_write(u16 handle, u16 position, Str text);  // bytes written, 65535 on failure
u16 file_write_line(u16 handle, Str text);           // text + CR LF at the end
// 0 or 131. Position FILE_DELETE_FIRST writes the file afresh, as file_replace_all does.
u16 file_write_all(Str name, int position, Str text);
// Replaces the file with text in one step (a new file that takes the name), so that a failed
// write leaves the old file whole: 0, 131 (detail: the name) or 163 for a bad name. With
// owner_only the file is private to its owner (0600).
u16 file_replace_all(Str name, Str text, bool owner_only);
bool file_at_end(u16 handle);
i64 file_size(u16 handle);
u16 file_close(u16 handle);
u16 file_delete(Str name);
bool file_exists(Str name);
void files_close_all();

// The next line of the INPUT file while one is open, else "".
Str input_next_line();

}  // namespace vx::rt
