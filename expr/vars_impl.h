// The state of the variable layer and the helpers its source files share. Not for use
// outside expr/.
#pragma once

#include "expr/pool.h"
#include "expr/vars.h"
#include "runtime/error.h"

namespace vx::expr::detail {

// A run of bytes in a heap pool: its offset and the bytes reserved for it.
struct Span {
    u32 off = 0;
    u32 cap = 0;
};

struct StrSlot {
    Span span;
    u16 len = 0;
};

struct ArrayRec {
    Span span;                   // element block (span.cap = count * width)
    u32 count = 0;
    u16 type = ARRAY_INT;
    u16 width = 0;
    u16 dims = 0;
    u16 sizes[ARRAY_DIMS_MAX] = {};
};

// One entry of the name index: open addressing over all four name lists.
struct IndexEntry {
    u32 hash = 0;
    u32 off = 0;                 // the name's offset in its kind's name list
    u16 len = 0;
    u16 slot = 0;
    u8 kind = 0;
    u8 used = 0;
};

// A pool of variable-length values addressed by spans; space given up by values that
// moved is counted as waste and reclaimed by compaction.
struct Heap {
    Pool pool;
    u32 waste = 0;
};

struct Vars {
    bool ready = false;
    Pool names[VAR_KINDS];       // comma lists of names
    u16 counts[VAR_KINDS] = {};
    Pool values[VAR_KINDS];      // i16, i64, StrSlot, ArrayRec by slot
    Pool index;                  // IndexEntry table, a power of two long
    u32 index_cap = 0;
    u32 index_used = 0;
    Heap text;                   // string values
    Heap elements;               // array elements
};

// What outlives a run of the run-time: the hooks other layers register.
struct VarRegistry {
    VarHook hook = nullptr;
    SubscriptEval subscript = nullptr;
};

extern Vars vars;
extern VarRegistry var_registry;

inline constexpr u32 VALUE_SIZE[VAR_KINDS] = {sizeof(i16), sizeof(i64), sizeof(StrSlot), sizeof(ArrayRec)};

inline StrSlot* str_slots() { return pool_items<StrSlot>(vars.values[KIND_STR]); }
inline ArrayRec* array_recs() { return pool_items<ArrayRec>(vars.values[KIND_ARRAY]); }
inline u32 value_count(u8 kind) { return vars.values[kind].used / VALUE_SIZE[kind]; }

// Looks a name up in one kind's list; NO_SLOT when absent.
u16 name_slot(u8 kind, Str name);
// Declares a name in one kind's list with a zeroed value; 0, 157 or 145.
u16 name_declare(u8 kind, Str name, u16* slot);

// Arrays dropped by a scope cut; the default evaluation of a subscript text.
void arrays_after_cut();
u16 subscript_default(Str text, i64* scaled);
VarHook current_hook();

bool overlaps(Str s, const Pool& pool);

// ---- Heap pools ----

inline constexpr u32 HEAP_COMPACT_MIN = 4096;   // waste below this is left alone

// Copies the live spans to a fresh block in record order. Room for all of them is taken
// first, so a failure changes nothing.
template <class Rec> u16 heap_compact(Heap& heap, Rec* recs, u32 n) {
    u32 live = 0;
    for (u32 i = 0; i < n; i++) live += recs[i].span.cap;
    Pool fresh;
    if (u16 rc = pool_reserve(fresh, TAG_VARS, live)) return rc;
    for (u32 i = 0; i < n; i++) {
        Span& s = recs[i].span;
        u32 at = 0;
        if (s.cap) pool_append(fresh, TAG_VARS, heap.pool.p + s.off, s.cap, &at);
        s.off = at;
    }
    pool_free(heap.pool, TAG_VARS);
    heap.pool = fresh;
    heap.waste = 0;
    return 0;
}

// Gives record i (of n, each with a Span member `span`) a zero-filled run of need bytes at
// the end of the heap, compacting the heap first when much of it is waste; 0 or 145, in
// which case the record keeps its old run.
template <class Rec> u16 heap_place(Heap& heap, Rec* recs, u32 n, u32 i, u32 need) {
    u32 given_up = heap.waste + recs[i].span.cap;
    if (given_up >= HEAP_COMPACT_MIN && given_up > heap.pool.used / 2) heap_compact(heap, recs, n);
    u32 at = 0;
    if (u16 rc = pool_append(heap.pool, TAG_VARS, nullptr, need, &at)) return rc;
    heap.waste += recs[i].span.cap;
    recs[i].span = Span{at, need};
    return 0;
}

// After records were dropped: the heap ends behind the last live span.
template <class Rec> void heap_trim(Heap& heap, const Rec* recs, u32 n) {
    u32 end = 0;
    u32 live = 0;
    for (u32 i = 0; i < n; i++) {
        const Span& s = recs[i].span;
        if (s.cap && s.off + s.cap > end) end = s.off + s.cap;
        live += s.cap;
    }
    pool_truncate(heap.pool, end);
    heap.waste = end - live;
}

}  // namespace vx::expr::detail
