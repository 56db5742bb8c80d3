// Built-in functions on the run-time's storage: ENVRON$ (the run-time environment) and _$
// (slots of the lists of the string store, and its stacks).
//
// Lists from STACK_AREAS on are stacks (the last two queues); the others have numbered
// slots. _$ on the parameter stack works on the stack as the caller sees it: its own
// arguments are taken off first, and what it pushes or pops stays so.
#include "expr/funcs_hooks.h"
#include "expr/funcs_impl.h"
#include "runtime/arena.h"
#include "runtime/env.h"
#include "runtime/error.h"
#include "runtime/store.h"

namespace vx::expr::fn {

using namespace vx::rt;

namespace {

constexpr u16 STACK_AREAS = 30;
constexpr i64 DEFAULT_AREA = STACK_AREAS;
constexpr u16 KEYED_ENTRIES = 1;  // entries 0 and 1 are read by key
constexpr u16 WRITE_ITEMS = 3;
constexpr char FUNCLIST_NAME[] = ".funclist";

bool is_stack(u16 area) {
    return area >= STACK_AREAS;
}

// The function list cached in the environment is not the user's to change.
bool protected_slot(u16 area, i64 slot) {
    return area == LIST_ENV && slot == ENV_FUNCLIST;
}

Str top_of(u16 area) {
    return store_count(area) ? store_get(area, store_top(area)) : str_empty();
}

// Pops up to n entries; the result is the last one popped.
Str pop_entries(u16 area, i64 n) {
    Str last = str_empty();
    u16 mark = tmp_mark();
    for (i64 k = 0; k < n && store_count(area); k++) {
        last = tmp_release_keep(mark, store_pop(area));
        if (!last.ok()) break;
    }
    return last;
}

u16 write_slot(u16 area, i64 slot, Str text) {
    if (is_stack(area)) return store_push(area, text);
    if (slot < 0) return E_SYNTAX;
    if (protected_slot(area, slot)) return fail(E_PERMISSION, S(FUNCLIST_NAME));
    return store_set(area, u16(slot), text);
}

// _$ on the parameter stack: typed values, read back as text.
u16 parameter_slots(Call& c, i64 slot, Value& out) {
    param_cut(c.stack_base);
    u16 code =
        c.count == WRITE_ITEMS ? param_push(c.given[2] ? c.arg[2] : val_str(str_empty())) : 0;
    Value v = val_str(str_empty());
    for (i64 k = 0; !code && k < -slot && param_depth(); k++) {
        u16 mark = tmp_mark();
        code = param_read(u16(param_depth() - 1), v);
        if (!code) param_cut(u16(param_depth() - 1));
        if (v.is_str) v.str = tmp_release_keep(mark, v.str);
    }
    if (!code && slot >= 0 && param_depth()) code = param_read(u16(param_depth() - 1), v);
    c.stack_base = param_depth();
    out = val_str(value_text(v));
    return code;
}

}  // namespace

u16 f_environ(Call& c, Value& out) {
    Str key;
    i64 entry;
    if (u16 rc = arg_text_any(c, 0, str_empty(), &key)) return rc;
    if (u16 rc = arg_whole(c, 1, ENV_CMDLINE, &entry)) return rc;
    if (entry < 0 || entry >= STORE_ENTRIES) {
        out = val_str(str_empty());
        return 0;
    }
    Str text = env_get(u16(entry));
    if (!text.ok()) return str_error_code(text);
    out = val_str(entry > KEYED_ENTRIES ? text : opt_value(text, key, OPT_UNQUOTE));
    return 0;
}

u16 f_slots(Call& c, Value& out) {
    i64 area, slot;
    Str text;
    if (u16 rc = arg_whole_in(c, 0, DEFAULT_AREA, 0, STORE_LISTS - 1, &area)) return rc;
    if (u16 rc = arg_whole_in(c, 1, 0, -i64(STORE_ENTRIES), STORE_ENTRIES - 1, &slot)) return rc;
    if (u16 rc = arg_text_any(c, 2, str_empty(), &text)) return rc;
    u16 a = u16(area);
    if (!is_stack(a) && slot < 0) return E_SYNTAX;
    if (a == LIST_PARAMS) return parameter_slots(c, slot, out);
    u16 rc = c.count == WRITE_ITEMS ? write_slot(a, slot, text) : 0;
    if (rc) return rc;
    out = val_str(slot < 0      ? pop_entries(a, -slot)
                  : is_stack(a) ? top_of(a)
                                : store_get(a, u16(slot)));
    return 0;
}

}  // namespace vx::expr::fn
