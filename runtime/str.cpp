// The string library of the run-time: making and copying descriptors, plain and quote-aware
// searching, changing, conversions, numbers as text, and the 16-bit and descriptor arrays
// kept inside strings. New strings are placed in the temporary-string arena; views copy
// nothing. Lists and option strings live in strlist.cpp.
//
// Quote-aware searching skips every '...' or "..." section: a byte inside one is never
// found, a quote byte itself is never found, and a quote that is never closed ends the
// search with NOT_FOUND.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "runtime/arena.h"
#include "runtime/error.h"
#include "runtime/str.h"

namespace vx::rt {

namespace {

using u64 = std::uint64_t;

constexpr u8 SQUOTE = '\'';
constexpr u8 DQUOTE = '"';
constexpr char BRACKETS[] = "[](){}<>";  // each opener followed by its partner
constexpr char DIGITS[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
constexpr u16 MIN_BASE = 2;
constexpr u16 MAX_BASE = 36;
constexpr u32 MAX_DIGITS = 17;  // sign and 16 binary digits of a 16-bit number
constexpr int MAX_POW10 = 18;   // 10^18 is the largest power of ten in 64 bits
const Str YES_WORDS[] = {S("YES"), S("SI"), S("Y"), S("S"), S("ON")};
const Str BLANKS = S(" \t");

bool is_quote(u8 b) {
    return b == SQUOTE || b == DQUOTE;
}
u8 to_upper(u8 b) {
    return b >= 'a' && b <= 'z' ? u8(b - 'a' + 'A') : b;
}
u8 to_lower(u8 b) {
    return b >= 'A' && b <= 'Z' ? u8(b - 'A' + 'a') : b;
}
bool is_digit(u8 b) {
    return b >= '0' && b <= '9';
}
bool is_blank(u8 b) {
    return b == ' ' || b == '\t';
}
u32 min_u32(u32 a, u32 b) {
    return a < b ? a : b;
}
u64 magnitude(i64 v) {
    return v < 0 ? 0 - u64(v) : u64(v);
}

// A set of bytes as a 256-bit mask.
struct ByteSet {
    u64 bits[4] = {};
    explicit ByteSet(Str set) {
        for (u32 i = 0; i < set.n; i++) add(set.at(i));
    }
    void add(u8 b) { bits[b >> 6] |= u64(1) << (b & 63); }
    bool has(u8 b) const { return (bits[b >> 6] >> (b & 63)) & 1; }
};

#if defined(__SSE2__)
constexpr u32 BLOCK = 16;  // bytes compared at once

u32 match_mask(__m128i x, u8 b) {
    return u32(_mm_movemask_epi8(_mm_cmpeq_epi8(x, _mm_set1_epi8(char(b)))));
}
#endif

// Set bits of a 16-bit mask.
u32 bit_count(u32 m) {
    m = m - ((m >> 1) & 0x5555);
    m = (m & 0x3333) + ((m >> 2) & 0x3333);
    m = (m + (m >> 4)) & 0x0F0F;
    return (m + (m >> 8)) & 0x1F;
}

// Index of the k-th (from 1) set bit of m, which has at least k.
u32 nth_bit(u32 m, u32 k) {
    while (--k) m &= m - 1;
    return u32(__builtin_ctz(m));
}

// Index of the quote closing the one at open, or n when it is never closed.
u32 closing_quote(const u8* s, u32 open, u32 n) {
    const void* r = std::memchr(s + open + 1, s[open], n - open - 1);
    return r ? u32(static_cast<const u8*>(r) - s) : n;
}

// First quote byte in [i, n), or n.
u32 first_quote(const u8* s, u32 i, u32 n) {
#if defined(__SSE2__)
    for (; i + BLOCK <= n; i += BLOCK) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        const u32 quotes = match_mask(x, SQUOTE) | match_mask(x, DQUOTE);
        if (quotes) return i + u32(__builtin_ctz(quotes));
    }
#endif
    for (; i < n; i++)
        if (is_quote(s[i])) return i;
    return n;
}

// Index of the nth (from 1) byte ch at or after i, skipping quoted sections when quoted.
// With fewer of them, returns n and leaves in nth how many were still missing. A quote
// that is never closed ends the search; a quote byte is never found in quoted mode.
// Sixteen bytes are looked at in one step: many short items, and quoted sections that
// close within the same sixteen bytes, are passed without a byte loop.
u32 find_nth(const u8* s, u32 i, u32 n, u8 ch, u32& nth, bool quoted) {
#if defined(__SSE2__)
    u8 open_quote = 0;  // the quote whose section runs on into the next block
    for (; i + BLOCK <= n; i += BLOCK) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        const u32 hits = match_mask(x, ch);
        const u32 singles = quoted ? match_mask(x, SQUOTE) : 0;
        const u32 doubles = quoted ? match_mask(x, DQUOTE) : 0;
        u32 live = 0xFFFF;  // bits of the block outside quoted sections, from the first on
        if (open_quote) {
            const u32 close = open_quote == SQUOTE ? singles : doubles;
            if (!close) continue;
            live = ~((2u << __builtin_ctz(close)) - 1) & 0xFFFF;
            open_quote = 0;
        }
        for (;;) {
            const u32 quotes = (singles | doubles) & live;
            const u32 before = hits & live & (quotes ? (quotes & (0 - quotes)) - 1 : 0xFFFF);
            const u32 k = bit_count(before);
            if (k >= nth) return i + nth_bit(before, nth);
            nth -= k;
            if (!quotes) break;
            const u32 open = u32(__builtin_ctz(quotes));
            const u32 close = (s[i + open] == SQUOTE ? singles : doubles) & ~((2u << open) - 1);
            if (!close) {
                open_quote = s[i + open];
                break;
            }
            live = ~((2u << __builtin_ctz(close)) - 1) & 0xFFFF;
        }
    }
    if (open_quote) {
        const void* close = i < n ? std::memchr(s + i, open_quote, n - i) : nullptr;
        if (!close) return n;
        i = u32(static_cast<const u8*>(close) - s) + 1;
    }
#endif
    for (; i < n; i++) {
        if (quoted && is_quote(s[i])) {
            i = closing_quote(s, i, n);
            if (i >= n) return n;
        } else if (s[i] == ch && --nth == 0) {
            return i;
        }
    }
    return n;
}

u16 find_byte(const u8* s, u32 n, u32 from, u8 ch, SearchMode mode) {
    if (from >= n) return NOT_FOUND;
    if (mode == PLAIN) {
        const void* r = std::memchr(s + from, ch, n - from);
        return r ? u16(static_cast<const u8*>(r) - s) : NOT_FOUND;
    }
    u32 nth = 1;
    const u32 at = find_nth(s, from, n, ch, nth, true);
    return at < n ? u16(at) : NOT_FOUND;
}

u16 find_in_set(const u8* s, u32 n, u32 from, const ByteSet& set, SearchMode mode) {
    for (u32 i = from; i < n; i++) {
        u8 b = s[i];
        if (mode != PLAIN && is_quote(b)) {
            i = closing_quote(s, i, n);
            if (i >= n) return NOT_FOUND;
        } else if (set.has(b)) {
            return u16(i);
        }
    }
    return NOT_FOUND;
}

u16 find_sub_plain(const u8* s, u32 n, u32 from, const u8* pat, u32 m) {
    const void* r = memmem(s + from, n - from, pat, m);
    return r ? u16(static_cast<const u8*>(r) - s) : NOT_FOUND;
}

// The first occurrence of the pattern whose first byte lies outside quotes. Each plain
// occurrence is accepted when no quote opens between the current position and it;
// otherwise the search goes on behind the closing quote. One pass over the text.
u16 find_sub_quoted(const u8* s, u32 n, u32 from, const u8* pat, u32 m) {
    if (is_quote(pat[0])) return NOT_FOUND;
    u32 at = find_sub_plain(s, n, from, pat, m);
    for (u32 i = from; at != NOT_FOUND;) {
        const u32 q = first_quote(s, i, at);
        if (q >= at) return u16(at);
        i = closing_quote(s, q, n) + 1;
        if (i > n) break;
        if (at < i) at = i + m <= n ? find_sub_plain(s, n, i, pat, m) : NOT_FOUND;
    }
    return NOT_FOUND;
}

u16 find_sub(const u8* s, u32 n, u32 from, const u8* pat, u32 m, SearchMode mode) {
    if (m == 0 || m > n || from > n - m) return NOT_FOUND;
    return mode == PLAIN ? find_sub_plain(s, n, from, pat, m) : find_sub_quoted(s, n, from, pat, m);
}

u16 compare_bytes(const u8* a, u32 na, const u8* b, u32 nb) {
    int c = std::memcmp(a, b, min_u32(na, nb));
    if (c == 0) c = na == nb ? 0 : (na > nb ? 1 : -1);
    return c == 0 ? 0 : (c > 0 ? 1 : NOT_FOUND);
}

// A new string of n bytes, not filled; 146 when n is beyond the longest string.
Str alloc_result(u64 n) {
    return n > MAX_STR ? str_error(E_STRINGTOOLONG) : tmp_alloc(u32(n), NO_FILL);
}

// a + b + c as a new string; the first error descriptor among them is returned as is.
Str concat3(Str a, Str b, Str c) {
    if (!a.ok()) return a;
    if (!b.ok()) return b;
    if (!c.ok()) return c;
    Str r = alloc_result(u64(a.n) + b.n + c.n);
    if (!r.ok()) return r;
    char* w = str_mut(r);
    std::memcpy(w, a.p, a.n);
    std::memcpy(w + a.n, b.p, b.n);
    std::memcpy(w + a.n + b.n, c.p, c.n);
    return r;
}

Str map_bytes(Str s, u8 (*map)(u8)) {
    if (!s.ok()) return s;
    Str r = tmp_alloc(s.n, NO_FILL);
    if (!r.ok()) return r;
    u8* w = reinterpret_cast<u8*>(str_mut(r));
    for (u32 i = 0; i < s.n; i++) w[i] = map(s.at(i));
    return r;
}

Str trim_by(Str s, u8 sides, const ByteSet& set) {
    if (!s.ok()) return s;
    u32 b = 0, e = s.n;
    if (sides & TRIM_LEFT)
        while (b < e && set.has(s.at(u16(b)))) b++;
    if (sides & TRIM_RIGHT)
        while (e > b && set.has(s.at(u16(e - 1)))) e--;
    return Str{s.p + b, u16(e - b)};
}

char other_quote(char q) {
    return q == '\'' ? '"' : (q == '"' ? '\'' : q);
}

// Decimal (or other base) text of v, padded on the left with fill up to width.
Str number_text(i64 v, u32 base, u32 width, char fill) {
    char buf[MAX_DIGITS];
    u32 k = MAX_DIGITS;
    u64 m = magnitude(v);
    do {
        buf[--k] = DIGITS[m % base];
        m /= base;
    } while (m);
    if (v < 0) buf[--k] = '-';
    u32 len = MAX_DIGITS - k;
    u32 pad = width > len ? width - len : 0;
    Str r = alloc_result(u64(pad) + len);
    if (!r.ok()) return r;
    std::memset(str_mut(r), fill, pad);
    std::memcpy(str_mut(r) + pad, buf + k, len);
    return r;
}

u64 pow10(int e) {
    u64 p = 1;
    while (e-- > 0) p *= 10;
    return p;
}

}  // namespace

// ---- Building in the arena's free space ----

StrBuilder::StrBuilder() {
    Str f = tmp_free_space();
    if (!f.ok()) {
        error = str_error_code(f);
        return;
    }
    p = str_mut(f);
    cap = min_u32(f.n, ARENA_MAX_ALLOC);
}

void StrBuilder::put(const char* q, u32 n) {
    if (n && len + n <= cap) std::memcpy(p + len, q, n);
    len += n;
}

void StrBuilder::put(Str s) {
    if (s.ok()) put(s.p, s.n);
}

void StrBuilder::fill(char ch, u32 n) {
    if (n && len + n <= cap) std::memset(p + len, ch, n);
    len += n;
}

Str StrBuilder::finish() {
    if (error) return str_error(error);
    if (len > MAX_STR) return str_error(E_STRINGTOOLONG);
    if (len > cap) return str_error(E_OUTOFMEMORY);
    return tmp_alloc(u32(len), NO_FILL);  // claims the bytes written at the top
}

// ---- Making and copying ----

Str str_from_cstr(const char* p) {
    if (!p) return str_error(E_DATA);
    size_t n = strnlen(p, size_t(MAX_STR) + 1);
    return n > MAX_STR ? str_error(E_STRINGTOOLONG) : Str{p, u16(n)};
}

Str str_copy(Str s) {
    return concat3(s, str_empty(), str_empty());
}

Str str_fill(u32 n, char ch) {
    Str r = alloc_result(n);
    if (r.ok()) std::memset(str_mut(r), ch, n);
    return r;
}

Str str_repeat(Str s, u32 times) {
    if (!s.ok()) return s;
    Str r = alloc_result(u64(s.n) * times);
    if (!r.ok()) return r;
    for (u32 i = 0; i < times && s.n; i++) std::memcpy(str_mut(r) + u64(i) * s.n, s.p, s.n);
    return r;
}

Str str_concat(Str a, Str b) {
    return concat3(a, b, str_empty());
}

Str str_join(Str a, Str sep, Str b) {
    if (!a.ok()) return a;
    if (!b.ok()) return b;
    if (!sep.ok()) return sep;
    return concat3(a, a.n && b.n ? sep : str_empty(), b);
}

Str str_join_kv(Str key, Str value) {
    if (!key.ok()) return key;
    if (!value.ok()) return value;
    if (!key.n || !value.n) return str_error(E_DATA);
    return concat3(key, S("="), value);
}

const char* str_to_cstr(Str s) {
    static const char empty[] = "";
    Str r = concat3(s, S("\0"), str_empty());
    return r.ok() ? r.p : empty;
}

Str str_format(u16 max, const char* fmt, ...) {
    Str f = tmp_free_space();
    if (!f.ok()) return f;
    if (!fmt) return str_error(E_DATA);
    const u32 bound = u32(max) + 1;  // the text and its terminator
    const u32 room = min_u32(bound, f.n);
    va_list ap;
    va_start(ap, fmt);
    int n = std::vsnprintf(str_mut(f), room, fmt, ap);
    va_end(ap);
    if (n < 0) return str_error(error_raise(M_FORMATSTRINGS, E_FORMATFAILURE));
    if (u32(n) >= bound) return str_error(error_raise(M_FORMATSTRINGS, E_STRINGTOOLONG));
    if (u32(n) >= room) return str_error(E_OUTOFMEMORY);
    return tmp_alloc(u32(n), NO_FILL);  // claims the formatted bytes at the top
}

Str str_overwrite(Str s, int pos, Str t) {
    if (!t.ok()) return t;
    Str r = str_copy(s);
    if (!r.ok()) return r;
    i64 at = pos < 0 ? i64(s.n) + pos : pos;
    if (at < 0) at = 0;
    if (at < s.n) std::memcpy(str_mut(r) + at, t.p, min_u32(t.n, u32(s.n - at)));
    return r;
}

Str str_substr(Str s, int start, u16 count) {
    if (!s.ok()) return s;
    const u32 n = s.n;
    if (start < 0) {
        u64 k = magnitude(start);
        if (k > n) k = n;
        return Str{s.p + n - k, u16(k)};
    }
    u32 b = min_u32(u32(start), n);
    u32 k = count == NOT_FOUND || u64(b) + count > n ? n - b : count;
    return Str{s.p + b, u16(k)};
}

// ---- Searching ----

u16 str_find_char(Str s, u16 from, char ch, SearchMode mode) {
    return s.ok() ? find_byte(s.bytes(), s.n, from, u8(ch), mode) : NOT_FOUND;
}

u16 str_find_nth_char(Str s, u16 from, char ch, u16 nth, SearchMode mode) {
    if (!s.ok() || nth == 0 || from >= s.n) return NOT_FOUND;
    u32 missing = nth;
    const u32 at = find_nth(s.bytes(), from, s.n, u8(ch), missing, mode != PLAIN);
    return at < s.n ? u16(at) : NOT_FOUND;
}

u16 str_count_char(Str s, char ch, SearchMode mode) {
    if (!s.ok()) return 0;
    const u32 all = s.n + 1u;  // more than there can be
    u32 missing = all;
    find_nth(s.bytes(), 0, s.n, u8(ch), missing, mode != PLAIN);
    return u16(all - missing);
}

u16 str_find_any(Str s, u16 from, Str set, SearchMode mode) {
    if (!s.ok() || !set.ok()) return NOT_FOUND;
    if (set.n == 1) return str_find_char(s, from, set.p[0], mode);
    return find_in_set(s.bytes(), s.n, from, ByteSet(set), mode);
}

u16 str_find_sub(Str s, Str pat, SearchMode mode) {
    return str_find_sub_from(s, 0, pat, mode);
}

u16 str_find_sub_from(Str s, u16 from, Str pat, SearchMode mode) {
    if (!s.ok() || !pat.ok()) return NOT_FOUND;
    return find_sub(s.bytes(), s.n, from, pat.bytes(), pat.n, mode);
}

u16 str_find_last_char(Str s, char ch, SearchMode mode) {
    if (!s.ok() || !s.n) return NOT_FOUND;
    if (mode == PLAIN) {
        const void* r = memrchr(s.p, ch, s.n);
        return r ? u16(static_cast<const char*>(r) - s.p) : NOT_FOUND;
    }
    u16 last = NOT_FOUND;
    for (u16 j; (j = find_byte(s.bytes(), s.n, last == NOT_FOUND ? 0 : last + 1u, u8(ch), mode)) !=
                NOT_FOUND;)
        last = j;
    return last;
}

u16 str_find_last_any(Str s, Str set, SearchMode mode) {
    if (!s.ok() || !set.ok()) return NOT_FOUND;
    const ByteSet bytes(set);
    if (mode == PLAIN) {
        for (u32 i = s.n; i-- > 0;)
            if (bytes.has(s.at(u16(i)))) return u16(i);
        return NOT_FOUND;
    }
    u16 last = NOT_FOUND;
    for (u16 j; (j = find_in_set(s.bytes(), s.n, last == NOT_FOUND ? 0 : last + 1u, bytes, mode)) !=
                NOT_FOUND;)
        last = j;
    return last;
}

u16 str_find_last_sub(Str s, Str pat, SearchMode mode) {
    if (!s.ok() || !pat.ok() || pat.n == 0 || pat.n > s.n) return NOT_FOUND;
    if (mode == PLAIN) {
        for (u32 i = u32(s.n - pat.n) + 1; i-- > 0;) {
            const void* r = memrchr(s.p, pat.p[0], i + 1);
            if (!r) return NOT_FOUND;
            i = u32(static_cast<const char*>(r) - s.p);
            if (std::memcmp(s.p + i, pat.p, pat.n) == 0) return u16(i);
        }
        return NOT_FOUND;
    }
    u16 last = NOT_FOUND;
    for (u16 j;
         (j = str_find_sub_from(s, last == NOT_FOUND ? 0 : last + 1u, pat, mode)) != NOT_FOUND;)
        last = j;
    return last;
}

u16 str_count_sub(Str s, Str pat, SearchMode mode) {
    if (!s.ok() || !pat.ok() || pat.n == 0) return 0;
    u16 count = 0;
    for (u32 i = 0; i + pat.n <= s.n; count++) {
        u16 j = str_find_sub_from(s, u16(i), pat, mode);
        if (j == NOT_FOUND) break;
        i = u32(j) + pat.n;
    }
    return count;
}

bool str_all_in_set(Str s, Str set) {
    if (!s.ok() || !set.ok()) return false;
    const ByteSet bytes(set);
    for (u32 i = 0; i < s.n; i++)
        if (!bytes.has(s.at(u16(i)))) return false;
    return true;
}

// An error descriptor on either side compares as 159, like str_compare_n.
u16 str_compare(Str a, Str b) {
    if (!a.ok() || !b.ok()) return E_STROUTBOUND;
    return compare_bytes(a.bytes(), a.n, b.bytes(), b.n);
}

u16 str_compare_n(Str a, Str b, u16 n) {
    if (!a.ok() || !b.ok()) return E_STROUTBOUND;
    return compare_bytes(a.bytes(), min_u32(a.n, n), b.bytes(), min_u32(b.n, n));
}

u16 str_cstr_len(Str s) {
    return s.ok() ? find_byte(s.bytes(), s.n, 0, 0, PLAIN) : NOT_FOUND;
}

bool str_enclosed(Str s, char ch) {
    return s.ok() && s.n > 1 && s.p[0] == ch && s.p[s.n - 1] == str_partner(ch);
}

bool str_equal(Str a, Str b) {
    return a.ok() && b.ok() && a.n == b.n && std::memcmp(a.p, b.p, a.n) == 0;
}

bool str_equal_nocase(Str a, Str b) {
    if (!a.ok() || !b.ok() || a.n != b.n) return false;
    for (u32 i = 0; i < a.n; i++)
        if (to_upper(a.at(u16(i))) != to_upper(b.at(u16(i)))) return false;
    return true;
}

// ---- Changing ----

Str str_trim(Str s, u8 sides) {
    return trim_by(s, sides, ByteSet(BLANKS));
}

Str str_trim_set(Str s, u8 sides, Str set) {
    if (!set.ok()) return s;
    return trim_by(s, sides, ByteSet(set));
}

Str str_unquote(Str s) {
    if (!s.ok() || s.n < 2 || !is_quote(s.at(0)) || s.p[s.n - 1] != s.p[0]) return s;
    return Str{s.p + 1, u16(s.n - 2)};
}

Str str_clean(Str s) {
    if (!s.ok()) return s;
    Str t = str_unquote(str_trim(s, TRIM_BOTH));
    return t.n == s.n ? str_upper(s) : t;
}

Str str_upper(Str s) {
    return map_bytes(s, to_upper);
}
Str str_lower(Str s) {
    return map_bytes(s, to_lower);
}

Str str_quote(Str s, char q) {
    if (!s.ok()) return s;
    if (std::memchr(s.p, q, s.n)) {
        q = other_quote(q);
        if (std::memchr(s.p, q, s.n)) return str_error(E_DATA);
    }
    return concat3(Str{&q, 1}, s, Str{&q, 1});
}

Str str_wrap(Str s, char ch) {
    const char close = str_partner(ch);
    return concat3(Str{&ch, 1}, s, Str{&close, 1});
}

char str_partner(char ch) {
    const char* at = ch ? std::strchr(BRACKETS, ch) : nullptr;
    return at ? BRACKETS[(at - BRACKETS) ^ 1] : ch;
}

Str str_between(Str s, char open, SearchMode mode) {
    if (!s.ok()) return s;
    const Str none{s.p, 0};
    const u16 o = str_find_char(s, 0, open, mode);
    if (o == NOT_FOUND) return none;
    const u32 from = u32(o) + 1;
    const char close = str_partner(open);
    if (close == open) {
        u16 c = str_find_char(s, u16(from), open, mode);
        return c == NOT_FOUND ? none : Str{s.p + from, u16(c - from)};
    }
    const char pair[2] = {open, close};
    const ByteSet brackets(Str{pair, 2});
    for (u32 i = from, depth = 1; i < s.n; i++) {
        u16 j = find_in_set(s.bytes(), s.n, i, brackets, mode);
        if (j == NOT_FOUND) break;
        if (s.p[j] == open) {
            depth++;
        } else if (--depth == 0) {
            return Str{s.p + from, u16(j - from)};
        }
        i = j;
    }
    return none;
}

Str str_replace(Str s, Str pat, Str rep, SearchMode mode) {
    if (!s.ok()) return s;
    if (!pat.ok()) return pat;
    if (!rep.ok()) return rep;
    if (pat.n == 0) return s;
    if (pat.n == 1 && is_quote(pat.at(0))) mode = PLAIN;
    StrBuilder b;
    u32 i = 0;
    for (u16 j; (j = str_find_sub_from(s, u16(i), pat, mode)) != NOT_FOUND; i = u32(j) + pat.n) {
        b.put(s.p + i, j - i);
        b.put(rep);
    }
    b.put(s.p + i, s.n - i);
    Str r = b.finish();
    return r.ok() ? r : str_error(error_raise(M_STRCONCAT, E_MEMTEST));
}

Str str_collapse(Str s, char ch, SearchMode mode) {
    if (!s.ok()) return s;
    StrBuilder b;
    u32 i = 0;
    for (u16 j; (j = str_find_char(s, u16(i), ch, mode)) != NOT_FOUND;) {
        b.put(s.p + i, u32(j) + 1 - i);
        for (i = u32(j) + 1; i < s.n && s.p[i] == ch;) i++;
        if (i >= s.n) break;
    }
    if (i < s.n) b.put(s.p + i, s.n - i);
    return b.finish();
}

Str str_keep(Str s, Str set) {
    if (!s.ok()) return s;
    if (!set.ok()) return set;
    const ByteSet bytes(set);
    StrBuilder b;
    for (u32 i = 0; i < s.n; i++)
        if (bytes.has(s.at(u16(i)))) b.put(s.p + i, 1);
    return b.finish();
}

Str str_translate(Str s, Str from, Str to) {
    if (!s.ok()) return s;
    if (!from.ok()) return from;
    if (!to.ok()) return to;
    u8 map[256];
    for (u32 i = 0; i < 256; i++) map[i] = u8(i);
    for (u32 i = min_u32(from.n, to.n); i-- > 0;) map[from.at(u16(i))] = to.at(u16(i));
    Str r = str_copy(s);
    if (!r.ok()) return r;
    u8* w = reinterpret_cast<u8*>(str_mut(r));
    for (u32 i = 0; i < r.n; i++) w[i] = map[w[i]];
    return r;
}

Str str_replace_each(Str s, Str pats, Str reps) {
    if (!s.ok()) return s;
    if (!pats.ok()) return pats;
    if (!reps.ok()) return reps;
    const u32 k = reps.n;
    const u32 m = k ? pats.n / k : 0;
    if (m == 0) return s;
    const u16 mark = tmp_mark();
    Str cur = s;
    for (u32 i = 0; i < k && cur.ok(); i++) {
        Str next = str_replace(cur, Str{pats.p + i * m, u16(m)}, Str{reps.p + i, 1}, PLAIN);
        cur = tmp_release_keep(mark, next);
    }
    return cur;
}

// ---- Conversions ----

bool str_is_yes(Str s) {
    for (Str word : YES_WORDS)
        if (str_equal_nocase(s, word)) return true;
    return false;
}

i16 str_to_int(Str s) {
    if (!s.ok()) return 0;
    if (str_is_yes(s)) return 1;
    return i16(u16(u64(text_to_int64(s))));
}

// ---- Numbers and text ----

Str int_to_text(i16 n) {
    return number_text(n, 10, 0, ' ');
}

Str int_to_text_base(i16 n, u16 base) {
    if (base < MIN_BASE || base > MAX_BASE) return str_error(E_DATA);
    return number_text(n, base, 0, ' ');
}

Str int_to_text_padded(i16 n, u16 width, char fill) {
    return number_text(n, 10, width, fill);
}

i64 text_to_int64(Str s) {
    if (!s.ok()) return 0;
    u32 i = 0;
    while (i < s.n && is_blank(s.at(u16(i)))) i++;
    bool negative = false;
    if (i < s.n && (s.p[i] == '-' || s.p[i] == '+')) negative = s.p[i++] == '-';
    u64 v = 0;
    for (; i < s.n && is_digit(s.at(u16(i))); i++) v = v * 10 + (s.at(u16(i)) - '0');
    return i64(negative ? 0 - v : v);
}

// Rounds half away from zero, except that a quotient of 0 stays 0.
i64 div_round(i64 a, i64 b) {
    if (b == 0) return 0;
    if (b == -1) return i64(0 - u64(a));  // the one quotient that could overflow
    i64 q = a / b;
    u64 r = magnitude(a % b);
    u64 d = magnitude(b);
    if (d / 2 != 0 && q != 0 && 2 * r >= d) q += q > 0 ? 1 : -1;
    return q;
}

i64 round_to_decimals(i64 v, int from, int to) {
    const i64 diff = i64(to) - from;
    if (diff > 0) return i64(u64(v) * pow10(int(diff > MAX_POW10 + 1 ? MAX_POW10 + 1 : diff)));
    if (diff == 0) return v;
    if (-diff > MAX_POW10) return 0;
    const u64 unit = pow10(int(-diff));
    const i64 q = v / i64(unit);
    const u64 r = magnitude(v % i64(unit));
    u64 m = magnitude(q) + (2 * r >= unit ? 1 : 0);
    return i64(v < 0 ? 0 - m * unit : m * unit);
}

i64 array_extreme(const void* values, u16 count, u16 width, u16 step, bool largest) {
    if (!values || count == 0) return 0;
    const u8* p = static_cast<const u8*>(values);
    const u32 stride = u32(width) + step;
    auto value_at = [&](u32 i) -> i64 {
        const u8* q = p + u64(i) * stride;
        switch (width) {
            case 1:
                return i64(std::int8_t(*q));
            case 2: {
                u16 v;
                std::memcpy(&v, q, 2);
                return v;
            }
            case 4: {
                i32 v;
                std::memcpy(&v, q, 4);
                return v;
            }
            case 8: {
                i64 v;
                std::memcpy(&v, q, 8);
                return v;
            }
            default:
                return 0;
        }
    };
    i64 best = value_at(0);
    for (u32 i = 1; i < count; i++) {
        i64 v = value_at(i);
        if (largest ? v > best : v < best) best = v;
    }
    return best;
}

// ---- 16-bit and descriptor arrays inside a string ----

u16 arr16_get(Str s, u16 i) {
    if (!s.ok() || i >= s.n / sizeof(u16)) return 0;
    u16 v;
    std::memcpy(&v, s.p + u32(i) * sizeof(u16), sizeof v);
    return v;
}

void arr16_set(Str s, u16 i, u16 v) {
    if (!s.ok() || i >= s.n / sizeof(u16)) return;
    std::memcpy(str_mut(s) + u32(i) * sizeof(u16), &v, sizeof v);
}

Str arrdesc_get(Str s, u16 i) {
    if (!s.ok() || i >= s.n / sizeof(Str)) return str_empty();
    Str d;
    std::memcpy(static_cast<void*>(&d), s.p + u32(i) * sizeof(Str), sizeof d);
    return d;
}

u16 array_find(const void* records, u16 count, const void* record, u16 size) {
    if (!records || !record || size == 0) return NOT_FOUND;
    const u8* p = static_cast<const u8*>(records);
    for (u32 i = 0; i < count; i++)
        if (std::memcmp(p + u64(i) * size, record, size) == 0) return u16(i);
    return NOT_FOUND;
}

}  // namespace vx::rt
