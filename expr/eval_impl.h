// Number helpers shared by the evaluator's source files. Not for use outside expr/.
//
// Arithmetic on scaled numbers wraps in 64 bits: it is done on unsigned values and cast
// back, so that no overflow is undefined.
#pragma once

#include "expr/value.h"

namespace vx::expr::detail {

using u64 = std::uint64_t;

inline constexpr u16 POW10_MAX = 18;   // 10^18 is the largest power of ten in 64 bits

inline i64 wrap_add(i64 a, i64 b) { return i64(u64(a) + u64(b)); }
inline i64 wrap_sub(i64 a, i64 b) { return i64(u64(a) - u64(b)); }
inline i64 wrap_mul(i64 a, i64 b) { return i64(u64(a) * u64(b)); }
inline u64 magnitude(i64 v) { return v < 0 ? 0 - u64(v) : u64(v); }

// a / b rounded half away from zero; 0 when b is 0. Exact for every pair of 64-bit values.
inline i64 div_half_away(i64 a, i64 b) {
    if (b == 0) return 0;
    u64 ma = magnitude(a), mb = magnitude(b);
    u64 q = ma / mb, r = ma % mb;
    if (r >= mb - r) q++;
    return (a < 0) != (b < 0) ? i64(0 - q) : i64(q);
}

inline i64 pow10(u16 n) {
    i64 p = 1;
    for (u16 i = 0; i < n && i < POW10_MAX; i++) p *= 10;
    return p;
}

// The scaled number (precis() decimals) as text with the given number of decimals, rounded
// half away from zero; a new string in the arena.
Str number_text(i64 scaled, u16 decimals);

}  // namespace vx::expr::detail

namespace vx::expr::detail {


// Applies a binary operator other than assignment to two numbers; 0, or 147 for an operator
// that has no numeric rule.
u16 apply_numbers(u8 op, i64 a, i64 b, i64* out);
// Applies a binary operator other than assignment to two strings: concatenation or a
// comparison (a number); 147 for an operator that has no string rule, or the error of a
// concatenation that failed.
u16 apply_strings(u8 op, Str a, Str b, Value& out);
// String == with the wildcard rule (unless _AUXSTAT bit 128 is set).
bool strings_match(Str left, Str right);

}  // namespace vx::expr::detail

namespace vx::expr::detail {

// The bracket expansion of task lines (registered with the task dispatcher).
Str task_line_expand(Str line);

}  // namespace vx::expr::detail
