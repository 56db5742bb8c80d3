// Values of the expression language: a scaled number or a string.
//
// A number is a signed 64-bit integer holding the value times 10 to the power _PRECIS
// (two decimals unless changed: 12.5 is held as 1250). A string is a descriptor, usually
// in the temporary-string arena. Truth values are the numbers 1 and 0 in scale units.
#pragma once

#include "runtime/str.h"

namespace vx::expr {

using rt::i16;
using rt::i64;
using rt::Str;
using rt::u16;
using rt::u32;
using rt::u8;

inline constexpr u16 PRECIS_MAX = 4;   // decimals beyond this are not representable

struct Value {
    i64 num = 0;        // scaled number, when !is_str
    Str str{"", 0};     // text, when is_str
    bool is_str = false;
};

inline Value val_num(i64 scaled) { return Value{scaled, Str{"", 0}, false}; }
inline Value val_str(Str s) { return Value{0, s, true}; }

// Decimals of every scaled number: _PRECIS, held to 0..4.
u16 precis();
// 10 to the power precis().
i64 scale();

// Whole numbers and scaled numbers.
inline i64 num_from_whole(i64 whole) { return whole * scale(); }
i64 num_round_whole(i64 scaled);     // the whole number, rounded half away from zero
i64 num_trunc_whole(i64 scaled);     // the whole number, truncated toward zero
i16 num_to_int16(i64 scaled);        // rounded, then kept in 16 bits (40000 gives -25536)

// A decimal number text ("12.345", "-3", ".5") with "." as decimal point, rounded half
// away from zero to precis() decimals. Reading stops at the first byte that is not part of
// the number; a text without digits is 0. Arithmetic wraps in 64 bits.
i64 num_parse(Str text);
// The number as text with precis() decimals ("12.35", "-0.50", "7" with no decimals); a
// new string in the arena.
Str num_text(i64 scaled);

}  // namespace vx::expr
