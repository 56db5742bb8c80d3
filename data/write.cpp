// Writing records: insert with the key check, save of the changed fields, delete, the
// update expressions of the application's update file that run around a write, the cursors
// that save or delete one record among several sharing a key value, and the commit point.
//
// The update file ("<prefix>RELUPSQL.DAT" with a connection, "<prefix>RELUP.DAT" without)
// holds a section per data file, headed by a line "[name]"; each line of a section begins
// with a two-digit line number and its text (left blanks removed) is added to that line,
// joined with ';'. A write runs line 0 and the lines its selection names.
#include <cstring>

#include "data/datafile_impl.h"
#include "data/sql.h"
#include "expr/dict.h"
#include "expr/eval.h"
#include "runtime/arena.h"
#include "runtime/env.h"
#include "runtime/error.h"
#include "runtime/files.h"
#include "runtime/paths.h"

namespace vx::data {

using namespace vx::rt;
using namespace df;

namespace {

constexpr u16 UPDATE_LINES = 100;          // two-digit line numbers
constexpr u16 LINE_NUMBER_DIGITS = 2;
constexpr char SECTION_OPEN = '[';
constexpr char SECTION_CLOSE = ']';
constexpr char LINE_JOIN = ';';
constexpr const char* DEFAULT_SELECTION = "1";
constexpr const char* LINE_SELECTION = "1+(N_LINE{%u}>0)";
constexpr const char* LINE_FIELD = "N_LINE";
constexpr u16 SELECTION_MAX = 48;
constexpr i16 SGN_BEFORE = -1, SGN_AFTER = 1;

// ---- Update expressions ----

bool connected() { return sysint_bit(SV_AUXSTAT, AUXSTAT_CONNECTED); }

// The section name of a heading line "[name]", or an error descriptor for other lines.
Str section_of(Str line) {
    Str t = str_trim(line, TRIM_BOTH);
    if (t.n < 2 || t.p[0] != SECTION_OPEN || t.p[t.n - 1] != SECTION_CLOSE) return str_error(E_DATA);
    return str_trim(Str{t.p + 1, u16(t.n - 2)}, TRIM_BOTH);
}

void add_line(FileState& f, Str line) {
    if (line.n < LINE_NUMBER_DIGITS || !(line.p[0] >= '0' && line.p[0] <= '9') ||
        !(line.p[1] >= '0' && line.p[1] <= '9'))
        return;
    u16 number = u16((line.p[0] - '0') * 10 + (line.p[1] - '0'));
    Str text = str_trim(Str{line.p + LINE_NUMBER_DIGITS, u16(line.n - LINE_NUMBER_DIGITS)}, TRIM_BOTH);
    if (!text.n) return;
    std::string& to = f.lines[number];
    if (!to.empty()) to.push_back(LINE_JOIN);
    to.append(text.p, text.n);
}

// Reads this data file's section of the update file once (a missing file: no expressions).
u16 load_updates(u16 n) {
    FileState& f = state(n);
    if (f.ctrl[CW_DICT_LINE] >= 0) return 0;
    f.lines.assign(UPDATE_LINES, std::string());
    f.ctrl[CW_DICT_LINE] = 0;
    TmpScope scope;
    Str name = str_concat(app_prefix(), str_from_cstr(connected() ? UPDATE_FILE_SQL : UPDATE_FILE_LOCAL));
    Str path = path_find(env_get(ENV_DATA), name);
    if (!path.ok() || path.n == 0) return 0;
    u16 h = file_open(path, FM_READ | FM_QUIET);
    if (!file_handle_ok(h)) return 0;
    expr::StructDesc sd;
    expr::struct_info(n, &sd);
    bool mine = false;
    for (;;) {
        TmpScope line_scope;
        Str line = file_read_line(h);
        if (!line.ok()) break;
        Str section = section_of(line);
        if (section.ok())
            mine = str_equal_nocase(section, sd.name);
        else if (mine)
            add_line(f, line);
    }
    file_close(h);
    return 0;
}

// The line numbers of a selection value: a number, or a text of numbers and commas.
void select_value(const expr::Value& v, bool* chosen) {
    if (!v.is_str) {
        i64 k = expr::num_round_whole(v.num);
        if (k >= 0 && k < UPDATE_LINES) chosen[k] = true;
        return;
    }
    u16 items = list_count(v.str, ',');
    for (u16 i = 1; i <= items; i++) {
        Str item = str_trim(list_item(v.str, ',', i), TRIM_BOTH);
        i64 k = item.n ? text_to_int64(item) : -1;
        if (k >= 0 && k < UPDATE_LINES) chosen[k] = true;
    }
}

u16 select_lines(u16 n, Str selection, bool* chosen) {
    TmpScope scope;
    if (selection.n == 0)
        selection = expr::struct_field_find(n, str_from_cstr(LINE_FIELD))
                        ? str_format(SELECTION_MAX, LINE_SELECTION, unsigned(n))
                        : str_from_cstr(DEFAULT_SELECTION);
    StrArray items = list_split(selection, ',');
    if (items.error) return items.error;
    for (u16 i = 0; i < items.count; i++) {
        if (str_trim(items.items[i], TRIM_BOTH).n == 0) continue;
        expr::Value v;
        u16 rc = expr::expr_eval(items.items[i], v);
        if (rc >= FIRST_ERROR) return rc;
        select_value(v, chosen);
    }
    return 0;
}

// Line 0 and the chosen lines joined with ';' (arena).
Str update_text(const FileState& f, const bool* chosen) {
    StrBuilder b;
    bool any = false;
    for (u16 k = 0; k < UPDATE_LINES; k++) {
        if ((k && !chosen[k]) || f.lines[k].empty()) continue;
        if (any) b.put(S(";"));
        b.put(f.lines[k].data(), u32(f.lines[k].size()));
        any = true;
    }
    return b.finish();
}

// Runs the update expressions with _SGN = sgn on an image: the saved image is put in the
// current image's place while they run, and the current image is put back afterwards.
u16 run_updates(u16 n, i16 sgn, u8 which, Str selection) {
    if (str_equal_nocase(str_trim(selection, TRIM_BOTH), str_from_cstr(SELECTION_NONE))) return 0;
    if (u16 rc = load_updates(n)) return rc;
    FileState& f = state(n);
    bool chosen[UPDATE_LINES] = {};
    if (u16 rc = select_lines(n, selection, chosen)) return rc;
    TmpScope scope;
    Str text = update_text(f, chosen);
    if (!text.ok()) return str_error_code(text);
    if (text.n == 0) return 0;
    Str current = str_copy(image(n, IMAGE_CURRENT));
    if (!current.ok()) return str_error_code(current);
    u16 rc = 0;
    char* p = buffer(n, &rc);
    if (!p) return rc;
    if (which == IMAGE_SAVED) std::memcpy(p, p + f.record_length, f.record_length);
    u16 upstat = u16(sysint_get(SV_UPSTAT));
    sysint_set(SV_UPSTAT, i16(connected() ? upstat | UPSTAT_CONNECTED : upstat & ~UPSTAT_CONNECTED));
    sysint_set(SV_SGN, sgn);
    expr::Value v;
    rc = expr::expr_eval(text, v);
    sysint_set(SV_SGN, 0);
    if (which == IMAGE_SAVED && (p = buffer(n, &rc)))
        std::memcpy(p, current.p, f.record_length);
    return rc >= FIRST_ERROR ? rc : 0;
}

// Whether a write with this selection runs any update expression of the data file.
bool has_updates(u16 n, Str selection) {
    if (str_equal_nocase(str_trim(selection, TRIM_BOTH), str_from_cstr(SELECTION_NONE))) return false;
    if (load_updates(n)) return false;
    for (const std::string& line : state(n).lines)
        if (!line.empty()) return true;
    return false;
}

// ---- A write's own transaction ----

// A write of several statements (a cursor's, an update with insertion, a write with its
// update expressions) runs in a transaction of its own when none is open, so that it reaches
// the server whole or not at all: a failure on the way, a lost server included, rolls back
// what went before it. *own says whether this call opened it.
u16 transaction_begin(bool* own) {
    *own = false;
    if (sysint_bit(SV_AUXSTAT, AUXSTAT_TRANSACTION)) return 0;
    if (u16 rc = exec(str_from_cstr(SQL_START_TRANSACTION), SLOT_AUTO, nullptr, nullptr)) return rc;
    sysint_or(SV_AUXSTAT, AUXSTAT_TRANSACTION);
    *own = true;
    return 0;
}

// Commits the transaction opened by transaction_begin when rc is 0, else rolls it back;
// returns rc, or the commit's failure.
u16 transaction_end(bool own, u16 rc) {
    if (!own) return rc;
    TmpScope scope;
    u16 done = exec(str_from_cstr(rc ? SQL_ROLLBACK : SQL_COMMIT), SLOT_AUTO, nullptr, nullptr);
    sysint_set(SV_AUXSTAT, i16(u16(sysint_get(SV_AUXSTAT)) & ~AUXSTAT_TRANSACTION));
    return rc ? rc : done;
}

// ---- Cursors ----

u16 close_cursor(u16 slot) {
    u16 rc = exec(sqlgen_cursor_close(slot), SLOT_AUTO, nullptr, nullptr);
    cursor_release(slot);
    return rc;
}

// Fetches through the cursor until the row is the one loaded (the saved image, and the same
// server texts where the fields show them approximately): 0 when positioned, 2 when the
// record is no longer there.
u16 position_cursor(u16 n, u16 slot, Str saved) {
    const FileState& f = state(n);
    Str scratch = tmp_alloc(f.record_length, ' ');
    if (!scratch.ok()) return str_error_code(scratch);
    ExactRow fetched;
    const ExactRow loaded = loaded_exact(n);
    u8 direction = READ_FIRST;
    for (;;) {
        TmpScope scope;
        u16 row_slot = 0;
        u16 rc = exec(sqlgen_cursor_fetch(slot, direction), SLOT_AUTO, nullptr, &row_slot);
        if (rc) return rc;
        load_image(f, row_slot, 0, str_mut(scratch), &fetched);
        sql_clear(row_slot);
        if (std::memcmp(scratch.p, saved.p, f.record_length) == 0 &&
            fetched.fields == loaded.fields)
            return 0;
        direction = READ_NEXT;
    }
}

// Saves (set list given) or deletes the one record equal to the saved image among those
// that share its key value.
u16 write_through_cursor(u16 n, Str key_value, Str set_list, Str saved, bool remove) {
    bool first = false;
    u16 slot = cursor_take(n, &first);
    if (slot == CURSOR_NONE) return CURSOR_NONE;
    bool own = false;
    if (u16 rc = transaction_begin(&own)) {
        cursor_release(slot);
        return rc;
    }
    TmpScope scope;
    u16 rc = exec(sqlgen_cursor_declare(slot, n, 1, key_value), SLOT_AUTO, nullptr, nullptr);
    if (!rc) rc = position_cursor(n, slot, saved);
    if (!rc) {
        Str act = remove ? sqlgen_delete_current(n, slot) : sqlgen_update_current(n, set_list, slot);
        rc = exec(act, SLOT_AUTO, nullptr, nullptr);
    }
    u16 closed = close_cursor(slot);
    return transaction_end(own, rc ? rc : closed);
}

// ---- The writes ----

// Save or delete by the saved image's key 1: through a cursor when the key value is shared.
// A record never read (blank key in the saved image) or gone from the table gives 2.
u16 write_by_key(u16 n, Str set_list, bool remove) {
    TmpScope scope;
    Str saved = str_copy(image(n, IMAGE_SAVED));
    Str key = key_of(n, 1, saved);
    if (!key.ok()) return str_error_code(key);
    if (key_blank(key)) return STATUS_NONE;
    bool dup = false;
    if (u16 rc = key_duplicated(n, 1, key, &dup)) return rc;
    if (dup) return write_through_cursor(n, key, set_list, saved, remove);
    Str stmt = remove ? sqlgen_delete_by_key(n, 1, key) : sqlgen_update_by_key(n, 1, key, set_list);
    u32 rows = 0;
    u16 rc = exec(stmt, SLOT_AUTO, &rows, nullptr);
    if (rc) return rc;
    return rows ? u16(0) : u16(STATUS_NONE);
}

u16 insert_current(u16 n) {
    TmpScope scope;
    u32 rows = 0;
    return exec(sqlgen_insert(n, image(n, IMAGE_CURRENT)), SLOT_AUTO, &rows, nullptr);
}

u16 save_current(u16 n) {
    TmpScope scope;
    Str set_list = sql_set_list(n, image(n, IMAGE_CURRENT), image(n, IMAGE_SAVED));
    if (!set_list.ok()) return str_error_code(set_list);
    if (set_list.n == 0) return 0;
    return write_by_key(n, set_list, false);
}

// The key check: 0 to go on; WRITE_SKIPPED for a blank key 1; 5 when an insert finds key 1
// taken.
constexpr u16 WRITE_SKIPPED = 0xFFFF;
u16 check_key(u16 n, u16 flags) {
    TmpScope scope;
    Str key = key_of(n, 1, image(n, IMAGE_CURRENT));
    if (!key.ok()) return str_error_code(key);
    if (key_blank(key)) return WRITE_SKIPPED;
    bool insert = (flags & WRITE_INSERT_TEST) == WRITE_AFTER;
    if (!insert || sysint_bit(SV_UPSTAT, UPSTAT_NO_KEY_CHECK)) return 0;
    i64 records = 0;
    if (u16 rc = sql_count(n, 1, key, key, str_empty(), &records)) return rc;
    return records ? u16(STATUS_EXISTS) : u16(0);
}

u16 perform(u16 n, u16 op) {
    switch (op) {
        case WRITE_INSERT:
            return insert_current(n);
        case WRITE_SAVE:
            return save_current(n);
        case WRITE_DELETE:
            return write_by_key(n, str_empty(), true);
        default:
            return error_raise(M_DATAFILE, E_DATA);
    }
}

u16 follow(u16 n, u16 op, Str deleted_key) {
    if (op == WRITE_DELETE) {
        u16 st = datafile_find(n, 0, deleted_key, FIND_AT_OR_AFTER);
        if (st == STATUS_NONE) return clear_images(n, IMAGE_BOTH);
        return st >= FIRST_ERROR ? st : 0;
    }
    copy_current_to_saved(n);
    return op == WRITE_SAVE ? reread_multi(n) : u16(0);
}

}  // namespace

namespace df {

void forget_updates(u16 n) {
    state(n).lines.clear();
    state(n).ctrl[CW_DICT_LINE] = CTRL_NONE;
}

}  // namespace df

u16 datafile_write(u16 file, u16 flags, Str selection, bool follow_up) {
    u16 n;
    if (u16 rc = use(file, &n)) return rc;
    if (!selection.ok()) return str_error_code(selection);
    SlotScope keep_slot;
    LoadedRowScope exact(n);  // writes address the record loaded
    u16 op = flags & WRITE_OP;
    bool updates = !(flags & WRITE_NO_UPDATES);
    if (flags & WRITE_KEY_CHECK) {
        u16 rc = check_key(n, flags);
        if (rc == WRITE_SKIPPED) return 0;
        if (rc) {
            set_status(n, rc);
            return rc;
        }
    }
    TmpScope scope;
    Str deleted_key = key_of(n, 0, str_copy(image(n, IMAGE_SAVED)));
    if (!deleted_key.ok()) return str_error_code(deleted_key);
    bool own = false;
    bool guarded = updates && (flags & (WRITE_BEFORE | WRITE_AFTER)) && has_updates(n, selection);
    u16 rc = guarded ? transaction_begin(&own) : u16(0);
    if (!rc && updates && (flags & WRITE_BEFORE)) rc = run_updates(n, SGN_BEFORE, IMAGE_SAVED, selection);
    if (!rc) rc = perform(n, op);
    if (!rc && updates && (flags & WRITE_AFTER) && op != WRITE_DELETE)
        rc = run_updates(n, SGN_AFTER, IMAGE_CURRENT, selection);
    rc = transaction_end(own, rc);
    if (!rc && follow_up) rc = follow(n, op, deleted_key);
    set_status(n, rc);
    return rc;
}

u16 sql_update_by_key(u16 file, u16 key, Str key_value, Str set_list, bool insert, u32* rows) {
    *rows = 0;
    u16 n;
    if (u16 rc = use(file, &n)) return rc;
    SlotScope keep_slot;
    TmpScope scope;
    key = key_number(n, key);
    Str stmt = sqlgen_update_by_key(n, key, key_value, set_list);
    if (!stmt.ok() || stmt.n == 0) return str_error_code(stmt);
    u16 rc = exec(stmt, SLOT_AUTO, rows, nullptr);
    if (rc || *rows || !insert) return rc;
    bool own = false;
    if ((rc = clear_images(n, IMAGE_BOTH)) || (rc = put_key(n, key, key_value)) ||
        (rc = transaction_begin(&own)))
        return rc;
    rc = insert_current(n);
    if (!rc) rc = exec(stmt, SLOT_AUTO, rows, nullptr);
    rc = transaction_end(own, rc);
    if (rc) {
        *rows = 0;
        return rc;
    }
    sysint_set(SV_RELRES, RELRES_MISSING);
    return 0;
}

u16 sql_commit_point() {
    TmpScope scope;
    Str stmt = sqlgen_commit_point();
    if (!stmt.ok() || stmt.n == 0) return str_error_code(stmt);
    u16 rc = exec(stmt, SLOT_AUTO, nullptr, nullptr);
    sysint_set(SV_AUXSTAT, i16(u16(sysint_get(SV_AUXSTAT)) & ~AUXSTAT_TRANSACTION));
    return rc;
}

}  // namespace vx::data
