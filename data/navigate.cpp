// Record navigation: the single-record reads, counts and multi-reads executed on the server,
// find by key, and moving (first, last, next, previous, reload, clear), including the sets
// of records that share one key value, which are read at once and stepped through without
// asking the server again.
#include <cstring>

#include "data/datafile_impl.h"
#include "data/sql.h"
#include "expr/fields.h"
#include "expr/value.h"
#include "runtime/arena.h"
#include "runtime/error.h"

namespace vx::data {

using namespace vx::rt;
using namespace df;

namespace {

constexpr const char* MULTI_READ_DETAIL = "sqlMultiRead: key=";
constexpr u16 MULTI_MIN_ROWS = 2;
constexpr const char* ESTIMATE_ROWS = " rows=";

bool in_multi(u16 n) { return state(n).ctrl[CW_MULTI_SLOT] >= 0; }

// Both images from row 0 of a single-record read, whose result is then released.
u16 take_single(u16 n, u16 slot) {
    u16 rc = load_row(n, slot, 0, IMAGE_BOTH);
    sql_clear(slot);
    return rc;
}

// Reads every record of the key value into a set and loads the one at row (held to the
// set; below 0: the last, as when reading backward).
u16 enter_multi(u16 n, u16 key, Str key_value, i32 row) {
    u16 slot;
    u32 rows;
    if (u16 rc = sql_multi_read(n, key, key_value, &slot, &rows)) return rc;
    FileState& f = state(n);
    f.ctrl[CW_MULTI_SLOT] = i16(slot);
    f.ctrl[CW_MULTI_ROW] = i16(row < 0 || u32(row) >= rows ? rows - 1 : u32(row));
    return load_row(n, slot, u32(f.ctrl[CW_MULTI_ROW]), IMAGE_BOTH);
}

// After a record was loaded: when its key value is shared, the set of its records.
u16 follow_duplicates(u16 n, u16 key, bool backward) {
    LoadedRowScope exact(n);
    TmpScope scope;
    key = key_number(n, key);
    Str kv = key_of(n, key, image(n, IMAGE_CURRENT));
    bool dup = false;
    if (u16 rc = key_duplicated(n, key, kv, &dup)) return rc;
    return dup ? enter_multi(n, key, kv, backward ? -1 : 0) : u16(0);
}

// One row up or down inside the set: true when it stayed inside (the row is loaded).
bool step_in_multi(u16 n, bool forward) {
    FileState& f = state(n);
    u16 slot = u16(f.ctrl[CW_MULTI_SLOT]);
    i32 row = f.ctrl[CW_MULTI_ROW] + (forward ? 1 : -1);
    if (row < 0 || u32(row) >= sql_row_count(slot)) return false;
    if (load_row(n, slot, u32(row), IMAGE_BOTH)) return false;
    f.ctrl[CW_MULTI_ROW] = i16(row);
    return true;
}

// Whether the key found is the key asked for, over the fields the asked value covers: a
// number as a number (a field stores it right-aligned, "1" asks for "    1"), any other field
// over the bytes given (the last one may be cut short).
bool key_matches(u16 n, u16 key, Str asked, Str found) {
    KeyFields kf;
    if (!found.ok() || asked.n > found.n || key_fields(n, key, &kf)) return false;
    u16 at = 0;
    for (u16 i = 0; i < kf.count && at < asked.n; i++) {
        expr::FieldDesc d;
        if (expr::struct_field(n, kf.field[i], &d)) return false;
        u16 w = u16(asked.n - at) < d.width ? u16(asked.n - at) : d.width;
        Str a{asked.p + at, w};
        Str f{found.p + at, u16(found.n - at) < d.width ? u16(found.n - at) : d.width};
        bool numeric = d.type && std::strchr(expr::NUMERIC_FIELD_TYPES, d.type);
        if (numeric
                ? expr::num_parse(str_trim(a, TRIM_BOTH)) != expr::num_parse(str_trim(f, TRIM_BOTH))
                : std::memcmp(a.p, f.p, w) != 0)
            return false;
        at = u16(at + w);
    }
    return at == asked.n;
}

u16 finish(u16 n, u16 status) {
    set_status(n, status);
    return status;
}

bool is_key(u16 n, u16 key) {
    expr::KeyDesc kd;
    return expr::struct_key(n, key, &kd) == 0;
}

u16 find_in(u16 n, u16 key, Str key_value, u16 flags) {
    if (!key_value.ok()) return str_error_code(key_value);
    key = key_number(n, key);
    if (!is_key(n, key)) return error_raise(M_DATAFILE, E_DATAOUTBOUND);
    state(n).ctrl[CW_KEY] = i16(key);
    leave_multi(n);
    u16 slot = 0;
    u16 rc = sql_find_first(n, key, key_value, flags & FIND_AT_OR_AFTER, &slot);
    if (rc >= FIRST_ERROR) return finish(n, rc);
    if (rc == SQL_NO_ROWS) {
        if (flags & FIND_PREPARE_NEW) {
            if (u16 c = clear_images(n, IMAGE_BOTH)) return finish(n, c);
            if (u16 c = put_key(n, key, key_value)) return finish(n, c);
        }
        return finish(n, STATUS_NONE);
    }
    if (u16 c = take_single(n, slot)) return finish(n, c);
    TmpScope scope;
    bool same = key_matches(n, key, key_value, key_of(n, key, image(n, IMAGE_CURRENT)));
    if (u16 c = follow_duplicates(n, key, false)) return finish(n, c);
    return finish(n, same ? STATUS_EXACT : STATUS_NEIGHBOUR);
}

}  // namespace

namespace df {

void leave_multi(u16 n) {
    FileState& f = state(n);
    if (f.ctrl[CW_MULTI_SLOT] >= 0) sql_clear(u16(f.ctrl[CW_MULTI_SLOT]));
    f.ctrl[CW_MULTI_SLOT] = CTRL_NONE;
    f.ctrl[CW_MULTI_ROW] = CTRL_NONE;
}

u16 key_duplicated(u16 n, u16 key, Str key_value, bool* duplicated) {
    i64 records = 0;
    u16 rc = sql_count(n, key_number(n, key), key_value, key_value, str_empty(), &records);
    *duplicated = rc == 0 && records > 1;
    return rc;
}

u16 reread_multi(u16 n) {
    FileState& f = state(n);
    if (f.ctrl[CW_MULTI_SLOT] < 0) return 0;
    i16 row = f.ctrl[CW_MULTI_ROW];
    leave_multi(n);
    LoadedRowScope exact(n);
    TmpScope scope;
    u16 key = key_number(n, 0);
    Str kv = key_of(n, key, image(n, IMAGE_CURRENT));
    bool dup = false;
    if (u16 rc = key_duplicated(n, key, kv, &dup)) return rc;
    return dup ? enter_multi(n, key, kv, row) : u16(0);
}

u16 read_first_in_range(u16 n, Str start_key, Str condition, Str end_key) {
    leave_multi(n);
    TmpScope scope;
    u16 key = key_number(n, 0);
    u16 slot = 0;
    Str stmt = sqlgen_scan_chunk(n, key, start_key, end_key, 1, condition);
    u16 rc = exec(stmt, SLOT_AUTO, nullptr, &slot);
    if (rc >= FIRST_ERROR) return finish(n, rc);
    if (rc) {
        if (u16 c = clear_images(n, IMAGE_BOTH)) return finish(n, c);
        return finish(n, STATUS_NONE);
    }
    if (u16 c = take_single(n, slot)) return finish(n, c);
    if (u16 c = follow_duplicates(n, key, false)) return finish(n, c);
    return finish(n, STATUS_EXACT);
}

u16 move_with(u16 n, u8 mode, Str extra, Str end_key) {
    FileState& f = state(n);
    if (mode == MOVE_NOTHING || mode == MOVE_LIST_SEARCH) return u16(f.ctrl[CW_STATUS]);
    if (mode & MOVE_CLEAR) {
        leave_multi(n);
        if (u16 rc = clear_images(n, IMAGE_BOTH)) return finish(n, rc);
        return finish(n, STATUS_CLEARED);
    }
    if (mode == MOVE_RELOAD || (mode & MOVE_FIND)) {
        TmpScope scope;
        return find_in(n, 0, key_of(n, 0, image(n, IMAGE_CURRENT)), mode & FIND_AT_OR_AFTER);
    }
    u8 read = mode & MOVE_READ_BITS;
    if (read == READ_PREVIOUS && f.ctrl[CW_STATUS] == STATUS_NONE) read = READ_LAST;
    bool forward = read == READ_NEXT || read == READ_FIRST;
    if (in_multi(n)) {
        bool step = read == READ_NEXT || read == READ_PREVIOUS;
        if (step && step_in_multi(n, forward)) return finish(n, STATUS_EXACT);
        leave_multi(n);
    }
    TmpScope scope;
    Str kv = key_of(n, 0, image(n, IMAGE_CURRENT));
    u16 slot = 0;
    u16 rc = sql_read_one(n, kv, read, extra, end_key, &slot);
    if (rc >= FIRST_ERROR) return finish(n, rc);
    if (rc) {
        if (u16 c = clear_images(n, IMAGE_BOTH)) return finish(n, c);
        return finish(n, rc);
    }
    if (u16 c = take_single(n, slot)) return finish(n, c);
    if (u16 c = follow_duplicates(n, 0, !forward)) return finish(n, c);
    return finish(n, STATUS_EXACT);
}

}  // namespace df

// ---- Statements executed ----

namespace df {

// A comparison of the key's first field alone that every row of a range condition meets.
// The server can take it as an index bound, which it cannot from the condition's chain of
// ORs: without it each read of a range walks the index from its start.
Str leading_bound(u16 n, u16 key, Str key_value, u16 op) {
    if (!key_value.ok() || key_value.n == 0) return key_value;
    KeyFields kf;
    expr::FieldDesc d;
    if (key_fields(n, key, &kf) || kf.count == 0 || expr::struct_field(n, kf.field[0], &d))
        return str_empty();
    Str first{key_value.p, key_value.n < d.width ? key_value.n : d.width};
    return sql_key_condition(n, key, first, op);
}

}  // namespace df

u16 sql_read_one(u16 file, Str key_value, u8 mode, Str extra, Str end_key, u16* slot) {
    u16 n;
    if (u16 rc = use(file, &n)) return rc;
    TmpScope scope;
    u16 key = key_number(n, 0);
    if (mode == READ_NEXT || mode == READ_PREVIOUS)
        extra = sql_and(leading_bound(n, key, key_value, mode == READ_NEXT ? SQL_GE : SQL_LE), extra);
    Str stmt = sqlgen_read_one(n, key, key_value, mode, extra, end_key);
    u16 rc = exec(stmt, SLOT_AUTO, nullptr, slot);
    return rc == SQL_NO_ROWS && mode == READ_PREVIOUS ? u16(STATUS_NEIGHBOUR) : rc;
}

u16 sql_find_first(u16 file, u16 key, Str key_value, u16 flags, u16* slot) {
    u16 n;
    if (u16 rc = use(file, &n)) return rc;
    TmpScope scope;
    return exec(sqlgen_find_first(n, key_number(n, key), key_value, flags), SLOT_AUTO, nullptr, slot);
}

namespace {

using CountBuilder = Str (*)(u16 s, u16 key, Str start_key, Str end_key, Str extra);
using CountReader = i64 (*)(Str value);

// The number in the first value of a statement's result, read by read (0 without a row).
u16 number_of(u16 file, CountBuilder build, CountReader read, u16 key, Str start_key, Str end_key,
              Str extra, i64* records) {
    *records = 0;
    u16 n = datafile_number(file);
    if (n == 0) return error_raise(M_DATAFILE, E_BADFILENUMBER);
    SlotScope keep_slot;
    TmpScope scope;
    u16 slot = 0;
    u16 rc = exec(build(n, key, start_key, end_key, extra), SLOT_FREE, nullptr, &slot);
    if (rc == SQL_NO_ROWS) return 0;
    if (rc) return rc;
    *records = read(sql_value(0, 0, slot));
    sql_clear(slot);
    return 0;
}

// The rows of a plan's first line: "<node>  (cost=a..b rows=N width=w)".
i64 plan_rows(Str line) {
    u16 at = str_find_sub(line, str_from_cstr(ESTIMATE_ROWS), PLAIN);
    if (at == NOT_FOUND) return 0;
    Str rest = str_substr(line, at + u16(std::strlen(ESTIMATE_ROWS)), NOT_FOUND);
    u16 digits = 0;
    while (digits < rest.n && rest.p[digits] >= '0' && rest.p[digits] <= '9') digits++;
    return text_to_int64(Str{rest.p, digits});
}

}  // namespace

u16 sql_count(u16 file, u16 key, Str start_key, Str end_key, Str extra, i64* records) {
    return number_of(file, sqlgen_count, text_to_int64, key, start_key, end_key, extra, records);
}

u16 sql_count_estimate(u16 file, u16 key, Str start_key, Str end_key, Str extra, i64* records) {
    return number_of(file, sqlgen_count_estimate, plan_rows, key, start_key, end_key, extra, records);
}

u16 sql_multi_read(u16 file, u16 key, Str key_value, u16* slot, u32* rows) {
    *rows = 0;
    u16 n;
    if (u16 rc = use(file, &n)) return rc;
    SlotScope keep_slot;
    TmpScope scope;
    u16 rc = exec(sqlgen_multi_read(n, key_number(n, key), key_value), SLOT_FREE, rows, slot);
    if (rc >= FIRST_ERROR) return rc;
    if (rc == 0 && *rows >= MULTI_MIN_ROWS) return 0;
    if (rc == 0) sql_clear(*slot);
    error_raise(M_DATAFILE, E_INTERNAL);
    return fail_with_detail(E_INTERNAL, str_concat(str_from_cstr(MULTI_READ_DETAIL), key_value), false);
}

// ---- Navigation ----

u16 datafile_find(u16 file, u16 key, Str key_value, u16 flags) {
    u16 n;
    if (u16 rc = use(file, &n)) return rc;
    SlotScope keep_slot;
    return find_in(n, key, key_value, flags);
}

u16 datafile_move(u16 file, u8 mode) {
    u16 n;
    if (u16 rc = use(file, &n)) return rc;
    SlotScope keep_slot;
    LoadedRowScope exact(n);  // moves start from the record loaded
    return move_with(n, mode, str_empty(), Str{"\xFF", 1});
}

}  // namespace vx::data
