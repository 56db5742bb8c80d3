// Files, folders, paths, environment and clock on POSIX.
//
// Files are stdio streams opened in binary mode. Paths given by the run-time may carry "\"
// as separator (texts written for Windows); native_path() turns it into "/" before any call
// reaches the system.
#include "platform/os.h"

#include "platform/process.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

namespace vx::os {

struct File {
    FILE* fp;
    bool standard;
};

namespace {

constexpr const char* VIEWER_PROGRAM = "xdg-open";

File std_in{nullptr, true};
File std_out{nullptr, true};
File std_err{nullptr, true};

const char* open_mode(Open how) {
    static const char* const modes[] = {"rb", "r+b", "wb", "w+b", "ab", "a+b"};
    return modes[static_cast<int>(how)];
}

bool same_nocase(const char* a, const char* b) { return strcasecmp(a, b) == 0; }

// The entry of folder dir whose name equals name without regard to case, or "".
std::string match_in_dir(const std::string& dir, const std::string& name) {
    DIR* d = opendir(dir.empty() ? "." : dir.c_str());
    if (!d) return "";
    std::string found;
    while (dirent* e = readdir(d)) {
        if (same_nocase(e->d_name, name.c_str())) {
            found = e->d_name;
            break;
        }
    }
    closedir(d);
    return found;
}

}  // namespace

File* file_open(const char* path, Open how) {
    std::string p = native_path(path);
    FILE* fp = std::fopen(p.c_str(), open_mode(how));
    if (!fp) return nullptr;
    return new File{fp, false};
}

File* file_stdin() { return std_in.fp = stdin, &std_in; }
File* file_stdout() { return std_out.fp = stdout, &std_out; }
File* file_stderr() { return std_err.fp = stderr, &std_err; }

void file_close(File* f) {
    if (!f) return;
    if (f->standard) {
        std::fflush(f->fp);
        return;
    }
    std::fclose(f->fp);
    delete f;
}

std::size_t file_read(File* f, void* buf, std::size_t n) { return std::fread(buf, 1, n, f->fp); }

std::size_t file_write(File* f, const void* buf, std::size_t n) {
    return std::fwrite(buf, 1, n, f->fp);
}

int file_getc(File* f) {
    int c = std::getc(f->fp);
    return c == EOF ? -1 : c;
}

bool file_seek(File* f, std::int64_t pos) { return fseeko(f->fp, pos, SEEK_SET) == 0; }
bool file_seek_end(File* f) { return fseeko(f->fp, 0, SEEK_END) == 0; }
std::int64_t file_tell(File* f) { return ftello(f->fp); }

bool file_at_end(File* f) {
    int c = std::getc(f->fp);
    if (c == EOF) return true;
    std::ungetc(c, f->fp);
    return false;
}

std::int64_t file_size(File* f) {
    struct stat st;
    std::fflush(f->fp);
    if (fstat(fileno(f->fp), &st) != 0) return -1;
    return st.st_size;
}

bool file_flush(File* f) { return std::fflush(f->fp) == 0; }

bool file_sync(File* f) {
    return std::fflush(f->fp) == 0 && fsync(fileno(f->fp)) == 0;
}

std::string native_path(const char* path) {
    std::string p = path ? path : "";
    std::replace(p.begin(), p.end(), '\\', '/');
    return p;
}

bool path_exists(const char* path) {
    struct stat st;
    return stat(native_path(path).c_str(), &st) == 0;
}

bool is_dir(const char* path) {
    struct stat st;
    return stat(native_path(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool is_device_node(const char* path) {
    struct stat st;
    if (stat(native_path(path).c_str(), &st) != 0) return false;
    return S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode);
}

bool remove_file(const char* path) { return std::remove(native_path(path).c_str()) == 0; }

bool make_dir(const char* path) {
    std::string p = native_path(path);
    if (mkdir(p.c_str(), 0777) == 0) return true;
    return errno == EEXIST && is_dir(p.c_str());
}

bool rename_file(const char* from, const char* to) {
    return std::rename(native_path(from).c_str(), native_path(to).c_str()) == 0;
}

namespace {

// The mode a replacing file takes: private, the old file's, or that of a new file.
mode_t replacing_mode(const std::string& path, bool owner_only) {
    if (owner_only) return 0600;
    struct stat old;
    if (stat(path.c_str(), &old) == 0) return old.st_mode & 07777;
    mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

bool write_all(int fd, const char* p, std::size_t n) {
    while (n) {
        ssize_t w = write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= std::size_t(w);
    }
    return true;
}

// Writes a new file beside path through fill(fd), then gives it the name. The temporary
// file is removed on any failure.
template <typename Fill>
bool replace_with(const std::string& path, bool owner_only, Fill fill) {
    std::size_t slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    if (base.empty()) return false;
    std::string tmp = dir + "." + base + ".XXXXXX";
    std::vector<char> name(tmp.begin(), tmp.end());
    name.push_back('\0');
    int fd = mkstemp(name.data());
    if (fd < 0) return false;
    bool ok = fchmod(fd, replacing_mode(path, owner_only)) == 0 && fill(fd) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    ok = ok && std::rename(name.data(), path.c_str()) == 0;
    if (!ok) unlink(name.data());
    return ok;
}

}  // namespace

bool file_replace(const char* path, const void* data, std::size_t n, bool owner_only) {
    return replace_with(native_path(path), owner_only,
                        [&](int fd) { return write_all(fd, static_cast<const char*>(data), n); });
}

bool file_copy(const char* from, const char* to, bool owner_only) {
    int in = open(native_path(from).c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    bool ok = replace_with(native_path(to), owner_only, [&](int fd) {
        std::vector<char> buf(1 << 16);
        for (;;) {
            ssize_t r = read(in, buf.data(), buf.size());
            if (r < 0 && errno == EINTR) continue;
            if (r < 0) return false;
            if (r == 0) return true;
            if (!write_all(fd, buf.data(), std::size_t(r))) return false;
        }
    });
    close(in);
    return ok;
}

bool same_file(const char* a, const char* b) {
    struct stat sa, sb;
    if (stat(native_path(a).c_str(), &sa) != 0 || stat(native_path(b).c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool wait_readable(int fd, int timeout_ms) {
    if (fd < 0) return false;
    pollfd p{fd, POLLIN, 0};
    int n;
    do n = poll(&p, 1, timeout_ms); while (n < 0 && errno == EINTR);
    return n > 0;
}

std::string find_nocase(const char* path) {
    std::string p = native_path(path);
    if (p.empty()) return "";
    // Walk the components, matching each one that does not exist as written.
    std::string done = p[0] == '/' ? "/" : "";
    std::size_t i = done.size();
    while (i <= p.size()) {
        std::size_t j = p.find('/', i);
        if (j == std::string::npos) j = p.size();
        std::string comp = p.substr(i, j - i);
        if (!comp.empty()) {
            std::string dir = done.empty() ? "" : done;
            std::string cand = dir + comp;
            if (comp != "." && comp != ".." && !path_exists(cand.c_str())) {
                std::string m = match_in_dir(dir.empty() ? "." : dir, comp);
                if (m.empty()) return "";
                cand = dir + m;
            }
            done = cand;
            if (j < p.size()) done += '/';
        }
        i = j + 1;
    }
    return path_exists(done.c_str()) ? done : "";
}

std::string make_temp_file(const char* dir, const char* suffix) {
    std::string d = native_path(dir);
    std::string name = "vx" + std::string("XXXXXX") + (suffix ? suffix : "");
    std::string full = (d.empty() ? std::string() : d + "/") + name;
    std::vector<char> buf(full.begin(), full.end());
    buf.push_back('\0');
    int sl = static_cast<int>(std::strlen(suffix ? suffix : ""));
    int fd = mkstemps(buf.data(), sl);
    if (fd < 0) return "";
    close(fd);
    std::string made(buf.data());
    return d.empty() ? made : made.substr(d.size() + 1);
}

std::string temp_dir() {
    const char* t = std::getenv("TMPDIR");
    return t && *t ? t : "/tmp";
}

std::string current_dir() {
    char buf[4096];
    return getcwd(buf, sizeof buf) ? buf : "";
}

bool change_dir(const char* path) { return chdir(native_path(path).c_str()) == 0; }

std::string program_path() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "";
    return std::string(buf, static_cast<std::size_t>(n));
}

std::string list_matching(const char* dir, const char* pattern, char sep) {
    std::vector<std::string> names;
    std::string folder = *dir ? native_path(dir) : ".";
    DIR* d = opendir(folder.c_str());
    if (!d) return "";
    // Files only: "." and "..", folders, devices and pipes are never offered. A name holding
    // the separator or a quote would not come out of the list as one item.
    auto regular = [&](const char* name) {
        struct stat st;
        std::string path = folder + "/" + name;
        return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    };
    while (dirent* e = readdir(d)) {
        if (std::strpbrk(e->d_name, "'\"") || (sep && std::strchr(e->d_name, sep))) continue;
        if (fnmatch(pattern, e->d_name, FNM_CASEFOLD) != 0) continue;
        if (regular(e->d_name)) names.emplace_back(e->d_name);
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    std::string out;
    for (const auto& n : names) {
        if (!out.empty()) out += sep;
        out += n;
    }
    return out;
}

std::string env_var(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

bool env_has(const char* name) { return std::getenv(name) != nullptr; }

bool display_available() {
    auto set = [](const char* n) { const char* v = std::getenv(n); return v && *v; };
    return set("DISPLAY") || set("WAYLAND_DISPLAY");
}

// The viewer runs in a grandchild, so that nobody has to wait for it; the child reports
// through its exit status whether the exec went through.
bool open_with_viewer(const char* path) {
    if (!path || !*path) return false;
    return process_start({VIEWER_PROGRAM, path});
}

DateTime now_local() {
    using namespace std::chrono;
    auto now = system_clock::now();
    std::time_t t = system_clock::to_time_t(now);
    std::tm tm{};
    localtime_r(&t, &tm);
    int ms = static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    return DateTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                    tm.tm_sec, ms};
}

bool file_changed_at(const char* path, DateTime* out) {
    struct stat st {};
    if (!path || !out || stat(native_path(path).c_str(), &st) != 0) return false;
    std::tm tm{};
    std::time_t t = st.st_mtime;
    if (!localtime_r(&t, &tm)) return false;
    *out = DateTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                    tm.tm_sec, static_cast<int>(st.st_mtim.tv_nsec / 1000000)};
    return true;
}

std::int64_t monotonic_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace vx::os
