// Text files by handle: opening by name and mode, reading lines, writing in pieces, and the
// INPUT file's next line. Failures of 128 and above are recorded with the file name.
#include "runtime/files.h"

#include <string>

#include "platform/os.h"
#include "runtime/arena.h"
#include "runtime/error.h"
#include "runtime/sysvars.h"

namespace vx::rt {

namespace {

constexpr u16 FIRST_USER_HANDLE = 3;
constexpr u16 HANDLE_STDIN = 0;
constexpr u16 HANDLE_STDOUT = 1;

struct Files {
    os::File* table[FILE_HANDLES] = {};
};

Files files;

os::File* handle_file(u16 h) {
    if (h >= FILE_HANDLES) return nullptr;
    if (!files.table[h]) {
        if (h == 0) files.table[0] = os::file_stdin();
        else if (h == 1) files.table[1] = os::file_stdout();
        else if (h == 2) files.table[2] = os::file_stderr();
    }
    return files.table[h];
}

u16 fail_open(u16 code, Str name, u16 mode) {
    if (mode & FM_QUIET) return code;
    fail_with_detail(code, name, false);
    return error_note(1, M_STREAMS, code, code);
}

// Opens a file for reading that may only exist under another case of its name.
os::File* open_existing(const char* path, os::Open how) {
    os::File* f = os::file_open(path, how);
    if (f || os::path_exists(path)) return f;
    std::string other = os::find_nocase(path);
    return other.empty() ? nullptr : os::file_open(other.c_str(), how);
}

// The system file for a mode. A file to be read for update that does not exist is created
// empty; one that exists but cannot be written is opened for reading only, so that a file
// the user may not write is never replaced by an empty one.
os::File* open_by_mode(const char* path, u16 mode) {
    bool update = !(mode & FM_NOUPDATE);
    if (mode & FM_WRITE) return os::file_open(path, update ? os::Open::WriteUpdate : os::Open::Write);
    if (mode & FM_APPEND) return os::file_open(path, update ? os::Open::AppendUpdate : os::Open::Append);
    if (!update) return open_existing(path, os::Open::Read);
    if (os::File* f = open_existing(path, os::Open::ReadUpdate)) return f;
    if (os::path_exists(path) || !os::find_nocase(path).empty()) return open_existing(path, os::Open::Read);
    return os::file_open(path, os::Open::WriteUpdate);
}

}  // namespace

u16 file_open(Str name, u16 mode) {
    if (!name.ok()) return str_error_code(name);
    if (name.n == 0 || name.n > FILE_NAME_MAX) return fail_open(E_DATA, name, mode);
    if (str_equal_nocase(name, S("CON"))) return (mode & (FM_WRITE | FM_APPEND)) ? HANDLE_STDOUT : HANDLE_STDIN;
    u16 h = FIRST_USER_HANDLE;
    while (h < FILE_HANDLES && files.table[h]) h++;
    if (h == FILE_HANDLES) return fail_open(E_DATAOUTBOUND, name, mode);
    TmpScope scope;
    os::File* f = open_by_mode(str_to_cstr(name), mode);
    if (!f) return fail_open(E_FILENOTFOUND, name, mode);
    files.table[h] = f;
    return h;
}

Str file_read_line(u16 handle) {
    os::File* f = handle_file(handle);
    if (!f) return str_error(E_BADFILENUMBER);
    Str room = tmp_free_space();
    if (!room.ok()) return room;
    char* w = str_mut(room);
    u32 cap = room.n < ARENA_MAX_ALLOC ? room.n : ARENA_MAX_ALLOC;
    u32 n = 0;
    int c = os::file_getc(f);
    if (c < 0) return str_error(E_DISKIO);
    // A line longer than the arena can hold is returned in pieces.
    while (c >= 0 && c != '\n' && n < cap) {
        w[n++] = char(c);
        if (n < cap) c = os::file_getc(f);
    }
    if (n && w[n - 1] == '\r' && c == '\n') n--;
    return tmp_alloc(n, NO_FILL);
}

u16 file_write(u16 handle, u16 position, Str text) {
    if (!text.ok()) return NOT_FOUND;
    os::File* f = handle_file(handle);
    if (!f) return NOT_FOUND;
    bool moved = position == FILE_AT_END ? os::file_seek_end(f) : os::file_seek(f, position);
    if (!moved && handle >= FIRST_USER_HANDLE) return NOT_FOUND;
    u16 done = 0;
    while (done < text.n) {
        u16 piece = text.n - done < FILE_WRITE_PIECE ? u16(text.n - done) : FILE_WRITE_PIECE;
        if (os::file_write(f, text.p + done, piece) != piece) return NOT_FOUND;
        done += piece;
    }
    if (!os::file_flush(f)) return NOT_FOUND;
    return done;
}

u16 file_write_line(u16 handle, Str text) {
    TmpScope scope;
    return file_write(handle, FILE_AT_END, str_concat(text, S("\r\n")));
}

u16 file_replace_all(Str name, Str text, bool owner_only) {
    if (!text.ok()) return str_error_code(text);
    if (!name.ok()) return str_error_code(name);
    if (name.n == 0 || name.n > FILE_NAME_MAX) return fail_open(E_DATA, name, 0);
    TmpScope scope;
    if (!os::file_replace(str_to_cstr(name), text.p, text.n, owner_only)) {
        fail_with_detail(E_FILEIO, name, false);
        return error_note(1, M_STREAMS, E_FILEIO, E_FILEIO);
    }
    return 0;
}

u16 file_write_all(Str name, int position, Str text) {
    if (!text.ok()) return str_error_code(text);
    // A file written afresh replaces the old one in one step: a write that fails half-way
    // leaves the old file, not an empty or cut one.
    if (position == FILE_DELETE_FIRST && !str_equal_nocase(name, S("CON")))
        return file_replace_all(name, text, false);
    u16 pos = position < 0 ? FILE_AT_END : u16(position);
    u16 h = file_open(name, pos == FILE_AT_END ? FM_APPEND : FM_READ);
    if (!file_handle_ok(h)) return E_FILEIO;
    u16 written = file_write(h, pos, text);
    file_close(h);
    return written == text.n ? 0 : E_FILEIO;
}

bool file_at_end(u16 handle) {
    os::File* f = handle_file(handle);
    return !f || os::file_at_end(f);
}

i64 file_size(u16 handle) {
    os::File* f = handle_file(handle);
    return f ? os::file_size(f) : -1;
}

u16 file_close(u16 handle) {
    if (handle >= FILE_HANDLES) return E_BADFILENUMBER;
    if (handle < FIRST_USER_HANDLE) {
        if (files.table[handle]) os::file_flush(files.table[handle]);
        return 0;
    }
    if (!files.table[handle]) return E_BADFILENUMBER;
    os::file_close(files.table[handle]);
    files.table[handle] = nullptr;
    return 0;
}

u16 file_delete(Str name) {
    if (!name.ok()) return str_error_code(name);
    TmpScope scope;
    return os::remove_file(str_to_cstr(name)) ? 0 : E_FILENOTFOUND;
}

bool file_exists(Str name) {
    if (!name.ok() || name.n == 0) return false;
    TmpScope scope;
    const char* p = str_to_cstr(name);
    return os::path_exists(p) || !os::find_nocase(p).empty();
}

void files_close_all() {
    for (u16 h = FIRST_USER_HANDLE; h < FILE_HANDLES; h++)
        if (files.table[h]) file_close(h);
}

Str input_next_line() {
    u16 h = u16(sysint_get(SV_INHND));
    if (h == 0 || !handle_file(h) || file_at_end(h)) return str_empty();
    Str line = file_read_line(h);
    return line.ok() ? line : str_empty();
}

}  // namespace vx::rt
