// The simple backends of the device layer: files and printer ports (buffered system files),
// the screen's collection file and its showing, and raw jobs of the print spooler.
#include <algorithm>
#include <array>
#include <string_view>

#include "output/device_impl.h"
#include "platform/cp1252.h"
#include "platform/os.h"
#include "platform/spooler.h"
#include "runtime/arena.h"
#include "runtime/env.h"
#include "runtime/error.h"
#include "runtime/files.h"
#include "runtime/paths.h"

namespace vx::out {

using namespace vx::rt;

namespace {

constexpr u16 FILE_SLOTS = 16;
constexpr u16 SPOOL_SLOTS = 4;
constexpr const char* PRINT_FILE = "unixprn.txt";
constexpr const char* PRINT_FILE_NAMES = "lp0,lp1,lp2,usb0,usb1,usb2,usb3,usb4";
constexpr const char* KEPT_EXTENSIONS = "log,out";  // plain files written at their end
constexpr const char* TEMP_VARIABLE = "TEMP";
constexpr const char* COLLECTION_SUFFIX = ".txt";
constexpr std::size_t SHOW_PIECE = 4096;
constexpr u16 HANDLE_STDERR = 2;

struct Tables {
    std::array<os::File*, FILE_SLOTS> files{};
    std::array<bool, FILE_SLOTS> failed{};  // a write to the file was refused
    std::array<os::SpoolJob*, SPOOL_SLOTS> jobs{};
    ReportWindowFn report_window = nullptr;
};

Tables tb;

Str view(const std::string& s) { return str_view(s.data(), u16(std::min<size_t>(s.size(), MAX_STR))); }

template <typename T, std::size_t N>
u16 free_slot(const std::array<T*, N>& table) {
    for (u16 i = 0; i < N; i++)
        if (!table[i]) return i;
    return DEVICE_NO_HANDLE;
}

os::File* file_of(const Device& d) { return d.handle < FILE_SLOTS ? tb.files[d.handle] : nullptr; }

// ---- Files and printer ports ----

std::string file_path(const Device& d) {
    TmpScope scope;
    bool named_port = list_find(str_from_cstr(PRINT_FILE_NAMES), ',', view(d.path)) != 0;
    bool to_file = (d.kind & DEV_PRINTER) && print_to_file();
    return named_port || to_file ? PRINT_FILE : d.path;
}

bool kept_at_end(const Device& d) {
    if (d.kind != (DEV_FILE | DEV_ALWAYS)) return false;
    TmpScope scope;
    Str ext = str_lower(path_part(view(d.path), PART_EXT));
    return list_find(str_from_cstr(KEPT_EXTENSIONS), ',', ext) != 0;
}

// A file written afresh is deleted first; a device node, pipe or folder never is.
void remove_old(const std::string& path) {
    if (os::is_dir(path.c_str()) || os::is_device_node(path.c_str())) return;
    os::remove_file(path.c_str());
}

u16 open_system_file(Device& d, u16 fail_code) {
    u16 slot = free_slot(tb.files);
    if (slot == DEVICE_NO_HANDLE) return device_fail(E_DATAOUTBOUND, d.path);
    os::File* f = os::file_open(d.path.c_str(), os::Open::Append);
    if (!f) return device_fail(fail_code, d.path);
    tb.files[slot] = f;
    tb.failed[slot] = false;
    d.handle = slot;
    return 0;
}

u16 file_open(Device& d, Str) {
    d.path = file_path(d);
    if (!kept_at_end(d)) remove_old(d.path);
    return open_system_file(d, E_FILEIO);
}

// A refused write (a full disk) is remembered: the flush and the close report it too, so
// a writer that goes on to the end without looking still learns of it.
u16 emit_to_file(Device& d, const char* bytes, std::size_t n, u16 fail_code) {
    os::File* f = file_of(d);
    if (f && os::file_write(f, bytes, n) == n) return 0;
    if (f) tb.failed[d.handle] = true;
    return device_fail(fail_code, d.path);
}

u16 file_emit(Device& d, const char* bytes, std::size_t n) { return emit_to_file(d, bytes, n, E_FILEIO); }

u16 flush_to_file(Device& d, u16 fail_code) {
    os::File* f = file_of(d);
    if (!f) return 0;
    if (!os::file_flush(f)) tb.failed[d.handle] = true;
    return tb.failed[d.handle] ? device_fail(fail_code, d.path) : u16(0);
}

u16 file_flush(Device& d) { return flush_to_file(d, E_FILEIO); }
u16 screen_flush(Device& d) { return flush_to_file(d, E_DISKIO); }

u16 close_system_file(Device& d, u16 fail_code) {
    os::File* f = file_of(d);
    if (!f) return 0;
    u16 rc = flush_to_file(d, fail_code);
    os::file_close(f);
    tb.files[d.handle] = nullptr;
    return rc;
}

// A file written afresh that could not be written whole, or whose writer gave it up, is
// removed, so that no cut report passes for a whole one; a growing file (.log, .out) keeps
// what it got, and a device node, pipe or folder is never removed.
u16 file_close(Device& d) {
    u16 rc = close_system_file(d, E_FILEIO);
    if ((rc || d.discard) && !kept_at_end(d)) remove_old(d.path);
    return rc;
}

// ---- The screen: a private collection file ----

u16 screen_open(Device& d, Str) {
    std::string dir = temp_folder();
    std::string made = os::make_temp_file(dir.c_str(), COLLECTION_SUFFIX);
    if (made.empty()) return device_fail(E_DISKIO, dir);
    d.path = dir + "/" + made;
    return open_system_file(d, E_DISKIO);
}

u16 screen_emit(Device& d, const char* bytes, std::size_t n) { return emit_to_file(d, bytes, n, E_DISKIO); }

u16 screen_close(Device& d) {
    u16 rc = close_system_file(d, E_DISKIO);
    os::remove_file(d.path.c_str());
    return rc;
}

}  // namespace

u16 screen_write_out(const std::string& path) {
    os::File* in = os::file_open(path.c_str(), os::Open::Read);
    if (!in) return device_fail(E_DISKIO, path);
    TmpScope scope;
    Str output = cmd_key(KEY_OUTPUT);
    u16 h = output.ok() && output.n ? rt::file_open(output, FM_APPEND | FM_QUIET) : HANDLE_STDERR;
    if (!file_handle_ok(h)) h = HANDLE_STDERR;
    char buf[SHOW_PIECE];
    bool written = true;
    for (std::size_t got; written && (got = os::file_read(in, buf, sizeof buf)) > 0;) {
        std::string piece(buf, got);
        if (h == HANDLE_STDERR) piece = platform::cp1252_to_utf8(piece);
        for (std::size_t at = 0; written && at < piece.size(); at += FILE_WRITE_PIECE) {
            u16 n = u16(std::min<std::size_t>(FILE_WRITE_PIECE, piece.size() - at));
            written = rt::file_write(h, FILE_AT_END, str_view(piece.data() + at, n)) == n;
        }
    }
    os::file_close(in);
    rt::file_close(h);
    if (written) return 0;
    // The text did not reach its reader (a full disk under the OUTPUT file).
    return h == HANDLE_STDERR ? device_fail(E_DISKIO, std::string("stderr")) : device_fail(E_DISKIO, output);
}

namespace {

// ---- The spooler ----

os::SpoolJob* job_of(const Device& d) { return d.handle < SPOOL_SLOTS ? tb.jobs[d.handle] : nullptr; }

u16 spool_open(Device& d, Str title) {
    u16 slot = free_slot(tb.jobs);
    if (slot == DEVICE_NO_HANDLE) return device_fail(E_DATAOUTBOUND, d.name);
    os::SpoolOpen why;
    os::SpoolJob* job = os::spool_open(d.name, std::string_view(title.p, title.n), &why);
    d.path = d.name;
    switch (why) {
    case os::SpoolOpen::Ok: break;
    case os::SpoolOpen::NoDefault: return device_fail(E_INTERNAL, d.name);
    case os::SpoolOpen::NoPrinter: return device_fail(E_DATA, d.name);
    case os::SpoolOpen::Failed: return device_fail(E_DEVICEIO, d.name);
    }
    tb.jobs[slot] = job;
    d.handle = slot;
    return 0;
}

u16 spool_emit(Device& d, const char* bytes, std::size_t n) {
    return os::spool_write(job_of(d), bytes, n) ? 0 : device_fail(E_DEVICEIO, d.name);
}

// A job given up (dev_discard) is cancelled: half a report never reaches the paper.
u16 spool_close(Device& d) {
    os::SpoolJob* job = job_of(d);
    if (!job) return 0;
    tb.jobs[d.handle] = nullptr;
    if (d.discard) {
        os::spool_cancel(job);
        return 0;
    }
    return os::spool_close(job) ? 0 : device_fail(E_DEVICEIO, d.name);
}

}  // namespace

bool file_write_whole(const std::string& path, const std::string& bytes) {
    return os::file_replace(path.c_str(), bytes.data(), bytes.size(), false);
}

const Backend& backend_file() {
    static const Backend b{file_open, file_emit, file_flush, file_close};
    return b;
}

const Backend& backend_screen() {
    static const Backend b{screen_open, screen_emit, screen_flush, screen_close};
    return b;
}

const Backend& backend_spool() {
    static const Backend b{spool_open, spool_emit, nullptr, spool_close};
    return b;
}

std::string temp_folder() {
    std::string dir = os::env_var(TEMP_VARIABLE);
    return dir.empty() ? os::temp_dir() : dir;
}

void report_window_set(ReportWindowFn fn) { tb.report_window = fn; }

u16 screen_show(Device& d) {
    if (!tb.report_window) return screen_write_out(d.path);
    TmpScope scope;
    return tb.report_window(view(d.path));
}

void backends_release_all() {
    for (os::SpoolJob*& job : tb.jobs) {
        if (job) os::spool_close(job);
        job = nullptr;
    }
    for (os::File*& f : tb.files) {
        if (f) os::file_close(f);
        f = nullptr;
    }
}

}  // namespace vx::out
