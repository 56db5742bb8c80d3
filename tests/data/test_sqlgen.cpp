// Statement texts: literals, NULL rules, key and range conditions, order lists, the
// statements of record operations, cursors and over-long statements.
#include <string>

#include "data/sqlgen.h"
#include "sqlgen_support.h"

using namespace vx::data;
using namespace vx::rt;
using vx::test::padded;
using vx::test::text;
using vx::test::view;

namespace {

class SqlGen : public vx::test::SqlGenTest {};

// Key 1 of clientes (P A3, Q A5, R N6).
std::string key3(const char* p, const char* q, const char* r) {
    return padded({{p, 3}, {q, 5}, {r, 6}});
}

std::string k1(const std::string& value, u16 op) {
    return text(sql_key_condition(1, 1, view(value), op));
}

}  // namespace

TEST_F(SqlGen, LiteralsByFieldType) {
    struct Case {
        u16 field;
        std::string in, out;
    } cases[] = {
        {3, "   123", "123"},
        {3, " -1.50", "-1.50"},
        {3, "+7    ", "+7"},
        {3, "      ", "NULL"},
        {3, std::string("12\0 9a", 6), "12"},  // cut at the NUL before the letter
        {1, "ab ", "'ab'"},
        {1, "   ", "NULL"},
        {4, " O'Brien", "E' O\\x27Brien'"},
        {4, std::string("ab\0cd", 5), "'ab'"},
        {5, "   1234.56", "1234.56"},
    };
    for (const Case& c : cases) {
        TmpScope scope;
        EXPECT_EQ(text(sql_literal(1, c.field, view(c.in))), c.out) << c.in;
    }
}

TEST_F(SqlGen, NumericFieldsRefuseWhatIsNotANumber) {
    for (const char* bad : {"12a", "1--2", "1.2.3", "- 5", "1;DELETE", ".", "-", "1e5", "0x10"}) {
        TmpScope scope;
        error_clear();
        EXPECT_EQ(text(sql_literal(1, 3, str_from_cstr(bad))), "<error 163>") << bad;
        EXPECT_EQ(error_code(), E_DATA);
        EXPECT_NE(text(error_detail()).find("R: "), std::string::npos) << text(error_detail());
    }
    // The refusal reaches every statement that carries the value.
    TmpScope scope;
    std::string key = key3("x", "y", "1 OR 1");
    EXPECT_EQ(text(sqlgen_find(1, 1, view(key), false)), "<error 163>");
    EXPECT_EQ(text(sqlgen_delete_by_key(1, 1, view(key))), "<error 163>");
    std::string image = padded({{"x", 3}, {"y", 5}, {"7", 6}, {"n", 20}, {"1,5", 10}, {"", 4}});
    EXPECT_EQ(text(sqlgen_insert(1, view(image))), "<error 163>");
}

TEST_F(SqlGen, ComparisonsCountNullAsTheSmallestValue) {
    TmpScope scope;
    // A NULL literal compares as '' or 0; with an operator that includes equality the NULL
    // rows come in too.
    EXPECT_EQ(text(sql_compare(1, 1, SQL_EQ, S("NULL"))), "(\"P\" = '' OR \"P\" IS NULL)");
    EXPECT_EQ(text(sql_compare(1, 3, SQL_GE, S("NULL"))), "(\"R\" >= 0 OR \"R\" IS NULL)");
    EXPECT_EQ(text(sql_compare(1, 3, SQL_GT, S("NULL"))), "\"R\" > 0");
    // A value: the less-than operators take the NULL rows.
    EXPECT_EQ(text(sql_compare(1, 1, SQL_LT, S("'x'"))), "(\"P\" < 'x' OR \"P\" IS NULL)");
    EXPECT_EQ(text(sql_compare(1, 1, SQL_NE, S("'x'"))), "(\"P\" <> 'x' OR \"P\" IS NULL)");
    EXPECT_EQ(text(sql_compare(1, 1, SQL_GT, S("'x'"))), "\"P\" > 'x'");
    EXPECT_EQ(text(sql_compare(1, 1, 12, S("5"))), "\"P\" IS NOT 5");  // above 8: IS NOT
    // A NOT NULL column holds no NULL rows: its comparisons stay index bounds.
    vx::data::schema_set_not_null(1, 1, true);
    vx::data::schema_set_not_null(1, 3, true);
    EXPECT_EQ(text(sql_compare(1, 1, SQL_EQ, S("NULL"))), "\"P\" = ''");
    EXPECT_EQ(text(sql_compare(1, 3, SQL_GE, S("NULL"))), "\"R\" >= 0");
    EXPECT_EQ(text(sql_compare(1, 1, SQL_LT, S("'x'"))), "\"P\" < 'x'");
    EXPECT_EQ(text(sql_compare(1, 1, SQL_LE, S("'x'"))), "\"P\" <= 'x'");
    EXPECT_EQ(text(sql_compare(1, 2, SQL_LT, S("'x'"))), "(\"Q\" < 'x' OR \"Q\" IS NULL)");
    EXPECT_EQ(k1(key3("x", "y", "12"), SQL_LT),
              "\"P\" < 'x' OR (\"P\" = 'x' AND (\"Q\" < 'y' OR \"Q\" IS NULL)) OR "
              "(\"P\" = 'x' AND \"Q\" = 'y' AND \"R\" < 12)");
}

TEST_F(SqlGen, ABlankInAColumnWithoutEmptyValuesIsNullAlone) {
    // A date has no '' (the server refuses it): a blank date is NULL, smaller than any date.
    define("citas", {{"fecha", 8, 'D'}, {"id", 6, 'N'}, {"hora", 19, 'A'}});
    add_key(4, {{0, 8}, {8, 6}});
    add_key(4, {{14, 19}});
    schema_set_has_blank(4, 3, false);  // a timestamp, as discovery finds it
    TmpScope scope;
    std::string blank_one = padded({{"", 8}, {"     1", 6}});
    auto cond = [&](const std::string& k, u16 key, u16 op) {
        return text(sql_key_condition(4, key, view(k), op));
    };
    EXPECT_EQ(cond(blank_one, 1, SQL_EQ), "\"fecha\" IS NULL AND \"id\" = 1");
    EXPECT_EQ(cond(blank_one, 1, SQL_GT),
              "\"fecha\" IS NOT NULL OR (\"fecha\" IS NULL AND \"id\" > 1)");
    EXPECT_EQ(cond(blank_one, 1, SQL_GE),
              "\"fecha\" IS NOT NULL OR (\"fecha\" IS NULL AND \"id\" >= 1)");
    EXPECT_EQ(cond(blank_one, 1, SQL_LT),
              "FALSE OR (\"fecha\" IS NULL AND (\"id\" < 1 OR \"id\" IS NULL))");
    EXPECT_EQ(cond(blank_one, 1, SQL_LE),
              "FALSE OR (\"fecha\" IS NULL AND (\"id\" <= 1 OR \"id\" IS NULL))");
    EXPECT_EQ(cond("", 2, SQL_EQ), "");
    EXPECT_EQ(cond(std::string(19, ' '), 2, SQL_EQ), "\"hora\" IS NULL");
    EXPECT_EQ(cond(std::string(19, ' '), 2, SQL_NE), "\"hora\" IS NOT NULL");
    EXPECT_EQ(cond(std::string(19, ' '), 2, SQL_GE), "TRUE");
    // A date given compares as usual.
    EXPECT_EQ(cond("20200131", 1, SQL_LT), "(\"fecha\" < '20200131' OR \"fecha\" IS NULL)");
    // Character columns keep the empty text as a blank.
    EXPECT_EQ(text(sql_compare(1, 1, SQL_EQ, S("NULL"))), "(\"P\" = '' OR \"P\" IS NULL)");
}

TEST_F(SqlGen, KeyConditions) {
    TmpScope scope;
    std::string k = key3("x", "y", "    12");
    EXPECT_EQ(k1(k, SQL_EQ), "\"P\" = 'x' AND \"Q\" = 'y' AND \"R\" = 12");
    // Leading fields compare strictly, the last one with the operator itself.
    EXPECT_EQ(k1(k, SQL_GE),
              "\"P\" > 'x' OR (\"P\" = 'x' AND \"Q\" > 'y') OR (\"P\" = 'x' AND \"Q\" = 'y' AND "
              "\"R\" >= 12)");
    EXPECT_EQ(
        k1(k, SQL_LE),
        "(\"P\" < 'x' OR \"P\" IS NULL) OR (\"P\" = 'x' AND (\"Q\" < 'y' OR \"Q\" IS NULL)) OR "
        "(\"P\" = 'x' AND \"Q\" = 'y' AND (\"R\" <= 12 OR \"R\" IS NULL))");
    // A text key a (3 wide), b and the value 001X.
    EXPECT_EQ(text(sql_key_condition(2, 1, S("001X"), SQL_GT)),
              "\"a\" > '001' OR (\"a\" = '001' AND \"b\" > 'X')");
    // A partial key covers the fields it fills; its last field may be cut.
    EXPECT_EQ(k1("x  yy", SQL_EQ), "\"P\" = 'x' AND \"Q\" = 'yy'");
    EXPECT_EQ(k1("x", SQL_GT), "\"P\" > 'x'");
    EXPECT_EQ(k1("", SQL_EQ), "");
    // NULL key parts: blank text compares with '' and blank numbers with 0, NULL rows included.
    EXPECT_EQ(k1(key3("", "y", ""), SQL_EQ),
              "(\"P\" = '' OR \"P\" IS NULL) AND \"Q\" = 'y' AND (\"R\" = 0 OR \"R\" IS NULL)");
    EXPECT_EQ(text(sql_key_condition(1, 9, S("x"), SQL_EQ)), "<error 168>");
    EXPECT_EQ(text(sql_key_condition(7, 1, S("x"), SQL_EQ)), "<error 151>");
}

TEST_F(SqlGen, JoiningBracketsThePartHoldingTheOtherConnector) {
    TmpScope scope;
    EXPECT_EQ(text(sql_and(S("a OR b"), S("c"))), "(a OR b) AND c");
    EXPECT_EQ(text(sql_and(S("(a OR b)"), S("c AND d"))), "(a OR b) AND c AND d");
    EXPECT_EQ(text(sql_or(S("a AND b"), S("c OR d"))), "(a AND b) OR c OR d");
    EXPECT_EQ(text(sql_and(S(""), S("c"))), "c");
    // Connectors inside literals and quoted names do not count.
    EXPECT_EQ(text(sql_and(S("\"P\" = ' OR '"), S("c"))), "\"P\" = ' OR ' AND c");
    EXPECT_EQ(text(sql_and(S("\"a OR b\" = 1"), S("c"))), "\"a OR b\" = 1 AND c");
}

TEST_F(SqlGen, RangeConditions) {
    TmpScope scope;
    std::string start = key3("x", "y", "12");
    auto range = [&](const std::string& from, const std::string& to, const char* extra, u16 op) {
        return text(sql_range_condition(1, 1, view(from), view(to), str_from_cstr(extra), op));
    };
    const std::string open = "\xFF";
    // Next to the open end: the whole chain, no upper bound.
    EXPECT_EQ(range(start, open, "", SQL_GT),
              "\"P\" > 'x' OR (\"P\" = 'x' AND \"Q\" > 'y') OR (\"P\" = 'x' AND \"Q\" = 'y' AND "
              "\"R\" > 12)");
    EXPECT_EQ(range(start, "", "", SQL_GT), range(start, open, "", SQL_GT));
    // An end key sharing P: P goes into the equality prefix, the rest bounds from below.
    std::string within = padded({{"x", 3}}) + "\xFF";
    EXPECT_EQ(range(start, within, "", SQL_GT),
              "\"P\" = 'x' AND (\"Q\" > 'y' OR (\"Q\" = 'y' AND \"R\" > 12))");
    // With next, the start key keeps one field for its bound even when the end key is equal;
    // the upper bound stays, so nothing past the end key can come back.
    EXPECT_EQ(range(start, start, "", SQL_GT),
              "\"P\" = 'x' AND \"Q\" = 'y' AND \"R\" > 12 AND (\"R\" <= 12 OR \"R\" IS NULL)");
    // With >= every equal field may go into the prefix.
    EXPECT_EQ(range(start, start, "", SQL_GE), "\"P\" = 'x' AND \"Q\" = 'y' AND \"R\" = 12");
    // Different end key: the upper bound is <= for scans, >= for previous.
    std::string end = key3("x", "z", "");
    EXPECT_EQ(
        range(start, end, "", SQL_GE),
        "\"P\" = 'x' AND (\"Q\" > 'y' OR (\"Q\" = 'y' AND \"R\" >= 12)) AND "
        "((\"Q\" < 'z' OR \"Q\" IS NULL) OR (\"Q\" = 'z' AND (\"R\" <= 0 OR \"R\" IS NULL)))");
    EXPECT_EQ(range(end, start, "", SQL_LT),
              "\"P\" = 'x' AND ((\"Q\" < 'z' OR \"Q\" IS NULL) OR (\"Q\" = 'z' AND \"R\" < 0)) AND "
              "(\"Q\" > 'y' OR (\"Q\" = 'y' AND \"R\" >= 12))");
    // The extra condition comes last, bracketed when it holds an OR.
    EXPECT_EQ(range(start, start, "\"R\" > 1 OR \"R\" < 0", SQL_GE),
              "\"P\" = 'x' AND \"Q\" = 'y' AND \"R\" = 12 AND (\"R\" > 1 OR \"R\" < 0)");
    EXPECT_EQ(range("", "", "\"R\" > 1", SQL_GE), "\"R\" > 1");
}

TEST_F(SqlGen, OrderLists) {
    TmpScope scope;
    EXPECT_EQ(text(sql_order_list(1, 1, false)),
              "\"P\" NULLS FIRST,\"Q\" NULLS FIRST,\"R\" NULLS FIRST");
    EXPECT_EQ(text(sql_order_list(1, 1, true)),
              "\"P\" DESC NULLS LAST,\"Q\" DESC NULLS LAST,\"R\" DESC NULLS LAST");
    // A key of field 1 alone orders by fields 1, 2 and 3; of another single field by it alone.
    EXPECT_EQ(text(sql_order_list(1, 2, false)),
              "\"P\" NULLS FIRST,\"Q\" NULLS FIRST,\"R\" NULLS FIRST");
    EXPECT_EQ(text(sql_order_list(1, 3, false)), "\"R\" NULLS FIRST");
    EXPECT_EQ(text(sql_order_list(3, 1, false)),
              "\"x\" NULLS FIRST,\"y\" NULLS FIRST");  // only two fields
    // NOT NULL columns need no NULLS placement.
    schema_set_not_null(1, 2, true);
    EXPECT_EQ(text(sql_order_list(1, 1, true)),
              "\"P\" DESC NULLS LAST,\"Q\" DESC,\"R\" DESC NULLS LAST");
    EXPECT_EQ(text(sql_order_list(1, 1, false)), "\"P\" NULLS FIRST,\"Q\",\"R\" NULLS FIRST");
    // _SYSCOMPAT bit 1: no NULLS placement at all.
    sysint_set(SV_SYSCOMPAT, SYSCOMPAT_NO_NULLS);
    EXPECT_EQ(text(sql_order_list(1, 3, true)), "\"R\" DESC");
    EXPECT_EQ(text(sql_order_list(1, 1, false)), "\"P\",\"Q\",\"R\"");
}

TEST_F(SqlGen, ReadStatements) {
    TmpScope scope;
    const std::string asc = "\"P\" NULLS FIRST,\"Q\" NULLS FIRST,\"R\" NULLS FIRST";
    const std::string desc = "\"P\" DESC NULLS LAST,\"Q\" DESC NULLS LAST,\"R\" DESC NULLS LAST";
    std::string k = key3("x", "y", "12");
    EXPECT_EQ(
        text(sqlgen_find(1, 1, view(k), false)),
        "SELECT * FROM \"clientes\" WHERE \"P\" = 'x' AND \"Q\" = 'y' AND \"R\" = 12 ORDER BY " +
            asc + " LIMIT 1;");
    EXPECT_EQ(text(sqlgen_find_first(1, 2, S("x"), READ_AT_OR_AFTER)),
              "SELECT * FROM \"clientes\" WHERE \"P\" >= 'x' ORDER BY " + asc + " LIMIT 1;");
    EXPECT_EQ(text(sqlgen_find(1, 1, S(""), true)),
              "SELECT * FROM \"clientes\" ORDER BY " + asc + " LIMIT 1;");
    EXPECT_EQ(text(sqlgen_last(1, 1)), "SELECT * FROM \"clientes\" ORDER BY " + desc + " LIMIT 1;");
    EXPECT_EQ(text(sqlgen_next(1, 2, S("x  "), S(""), S("\xFF"))),
              "SELECT * FROM \"clientes\" WHERE \"P\" > 'x' ORDER BY " + asc + " LIMIT 1;");
    EXPECT_EQ(
        text(sqlgen_previous(1, 2, S("x  "), S("\"R\" > 0"), S(""))),
        "SELECT * FROM \"clientes\" WHERE (\"P\" < 'x' OR \"P\" IS NULL) AND \"R\" > 0 ORDER BY " +
            desc + " LIMIT 1;");
    // By read mode.
    EXPECT_EQ(text(sqlgen_read_one(1, 1, view(k), READ_LAST, S("\"R\" > 0"), S("x"))),
              text(sqlgen_last(1, 1)));
    EXPECT_EQ(text(sqlgen_read_one(1, 2, S("x"), 0x30, S(""), S(""))), "<error 163>");
    EXPECT_EQ(text(sqlgen_multi_read(1, 2, S("x"))),
              "SELECT * FROM \"clientes\" WHERE \"P\" = 'x' ORDER BY " + asc + ";");
    EXPECT_EQ(text(sqlgen_count(1, 1, S(""), S(""), S(""))), "SELECT COUNT (*) FROM \"clientes\";");
    EXPECT_EQ(text(sqlgen_count(1, 2, S("a"), S("m"), S(""))),
              "SELECT COUNT (*) FROM \"clientes\" WHERE \"P\" >= 'a' AND (\"P\" <= 'm' OR \"P\" IS "
              "NULL);");
    EXPECT_EQ(text(sqlgen_count(1, 0, S("a"), S("m"), S("\"R\" > 1"))),
              "SELECT COUNT (*) FROM \"clientes\" WHERE \"R\" > 1;");
    EXPECT_EQ(text(sqlgen_scan_chunk(1, 2, S("a"), S("\xFF"), SCAN_CHUNK_ROWS, S("\"R\" > 1"))),
              "SELECT * FROM \"clientes\" WHERE  \"P\" >= 'a' AND \"R\" > 1 ORDER BY " + asc +
                  " LIMIT 512;");
    EXPECT_EQ(text(sqlgen_scan_chunk(1, 2, S(""), S(""), 10, S(""))),
              "SELECT * FROM \"clientes\"   ORDER BY " + asc + " LIMIT 10;");
}

TEST_F(SqlGen, WriteStatements) {
    TmpScope scope;
    // Trailing placeholder fields are no columns; a short image reads blanks.
    std::string image = padded(
        {{"x", 3}, {"y", 5}, {"    12", 6}, {"Ana O'Neil", 20}, {"   -3.50", 10}, {"zz", 4}});
    EXPECT_EQ(text(sqlgen_insert(1, view(image))),
              "INSERT INTO \"clientes\" VALUES ('x','y',12,E'Ana O\\x27Neil',-3.50);");
    EXPECT_EQ(text(sqlgen_insert(1, S("x  y"))),
              "INSERT INTO \"clientes\" VALUES ('x','y',NULL,NULL,NULL);");
    // Only changed fields are set.
    std::string saved = image;
    std::string now = image;
    now.replace(8, 6, "    13");
    now.replace(14, 20, padded({{"Eva", 20}}));
    Str set = sql_set_list(1, view(now), view(saved));
    EXPECT_EQ(text(set), "\"R\" = 13,\"NOMBRE\" = 'Eva'");
    EXPECT_EQ(text(sql_set_list(1, view(saved), view(saved))), "");
    std::string k = key3("x", "y", "12");
    EXPECT_EQ(text(sqlgen_update_by_key(1, 1, view(k), set)),
              "UPDATE ONLY \"clientes\" SET \"R\" = 13,\"NOMBRE\" = 'Eva' WHERE \"P\" = 'x' AND "
              "\"Q\" = 'y' AND \"R\" = 12;");
    EXPECT_EQ(text(sqlgen_update(1, S(""), S("\"P\" = 'x'"))),
              "");  // nothing to set: nothing to run
    // Changing or deleting never runs without a condition.
    EXPECT_EQ(text(sqlgen_update(1, set, S(""))), "<error 163>");
    EXPECT_EQ(text(sqlgen_update_by_key(1, 1, S(""), set)), "<error 163>");
    EXPECT_EQ(text(sqlgen_delete_by_key(1, 1, S(""))), "<error 163>");
    EXPECT_EQ(text(sqlgen_delete_by_key(1, 2, S("x"))),
              "DELETE FROM ONLY \"clientes\" WHERE \"P\" = 'x';");
    EXPECT_EQ(text(sqlgen_delete_all(1)), "DELETE FROM ONLY \"clientes\";");
    EXPECT_EQ(text(sqlgen_delete_all(4)), "<error 151>");
    EXPECT_EQ(text(sqlgen_commit_point()), "");
    sysint_set(SV_AUXSTAT, i16(AUXSTAT_TRANSACTION));
    EXPECT_EQ(text(sqlgen_commit_point()), "COMMIT;");
}

TEST_F(SqlGen, QuotesInNamesAndValues) {
    define("we\"ird", {{"co\"l", 4, 'A'}});
    add_key(4, {{0, 4}});
    TmpScope scope;
    sysint_set(SV_AUXSTAT, i16(vx::expr::AUXSTAT_KEEP_CASE));
    EXPECT_EQ(text(sqlgen_find(4, 1, S("a'b"), false)),
              "SELECT * FROM \"we\"\"ird\" WHERE \"co\"\"l\" = E'a\\x27b' ORDER BY \"co\"\"l\" "
              "NULLS FIRST LIMIT 1;");
    EXPECT_EQ(text(sqlgen_delete_by_key(4, 1, S("x\"\\"))),
              "DELETE FROM ONLY \"we\"\"ird\" WHERE \"co\"\"l\" = E'x\\x22\\\\';");
}

TEST_F(SqlGen, CursorSlotsAndStatements) {
    bool first = false;
    EXPECT_EQ(cursor_take(1, &first), 1);
    EXPECT_TRUE(first);
    EXPECT_EQ(cursor_take(2, &first), 2);
    EXPECT_FALSE(first);
    EXPECT_EQ(cursor_file(2), 2);
    EXPECT_FALSE(cursor_release(1));       // another one is still open
    EXPECT_EQ(cursor_take(3, &first), 1);  // the lowest free slot
    for (u16 i = 3; i <= CURSOR_SLOTS; i++) EXPECT_EQ(cursor_take(1, &first), i);
    EXPECT_EQ(cursor_take(1, &first), CURSOR_NONE);
    EXPECT_EQ(cursor_take(0, &first), CURSOR_NONE);  // 0 marks a free slot
    EXPECT_EQ(cursors_open(), CURSOR_SLOTS);
    for (u16 i = 1; i < CURSOR_SLOTS; i++) EXPECT_FALSE(cursor_release(i));
    EXPECT_TRUE(cursor_release(CURSOR_SLOTS));   // the last one: commit
    EXPECT_FALSE(cursor_release(CURSOR_SLOTS));  // already free
    EXPECT_EQ(cursor_file(31), 0);

    TmpScope scope;
    EXPECT_EQ(text(sqlgen_cursor_declare(7, 1, 2, S("x"))),
              "DECLARE curs_7 CURSOR FOR SELECT * FROM \"clientes\" WHERE \"P\" = 'x' ORDER BY "
              "\"P\" NULLS FIRST,"
              "\"Q\" NULLS FIRST,\"R\" NULLS FIRST FOR UPDATE;");
    EXPECT_EQ(text(sqlgen_cursor_declare(7, 1, 2, S(""))), "<error 163>");
    EXPECT_EQ(text(sqlgen_cursor_fetch(7, READ_FIRST)), "FETCH FIRST FROM \"curs_7\";");
    EXPECT_EQ(text(sqlgen_cursor_fetch(7, READ_NEXT)), "FETCH NEXT FROM \"curs_7\";");
    EXPECT_EQ(text(sqlgen_cursor_fetch(7, READ_FIND)), "<error 163>");
    EXPECT_EQ(text(sqlgen_cursor_close(30)), "CLOSE curs_30;");
    EXPECT_EQ(text(sqlgen_cursor_close(31)), "<error 163>");
    EXPECT_EQ(text(sqlgen_update_current(1, S(""), 7)), "");
}

TEST_F(SqlGen, OverLongStatementsFailWithoutCutting) {
    // One text field of 20000 quotes: each becomes \x27, far beyond one string.
    define("big", {{"T", 20000, 'A'}});
    add_key(4, {{0, 20000}});
    std::string quotes(20000, '\'');
    ArenaStats before = tmp_stats();
    EXPECT_EQ(text(sqlgen_insert(4, view(quotes))), "<error 146>");
    EXPECT_EQ(text(sqlgen_find(4, 1, view(quotes), false)), "<error 146>");
    EXPECT_EQ(tmp_stats().used, before.used);  // nothing left behind
    // Just below the limit it still works.
    std::string plain(20000, 'a');
    TmpScope scope;
    Str ins = sqlgen_insert(4, view(plain));
    ASSERT_TRUE(ins.ok());
    EXPECT_EQ(ins.n, 20000 + std::string("INSERT INTO \"big\" VALUES ('');").size());
}
