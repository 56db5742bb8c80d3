// The built-in functions on data files (FILEFIND, FILEREL, FILELOCATE, KEY$, IER, and the
// data-file forms of FN#FLEN, FILESEL and SORT$): their arguments are read and checked here
// and handed to the data layer through the calls it registers; the navigation verbs; and
// the open sets of data files with their stack.
#include "expr/funcs_hooks.h"
#include "expr/funcs_impl.h"
#include "expr/structs.h"
#include "runtime/arena.h"
#include "runtime/error.h"
#include "runtime/store.h"
#include "runtime/sysvars.h"

namespace vx::expr {

using namespace vx::rt;

namespace {

struct DataState {
    DataFileCalls calls;
};
DataState data;

constexpr u16 VERB_CODES[] = {0x0F01, 0x0F24, 0x0F16, 0x0000, 0x0F12, 0x0F20,
                              0x0040, 0x0F00, 0x0D00, 0x0642, 0x0042, 0x00FF,
                              0x0046, 0x00FF, 0x00FF, 0x00FF, 0x00FF, 0x00FF};

// ---- Open sets ----

constexpr char RESTORE_WORD[] = "RESTORE";
constexpr char ITEM_SEP = ',';
constexpr char FLAGS_SEP = ';';
constexpr u8 DEFAULT_OPEN = 1;
constexpr u8 LAST_ITEM_FLAG = 8;
constexpr i64 OPEN_FLAGS_MAX = 255;

u16 missing(const char* function) {
    return fn::fail(E_FEATUREREMOVED, str_from_cstr(function));
}

// The flags of an item: digits only, at most OPEN_FLAGS_MAX; an empty text gives def.
u16 item_flags(Str text, u8 def, u8* flags) {
    text = str_trim(text, TRIM_BOTH);
    if (text.n == 0) {
        *flags = def;
        return 0;
    }
    if (!str_all_in_set(text, S("0123456789")) || text.n > 3) return E_SYNTAX;
    i64 v = text_to_int64(text);
    if (v > OPEN_FLAGS_MAX) return E_SYNTAX;
    *flags = u8(v);
    return 0;
}

// One flag byte per structure from the items of an open text.
u16 open_flags(Str text, char* bytes, u16 files) {
    TmpScope scope;
    StrArray items = list_split(text, ITEM_SEP);
    if (items.error) return items.error;
    u16 last = items.count;
    while (last > 0 && str_trim(items.items[last - 1], TRIM_BOTH).n == 0) last--;
    for (u16 k = 0; k < last; k++) {
        Str item = str_trim(items.items[k], TRIM_BOTH);
        if (item.n == 0) continue;
        Str name = str_trim(list_item(item, FLAGS_SEP, 1), TRIM_BOTH);
        u16 file = name.n ? struct_number(name) : 0;
        if (file == 0 || file > files) return fn::fail(E_FILEOPEN, name);
        bool is_last = k + 1 == last;
        u8 flags;
        if (u16 rc = item_flags(list_item(item, FLAGS_SEP, 2), DEFAULT_OPEN, &flags)) return rc;
        bytes[file - 1] = char(is_last ? flags | LAST_ITEM_FLAG : flags);
    }
    return 0;
}

u16 restore_open_set(Str text) {
    if (store_count(LIST_OPEN_SETS) < 2) return fn::fail(E_INTERNAL, text);
    if (!data.calls.open_set) return missing("FILESEL");
    store_drop(LIST_OPEN_SETS);
    TmpScope scope;
    Str set = str_copy(store_get(LIST_OPEN_SETS, store_top(LIST_OPEN_SETS)));
    return set.ok() ? data.calls.open_set(set) : str_error_code(set);
}

// ---- Arguments ----

constexpr i64 NUMBER_ARG_MAX = 0xFFFF;
constexpr i64 KEY_IMAGE_CURRENT = 1;

u16 current_file() {
    i16 cur = sysint_get(SV_CURFIL);
    return cur > 0 ? u16(cur) : 0;
}

// A data file by number (0: the current one) or by name ("": the current one).
u16 arg_file(const fn::Call& c, u16 i, u16* file) {
    *file = current_file();
    if (!fn::given(c, i)) return 0;
    if (!c.arg[i].is_str) {
        i64 n = num_round_whole(c.arg[i].num);
        if (n < 0 || n > STRUCT_MAX) return E_BADFILENUMBER;
        if (n) *file = u16(n);
        return 0;
    }
    Str name = str_trim(c.arg[i].str, TRIM_BOTH);
    if (name.n == 0) return 0;
    *file = struct_number(name);
    return *file ? 0 : fn::fail(E_BADFILENUMBER, name);
}

u16 arg_number(const fn::Call& c, u16 i, i64 def, u16* out) {
    i64 v;
    if (u16 rc = fn::arg_whole_in(c, i, def, 0, NUMBER_ARG_MAX, &v)) return rc;
    *out = u16(v);
    return 0;
}

// A status below 128 is the function's number; 128 and above is its error.
u16 status_result(u16 status, Value& out) {
    if (status >= FIRST_ERROR) return status;
    out = val_num(num_from_whole(status));
    return 0;
}

}  // namespace

void datafile_calls_set(const DataFileCalls* calls) {
    data.calls = calls ? *calls : DataFileCalls{};
}

u16 verb_code(Str verb) {
    TmpScope scope;
    Str word = str_upper(str_trim(verb, TRIM_BOTH));
    Str short_form = opt_value(str_from_cstr(VERB_WORDS), word, 0);
    if (short_form.n) word = short_form;
    u16 k = word.n ? list_find(str_from_cstr(VERBS), ',', word) : 0;
    return k ? VERB_CODES[k - 1] : VERB_NONE;
}

u16 open_set_select(Str text) {
    if (!text.ok()) return str_error_code(text);
    text = str_trim(text, TRIM_BOTH);
    if (str_equal_nocase(text, S(RESTORE_WORD))) return restore_open_set(text);
    TmpScope scope;
    u16 files = struct_count();
    Str bytes = tmp_alloc(files, 0);
    if (!bytes.ok()) return str_error_code(bytes);
    if (u16 rc = open_flags(text, str_mut(bytes), files)) return rc;
    if (!data.calls.open_set) return missing("FILESEL");
    if (u16 rc = store_push(LIST_OPEN_SETS, bytes)) return rc;
    return data.calls.open_set(bytes);
}

namespace fn {

u16 datafile_sort(Call& c, Str operation, Value& out) {
    if (!data.calls.sort) return missing("SORT$");
    return data.calls.sort(operation, c.arg + 1, u16(c.evaluated - 1), out);
}

u16 datafile_records(Str name, i64* records) {
    name = str_trim(name, TRIM_BOTH);
    u16 file = name.n ? struct_number(name) : 0;
    if (file == 0) return E_NODATA;
    if (!data.calls.count) return missing("FN#FLEN");
    return data.calls.count(file, records);
}

u16 f_filefind(Call& c, Value& out) {
    Str key;
    u16 file, index, flags;
    if (u16 rc = arg_text_any(c, 0, str_empty(), &key)) return rc;
    if (u16 rc = arg_file(c, 1, &file)) return rc;
    if (u16 rc = arg_number(c, 2, 0, &index)) return rc;
    if (u16 rc = arg_number(c, 3, 0, &flags)) return rc;
    if (!data.calls.find) return missing("FILEFIND");
    return status_result(data.calls.find(file, key, index, flags), out);
}

u16 f_filerel(Call& c, Value& out) {
    u16 file, relation, index, flags;
    if (arg_is_str(c, 0)) return E_TYPEMISMATCH;
    if (u16 rc = arg_file(c, 0, &file)) return rc;
    if (u16 rc = arg_number(c, 1, 0, &relation)) return rc;
    if (u16 rc = arg_number(c, 2, 0, &index)) return rc;
    if (u16 rc = arg_number(c, 3, 0, &flags)) return rc;
    constexpr u16 REST_ITEM = 4;
    Str rest = str_empty();
    if (c.count > REST_ITEM) {
        const char* from = c.item[REST_ITEM].p;
        rest = Str{from, u16(c.raw.p + c.raw.n - from)};
    }
    if (!data.calls.relation) return missing("FILEREL");
    return status_result(data.calls.relation(file, relation, index, flags, rest), out);
}

u16 f_filelocate(Call& c, Value& out) {
    Str verb;
    u16 file;
    if (u16 rc = arg_text(c, 0, S("NXT"), &verb)) return rc;
    if (u16 rc = arg_file(c, 1, &file)) return rc;
    if (!data.calls.locate) return missing("FILELOCATE");
    return status_result(data.calls.locate(file, verb_code(verb)), out);
}

u16 f_key(Call& c, Value& out) {
    u16 file, index, image, length;
    if (u16 rc = arg_file(c, 0, &file)) return rc;
    if (u16 rc = arg_number(c, 1, 0, &index)) return rc;
    if (u16 rc = arg_number(c, 2, KEY_IMAGE_CURRENT, &image)) return rc;
    if (u16 rc = arg_number(c, 3, 0, &length)) return rc;
    if (!data.calls.key) return missing("KEY$");
    out = val_str(str_empty());
    if (file == 0) return 0;
    Str key = str_empty();
    if (u16 rc = data.calls.key(file, index, image, length, &key)) return rc;
    out = val_str(key);
    return 0;
}

u16 f_ier(Call& c, Value& out) {
    u16 file;
    if (u16 rc = arg_file(c, 0, &file)) return rc;
    if (!data.calls.status) return missing("IER");
    return status_result(data.calls.status(file), out);
}

}  // namespace fn

}  // namespace vx::expr
