// The trace log, dated records and assertions.
//
// The log path lives in the string store (list 9, entry 10), so a new start of the run-time
// begins with the default path. A record is
//   *****************************
//    Date:<date> - Time:HH:MM:SS - User:0
//   <text>
//   **********************
//   (empty line)
// with CR LF line ends.
#include "runtime/log.h"

#include <cstdlib>

#include "platform/os.h"
#include "runtime/arena.h"
#include "runtime/env.h"
#include "runtime/error.h"
#include "runtime/files.h"
#include "runtime/msgbox.h"
#include "runtime/store.h"
#include "runtime/sysvars.h"

namespace vx::rt {

namespace {

constexpr u16 LOG_PATH_ENTRY = 10;  // of list 9
constexpr u16 HEADER_MAX = 256;
constexpr u16 FIELD_MAX = 32;
constexpr const char* RECORD_HEADER =
    "*****************************\r\n Date:%.*s - Time:%.*s - User:%s\r\n";
constexpr const char* RECORD_FOOTER = "\r\n**********************\r\n\r\n";
constexpr const char* RECORD_USER = "0";
constexpr Str LINE_END{"\r\n", 2};

Str iso_date(u32 yyyymmdd) {
    return str_format(FIELD_MAX, "%04u-%02u-%02u", unsigned(yyyymmdd / 10000),
                      unsigned(yyyymmdd / 100 % 100), unsigned(yyyymmdd % 100));
}

struct Log {
    LogDateText date_text = iso_date;
};

Log lg;

// The text as written: an error descriptor becomes "Error #n".
Str log_text(Str text) {
    if (text.ok()) return text;
    return str_format(FIELD_MAX, "Error #%u", unsigned(str_error_code(text)));
}

// Appends the pieces to a file: 0, 164 when it cannot be opened, 131 when a write fails.
template <std::size_t N>
u16 append_pieces(Str file, const Str (&pieces)[N]) {
    u16 h = file_open(file, FM_APPEND | FM_QUIET);
    if (!file_handle_ok(h)) return E_FILENOTFOUND;
    u16 rc = 0;
    for (const Str& piece : pieces)
        if (file_write(h, FILE_AT_END, piece) != piece.n) rc = E_FILEIO;
    file_close(h);
    return rc;
}

Str record_header() {
    os::DateTime now = os::now_local();
    Str date = lg.date_text(u32(now.year) * 10000 + u32(now.month) * 100 + u32(now.day));
    Str time = str_format(FIELD_MAX, "%02d:%02d:%02d", now.hour, now.minute, now.second);
    if (!date.ok()) return date;
    if (!time.ok()) return time;
    return str_format(HEADER_MAX, RECORD_HEADER, int(date.n), date.p, int(time.n), time.p,
                      RECORD_USER);
}

}  // namespace

Str log_path() {
    Str set = store_count(LIST_ERROR) > LOG_PATH_ENTRY ? store_get(LIST_ERROR, LOG_PATH_ENTRY)
                                                       : str_empty();
    if (set.ok() && set.n) return set;
    TmpScope scope;
    return scope.keep(str_concat(app_prefix(), str_from_cstr(LOG_DEFAULT_NAME)));
}

u16 log_start(Str name) {
    if (!name.ok()) return str_error_code(name);
    if (name.n == 0 || name.n > FILE_NAME_MAX) return E_DATA;
    file_delete(name);
    return store_set(LIST_ERROR, LOG_PATH_ENTRY, name);
}

u16 log_line(Str text, u16 bits) {
    if (!(u16(sysint_get(SV_TRACE)) & bits)) return 0;
    TmpScope scope;
    const Str pieces[] = {log_text(text), LINE_END};
    return append_pieces(log_path(), pieces) ? E_FILEIO : 0;
}

u16 log_record(Str text, Str file) {
    TmpScope scope;
    Str name = file.ok() && file.n ? file : log_path();
    Str header = record_header();
    if (!header.ok()) return str_error_code(header);
    const Str pieces[] = {header, log_text(text), str_from_cstr(RECORD_FOOTER)};
    u16 rc = append_pieces(name, pieces);
    if (rc == E_FILENOTFOUND) fail_with_detail(rc, name, false);
    return rc;
}

void assert_true(bool condition, Str text) {
    if (condition) return;
    msg_box(text, str_from_cstr(ASSERT_CAPTION), BOX_ERROR);
    log_record(text, str_from_cstr(ASSERT_LOG));
    std::abort();
}

void log_date_text_set(LogDateText fn) {
    lg.date_text = fn ? fn : iso_date;
}

}  // namespace vx::rt
