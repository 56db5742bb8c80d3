// SORT$: sorting the items of a text, and the sort buffer, a sorted list of fixed-width
// items with a position that NEW, ADD, MOVE, GET and KILL work on. Any other first
// argument goes to the data layer.
//
// The sort buffer is one entry of the string store (released with it at shutdown): a
// header of four 16-bit words (item width, comparison width, flags, position + 1, where 0
// is before the first item) followed by the items back to back.
#include <algorithm>
#include <cstring>

#include "expr/funcs_hooks.h"
#include "expr/funcs_impl.h"
#include "runtime/arena.h"
#include "runtime/error.h"
#include "runtime/store.h"
#include "runtime/sysvars.h"

namespace vx::expr::fn {

using namespace vx::rt;

namespace {

constexpr const char* SORT_OPERATIONS[] = {"NEW", "ADD", "MOVE", "GET", "KILL"};
enum SortOperation : u16 { SORT_TEXT = 0, SORT_NEW, SORT_ADD, SORT_MOVE, SORT_GET, SORT_KILL };

constexpr u16 BUFFER_LIST = 9;
constexpr u16 BUFFER_ENTRY = 20;
constexpr u16 HEADER_WORDS = 4;
constexpr u16 HEADER_BYTES = HEADER_WORDS * 2;
constexpr i64 ITEM_WIDTH_MAX = 4096;
enum HeaderWord : u16 { H_WIDTH = 0, H_COMPARE, H_FLAGS, H_POSITION };

enum SortFlags : u16 {
    SORT_UNIQUE = 1,  // an equal item is refused
    SORT_DESCENDING = 2,
    SORT_NUL_SEPARATED = 0x40,
    SORT_TRIM_ITEMS = 0x80,
};
constexpr i64 SORT_FLAGS_MAX = 0xFF;
constexpr i64 STATUS_REFUSED = 5;
constexpr i64 STATUS_OUTSIDE = 2;

// Read modes of the navigation verbs that MOVE takes.
enum MoveVerb : u16 { MOVE_TOP = 0x24, MOVE_PREVIOUS = 0x16, MOVE_NEXT = 0x12, MOVE_BOTTOM = 0x20 };
constexpr u16 READ_MODE_MASK = 0xFF;

struct Buffer {
    u16 width = 0;
    u16 compare = 0;
    u16 flags = 0;
    u16 position = 0;  // index + 1; 0 before the first item, count + 1 after the last
    u16 count = 0;
    const char* items = nullptr;
};

u16 word_at(Str s, u16 k) {
    u16 w;
    std::memcpy(&w, s.p + 2 * k, 2);
    return w;
}

void put_word(char* p, u16 k, u16 w) {
    std::memcpy(p + 2 * k, &w, 2);
}

// The buffer as stored; 169 when there is none.
u16 buffer_read(Buffer* b) {
    Str s = store_get(BUFFER_LIST, BUFFER_ENTRY);
    if (!s.ok()) return str_error_code(s);
    if (s.n < HEADER_BYTES || word_at(s, H_WIDTH) == 0) return E_FILENOTINIT;
    b->width = word_at(s, H_WIDTH);
    b->compare = word_at(s, H_COMPARE);
    b->flags = word_at(s, H_FLAGS);
    b->position = word_at(s, H_POSITION);
    b->count = u16((s.n - HEADER_BYTES) / b->width);
    b->items = s.p + HEADER_BYTES;
    return 0;
}

// Stores the header with items before `at`, then `item` (when given), then the rest.
u16 buffer_write(const Buffer& b, u16 at, Str item) {
    TmpScope scope;
    u32 n = HEADER_BYTES + u32(b.count) * b.width + (item.p ? b.width : 0);
    if (n > MAX_STR) return E_STRINGTOOLONG;
    Str s = tmp_alloc(n, ' ');
    if (!s.ok()) return str_error_code(s);
    char* w = str_mut(s);
    put_word(w, H_WIDTH, b.width);
    put_word(w, H_COMPARE, b.compare);
    put_word(w, H_FLAGS, b.flags);
    put_word(w, H_POSITION, b.position);
    char* items = w + HEADER_BYTES;
    u32 head = u32(at) * b.width;
    u32 rest = u32(b.count - at) * b.width;
    if (head) std::memcpy(items, b.items, head);
    if (item.p) {
        if (item.n) std::memcpy(items + head, item.p, item.n);
        items += b.width;
    }
    if (rest) std::memcpy(items + head, b.items + head, rest);
    return store_set(BUFFER_LIST, BUFFER_ENTRY, s);
}

int compare_items(const char* a, const char* b, u16 n) {
    return std::memcmp(a, b, n);
}

// Where an item goes: after every item that sorts before it or equal to it.
u16 insert_at(const Buffer& b, const char* item, bool descending, bool* equal) {
    u16 lo = 0, hi = b.count;
    *equal = false;
    while (lo < hi) {
        u16 mid = u16((lo + hi) / 2);
        int r = compare_items(b.items + u32(mid) * b.width, item, b.compare);
        if (descending ? r >= 0 : r <= 0)
            lo = u16(mid + 1);
        else
            hi = mid;
    }
    if (lo > 0 && compare_items(b.items + u32(lo - 1) * b.width, item, b.compare) == 0)
        *equal = true;
    return lo;
}

u16 sort_new(Call& c, Value& out) {
    i64 width, compare, flags;
    if (u16 rc = arg_whole_in(c, 1, 0, 1, ITEM_WIDTH_MAX, &width)) return rc;
    if (u16 rc = arg_whole_in(c, 2, width, 1, width, &compare)) return rc;
    if (u16 rc = arg_whole_in(c, 3, 0, 0, SORT_FLAGS_MAX, &flags)) return rc;
    Buffer b;
    b.width = u16(width);
    b.compare = u16(compare);
    b.flags = u16(flags);
    out = val_num(0);
    return buffer_write(b, 0, Str{});
}

u16 sort_add(Call& c, Value& out) {
    Buffer b;
    if (u16 rc = buffer_read(&b)) return rc;
    Str item;
    i64 flags;
    if (u16 rc = arg_text_any(c, 1, str_empty(), &item)) return rc;
    if (u16 rc = arg_whole_in(c, 2, b.flags, 0, SORT_FLAGS_MAX, &flags)) return rc;
    if (item.n > b.width) return fail(E_DATA, item);
    Str padded = tmp_alloc(b.width, ' ');
    if (!padded.ok()) return str_error_code(padded);
    std::memcpy(str_mut(padded), item.p, item.n);
    bool equal;
    u16 at = insert_at(b, padded.p, (flags & SORT_DESCENDING) != 0, &equal);
    if (equal && (flags & SORT_UNIQUE)) {
        out = val_num(num_from_whole(STATUS_REFUSED));
        return 0;
    }
    if (b.position > at) b.position++;  // the position stays on its item
    out = val_num(0);
    return buffer_write(b, at, padded);
}

u16 sort_move(Call& c, Value& out) {
    Buffer b;
    if (u16 rc = buffer_read(&b)) return rc;
    Str verb;
    if (u16 rc = arg_text(c, 1, S("NXT"), &verb)) return rc;
    i64 p = b.position;  // index + 1
    switch (verb_code(verb) & READ_MODE_MASK) {
        case MOVE_TOP:
            p = 1;
            break;
        case MOVE_BOTTOM:
            p = b.count;
            break;
        case MOVE_NEXT:
            p = p > b.count ? b.count + 1 : p + 1;
            break;
        case MOVE_PREVIOUS:
            p = p > 0 ? p - 1 : 0;
            break;
        default:
            return E_SYNTAX;
    }
    i64 outcome = p >= 1 && p <= b.count ? 0 : STATUS_OUTSIDE;
    b.position = u16(p);
    sysint_set(SV_IER, i16(outcome));
    out = val_num(num_from_whole(outcome));
    return buffer_write(b, b.count, Str{});
}

u16 sort_get(Value& out) {
    Buffer b;
    if (u16 rc = buffer_read(&b)) return rc;
    bool inside = b.position >= 1 && b.position <= b.count;
    out = val_str(inside ? str_copy(Str{b.items + u32(b.position - 1) * b.width, b.width})
                         : str_empty());
    return 0;
}

u16 sort_kill(Value& out) {
    out = val_num(0);
    return store_count(BUFFER_LIST) > BUFFER_ENTRY
               ? store_set(BUFFER_LIST, BUFFER_ENTRY, str_empty())
               : 0;
}

// ---- Sorting a text ----

struct PaddedLess {
    bool descending;
    // Items compare as if padded with blanks to the same width.
    static int compare(Str a, Str b) {
        u16 n = a.n > b.n ? a.n : b.n;
        for (u16 i = 0; i < n; i++) {
            u8 x = i < a.n ? a.at(i) : u8(' ');
            u8 y = i < b.n ? b.at(i) : u8(' ');
            if (x != y) return x < y ? -1 : 1;
        }
        return 0;
    }
    bool operator()(Str a, Str b) const {
        return descending ? compare(b, a) < 0 : compare(a, b) < 0;
    }
};

u16 sort_text(Call& c, Value& out) {
    Str text;
    i64 flags;
    if (u16 rc = arg_text(c, 1, str_empty(), &text)) return rc;
    if (u16 rc = arg_whole_in(c, 2, 0, 0, SORT_FLAGS_MAX, &flags)) return rc;
    char sep = (flags & SORT_NUL_SEPARATED) ? '\0' : ',';
    StrArray items = list_split(text, sep);
    if (items.error) return items.error;
    PaddedLess less{(flags & SORT_DESCENDING) != 0};
    std::sort(items.items, items.items + items.count, less);
    u16 width = 0;
    for (u16 k = 0; k < items.count; k++)
        if (items.items[k].n > width) width = items.items[k].n;
    StrBuilder b;
    for (u16 k = 0; k < items.count; k++) {
        Str item = items.items[k];
        if ((flags & SORT_UNIQUE) && k && PaddedLess::compare(item, items.items[k - 1]) == 0)
            continue;
        if (k) b.put(&sep, 1);
        if (flags & SORT_TRIM_ITEMS) {
            b.put(str_trim(item, TRIM_RIGHT));
        } else {
            b.put(item);
            b.fill(' ', u32(width - item.n));
        }
    }
    out = val_str(b.finish());
    return 0;
}

}  // namespace

u16 f_sort(Call& c, Value& out) {
    Str operation;
    if (u16 rc = arg_text(c, 0, str_empty(), &operation)) return rc;
    u16 op = SORT_TEXT;
    if (operation.n) {
        TmpScope scope;
        op = word_index(str_upper(operation), SORT_OPERATIONS);
        if (op == 0) return datafile_sort(c, operation, out);
    }
    switch (op) {
        case SORT_NEW:
            return sort_new(c, out);
        case SORT_ADD:
            return sort_add(c, out);
        case SORT_MOVE:
            return sort_move(c, out);
        case SORT_GET:
            return sort_get(out);
        case SORT_KILL:
            return sort_kill(out);
        default:
            return sort_text(c, out);
    }
}

}  // namespace vx::expr::fn
