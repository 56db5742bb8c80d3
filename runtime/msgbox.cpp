// Message boxes: the kind table, the answers, the box written out when nobody can answer,
// and the About box.
//
// Written out, a box is one line per line of its text, each "[caption] line" (the caption
// followed by " #code" when the box shows an error code), ending with CR LF; an empty line
// of text gives "[caption]" alone. The lines are appended to the OUTPUT file as they are, or
// written to standard error in UTF-8 when there is no OUTPUT key or the file cannot be
// opened or refuses them (a full disk). The box then answers with its first button.
#include "runtime/msgbox.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>
#include <string_view>

#include "platform/cp1252.h"
#include "platform/dialogs.h"
#include "runtime/arena.h"
#include "runtime/env.h"
#include "runtime/files.h"
#include "runtime/msg.h"
#include "runtime/startup.h"

#ifndef VX_VERSION
#define VX_VERSION "0"
#endif

namespace vx::rt {

namespace {

using platform::BoxIcon;

constexpr u16 HANDLE_STDERR = 2;
constexpr u16 CODE_TEXT_MAX = 8;
constexpr char DEFAULT_YES = 'S';
constexpr char DEFAULT_NO = 'N';
constexpr const char* VERSION_LINE = "Version " VX_VERSION;

struct KindInfo {
    u16 caption;  // message shown as caption when none is given
    BoxIcon icon;
    unsigned buttons;
    unsigned first;  // the button a box written out answers with
};

constexpr unsigned OK = platform::BOX_OK, CANCEL = platform::BOX_CANCEL,
                   RETRY = platform::BOX_RETRY, YES = platform::BOX_YES, NO = platform::BOX_NO;

// By kind number.
constexpr KindInfo KINDS[] = {
    {MSG_CAPTION_ASK, BoxIcon::Information, OK, OK},
    {MSG_CAPTION_INFO, BoxIcon::Warning, OK, OK},
    {MSG_CAPTION_ASK, BoxIcon::Information, OK | CANCEL, OK},
    {MSG_CAPTION_FATAL, BoxIcon::Error, OK, OK},
    {MSG_CAPTION_INFO, BoxIcon::Error, RETRY | CANCEL, RETRY},
    {MSG_CAPTION_ASK, BoxIcon::Information, YES | NO, YES},
    {MSG_CAPTION_ASK, BoxIcon::Information, YES | NO | CANCEL, YES},
};
constexpr KindInfo OTHER_KIND = {MSG_CAPTION_ASK, BoxIcon::None, OK, OK};

const KindInfo& kind_info(u16 kind) {
    return kind < std::size(KINDS) ? KINDS[kind] : OTHER_KIND;
}

// The first letter of item n of message 0011, or the Spanish letter when it has none.
u16 answer_letter(u16 item, char fallback) {
    Str word = list_item(msg_text_id(MSG_ANSWERS), ',', item);
    return word.ok() && word.n ? word.at(0) : u8(fallback);
}

std::string_view view(Str s) {
    return s.ok() ? std::string_view(s.p, s.n) : std::string_view();
}

// ---- Writing a box out ----

// The line of text starting at from, without the CRs around it; next is where the line
// after it starts (past the text's end when there is none).
Str text_line(Str text, u16 from, u32& next) {
    u16 lf = str_find_char(text, from, '\n', PLAIN);
    u32 end = lf == NOT_FOUND ? text.n : lf;
    next = end + 1;
    Str line = str_substr(text, from, u16(end - from));
    return str_trim_set(line, TRIM_BOTH, S("\r"));
}

// Standard error is read by a person or a terminal log: it gets UTF-8, files get the
// run-time's own bytes.
// False when the file refused the bytes (a full disk).
bool write_piece(u16 h, Str piece) {
    if (h != HANDLE_STDERR) return file_write(h, FILE_AT_END, piece) == piece.n;
    std::string utf8 = platform::cp1252_to_utf8(view(piece));
    for (std::size_t at = 0; at < utf8.size(); at += FILE_WRITE_PIECE) {
        std::size_t n = std::min<std::size_t>(FILE_WRITE_PIECE, utf8.size() - at);
        file_write(h, FILE_AT_END, str_view(utf8.data() + at, u16(n)));
    }
    return true;
}

// "[caption]" or "[caption #code]", in pieces: a box reaches its reader even when the
// arena is full.
bool write_tag(u16 h, Str caption, Str code) {
    bool ok = write_piece(h, S("["));
    ok = write_piece(h, caption) && ok;
    ok = write_piece(h, code) && ok;
    return write_piece(h, S("]")) && ok;
}

bool write_lines(u16 h, Str caption, Str code, Str text) {
    bool ok = true;
    u32 from = 0;
    do {
        u32 next = 0;
        Str line = text_line(text, u16(from), next);
        ok = write_tag(h, caption, code) && ok;
        if (line.n) {
            ok = write_piece(h, S(" ")) && ok;
            ok = write_piece(h, line) && ok;
        }
        ok = write_piece(h, S("\r\n")) && ok;
        from = next;
    } while (from < text.n);
    return ok;
}

void write_out(Str text, Str caption, u16 code) {
    TmpScope scope;
    char code_text[CODE_TEXT_MAX];
    int code_len =
        code == NO_CODE ? 0 : std::snprintf(code_text, sizeof code_text, " #%u", unsigned(code));
    Str output = runtime_file_key(KEY_OUTPUT);
    u16 h = output.ok() && output.n ? file_open(output, FM_APPEND | FM_QUIET) : HANDLE_STDERR;
    if (!file_handle_ok(h)) h = HANDLE_STDERR;
    Str cap = caption.ok() ? caption : str_empty(), body = text.ok() ? text : str_empty();
    Str code_tag = str_view(code_text, u16(code_len));
    bool written = write_lines(h, cap, code_tag, body);
    file_close(h);
    // An OUTPUT file that refuses the box (a full disk) does not swallow it.
    if (!written && h != HANDLE_STDERR) write_lines(HANDLE_STDERR, cap, code_tag, body);
}

bool nobody_answers() {
    return cmd_batch() || !platform::dialogs_interactive();
}

}  // namespace

u16 msg_answer(unsigned button) {
    if (button & (OK | RETRY | YES)) return answer_letter(1, DEFAULT_YES);
    if (button & NO) return answer_letter(2, DEFAULT_NO);
    return ANSWER_CANCEL;
}

u16 msg_box_code(Str text, Str caption, u16 kind, u16 code) {
    const KindInfo& info = kind_info(kind);
    if (!caption.ok() || caption.n == 0) caption = msg_text_id(info.caption);
    if (nobody_answers()) {
        write_out(text, caption, code);
        return msg_answer(info.first);
    }
    return msg_answer(platform::message_box(view(text), view(caption), info.icon, info.buttons));
}

u16 msg_box(Str text, Str caption, u16 kind) {
    return msg_box_code(text, caption, kind, NO_CODE);
}

bool msg_ask(Str text) {
    return msg_box(text, str_empty(), BOX_YESNO) == answer_letter(1, DEFAULT_YES);
}

// Six lines joined by CR LF: the application's description, the application id, the
// language code, the data folder, the version of the run-time and the given value; cut to
// ABOUT_MAX bytes.
Str about_text(Str value) {
    TmpScope scope;
    const Str lines[] = {env_get(ENV_APDESC), env_get(ENV_APNAME),         env_get(ENV_LANG),
                         env_get(ENV_DATA),   str_from_cstr(VERSION_LINE), value};
    StrBuilder b;
    for (const Str& line : lines) {
        if (&line != lines) b.put(S("\r\n"));
        if (line.ok()) b.put(line);
    }
    Str text = b.finish();
    if (text.ok() && text.n > ABOUT_MAX) text.n = ABOUT_MAX;
    return scope.keep(text);
}

u16 about_show(Str value) {
    TmpScope scope;
    return msg_box(about_text(value), msg_text_id(MSG_ABOUT), BOX_INFO);
}

}  // namespace vx::rt
