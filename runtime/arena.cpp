// Memory blocks, the temporary-string arena and the growing buffer.
//
// Blocks carry a 4-byte guard ("\0!!\0") behind their data; releasing a block checks it.
// The arena is one data block and a slot table of descriptors; the current slot index is
// the mark, and releasing to a mark is one assignment.
#include "runtime/arena.h"

#include <cstdlib>
#include <cstring>

#include "runtime/error.h"
#include "runtime/store.h"

namespace vx::rt {

namespace {

constexpr u8 GUARD[4] = {0x00, 0x21, 0x21, 0x00};
constexpr u32 GUARD_SIZE = sizeof GUARD;

struct Block {
    u16 tag = 0;
    u32 size = 0;
    char* p = nullptr;
};

struct Arena {
    char* data = nullptr;
    Str* slots = nullptr;
    u16 capacity = 0;
    u16 current = 0;
    u16 high_slot = 0;
    char* top = nullptr;
    u32 size = 0;
    u32 high_bytes = 0;
};

struct Memory {
    u16 arena_kb = ARENA_KB_DEFAULT;
    Block* table = nullptr;
    u16 in_use = 0;
    i32 balance = 0;
    Arena arena;
};

Memory mem;

using u64 = std::uint64_t;

u32 round4(u32 n) { return n == 0 ? 0 : ((n - 1) / 4) * 4 + 4; }

Block* find_block(const void* p) {
    if (!mem.table || !p) return nullptr;
    for (u16 i = 0; i < BLOCK_CAPACITY; i++)
        if (mem.table[i].p == p) return &mem.table[i];
    return nullptr;
}

void release_block(Block& b) {
    std::free(b.p);
    b = Block{};
    mem.in_use--;
    mem.balance--;
}

u16 arena_create() {
    Arena& a = mem.arena;
    a.capacity = mem.arena_kb;
    a.size = u32(mem.arena_kb) * 1024;
    a.data = static_cast<char*>(mem_alloc(TAG_ARENA, a.size, 0));
    a.slots = static_cast<Str*>(mem_alloc(TAG_ARENA, u32(a.capacity) * sizeof(Str), 0));
    if (!a.data || !a.slots) return E_OUTOFMEMORY;
    a.slots[0] = Str{a.data, 0};
    a.current = a.high_slot = 0;
    a.top = a.data;
    a.high_bytes = 0;
    return 0;
}

void arena_release() {
    Arena& a = mem.arena;
    if (a.slots) mem_free(TAG_ARENA, a.slots);
    if (a.data) mem_free(TAG_ARENA, a.data);
    a = Arena{};
}

}  // namespace

// ---- Memory layer life cycle ----

void mem_set_arena_size(u16 kb) { mem.arena_kb = kb ? kb : ARENA_KB_DEFAULT; }
u16 mem_arena_size() { return mem.arena_kb; }
bool mem_ready() { return mem.table != nullptr; }

u16 mem_init() {
    if (mem.table) return E_UNDEFWARN;
    mem.table = static_cast<Block*>(std::calloc(BLOCK_CAPACITY, sizeof(Block)));
    if (!mem.table) return E_OUTOFMEMORY;
    mem.in_use = 0;
    mem.balance = 0;
    u16 rc = arena_create();
    if (rc == 0) rc = store_init();
    if (rc != 0) {
        store_release();
        arena_release();
        std::free(mem.table);
        mem.table = nullptr;
    }
    return rc;
}

u16 mem_shutdown() {
    if (!mem.table) return 0;
    // The store is the last block the memory layer itself allocates, so a higher-numbered
    // block still held belongs to somebody who did not release it.
    int highest = -1;
    for (int i = BLOCK_CAPACITY - 1; i >= 0; i--)
        if (mem.table[i].p) { highest = i; break; }
    if (highest >= 0 && mem.table[highest].tag != TAG_STORE) return mem.table[highest].tag;
    store_release();
    arena_release();
    for (u16 i = 0; i < BLOCK_CAPACITY; i++)
        if (mem.table[i].p) release_block(mem.table[i]);
    std::free(mem.table);
    mem.table = nullptr;
    return 0;
}

// ---- Memory blocks ----

void* mem_alloc(u16 tag, u32 size, u16 fill) {
    if (!mem.table) return nullptr;
    Block* slot = nullptr;
    for (u16 i = 0; i < BLOCK_CAPACITY && !slot; i++)
        if (!mem.table[i].p) slot = &mem.table[i];
    if (!slot) return nullptr;
    char* p = static_cast<char*>(std::malloc(size_t(size) + GUARD_SIZE));
    if (!p) return nullptr;
    if (fill != NO_FILL) std::memset(p, fill, size);
    std::memcpy(p + size, GUARD, GUARD_SIZE);
    *slot = Block{tag, size, p};
    mem.in_use++;
    mem.balance++;
    return p;
}

u16 mem_free(u16 tag, void* p) {
    Block* b = find_block(p);
    if (!b) return E_MEMORYALLOCERR;
    if (b->tag != tag) return E_INTERNAL;
    bool damaged = std::memcmp(b->p + b->size, GUARD, GUARD_SIZE) != 0;
    release_block(*b);
    return damaged ? E_MEMOVERFLOW : 0;
}

// The old block must be one of tag's and hold the used bytes; otherwise nothing happens.
void* mem_resize(u16 tag, void* p, u32 used, u32 new_size) {
    const Block* old = find_block(p);
    if (p && (!old || old->tag != tag || used > old->size)) return nullptr;
    void* q = mem_alloc(tag, new_size, NO_FILL);
    if (!q) return nullptr;
    if (used > new_size) {
        mem_free(tag, q);
        return nullptr;
    }
    if (p && used) std::memcpy(q, p, used);
    if (p) mem_free(tag, p);
    return q;
}

u16 mem_write(void* p, u32 at, const void* bytes, u32 n) {
    Block* b = find_block(p);
    if (!b || u64(at) + n > b->size) return E_DATAOUTBOUND;
    if (bytes && n) std::memcpy(b->p + at, bytes, n);
    return 0;
}

u16 mem_blocks_in_use() { return mem.in_use; }
i32 mem_balance() { return mem.balance; }

// ---- Temporary-string arena ----

u16 tmp_mark() { return mem.arena.current; }

u16 tmp_release(u16 mark) {
    Arena& a = mem.arena;
    if (mark < a.capacity && mark <= a.current) {
        Str s = a.slots[mark];
        a.top = const_cast<char*>(s.p) + round4(s.n);
        a.current = mark;
    }
    return a.current;
}

Str tmp_alloc(u32 n, u16 fill) {
    Arena& a = mem.arena;
    if (!a.data || n > ARENA_MAX_ALLOC) return str_error(E_OUTOFMEMORY);
    u32 used = u32(a.top - a.data);
    u32 need = round4(n);
    if (used + need >= a.size || a.current >= a.capacity - 1) return str_error(E_OUTOFMEMORY);
    Str s{a.top, static_cast<u16>(n)};
    if (fill != NO_FILL) std::memset(a.top, fill, n);
    a.top += need;
    a.slots[++a.current] = s;
    if (a.current > a.high_slot) a.high_slot = a.current;
    if (used + need > a.high_bytes) a.high_bytes = used + need;
    return s;
}

Str tmp_top() { return mem.arena.slots ? mem.arena.slots[mem.arena.current] : str_error(E_OUTOFMEMORY); }

Str tmp_release_keep(u16 mark, Str s) {
    if (!s.ok()) {
        tmp_release(mark);
        return s;
    }
    tmp_release(mark);
    Str r = tmp_alloc(s.n, NO_FILL);
    if (r.ok() && s.n) std::memmove(str_mut(r), s.p, s.n);
    return r;
}

u16 tmp_release_keep_many(u16 mark, Str** list) {
    // The kept strings may lie anywhere at or below the top, in any order. Stage them all
    // above the top first, then copy them down to the mark in order: each destination
    // ends at or before the staged copy of the next string, so nothing is overwritten.
    // Both limits are checked first, so the copies below cannot fail half-way and leave
    // some descriptors pointing into released space.
    Arena& a = mem.arena;
    u32 total = 0;
    u32 count = 0;
    for (Str** q = list; *q; q++, count++) {
        if (!(*q)->ok()) {
            tmp_release(mark);
            return str_error_code(**q);
        }
        if ((*q)->n > ARENA_MAX_ALLOC) {
            tmp_release(mark);
            return E_OUTOFMEMORY;
        }
        total += round4((*q)->n);
    }
    char* stage = a.top;
    u32 base_slot = mark < a.capacity && mark <= a.current ? mark : a.current;
    if (!a.data || u32(stage - a.data) + total >= a.size || base_slot + count >= a.capacity) {
        tmp_release(mark);
        return E_OUTOFMEMORY;
    }
    char* w = stage;
    for (Str** q = list; *q; q++) {
        std::memmove(w, (*q)->p, (*q)->n);
        (*q)->p = w;
        w += round4((*q)->n);
    }
    tmp_release(mark);
    for (Str** q = list; *q; q++) {
        Str r = tmp_alloc((*q)->n, NO_FILL);
        if (!r.ok()) return str_error_code(r);
        std::memmove(str_mut(r), (*q)->p, (*q)->n);
        **q = r;
    }
    return 0;
}

Str tmp_free_space() {
    Arena& a = mem.arena;
    if (!a.data) return str_error(E_OUTOFMEMORY);
    u32 free_bytes = a.size - u32(a.top - a.data);
    u32 n = free_bytes > 4 ? free_bytes - 4 : 0;
    if (n > MAX_STR) n = MAX_STR;
    return Str{a.top, static_cast<u16>(n)};
}

ArenaStats tmp_stats() {
    const Arena& a = mem.arena;
    return ArenaStats{a.capacity, a.current, a.high_slot, a.size,
                      a.data ? u32(a.top - a.data) : 0, a.high_bytes};
}

// ---- Growing buffer ----

u16 gbuf_create(GrowBuf& b, u16 tag, u16 capacity) {
    b = GrowBuf{};
    b.tag = tag;
    b.p = static_cast<char*>(mem_alloc(tag, capacity, 0));
    if (!b.p) return b.error = E_OUTOFMEMORY;
    b.cap = capacity;
    return 0;
}

char* gbuf_append(GrowBuf& b, const void* bytes, u16 n, bool align4) {
    if (b.error) return nullptr;
    u32 at = align4 ? round4(b.used) : b.used;
    u32 end = at + n;
    if (end > MAX_STR) {
        b.error = E_STRINGTOOLONG;
        return nullptr;
    }
    if (end > b.cap) {
        u32 cap = b.cap ? b.cap : 64;
        while (cap < end) cap *= 2;
        if (cap > MAX_STR) cap = MAX_STR;
        char* q = static_cast<char*>(mem_resize(b.tag, b.p, b.used, cap));
        if (!q) {
            b.error = E_OUTOFMEMORY;
            return nullptr;
        }
        b.p = q;
        b.cap = static_cast<u16>(cap);
    }
    if (at > b.used) std::memset(b.p + b.used, 0, at - b.used);
    if (bytes && n) std::memcpy(b.p + at, bytes, n);
    b.used = static_cast<u16>(end);
    return b.p + at;
}

u16 gbuf_write_at(GrowBuf& b, u16 pos, const void* bytes, u16 n) {
    if (b.error) return b.error;
    u32 at = pos == NOT_FOUND ? b.used : pos;
    if (at + n > b.cap) return b.error = E_STRCONCATERR;
    if (at > b.used) std::memset(b.p + b.used, 0, at - b.used);
    if (bytes && n) std::memcpy(b.p + at, bytes, n);
    if (at + n > b.used) b.used = static_cast<u16>(at + n);
    return 0;
}

void gbuf_free(GrowBuf& b) {
    if (b.p) mem_free(b.tag, b.p);
    b = GrowBuf{};
}

}  // namespace vx::rt
