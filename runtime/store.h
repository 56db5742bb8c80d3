// The string store: 39 numbered lists of strings kept in one 65 535-byte block.
//
// Lists 0-36 are stacks (their top is the last entry); lists 37 and 38 are queues (their
// top is entry 0). At most 2048 entries in all lists together. List 0 is the run-time
// environment (env.h); list 9 entry 9 holds the error detail text (error.h).
#pragma once

#include "runtime/str.h"

namespace vx::rt {

inline constexpr u16 STORE_LISTS = 39;
inline constexpr u16 STORE_ENTRIES = 2048;
inline constexpr u32 STORE_BYTES = 65535;
inline constexpr u32 STORE_TEXT = STORE_BYTES - 2 * (STORE_LISTS + STORE_ENTRIES);  // 61 361
inline constexpr u16 STORE_FIRST_QUEUE = 37;

// Lists with a fixed role in the run-time.
enum StoreList : u16 {
    LIST_ENV = 0,     // run-time environment
    LIST_ERROR = 9,   // entry 9: error detail text
};

u16 store_init();                 // allocates and clears the store (called by mem_init)
void store_release();
Str store_get(u16 list, u16 i);   // view; empty when i is past the list's end
u16 store_set(u16 list, u16 i, Str s);
u16 store_push(u16 list, Str s);
u16 store_count(u16 list);
u16 store_top(u16 list);          // index of the top entry (count-1 for stacks, 0 for queues)
void store_drop(u16 list);
Str store_pop(u16 list);          // copy in the arena, then dropped
void store_truncate(u16 list, u16 n);

struct StoreStats {
    u16 entries;  // entries in use over all lists
    u32 bytes;    // text bytes in use
};
StoreStats store_stats();

}  // namespace vx::rt
