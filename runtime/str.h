// String descriptors and the library of string, search, list, option, conversion and
// number operations that every other part of the run-time calls.
//
// A descriptor is a pointer and a 16-bit length with no terminator. A null pointer makes it
// an error descriptor whose length carries the error code (0 standing for 65535). Every
// operation passes an error descriptor given to it through unchanged. Results that are new
// strings live in the temporary-string arena (arena.h); views copy nothing.
#pragma once

#include <cstdint>
#include <cstddef>

namespace vx::rt {

using u8 = std::uint8_t;
using u16 = std::uint16_t;
using u32 = std::uint32_t;
using i16 = std::int16_t;
using i32 = std::int32_t;
using i64 = std::int64_t;

inline constexpr u16 NOT_FOUND = 0xFFFF;  // position "not found", also "to the end"
inline constexpr u32 MAX_STR = 0xFFFF;    // no string is longer

struct Str {
    const char* p = nullptr;
    u16 n = 0;

    bool ok() const { return p != nullptr; }
    const u8* bytes() const { return reinterpret_cast<const u8*>(p); }
    u8 at(u16 i) const { return static_cast<u8>(p[i]); }
};

// Search modes: plain byte search, or quote-aware (bytes inside '...' or "..." never match).
enum SearchMode : u8 { PLAIN = 0, QUOTED = 1 };

// Sides for trimming.
enum TrimSides : u8 { TRIM_LEFT = 1, TRIM_RIGHT = 2, TRIM_BOTH = 3 };

// Literal views: S("abc") for string literals (length known at compile time).
template <std::size_t N>
inline Str S(const char (&lit)[N]) { return Str{lit, static_cast<u16>(N - 1)}; }

// ---- Making and copying ----
Str str_from_cstr(const char* p);            // view; null p gives error 163
inline Str str_view(const char* p, u16 n) { return Str{p, n}; }
inline Str str_error(u16 code) { return Str{nullptr, code}; }
inline u16 str_error_code(Str s) { return s.p ? 0 : (s.n ? s.n : 0xFFFF); }
inline Str str_empty() { return Str{"", 0}; }
Str str_copy(Str s);
Str str_fill(u32 n, char ch);
Str str_repeat(Str s, u32 times);
Str str_concat(Str a, Str b);
Str str_join(Str a, Str sep, Str b);
Str str_join_kv(Str key, Str value);
const char* str_to_cstr(Str s);              // NUL-terminated copy in the arena
Str str_format(u16 max, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
Str str_overwrite(Str s, int pos, Str t);
Str str_substr(Str s, int start, u16 count); // view

// ---- Searching (positions 0-based, NOT_FOUND when absent) ----
u16 str_find_char(Str s, u16 from, char ch, SearchMode mode);
u16 str_find_nth_char(Str s, u16 from, char ch, u16 nth, SearchMode mode);  // nth from 1
u16 str_count_char(Str s, char ch, SearchMode mode);  // quoted: up to an unclosed quote
u16 str_find_any(Str s, u16 from, Str set, SearchMode mode);
u16 str_find_sub(Str s, Str pat, SearchMode mode);
u16 str_find_sub_from(Str s, u16 from, Str pat, SearchMode mode);
u16 str_find_last_char(Str s, char ch, SearchMode mode);
u16 str_find_last_any(Str s, Str set, SearchMode mode);
u16 str_find_last_sub(Str s, Str pat, SearchMode mode);
u16 str_count_sub(Str s, Str pat, SearchMode mode);
bool str_all_in_set(Str s, Str set);
u16 str_compare(Str a, Str b);               // 1, 0 or 65535
u16 str_compare_n(Str a, Str b, u16 n);      // 1, 0, 65535; 159 for a null pointer
u16 str_cstr_len(Str s);
bool str_enclosed(Str s, char ch);
bool str_equal(Str a, Str b);                // same bytes (false for error descriptors)
bool str_equal_nocase(Str a, Str b);         // same bytes, ASCII letters folded

// ---- Changing ----
Str str_trim(Str s, u8 sides);               // view; blanks are space and tab
Str str_trim_set(Str s, u8 sides, Str set);  // view
Str str_unquote(Str s);                      // view
Str str_clean(Str s);
Str str_upper(Str s);
Str str_lower(Str s);
Str str_quote(Str s, char q);
Str str_wrap(Str s, char ch);
char str_partner(char ch);
Str str_between(Str s, char open, SearchMode mode);  // view
Str str_replace(Str s, Str pat, Str rep, SearchMode mode);
Str str_collapse(Str s, char ch, SearchMode mode);
Str str_keep(Str s, Str set);
Str str_translate(Str s, Str from, Str to);
Str str_replace_each(Str s, Str pats, Str reps);

// ---- Conversions ----
bool str_is_yes(Str s);
i16 str_to_int(Str s);
i16 list_item_int(Str list, char sep, u16 n);

// ---- Numbers and text ----
Str int_to_text(i16 n);
Str int_to_text_base(i16 n, u16 base);
Str int_to_text_padded(i16 n, u16 width, char fill);
i64 text_to_int64(Str s);
i64 div_round(i64 a, i64 b);
i64 round_to_decimals(i64 v, int from, int to);
i64 array_extreme(const void* values, u16 count, u16 width, u16 step, bool largest);

// ---- Lists: items separated by one byte, quote-aware unless the separator is NUL ----
u16 list_count(Str list, char sep);
Str list_item(Str list, char sep, u16 n);    // view; 1-based
u16 list_find(Str list, char sep, Str item); // 1-based, 0 when absent
Str list_set_item(Str list, char sep, int n, Str value);
Str list_union(Str a, char sep_a, Str b, char sep_b);
Str list_difference(Str a, char sep_a, Str b, char sep_b);
u16 list_max_len(Str list, char sep);
u16 list_min_len(Str list, char sep);

struct StrArray {
    u16 count = 0;
    Str* items = nullptr;  // in the arena
    u16 error = 0;         // 145 when the arena had no room
};
StrArray list_split(Str list, char sep);
Str array_item(const StrArray& a, u16 n);    // 1-based; empty when out of range

bool range_contains(Str item, i64 value);
u16 list_find_range(Str list, i64 value);

// ---- Option strings: KEY=value or KEY:value inside a longer text ----
enum OptFlags : u8 { OPT_UNQUOTE = 1, OPT_CLEAN = 2, OPT_PLAIN = 4 };
inline constexpr u8 OPT_CLEANED = OPT_UNQUOTE | OPT_CLEAN;  // flags 3

struct OptPos {
    u16 pos = NOT_FOUND;  // start of the value, NOT_FOUND when the key is absent
    u16 len = 0;
    bool found() const { return pos != NOT_FOUND; }
};
OptPos opt_find(Str text, Str key, u8 flags);
Str opt_value(Str text, Str key, u8 flags);  // view; empty when absent
Str opt_value_copy(Str text, Str key);

// ---- 16-bit and descriptor arrays inside a string ----
u16 arr16_get(Str s, u16 i);
void arr16_set(Str s, u16 i, u16 v);         // s must be writable (arena or block)
Str arrdesc_get(Str s, u16 i);
u16 array_find(const void* records, u16 count, const void* record, u16 size);

// Writable bytes of a string the caller owns (an arena result or a memory block).
inline char* str_mut(Str s) { return const_cast<char*>(s.p); }

// Builds one new string in place in the arena's free space and claims it as a single
// allocation in finish(). Nothing may allocate in the arena between construction and
// finish(); the inputs may lie anywhere below the arena's top.
struct StrBuilder {
    StrBuilder();
    void put(Str s);
    void put(const char* p, u32 n);
    void fill(char ch, u32 n);   // n copies of ch
    Str finish();                // the string, 146 when longer than 65535, 145 when no room

    char* p = nullptr;
    u32 cap = 0;                 // writable bytes
    std::uint64_t len = 0;       // bytes put so far, also those that did not fit
    u16 error = 0;
};

}  // namespace vx::rt
