// The font file "KVFONT.PPN": one screen font a line, "height;width;attributes;face name",
// the first line being the font in use. Fonts whose attributes hold "BOLD" are drawn with
// weight 700, the others with 400.
#pragma once

#include "runtime/str.h"

namespace vx::rt {

inline constexpr const char* FONT_FILE = "KVFONT.PPN";
inline constexpr u16 FONT_FACE_MAX = 31;     // face names are shorter than 32 characters
inline constexpr u16 FONT_LINES_MAX = 64;    // lines of the font file kept when rewriting
inline constexpr u16 FONT_WEIGHT_NORMAL = 400;
inline constexpr u16 FONT_WEIGHT_BOLD = 700;

struct FontSpec {
    i16 height = 0;
    i16 width = 0;
    u16 weight = FONT_WEIGHT_NORMAL;
    char face[FONT_FACE_MAX + 1] = {};
};

// Takes one line of the font file apart: 0, or 163 when it has no face name or a size that
// is not positive.
u16 font_parse(Str line, FontSpec* font);
// The size a font is created with: the height less 3, the width less the larger of 1 and
// a sixteenth of it (rounded).
FontSpec font_created(const FontSpec& font);
// The path of the font file ("" when there is none): the current folder, then the data folder.
Str font_file_path();
// Rewrites the font file with its line number index (from 1) first and the others in their
// order, lines ending with CR LF: 0, 164 without a file, 168 for an index beyond its lines.
u16 font_file_choose(u16 index);

}  // namespace vx::rt
