// Schema discovery: the tables of the public schema become data-file structures, their
// columns fields (type and width from the column's type), their indexes keys, and each
// table's name an integer variable holding its position. Also the plain list of tables.
#include <vector>

#include "data/schema.h"
#include "data/sql.h"
#include "data/sqltext.h"
#include "expr/eval.h"
#include "expr/structs.h"
#include "runtime/arena.h"
#include "runtime/error.h"
#include "runtime/sysvars.h"

namespace vx::data {

using namespace vx::rt;

namespace {

constexpr const char* TABLES_QUERY = "SELECT * FROM information_schema.tables WHERE table_schema='public';";
constexpr const char* TABLE_NAME_COLUMN = "table_name";
// Columns and indexes of one table of the public schema; the table's name is a literal.
constexpr const char* COLUMNS_QUERY =
    "SELECT column_name, data_type, numeric_precision, numeric_scale, character_maximum_length, "
    "is_nullable, ordinal_position FROM information_schema.columns "
    "WHERE table_schema='public' AND table_name=%.*s ORDER BY ordinal_position;";
constexpr const char* KEYS_QUERY =
    "SELECT i.indkey FROM pg_index i JOIN pg_class t ON t.oid = i.indrelid "
    "JOIN pg_namespace n ON n.oid = t.relnamespace "
    "WHERE n.nspname = 'public' AND t.relname = %.*s ORDER BY i.indexrelid;";
constexpr u16 QUERY_MAX = 1024;
constexpr const char* NOT_NULLABLE = "NO";
constexpr const char* DATE_TYPE = "date";
// Column types whose values include the empty text; NULL is the only blank of the others.
constexpr const char* CHARACTER_TYPES = "character varying,character,text,name,\"char\"";
constexpr u16 DATE_WIDTH = 8;
constexpr u16 DECIMALS_MAX = 9;           // the digit types '1'-'9'
constexpr u16 NUMERIC_DIGITS_UNBOUNDED = 20;   // a numeric column without a precision
constexpr u16 TEXT_WIDTH_UNBOUNDED = 255;      // a column without a length (text, timestamp ...)

// The columns read from the columns query, in its order.
enum ColumnField : u16 { COL_NAME, COL_TYPE, COL_PRECISION, COL_SCALE, COL_LENGTH, COL_NULLABLE, COL_ORDINAL };

// A number's field holds its digits, its sign and, with decimals, the decimal point; a numeric
// column without a precision gets room for NUMERIC_DIGITS_UNBOUNDED digits.
u16 number_width(u16 digits, u16 decimals) {
    u32 w = u32(digits ? digits : NUMERIC_DIGITS_UNBOUNDED) + 1 + (decimals ? 1 : 0);
    return u16(w < NOT_FOUND ? w : NOT_FOUND);
}

// A whole number from the server ("" is 0), held to the range of a field width.
u16 small_number(Str text) {
    i64 n = text_to_int64(text);
    return n < 0 ? 0 : n > NOT_FOUND ? NOT_FOUND : u16(n);
}

// A statement about one table: the query text with the name as a literal.
Str table_query(const char* query, Str table) {
    Str literal = sql_escape(table);
    if (!literal.ok()) return literal;
    return str_format(QUERY_MAX, query, int(literal.n), literal.p);
}

// A name that an expression can assign: a letter, then letters, digits and '_'. Other
// names (quotes, operators, a leading '_' that the variable hook would take) are left alone.
bool assignable_name(Str name) {
    auto letter = [](u8 c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; };
    if (!name.n || !letter(name.at(0))) return false;
    for (u16 i = 1; i < name.n; i++)
        if (!letter(name.at(i)) && !(name.at(i) >= '0' && name.at(i) <= '9') && name.at(i) != '_') return false;
    return true;
}

// The table's name as an integer variable holding its position.
u16 assign_position(Str table, u16 position) {
    if (!assignable_name(table)) return 0;
    TmpScope scope;
    expr::Value v;
    u16 code = expr::expr_eval(str_format(QUERY_MAX, "%.*s=%u", int(table.n), table.p, unsigned(position)), v);
    return code >= FIRST_ERROR ? code : 0;
}

// Runs a query about one table into a free result slot and hands each row to take, until
// it answers a code; a query without rows is no failure. The result is released after.
template <class Take>
u16 each_row(const char* query, Str table, Take take) {
    TmpScope scope;
    Str q = table_query(query, table);
    if (!q.ok()) return str_error_code(q);
    u32 rows = 0;
    u16 rc = sql_exec_into(q, SLOT_FREE, &rows);
    if (rc) return rc == SQL_NO_ROWS ? 0 : rc;
    u16 slot = u16(sysint_get(SV_SQLSTK));
    for (u32 r = 0; r < rows && !rc; r++) {
        TmpScope row_scope;
        rc = take(r, slot);
    }
    sql_clear(slot);
    return rc;
}

// One field per column; ordinals receives each field's column number.
u16 add_fields(u16 s, Str table, std::vector<u32>* ordinals) {
    return each_row(COLUMNS_QUERY, table, [&](u32 r, u16 slot) {
        Str v[COL_ORDINAL + 1];
        for (u16 c = 0; c <= COL_ORDINAL; c++) v[c] = str_copy(sql_value(r, c, slot));
        ColumnType t = sql_column_type(v[COL_TYPE], v[COL_NAME], v[COL_PRECISION], v[COL_SCALE], v[COL_LENGTH]);
        if (u16 rc = expr::struct_add_field(v[COL_NAME], t.width, t.type)) return rc;
        ordinals->push_back(u32(text_to_int64(v[COL_ORDINAL])));
        u16 field = u16(ordinals->size());
        schema_set_not_null(s, field, str_equal(v[COL_NULLABLE], str_from_cstr(NOT_NULLABLE)));
        schema_set_has_blank(s, field,
                             list_find(str_from_cstr(CHARACTER_TYPES), ',', v[COL_TYPE]) != 0);
        return u16(0);
    });
}

// The key of one index: its columns as field parts, in index order. An index on more than
// KEY_PARTS_MAX columns gives its first ones, and one whose columns include an expression
// (column number 0) the columns before it: an ordering by a prefix of an index is still the
// index's order. Returns the number of parts (0: the index gives no key).
u16 index_parts(u16 s, Str indkey, const std::vector<u32>& ordinals, expr::KeyPart* parts) {
    u16 n = 0;
    u16 count = list_count(indkey, ' ');
    for (u16 i = 1; i <= count && n < expr::KEY_PARTS_MAX; i++) {
        Str item = list_item(indkey, ' ', i);
        if (!item.n) continue;
        u32 column = u32(text_to_int64(item));
        u16 field = 0;
        for (u16 f = 0; f < ordinals.size() && !field; f++)
            if (ordinals[f] == column) field = u16(f + 1);
        expr::FieldDesc d;
        if (!field || expr::struct_field(s, field, &d)) break;
        parts[n++] = expr::KeyPart{d.offset, d.width};
    }
    return n;
}

u16 add_keys(u16 s, Str table, const std::vector<u32>& ordinals) {
    return each_row(KEYS_QUERY, table, [&](u32 r, u16 slot) {
        expr::KeyPart parts[expr::KEY_PARTS_MAX];
        u16 n = index_parts(s, sql_value(r, 0, slot), ordinals, parts);
        return n ? expr::struct_add_key(s, parts, n) : u16(0);
    });
}

u16 describe_table(u16 s, Str table, u16 position) {
    std::vector<u32> ordinals;
    u16 rc = add_fields(s, table, &ordinals);
    if (!rc) rc = add_keys(s, table, ordinals);
    if (!rc) rc = assign_position(table, position);
    return rc;
}

// Runs the tables query: 0 with the result's slot and rows, SQL_NO_ROWS, or the failure.
u16 tables_result(u16* slot, u32* rows, i32* name_column) {
    u16 rc = sql_exec_into(str_from_cstr(TABLES_QUERY), SLOT_AUTO, rows);
    *slot = u16(sysint_get(SV_SQLSTK));
    *name_column = rc ? -1 : sql_column(str_from_cstr(TABLE_NAME_COLUMN));
    return rc;
}

}  // namespace

ColumnType sql_column_type(Str data_type, Str column_name, Str precision, Str scale, Str char_length) {
    if (str_equal(data_type, str_from_cstr(DATE_TYPE))) return ColumnType{'D', DATE_WIDTH};
    if (list_find(str_from_cstr(NUMERIC_TYPES), ',', data_type)) {
        u16 decimals = small_number(scale);
        char type = decimals ? char('0' + (decimals < DECIMALS_MAX ? decimals : DECIMALS_MAX)) : 'N';
        return ColumnType{type, number_width(small_number(precision), decimals)};
    }
    u16 dot = str_find_char(column_name, 0, '.', PLAIN);
    Str base = str_substr(column_name, 0, dot == NOT_FOUND ? column_name.n : dot);
    bool date = list_find(str_from_cstr(DATE_NAME_WORDS), ',', base) != 0;
    u16 width = small_number(char_length);
    if (!width) width = date ? DATE_WIDTH : TEXT_WIDTH_UNBOUNDED;
    return ColumnType{date ? 'D' : 'A', width};
}

Str sql_table_list() {
    TmpScope scope;
    u16 slot = 0;
    u32 rows = 0;
    i32 column = -1;
    u16 rc = tables_result(&slot, &rows, &column);
    if (rc) return str_empty();
    Str list = str_empty();
    for (u32 r = 0; r < rows && list.ok(); r++) {
        Str name = sql_value(r, u16(column), slot);
        bool plain = str_find_any(name, 0, S(",'\""), PLAIN) == NOT_FOUND;
        Str item = plain ? name : str_quote(str_replace(name, S("\""), str_empty(), PLAIN), '"');
        list = r ? str_join(list, S(","), item) : str_copy(item);
        list = tmp_release_keep(scope.mark(), list);
    }
    sql_clear(slot);
    return scope.keep(list.ok() ? list : str_empty());
}

u16 sql_table_count() {
    TmpScope scope;
    return list_count(sql_table_list(), ',');
}

u16 sql_discover(u16 flags) {
    TmpScope scope;
    i16 saved = sysint_get(SV_SQLSTK);
    u16 slot = 0;
    u32 rows = 0;
    i32 column = -1;
    u16 rc = tables_result(&slot, &rows, &column);
    if (rc == SQL_NO_ROWS) {
        rc = 0;
    } else if (rc) {
        rc = E_PERMISSION;
    } else {
        sysint_or(SV_AUXSTAT, expr::AUXSTAT_KEEP_CASE);
    }
    for (u32 i = 0; !rc && i < rows && i < DISCOVER_TABLES_MAX; i++) {
        TmpScope table_scope;
        Str name = str_copy(sql_value(i, u16(column), slot));
        u16 position = u16(i + 1);
        rc = expr::struct_define(position, name, str_empty());
        if (!rc && (flags & LOGIN_FIELDS)) rc = describe_table(expr::struct_count(), name, position);
    }
    if (rows) sql_clear(slot);
    sysint_set(SV_SQLSTK, saved);
    return rc;
}

}  // namespace vx::data
