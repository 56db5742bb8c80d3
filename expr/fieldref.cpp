// Field references NAME{FILE}: resolving them against the structures and reading and writing
// the field in the current image of the file's record buffer.
#include "expr/fieldref.h"

#include <cstring>

#include "expr/eval_impl.h"
#include "expr/fields.h"
#include "expr/structs.h"
#include "runtime/arena.h"
#include "runtime/error.h"
#include "runtime/store.h"
#include "runtime/sysvars.h"

namespace vx::expr {

using namespace vx::rt;
using namespace detail;

namespace {

constexpr char DATE_TYPES[] = "DF";
constexpr char WHOLE_NUMBER_TYPES[] = "NL";
constexpr u16 FIELD_ERROR_MAX = 64;

bool all_digits(Str s) { return s.n && str_all_in_set(s, S("0123456789")); }

u16 bad_reference(u16 code, Str ref) {
    TmpScope scope;
    return fail_with_detail(code, str_concat(S(FIELD_CONTEXT), ref), false);
}

// Field number by exact name; the case-blind search finds the usual case fast.
u16 field_by_name(u16 s, Str name) {
    FieldDesc d;
    u16 f = struct_field_find(s, name);
    if (f && struct_field(s, f, &d) == 0 && str_equal(d.name, name)) return f;
    for (f = 1; struct_field(s, f, &d) == 0; f++)
        if (str_equal(d.name, name)) return f;
    return 0;
}

// The text a number takes before it is fitted to a field of the type.
Str number_for_field(char type, i64 scaled) {
    u16 decimals = field_decimals(type);
    if (decimals) return number_text(scaled, decimals);
    if (std::strchr(WHOLE_NUMBER_TYPES, type) || std::strchr(DATE_TYPES, type)) return number_text(scaled, 0);
    return num_text(scaled);
}

// The field's bytes in the current image; blanks for bytes the buffer does not hold.
Str field_bytes(const FieldRef& f) {
    Str rec = store_get(RECORD_LIST, u16(f.file - 1));
    if (u32(f.offset) + f.width <= rec.n) return Str{rec.p + f.offset, f.width};
    Str out = tmp_alloc(f.width, ' ');
    if (out.ok() && f.offset < rec.n) std::memcpy(str_mut(out), rec.p + f.offset, rec.n - f.offset);
    return out;
}

}  // namespace

u16 field_error(u16 code, u16 file, u16 field) {
    TmpScope scope;
    return fail_with_detail(code, str_format(FIELD_ERROR_MAX, "(File:%u, Field:%u)", unsigned(file), unsigned(field)),
                            false);
}

namespace {

// References resolved lately, by their text: expressions evaluated on every record of a scan
// name the same few fields again and again. An entry holds while the structures, the case
// rule of names and the current data file are what they were when it was made.
constexpr u16 REF_CACHE_ENTRIES = 16;
constexpr u16 REF_TEXT_MAX = 48;

struct CachedRef {
    u32 generation = 0;
    i16 curfil = 0;
    bool keep_case = false;
    u16 len = 0;
    char text[REF_TEXT_MAX];
    FieldRef ref;
};

struct RefCache {
    CachedRef entry[REF_CACHE_ENTRIES];
    u16 next = 0;
};
RefCache refs;

struct RefContext {
    u32 generation;
    i16 curfil;
    bool keep_case;
};

RefContext ref_context() {
    return RefContext{struct_generation(), sysint_get(SV_CURFIL),
                      sysint_bit(SV_AUXSTAT, AUXSTAT_KEEP_CASE)};
}

const FieldRef* cached_ref(Str ref, const RefContext& now) {
    for (const CachedRef& c : refs.entry)
        if (c.len == ref.n && c.generation == now.generation && c.curfil == now.curfil &&
            c.keep_case == now.keep_case && std::memcmp(c.text, ref.p, ref.n) == 0)
            return &c.ref;
    return nullptr;
}

void keep_ref(Str ref, const RefContext& now, const FieldRef& f) {
    CachedRef& c = refs.entry[refs.next];
    refs.next = u16((refs.next + 1) % REF_CACHE_ENTRIES);
    c = CachedRef{now.generation, now.curfil, now.keep_case, ref.n, {}, f};
    std::memcpy(c.text, ref.p, ref.n);
}

// Resolves a reference against the structures (no cache).
u16 resolve_ref(Str ref, FieldRef* out) {
    u16 open = str_find_char(ref, 0, '{', PLAIN);
    if (open == NOT_FOUND || open == 0 || ref.at(u16(ref.n - 1)) != '}' ||
        str_find_char(ref, 0, '}', PLAIN) != ref.n - 1)
        return bad_reference(E_SYNTAX, ref);
    Str file = str_substr(ref, open + 1, u16(ref.n - open - 2));
    Str name = str_substr(ref, 0, open);
    u16 s = struct_number(file);
    if (s == 0) return bad_reference(E_FILEOUTBOUND, ref);
    u16 f = field_by_name(s, name);
    if (f == 0 && all_digits(name)) {
        i64 n = text_to_int64(name);
        f = n >= 1 && n <= 0xFFFF ? u16(n) : 0;
    }
    FieldDesc d;
    StructDesc sd;
    if (f == 0 || struct_field(s, f, &d) || struct_info(s, &sd)) return bad_reference(E_DATAOUTBOUND, ref);
    *out = FieldRef{s, f, d.type, d.width, d.offset, sd.record_length, field_type_is_text(d.type)};
    return 0;
}

}  // namespace

u16 field_ref_parse(Str ref, FieldRef* out) {
    bool keepable = ref.ok() && ref.n <= REF_TEXT_MAX;
    RefContext now{};
    if (keepable) {
        now = ref_context();
        if (const FieldRef* f = cached_ref(ref, now)) {
            *out = *f;
            return 0;
        }
    }
    u16 rc = resolve_ref(ref, out);
    if (rc == 0 && keepable) keep_ref(ref, now, *out);
    return rc;
}

u16 field_ref_get(const FieldRef& f, Value& out) {
    TmpScope scope;
    Str bytes = field_bytes(f);
    if (!bytes.ok()) return str_error_code(bytes);
    if (!f.text) {
        out = val_num(num_parse(bytes));
        return 0;
    }
    Str s = field_read(f.type, str_copy(bytes));
    if (!s.ok()) return str_error_code(s);
    out = val_str(scope.keep(s));
    return out.str.ok() ? 0 : str_error_code(out.str);
}

u16 field_ref_set(const FieldRef& f, const Value& v) {
    TmpScope scope;
    Str text = v.is_str ? v.str : number_for_field(f.type, v.num);
    Str stored = field_fit(f.type, text, f.width);
    if (!stored.ok()) return field_error(str_error_code(stored), f.file, f.field);
    Str rec = store_get(RECORD_LIST, u16(f.file - 1));
    u32 size = u32(f.record_length) * RECORD_IMAGES;
    if (rec.n > size) size = rec.n;
    Str image = tmp_alloc(size, ' ');
    if (!image.ok()) return str_error_code(image);
    char* w = str_mut(image);
    std::memcpy(w, rec.p, rec.n);
    std::memcpy(w + f.offset, stored.p, stored.n < f.width ? stored.n : f.width);
    return store_set(RECORD_LIST, u16(f.file - 1), image);
}

}  // namespace vx::expr
