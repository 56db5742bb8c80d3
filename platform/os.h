// The operating-system side of the run-time: files, folders, paths, the process
// environment and the clock. Everything above this folder reaches the system through these
// functions only. Paths are byte strings; a "\" in them is taken as a folder separator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vx::os {

// ---- Files (buffered byte streams) ----
struct File;  // opaque

enum class Open {
    Read,         // existing file, reading only
    ReadUpdate,   // existing file, reading and writing from the start
    Write,        // created or truncated, writing only
    WriteUpdate,  // created or truncated, reading and writing
    Append,       // created when missing, writing at the end
    AppendUpdate, // created when missing, reading anywhere, writing at the end
};

File* file_open(const char* path, Open how);
File* file_stdin();
File* file_stdout();
File* file_stderr();
void file_close(File* f);                       // the standard streams are only flushed
std::size_t file_read(File* f, void* buf, std::size_t n);
std::size_t file_write(File* f, const void* buf, std::size_t n);
int file_getc(File* f);                         // next byte, -1 at the end
bool file_seek(File* f, std::int64_t pos);      // from the start
bool file_seek_end(File* f);
std::int64_t file_tell(File* f);
bool file_at_end(File* f);                      // no byte left to read
std::int64_t file_size(File* f);
bool file_flush(File* f);
bool file_sync(File* f);  // flushed and on the disk

// ---- Names in the file system ----
std::string native_path(const char* path);      // "\" becomes "/"
bool path_exists(const char* path);             // file or folder
bool is_dir(const char* path);
// A device, pipe or socket (after following links): something to write to, never to delete.
bool is_device_node(const char* path);
bool remove_file(const char* path);
bool make_dir(const char* path);                // one level; true when it exists afterwards
bool rename_file(const char* from, const char* to);
// Replaces the file at path with n bytes in one step: they go to a new file in the same
// folder, which then takes the name, so a write that fails leaves the old file as it was and
// no other file behind. The file keeps the old one's permissions (a new one gets the usual
// ones); with owner_only it is readable and writable by its owner only (0600). A symbolic
// link at the name is replaced, never followed.
bool file_replace(const char* path, const void* data, std::size_t n, bool owner_only);
// Copies the file `from` over `to` the same way: `to` is never emptied first, so copying a
// file onto itself under another spelling leaves it whole. False when either side fails.
bool file_copy(const char* from, const char* to, bool owner_only);
// Whether two names lead to one file (links, "./" and "//" followed); false when either is
// missing.
bool same_file(const char* a, const char* b);
// Waits until the descriptor has something to read, at most timeout_ms; false on timeout.
bool wait_readable(int fd, int timeout_ms);
// The name of an existing entry that matches path without regard to case in its last
// component (and in each folder component), or "" when none matches.
std::string find_nocase(const char* path);
// Creates a new empty file named dir/<unique><suffix> race-free and returns its name
// relative to dir, or "" on failure.
std::string make_temp_file(const char* dir, const char* suffix);
std::string temp_dir();                         // $TMPDIR or /tmp
std::string current_dir();
bool change_dir(const char* path);
std::string program_path();                     // absolute path of the running program
// Names of the regular files of a folder that match a shell pattern (any case), in byte
// order, joined by sep; names holding sep or a quote are left out.
std::string list_matching(const char* dir, const char* pattern, char sep);

// ---- Process ----
std::string env_var(const char* name);          // "" when unset
bool env_has(const char* name);
bool display_available();                       // an X11 or Wayland display is named
// Opens a file or an address with the desktop's viewer (xdg-open) in a process of its own,
// without a shell and without waiting for it: true when the viewer was started.
bool open_with_viewer(const char* path);

// ---- Clock ----
struct DateTime {
    int year, month, day, hour, minute, second, millis;
};
DateTime now_local();
// Local date and time of the last change of a file; false when there is no such file.
bool file_changed_at(const char* path, DateTime* out);
std::int64_t monotonic_ms();

}  // namespace vx::os
