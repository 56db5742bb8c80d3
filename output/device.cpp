// The device record and its operations: the device text and its options, classification
// into kinds, the device path, opening and closing through the kind's backend, writing with
// wrapping at the width, the character tables and printer codes, the line, column and page
// counters and their publication, positioning and finishing.
#include <algorithm>
#include <iterator>

#include "expr/eval.h"
#include "expr/vars.h"
#include "output/device_impl.h"
#include "platform/spooler.h"
#include "runtime/arena.h"
#include "runtime/env.h"
#include "runtime/error.h"
#include "runtime/msg.h"
#include "runtime/paths.h"
#include "runtime/sysvars.h"

namespace vx::out {

using namespace vx::rt;

namespace {

constexpr const char* OPTION_KEYS[] = {"/LP", "/WD", "/ST", "/VW"};
constexpr const char* PORT_STEMS = "LPT,lp,usb";
constexpr const char* SCREEN_NAME = "CON";
constexpr const char* WINPRN_NAME = "WINPRN";
constexpr const char* PDF_EXT = "PDF";
constexpr const char* MODES = "ADMIN,PRNTOFILE";
constexpr u16 MODE_PRNTOFILE = 2;
constexpr const char* SERIAL_STEM = "COM";
constexpr u16 SERIAL_NAME_LEN = 5;  // "COM1:"
constexpr u8 NAME_STRIP_BELOW = 58; // trailing digits and punctuation
constexpr const char* PRINTER_STEM = "LPT";
constexpr const char* SERIAL_NODE = "/dev/ttyS";
constexpr u16 POSITION_STEPS_MAX = 0xFFFF;  // line breaks one positioning may write

u16 option_number(Str text, const char* key, u16 fallback) {
    OptPos at = opt_find(text, str_from_cstr(key), 0);
    if (!at.found()) return fallback;
    i64 v = text_to_int64(str_trim(str_view(text.p + at.pos, at.len), TRIM_BOTH));
    return u16(std::clamp<i64>(v, 0, 0xFFFF));
}

bool is_serial_name(Str name) {
    return name.n >= SERIAL_NAME_LEN && str_equal(str_substr(name, 0, 3), str_from_cstr(SERIAL_STEM)) &&
           name.p[SERIAL_NAME_LEN - 1] == ':';
}

bool is_screen_name(Str name) {
    if (name.n == 0) return true;
    u16 blank = str_find_any(name, 0, S(" \t"), PLAIN);
    Str first = str_substr(name, 0, blank == NOT_FOUND ? name.n : blank);
    return str_equal_nocase(first, str_from_cstr(SCREEN_NAME));
}

bool is_port_name(Str name) {
    u16 n = name.n;
    while (n && u8(name.p[n - 1]) < NAME_STRIP_BELOW) n--;
    return n && list_find(str_from_cstr(PORT_STEMS), ',', str_substr(name, 0, n)) != 0;
}

// Bit 1 without bit 8 names a file, a queue of the spooler, or the print dialog.
u8 system_printer_kind(Str name, u8 kind) {
    if (!sysint_bit(SV_SYSCOMPAT, SYSCOMPAT_SYSTEM_PRINTERS) || !(kind & DEV_FILE) || (kind & DEV_SERIAL))
        return kind;
    if (str_equal(name, str_from_cstr(WINPRN_NAME))) return 0;
    std::string queue(name.p, name.n);
    if (os::spool_printer_exists(queue)) return u8((kind & ~DEV_FILE) | DEV_SPOOL);
    return kind;
}

std::string to_std(Str s) { return s.ok() ? std::string(s.p, s.n) : std::string(); }

// The value of the string variable named after the device, when it holds one.
std::string variable_path(Str var_name) {
    TmpScope scope;
    expr::Value v;
    if (expr::var_read(str_concat(var_name, S("$")), v) || !v.is_str) return {};
    return to_std(str_trim(v.str, TRIM_BOTH));
}

}  // namespace

// Printer ports and serial ports may be redirected by a variable; a serial port without one
// is the system's port of that number (COM1: /dev/ttyS0).
std::string device_path(const Device& d) {
    Str name = str_view(d.name.data(), u16(d.name.size()));
    if (!(d.kind & (DEV_PORT | DEV_SERIAL))) return d.name;
    bool serial = is_serial_name(name);
    Str var = serial ? str_substr(name, 0, SERIAL_NAME_LEN - 1) : name;
    std::string path = variable_path(var);
    if (!path.empty()) return path;
    char digit = serial ? name.p[SERIAL_NAME_LEN - 2] : 0;
    if (serial && digit >= '1' && digit <= '9') return SERIAL_NODE + std::to_string(digit - '1');
    return serial ? std::string(name.p, SERIAL_NAME_LEN) : d.name;
}

namespace {

struct BackendOf {
    u8 bit;  // 0: the kind with no bit but DEV_ALWAYS
    const Backend& (*get)();
};
constexpr BackendOf BACKENDS[] = {
    {DEV_FILE, backend_file},   {DEV_SCREEN, backend_screen}, {DEV_SERIAL, backend_serial},
    {DEV_PDF, backend_pdf},     {DEV_SPOOL, backend_spool},   {0, backend_winprn},
};

const Backend* backend_of(u8 kind) {
    for (const BackendOf& b : BACKENDS)
        if (b.bit ? (kind & b.bit) != 0 : (kind & ~DEV_ALWAYS) == 0) return &b.get();
    return nullptr;
}

u16 note(Device& d, u16 rc) {
    if (rc) d.error = rc;
    return rc;
}

// Bytes that bypass translation and counting: printer codes.
u16 emit_raw(Device& d, const std::string& bytes) {
    const Backend* b = backend_of(d.kind);
    return bytes.empty() || !b ? 0 : b->emit(d, bytes.data(), bytes.size());
}

bool passes_untranslated(u8 kind) { return (kind & DEV_PDF) || kind == KIND_WINPRN; }

u16 emit_text(Device& d, Str text) {
    const Backend* b = backend_of(d.kind);
    if (!b) return 0;
    if (passes_untranslated(d.kind)) return text.n ? b->emit(d, text.p, text.n) : 0;
    std::string out = device_translate(d.kind & DEV_PRINTER, printer_record(d.printer), text);
    return out.empty() ? 0 : b->emit(d, out.data(), out.size());
}

void new_line(Device& d) {
    d.line = d.line < 0xFFFF ? u16(d.line + 1) : d.line;
    d.col = 1;
    if (d.lines && d.line > d.lines) {
        d.page = d.page < 0xFFFF ? u16(d.page + 1) : d.page;
        d.line = 1;
    }
}

void advance(Device& d, Str text) {
    for (u16 i = 0; i < text.n; i++) {
        if (text.p[i] == '\r' && i + 1 < text.n && text.p[i + 1] == '\n') {
            new_line(d);
            i++;
        } else if (d.col < 0xFFFF) {
            d.col++;
        }
    }
}

// One piece that needs no wrapping: out, counted, and a line break once past the width.
u16 write_piece(Device& d, Str piece) {
    u16 rc = emit_text(d, piece);
    advance(d, piece);
    if (d.width && d.col > d.width) {
        u16 rc2 = emit_text(d, S("\r\n"));
        advance(d, S("\r\n"));
        if (!rc) rc = rc2;
    }
    dev_publish(d);
    return rc;
}

void read_options(Device& d, Str text) {
    PrinterRecord rec = printer_record(d.printer);
    d.lines = option_number(text, "LP", rec.lines());
    d.width = option_number(text, "WD", rec.width());
    d.step = option_number(text, "ST", DEVICE_STEP_DEFAULT);
    d.show = yes_letter(opt_value(text, S("VW"), 0)) ? 1 : 0;
}

}  // namespace

bool yes_letter(Str value) {
    if (!value.ok() || value.n == 0) return false;
    Str yes = list_item(msg_text_id(MSG_ANSWERS), ',', 1);
    return yes.ok() && str_find_char(yes, 0, value.p[0], PLAIN) != NOT_FOUND;
}

bool print_to_file() { return cmd_key_in(KEY_MODE, str_from_cstr(MODES)) == MODE_PRNTOFILE; }

u16 device_fail(u16 code, Str detail) {
    fail_with_detail(code, detail, false);
    return error_note(1, M_DEVICES, code, code);
}

u16 device_fail(u16 code, const std::string& detail) {
    return device_fail(code, str_view(detail.data(), u16(std::min<size_t>(detail.size(), MAX_STR))));
}

// ---- The device text ----

Str device_name(Str text) {
    if (!text.ok()) return text;
    u16 end = str_find_sub(text, str_from_cstr(LANDSCAPE_OPTION), PLAIN);
    if (end == NOT_FOUND) end = text.n;
    for (const char* key : OPTION_KEYS) {
        Str k = str_from_cstr(key);
        for (u16 from = 0; from < end;) {
            u16 at = str_find_sub_from(text, from, k, PLAIN);
            if (at == NOT_FOUND || at >= end) break;
            u32 after = u32(at) + k.n;
            if (after < text.n && (text.p[after] == ':' || text.p[after] == '=')) {
                end = at;
                break;
            }
            from = u16(at + 1);
        }
    }
    return str_trim(str_substr(text, 0, end), TRIM_BOTH);
}

u8 device_kind(Str name) {
    if (!name.ok() || is_screen_name(name)) return DEV_SCREEN | DEV_ALWAYS;
    u8 kind;
    if (is_port_name(name)) {
        kind = DEV_FILE | DEV_PORT | DEV_PRINTER;
    } else if (is_serial_name(name)) {
        kind = print_to_file() ? DEV_FILE | DEV_PRINTER : DEV_SERIAL | DEV_PRINTER;
    } else {
        TmpScope scope;
        Str ext = str_upper(path_part(name, PART_EXT));
        kind = str_equal(ext, str_from_cstr(PDF_EXT)) ? DEV_PDF : DEV_FILE;
    }
    return u8(system_printer_kind(name, kind) | DEV_ALWAYS);
}

u16 device_printer_number(Str name) {
    if (!name.ok() || name.n != 4 || !str_equal(str_substr(name, 0, 3), str_from_cstr(PRINTER_STEM)))
        return 0;
    char digit = name.p[3];
    return digit >= '1' && digit <= char('0' + PRN_PRINTERS) ? u16(digit - '0') : 0;
}

// ---- Operations ----

void dev_publish(const Device& d) {
    sysint_set(SV_DEVHIG, i16(d.lines));
    sysint_set(SV_DEVWID, i16(d.width));
    sysint_set(SV_DEVLIN, i16(d.line));
    sysint_set(SV_DEVPOS, i16(d.col));
    sysint_set(SV_DEVPAG, i16(d.page));
}

void dev_size_from_vars(Device& d) {
    d.lines = u16(sysint_get(SV_DEVHIG));
    d.width = u16(sysint_get(SV_DEVWID));
}

u16 dev_open(Device& d, Str text, Str title) {
    if (d.open) dev_close(d);
    d = Device{};
    if (!text.ok()) return note(d, str_error_code(text));
    TmpScope scope;
    Str name = device_name(text);
    d.text = to_std(text);
    d.name = to_std(name);
    d.kind = device_kind(name);
    d.printer = device_printer_number(name);
    read_options(d, text);
    d.path = device_path(d);
    const Backend* b = backend_of(d.kind);
    u16 rc = b ? b->open(d, title.ok() ? title : str_empty()) : device_fail(E_INTERNAL, name);
    d.open = rc == 0;
    if (d.open && (d.kind & DEV_PRINTER)) rc = emit_raw(d, reset_sequence(printer_record(d.printer)));
    dev_publish(d);
    return note(d, rc);
}

u16 dev_write(Device& d, Str text) {
    if (!text.ok()) return note(d, str_error_code(text));
    if (!d.open) return note(d, device_fail(E_FILENOTINIT, d.text));
    TmpScope scope;
    Str rest = text;
    for (;;) {
        u16 crlf = str_find_sub(rest, S("\r\n"), PLAIN);
        u32 run = crlf == NOT_FOUND ? rest.n : crlf;
        if (d.width && d.col <= d.width && u32(d.col) + run - 1 > d.width) {
            u16 cut = u16(d.width - d.col + 1);
            if (u16 rc = write_piece(d, str_substr(rest, 0, cut))) return note(d, rc);
            rest = str_substr(rest, cut, u16(rest.n - cut));
            continue;
        }
        if (crlf == NOT_FOUND || u32(crlf) + 2 >= rest.n) return note(d, write_piece(d, rest));
        // Each line of the text wraps on its own.
        if (u16 rc = write_piece(d, str_substr(rest, 0, u16(crlf + 2)))) return note(d, rc);
        rest = str_substr(rest, crlf + 2, u16(rest.n - crlf - 2));
    }
}

u16 dev_position(Device& d, u16 line, u16 col) {
    if (!d.open) return note(d, device_fail(E_FILENOTINIT, d.text));
    if (line && line != d.line) {
        // On a device with pages a line above the current one, or beyond the page, is
        // reached on a following page; the page has turned when the line counter starts
        // again at 1 (the page counter stops at its ceiling).
        bool next_page = d.lines && (line < d.line || line > d.lines);
        u16 target = d.lines && line > d.lines ? u16((line - 1) % d.lines + 1) : line;
        bool turned = false;
        bool reachable = d.lines || line > d.line;
        for (u32 steps = 0; reachable && steps < POSITION_STEPS_MAX; steps++) {
            if (d.line == target && (!next_page || turned)) break;
            if (u16 rc = dev_write(d, S("\r\n"))) return rc;
            turned = turned || d.line == 1;
        }
    }
    if (col > d.col) {
        TmpScope scope;
        return dev_write(d, str_fill(u32(col - d.col), ' '));
    }
    return 0;
}

u16 dev_finish(Device& d) {
    if (!d.open) return note(d, device_fail(E_FILENOTINIT, d.text));
    const Backend* b = backend_of(d.kind);
    u16 rc = 0;
    if (d.kind & DEV_PRINTER) rc = emit_raw(d, control_entry(printer_record(d.printer), PRN_END_ENTRY));
    if (b && b->flush) {
        u16 flushed = b->flush(d);
        if (!rc) rc = flushed;
    }
    if (!rc && (d.kind & DEV_SCREEN)) rc = screen_show(d);
    if (!rc && (d.kind & DEV_FILE) && !(d.kind & DEV_PORT) && d.show) {
        TmpScope scope;
        rc = viewer_open(1, str_view(d.path.data(), u16(std::min<size_t>(d.path.size(), MAX_STR))));
    }
    return note(d, rc);
}

u16 dev_close(Device& d) {
    if (!d.open) return 0;
    u16 rc = 0;
    if (d.kind & DEV_PRINTER) rc = emit_raw(d, reset_sequence(printer_record(d.printer)));
    const Backend* b = backend_of(d.kind);
    u16 closed = b ? b->close(d) : 0;
    if (!rc) rc = closed;
    d.open = false;
    d.handle = DEVICE_NO_HANDLE;
    return note(d, rc);
}

u16 dev_discard(Device& d) {
    d.discard = true;
    return dev_close(d);
}

}  // namespace vx::out
