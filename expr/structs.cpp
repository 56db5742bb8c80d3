// Data-file structures: the table of up to 30 structures, their fields, keys and dictionary
// lines kept in pools of their own, the default keys, relation markers, and the saved
// states that "RESTORE" goes back to. Fields, keys, dictionary lines and texts only grow at
// the end of their pools, so a state is the table of structure records plus the pool sizes.
#include "expr/structs.h"

#include <cstring>

#include "expr/pool.h"
#include "runtime/arena.h"
#include "runtime/error.h"
#include "runtime/sysvars.h"

namespace vx::expr {

using namespace vx::rt;

namespace {

struct TextRef {
    u32 off = 0;
    u16 len = 0;
};

struct StructRec {
    TextRef name;
    TextRef folder;
    u16 number = 0;
    u16 first_field = 0;    // index in the field pool
    u16 fields = 0;
    u16 data_fields = 0;
    u16 keys = 0;
    u16 record_length = 0;
    u32 dict_bytes = 0;     // length of the joined dictionary text
};

struct FieldRec {
    TextRef name;
    u16 width = 0;
    u16 offset = 0;
    char type = 0;
};

struct KeyRec {
    u16 s = 0;
    u16 parts = 0;
    KeyPart part[KEY_PARTS_MAX];
};

struct DictRec {
    u16 s = 0;
    TextRef text;
};

struct StructState {
    u16 count = 0;
    StructRec recs[STRUCT_MAX];
    u32 fields = 0, keys = 0, dicts = 0, text = 0;   // pool sizes in bytes
};

struct Structs {
    StructState now;
    Pool fields, keys, dicts, text;
    StructState saved[STRUCT_SAVES_MAX];
    u16 nsaved = 0;
    StructState checkpoint;
};

Structs ss;
u32 generation = 1;  // outlives structs_free, so that nothing kept from before matches

void changed() {
    if (++generation == 0) generation = 1;
}

u16 fail(u16 code) { return error_raise(M_VARSTRUCT, code); }

bool valid(u16 s) { return s >= 1 && s <= ss.now.count; }
StructRec& rec(u16 s) { return ss.now.recs[s - 1]; }
FieldRec* fields() { return pool_items<FieldRec>(ss.fields); }
KeyRec* keys() { return pool_items<KeyRec>(ss.keys); }
DictRec* dicts() { return pool_items<DictRec>(ss.dicts); }
Str text_of(TextRef t) { return t.len ? Str{ss.text.p + t.off, t.len} : str_empty(); }

u16 add_text(Str s, TextRef* ref) {
    u32 at = 0;
    if (u16 rc = pool_append(ss.text, TAG_STRUCTS, s.p, s.n, &at)) return rc;
    *ref = TextRef{at, s.n};
    return 0;
}

StructState current() {
    StructState st = ss.now;
    st.fields = ss.fields.used;
    st.keys = ss.keys.used;
    st.dicts = ss.dicts.used;
    st.text = ss.text.used;
    return st;
}

void go_back(const StructState& st) {
    changed();
    ss.now = st;
    pool_truncate(ss.fields, st.fields);
    pool_truncate(ss.keys, st.keys);
    pool_truncate(ss.dicts, st.dicts);
    pool_truncate(ss.text, st.text);
}

bool keeps_case() { return sysint_bit(SV_AUXSTAT, AUXSTAT_KEEP_CASE); }

bool is_placeholder(Str name) { return list_find(str_from_cstr(PLACEHOLDER_FIELDS), ',', name) != 0; }

u16 append_key(u16 s, const KeyPart* parts, u16 nparts) {
    KeyRec k;
    k.s = s;
    k.parts = nparts;
    std::memcpy(k.part, parts, nparts * sizeof(KeyPart));
    if (u16 rc = pool_push(ss.keys, TAG_STRUCTS, k)) return rc;
    changed();
    rec(s).keys++;
    return 0;
}

// One part from offset 0 to the end of field N_LINE, or of field 1 without one. A
// structure without fields gets none.
u16 add_default_key(u16 s) {
    const StructRec& r = rec(s);
    if (r.fields == 0) return 0;
    u16 f = struct_field_find(s, str_from_cstr(DEFAULT_KEY_FIELD));
    const FieldRec& field = fields()[r.first_field + (f ? f - 1 : 0)];
    KeyPart part{0, u16(field.offset + field.width)};
    return append_key(s, &part, 1);
}

u16 key_index(u16 s, u16 k) {
    u16 seen = 0;
    u32 n = pool_count<KeyRec>(ss.keys);
    for (u32 i = 0; i < n; i++)
        if (keys()[i].s == s && ++seen == k) return u16(i);
    return NOT_FOUND;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

// ---- Definition ----

u16 struct_define(u16 number, Str name, Str folder) {
    if (!name.ok() || !folder.ok()) return fail(E_DATA);
    if (str_equal(name, str_from_cstr(STRUCT_RESTORE))) return struct_restore();
    if (ss.now.count >= STRUCT_MAX) return fail(E_FILEOUTBOUND);
    TmpScope scope;
    StructRec r;
    u32 text_before = ss.text.used;
    if (add_text(keeps_case() ? name : str_lower(name), &r.name) || add_text(folder, &r.folder)) {
        pool_truncate(ss.text, text_before);
        return fail(E_OUTOFMEMORY);
    }
    r.number = number;
    r.first_field = u16(pool_count<FieldRec>(ss.fields));
    changed();
    ss.now.recs[ss.now.count++] = r;
    return 0;
}

u16 struct_add_field(Str name, u16 width, char type) {
    u16 s = ss.now.count;
    if (s < 1 || s > STRUCT_WITH_FIELDS_MAX || !name.ok()) return fail(E_FILEOUTBOUND);
    StructRec& r = rec(s);
    if (u32(r.record_length) + width > RECORD_MAX) return fail(E_DATAOUTBOUND);
    FieldRec f;
    f.width = width;
    f.offset = r.record_length;
    f.type = type;
    u32 text_before = ss.text.used;
    if (add_text(name, &f.name) || pool_push(ss.fields, TAG_STRUCTS, f)) {
        pool_truncate(ss.text, text_before);
        return fail(E_OUTOFMEMORY);
    }
    changed();
    r.fields++;
    r.record_length = u16(r.record_length + width);
    if (!is_placeholder(name)) r.data_fields = r.fields;
    return 0;
}

// Keys come in ascending structure order: before the first key of s, every earlier
// structure still without a key gets its default key.
u16 struct_add_key(u16 s, const KeyPart* parts, u16 nparts) {
    if (!valid(s)) return fail(E_DATA);
    if (nparts == 0 || nparts > KEY_PARTS_MAX) return fail(E_DIMSTRUC);
    if (rec(s).keys == 0)
        for (u16 t = 1; t < s; t++)
            if (rec(t).keys == 0 && add_default_key(t)) return fail(E_OUTOFMEMORY);
    if (append_key(s, parts, nparts)) return fail(E_OUTOFMEMORY);
    return 0;
}

u16 struct_add_dict(u16 s, Str text) {
    if (!valid(s)) return fail(E_BADFILENUMBER);
    if (!text.ok()) return str_error_code(text);
    StructRec& r = rec(s);
    u32 joined = r.dict_bytes + (r.dict_bytes ? 1 : 0) + text.n;
    if (joined > MAX_STR) return fail(E_STRINGTOOLONG);
    DictRec d;
    d.s = s;
    u32 text_before = ss.text.used;
    if (add_text(text, &d.text) || pool_push(ss.dicts, TAG_STRUCTS, d)) {
        pool_truncate(ss.text, text_before);
        return fail(E_OUTOFMEMORY);
    }
    r.dict_bytes = joined;
    return 0;
}

u16 struct_default_keys() {
    for (u16 s = 1; s <= ss.now.count; s++)
        if (rec(s).keys == 0 && add_default_key(s)) return fail(E_OUTOFMEMORY);
    return 0;
}

// ---- Reading ----

u16 struct_count() { return ss.now.count; }

u16 struct_number(Str text) {
    if (!text.ok()) return 0;
    text = str_trim(text, TRIM_BOTH);
    if (text.n == 0) {
        i16 cur = sysint_get(SV_CURFIL);
        return cur >= 1 && cur <= ss.now.count ? u16(cur) : 0;
    }
    if (str_all_in_set(text, S("0123456789"))) {
        i64 n = text_to_int64(text);
        return n >= 1 && n <= ss.now.count ? u16(n) : 0;
    }
    TmpScope scope;
    Str name = keeps_case() ? text : str_lower(text);
    for (u16 s = 1; s <= ss.now.count; s++)
        if (str_equal(text_of(rec(s).name), name)) return s;
    return 0;
}

u16 struct_info(u16 s, StructDesc* out) {
    if (!valid(s)) return E_BADFILENUMBER;
    const StructRec& r = rec(s);
    *out = StructDesc{text_of(r.name), text_of(r.folder), r.number, r.fields, r.data_fields, r.keys, r.record_length};
    return 0;
}

u16 struct_field(u16 s, u16 field, FieldDesc* out) {
    if (!valid(s)) return E_BADFILENUMBER;
    const StructRec& r = rec(s);
    if (field < 1 || field > r.fields) return E_DATAOUTBOUND;
    u16 i = u16(r.first_field + field - 1);
    const FieldRec& f = fields()[i];
    *out = FieldDesc{text_of(f.name), f.type, f.width, f.offset, u16(i + 1)};
    return 0;
}

u16 struct_field_find(u16 s, Str name) {
    if (!valid(s)) return 0;
    const StructRec& r = rec(s);
    for (u16 f = 0; f < r.fields; f++)
        if (str_equal_nocase(text_of(fields()[r.first_field + f].name), name)) return u16(f + 1);
    return 0;
}

u16 struct_key(u16 s, u16 key, KeyDesc* out) {
    if (!valid(s)) return E_BADFILENUMBER;
    u16 i = key >= 1 ? key_index(s, key) : NOT_FOUND;
    if (i == NOT_FOUND) return E_DATAOUTBOUND;
    const KeyRec& k = keys()[i];
    out->parts = k.parts;
    std::memcpy(out->part, k.part, sizeof out->part);
    out->global = u16(i + 1);
    return 0;
}

Str struct_dict(u16 s) {
    if (!valid(s)) return str_empty();
    StrBuilder b;
    bool first = true;
    u32 n = pool_count<DictRec>(ss.dicts);
    for (u32 i = 0; i < n; i++) {
        if (dicts()[i].s != s) continue;
        if (!first) b.put(S(":"));
        b.put(text_of(dicts()[i].text));
        first = false;
    }
    return b.finish();
}

// The marker counts only where no digit stands before it, so "2R1K" is not found in "12R1K".
u16 struct_relation(u16 s, u16 target, u16 relation) {
    if (!valid(s)) return 0;
    TmpScope scope;
    Str marker = str_format(24, "%uR%uK", unsigned(target), unsigned(relation));
    u32 n = pool_count<DictRec>(ss.dicts);
    for (u32 i = 0; i < n; i++) {
        if (dicts()[i].s != s) continue;
        Str line = text_of(dicts()[i].text);
        for (u16 at = 0; (at = str_find_sub_from(line, at, marker, PLAIN)) != NOT_FOUND; at++) {
            if (at > 0 && is_digit(line.p[at - 1])) continue;
            return u16(text_to_int64(str_substr(line, u16(at + marker.n), NOT_FOUND)));
        }
    }
    return 0;
}

u16 struct_fields_total() { return u16(pool_count<FieldRec>(ss.fields)); }
u16 struct_keys_total() { return u16(pool_count<KeyRec>(ss.keys)); }
u32 struct_generation() {
    return generation;
}

// ---- Saved states ----

u16 struct_save() {
    if (ss.nsaved >= STRUCT_SAVES_MAX) return fail(E_DATAOUTBOUND);
    ss.saved[ss.nsaved++] = current();
    return 0;
}

u16 struct_restore() {
    if (ss.nsaved == 0) return fail(E_INTERNAL);
    go_back(ss.saved[--ss.nsaved]);
    return 0;
}

u16 struct_saves() { return ss.nsaved; }

void structs_free() {
    pool_free(ss.fields, TAG_STRUCTS);
    pool_free(ss.keys, TAG_STRUCTS);
    pool_free(ss.dicts, TAG_STRUCTS);
    pool_free(ss.text, TAG_STRUCTS);
    ss = Structs{};
    changed();
}

namespace detail {

void struct_checkpoint() { ss.checkpoint = current(); }
void struct_rollback() { go_back(ss.checkpoint); }

}  // namespace detail

}  // namespace vx::expr
