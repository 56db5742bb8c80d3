// Printers: the configuration file "KVPRNP00.DAT" (a 160-byte header whose first line labels
// the entries, then one 96-byte record per printer: ten control entries of 8 bytes, the width
// at byte 80 and the lines per page at byte 88), kept in list 9 entry 0 behind a built-in
// record 0; the character tables and control codes of the text sent to a device; and the
// two configuration forms of a printer.
#include <algorithm>
#include <iterator>
#include <vector>

#include "output/device_impl.h"
#include "platform/os.h"
#include "runtime/arena.h"
#include "runtime/env.h"
#include "runtime/error.h"
#include "runtime/paths.h"
#include "runtime/store.h"
#include "screens/accept.h"

namespace vx::out {

using namespace vx::rt;

namespace {

constexpr u32 PRN_FILE_MAX = 1u << 20;  // a configuration file is read up to this
constexpr u16 LABEL_WIDTH_ITEM = 11, LABEL_LINES_ITEM = 12;
constexpr u16 LABEL_MAX = 30;
constexpr u16 GRID_COLUMNS = PRN_ENTRY;
constexpr u16 GRID_CELL = 5;           // a 3-digit field and its gap
constexpr u16 VALUE_MAX = 255;

// The character tables: source bytes and their replacements on printers and elsewhere.
constexpr char TABLE_SOURCE[] = "\xBA\xD1\xF1\xE1\xE9\xED\xF3\xFA\x0E\x0F\x12";
constexpr char TABLE_PRINTER[] = "\xA7\xA5\xA4\xA0\x82\xA1\xA2\xA3\x0E\x0F\x12";
constexpr char TABLE_OTHER[] = "\xBA\xD1\xF1\xE1\xE9\xED\xF3\xFA   ";
// Control characters by entry: five on/off pairs.
constexpr u8 CONTROLS[PRN_ENTRIES] = {0x0F, 0x12, 0x0E, 0x14, 0x10, 0x11, 0x1C, 0x1D, 0x1E, 0x1F};
constexpr u16 OFF_ENTRIES[] = {1, 3, 5, 7, 9};

struct ByteMap {
    u8 to[256];
};

constexpr ByteMap make_map(const char* target) {
    ByteMap m{};
    for (int i = 0; i < 256; i++) m.to[i] = u8(i);
    for (std::size_t i = 0; i + 1 < sizeof TABLE_SOURCE; i++) m.to[u8(TABLE_SOURCE[i])] = u8(target[i]);
    return m;
}

constexpr ByteMap MAP_PRINTER = make_map(TABLE_PRINTER);
constexpr ByteMap MAP_OTHER = make_map(TABLE_OTHER);

PrinterRecord builtin_record() {
    PrinterRecord r;
    r.bytes[PRN_WIDTH_AT] = PRN_WIDTH_BUILTIN;
    r.bytes[PRN_LINES_AT] = PRN_LINES_BUILTIN;
    return r;
}

Str file_location() { return path_find(env_get(ENV_DATA), str_from_cstr(PRN_FILE)); }

bool read_whole(Str path, std::vector<u8>* out) {
    TmpScope scope;
    os::File* f = os::file_open(str_to_cstr(path), os::Open::Read);
    if (!f) return false;
    out->clear();
    u8 buf[4096];
    for (std::size_t got; out->size() < PRN_FILE_MAX && (got = os::file_read(f, buf, sizeof buf)) > 0;)
        out->insert(out->end(), buf, buf + got);
    os::file_close(f);
    return true;
}

// The built-in record, then the file's records of printers 1-6 that it holds whole.
void load_config() {
    TmpScope scope;
    PrinterRecord zero = builtin_record();
    std::vector<u8> kept(zero.bytes.begin(), zero.bytes.end());
    std::vector<u8> file;
    Str path = file_location();
    if (path.ok() && path.n && read_whole(path, &file) && file.size() > PRN_HEADER) {
        std::size_t whole = std::min<std::size_t>((file.size() - PRN_HEADER) / PRN_RECORD, PRN_PRINTERS);
        kept.insert(kept.end(), file.begin() + PRN_HEADER, file.begin() + PRN_HEADER + whole * PRN_RECORD);
    }
    store_set(DEVICE_LIST, PRN_CONFIG_ENTRY, str_view(reinterpret_cast<const char*>(kept.data()), u16(kept.size())));
}

// ---- The configuration forms ----

// Item n of the header's first line, fit to stand quoted in a form.
std::string header_label(const std::vector<u8>& file, u16 n) {
    std::size_t end = 0;
    while (end < PRN_HEADER && end < file.size() && file[end] != '\r' && file[end] != '\n' && file[end])
        end++;
    TmpScope scope;
    Str line = str_view(reinterpret_cast<const char*>(file.data()), u16(end));
    Str item = str_trim(list_item(line, ',', n), TRIM_BOTH);
    std::string label(item.ok() ? item.p : "", item.ok() ? std::min(item.n, LABEL_MAX) : 0);
    std::replace(label.begin(), label.end(), '\'', '`');
    return label;
}

std::string number_field(const std::string& label, u8 value) {
    return "'" + label + "':'N3'::'" + std::to_string(value) + "'";
}

u8 value_of(u16 n) {
    i64 v = text_to_int64(scr::accept_value(n));
    return u8(std::clamp<i64>(v, 0, VALUE_MAX));
}

// Form 1: width and lines per page. 0, 122 or the form's error.
u16 ask_size(Str title, const std::vector<u8>& file, u8* rec) {
    std::string form = number_field(header_label(file, LABEL_WIDTH_ITEM), rec[PRN_WIDTH_AT]) + "," +
                       number_field(header_label(file, LABEL_LINES_ITEM), rec[PRN_LINES_AT]);
    scr::AcceptResult r;
    TmpScope scope;
    if (u16 rc = scr::accept_run(title, str_view(form.data(), u16(form.size())), scr::ACC_COLLECT, &r)) return rc;
    rec[PRN_WIDTH_AT] = value_of(1);
    rec[PRN_LINES_AT] = value_of(2);
    return 0;
}

// Form 2: the ten control entries, one row of eight bytes each, labelled by the header.
u16 ask_entries(Str title, const std::vector<u8>& file, u8* rec) {
    std::size_t label_width = 0;
    for (u16 e = 1; e <= PRN_ENTRIES; e++) label_width = std::max(label_width, header_label(file, e).size());
    std::string form;
    for (u16 e = 0; e < PRN_ENTRIES; e++) {
        for (u16 c = 0; c < GRID_COLUMNS; c++) {
            if (!form.empty()) form += ',';
            form += number_field(c == 0 ? header_label(file, u16(e + 1)) : std::string(), rec[e * PRN_ENTRY + c]);
            form += "/ROW=" + std::to_string(e) + ";/COL=" + std::to_string(label_width + 2 + c * GRID_CELL);
        }
    }
    scr::AcceptResult r;
    TmpScope scope;
    if (u16 rc = scr::accept_run(title, str_view(form.data(), u16(form.size())), scr::ACC_COLLECT, &r)) return rc;
    for (u16 i = 0; i < PRN_ENTRIES * GRID_COLUMNS; i++) rec[i] = value_of(u16(i + 1));
    return 0;
}

bool write_whole(Str path, const std::vector<u8>& file) {
    TmpScope scope;
    return os::file_replace(str_to_cstr(path), file.data(), file.size(), false);
}

}  // namespace

// ---- Records ----

PrinterRecord printer_record(u16 n) {
    Str cfg = store_get(DEVICE_LIST, PRN_CONFIG_ENTRY);
    if (!cfg.ok() || cfg.n == 0) {
        load_config();
        cfg = store_get(DEVICE_LIST, PRN_CONFIG_ENTRY);
    }
    PrinterRecord r = builtin_record();
    u32 at = u32(n) * PRN_RECORD;
    if (n >= 1 && n <= PRN_PRINTERS && cfg.ok() && at + PRN_RECORD <= cfg.n)
        std::copy(cfg.p + at, cfg.p + at + PRN_RECORD, r.bytes.begin());
    return r;
}

void printer_config_forget() { store_set(DEVICE_LIST, PRN_CONFIG_ENTRY, str_empty()); }

std::string control_entry(const PrinterRecord& r, u16 e) {
    if (e >= PRN_ENTRIES) return {};
    const u8* first = r.bytes.data() + e * PRN_ENTRY;
    std::size_t n = PRN_ENTRY;
    while (n && first[n - 1] == 0) n--;
    return std::string(reinterpret_cast<const char*>(first), n);
}

std::string reset_sequence(const PrinterRecord& r) {
    std::string out;
    for (u16 e : OFF_ENTRIES) out += control_entry(r, e);
    return out;
}

int control_index(u8 c) {
    const u8* at = std::find(std::begin(CONTROLS), std::end(CONTROLS), c);
    return at == std::end(CONTROLS) ? -1 : int(at - std::begin(CONTROLS));
}

std::string device_translate(bool printer, const PrinterRecord& r, Str text) {
    const ByteMap& map = printer ? MAP_PRINTER : MAP_OTHER;
    std::string out;
    out.reserve(text.n);
    for (u16 i = 0; i < text.n; i++) {
        u8 c = map.to[text.at(i)];
        int e = control_index(c);
        if (e < 0) out += char(c);
        else if (printer) out += control_entry(r, u16(e));
    }
    return out;
}

// ---- Configuration ----

u16 printer_configure(u16 n) {
    if (n < 1 || n > PRN_PRINTERS) return device_fail(E_DATA, S("Lpt Config"));
    TmpScope scope;
    Str path = file_location();
    std::vector<u8> file;
    if (!path.ok() || !path.n || !read_whole(path, &file)) return device_fail(E_FILENOTFOUND, str_from_cstr(PRN_FILE));
    std::size_t at = PRN_HEADER + std::size_t(n - 1) * PRN_RECORD;
    if (file.size() < at + PRN_RECORD) file.resize(at + PRN_RECORD, 0);
    u8* rec = file.data() + at;
    Str title = str_format(32, "   Lpt%u Config", unsigned(n));
    u16 rc = ask_size(title, file, rec);
    if (!rc) rc = ask_entries(title, file, rec);
    if (rc == E_CANCELLED) return 0;
    if (rc) return rc;
    if (!write_whole(path, file)) return device_fail(E_FILEIO, path);
    printer_config_forget();
    return 0;
}

}  // namespace vx::out
