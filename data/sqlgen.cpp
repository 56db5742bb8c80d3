// Statement texts of the data layer: value literals, key and range conditions, order lists,
// the statements of record operations and the cursor table. Every piece of a statement is
// made in the arena first and the statement is then laid out in one builder, so a statement
// that would not fit a string fails with 146 instead of being cut.
#include "data/sqlgen.h"

#include <cstring>
#include <initializer_list>
#include <vector>

#include "data/schema.h"
#include "data/sqltext.h"
#include "expr/fields.h"
#include "expr/structs.h"
#include "runtime/arena.h"
#include "runtime/error.h"
#include "runtime/sysvars.h"

namespace vx::data {

using namespace vx::rt;
using expr::FieldDesc;
using expr::KeyDesc;
using expr::StructDesc;

namespace {

constexpr const char* OPERATORS = "=,>,>=,<,<=,<>,IS,IS NOT";
constexpr u16 ORDER_FIELDS_OF_FIELD_ONE = 3;  // a key of field 1 alone orders by fields 1..3
constexpr u16 DETAIL_MAX = 200;
constexpr u16 NAME_MAX = 16;

struct Direction {
    const char* with_nulls;
    const char* without_nulls;
};
constexpr Direction ASCENDING{" NULLS FIRST", ""};
constexpr Direction DESCENDING{" DESC NULLS LAST", " DESC"};

struct FetchDirection {
    u8 mode;
    const char* word;
};
constexpr FetchDirection FETCH_DIRECTIONS[] = {
    {READ_LAST, "LAST"}, {READ_FIRST, "FIRST"}, {READ_NEXT, "NEXT"}, {READ_PREVIOUS, "PRIOR"}};

struct Cursors {
    u16 file[CURSOR_SLOTS] = {};  // data file of each slot, 0 when free
};
Cursors cursors;

ExactScope::Active exact_scope;  // the innermost ExactScope

// The server's own literal of a value that shows a field of the exact row, or an empty text.
Str exact_literal(u16 s, u16 field, Str value) {
    const ExactScope::Active& a = exact_scope;
    const ExactRow* row = a.row ? a.row : a.source && a.s == s ? &a.source(s) : nullptr;
    if (!row || row->s != s) return str_empty();
    for (const ExactField& e : row->fields) {
        if (e.field != field) continue;
        Str shown{e.shown.data(), u16(e.shown.size())};
        if (!shown.n || !str_equal(str_trim(value, TRIM_RIGHT), shown)) return str_empty();
        return str_copy(Str{e.literal.data(), u16(e.literal.size())});
    }
    return str_empty();
}

// A key with the descriptions of the fields it spans.
struct Key {
    u16 s = 0;
    u16 count = 0;
    u16 number[KEY_FIELDS_MAX];
    FieldDesc field[KEY_FIELDS_MAX];
};

Str fail_str(u16 code) {
    return str_error(error_raise(M_SQLEXEC, code));
}

// items[0] sep items[1] sep …; the first error descriptor among them is the result.
Str join_list(const Str* items, u16 n, Str sep) {
    for (u16 i = 0; i < n; i++)
        if (!items[i].ok()) return items[i];
    StrBuilder b;
    for (u16 i = 0; i < n; i++) {
        if (i) b.put(sep);
        b.put(items[i]);
    }
    Str out = b.finish();
    if (str_error_code(out) == E_STRINGTOOLONG) error_raise(M_SQLEXEC, E_STRINGTOOLONG);
    return out;
}

Str cat(std::initializer_list<Str> parts) {
    return sql_cat(parts);
}

Str op_text(u16 op) {
    if (op < SQL_EQ) op = SQL_EQ;
    if (op > SQL_IS_NOT) op = SQL_IS_NOT;
    return list_item(str_from_cstr(OPERATORS), ',', op);
}
u16 op_bits(u16 op) {
    return op > SQL_IS_NOT ? u16(SQL_IS_NOT) : op;
}

bool is_numeric(char type) {
    return type && std::strchr(expr::NUMERIC_FIELD_TYPES, type) != nullptr;
}

// A sign, digits and at most one decimal point, with at least one digit.
bool is_number(Str t) {
    u16 i = t.n && (t.p[0] == '-' || t.p[0] == '+') ? 1 : 0;
    bool digit = false, point = false;
    for (; i < t.n; i++) {
        char c = t.p[i];
        if (c >= '0' && c <= '9')
            digit = true;
        else if (c == '.' && !point)
            point = true;
        else
            return false;
    }
    return digit;
}

Str bad_number(const FieldDesc& d, Str value) {
    Str detail =
        str_format(DETAIL_MAX, "%.*s: %.*s", int(d.name.n), d.name.p, int(value.n), value.p);
    fail_with_detail(E_DATA, detail.ok() ? detail : d.name, false);
    return fail_str(E_DATA);
}

// The length sql_escape gives a text: quotes become four-byte escapes and backslashes are
// doubled inside E'...'; a text with neither is only enclosed.
u32 escaped_length(Str t) {
    u32 quotes = 0, backslashes = 0;
    for (u16 i = 0; i < t.n; i++) {
        quotes += t.p[i] == '\'' || t.p[i] == '"';
        backslashes += t.p[i] == '\\';
    }
    return quotes || backslashes ? 3u + t.n + 3u * quotes + backslashes : 2u + t.n;
}

bool is_null(Str literal) {
    return str_equal(literal, S("NULL"));
}

Str literal_of(u16 s, u16 field, const FieldDesc& d, Str value) {
    const void* nul = value.n ? std::memchr(value.p, 0, value.n) : nullptr;
    if (nul) value.n = u16(static_cast<const char*>(nul) - value.p);
    Str exact = exact_literal(s, field, value);
    if (exact.n) return exact;
    if (is_numeric(d.type)) {
        Str t = str_trim(value, TRIM_BOTH);
        if (t.n == 0) return S("NULL");
        return is_number(t) ? t : bad_number(d, t);
    }
    Str t = str_trim(value, TRIM_RIGHT);
    if (t.n == 0) return S("NULL");
    return escaped_length(t) > MAX_STR ? fail_str(E_STRINGTOOLONG) : sql_escape(t);
}

// The field's bytes in a record image (a short image lacks the rest).
Str image_field(Str image, const FieldDesc& d) {
    if (d.offset >= image.n) return str_empty();
    u16 n = u16(image.n - d.offset);
    return Str{image.p + d.offset, n < d.width ? n : d.width};
}

// A NULL value compared in a column whose type has no empty value (a date, a timestamp): NULL
// is that column's only blank, and it is smaller than every value.
Str compare_null_only(Str name, u16 op) {
    switch (op_bits(op)) {
        case SQL_EQ:
        case SQL_LE:
        case SQL_IS:
            return cat({name, S(" IS NULL")});
        case SQL_GE:
            return S("TRUE");
        case SQL_LT:
            return S("FALSE");
        default:  // >, <>, IS NOT
            return cat({name, S(" IS NOT NULL")});
    }
}

Str compare_field(u16 s, u16 field, const FieldDesc& d, u16 op, Str literal) {
    if (!literal.ok() || literal.n == 0) return literal;
    bool null = is_null(literal);
    Str name = sql_ident(d.name);
    bool numeric = is_numeric(d.type);
    if (null && !numeric && !schema_has_blank(s, field, d.type)) return compare_null_only(name, op);
    Str value = null ? (numeric ? S("0") : S("''")) : literal;
    Str cmp = cat({name, S(" "), op_text(op), S(" "), value});
    // Rows holding NULL count as smaller than every value; a NOT NULL column has none, and
    // its comparison stays one the server can take as an index bound.
    bool widen = null ? (op_bits(op) & SQL_OP_WITH_EQUAL) : (op_bits(op) & SQL_OP_LESS);
    if (widen && schema_not_null(s, field)) widen = false;
    return widen ? cat({S("("), cmp, S(" OR "), name, S(" IS NULL)")}) : cmp;
}

// The fields of the parts in key order: every field that a part overlaps.
u16 load_key(u16 s, u16 key, Key* k) {
    KeyDesc kd;
    StructDesc sd;
    if (u16 rc = expr::struct_info(s, &sd)) return rc;
    if (u16 rc = expr::struct_key(s, key, &kd)) return rc;
    k->s = s;
    k->count = 0;
    for (u16 p = 0; p < kd.parts; p++) {
        u32 from = kd.part[p].offset, to = from + kd.part[p].length;
        for (u16 f = 1; f <= sd.fields; f++) {
            FieldDesc d;
            if (expr::struct_field(s, f, &d)) continue;
            if (d.offset + d.width <= from || d.offset >= to) continue;
            if (k->count >= KEY_FIELDS_MAX) return E_DATAOUTBOUND;
            k->number[k->count] = f;
            k->field[k->count++] = d;
        }
    }
    return 0;
}

// The key condition over the key's fields from index first on, the value cut at their widths.
Str key_condition(const Key& k, u16 first, Str value, u16 op) {
    Str lit[KEY_FIELDS_MAX];
    u16 n = 0;
    for (u16 i = first, at = 0; i < k.count && at < value.n; i++, n++) {
        u16 w = u16(value.n - at) < k.field[i].width ? u16(value.n - at) : k.field[i].width;
        lit[n] = literal_of(k.s, k.number[i], k.field[i], Str{value.p + at, w});
        if (!lit[n].ok()) return lit[n];
        at = u16(at + w);
    }
    if (n == 0) return str_empty();
    Str eq[KEY_FIELDS_MAX];
    for (u16 j = 0; j < n; j++)
        eq[j] = compare_field(k.s, k.number[first + j], k.field[first + j], SQL_EQ, lit[j]);
    if (op == SQL_EQ) return join_list(eq, n, S(" AND "));
    // Leading fields compare strictly; only the last one carries the operator's equality.
    u16 lead = u16(op_bits(op) & ~SQL_OP_WITH_EQUAL);
    Str chain[KEY_FIELDS_MAX];
    for (u16 j = 0; j < n; j++) {
        Str c = compare_field(k.s, k.number[first + j], k.field[first + j], j + 1 == n ? op : lead,
                              lit[j]);
        chain[j] = j == 0 ? c : cat({S("("), join_list(eq, j, S(" AND ")), S(" AND "), c, S(")")});
    }
    return join_list(chain, n, S(" OR "));
}

// Whether text holds the connector (" AND " or " OR ") outside brackets and quoted runs.
bool has_bare(Str text, Str connector) {
    int depth = 0;
    for (u16 i = 0; i < text.n; i++) {
        char c = text.p[i];
        if (c == '\'' || c == '"') {
            const void* close =
                i + 1 < text.n ? std::memchr(text.p + i + 1, c, text.n - i - 1) : nullptr;
            if (!close) return false;
            i = u16(static_cast<const char*>(close) - text.p);
        } else if (c == '(') {
            depth++;
        } else if (c == ')') {
            depth--;
        } else if (depth == 0 && c == ' ' && text.n - i >= connector.n &&
                   std::memcmp(text.p + i, connector.p, connector.n) == 0) {
            return true;
        }
    }
    return false;
}

Str bracket_if(Str part, Str other) {
    return has_bare(part, other) ? cat({S("("), part, S(")")}) : part;
}

Str join_two(Str a, Str b, Str connector, Str other) {
    if (!a.ok()) return a;
    if (!b.ok()) return b;
    if (a.n == 0) return str_copy(b);
    if (b.n == 0) return str_copy(a);
    TmpScope scope;
    Str pa = bracket_if(a, other);
    Str pb = bracket_if(b, other);
    return scope.keep(cat({pa, connector, pb}));
}

Str table_name(u16 s) {
    StructDesc sd;
    if (u16 rc = expr::struct_info(s, &sd)) return str_error(rc);
    return sql_ident(sd.name);
}

// Whole key fields that the start and end key share, in bytes; with the strict operators
// (next, previous) the start key keeps at least one field of its own for the bound.
u16 common_prefix(const Key& k, Str start, Str end, u16 lower_op) {
    u16 shorter = start.n < end.n ? start.n : end.n;
    u16 fields = 0, bytes = 0, covered = 0;
    for (u16 at = 0; covered < k.count && at < start.n; covered++) {
        u16 w = k.field[covered].width;
        at = u16(start.n - at < w ? start.n : at + w);
    }
    u16 most = lower_op == SQL_GE ? k.count : (covered ? u16(covered - 1) : 0);
    while (fields < most && u32(bytes) + k.field[fields].width <= shorter &&
           std::memcmp(start.p + bytes, end.p + bytes, k.field[fields].width) == 0)
        bytes = u16(bytes + k.field[fields++].width);
    return bytes;
}

// The range condition on a loaded key.
Str range_condition(const Key& k, Str start, Str end, Str extra, u16 lower_op) {
    u16 prefix = common_prefix(k, start, end, lower_op);
    u16 first = 0;
    for (u16 at = 0; at < prefix; first++) at = u16(at + k.field[first].width);
    Str cond = key_condition(k, 0, Str{start.p, prefix}, SQL_EQ);
    Str rest_start = str_substr(start, prefix, NOT_FOUND);
    if (rest_start.n) cond = sql_and(cond, key_condition(k, first, rest_start, lower_op));
    Str rest_end = str_substr(end, prefix, NOT_FOUND);
    bool open = rest_end.n == 0 || (rest_end.n == 1 && rest_end.at(0) == END_KEY_OPEN);
    if (!open) {
        u16 upper = lower_op == SQL_GT || lower_op == SQL_GE ? SQL_LE : SQL_GE;
        cond = sql_and(cond, key_condition(k, first, rest_end, upper));
    }
    return sql_and(cond, extra);
}

Str order_list(const Key& k, bool descending) {
    const Direction& dir = descending ? DESCENDING : ASCENDING;
    u16 numbers[KEY_FIELDS_MAX];
    u16 n = k.count;
    std::memcpy(numbers, k.number, n * sizeof(u16));
    StructDesc sd;
    if (n == 1 && numbers[0] == 1 && expr::struct_info(k.s, &sd) == 0) {
        n = sd.fields < ORDER_FIELDS_OF_FIELD_ONE ? sd.fields : ORDER_FIELDS_OF_FIELD_ONE;
        for (u16 i = 0; i < n; i++) numbers[i] = u16(i + 1);
    }
    bool compat = sysint_bit(SV_SYSCOMPAT, SYSCOMPAT_NO_NULLS);
    Str items[KEY_FIELDS_MAX];
    for (u16 i = 0; i < n; i++) {
        FieldDesc d;
        if (u16 rc = expr::struct_field(k.s, numbers[i], &d)) return str_error(rc);
        bool plain = compat || schema_not_null(k.s, numbers[i]);
        items[i] =
            cat({sql_ident(d.name), str_from_cstr(plain ? dir.without_nulls : dir.with_nulls)});
    }
    return join_list(items, n, S(","));
}

// SELECT * FROM "t"[ WHERE cond] ORDER BY order LIMIT 1;
Str select_one(u16 s, Str cond, Str order) {
    if (!cond.ok()) return cond;
    return cat({S("SELECT * FROM "), table_name(s), cond.n ? S(" WHERE ") : str_empty(), cond,
                S(" ORDER BY "), order, S(" LIMIT 1;")});
}

// A read between bounds: next (lower operator 2, ascending) or previous (4, descending).
Str read_range(u16 s, u16 key, Str key_value, Str extra, Str end_key, u16 lower_op) {
    TmpScope scope;
    Key k;
    if (u16 rc = load_key(s, key, &k)) return str_error(rc);
    Str cond = range_condition(k, key_value, end_key, extra, lower_op);
    return scope.keep(select_one(s, cond, order_list(k, lower_op == SQL_LT)));
}

Str read_end(u16 s, u16 key, bool descending) {
    TmpScope scope;
    Key k;
    if (u16 rc = load_key(s, key, &k)) return str_error(rc);
    return scope.keep(select_one(s, str_empty(), order_list(k, descending)));
}

// The equality condition of a key value; 163 when it is empty (a statement that changes or
// locks rows never runs without a condition).
Str equal_condition(u16 s, u16 key, Str key_value, Key* k) {
    if (u16 rc = load_key(s, key, k)) return str_error(rc);
    Str cond = key_condition(*k, 0, key_value, SQL_EQ);
    if (cond.ok() && cond.n == 0) return fail_str(E_DATA);
    return cond;
}

// The data fields of a record image joined by ",": each field's literal, or, against a saved
// image, "name" = literal for each field whose bytes differ from it.
Str record_items(u16 s, Str image, const Str* saved) {
    if (!image.ok()) return image;
    StructDesc sd;
    if (u16 rc = expr::struct_info(s, &sd)) return str_error(rc);
    TmpScope scope;
    std::vector<Str> items;
    for (u16 f = 1; f <= sd.data_fields; f++) {
        FieldDesc d;
        if (u16 rc = expr::struct_field(s, f, &d)) return str_error(rc);
        Str now = image_field(image, d);
        if (saved && str_equal(now, image_field(*saved, d))) continue;
        Str lit = literal_of(s, f, d, now);
        items.push_back(saved ? cat({sql_ident(d.name), S(" = "), lit}) : lit);
        if (!items.back().ok()) return items.back();
    }
    return scope.keep(join_list(items.data(), u16(items.size()), S(",")));
}

bool valid_slot(u16 slot) {
    return slot >= 1 && slot <= CURSOR_SLOTS;
}

}  // namespace

// ---- Values the run-time's bytes cannot hold ----

ExactScope::ExactScope(const ExactRow* row) : saved_(exact_scope) {
    exact_scope = Active{row, 0, nullptr};
}
ExactScope::ExactScope(u16 s, Source source) : saved_(exact_scope) {
    exact_scope = Active{nullptr, s, source};
}
ExactScope::~ExactScope() {
    exact_scope = saved_;
}

// ---- Pieces ----

Str sql_cat(std::initializer_list<Str> parts) {
    return join_list(parts.begin(), u16(parts.size()), str_empty());
}

u16 key_fields(u16 s, u16 key, KeyFields* out) {
    Key k;
    if (u16 rc = load_key(s, key, &k)) return rc;
    out->count = k.count;
    std::memcpy(out->field, k.number, k.count * sizeof(u16));
    return 0;
}

Str sql_literal(u16 s, u16 field, Str value) {
    FieldDesc d;
    if (u16 rc = expr::struct_field(s, field, &d)) return str_error(rc);
    if (!value.ok()) return value;
    TmpScope scope;
    return scope.keep(literal_of(s, field, d, value));
}

Str sql_compare(u16 s, u16 field, u16 op, Str literal) {
    FieldDesc d;
    if (u16 rc = expr::struct_field(s, field, &d)) return str_error(rc);
    TmpScope scope;
    return scope.keep(compare_field(s, field, d, op, literal));
}

Str sql_key_condition(u16 s, u16 key, Str key_value, u16 op) {
    if (!key_value.ok()) return key_value;
    TmpScope scope;
    Key k;
    if (u16 rc = load_key(s, key, &k)) return str_error(rc);
    return scope.keep(key_condition(k, 0, key_value, op));
}

Str sql_and(Str a, Str b) {
    return join_two(a, b, S(" AND "), S(" OR "));
}
Str sql_or(Str a, Str b) {
    return join_two(a, b, S(" OR "), S(" AND "));
}

Str sql_range_condition(u16 s, u16 key, Str start_key, Str end_key, Str extra, u16 lower_op) {
    if (!start_key.ok()) return start_key;
    if (!end_key.ok()) return end_key;
    TmpScope scope;
    Key k;
    if (u16 rc = load_key(s, key, &k)) return str_error(rc);
    return scope.keep(range_condition(k, start_key, end_key, extra, lower_op));
}

Str sql_order_list(u16 s, u16 key, bool descending) {
    TmpScope scope;
    Key k;
    if (u16 rc = load_key(s, key, &k)) return str_error(rc);
    return scope.keep(order_list(k, descending));
}

Str sql_set_list(u16 s, Str current_image, Str saved_image) {
    if (!saved_image.ok()) return saved_image;
    return record_items(s, current_image, &saved_image);
}

// ---- Statements ----

Str sqlgen_find(u16 s, u16 key, Str key_value, bool at_or_after) {
    if (!key_value.ok()) return key_value;
    TmpScope scope;
    Key k;
    if (u16 rc = load_key(s, key, &k)) return str_error(rc);
    Str cond = key_condition(k, 0, key_value, at_or_after ? SQL_GE : SQL_EQ);
    return scope.keep(select_one(s, cond, order_list(k, false)));
}

Str sqlgen_next(u16 s, u16 key, Str key_value, Str extra, Str end_key) {
    return read_range(s, key, key_value, extra, end_key, SQL_GT);
}

Str sqlgen_previous(u16 s, u16 key, Str key_value, Str extra, Str end_key) {
    return read_range(s, key, key_value, extra, end_key, SQL_LT);
}

Str sqlgen_first(u16 s, u16 key) {
    return read_end(s, key, false);
}
Str sqlgen_last(u16 s, u16 key) {
    return read_end(s, key, true);
}

Str sqlgen_read_one(u16 s, u16 key, Str key_value, u8 mode, Str extra, Str end_key) {
    switch (mode) {
        case READ_FIND:
            return sqlgen_find(s, key, key_value, false);
        case READ_AT_OR_AFTER:
            return sqlgen_find(s, key, key_value, true);
        case READ_NEXT:
            return sqlgen_next(s, key, key_value, extra, end_key);
        case READ_PREVIOUS:
            return sqlgen_previous(s, key, key_value, extra, end_key);
        case READ_FIRST:
            return sqlgen_first(s, key);
        case READ_LAST:
            return sqlgen_last(s, key);
        default:
            return fail_str(E_DATA);
    }
}

Str sqlgen_count(u16 s, u16 key, Str start_key, Str end_key, Str extra) {
    TmpScope scope;
    Str cond = extra;
    if (key) {
        Key k;
        if (u16 rc = load_key(s, key, &k)) return str_error(rc);
        cond = range_condition(k, start_key, end_key, extra, SQL_GE);
    }
    if (!cond.ok()) return cond;
    Str out = cat({S("SELECT COUNT (*) FROM "), table_name(s), cond.n ? S(" WHERE ") : str_empty(),
                   cond, S(";")});
    return scope.keep(out);
}

Str sqlgen_insert(u16 s, Str image) {
    TmpScope scope;
    Str values = record_items(s, image, nullptr);
    if (!values.ok()) return values;
    return scope.keep(cat({S("INSERT INTO "), table_name(s), S(" VALUES ("), values, S(");")}));
}

Str sqlgen_update(u16 s, Str set_list, Str condition) {
    if (!set_list.ok()) return set_list;
    if (!condition.ok()) return condition;
    if (set_list.n == 0) return str_empty();
    if (condition.n == 0) return fail_str(E_DATA);
    TmpScope scope;
    return scope.keep(cat(
        {S("UPDATE ONLY "), table_name(s), S(" SET "), set_list, S(" WHERE "), condition, S(";")}));
}

Str sqlgen_update_by_key(u16 s, u16 key, Str key_value, Str set_list) {
    if (!key_value.ok()) return key_value;
    TmpScope scope;
    Key k;
    Str cond = equal_condition(s, key, key_value, &k);
    return scope.keep(sqlgen_update(s, set_list, cond));
}

Str sqlgen_delete_by_key(u16 s, u16 key, Str key_value) {
    if (!key_value.ok()) return key_value;
    TmpScope scope;
    Key k;
    Str cond = equal_condition(s, key, key_value, &k);
    return scope.keep(cat({S("DELETE FROM ONLY "), table_name(s), S(" WHERE "), cond, S(";")}));
}

Str sqlgen_delete_all(u16 s) {
    TmpScope scope;
    return scope.keep(cat({S("DELETE FROM ONLY "), table_name(s), S(";")}));
}

Str sqlgen_multi_read(u16 s, u16 key, Str key_value) {
    if (!key_value.ok()) return key_value;
    TmpScope scope;
    Key k;
    Str cond = equal_condition(s, key, key_value, &k);
    if (!cond.ok()) return cond;
    return scope.keep(cat({S("SELECT * FROM "), table_name(s), S(" WHERE "), cond, S(" ORDER BY "),
                           order_list(k, false), S(";")}));
}

Str sqlgen_scan_chunk(u16 s, u16 key, Str start_key, Str end_key, u16 limit, Str condition) {
    return sqlgen_scan_chunk(s, key, start_key, end_key, limit, condition, SQL_GE);
}

Str sqlgen_scan_chunk(u16 s, u16 key, Str start_key, Str end_key, u16 limit, Str condition,
                      u16 lower_op) {
    TmpScope scope;
    Str cond = sql_range_condition(s, key, start_key, end_key, condition, lower_op);
    if (!cond.ok()) return cond;
    Str out = cat({S("SELECT * FROM "), table_name(s), S(" "), cond.n ? S("WHERE ") : str_empty(),
                   S(" "), cond, S(" ORDER BY "), sql_order_list(s, key, false), S(" LIMIT "),
                   str_format(NAME_MAX, "%u", unsigned(limit)), S(";")});
    return scope.keep(out);
}

Str sqlgen_count_estimate(u16 s, u16 key, Str start_key, Str end_key, Str extra) {
    TmpScope scope;
    Str cond = extra;
    if (key) cond = sql_range_condition(s, key, start_key, end_key, extra, SQL_GE);
    if (!cond.ok()) return cond;
    return scope.keep(cat({S("EXPLAIN SELECT * FROM "), table_name(s),
                           cond.n ? S(" WHERE ") : str_empty(), cond, S(";")}));
}

Str sqlgen_group_declare(Str name, u16 s, u16 key, Str key_value, Str condition) {
    if (!key_value.ok()) return key_value;
    if (!condition.ok()) return condition;
    TmpScope scope;
    Key k;
    Str cond = equal_condition(s, key, key_value, &k);
    if (!cond.ok()) return cond;
    return scope.keep(
        cat({S("DECLARE "), sql_ident(name), S(" NO SCROLL CURSOR WITH HOLD FOR SELECT * FROM "),
             table_name(s), S(" WHERE "), sql_and(cond, condition), S(" ORDER BY "),
             order_list(k, false), S(";")}));
}

Str sqlgen_group_fetch(Str name, u16 rows) {
    TmpScope scope;
    return scope.keep(cat({S("FETCH FORWARD "), str_format(NAME_MAX, "%u", unsigned(rows)),
                           S(" FROM "), sql_ident(name), S(";")}));
}

Str sqlgen_group_close(Str name) {
    TmpScope scope;
    return scope.keep(cat({S("CLOSE "), sql_ident(name), S(";")}));
}

Str sqlgen_commit_point() {
    return sysint_bit(SV_AUXSTAT, AUXSTAT_TRANSACTION) ? str_from_cstr(SQL_COMMIT) : str_empty();
}

// ---- Cursors ----

u16 cursor_take(u16 s, bool* first) {
    *first = cursors_open() == 0;
    if (s == 0) return CURSOR_NONE;
    for (u16 i = 0; i < CURSOR_SLOTS; i++)
        if (cursors.file[i] == 0) {
            cursors.file[i] = s;
            return u16(i + 1);
        }
    return CURSOR_NONE;
}

bool cursor_release(u16 slot) {
    if (!valid_slot(slot) || cursors.file[slot - 1] == 0) return false;
    cursors.file[slot - 1] = 0;
    return cursors_open() == 0;
}

u16 cursor_file(u16 slot) {
    return valid_slot(slot) ? cursors.file[slot - 1] : 0;
}

u16 cursors_open() {
    u16 n = 0;
    for (u16 f : cursors.file) n = u16(n + (f != 0));
    return n;
}

void cursors_reset() {
    cursors = Cursors{};
}

Str cursor_name(u16 slot) {
    if (!valid_slot(slot)) return fail_str(E_DATA);
    return str_format(NAME_MAX, "curs_%u", unsigned(slot));
}

Str sqlgen_cursor_declare(u16 slot, u16 s, u16 key, Str key_value) {
    if (!key_value.ok()) return key_value;
    TmpScope scope;
    Key k;
    Str cond = equal_condition(s, key, key_value, &k);
    if (!cond.ok()) return cond;
    return scope.keep(
        cat({S("DECLARE "), cursor_name(slot), S(" CURSOR FOR SELECT * FROM "), table_name(s),
             S(" WHERE "), cond, S(" ORDER BY "), order_list(k, false), S(" FOR UPDATE;")}));
}

Str sqlgen_cursor_fetch(u16 slot, u8 mode) {
    for (const FetchDirection& f : FETCH_DIRECTIONS)
        if (f.mode == mode) {
            TmpScope scope;
            Str name = cursor_name(slot);
            return scope.keep(
                cat({S("FETCH "), str_from_cstr(f.word), S(" FROM "), sql_ident(name), S(";")}));
        }
    return fail_str(E_DATA);
}

Str sqlgen_cursor_close(u16 slot) {
    TmpScope scope;
    return scope.keep(cat({S("CLOSE "), cursor_name(slot), S(";")}));
}

Str sqlgen_update_current(u16 s, Str set_list, u16 slot) {
    if (!set_list.ok()) return set_list;
    if (set_list.n == 0) return str_empty();
    TmpScope scope;
    return scope.keep(cat({S("UPDATE "), table_name(s), S(" SET "), set_list,
                           S(" WHERE CURRENT OF "), cursor_name(slot), S(";")}));
}

Str sqlgen_delete_current(u16 s, u16 slot) {
    TmpScope scope;
    return scope.keep(cat(
        {S("DELETE FROM "), table_name(s), S(" WHERE CURRENT OF "), cursor_name(slot), S(";")}));
}

}  // namespace vx::data
