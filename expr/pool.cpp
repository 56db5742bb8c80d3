// Growing memory blocks of the expression layer (see pool.h).
#include "expr/pool.h"

#include "runtime/arena.h"
#include "runtime/error.h"

namespace vx::expr {

using namespace vx::rt;

u16 pool_reserve(Pool& pool, u16 tag, u32 n) {
    if (n > POOL_MAX - pool.used) return E_OUTOFMEMORY;
    u32 need = pool.used + n;
    if (need <= pool.cap) return 0;
    u32 cap = pool.cap ? pool.cap : POOL_FIRST;
    while (cap < need) cap = cap > POOL_MAX / 2 ? POOL_MAX : cap * 2;
    char* q = static_cast<char*>(mem_resize(tag, pool.p, pool.used, cap));
    if (!q) return E_OUTOFMEMORY;
    pool.p = q;
    pool.cap = cap;
    return 0;
}

u16 pool_append(Pool& pool, u16 tag, const void* bytes, u32 n, u32* at) {
    if (u16 rc = pool_reserve(pool, tag, n)) return rc;
    *at = pool.used;
    if (bytes && n) std::memmove(pool.p + pool.used, bytes, n);
    else if (n) std::memset(pool.p + pool.used, 0, n);
    pool.used += n;
    return 0;
}

void pool_free(Pool& pool, u16 tag) {
    if (pool.p) mem_free(tag, pool.p);
    pool = Pool{};
}

}  // namespace vx::expr
