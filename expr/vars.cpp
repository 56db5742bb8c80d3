// The variable store: name lists with their hash index, the integer, number and string value
// stores, reading and assigning by name (with the variable hook for "_" names), the scope
// mark and cut-back, and the life cycle that declares the system variables.
#include "expr/vars.h"

#include <cstring>
#include <functional>

#include "expr/structs.h"
#include "expr/vars_impl.h"
#include "runtime/arena.h"
#include "runtime/error.h"
#include "runtime/startup.h"
#include "runtime/sysvars.h"

namespace vx::expr {

using namespace vx::rt;

namespace detail {

Vars vars;
VarRegistry var_registry;

bool overlaps(Str s, const Pool& pool) {
    std::less<const char*> below;
    return s.n && pool.p && below(s.p, pool.p + pool.used) && below(pool.p, s.p + s.n);
}

}  // namespace detail

using namespace detail;

namespace {

constexpr u32 INDEX_FIRST = 128;      // entries of the first index table
constexpr u16 SLOTS_MAX = 0xFFFE;     // names per kind (NO_SLOT marks "none")
constexpr u32 STR_CAP_STEP = 8;       // string values reserve bytes in steps of this
constexpr char NAME_SEP = ',';

// FNV-1a over the name's bytes.
u32 name_hash(Str name) {
    u32 h = 2166136261u;
    for (u16 i = 0; i < name.n; i++) h = (h ^ name.at(i)) * 16777619u;
    return h;
}

IndexEntry* index_table() { return pool_items<IndexEntry>(vars.index); }

void index_put(const IndexEntry& e) {
    IndexEntry* t = index_table();
    u32 mask = vars.index_cap - 1;
    u32 i = e.hash & mask;
    while (t[i].used) i = (i + 1) & mask;
    t[i] = e;
    t[i].used = 1;
    vars.index_used++;
}

// Rebuilds the index from the name lists in a table of cap entries; 0 or 145.
u16 index_rebuild(u32 cap) {
    Pool fresh;
    u32 at = 0;
    if (u16 rc = pool_append(fresh, TAG_VARS, nullptr, cap * u32(sizeof(IndexEntry)), &at)) return rc;
    pool_free(vars.index, TAG_VARS);
    vars.index = fresh;
    vars.index_cap = cap;
    vars.index_used = 0;
    for (u8 kind = 0; kind < VAR_KINDS; kind++) {
        const Pool& list = vars.names[kind];
        u32 start = 0;
        for (u16 slot = 0; slot < vars.counts[kind]; slot++) {
            u32 end = start;
            while (end < list.used && list.p[end] != NAME_SEP) end++;
            Str name{list.p + start, u16(end - start)};
            index_put(IndexEntry{name_hash(name), start, name.n, slot, kind, 1});
            start = end + 1;
        }
    }
    return 0;
}

// Room for one more entry with the table at most half full.
u16 index_reserve() {
    if (vars.index_cap && (vars.index_used + 1) * 2 <= vars.index_cap) return 0;
    return index_rebuild(vars.index_cap ? vars.index_cap * 2 : INDEX_FIRST);
}

bool name_ok(Str name) {
    return name.ok() && name.n && str_find_char(name, 0, NAME_SEP, PLAIN) == NOT_FOUND;
}

StrSlot& str_slot(u16 slot) { return str_slots()[slot]; }

u32 round_cap(u32 n) { return (n + STR_CAP_STEP - 1) / STR_CAP_STEP * STR_CAP_STEP; }

// ---- Conversions on assignment ----

u16 store_value(VarRef ref, const Value& v) {
    switch (ref.kind) {
        case KIND_INT: var_set_int(ref.slot, num_to_int16(v.num)); return 0;
        case KIND_NUM: var_set_num(ref.slot, v.num); return 0;
        case KIND_STR: return var_set_str(ref.slot, v.str);
        default: return E_SYNTAX;
    }
}

bool kind_takes(u8 kind, const Value& v) { return (kind == KIND_STR) == v.is_str; }

Value read_slot(VarRef ref) {
    if (!ref.found()) return ref.kind == KIND_STR ? val_str(str_empty()) : val_num(0);
    switch (ref.kind) {
        case KIND_INT: return val_num(num_from_whole(var_int(ref.slot)));
        case KIND_NUM: return val_num(var_num(ref.slot));
        default: return val_str(str_copy(var_str(ref.slot)));
    }
}

// The hook's text as a value of the name's kind: integers are whole numbers.
Value hook_value(u8 kind, Str text) {
    if (kind == KIND_STR) return val_str(text);
    i64 n = num_parse(text);
    return val_num(kind == KIND_INT ? num_from_whole(num_to_int16(n)) : n);
}

// ---- Array element references "NAME(i;j)" ----

constexpr u16 SUBS_MAX = ARRAY_DIMS_MAX + 1;  // one more than allowed, to tell 149

struct ElementRef {
    Str base;
    i64 subs[SUBS_MAX] = {};
    u16 n = 0;
};

// Splits the subscript list at ';' or ',' outside quotes and brackets and evaluates each.
u16 parse_element(Str name, ElementRef& ref) {
    u16 open = str_find_char(name, 0, '(', PLAIN);
    if (open == 0 || name.at(u16(name.n - 1)) != ')') return E_SYNTAX;
    ref.base = str_substr(name, 0, open);
    Str list = str_substr(name, open + 1, u16(name.n - open - 2));
    SubscriptEval eval = var_registry.subscript ? var_registry.subscript : subscript_default;
    u16 depth = 0, start = 0;
    char quote = 0;
    for (u16 i = 0; i <= list.n; i++) {
        char c = i < list.n ? list.p[i] : ';';
        if (quote) { if (c == quote) quote = 0; continue; }
        if (c == '\'' || c == '"') quote = c;
        else if (c == '(') depth++;
        else if (c == ')' && depth) depth--;
        else if ((c == ';' || c == ',') && depth == 0) {
            if (ref.n == SUBS_MAX) return E_DIMSTRUC;
            i64 scaled = 0;
            if (u16 rc = eval(str_substr(list, start, u16(i - start)), &scaled)) return rc;
            ref.subs[ref.n++] = num_round_whole(scaled);
            start = u16(i + 1);
        }
    }
    return 0;
}

u16 element_read(Str name, Value& out) {
    TmpScope scope;
    ElementRef ref;
    if (u16 rc = parse_element(name, ref)) return rc;
    if (u16 rc = array_read(ref.base, ref.subs, ref.n, out)) return rc;
    if (out.is_str) out.str = scope.keep(out.str);
    return out.str.ok() ? 0 : str_error_code(out.str);
}

u16 element_assign(Str name, const Value& value) {
    TmpScope scope;
    ElementRef ref;
    if (u16 rc = parse_element(name, ref)) return rc;
    return array_assign(ref.base, ref.subs, ref.n, value);
}

// ---- System variables ----

i16 sys_get(u16 slot) { return slot < value_count(KIND_INT) ? var_int(slot) : 0; }
void sys_set(u16 slot, i16 value) { if (slot < value_count(KIND_INT)) var_set_int(slot, value); }
constexpr SysIntStore SYS_STORE{sys_get, sys_set};

// Declares the integer system variables in slot order with their defaults, then the
// string system variables.
u16 declare_system_variables() {
    TmpScope scope;
    Str decl = str_from_cstr(SYSVAR_DECL);
    u16 count = list_count(decl, NAME_SEP);
    for (u16 i = 1; i <= count; i++) {
        Str item = list_item(decl, NAME_SEP, i);
        u16 eq = str_find_char(item, 0, '=', PLAIN);
        Str name = eq == NOT_FOUND ? item : str_substr(item, 0, eq);
        Str text = eq == NOT_FOUND ? str_empty() : str_substr(item, eq + 1, NOT_FOUND);
        u16 slot = 0;
        if (u16 rc = name_declare(KIND_INT, name, &slot)) return rc;
        if (slot != i - 1) return E_INTERNAL;
        var_set_int(slot, num_to_int16(num_parse(text)));
    }
    Str strings = str_from_cstr(SYSVAR_STRINGS);
    for (u16 i = 1; i <= list_count(strings, NAME_SEP); i++) {
        u16 slot = 0;
        if (u16 rc = name_declare(KIND_STR, list_item(strings, NAME_SEP, i), &slot)) return rc;
    }
    return 0;
}

}  // namespace

namespace detail {

u16 name_slot(u8 kind, Str name) {
    if (!vars.index_cap || !name.ok()) return NO_SLOT;
    u32 h = name_hash(name);
    const IndexEntry* t = index_table();
    const char* list = vars.names[kind].p;
    u32 mask = vars.index_cap - 1;
    for (u32 i = h & mask; t[i].used; i = (i + 1) & mask) {
        const IndexEntry& e = t[i];
        if (e.hash == h && e.kind == kind && e.len == name.n && std::memcmp(list + e.off, name.p, name.n) == 0)
            return e.slot;
    }
    return NO_SLOT;
}

// Every allocation comes before the first change, so a failure leaves the tables as they were.
u16 name_declare(u8 kind, Str name, u16* slot) {
    if (!vars.ready || !name_ok(name)) return error_raise(M_VARNMASSIGN, E_VARNAME);
    u16 known = name_slot(kind, name);
    if (known != NO_SLOT) {
        *slot = known;
        return 0;
    }
    TmpScope scope;
    if (overlaps(name, vars.names[kind])) {
        name = str_copy(name);
        if (!name.ok()) return error_raise(M_VARNMASSIGN, str_error_code(name));
    }
    Pool& list = vars.names[kind];
    u32 sep = vars.counts[kind] ? 1 : 0;
    if (vars.counts[kind] >= SLOTS_MAX || list.used + sep + name.n > MAX_STR)
        return error_raise(M_VARNMASSIGN, E_VARNAME);
    if (pool_reserve(list, TAG_VARS, sep + name.n) || pool_reserve(vars.values[kind], TAG_VARS, VALUE_SIZE[kind]) ||
        index_reserve())
        return error_raise(M_VARNMASSIGN, E_OUTOFMEMORY);
    u32 at = 0;
    if (sep) pool_append(list, TAG_VARS, ",", 1, &at);
    pool_append(list, TAG_VARS, name.p, name.n, &at);
    u32 value_at = 0;
    pool_append(vars.values[kind], TAG_VARS, nullptr, VALUE_SIZE[kind], &value_at);
    *slot = vars.counts[kind]++;
    index_put(IndexEntry{name_hash(name), at, name.n, *slot, kind, 1});
    return 0;
}

VarHook current_hook() { return reinterpret_cast<VarHook>(hook_get(HOOK_VARIABLE)); }

}  // namespace detail

// ---- Life cycle ----

bool vars_ready() { return vars.ready; }

u16 vars_create() {
    if (vars.ready) return E_UNDEFWARN;
    vars = Vars{};
    vars.ready = true;
    u16 rc = declare_system_variables();
    if (rc) {
        vars_free();
        return rc;
    }
    sysint_store_set(&SYS_STORE);
    return 0;
}

void vars_free() {
    sysint_store_set(nullptr);
    structs_free();
    for (u8 kind = 0; kind < VAR_KINDS; kind++) {
        pool_free(vars.names[kind], TAG_VARS);
        pool_free(vars.values[kind], TAG_VARS);
    }
    pool_free(vars.index, TAG_VARS);
    pool_free(vars.text.pool, TAG_VARS);
    pool_free(vars.elements.pool, TAG_VARS);
    vars = Vars{};
    hook_set(HOOK_VARIABLE, nullptr);
}

// ---- Names, kinds and slots ----

// One pass over the name: "(" decides at once, "$" before "#".
VarKind var_kind(Str name) {
    if (!name.ok()) return KIND_INT;
    bool dollar = false, hash = false;
    for (u16 i = 0; i < name.n; i++) {
        char c = name.p[i];
        if (c == '(') return KIND_ARRAY;
        dollar = dollar || c == '$';
        hash = hash || c == '#';
    }
    return dollar ? KIND_STR : hash ? KIND_NUM : KIND_INT;
}

VarRef var_find(Str name) {
    VarRef ref;
    ref.kind = var_kind(name);
    if (ref.kind == KIND_ARRAY) name = str_substr(name, 0, str_find_char(name, 0, '(', PLAIN));
    ref.slot = name_slot(ref.kind, name);
    return ref;
}

u16 var_declare(Str name, VarRef* ref) {
    VarRef r;
    r.kind = var_kind(name);
    if (r.kind == KIND_ARRAY) return error_raise(M_VARNMASSIGN, E_VARNAME);
    u16 rc = name_declare(r.kind, name, &r.slot);
    if (rc == 0 && ref) *ref = r;
    return rc;
}

Str var_names(u8 kind) {
    if (kind >= VAR_KINDS || !vars.names[kind].p) return str_empty();
    return Str{vars.names[kind].p, u16(vars.names[kind].used)};
}

u16 var_count(u8 kind) { return kind < VAR_KINDS ? vars.counts[kind] : 0; }

// ---- Reading and assigning by name ----

u16 var_read(Str name, Value& out) {
    if (!name.ok() || name.n == 0) return E_SYNTAX;
    VarKind kind = var_kind(name);
    if (kind == KIND_ARRAY) return element_read(name, out);
    if (name.p[0] == '.') return const_read(name, out);
    VarHook hook = name.p[0] == '_' ? current_hook() : nullptr;
    if (hook) {
        TmpScope scope;
        Str answer = str_empty();
        u16 rc = hook(VAR_HOOK_READ, name, str_empty(), &answer);
        if (rc == 0) {
            out = hook_value(kind, answer.ok() ? answer : str_empty());
            if (out.is_str) out.str = scope.keep(str_copy(out.str));
            return 0;
        }
        if (rc != E_DATA) return rc;
    }
    out = read_slot(VarRef{u8(kind), name_slot(kind, name)});
    return out.is_str && !out.str.ok() ? str_error_code(out.str) : 0;
}

u16 var_assign(Str name, const Value& value) {
    if (!name.ok() || name.n == 0) return error_raise(M_VARNMASSIGN, E_VARNAME);
    VarKind kind = var_kind(name);
    if (kind == KIND_ARRAY) return element_assign(name, value);
    if (!kind_takes(kind, value)) return E_TYPEMISMATCH;
    VarHook hook = name.p[0] == '_' ? current_hook() : nullptr;
    if (hook) {
        TmpScope scope;
        Str answer = str_empty();
        u16 rc = hook(VAR_HOOK_WRITE, name, value.is_str ? value.str : num_text(value.num), &answer);
        if (rc != E_DATA) return rc;
    }
    VarRef ref;
    if (u16 rc = var_declare(name, &ref)) return rc;
    return store_value(ref, value);
}

// ---- Values by slot ----

namespace {

// Fixed-width values of a kind's store, read and written without alignment demands.
template <class T> T load_value(u8 kind, u16 slot) {
    T v{};
    if (slot < value_count(kind)) std::memcpy(&v, vars.values[kind].p + u32(slot) * sizeof v, sizeof v);
    return v;
}

template <class T> void store_fixed(u8 kind, u16 slot, T v) {
    if (slot < value_count(kind)) std::memcpy(vars.values[kind].p + u32(slot) * sizeof v, &v, sizeof v);
}

}  // namespace

i16 var_int(u16 slot) { return load_value<i16>(KIND_INT, slot); }
void var_set_int(u16 slot, i16 value) { store_fixed(KIND_INT, slot, value); }
i64 var_num(u16 slot) { return load_value<i64>(KIND_NUM, slot); }
void var_set_num(u16 slot, i64 value) { store_fixed(KIND_NUM, slot, value); }

Str var_str(u16 slot) {
    if (slot >= value_count(KIND_STR)) return str_empty();
    const StrSlot& s = str_slot(slot);
    return s.len ? Str{vars.text.pool.p + s.span.off, s.len} : str_empty();
}

// A value that does not fit where the old one was gets a new place at the heap's end; a
// value taken from the heap itself is copied out first, because the heap may move.
u16 var_set_str(u16 slot, Str value) {
    if (!value.ok()) return str_error_code(value);
    if (slot >= value_count(KIND_STR)) return E_INTERNAL;
    TmpScope scope;
    if (overlaps(value, vars.text.pool)) {
        value = str_copy(value);
        if (!value.ok()) return str_error_code(value);
    }
    u32 cap = str_slot(slot).span.cap;
    if (value.n > cap) {
        u32 need = round_cap(value.n);
        if (cap && need < 2 * cap) need = 2 * cap < MAX_STR ? 2 * cap : MAX_STR;   // values that grow move less often
        if (u16 rc = heap_place(vars.text, str_slots(), value_count(KIND_STR), slot, need)) return rc;
    }
    StrSlot& s = str_slot(slot);
    if (value.n) std::memcpy(vars.text.pool.p + s.span.off, value.p, value.n);
    s.len = value.n;
    return 0;
}

// ---- Variable scope ----

ScopeMark scope_mark() {
    ScopeMark m;
    for (u8 kind = 0; kind < VAR_KINDS; kind++) {
        m.list_bytes[kind] = vars.names[kind].used;
        m.names[kind] = vars.counts[kind];
        m.values[kind] = u16(value_count(kind));
    }
    return m;
}

u16 scope_cut(const ScopeMark& mark) {
    for (u8 kind = 0; kind < VAR_KINDS; kind++)
        if (mark.list_bytes[kind] > vars.names[kind].used || mark.names[kind] > vars.counts[kind] ||
            mark.values[kind] > value_count(kind))
            return error_raise(M_VARSTRUCT, E_INTERNAL);
    for (u8 kind = 0; kind < VAR_KINDS; kind++) {
        pool_truncate(vars.names[kind], mark.list_bytes[kind]);
        vars.counts[kind] = mark.names[kind];
        pool_truncate(vars.values[kind], mark.values[kind] * VALUE_SIZE[kind]);
    }
    heap_trim(vars.text, str_slots(), value_count(KIND_STR));
    arrays_after_cut();
    return index_rebuild(vars.index_cap ? vars.index_cap : INDEX_FIRST);
}

}  // namespace vx::expr
