// Growing memory blocks of the expression layer: one block of the memory layer per pool,
// enlarged by doubling. Pools hold the variable tables and the structure tables; callers
// address their contents by offset, because a pool moves when it grows.
#pragma once

#include <cstring>

#include "runtime/arena.h"
#include "runtime/str.h"

namespace vx::expr {

using rt::u16;
using rt::u32;

using rt::TAG_STRUCTS;
using rt::TAG_VARS;

inline constexpr u32 POOL_FIRST = 256;          // bytes of a pool's first block
inline constexpr u32 POOL_MAX = 64u << 20;      // no pool grows beyond 64 MB

struct Pool {
    char* p = nullptr;
    u32 used = 0;
    u32 cap = 0;
};

// Makes room for n more bytes; 0 or 145 when the memory layer has none.
u16 pool_reserve(Pool& pool, u16 tag, u32 n);
// Appends n bytes (copied from bytes, or zero-filled when bytes is null) and returns their
// offset, or 145.
u16 pool_append(Pool& pool, u16 tag, const void* bytes, u32 n, u32* at);
inline void pool_truncate(Pool& pool, u32 used) { if (used < pool.used) pool.used = used; }
void pool_free(Pool& pool, u16 tag);

// Fixed-size records in a pool.
template <class T> inline T* pool_items(const Pool& pool) { return reinterpret_cast<T*>(pool.p); }
template <class T> inline u32 pool_count(const Pool& pool) { return pool.used / sizeof(T); }
template <class T> inline u16 pool_push(Pool& pool, u16 tag, const T& item) {
    u32 at;
    return pool_append(pool, tag, &item, sizeof(T), &at);
}

}  // namespace vx::expr
