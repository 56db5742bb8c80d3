// Scaled numbers: the scale, rounding to whole numbers, number literals and number texts.
#include "expr/value.h"

#include <cstring>

#include "runtime/arena.h"
#include "runtime/sysvars.h"

namespace vx::expr {

using namespace vx::rt;

namespace {

using u64 = std::uint64_t;

constexpr i64 POW10[PRECIS_MAX + 1] = {1, 10, 100, 1000, 10000};
constexpr u16 NUM_TEXT_MAX = 24;   // sign, 19 digits, point, spare

u64 magnitude(i64 v) { return v < 0 ? 0 - u64(v) : u64(v); }
i64 with_sign(u64 m, bool negative) { return i64(negative ? 0 - m : m); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

u16 precis() {
    i16 p = sysint_get(SV_PRECIS);
    return p < 0 ? 0 : p > PRECIS_MAX ? PRECIS_MAX : u16(p);
}

i64 scale() { return POW10[precis()]; }

i64 num_round_whole(i64 scaled) {
    u64 s = u64(scale());
    return with_sign((magnitude(scaled) + s / 2) / s, scaled < 0);
}

i64 num_trunc_whole(i64 scaled) { return scaled / scale(); }

i16 num_to_int16(i64 scaled) { return i16(u16(u64(num_round_whole(scaled)))); }

i64 num_parse(Str text) {
    if (!text.ok()) return 0;
    u32 i = 0;
    // Numbers stand right-aligned in wide fields: their blanks go eight at a time.
    static constexpr char EIGHT_BLANKS[] = "        ";
    while (i + 8 <= text.n && std::memcmp(text.p + i, EIGHT_BLANKS, 8) == 0) i += 8;
    while (i < text.n && (text.p[i] == ' ' || text.p[i] == '\t')) i++;
    bool negative = false;
    if (i < text.n && (text.p[i] == '-' || text.p[i] == '+')) negative = text.p[i++] == '-';
    u64 m = 0;
    for (; i < text.n && is_digit(text.p[i]); i++) m = m * 10 + u64(text.p[i] - '0');
    u16 decimals = precis();
    u16 taken = 0;
    bool round_up = false;
    if (i < text.n && text.p[i] == '.') {
        for (i++; i < text.n && is_digit(text.p[i]); i++) {
            if (taken < decimals) {
                m = m * 10 + u64(text.p[i] - '0');
                taken++;
            } else {
                if (taken == decimals) round_up = text.p[i] >= '5';
                taken = u16(decimals + 1);   // only the first dropped digit decides
            }
        }
    }
    for (u16 k = taken; k < decimals; k++) m *= 10;
    if (round_up) m++;
    return with_sign(m, negative);
}

Str num_text(i64 scaled) {
    char buf[NUM_TEXT_MAX];
    u16 decimals = precis();
    u64 m = magnitude(scaled);
    u16 at = NUM_TEXT_MAX;
    for (u16 d = 0; d < decimals; d++, m /= 10) buf[--at] = char('0' + m % 10);
    if (decimals) buf[--at] = '.';
    do {
        buf[--at] = char('0' + m % 10);
        m /= 10;
    } while (m);
    if (scaled < 0) buf[--at] = '-';
    Str r = tmp_alloc(u32(NUM_TEXT_MAX - at), NO_FILL);
    if (r.ok()) std::memcpy(str_mut(r), buf + at, r.n);
    return r;
}

}  // namespace vx::expr
