// Edit masks: the language's mask parameters and date words, number and text masks, the
// masks of field types, and typed numbers brought to their neutral form.
//
// A number mask holds "#" and "0" as digit positions, "." as the decimal point and "," as a
// thousands separator; other characters are copied. A text mask holds "\" for the next
// character of the value, "?" for the value's character at the same position, and literals;
// a run of spaces between two "\" counts as that many "\". Results are new strings in the
// temporary-string arena; nothing here touches the heap.
#pragma once

#include "runtime/str.h"

namespace vx::expr {

using rt::i16;
using rt::i32;
using rt::i64;
using rt::Str;
using rt::u16;
using rt::u32;
using rt::u8;

// Options of mask_apply. The built-in function's default (255) takes the language's
// separators: the neutral form is a bit of its own above the low byte.
enum MaskOption : u16 {
    MASK_NUMBER = 1,      // a "#" or "0" mask edits the value as a number whatever it holds
    MASK_POSITIONAL = 2,  // "?" takes the value's character at the same position
    MASK_NEUTRAL = 256,   // "." and "," instead of the language's separators
};

// Characters a value may hold to be edited as a number by a "#" or "0" mask.
inline constexpr char MASK_NUMBER_CHARS[] = ".-1234567890,D ";
inline constexpr u16 TYPED_NUMBER_MAX = 20;  // characters kept of a typed number
inline constexpr u16 MONTHS = 12;

// The language's conventions, read from environment entry 0 (mask parameters, NUL, month
// names and long-date template) and entry 4 (language code). Parsed once and kept until
// either entry changes, so reading them costs a comparison. The views stay valid until one
// of the two entries changes.
struct LangParams {
    char decimal = '.';      // decimal separator shown in numbers
    char thousands = ',';    // thousands separator shown in numbers
    Str accepted;            // characters accepted in typed numbers
    Str letters;             // letters typed for unset, no and yes (three characters)
    Str words[3];            // words shown for unset, no and yes
    Str months[MONTHS];      // month names, January first
    Str long_date;           // long-date template with [D], [M] and [Y]
    bool day_first = false;  // the language writes the day before the month (ES, FR, IT)
};
const LangParams& lang_params();

// The mask of a field type and width: "#" for N and the digit types (the point at position
// d+1 from the right for d decimals), "\" for every other type.
Str mask_for_type(char type, u16 width);
// A number mask of width "#" with decimals digit positions after the point. A width without
// room for a whole position, the point and the decimals keeps fewer decimals (none below 3),
// so that the point always lies inside the digit area.
Str mask_for_number(u16 width, u16 decimals);

// Edits a number text through a number mask (rules of the number editor in masks.cpp).
// 168 when the whole part cannot be shown even after giving up every decimal.
Str mask_number(Str mask, Str value, bool neutral);
// Fills a text mask with the value.
Str mask_text(Str mask, Str value, bool positional);
// A mask chosen by the user: the first of "\?#0" in the mask decides between a number edit
// and a text mask. A number that cannot be shown fills the digit area with "*".
Str mask_apply(Str mask, Str value, u16 options);

// A typed number in neutral form: trimmed, cut at the first character that cannot belong
// to it, redundant leading zeros dropped, the language's decimal separator made ".",
// at most TYPED_NUMBER_MAX characters.
Str num_normalise(Str typed);

}  // namespace vx::expr
