// Generated statements against a real server: every statement kind is accepted, key-order
// walks with next and previous meet every record once in the order of the order list (NULL
// key parts included), and writes through keys and cursors change the rows they name.
// Each test works in a database of its own, made and dropped here.
#include <libpq-fe.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "data/sqlcond.h"
#include "data/sqlgen.h"
#include "expr/eval.h"
#include "expr/fieldref.h"
#include "expr/fields.h"
#include "runtime/store.h"
#include "sqlgen_support.h"

using namespace vx::data;
using namespace vx::rt;
using vx::test::padded;
using vx::test::text;
using vx::test::view;

namespace {

constexpr const char* TABLES =
    "CREATE TABLE clientes (\"P\" varchar(3), \"Q\" varchar(5), \"R\" numeric(6), \"NOMBRE\" "
    "varchar(20),"
    " \"IMPORTE\" numeric(10,2));"
    "CREATE TABLE codes (a varchar(3) NOT NULL, b varchar(4) NOT NULL);"
    "CREATE TABLE \"we\"\"ird\" (\"co\"\"l\" varchar(4));";

using Row = std::vector<std::string>;  // values, "~" for NULL

class SqlGenPg : public vx::test::SqlGenTest {
protected:
    void SetUp() override {
        SqlGenTest::SetUp();
        static int made = 0;
        db_ = "vx_sqlgen_" + std::to_string(::getpid()) + "_" + std::to_string(++made);
        admin_ = PQconnectdb("dbname=postgres");
        ASSERT_EQ(PQstatus(admin_), CONNECTION_OK)
            << PQerrorMessage(admin_) << " (is the test server running?)";
        run(admin_, "CREATE DATABASE " + db_);
        conn_ = PQconnectdb(("dbname=" + db_).c_str());
        ASSERT_EQ(PQstatus(conn_), CONNECTION_OK) << PQerrorMessage(conn_);
        run(conn_, TABLES);
        define("we\"ird", {{"co\"l", 4, 'A'}});
        add_key(4, {{0, 4}});
    }
    void TearDown() override {
        if (conn_) PQfinish(conn_);
        if (admin_) {
            if (PQstatus(admin_) == CONNECTION_OK) run(admin_, "DROP DATABASE IF EXISTS " + db_);
            PQfinish(admin_);
        }
        SqlGenTest::TearDown();
    }

    // Runs a statement and returns its rows; a failure is a test failure.
    std::vector<Row> run(PGconn* c, const std::string& sql) {
        std::vector<Row> rows;
        PGresult* r = PQexec(c, sql.c_str());
        ExecStatusType st = PQresultStatus(r);
        EXPECT_TRUE(st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK) << sql << "\n"
                                                                     << PQresultErrorMessage(r);
        if (st == PGRES_TUPLES_OK)
            for (int i = 0; i < PQntuples(r); i++) {
                Row row;
                for (int j = 0; j < PQnfields(r); j++)
                    row.push_back(PQgetisnull(r, i, j) ? "~" : PQgetvalue(r, i, j));
                rows.push_back(row);
            }
        PQclear(r);
        return rows;
    }
    std::vector<Row> run(Str sql) {
        EXPECT_TRUE(sql.ok()) << text(sql);
        return sql.ok() ? run(conn_, std::string(sql.p, sql.n)) : std::vector<Row>{};
    }

    // A record image of clientes: P, Q, R, NOMBRE, IMPORTE ("" for NULL).
    static std::string image(const char* p, const char* q, const char* r, const char* nombre = "",
                             const char* importe = "") {
        return padded({{p, 3}, {q, 5}, {r, 6}, {nombre, 20}, {importe, 10}, {"", 4}});
    }
    // Key 1 of a row read back: NULL parts become blanks.
    static std::string key_of(const Row& row) {
        auto v = [&](size_t i) { return row[i] == "~" ? std::string() : row[i]; };
        return padded({{v(0), 3}, {v(1), 5}, {v(2), 6}});
    }
    static std::string keys(const std::vector<Row>& rows) {
        std::string out;
        for (const Row& r : rows) out += r[0] + "," + r[1] + "," + r[2] + ";";
        return out;
    }

    void fill() {
        const char* recs[][5] = {{"x", "y", "2", "Ana", "1.50"}, {"x", "y", "1", "Bea", ""},
                                 {"x", "", "3", "Carla", ""},    {"", "y", "", "Dora", "-2"},
                                 {"a", "b", "5", "Eva", "10"},   {"x", "z", "", "O'Neil", ""},
                                 {"x", "y", "", "Fe", ""}};
        for (auto& r : recs) {
            TmpScope scope;
            run(sqlgen_insert(1, vx::test::view(image(r[0], r[1], r[2], r[3], r[4]))));
        }
    }

    PGconn* admin_ = nullptr;
    PGconn* conn_ = nullptr;
    std::string db_;
};

}  // namespace

TEST_F(SqlGenPg, WalksMeetEveryRecordInKeyOrder) {
    fill();
    const std::string expected = keys(run(
        conn_,
        "SELECT * FROM clientes ORDER BY \"P\" NULLS FIRST, \"Q\" NULLS FIRST, \"R\" NULLS FIRST"));
    for (bool compat : {false, true}) {
        sysint_set(SV_SYSCOMPAT, compat ? i16(SYSCOMPAT_NO_NULLS) : i16(0));
        // Without NULLS placement the server puts NULL last, so the walk holds on data without
        // NULL.
        if (compat)
            run(conn_,
                "UPDATE clientes SET \"P\" = coalesce(\"P\", ''), \"Q\" = coalesce(\"Q\", ''),"
                " \"R\" = coalesce(\"R\", 0)");
        std::string want =
            compat ? keys(run(conn_, "SELECT * FROM clientes ORDER BY 1, 2, 3")) : expected;
        // Forward: first, then next from each record's key.
        std::vector<Row> seen;
        TmpScope scope;
        std::vector<Row> rows = run(sqlgen_first(1, 1));
        while (rows.size() == 1 && seen.size() < 20) {
            seen.push_back(rows[0]);
            std::string k = key_of(rows[0]);
            rows = run(sqlgen_next(1, 1, view(k), S(""), S("\xFF")));
        }
        EXPECT_EQ(keys(seen), want) << "compat " << compat;
        // Backward: last, then previous.
        std::vector<Row> back;
        rows = run(sqlgen_last(1, 1));
        while (rows.size() == 1 && back.size() < 20) {
            back.insert(back.begin(), rows[0]);
            std::string k = key_of(rows[0]);
            rows = run(sqlgen_previous(1, 1, view(k), S(""), S("")));
        }
        EXPECT_EQ(keys(back), want) << "compat " << compat;
    }
}

TEST_F(SqlGenPg, BoundsCountsChunksAndConditions) {
    fill();
    TmpScope scope;
    // Next within the end key "x": stays inside P = 'x'.
    std::string from = padded({{"x", 3}, {"y", 5}, {"2", 6}});
    EXPECT_EQ(keys(run(sqlgen_next(1, 1, view(from), S(""), S("x  ")))), "x,z,~;");
    EXPECT_EQ(keys(run(sqlgen_next(1, 1, view(from), S(""), view(from)))), "");
    EXPECT_EQ(keys(run(sqlgen_find(1, 1, S("x  y    "), true))), "x,y,~;");
    EXPECT_EQ(keys(run(sqlgen_find(1, 1, view(from), false))), "x,y,2;");
    EXPECT_EQ(run(sqlgen_count(1, 1, S(""), S(""), S("")))[0][0], "7");
    EXPECT_EQ(run(sqlgen_count(1, 2, S("x"), S("x"), S("")))[0][0], "5");
    EXPECT_EQ(keys(run(sqlgen_multi_read(1, 2, S("a")))), "a,b,5;");
    Str filter = sql_condition(1, S("R{clientes}<2 || NOMBRE{clientes}=='*NEI*'"));
    EXPECT_EQ(keys(run(sqlgen_scan_chunk(1, 1, S("x"), S("\xFF"), SCAN_CHUNK_ROWS, filter))),
              "x,y,~;x,y,1;x,z,~;");
    EXPECT_EQ(keys(run(sqlgen_scan_chunk(1, 1, S(""), S(""), 2, S("")))), "~,y,~;a,b,5;");
    Str importe = sql_condition(1, S("IMPORTE{1}<0 && NOMBRE{1}<>'Eva'"));
    EXPECT_EQ(keys(run(sqlgen_scan_chunk(1, 1, S(""), S("\xFF"), 10, importe))),
              "~,y,~;x,~,3;x,y,~;x,y,1;x,z,~;");
}

TEST_F(SqlGenPg, WritesThroughKeysAndCursors) {
    fill();
    TmpScope scope;
    std::string saved = image("x", "y", "2", "Ana", "1.50");
    std::string now = image("x", "y", "2", "Ana Mar'a", "-7.25");
    Str set = sql_set_list(1, view(now), view(saved));
    std::string key = padded({{"x", 3}, {"y", 5}, {"2", 6}});
    run(sqlgen_update_by_key(1, 1, view(key), set));
    EXPECT_EQ(run(conn_, "SELECT \"NOMBRE\", \"IMPORTE\" FROM clientes WHERE \"R\" = 2")[0],
              (Row{"Ana Mar'a", "-7.25"}));
    // Through a cursor on the duplicated key x,y.
    bool first = false;
    u16 slot = cursor_take(1, &first);
    ASSERT_TRUE(first);
    run(str_from_cstr(SQL_START_TRANSACTION));
    run(sqlgen_cursor_declare(slot, 1, 1, S("x  y    ")));
    EXPECT_EQ(keys(run(sqlgen_cursor_fetch(slot, READ_FIRST))), "x,y,~;");
    EXPECT_EQ(keys(run(sqlgen_cursor_fetch(slot, READ_NEXT))), "x,y,1;");
    run(sqlgen_update_current(1, S("\"NOMBRE\" = 'Bea2'"), slot));
    EXPECT_EQ(keys(run(sqlgen_cursor_fetch(slot, READ_NEXT))), "x,y,2;");
    run(sqlgen_delete_current(1, slot));
    run(sqlgen_cursor_close(slot));
    ASSERT_TRUE(cursor_release(slot));
    run(str_from_cstr(SQL_COMMIT));
    EXPECT_EQ(keys(run(conn_, "SELECT * FROM clientes WHERE \"NOMBRE\" = 'Bea2'")), "x,y,1;");
    EXPECT_EQ(run(sqlgen_count(1, 2, S("x"), S("x"), S("")))[0][0], "4");
    run(sqlgen_delete_by_key(1, 2, S("a")));
    EXPECT_EQ(run(sqlgen_count(1, 0, S(""), S(""), S("")))[0][0], "5");
    // Quoted names, NOT NULL columns without NULLS placement.
    run(sqlgen_insert(4, S("a'\"b")));
    EXPECT_EQ(run(sqlgen_find(4, 1, S("a'\"b"), false))[0][0], "a'\"b");
    schema_set_not_null(2, 1, true);
    schema_set_not_null(2, 2, true);
    run(sqlgen_insert(2, S("001X   ")));
    run(sqlgen_insert(2, S("001Y   ")));
    EXPECT_EQ(run(sqlgen_next(2, 1, S("001X"), S(""), S("")))[0][1], "Y");
    run(sqlgen_delete_all(1));
    EXPECT_EQ(run(sqlgen_count(1, 1, S(""), S(""), S("")))[0][0], "0");
}

// For every row, when the evaluator accepts the record the translated condition must have
// let the server return it.
TEST_F(SqlGenPg, TranslatedConditionsKeepEveryRecordTheEvaluatorAccepts) {
    fill();
    sysint_set(SV_CURFIL, 1);
    const char* conditions[] = {
        "R{}<2",
        "R{}<>5",
        "R{}>-1",
        "R{}==0",
        "R{}>=0 && R{}<3",
        "P{}<'b'",
        "Q{}<>'y'",
        "Q{}=='*'",
        "NOMBRE{}=='*NEI*'",
        "NOMBRE{}=='a*'",
        "IMPORTE{}<0 || NOMBRE{}=='Eva'",
        "(R{}>1 || Q{}=='z') && P{}>'a'",
        "IMPORTE{}<=1.5 && R{}<>3",
        "P{}>=''",
        "P{}<'x'",
        "P{}<='x'",
        "Q{}=='y    '",
        "Q{}>'y'",
        "NOMBRE{}=='*a'",
        "IMPORTE{}>=-2",
        "R{}<=-1 || Q{}<'z'",
    };
    const std::vector<Row> all = run(conn_, "SELECT * FROM clientes");
    const char types[] = {'A', 'A', 'N', 'A', '2'};
    const u16 widths[] = {3, 5, 6, 20, 10};
    for (const char* c : conditions) {
        TmpScope scope;
        Str sql = sql_condition(1, str_from_cstr(c));
        ASSERT_TRUE(sql.ok()) << c;
        std::vector<Row> got =
            run(conn_, "SELECT * FROM clientes" + (sql.n ? " WHERE " + text(sql) : ""));
        for (const Row& row : all) {
            std::string image;
            for (size_t i = 0; i < 5; i++) {
                std::string v = row[i] == "~" ? "" : row[i];
                image += text(vx::expr::field_fit(types[i], view(v), widths[i]));
            }
            image += "    ";
            image += image;
            ASSERT_EQ(store_set(vx::expr::RECORD_LIST, 0, view(image)), 0);
            if (vx::expr::expr_condition(str_from_cstr(c)) != 1) continue;
            bool returned = false;
            for (const Row& g : got) returned = returned || g == row;
            EXPECT_TRUE(returned) << c << " -> " << text(sql) << " lost " << keys({row}) << " "
                                  << row[3];
        }
    }
}
