// Lists and option strings.
//
// A list is a text of items separated by one byte; items are numbered from 1. The separator
// is searched quote-aware (a separator inside '...' or "..." does not split) unless it is
// NUL. An option string holds KEY=value or KEY:value items inside a longer text, such as
// "/APNAME=VX INPUT:'a b'".
#include <cstdint>
#include <cstring>
#include <new>

#include "runtime/arena.h"
#include "runtime/error.h"
#include "runtime/str.h"

namespace vx::rt {

namespace {

const char KEY_SEPARATORS[] = {':', '='};  // tried in this order
const Str OPT_BOUNDS = S(": &/");          // before a key, and ending a value
constexpr char RANGE_SEP = '-';
constexpr char RANGE_LIST_SEP = ',';

SearchMode list_mode(char sep) {
    return sep == '\0' ? PLAIN : QUOTED;
}

// Walks the items of a list from the first; the empty list has none.
struct ItemWalk {
    Str list;
    char sep;
    SearchMode mode;
    u32 pos = 0;
    bool done;

    ItemWalk(Str l, char s) : list(l), sep(s), mode(list_mode(s)), done(!l.ok() || l.n == 0) {}

    bool next(Str& item) {
        if (done) return false;
        u16 end = str_find_char(list, u16(pos), sep, mode);
        u32 e = end == NOT_FOUND ? list.n : end;
        item = Str{list.p + pos, u16(e - pos)};
        done = end == NOT_FOUND;
        pos = e + 1;
        return true;
    }
};

// Start and end of item n (1-based) of a list that has at least n items.
struct Span {
    u32 begin;
    u32 end;
};
Span item_span(Str list, char sep, u32 n) {
    const Str item = list_item(list, sep, u16(n));
    const u32 begin = u32(item.p - list.p);
    return Span{begin, begin + item.n};
}

// The list with the bytes [cut.begin, cut.end) replaced by value.
Str splice(Str list, Span cut, Str value) {
    StrBuilder b;
    b.put(list.p, cut.begin);
    b.put(value);
    b.put(list.p + cut.end, list.n - cut.end);
    return b.finish();
}

// Item n removed with the separator before it (after it, for the first item).
Str delete_item(Str list, char sep, u32 n) {
    Span s = item_span(list, sep, n);
    if (n > 1) {
        s.begin--;
    } else if (s.end < list.n) {
        s.end++;
    }
    return splice(list, s, str_empty());
}

// Appends item as with str_join: a separator only between two non-empty texts.
void join_item(StrBuilder& b, char sep, Str item) {
    if (!item.n) return;
    if (b.len) b.fill(sep, 1);
    b.put(item);
}

u16 find_item_by_walk(Str list, char sep, Str item) {
    u16 n = 1;
    Str it;
    for (ItemWalk w(list, sep); w.next(it); n++)
        if (str_equal(it, item)) return n;
    return 0;
}

bool option_may_start(Str text, u16 at, bool plain) {
    if (at == 0) return true;
    const char before = text.p[at - 1];
    return plain ? before == '\0' : std::memchr(OPT_BOUNDS.p, before, OPT_BOUNDS.n) != nullptr;
}

OptPos find_option(Str text, Str key, char sep, bool plain) {
    const SearchMode mode = plain ? PLAIN : QUOTED;
    for (u32 from = 0; from < text.n;) {
        u16 at = str_find_sub_from(text, u16(from), key, mode);
        if (at == NOT_FOUND) break;
        const u32 after = u32(at) + key.n;
        if (after < text.n && text.p[after] == sep && option_may_start(text, at, plain)) {
            const u32 start = after + 1;
            u16 end = plain ? str_find_char(text, u16(start), '\0', PLAIN)
                            : str_find_any(text, u16(start), OPT_BOUNDS, QUOTED);
            return OptPos{u16(start), u16((end == NOT_FOUND ? text.n : end) - start)};
        }
        from = u32(at) + 1;
    }
    return OptPos{};
}

}  // namespace

// ---- Lists ----

// A text of 65535 separators would have one item more than a count can hold: the count
// stops at 65535.
u16 list_count(Str list, char sep) {
    if (!list.ok() || list.n == 0) return 0;
    const u16 seps = str_count_char(list, sep, list_mode(sep));
    return seps == NOT_FOUND ? NOT_FOUND : u16(seps + 1);
}

Str list_item(Str list, char sep, u16 n) {
    if (!list.ok()) return list;
    const Str none{list.p + list.n, 0};
    if (n == 0) return none;
    const SearchMode mode = list_mode(sep);
    u32 pos = 0;
    if (n > 1) {
        const u16 j = str_find_nth_char(list, 0, sep, u16(n - 1), mode);
        if (j == NOT_FOUND) return none;
        pos = u32(j) + 1;
    }
    const u16 end = str_find_char(list, u16(pos), sep, mode);
    return Str{list.p + pos, u16((end == NOT_FOUND ? list.n : end) - pos)};
}

// Looks for the item's text, then checks that it is a whole item and counts the separators
// before it: much faster than walking the items of a long keyword table. An empty item, or
// one that starts with a quote (never found by a quote-aware search), is looked for item by
// item.
u16 list_find(Str list, char sep, Str item) {
    if (!list.ok() || !item.ok() || list.n < item.n || list.n == 0) return 0;
    const SearchMode mode = list_mode(sep);
    if (item.n == 0 || (mode == QUOTED && (item.p[0] == '\'' || item.p[0] == '"')))
        return find_item_by_walk(list, sep, item);
    for (u32 at = 0; (at = str_find_sub_from(list, u16(at), item, mode)) != NOT_FOUND; at++) {
        if (at > 0 && list.p[at - 1] != sep) continue;
        const u16 end = str_find_char(list, u16(at), sep, mode);
        if ((end == NOT_FOUND ? list.n : end) != at + item.n) continue;
        return u16(str_count_char(Str{list.p, u16(at)}, sep, mode) + 1);
    }
    return 0;
}

// A negative n beyond the count leaves the list as it is.
Str list_set_item(Str list, char sep, int n, Str value) {
    if (!list.ok()) return list;
    if (!value.ok()) return value;
    const u32 count = list_count(list, sep);
    if (n < 0) {
        const std::uint64_t k = 0 - std::uint64_t(std::int64_t(n));
        return k > count ? list : delete_item(list, sep, u32(k));
    }
    const u32 k = n == 0 ? count + 1 : u32(n);
    if (k <= count) return splice(list, item_span(list, sep, k), value);
    StrBuilder b;
    b.put(list);
    b.fill(sep, count == 0 ? k - 1 : k - count);
    b.put(value);
    return b.finish();
}

Str list_union(Str a, char sep_a, Str b, char sep_b) {
    if (!a.ok()) return a;
    if (!b.ok()) return b;
    StrBuilder out;
    out.put(a);
    Str item;
    for (ItemWalk w(b, sep_b); w.next(item);)
        if (!list_find(a, sep_a, item)) join_item(out, sep_a, item);
    return out.finish();
}

Str list_difference(Str a, char sep_a, Str b, char sep_b) {
    if (!a.ok()) return a;
    if (!b.ok()) return b;
    StrBuilder out;
    Str item;
    for (ItemWalk w(a, sep_a); w.next(item);)
        if (!list_find(b, sep_b, item)) join_item(out, sep_a, item);
    return out.finish();
}

u16 list_max_len(Str list, char sep) {
    u16 longest = 0;
    Str item;
    for (ItemWalk w(list, sep); w.next(item);) {
        u16 n = str_unquote(item).n;
        if (n > longest) longest = n;
    }
    return longest;
}

u16 list_min_len(Str list, char sep) {
    u16 shortest = NOT_FOUND;
    Str item;
    for (ItemWalk w(list, sep); w.next(item);) {
        u16 n = str_unquote(item).n;
        if (n < shortest) shortest = n;
    }
    return shortest == NOT_FOUND ? 0 : shortest;
}

StrArray list_split(Str list, char sep) {
    StrArray r;
    if (!list.ok()) {
        r.error = str_error_code(list);
        return r;
    }
    const u16 count = list_count(list, sep);
    if (count == 0) return r;
    // The arena keeps 4-byte alignment; the spare bytes align the array for descriptors.
    Str block = tmp_alloc(u32(count) * sizeof(Str) + alignof(Str), NO_FILL);
    if (!block.ok()) {
        r.error = str_error_code(block);
        return r;
    }
    const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(block.p);
    const std::uintptr_t aligned = (at + alignof(Str) - 1) & ~std::uintptr_t(alignof(Str) - 1);
    Str* items = reinterpret_cast<Str*>(str_mut(block) + (aligned - at));
    u16 i = 0;
    Str item;
    for (ItemWalk w(list, sep); w.next(item);) new (&items[i++]) Str(item);
    r.count = count;
    r.items = items;
    return r;
}

Str array_item(const StrArray& a, u16 n) {
    if (!a.items || n == 0 || n > a.count) return str_empty();
    return a.items[n - 1];
}

// "A-B" (the first and the last '-'-separated parts) or "N" standing for N-N.
bool range_contains(Str item, i64 value) {
    if (!item.ok() || item.n == 0) return false;
    const i64 low = text_to_int64(list_item(item, RANGE_SEP, 1));
    const i64 high = text_to_int64(list_item(item, RANGE_SEP, list_count(item, RANGE_SEP)));
    return low <= value && value <= high;
}

u16 list_find_range(Str list, i64 value) {
    u16 n = 1;
    Str item;
    for (ItemWalk w(list, RANGE_LIST_SEP); w.next(item); n++)
        if (range_contains(item, value)) return n;
    return 0;
}

i16 list_item_int(Str list, char sep, u16 n) {
    const u16 mark = tmp_mark();
    const i16 v = str_to_int(str_clean(list_item(list, sep, n)));
    tmp_release(mark);
    return v;
}

// ---- Option strings ----

OptPos opt_find(Str text, Str key, u8 flags) {
    if (!text.ok() || !key.ok() || key.n == 0) return OptPos{};
    for (char sep : KEY_SEPARATORS) {
        OptPos at = find_option(text, key, sep, flags & OPT_PLAIN);
        if (at.found()) return at;
    }
    return OptPos{};
}

Str opt_value(Str text, Str key, u8 flags) {
    if (!text.ok()) return text;
    if (!key.ok()) return key;
    const OptPos at = opt_find(text, key, flags);
    if (!at.found()) return str_empty();
    const Str v{text.p + at.pos, at.len};
    if ((flags & OPT_CLEANED) == OPT_CLEANED) return str_clean(v);
    return flags & OPT_UNQUOTE ? str_unquote(v) : v;
}

Str opt_value_copy(Str text, Str key) {
    if (!text.ok()) return text;
    if (!key.ok()) return key;
    const bool raw = std::memchr(key.p, '%', key.n) != nullptr;
    return str_copy(opt_value(text, key, raw ? 0 : OPT_UNQUOTE));
}

}  // namespace vx::rt
