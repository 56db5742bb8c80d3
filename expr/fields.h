// Field types: the type letters, fitting a value to a field, the display form of a stored
// value, turning typed input into the stored form, logical values, and the compatibility
// switches of _COMPAT that change field conversions.
//
// A field has a type letter and a width: A text, B digits, C zero-filled code, P password,
// D date, F date that may stay blank, L logical, N whole number, 1-9 number with that many
// decimals, T and V hidden. Unknown letters are handled as text. Results are new strings in
// the temporary-string arena (or views where noted); failures are error descriptors.
#pragma once

#include "runtime/str.h"

namespace vx::expr {

using rt::Str;
using rt::u16;

inline constexpr char FIELD_TYPES[] = "123456789ABCDFLNTV";   // the valid type letters
inline constexpr char NUMERIC_FIELD_TYPES[] = "NL123456789";  // fields read as numbers
inline constexpr u16 COMPAT_SHORT_NAMES = 8;  // _COMPAT bit: data-file names cut to 8
inline constexpr u16 COMPAT_WHOLE_WIDTH =
    64;  // _COMPAT bit: digit-type widths count the whole part
inline constexpr u16 SHORT_NAME_MAX = 8;

bool field_type_valid(char type);  // one of FIELD_TYPES
// An operand of this type is a string: every type but N, L and the digit types (so that a
// password, hidden or unknown field never reads as a number).
bool field_type_is_text(char type);
u16 field_decimals(char type);  // 1-9 for the digit types, else 0

// The width a field takes on screen and in reports: under _COMPAT bit 64 a digit type 1-8
// adds its decimals and the point to the width; a logical field is at least as wide as the
// longest of the language's words for unset, no and yes.
u16 field_display_width(char type, u16 width);

// The stored form of a value: text types padded or cut; dates of eight characters into a
// width of 6 keep the last six; numbers and logicals right-aligned, a number whose decimals
// do not fit re-edited with as many decimals as fit (168 when its whole part does not fit);
// T and V spaces.
Str field_fit(char type, Str value, u16 width);
// The text shown for a stored value, field_display_width(type, width) characters wide.
Str field_display(char type, Str stored, u16 width);
// The stored form of typed input (168 when a typed number does not fit the field).
Str field_parse(char type, Str typed, u16 width);
// The value of a stored field as expressions see it: under _COMPAT bit 4 a date field of
// six characters is widened to eight; anything else comes back as it is.
Str field_read(char type, Str stored);

// Logical values: the stored character " " (unset), "0" (no) or "1" (yes).
// The first typed character, upper-cased, among the language's letters for unset, no and
// yes; any other character (or none) is unset.
Str logical_parse(Str typed);
// The language's word for the stored character (any other character shows "no"), fitted
// to width.
Str logical_display(Str stored, u16 width);

// The base of a data file's name before its extension is added: under _COMPAT bit 8 its
// first eight characters (a view).
Str datafile_base_name(Str name);

}  // namespace vx::expr
