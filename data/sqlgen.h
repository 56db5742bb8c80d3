// Statement texts of the data layer: value literals of field values, key and range conditions,
// order lists, every statement a record operation sends to the server, and the cursor table.
//
// Everything here turns a structure's definition (expr/structs.h), key values, record images
// and conditions into SQL text; nothing reaches the server. Texts are Windows-1252 bytes in
// the temporary-string arena; a failure is an error descriptor (146 when a statement would be
// longer than a string can be, 163 for a numeric field that does not hold a number, the
// structure errors for a structure, field or key that does not exist).
//
// A key value is the values of the key's fields laid end to end, each at its field's full
// width; a shorter one is a partial key whose last covered field may be cut short. A record
// image is the record's fields at their offsets; bytes it lacks read as blanks.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "runtime/str.h"

namespace vx::data {

using rt::Str;
using rt::u16;
using rt::u8;

// Comparison operators by number ("=,>,>=,<,<=,<>,IS,IS NOT"); above 8 reads as IS NOT.
enum SqlOp : u16 { SQL_EQ = 1, SQL_GT, SQL_GE, SQL_LT, SQL_LE, SQL_NE, SQL_IS, SQL_IS_NOT };
inline constexpr u16 SQL_OP_WITH_EQUAL = 1;  // bit of the operators that include equality
inline constexpr u16 SQL_OP_LESS = 4;        // bit of <, <= and <>

// Read modes of a single-record read; with READ_FIND, READ_AT_OR_AFTER asks for the first
// record at or after the key.
enum ReadMode : u8 {
    READ_FIND = 0,
    READ_AT_OR_AFTER = 2,
    READ_NEXT = 0x10,
    READ_PREVIOUS = 0x14,
    READ_LAST = 0x20,
    READ_FIRST = 0x24,
};

inline constexpr u8 END_KEY_OPEN = 0xFF;          // an end key of this one byte: no bound
inline constexpr u16 SCAN_CHUNK_ROWS = 512;       // rows of one scan chunk
inline constexpr u16 SYSCOMPAT_NO_NULLS = 1;      // _SYSCOMPAT: order lists without NULLS
inline constexpr u16 AUXSTAT_TRANSACTION = 4096;  // _AUXSTAT: a transaction is open
inline constexpr u16 KEY_FIELDS_MAX = 64;         // fields one key may span
inline constexpr const char* SQL_START_TRANSACTION = "START TRANSACTION;";
inline constexpr const char* SQL_COMMIT = "COMMIT;";
inline constexpr const char* SQL_ROLLBACK = "ROLLBACK;";

// ---- Values the run-time's bytes cannot hold ----
// A row loaded from the server may hold values that its fields show only approximately: a
// character without a Windows-1252 byte shows as '?', a value too wide for its field as a
// row of '*'. Such a field's bytes would address other rows ('??' is a key of its own), so
// the row keeps, for each of them, the bytes the field shows and the literal of the
// server's own text. While an ExactScope is active, a value of that structure equal to
// (blanks on the right aside) the bytes a listed field shows is written as that literal.
struct ExactField {
    u16 field = 0;
    std::string shown;    // the field's bytes, blanks on the right removed
    std::string literal;  // sql_escape_server of the server's text
    bool operator==(const ExactField&) const = default;
};
struct ExactRow {
    u16 s = 0;
    std::vector<ExactField> fields;
    void clear() { fields.clear(); }
    bool operator==(const ExactRow&) const = default;
};
class ExactScope {
public:
    using Source = const ExactRow& (*)(u16 s);
    explicit ExactScope(const ExactRow* row);  // a row the caller keeps for the scope
    ExactScope(u16 s, Source source);          // the row source gives for s at each use
    ~ExactScope();
    ExactScope(const ExactScope&) = delete;
    ExactScope& operator=(const ExactScope&) = delete;
    struct Active {
        const ExactRow* row = nullptr;
        u16 s = 0;
        Source source = nullptr;
    };

private:
    Active saved_;
};

// ---- Pieces ----

// The parts laid end to end; the first error descriptor among them is the result, and a text
// longer than a string can be is 146.
Str sql_cat(std::initializer_list<Str> parts);

// The fields a key spans, in key order, with the field numbers of structure s.
struct KeyFields {
    u16 count = 0;
    u16 field[KEY_FIELDS_MAX];
};
u16 key_fields(u16 s, u16 key, KeyFields* out);  // 0, 151, 168

// The literal of one field value: cut at its first NUL; numeric types ("NL123456789") trimmed
// and written as they stand (163 when the text is not a number); text types trimmed on the
// right and escaped; an empty value is NULL.
Str sql_literal(u16 s, u16 field, Str value);

// The comparison of one field with a literal under the NULL rules: a NULL literal compares
// as 0 or ''; rows holding NULL count as smaller than every value.
Str sql_compare(u16 s, u16 field, u16 op, Str literal);

// The condition of a key value with an operator: equality of every covered field, or the
// lexicographic chain a > x OR (a = x AND b > y) … with >= and <= only on the last field.
Str sql_key_condition(u16 s, u16 key, Str key_value, u16 op);

// a AND b / a OR b: a part holding the other connector outside brackets is bracketed first;
// an empty part is left out together with the connector.
Str sql_and(Str a, Str b);
Str sql_or(Str a, Str b);

// The bounds from a start key to an end key (empty or the single byte 0xFF: no bound), with a
// lower operator 2 (next), 4 (previous) or 3 (counts and scans), and an extra condition.
Str sql_range_condition(u16 s, u16 key, Str start_key, Str end_key, Str extra, u16 lower_op);

// "a","b" with the direction of each field (NULLS placement unless the column is NOT NULL or
// _SYSCOMPAT bit 1 is set); a key of field 1 alone orders by fields 1, 2 and 3.
Str sql_order_list(u16 s, u16 key, bool descending);

// The changed fields of a record, "a" = literal,... (empty when nothing changed).
Str sql_set_list(u16 s, Str current_image, Str saved_image);

// ---- Statements ----

// Find (and find first by key): the first record whose key equals the key value, or with
// at_or_after the first at or after it; an empty key value reads the first record.
Str sqlgen_find(u16 s, u16 key, Str key_value, bool at_or_after);
inline Str sqlgen_find_first(u16 s, u16 key, Str key_value, u16 flags) {
    return sqlgen_find(s, key, key_value, (flags & READ_AT_OR_AFTER) != 0);
}
Str sqlgen_next(u16 s, u16 key, Str key_value, Str extra, Str end_key);
Str sqlgen_previous(u16 s, u16 key, Str key_value, Str extra, Str end_key);
Str sqlgen_first(u16 s, u16 key);
Str sqlgen_last(u16 s, u16 key);
// One of the above by read mode (READ_FIND with or without READ_AT_OR_AFTER, next, previous,
// first, last); 163 for another mode.
Str sqlgen_read_one(u16 s, u16 key, Str key_value, u8 mode, Str extra, Str end_key);
// Key 0 counts without bounds; the extra condition applies either way.
Str sqlgen_count(u16 s, u16 key, Str start_key, Str end_key, Str extra);
Str sqlgen_insert(u16 s, Str image);
// An empty set list gives an empty text (nothing to execute); an empty condition gives 163.
Str sqlgen_update(u16 s, Str set_list, Str condition);
Str sqlgen_update_by_key(u16 s, u16 key, Str key_value, Str set_list);
Str sqlgen_delete_by_key(u16 s, u16 key, Str key_value);
Str sqlgen_delete_all(u16 s);
Str sqlgen_multi_read(u16 s, u16 key, Str key_value);
// condition is SQL already (sql_condition of the scan's filter). The rows from the start key
// on (lower_op 3), or after it (2: the chunk that follows a group read on its own).
Str sqlgen_scan_chunk(u16 s, u16 key, Str start_key, Str end_key, u16 limit, Str condition);
Str sqlgen_scan_chunk(u16 s, u16 key, Str start_key, Str end_key, u16 limit, Str condition,
                      u16 lower_op);
// "EXPLAIN SELECT * FROM ..." over the rows sqlgen_count counts: the server's estimate of
// them, without reading them.
Str sqlgen_count_estimate(u16 s, u16 key, Str start_key, Str end_key, Str extra);
// A cursor over the records of one key value that pass a condition (SQL), in key order,
// held outside any transaction (WITH HOLD), read forward in pieces and closed: a group of
// equal keys too large for one chunk of a scan.
Str sqlgen_group_declare(Str name, u16 s, u16 key, Str key_value, Str condition);
Str sqlgen_group_fetch(Str name, u16 rows);
Str sqlgen_group_close(Str name);
// "COMMIT;" while _AUXSTAT marks an open transaction, else empty; the caller clears the bit
// once the statement has run.
Str sqlgen_commit_point();

// ---- Cursors ----

inline constexpr u16 CURSOR_SLOTS = 30;
inline constexpr u16 CURSOR_NONE = 0xFFFF;  // no free slot

// Takes the lowest free slot (1..30) for data file s: CURSOR_NONE when all are taken.
// *first tells whether no cursor was open before (the caller starts the transaction).
u16 cursor_take(u16 s, bool* first);
// Frees a slot; true when it was the last open cursor (the caller commits).
bool cursor_release(u16 slot);
u16 cursor_file(u16 slot);  // 0 for a free or unknown slot
u16 cursors_open();
void cursors_reset();
Str cursor_name(u16 slot);  // curs_<slot>

Str sqlgen_cursor_declare(u16 slot, u16 s, u16 key, Str key_value);
// FETCH in the direction of a read mode: first, last, next or previous (163 for another).
Str sqlgen_cursor_fetch(u16 slot, u8 mode);
Str sqlgen_cursor_close(u16 slot);
Str sqlgen_update_current(u16 s, Str set_list, u16 slot);
Str sqlgen_delete_current(u16 s, u16 slot);

}  // namespace vx::data
