// The font file: parsing its lines and rewriting it with a chosen line first.
#include "runtime/fonts.h"

#include <cstring>

#include "runtime/arena.h"
#include "runtime/env.h"
#include "runtime/error.h"
#include "runtime/files.h"
#include "runtime/paths.h"

namespace vx::rt {

namespace {

constexpr const char* BOLD = "BOLD";

bool holds_bold(Str attributes) {
    TmpScope scope;
    return str_find_sub(str_upper(attributes), str_from_cstr(BOLD), PLAIN) != NOT_FOUND;
}

}  // namespace

u16 font_parse(Str line, FontSpec* font) {
    if (!line.ok()) return str_error_code(line);
    FontSpec f;
    f.height = str_to_int(str_trim(list_item(line, ';', 1), TRIM_BOTH));
    f.width = str_to_int(str_trim(list_item(line, ';', 2), TRIM_BOTH));
    f.weight = holds_bold(list_item(line, ';', 3)) ? FONT_WEIGHT_BOLD : FONT_WEIGHT_NORMAL;
    Str face = str_trim(list_item(line, ';', 4), TRIM_BOTH);
    if (face.n == 0 || f.height <= 0 || f.width <= 0) return fail_with_detail(E_DATA, line, false);
    u16 n = face.n < FONT_FACE_MAX ? face.n : FONT_FACE_MAX;
    std::memcpy(f.face, face.p, n);
    f.face[n] = '\0';
    *font = f;
    return 0;
}

FontSpec font_created(const FontSpec& font) {
    FontSpec f = font;
    i64 less = div_round(font.width, 16);
    f.height = i16(font.height - 3);
    f.width = i16(font.width - (less > 1 ? less : 1));
    return f;
}

Str font_file_path() {
    TmpScope scope;
    return scope.keep(path_find(env_get(ENV_DATA), str_from_cstr(FONT_FILE)));
}

u16 font_file_choose(u16 index) {
    TmpScope scope;
    Str path = font_file_path();
    if (path.n == 0) return fail_with_detail(E_FILENOTFOUND, str_from_cstr(FONT_FILE), false);
    u16 h = file_open(path, FM_READ | FM_NOUPDATE);
    if (!file_handle_ok(h)) return h;
    Str lines[FONT_LINES_MAX];
    u16 count = 0;
    while (count < FONT_LINES_MAX && !file_at_end(h)) {
        Str line = file_read_line(h);
        if (!line.ok()) break;
        if (str_trim(line, TRIM_BOTH).n) lines[count++] = line;
    }
    file_close(h);
    if (index == 0 || index > count) return E_DATAOUTBOUND;
    Str text = str_concat(lines[index - 1], S("\r\n"));
    for (u16 i = 0; i < count && text.ok(); i++)
        if (i != index - 1) text = str_concat(text, str_concat(lines[i], S("\r\n")));
    if (!text.ok()) return str_error_code(text);
    return file_write_all(path, FILE_DELETE_FIRST, text);
}

}  // namespace vx::rt
