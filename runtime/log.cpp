// The trace log file.
#include "runtime/log.h"

#include <cstring>

#include "runtime/arena.h"
#include "runtime/env.h"
#include "runtime/files.h"
#include "runtime/sysvars.h"

namespace vx::rt {

namespace {

constexpr u16 LOG_PATH_MAX = 512;

struct Log {
    char path[LOG_PATH_MAX + 1] = {};
    u16 len = 0;
};

Log lg;

}  // namespace

Str log_path() {
    if (lg.len) return Str{lg.path, lg.len};
    TmpScope scope;
    return scope.keep(str_concat(app_prefix(), S("log.txt")));
}

u16 log_start(Str name) {
    if (!name.ok()) return str_error_code(name);
    if (name.n == 0 || name.n > LOG_PATH_MAX) return 163;
    file_delete(name);
    std::memcpy(lg.path, name.p, name.n);
    lg.len = name.n;
    return 0;
}

u16 log_line(u16 bits, Str text) {
    if (!(u16(sysint_get(SV_TRACE)) & bits)) return 0;
    TmpScope scope;
    return file_write_all(log_path(), FILE_AT_END, str_concat(text, S("\r\n")));
}

void log_reset() { lg = Log{}; }

}  // namespace vx::rt
