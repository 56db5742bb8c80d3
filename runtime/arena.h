// The memory layer: tagged memory blocks with overrun guards, the temporary-string arena
// that holds every intermediate string of the run-time, and the growing buffer.
//
// The arena is a stack of byte runs. An operation takes tmp_mark() on entry and, on exit,
// either releases to the mark or hands its one result back with tmp_release_keep(), so its
// result sits right above the caller's last allocation.
#pragma once

#include "runtime/str.h"

namespace vx::rt {

// Owner tags of memory blocks. Each layer allocates under tags of its own; the list here
// keeps them apart: 1 store, 9 arena, 10 variables, 13 message texts, 15 structures.
enum BlockTag : u16 { TAG_STORE = 1, TAG_ARENA = 9, TAG_VARS = 10, TAG_MESSAGES = 13, TAG_STRUCTS = 15 };

inline constexpr u16 BLOCK_CAPACITY = 64;        // entries of the block table
inline constexpr u16 ARENA_KB_DEFAULT = 128;     // arena size in KB unless set before start
inline constexpr u32 ARENA_MAX_ALLOC = MAX_STR;   // largest single allocation: any string
inline constexpr u16 NO_FILL = 255;              // fill value meaning "leave as is"

// ---- Memory layer life cycle ----
void mem_set_arena_size(u16 kb);   // before mem_init; the application sets 512
u16 mem_arena_size();
u16 mem_init();                    // 0, 145 (no memory) or 124 (already initialised)
bool mem_ready();
// Releases the store, the arena and the block table. When a block other than the store's
// is still held, returns its owner tag and releases nothing (the leak is reported).
u16 mem_shutdown();

// ---- Memory blocks ----
void* mem_alloc(u16 tag, u32 size, u16 fill);
u16 mem_free(u16 tag, void* p);    // 0, 154 unknown, 180 guard damaged, 141 other owner
void* mem_resize(u16 tag, void* p, u32 used, u32 new_size);
u16 mem_write(void* p, u32 at, const void* bytes, u32 n);   // 0 or 168
u16 mem_blocks_in_use();
i32 mem_balance();                 // allocations minus releases

// ---- Temporary-string arena ----
u16 tmp_mark();
u16 tmp_release(u16 mark);
Str tmp_alloc(u32 n, u16 fill);    // error descriptor 145 when exhausted
Str tmp_top();
Str tmp_release_keep(u16 mark, Str s);
u16 tmp_release_keep_many(u16 mark, Str** list);  // list ends with a null pointer
Str tmp_free_space();              // (top, free bytes - 4)

struct ArenaStats {
    u16 slots;         // slot capacity
    u16 current;       // current slot index (the mark)
    u16 high_slot;     // highest current index reached
    u32 size;          // bytes of the data block
    u32 used;          // bytes in use
    u32 high_bytes;    // most bytes ever in use
};
ArenaStats tmp_stats();

// Keeps the arena mark for a scope: releases to it when the scope ends, unless the result
// was handed back with keep().
class TmpScope {
public:
    TmpScope() : mark_(tmp_mark()) {}
    ~TmpScope() { if (!done_) tmp_release(mark_); }
    TmpScope(const TmpScope&) = delete;
    TmpScope& operator=(const TmpScope&) = delete;
    Str keep(Str s) { done_ = true; return tmp_release_keep(mark_, s); }
    u16 mark() const { return mark_; }
private:
    u16 mark_;
    bool done_ = false;
};

// ---- Growing buffer ----
struct GrowBuf {
    char* p = nullptr;  // memory block under the buffer's tag
    u16 used = 0;
    u16 cap = 0;
    u16 error = 0;      // sticky: once set, appends do nothing
    u16 tag = 0;
};
u16 gbuf_create(GrowBuf& b, u16 tag, u16 capacity);
// Reserves n bytes at the used length (first rounding it up to 4 when align4), copies the
// bytes when given and returns a pointer to them; null once the error is set.
char* gbuf_append(GrowBuf& b, const void* bytes, u16 n, bool align4 = false);
// Positioned write into a fixed buffer (pos 65535 = at the used length); passing the
// capacity sets error 153 and writes nothing.
u16 gbuf_write_at(GrowBuf& b, u16 pos, const void* bytes, u16 n);
void gbuf_free(GrowBuf& b);
inline Str gbuf_str(const GrowBuf& b) { return b.error ? str_error(b.error) : Str{b.p, b.used}; }

}  // namespace vx::rt
