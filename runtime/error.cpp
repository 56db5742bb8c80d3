// The process error record (code, module), the error detail text, the names of codes and
// modules, and the message a code shows.
//
// The record keeps the first error of 128 or more until it is shown or cleared; the
// detail text names the object of the failure and lives in the string store (list 9,
// entry 9) so that it survives arena releases.
#include "runtime/error.h"

#include <cstring>

#include "runtime/arena.h"
#include "runtime/msg.h"
#include "runtime/msgbox.h"
#include "runtime/store.h"

namespace vx::rt {

namespace {

constexpr u16 DETAIL_ENTRY = 9;
constexpr u16 STATUS_OVERWRITE = 2;
constexpr Str LINE_BREAK{"\r\n", 2};

constexpr u16 LAST_WARNING = 120;  // 1-120 show the warning word alone
// The names of codes FIRST_NAMED to LAST_NAMED are the items of message 0136, in order, with
// the name of an unnamed code as the item after them; an empty item is a code without name.
constexpr u16 UNDEFINED_ITEM = LAST_NAMED - FIRST_NAMED + 2;

ErrorPair err;

u16 last_cr(Str s) {
    for (u16 i = s.n; i > 0; i--)
        if (s.p[i - 1] == '\r') return static_cast<u16>(i - 1);
    return NOT_FOUND;
}

// Cuts the last line (from its last CR) off the text while it is longer than DETAIL_MAX.
// A single line that long is cut to DETAIL_MAX bytes.
Str cut_to_detail_max(Str s) {
    while (s.n > DETAIL_MAX) {
        u16 cr = last_cr(s);
        s.n = cr == NOT_FOUND ? DETAIL_MAX : cr;
    }
    return s;
}

// The stored detail (cut back) + CR LF + text, in the arena. The text is shortened when
// the whole would pass the longest string.
Str appended_detail(Str text) {
    Str old = error_detail();
    old = cut_to_detail_max(old);
    if (old.n == 0) return text;
    if (text.n == 0) return old;
    u32 room = MAX_STR - old.n - LINE_BREAK.n;
    u16 keep = static_cast<u16>(text.n < room ? text.n : room);
    Str joined = tmp_alloc(u32(old.n) + LINE_BREAK.n + keep, NO_FILL);
    if (!joined.ok()) return joined;
    char* w = str_mut(joined);
    std::memcpy(w, old.p, old.n);
    std::memcpy(w + old.n, LINE_BREAK.p, LINE_BREAK.n);
    if (keep) std::memcpy(w + old.n + LINE_BREAK.n, text.p, keep);
    return joined;
}

}  // namespace

u16 error_note(u16 status, u16 module, u16 code, u16 result) {
    if (status == 0) return result;
    bool first_error = err.code < FIRST_ERROR && code >= FIRST_ERROR;
    if (first_error || status == STATUS_OVERWRITE) err = ErrorPair{code, module};
    return result;
}

void error_clear() { err = ErrorPair{}; }
u16 error_code() { return err.code; }
u16 error_module() { return err.module; }
ErrorPair error_current() { return err; }

u16 fail_with_detail(u16 code, Str text, bool append) {
    if (!text.ok()) return code;
    TmpScope scope;
    if (append) text = appended_detail(text);
    store_set(LIST_ERROR, DETAIL_ENTRY, text);
    return code;
}

Str error_detail() {
    if (store_count(LIST_ERROR) <= DETAIL_ENTRY) return str_empty();
    return store_get(LIST_ERROR, DETAIL_ENTRY);
}

void error_detail_clear() {
    if (store_count(LIST_ERROR) > DETAIL_ENTRY) store_set(LIST_ERROR, DETAIL_ENTRY, str_empty());
}

Str error_name(u16 code) {
    Str names = msg_text_id(MSG_ERROR_NAMES);
    bool named = code >= FIRST_NAMED && code <= LAST_NAMED;
    Str name = named ? list_item(names, ',', u16(code - FIRST_NAMED + 1)) : str_empty();
    return name.n ? name : list_item(names, ',', UNDEFINED_ITEM);
}

Str module_name(u16 module) {
    if (module == 0) return str_empty();
    return list_item(str_from_cstr(MODULE_NAMES), ',', module);
}

namespace {

// The text a code shows on its own, before the word "Error " and the module.
Str base_text(u16 code) {
    if (code == E_OK) return msg_text_id(MSG_DONE);
    if (code <= LAST_WARNING) return msg_text_id(MSG_WARNING);
    Str detail = error_detail();
    if ((code == E_SILENTSTOP || code == E_BADDATA) && detail.n) return detail;
    return error_name(code);
}

}  // namespace

Str error_message(u16 code) {
    TmpScope scope;
    Str text = base_text(code);
    if (code < FIRST_ERROR) return scope.keep(text);
    text = str_concat(msg_text_id(MSG_ERROR), text);
    Str module = module_name(err.module);
    if (module.n) text = str_concat(text, str_wrap(module, '('));
    Str detail = error_detail();
    if (detail.n) text = str_join(text, S(": "), detail);
    return scope.keep(text);
}

u16 error_show(u16 code) {
    TmpScope scope;
    bool error = code >= FIRST_ERROR;
    Str caption = msg_text_id(error ? MSG_CAPTION_FATAL : MSG_CAPTION_INFO);
    msg_box_code(error_message(code), caption, error ? BOX_ERROR : BOX_WARNING, code);
    error_detail_clear();
    if (err.code == code) err = ErrorPair{};
    return 0;
}

}  // namespace vx::rt
