// The string store: 39 numbered lists of strings in one 65 535-byte block.
//
// The block holds 39 entry counts, then 2048 entry lengths (list 0's entries first, then
// list 1's, and so on), then the text of every entry back to back in the same order. An
// assignment moves the lengths and the text of all later entries with one memmove each.
// Beside the block the store keeps, per list, its first global entry and its first text
// byte, so that addressing an entry never sums over the lists before it.
#include "runtime/store.h"

#include <cstring>
#include <functional>

#include "runtime/arena.h"
#include "runtime/error.h"

namespace vx::rt {

namespace {

constexpr u32 COUNTS_AT = 0;
constexpr u32 LENGTHS_AT = COUNTS_AT + 2 * STORE_LISTS;
constexpr u32 TEXT_AT = LENGTHS_AT + 2 * STORE_ENTRIES;
static_assert(TEXT_AT + STORE_TEXT == STORE_BYTES);

struct Store {
    char* block = nullptr;
    u16* counts = nullptr;  // per list
    u16* lens = nullptr;    // per global entry
    char* text = nullptr;
    // first_entry[L] / first_byte[L]: global index and text offset of list L's first
    // entry. Index STORE_LISTS holds the entries and text bytes in use.
    u16 first_entry[STORE_LISTS + 1] = {};
    u32 first_byte[STORE_LISTS + 1] = {};
};

Store st;

bool ready() { return st.block != nullptr; }
bool is_queue(u16 list) { return list >= STORE_FIRST_QUEUE; }
u16 entries_in_use() { return st.first_entry[STORE_LISTS]; }
u32 bytes_in_use() { return st.first_byte[STORE_LISTS]; }

u16 fail_address() { return error_note(1, M_DYNSTRINGS, E_STROUTBOUND, E_STROUTBOUND); }
u16 fail_capacity() { return error_note(1, M_STRINGASSIGN, E_LOADSTRERROR, E_STROUTBOUND); }

// True when any byte of s lies in the store's block.
bool overlaps_store(Str s) {
    std::less<const char*> below;
    return below(s.p, st.block + STORE_BYTES) && below(st.block, s.p + s.n);
}

Str copy_to_arena(Str s) {
    Str copy = tmp_alloc(s.n, NO_FILL);
    if (copy.ok() && s.n) std::memcpy(str_mut(copy), s.p, s.n);
    return copy;
}

// Adds the change of one list to the first entries and bytes of every list after it.
void shift_later_lists(u16 list, i32 entries, i32 bytes) {
    for (u16 k = list + 1; k <= STORE_LISTS; k++) {
        st.first_entry[k] = static_cast<u16>(st.first_entry[k] + entries);
        st.first_byte[k] = static_cast<u32>(i64(st.first_byte[k]) + bytes);
    }
}

u32 sum_lengths(u32 from, u32 to) {
    u32 sum = 0;
    for (u32 g = from; g < to; g++) sum += st.lens[g];
    return sum;
}

// Text offset of entry i (< count) of list: summed from whichever end of the list is
// nearer, so the top of a stack and the head of a queue cost nothing.
u32 entry_offset(u16 list, u16 i) {
    u32 first = st.first_entry[list];
    u32 count = st.counts[list];
    if (i < count / 2) return st.first_byte[list] + sum_lengths(first, first + i);
    return st.first_byte[list + 1] - sum_lengths(first + i, first + count);
}

// Raises the count of list by k with empty entries at its end.
void append_empty_entries(u16 list, u32 k) {
    u32 end = u32(st.first_entry[list]) + st.counts[list];
    std::memmove(st.lens + end + k, st.lens + end, 2 * (entries_in_use() - end));
    std::memset(st.lens + end, 0, 2 * k);
    st.counts[list] = static_cast<u16>(st.counts[list] + k);
    shift_later_lists(list, i32(k), 0);
}

// Replaces the text of entry i (< count) of list; src must not lie inside the store.
void replace_text(u16 list, u16 i, const char* src, u16 n) {
    u32 g = u32(st.first_entry[list]) + i;
    u32 at = entry_offset(list, i);
    u32 old_len = st.lens[g];
    u32 tail = at + old_len;
    if (n != old_len) std::memmove(st.text + at + n, st.text + tail, bytes_in_use() - tail);
    if (n) std::memcpy(st.text + at, src, n);
    st.lens[g] = n;
    shift_later_lists(list, 0, i32(n) - i32(old_len));
}

// Removes k entries of list from its entry `first` on (text and length slots).
void remove_entries(u16 list, u16 first, u16 k) {
    u32 g = u32(st.first_entry[list]) + first;
    u32 at = entry_offset(list, first);
    u32 n = sum_lengths(g, g + k);
    std::memmove(st.text + at, st.text + at + n, bytes_in_use() - at - n);
    std::memmove(st.lens + g, st.lens + g + k, 2 * (entries_in_use() - g - k));
    st.counts[list] = static_cast<u16>(st.counts[list] - k);
    shift_later_lists(list, -i32(k), -i32(n));
}

}  // namespace

u16 store_init() {
    if (ready()) return E_UNDEFWARN;
    char* block = static_cast<char*>(mem_alloc(TAG_STORE, STORE_BYTES, 0));
    if (!block) return E_OUTOFMEMORY;
    st = Store{};
    st.block = block;
    st.counts = reinterpret_cast<u16*>(block + COUNTS_AT);
    st.lens = reinterpret_cast<u16*>(block + LENGTHS_AT);
    st.text = block + TEXT_AT;
    return 0;
}

void store_release() {
    if (ready()) mem_free(TAG_STORE, st.block);
    st = Store{};
}

Str store_get(u16 list, u16 i) {
    if (!ready() || list >= STORE_LISTS) return str_error(fail_address());
    if (i >= st.counts[list]) return str_empty();
    return Str{st.text + entry_offset(list, i), st.lens[st.first_entry[list] + i]};
}

// The checks come before anything moves: a failed assignment leaves the store unchanged.
u16 store_set(u16 list, u16 i, Str s) {
    if (!s.ok()) return str_error_code(s);
    if (!ready() || list >= STORE_LISTS) return fail_address();
    u16 count = st.counts[list];
    u32 added = i >= count ? u32(i) - count + 1 : 0;
    u32 old_len = i < count ? st.lens[st.first_entry[list] + i] : 0;
    if (entries_in_use() + added >= STORE_ENTRIES) return fail_capacity();
    if (bytes_in_use() - old_len + s.n >= STORE_TEXT) return fail_capacity();
    TmpScope scope;  // holds the copy of a value taken from the store itself
    if (s.n && overlaps_store(s)) {
        s = copy_to_arena(s);
        if (!s.ok()) return error_note(1, M_STRINGASSIGN, str_error_code(s), str_error_code(s));
    }
    if (added) append_empty_entries(list, added);
    replace_text(list, i, s.p, s.n);
    return 0;
}

u16 store_push(u16 list, Str s) { return store_set(list, store_count(list), s); }

u16 store_count(u16 list) { return ready() && list < STORE_LISTS ? st.counts[list] : 0; }

u16 store_top(u16 list) {
    if (!ready() || list >= STORE_LISTS) return NOT_FOUND;
    return is_queue(list) ? 0 : static_cast<u16>(st.counts[list] - 1);
}

void store_drop(u16 list) {
    if (store_count(list) == 0) return;
    remove_entries(list, store_top(list), 1);
}

Str store_pop(u16 list) {
    Str top = store_get(list, store_top(list));
    if (!top.ok() || store_count(list) == 0) return top;
    Str copy = copy_to_arena(top);
    if (copy.ok()) store_drop(list);  // without room for the copy the entry stays
    return copy;
}

// A queue drops from its head, so truncating it keeps its newest entries.
void store_truncate(u16 list, u16 n) {
    u16 count = store_count(list);
    if (count <= n) return;
    u16 k = static_cast<u16>(count - n);
    remove_entries(list, is_queue(list) ? 0 : n, k);
}

StoreStats store_stats() { return StoreStats{entries_in_use(), bytes_in_use()}; }

}  // namespace vx::rt
