// Arrays of up to four dimensions: declaration, element positions (row-major, each
// dimension d holding d+1 elements), element reads and assignments, and the release of
// arrays dropped by a scope cut. Elements of all arrays share one heap pool.
#include <cstring>

#include "expr/vars.h"
#include "expr/vars_impl.h"
#include "runtime/arena.h"
#include "runtime/error.h"

namespace vx::expr {

using namespace vx::rt;
using namespace detail;

namespace {

constexpr u16 ELEMENT_WIDTH[] = {sizeof(i16), sizeof(i64), 0};   // by ArrayType; strings: declared
constexpr i64 SUBSCRIPT_MAX = 0xFFFE;                             // a dimension's largest subscript

u16 fail(u16 code) { return error_raise(M_VARSTRUCT, code); }

u16 type_of_name(Str name) {
    if (str_find_char(name, 0, '$', PLAIN) != NOT_FOUND) return ARRAY_STR;
    if (str_find_char(name, 0, '#', PLAIN) != NOT_FOUND) return ARRAY_NUM;
    return ARRAY_INT;
}

ArrayRec* find_array(Str name) {
    u16 slot = name_slot(KIND_ARRAY, name);
    return slot == NO_SLOT ? nullptr : &array_recs()[slot];
}

// Row-major position of an element; -1 when a subscript is far outside any array.
i64 element_position(const ArrayRec& a, const i64* subs, u16 nsubs) {
    i64 pos = 0;
    for (u16 d = 0; d < a.dims; d++) {
        i64 s = d < nsubs ? subs[d] : 0;
        if (s < -i64(ARRAY_MAX_BYTES) || s > i64(ARRAY_MAX_BYTES)) return -1;
        pos = pos * a.sizes[d] + s;
    }
    return pos;
}

// The element's bytes, or 149 / 168.
u16 locate(const ArrayRec& a, const i64* subs, u16 nsubs, char** at) {
    if (nsubs > a.dims) return fail(E_DIMSTRUC);
    i64 pos = element_position(a, subs, nsubs);
    if (pos < 0 || pos >= i64(a.count)) return fail(E_DATAOUTBOUND);
    *at = vars.elements.pool.p + a.span.off + std::uint64_t(pos) * a.width;
    return 0;
}

Value element_value(const ArrayRec& a, const char* at) {
    switch (a.type) {
        case ARRAY_INT: {
            i16 v;
            std::memcpy(&v, at, sizeof v);
            return val_num(num_from_whole(v));
        }
        case ARRAY_NUM: {
            i64 v;
            std::memcpy(&v, at, sizeof v);
            return val_num(v);
        }
        default: {
            const void* nul = std::memchr(at, 0, a.width);
            u16 n = nul ? u16(static_cast<const char*>(nul) - at) : a.width;
            return val_str(str_copy(Str{at, n}));
        }
    }
}

void store_element(const ArrayRec& a, char* at, const Value& v) {
    switch (a.type) {
        case ARRAY_INT: {
            i16 w = i16(u16(std::uint64_t(num_trunc_whole(v.num))));
            std::memcpy(at, &w, sizeof w);
            break;
        }
        case ARRAY_NUM: std::memcpy(at, &v.num, sizeof v.num); break;
        default: {
            u16 n = v.str.n < a.width ? v.str.n : a.width;
            std::memmove(at, v.str.p, n);
            std::memset(at + n, 0, a.width - n);
        }
    }
}

}  // namespace

u16 array_declare(Str name, u16 type, const u16* dims, u16 ndims, u16 width) {
    if (ndims > ARRAY_DIMS_MAX) return fail(E_DIMSTRUC);
    if (type > ARRAY_STR) return E_TYPEMISMATCH;
    ArrayRec rec;
    rec.type = type;
    rec.width = type == ARRAY_STR ? (width ? width : ARRAY_STR_WIDTH) : ELEMENT_WIDTH[type];
    rec.dims = ndims;
    std::uint64_t count = 1;
    bool any = false;
    for (u16 d = 0; d < ndims; d++) {
        if (dims[d] > SUBSCRIPT_MAX) return fail(E_DATAOUTBOUND);
        any = any || dims[d] != 0;
        rec.sizes[d] = u16(dims[d] + 1);
        count *= rec.sizes[d];
        if (count * rec.width > ARRAY_MAX_BYTES) return fail(E_OUTOFMEMORY);
    }
    if (!any) return fail(E_SYNTAX);
    rec.count = u32(count);
    if (!name.ok() || str_find_char(name, 0, '(', PLAIN) != NOT_FOUND) return error_raise(M_VARNMASSIGN, E_VARNAME);
    u16 slot = 0;
    if (u16 rc = name_declare(KIND_ARRAY, name, &slot)) return rc;
    // A failure to find room leaves an array declared again as it was.
    u32 bytes = rec.count * rec.width;
    if (bytes == array_recs()[slot].span.cap)
        std::memset(vars.elements.pool.p + array_recs()[slot].span.off, 0, bytes);
    else if (u16 rc = heap_place(vars.elements, array_recs(), value_count(KIND_ARRAY), slot, bytes))
        return fail(rc);
    rec.span = array_recs()[slot].span;
    array_recs()[slot] = rec;
    return 0;
}

u16 array_read(Str name, const i64* subs, u16 nsubs, Value& out) {
    const ArrayRec* a = find_array(name);
    if (!a) {
        if (nsubs > ARRAY_DIMS_MAX) return fail(E_DIMSTRUC);
        u16 dims[ARRAY_DIMS_MAX] = {};
        for (u16 d = 0; d < nsubs; d++) {
            if (subs[d] < 0 || subs[d] > SUBSCRIPT_MAX) return fail(E_DATAOUTBOUND);
            dims[d] = u16(subs[d]);
        }
        if (u16 rc = array_declare(name, type_of_name(name), dims, nsubs, 0)) return rc;
        a = find_array(name);
    }
    char* at = nullptr;
    if (u16 rc = locate(*a, subs, nsubs, &at)) return rc;
    out = element_value(*a, at);
    return out.is_str && !out.str.ok() ? str_error_code(out.str) : 0;
}

u16 array_assign(Str name, const i64* subs, u16 nsubs, const Value& value) {
    const ArrayRec* a = find_array(name);
    if (!a) return fail(E_DIMSTRUC);
    if ((a->type == ARRAY_STR) != value.is_str) return E_TYPEMISMATCH;
    char* at = nullptr;
    if (u16 rc = locate(*a, subs, nsubs, &at)) return rc;
    store_element(*a, at, value);
    return 0;
}

u16 array_info(Str name, ArrayInfo* info) {
    const ArrayRec* a = find_array(name);
    if (!a) return E_DIMSTRUC;
    info->type = a->type;
    info->width = a->width;
    info->dims = a->dims;
    std::memcpy(info->sizes, a->sizes, sizeof info->sizes);
    info->count = a->count;
    return 0;
}

namespace detail {

void arrays_after_cut() { heap_trim(vars.elements, array_recs(), value_count(KIND_ARRAY)); }

}  // namespace detail

}  // namespace vx::expr
