// Finding built-in functions by name in the function list cached in environment entry 8.
#include "expr/funcs.h"

#include <cstring>

#include "runtime/arena.h"
#include "runtime/env.h"

namespace vx::expr {

using namespace vx::rt;

namespace {

constexpr char ITEM_SEP = '\0';

u8 upper_ascii(u8 b) { return b >= 'a' && b <= 'z' ? u8(b - 'a' + 'A') : b; }

bool same_name(Str item, Str name, bool fold) {
    if (item.n != name.n) return false;
    for (u16 i = 0; i < name.n; i++) {
        u8 b = name.at(i);
        if (item.at(i) != (fold ? upper_ascii(b) : b)) return false;
    }
    return true;
}

// The list with NUL separators: from environment entry 8, stored there on first use. Without
// a string store the built-in text itself is searched (with its commas).
Str cached_list(char* sep) {
    Str list = env_get(ENV_FUNCLIST);
    if (list.n) {
        *sep = ITEM_SEP;
        return list;
    }
    Str plain = str_from_cstr(FUNCTION_LIST);
    TmpScope scope;
    Str copy = str_copy(plain);
    if (copy.ok()) {
        char* w = str_mut(copy);
        for (u16 i = 0; i < copy.n; i++)
            if (w[i] == ',') w[i] = ITEM_SEP;
        if (env_set(ENV_FUNCLIST, copy) == 0 && env_get(ENV_FUNCLIST).n) {
            *sep = ITEM_SEP;
            return env_get(ENV_FUNCLIST);
        }
    }
    *sep = ',';
    return plain;
}

u16 find_in(Str list, char sep, Str name, bool fold) {
    u16 number = 1;
    u16 start = 0;
    for (u16 i = 0; i <= list.n; i++) {
        if (i < list.n && list.p[i] != sep) continue;
        if (same_name(Str{list.p + start, u16(i - start)}, name, fold)) return number;
        number++;
        start = u16(i + 1);
    }
    return 0;
}

}  // namespace

u16 fn_find(Str name) {
    if (!name.ok() || name.n == 0) return 0;
    char sep = ITEM_SEP;
    Str list = cached_list(&sep);
    u16 n = find_in(list, sep, name, false);
    return n ? n : find_in(list, sep, name, true);
}

Str fn_name(u16 number) {
    return list_item(str_from_cstr(FUNCTION_LIST), ',', number);
}

}  // namespace vx::expr
