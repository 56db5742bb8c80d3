// Loading the dictionary files into the structure tables, and declaring the loaded data
// files to the variable layer.
#include "expr/dict.h"

#include "expr/structs.h"
#include "expr/vars.h"
#include "runtime/arena.h"
#include "runtime/error.h"
#include "runtime/files.h"
#include "runtime/paths.h"

namespace vx::expr {

using namespace vx::rt;

namespace {

// Fixed columns (0-based) of field and key lines.
constexpr u16 NUMBER_DIGITS = 2;
constexpr u16 FIELD_WIDTH_AT = 9;
constexpr u16 FIELD_WIDTH_LEN = 3;
constexpr u16 FIELD_TYPE_AT = 13;
constexpr u16 FIELD_NAME_AT = 14;
constexpr u16 KEY_OFFSET_DIGITS = 4;
constexpr u16 KEY_LENGTH_DIGITS = 3;
constexpr u16 LINE_DETAIL_MAX = 420;
constexpr char ITEM_SEP = '*';
constexpr char KEY_MARK = '<';
constexpr char DICT_MARK = ':';

enum LineKind : u8 { LINE_NONE, LINE_STRUCT, LINE_FIELD, LINE_KEY, LINE_DICT };

struct LineRange {
    u16 low, high;
    LineKind kind;     // LINE_STRUCT stands for structure and field lines
    u16 offset;        // subtracted from n to give the structure number
};
constexpr LineRange LINE_RANGES[] = {
    {1, 30, LINE_STRUCT, 0},
    {31, 60, LINE_KEY, 30},
    {61, 90, LINE_DICT, 60},
};

struct Loader {
    Str folder;
    Str default_folder;
};

// One file being read: its name, the structure number its lines count from, and the kind
// of its last line with a recognised number.
struct FileRun {
    Str name;
    u16 base = 0;
    u16 line_no = 0;
    u16 depth = 0;
    LineKind last = LINE_NONE;
};

u16 load_prefix(const Loader& loader, Str prefix, u16 depth);

bool all_digits(Str s) { return s.n && str_all_in_set(s, S("0123456789")); }

u16 digits_value(Str s) { return u16(text_to_int64(s)); }

// Records the code with the file and line as detail.
u16 line_fail(const FileRun& run, u16 code) {
    error_raise(M_VARSTRUCT, code);
    TmpScope scope;
    return fail_with_detail(code, str_format(LINE_DETAIL_MAX, "%.*s, line %u", int(run.name.n), run.name.p, unsigned(run.line_no)), false);
}

u16 checked(const FileRun& run, u16 rc) { return rc ? line_fail(run, rc) : 0; }

// Item k (from 1) of a line split at '*', without regard to quotes.
Str plain_item(Str line, u16 k) {
    u16 from = 0;
    if (k > 1) {
        u16 at = str_find_nth_char(line, 0, ITEM_SEP, u16(k - 1), PLAIN);
        if (at == NOT_FOUND) return str_empty();
        from = u16(at + 1);
    }
    u16 end = str_find_char(line, from, ITEM_SEP, PLAIN);
    return str_substr(line, from, u16((end == NOT_FOUND ? line.n : end) - from));
}

u16 structure_line(const Loader& loader, FileRun& run, Str line) {
    Str folder = str_trim(plain_item(line, 2), TRIM_BOTH);
    Str item3 = str_trim(plain_item(line, 3), TRIM_LEFT);
    Str digits = str_substr(item3, 0, NUMBER_DIGITS);
    Str rest = str_trim(str_substr(item3, NUMBER_DIGITS, NOT_FOUND), TRIM_BOTH);
    run.last = LINE_STRUCT;
    if (str_find_char(folder, 0, '$', PLAIN) != NOT_FOUND) {
        if (rest.n == 0) return line_fail(run, E_DATA);
        if (run.depth + 1 > DICT_INCLUDE_DEPTH) return line_fail(run, E_LOOP);
        if (u16 rc = load_prefix(loader, rest, u16(run.depth + 1))) return rc;
        run.base = struct_count();
        return 0;
    }
    u16 number = all_digits(digits) ? digits_value(digits) : 0;
    return checked(run, struct_define(number, rest, folder.n ? folder : loader.default_folder));
}

u16 field_line(FileRun& run, Str line) {
    run.last = LINE_FIELD;
    Str width = str_trim(str_substr(line, FIELD_WIDTH_AT, FIELD_WIDTH_LEN), TRIM_BOTH);
    Str name = str_trim(str_substr(line, FIELD_NAME_AT, NOT_FOUND), TRIM_BOTH);
    if (line.n <= FIELD_NAME_AT || !all_digits(width) || name.n == 0) return line_fail(run, E_DATA);
    return checked(run, struct_add_field(name, digits_value(width), line.p[FIELD_TYPE_AT]));
}

u16 key_line(FileRun& run, Str line, u16 s) {
    run.last = LINE_KEY;
    KeyPart parts[KEY_PARTS_MAX];
    u16 n = 0;
    u16 at = str_find_char(line, 0, KEY_MARK, PLAIN);
    for (at = at == NOT_FOUND ? line.n : u16(at + 1); n < KEY_PARTS_MAX; at = u16(at + KEY_OFFSET_DIGITS + KEY_LENGTH_DIGITS)) {
        Str offset = str_substr(line, at, KEY_OFFSET_DIGITS);
        Str length = str_substr(line, u16(at + KEY_OFFSET_DIGITS), KEY_LENGTH_DIGITS);
        if (offset.n != KEY_OFFSET_DIGITS || length.n != KEY_LENGTH_DIGITS || !all_digits(offset) || !all_digits(length))
            break;
        u16 from_one = digits_value(offset);
        parts[n++] = KeyPart{u16(from_one ? from_one - 1 : 0), digits_value(length)};
    }
    if (n == 0) return line_fail(run, E_DATA);
    return checked(run, struct_add_key(s, parts, n));
}

u16 dictionary_line(FileRun& run, Str line, u16 s) {
    run.last = LINE_DICT;
    u16 colon = str_find_char(line, 0, DICT_MARK, PLAIN);
    if (colon == NOT_FOUND) return 0;
    return checked(run, struct_add_dict(s, str_substr(line, u16(colon + 1), NOT_FOUND)));
}

u16 one_line(const Loader& loader, FileRun& run, Str line) {
    if (!line.ok()) return str_error_code(line);
    if (line.n > DICT_LINE_MAX) return line_fail(run, E_DATAOUTBOUND);
    Str digits = str_substr(line, 0, NUMBER_DIGITS);
    if (digits.n != NUMBER_DIGITS || !all_digits(digits)) return 0;
    u16 n = digits_value(digits);
    for (const LineRange& r : LINE_RANGES) {
        if (n < r.low || n > r.high) continue;
        u16 s = u16(run.base + n - r.offset);
        switch (r.kind) {
            case LINE_STRUCT:
                return str_find_char(line, 0, ITEM_SEP, PLAIN) != NOT_FOUND ? structure_line(loader, run, line)
                                                                            : field_line(run, line);
            case LINE_KEY: return key_line(run, line, s);
            default: return dictionary_line(run, line, s);
        }
    }
    return 0;
}

u16 load_file(const Loader& loader, Str prefix, u16 which, bool required, FileRun& run) {
    TmpScope scope;
    run.name = dict_file_name(prefix, which);
    Str path = path_find(loader.folder, run.name);
    if (path.n == 0) {
        if (!required) return 0;
        error_raise(M_VARSTRUCT, E_FILENOTFOUND);
        return fail_with_detail(E_FILENOTFOUND, run.name, false);
    }
    u16 h = file_open(path, FM_READ | FM_NOUPDATE);
    if (!file_handle_ok(h)) return h;
    u16 rc = 0;
    while (rc == 0 && !file_at_end(h)) {
        TmpScope line_scope;
        run.line_no++;
        rc = one_line(loader, run, file_read_line(h));
    }
    file_close(h);
    return rc;
}

// DICC.DAT, its default keys when it ends with a structure or field line, then REL.DAT;
// both count their structures from those defined before DICC.DAT.
u16 load_prefix(const Loader& loader, Str prefix, u16 depth) {
    u16 base = struct_count();
    FileRun dicc{str_empty(), base, 0, depth, LINE_NONE};
    u16 rc = load_file(loader, prefix, DICT_DICC, true, dicc);
    if (rc == 0 && (dicc.last == LINE_STRUCT || dicc.last == LINE_FIELD)) rc = struct_default_keys();
    FileRun rel{str_empty(), base, 0, depth, LINE_NONE};
    if (rc == 0) rc = load_file(loader, prefix, DICT_REL, false, rel);
    return rc;
}

}  // namespace

Str dict_file_name(Str prefix, u16 which) {
    return str_concat(prefix, list_item(str_from_cstr(DICT_FILES), ',', which));
}

u16 dict_load(Str folder, Str prefix, Str default_folder) {
    if (!folder.ok() || !prefix.ok() || !default_folder.ok()) return E_DATA;
    TmpScope scope;
    detail::struct_checkpoint();
    u16 rc = load_prefix(Loader{folder, default_folder}, prefix, 0);
    if (rc) detail::struct_rollback();
    return rc;
}

u16 dict_declare() {
    for (u16 s = 1; s <= struct_count(); s++) {
        TmpScope scope;
        StructDesc d;
        struct_info(s, &d);
        Str name = str_lower(d.name);
        if (name.n == 0 || var_kind(name) != KIND_INT || str_find_char(name, 0, ',', PLAIN) != NOT_FOUND) continue;
        VarRef ref;
        if (u16 rc = var_declare(name, &ref)) return rc;
        var_set_int(ref.slot, i16(s));
    }
    return 0;
}

}  // namespace vx::expr
