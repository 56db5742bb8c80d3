// Integer system variables by slot, with their defaults from the declaration list.
#include "runtime/sysvars.h"

#include "runtime/arena.h"

namespace vx::rt {

namespace {

struct SysInts {
    i16 values[SV_COUNT_ALL] = {};
    const SysIntStore* store = nullptr;
};

SysInts sys;

bool defaults_loaded = false;

// Defaults are the "=n" parts of the declaration list.
void load_defaults() {
    Str decl = str_from_cstr(SYSVAR_DECL);
    u16 at = 0;
    for (u16 slot = 0; slot < SV_COUNT_ALL; slot++) {
        u16 end = str_find_char(decl, at, ',', PLAIN);
        if (end == NOT_FOUND) end = decl.n;
        Str item = str_substr(decl, at, u16(end - at));
        u16 eq = str_find_char(item, 0, '=', PLAIN);
        sys.values[slot] = eq == NOT_FOUND ? 0 : i16(text_to_int64(str_substr(item, eq + 1, NOT_FOUND)));
        at = end + 1;
    }
    defaults_loaded = true;
}

}  // namespace

void sysint_reset() { load_defaults(); }

i16 sysint_get(u16 slot) {
    if (slot >= SV_COUNT_ALL) return 0;
    if (sys.store) return sys.store->get(slot);
    if (!defaults_loaded) load_defaults();
    return sys.values[slot];
}

void sysint_set(u16 slot, i16 value) {
    if (slot >= SV_COUNT_ALL) return;
    if (sys.store) return sys.store->set(slot, value);
    if (!defaults_loaded) load_defaults();
    sys.values[slot] = value;
}

void sysint_or(u16 slot, u16 bits) { sysint_set(slot, i16(u16(sysint_get(slot)) | bits)); }

void sysint_store_set(const SysIntStore* store) { sys.store = store; }

}  // namespace vx::rt
