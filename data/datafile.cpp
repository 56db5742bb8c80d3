// Data files: the table of control records, opening and closing (also by open sets), the
// record buffer in list 6 of the string store, field and key access, and loading a result
// row into the record images.
#include <cstring>

#include "data/datafile_impl.h"
#include "data/sql.h"
#include "data/sqltext.h"
#include "expr/fieldref.h"
#include "expr/fields.h"
#include "expr/funcs_hooks.h"
#include "platform/cp1252.h"
#include "runtime/arena.h"
#include "runtime/error.h"
#include "runtime/files.h"
#include "runtime/store.h"

namespace vx::data {

using namespace vx::rt;
using expr::FieldDesc;
using expr::KeyDesc;
using expr::RECORD_LIST;
using expr::StructDesc;

namespace df {

DataFiles files;

namespace {

constexpr u16 KEY_INITIAL = 1;
constexpr char OVERFLOW_MARK = '*';
constexpr char DATE_SEPARATOR = '-';
constexpr u16 DATE_SHORT_WIDTH = 6;  // a date field of 6 narrows its value
constexpr u16 DETAIL_MAX = 160;
constexpr const char* SQLSTATE_SYNTAX = "42601";

// The control record of a freshly opened file.
void reset_ctrl(FileState& f, u8 flags) {
    for (i16& w : f.ctrl) w = 0;
    f.ctrl[CW_KEY] = KEY_INITIAL;
    f.ctrl[CW_STATUS] = STATUS_NONE;
    f.ctrl[CW_TEXT_FILE] = CTRL_NONE;
    f.ctrl[CW_MULTI_SLOT] = CTRL_NONE;
    f.ctrl[CW_MULTI_ROW] = CTRL_NONE;
    f.ctrl[CW_DICT_LINE] = CTRL_NONE;
    f.ctrl[CW_FLAGS] = flags;
}

u8 kind_of(char type) {
    if (type == 'D' || type == 'F') return KIND_DATE;
    if (std::strchr("ABCP", type)) return KIND_TEXT;
    return KIND_OTHER;
}

u16 read_layout(u16 n, FileState& f) {
    StructDesc sd;
    if (u16 rc = expr::struct_info(n, &sd)) return rc;
    if (u32(sd.record_length) * expr::RECORD_IMAGES > MAX_STR) return E_STRINGTOOLONG;
    f.record_length = sd.record_length;
    f.fields.clear();
    for (u16 k = 1; k <= sd.fields; k++) {
        FieldDesc d;
        if (u16 rc = expr::struct_field(n, k, &d)) return rc;
        f.fields.push_back(FieldLayout{d.type, kind_of(d.type), d.width, d.offset});
    }
    return 0;
}

// A value that does not fit: the field is filled with a mark that no statement accepts as
// a number, so the record is never written back with a wrong value.
void overflow(u16 n, u16 field, Str value, char* dst, const FieldLayout& fl) {
    std::memset(dst + fl.offset, OVERFLOW_MARK, fl.width);
    error_raise(M_BUFFERFLD, E_DATAOUTBOUND);
    TmpScope scope;
    FieldDesc d;
    if (expr::struct_field(n, field, &d)) return;
    Str detail = str_format(DETAIL_MAX, "%.*s: %.*s", int(d.name.n), d.name.p, int(value.n), value.p);
    if (detail.ok()) fail_with_detail(E_DATAOUTBOUND, detail, false);
}

// A blank as str_trim sees it.
bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

// The usual values without a detour through the arena, exactly as field_fit places them: a
// number that fits is right-aligned (blanks around it dropped), a date loses its dashes and
// is padded (every width but the short one of 6, which has rules of its own). False for
// anything else, which takes the general way.
bool put_fast(const FieldLayout& fl, Str value, char* at) {
    if (fl.kind == KIND_DATE) {
        if (fl.width == DATE_SHORT_WIDTH) return false;
        u16 k = 0;
        for (u16 i = 0; i < value.n && k < fl.width; i++)
            if (value.p[i] != DATE_SEPARATOR) at[k++] = value.p[i];
        std::memset(at + k, ' ', fl.width - k);
        return true;
    }
    if (expr::field_type_is_text(fl.type)) return false;
    Str t = value;
    while (t.n && is_blank(t.p[0])) t = Str{t.p + 1, u16(t.n - 1)};
    while (t.n && is_blank(t.p[t.n - 1])) t.n--;
    if (t.n > fl.width) return false;
    std::memset(at, ' ', fl.width - t.n);
    std::memcpy(at + (fl.width - t.n), t.p, t.n);
    return true;
}

// The field's bytes from a column text: text padded, a date without its '-', other types
// fitted by their rules. Nothing is cut: a key cut short could name another record. False
// when the value did not fit (the field is marked).
bool put_value(u16 n, u16 field, const FieldLayout& fl, Str value, char* dst) {
    char* at = dst + fl.offset;
    if (fl.kind == KIND_TEXT) {
        if (value.n > fl.width) value = str_trim(value, TRIM_RIGHT);
        if (value.n > fl.width) return overflow(n, field, value, dst, fl), false;
        u16 k = value.n;
        std::memcpy(at, value.p, k);
        std::memset(at + k, ' ', fl.width - k);
        return true;
    }
    if (put_fast(fl, value, at)) return true;
    TmpScope scope;
    if (fl.kind == KIND_DATE && std::memchr(value.p, DATE_SEPARATOR, value.n)) {
        value = str_replace(value, S("-"), str_empty(), PLAIN);
        if (!value.ok()) return overflow(n, field, S(""), dst, fl), false;
    }
    Str fitted = expr::field_fit(fl.type, value, fl.width);
    if (!fitted.ok() || fitted.n != fl.width) return overflow(n, field, value, dst, fl), false;
    std::memcpy(at, fitted.p, fl.width);
    return true;
}

// Whether a converted value lost characters on the way: only a value holding the mark of
// a missing character can have, and then it no longer converts back to the server's text.
bool lost_characters(Str converted, Str server) {
    if (!std::memchr(converted.p, platform::CP1252_MISSING, converted.n)) return false;
    std::string back = platform::cp1252_to_utf8(std::string_view(converted.p, converted.n));
    return back.size() != server.n || std::memcmp(back.data(), server.p, server.n) != 0;
}

// Notes a field that shows its server value approximately, with the literal of that value.
void note_exact(ExactRow* exact, u16 field, const char* bytes, u16 width, Str server) {
    Str shown = str_trim(Str{bytes, width}, TRIM_RIGHT);
    u16 n = server.n;
    while (n && server.p[n - 1] == ' ') n--;  // as a text literal is written
    TmpScope scope;
    Str literal = sql_escape_server(server.p, n);
    if (!literal.ok()) return;  // too long to write: the field keeps its bytes
    exact->fields.push_back(
        ExactField{field, std::string(shown.p, shown.n), std::string(literal.p, literal.n)});
}

// Keeps the row just loaded among the recent ones (newest first, one entry per image).
void remember_exact(FileState& f) {
    auto& recent = f.recent;
    for (auto it = recent.begin(); it != recent.end(); ++it)
        if (it->first == f.exact_image) {
            recent.erase(it);
            break;
        }
    if (recent.size() >= EXACT_RECENT_MAX) recent.pop_back();
    recent.insert(recent.begin(), {f.exact_image, f.exact});
}

}  // namespace

u16 use(u16 file, u16* n) {
    *n = datafile_number(file);
    if (*n == 0 || !state(*n).open) return error_raise(M_DATAFILE, E_BADFILENUMBER);
    return 0;
}

void set_status(u16 n, u16 status) { state(n).ctrl[CW_STATUS] = i16(status); }

u16 exec(Str statement, u16 slot_rule, u32* rows, u16* slot) {
    if (!statement.ok()) return str_error_code(statement);
    files.statements++;
    u16 rc = sql_exec_into(statement, slot_rule, rows);
    if (slot) *slot = u16(sysint_get(SV_SQLSTK));
    return rc;
}

u16 send(Str statement, SqlPending* pending) {
    *pending = SqlPending{};
    if (!statement.ok()) return str_error_code(statement);
    files.statements++;
    return sql_send(statement, pending);
}

char* buffer(u16 n, u16* rc) {
    *rc = 0;
    u32 size = u32(state(n).record_length) * expr::RECORD_IMAGES;
    Str rec = store_get(RECORD_LIST, u16(n - 1));
    if (rec.ok() && rec.n == size) return str_mut(rec);
    TmpScope scope;
    Str blank = tmp_alloc(size, ' ');
    if (!blank.ok()) {
        *rc = str_error_code(blank);
        return nullptr;
    }
    if ((*rc = store_set(RECORD_LIST, u16(n - 1), blank))) return nullptr;
    return str_mut(store_get(RECORD_LIST, u16(n - 1)));
}

Str image(u16 n, u8 which) {
    u16 len = state(n).record_length;
    Str rec = store_get(RECORD_LIST, u16(n - 1));
    if (rec.ok() && rec.n == u32(len) * expr::RECORD_IMAGES)
        return Str{rec.p + (which == IMAGE_SAVED ? len : 0), len};
    return tmp_alloc(len, ' ');
}

u16 clear_images(u16 n, u8 which) {
    u16 rc;
    char* p = buffer(n, &rc);
    if (!p) return rc;
    u16 len = state(n).record_length;
    if (which & IMAGE_CURRENT) std::memset(p, ' ', len);
    if (which & IMAGE_SAVED) std::memset(p + len, ' ', len);
    if (which & IMAGE_SAVED) {
        state(n).exact.clear();
        state(n).exact_image.clear();
    }
    return 0;
}

// The record written becomes the one loaded: a field that still shows its server value
// approximately keeps it (a write leaves such a field alone), the others now hold the
// value written.
void copy_current_to_saved(u16 n) {
    u16 rc;
    char* p = buffer(n, &rc);
    if (!p) return;
    FileState& f = state(n);
    ExactRow kept = loaded_exact(n);
    std::memcpy(p + f.record_length, p, f.record_length);
    std::erase_if(kept.fields, [&](const ExactField& e) {
        const FieldLayout& fl = f.fields[e.field - 1];
        Str now = str_trim(Str{p + fl.offset, fl.width}, TRIM_RIGHT);
        return now.n != e.shown.size() || std::memcmp(now.p, e.shown.data(), now.n) != 0;
    });
    f.exact = kept;
    f.exact.s = n;
    f.exact_image.assign(p + f.record_length, f.record_length);
    if (!f.exact.fields.empty()) remember_exact(f);
}

void load_image(const FileState& f, u16 slot, u32 row, char* dst, ExactRow* exact) {
    u16 n = u16(&f - files.file + 1);
    if (exact) {
        exact->clear();
        exact->s = n;
    }
    SqlRow cells;
    sql_row(row, slot, &cells);
    for (u16 k = 0; k < f.fields.size(); k++) {
        TmpScope scope;
        Str server = sql_row_server(cells, k);
        Str v = sql_from_server(server);
        if (!v.ok()) v = str_empty();
        bool fits = put_value(n, u16(k + 1), f.fields[k], v, dst);
        // A value of plain ASCII is the server's text itself: it lost nothing.
        if (!exact || (fits && (!v.n || v.p == server.p))) continue;
        if (server.ok() && (!fits || lost_characters(v, server)))
            note_exact(exact, u16(k + 1), dst + f.fields[k].offset, f.fields[k].width, server);
    }
}

u16 load_row(u16 n, u16 slot, u32 row, u8 images, LoadKind kind) {
    u16 rc;
    char* p = buffer(n, &rc);
    if (!p) return rc;
    FileState& f = state(n);
    char* first = images & IMAGE_CURRENT ? p : p + f.record_length;
    load_image(f, slot, row, first, &f.exact);
    if (images == IMAGE_BOTH) std::memcpy(p + f.record_length, p, f.record_length);
    if (f.exact.fields.empty()) {
        f.exact_image.clear();
        return 0;
    }
    f.exact_image.assign(first, f.record_length);
    if (kind == LOAD_NAVIGATION) remember_exact(f);
    return 0;
}

const ExactRow& loaded_exact(u16 n) {
    static const ExactRow none;
    FileState& f = state(n);
    Str saved = image(n, IMAGE_SAVED);
    auto is_saved = [&](const std::string& img) {
        return img.size() == saved.n && std::memcmp(img.data(), saved.p, saved.n) == 0;
    };
    if (!f.exact.fields.empty() && is_saved(f.exact_image)) return f.exact;
    for (const auto& [img, row] : f.recent)
        if (is_saved(img)) return row;
    return none;
}

u16 key_number(u16 n, u16 key) { return key ? key : u16(state(n).ctrl[CW_KEY]); }

Str key_of(u16 n, u16 key, Str img) {
    KeyDesc kd;
    if (u16 rc = expr::struct_key(n, key_number(n, key), &kd)) return str_error(rc);
    StrBuilder b;
    for (u16 i = 0; i < kd.parts; i++) {
        const expr::KeyPart& part = kd.part[i];
        u16 have = part.offset < img.n ? u16(img.n - part.offset) : 0;
        u16 k = have < part.length ? have : part.length;
        if (k) b.put(img.p + part.offset, k);
        if (k < part.length) b.fill(' ', u32(part.length - k));
    }
    return b.finish();
}

bool key_blank(Str key_value) {
    return key_value.ok() && str_trim(key_value, TRIM_BOTH).n == 0;
}

u16 put_key(u16 n, u16 key, Str value) {
    if (!value.ok()) return str_error_code(value);
    KeyDesc kd;
    if (u16 rc = expr::struct_key(n, key_number(n, key), &kd)) return rc;
    u16 rc;
    char* p = buffer(n, &rc);
    if (!p) return rc;
    u16 at = 0;
    for (u16 i = 0; i < kd.parts; i++) {
        const expr::KeyPart& part = kd.part[i];
        if (u32(part.offset) + part.length > state(n).record_length) return E_DATAOUTBOUND;
        u16 k = value.n > at ? u16(value.n - at) : 0;
        if (k > part.length) k = part.length;
        if (k) std::memcpy(p + part.offset, value.p + at, k);
        std::memset(p + part.offset + k, ' ', part.length - k);
        at = u16(at + part.length);
    }
    return 0;
}

}  // namespace df

using namespace df;

// ---- Files ----

namespace {
void close_file(u16 n);
}

u16 datafile_number(u16 file) {
    u16 count = expr::struct_count();
    if (file >= 1 && file <= count) return file;
    i16 cur = sysint_get(SV_CURFIL);
    return cur >= 1 && cur <= i16(count) ? u16(cur) : 0;
}

bool datafile_is_open(u16 file) {
    u16 n = datafile_number(file);
    return n && state(n).open;
}

i16 datafile_ctrl(u16 file, u16 word) {
    u16 n = datafile_number(file);
    return n && state(n).open && word < CTRL_WORDS ? state(n).ctrl[word] : 0;
}

void datafile_ctrl_put_back(u16 file, const i16* words) {
    u16 n = datafile_number(file);
    if (!n || !state(n).open) return;
    i16* ctrl = state(n).ctrl;
    ctrl[CW_KEY] = words[CW_KEY];
    ctrl[CW_STATUS] = words[CW_STATUS];
    for (u16 w = CW_SCAN_OUTCOME; w < CW_SCAN_SLOT; w++) ctrl[w] = words[w];
}

namespace {

// A server that does not know "NULLS FIRST" refuses the first read with a syntax error; any
// other failure says nothing about it.
bool rejects_nulls_placement() {
    return !sysint_bit(SV_SYSCOMPAT, SYSCOMPAT_NO_NULLS) &&
           str_equal(sql_last_state(), str_from_cstr(SQLSTATE_SYNTAX));
}

// Reads the first record once more with order lists that leave the placement out. The
// setting holds for the whole session only when that read gets through; otherwise it was
// not the placement that failed, and it is put back.
u16 read_first_without_nulls_placement(u16 n) {
    error_detail_clear();
    error_clear();
    sysint_or(SV_SYSCOMPAT, SYSCOMPAT_NO_NULLS);
    u16 rc = datafile_move(n, READ_FIRST);
    if (rc >= FIRST_ERROR)
        sysint_set(SV_SYSCOMPAT, i16(u16(sysint_get(SV_SYSCOMPAT)) & ~SYSCOMPAT_NO_NULLS));
    return rc;
}

}  // namespace

u16 datafile_open(u16 file, u8 flags) {
    u16 n = datafile_number(file);
    if (n == 0) return error_raise(M_DATAFILE, E_BADFILENUMBER);
    if (state(n).open) close_file(n);
    FileState& f = state(n);
    if (u16 rc = read_layout(n, f)) return error_raise(M_DATAFILE, rc);
    reset_ctrl(f, flags);
    f.open = true;
    if (u16 rc = clear_images(n, IMAGE_BOTH)) {
        f.open = false;
        return rc;
    }
    if (!(flags & OPEN_TEST_READ)) return 0;
    u16 rc = datafile_move(n, READ_FIRST);
    if (rc == E_SQLERROR && rejects_nulls_placement()) rc = read_first_without_nulls_placement(n);
    leave_multi(n);
    return rc >= FIRST_ERROR ? rc : 0;
}

namespace {

void close_file(u16 n) {
    FileState& f = state(n);
    leave_multi(n);
    release_scan(n);
    if (f.ctrl[CW_TEXT_FILE] >= 0) file_close(u16(f.ctrl[CW_TEXT_FILE]));
    forget_updates(n);
    reset_ctrl(f, 0);
    f.open = false;
}

}  // namespace

u16 datafile_close(u16 file) {
    u16 n;
    if (u16 rc = use(file, &n)) return rc;
    close_file(n);
    return 0;
}

u16 datafile_clear(u16 file) {
    u16 n;
    if (u16 rc = use(file, &n)) return rc;
    if (u16 rc = clear_images(n, IMAGE_BOTH)) return rc;
    set_status(n, STATUS_CLEARED);
    return STATUS_CLEARED;
}

u16 datafile_open_set(Str flags) {
    if (!flags.ok()) return str_error_code(flags);
    for (u16 i = flags.n; i > 0; i--) {
        u16 n = i;
        if (n > expr::struct_count()) continue;
        u8 b = flags.at(u16(i - 1));
        u16 rc = b ? datafile_open(n, b) : (state(n).open ? datafile_close(n) : u16(0));
        if (rc >= FIRST_ERROR) return rc;
    }
    return 0;
}

u16 datafile_select(Str text) { return expr::open_set_select(text); }

// ---- Fields and keys ----

Str datafile_key(u16 file, u16 key, u8 which) {
    u16 n;
    if (u16 rc = use(file, &n)) return str_error(rc);
    TmpScope scope;
    return scope.keep(key_of(n, key, image(n, which)));
}

u16 datafile_set_key(u16 file, u16 key, Str value) {
    u16 n;
    if (u16 rc = use(file, &n)) return rc;
    return put_key(n, key, value);
}

Str datafile_field(u16 file, u16 field, u8 which) {
    u16 n;
    if (u16 rc = use(file, &n)) return str_error(rc);
    const FileState& f = state(n);
    if (field == 0 || field > f.fields.size()) return str_error(E_DATAOUTBOUND);
    const FieldLayout& fl = f.fields[field - 1];
    TmpScope scope;
    return scope.keep(str_copy(str_substr(image(n, which), fl.offset, fl.width)));
}

u16 datafile_set_field(u16 file, u16 field, Str text) {
    u16 n;
    u16 rc = use(file, &n);
    if (!rc && (field == 0 || field > state(n).fields.size())) rc = E_DATAOUTBOUND;
    TmpScope scope;
    Str fitted = str_error(rc);
    if (!rc) {
        const FieldLayout& fl = state(n).fields[field - 1];
        fitted = expr::field_fit(fl.type, text, fl.width);
        if (fitted.ok() && fitted.n != fl.width) fitted = str_error(E_DATAOUTBOUND);
    }
    if (!fitted.ok()) {
        error_raise(M_BUFFERFLD, E_BADFILENUMBER);
        return str_error_code(fitted);
    }
    char* p = buffer(n, &rc);
    if (!p) return rc;
    std::memcpy(p + state(n).fields[field - 1].offset, fitted.p, fitted.n);
    return 0;
}

u16 datafile_load_row(u16 file, u16 slot, u32 row, u8 images) {
    u16 n;
    if (u16 rc = use(file, &n)) return rc;
    return load_row(n, slot, row, images);
}

u32 datafile_statements() { return files.statements; }

void datafile_free() {
    for (u16 n = 1; n <= expr::STRUCT_MAX; n++)
        if (state(n).open) close_file(n);
    for (FileState& f : files.file) f = FileState{};
    cursors_reset();
}

}  // namespace vx::data
