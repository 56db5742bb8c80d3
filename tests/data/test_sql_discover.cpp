// Schema discovery against the test server: tables become structures, columns fields,
// indexes keys, and each table's name a variable holding its position.
#include "data/schema.h"
#include "data/sql.h"
#include "expr/structs.h"
#include "expr/vars.h"
#include "pg.h"
#include "runtime/error.h"
#include "runtime/sysvars.h"

using namespace vx::data;
using namespace vx::rt;
using vx::test::key_text;
using vx::test::read_text;
using vx::test::text;

namespace {

class SqlDiscover : public vx::test::SqlServer {
protected:
    // The fields of structure s as "name type width" items.
    static std::string fields(u16 s) {
        vx::expr::StructDesc d;
        if (vx::expr::struct_info(s, &d)) return "<none>";
        std::string out;
        for (u16 f = 1; f <= d.fields; f++) {
            vx::expr::FieldDesc fd;
            vx::expr::struct_field(s, f, &fd);
            out += (f > 1 ? ", " : "") + text(fd.name) + " " + fd.type + std::to_string(fd.width);
        }
        return out;
    }
    static std::string name(u16 s) {
        vx::expr::StructDesc d;
        return vx::expr::struct_info(s, &d) ? "<none>" : text(d.name);
    }
    static u16 keys(u16 s) {
        vx::expr::StructDesc d;
        return vx::expr::struct_info(s, &d) ? 0 : d.keys;
    }
    static u16 number_of(const char* table) {
        TmpScope scope;
        return vx::expr::struct_number(str_from_cstr(table));
    }
};

TEST_F(SqlDiscover, TablesBecomeStructuresWithFieldsKeysAndPositions) {
    ASSERT_EQ(db("CREATE TABLE clientes (codigo integer NOT NULL, nombre varchar(10), alta date, "
                 "importe numeric(10,2), \"fecha.alta\" varchar(10), \"FECHA\" varchar(8), PRIMARY KEY (codigo));"
                 "CREATE INDEX ON clientes (nombre, alta);"
                 "CREATE INDEX ON clientes (lower(nombre));"           // an expression first: no key
                 "CREATE INDEX ON clientes (alta, lower(nombre), codigo);"
                 "CREATE TABLE \"Ventas\" (a int, b int, c int, d int, e int, f int NOT NULL, g varchar(3));"
                 "CREATE INDEX ON \"Ventas\" (f, e, d, c, b, a);"
                 "CREATE TABLE art (a int, gone int, c varchar(4));"
                 "ALTER TABLE art DROP COLUMN gone;"
                 "CREATE INDEX ON art (c, a);"
                 "CREATE SCHEMA otro; CREATE TABLE otro.art (z int, y int); CREATE INDEX ON otro.art (y);"),
              "");
    ASSERT_EQ(connect(LOGIN_FIELDS), 0) << text(error_detail());
    ASSERT_EQ(vx::expr::struct_count(), 3);
    EXPECT_TRUE(sysint_bit(SV_AUXSTAT, vx::expr::AUXSTAT_KEEP_CASE));
    EXPECT_EQ(sysint_get(SV_SQLSTK), 0);
    for (u16 i = 0; i < SQL_SLOTS; i++) EXPECT_FALSE(sql_slot_state(i).has_result) << i;

    u16 c = number_of("clientes"), v = number_of("Ventas"), a = number_of("art");
    ASSERT_TRUE(c && v && a);
    EXPECT_EQ(number_of("ventas"), 0);   // names keep their case
    EXPECT_EQ(fields(c), "codigo N33, nombre A10, alta D8, importe 212, fecha.alta A10, FECHA D8");
    ASSERT_EQ(keys(c), 3);
    EXPECT_EQ(key_text(c, 1), "0+33");          // the primary key
    EXPECT_EQ(key_text(c, 2), "33+10,43+8");    // nombre, alta
    EXPECT_EQ(key_text(c, 3), "43+8");          // alta, up to the expression
    EXPECT_TRUE(schema_not_null(c, 1));
    EXPECT_FALSE(schema_not_null(c, 2));

    ASSERT_EQ(keys(v), 1);
    EXPECT_EQ(key_text(v, 1), "165+33,132+33,99+33,66+33,33+33");   // the first five of six
    EXPECT_TRUE(schema_not_null(v, 6));

    // Column numbers of indexes count dropped columns; another schema's table adds nothing.
    EXPECT_EQ(fields(a), "a N33, c A4");
    ASSERT_EQ(keys(a), 1);
    EXPECT_EQ(key_text(a, 1), "33+4,0+33");

    // Each name reads as the position of its table in the server's list.
    TmpScope scope;
    Str list = sql_table_list();
    EXPECT_EQ(read_text("clientes"), std::to_string(list_find(list, ',', S("clientes"))) + ".00");
    EXPECT_EQ(read_text("Ventas"), std::to_string(list_find(list, ',', S("Ventas"))) + ".00");
    EXPECT_EQ(read_text("art"), std::to_string(a) + ".00");
}

TEST_F(SqlDiscover, FlagsChooseNamesOnlyOrNothing) {
    ASSERT_EQ(db("CREATE TABLE uno (a int PRIMARY KEY); CREATE TABLE dos (b int);"), "");
    ASSERT_EQ(connect(0), 0);
    EXPECT_EQ(vx::expr::struct_count(), 0);
    ASSERT_EQ(connect(LOGIN_NAMES), 0);
    ASSERT_EQ(vx::expr::struct_count(), 2);
    EXPECT_EQ(fields(1), "");
    EXPECT_FALSE(vx::expr::var_find(S("uno")).found());   // no variables either

    // Data files defined already, or no database named: no discovery.
    ASSERT_EQ(connect(LOGIN_FIELDS), 0);
    EXPECT_EQ(vx::expr::struct_count(), 2);
    EXPECT_EQ(fields(1), "");
}

TEST_F(SqlDiscover, FortyTablesGiveTwentyNine) {
    ASSERT_EQ(db("DO $$ BEGIN FOR i IN 1..40 LOOP "
                 "EXECUTE format('CREATE TABLE t%s (id int PRIMARY KEY, v varchar(5))', i); END LOOP; END $$;"),
              "");
    ASSERT_EQ(connect(LOGIN_FIELDS), 0) << text(error_detail());
    EXPECT_EQ(vx::expr::struct_count(), DISCOVER_TABLES_MAX);
    EXPECT_EQ(sql_table_count(), 40);
    for (u16 s = 1; s <= DISCOVER_TABLES_MAX; s++) {
        EXPECT_EQ(fields(s), "id N33, v A5") << s;
        EXPECT_EQ(keys(s), 1) << s;
    }
}

TEST_F(SqlDiscover, OddTableNamesAreQuotedAndNeverEvaluated) {
    ASSERT_EQ(db("CREATE TABLE \"o'brien\" (x varchar(2), y date);"
                 "CREATE TABLE \"a,b\" (z int);"
                 "CREATE TABLE \"_TRACE\" (w int);"
                 "CREATE TABLE \"q=1+\" (w int);"),
              "");
    ASSERT_EQ(connect(LOGIN_FIELDS), 0) << text(error_detail());
    ASSERT_EQ(vx::expr::struct_count(), 4);
    EXPECT_EQ(fields(number_of("o'brien")), "x A2, y D8");
    EXPECT_EQ(fields(number_of("q=1+")), "w N33");
    EXPECT_EQ(sysint_get(SV_TRACE), 1);   // a table named like a system variable changes nothing
    TmpScope scope;
    Str list = sql_table_list();
    EXPECT_EQ(list_count(list, ','), 4) << text(list);
    EXPECT_NE(list_find(list, ',', S("\"a,b\"")), 0) << text(list);
}

TEST_F(SqlDiscover, AnEmptySchemaOrAnUnreadableOneEndsDiscovery) {
    ASSERT_EQ(connect(), 0);
    EXPECT_EQ(sql_discover(LOGIN_FIELDS), 0);
    EXPECT_EQ(vx::expr::struct_count(), 0);
    EXPECT_EQ(sql_table_list().n, 0);
    sql_disconnect();
    EXPECT_EQ(sql_discover(LOGIN_FIELDS), E_PERMISSION);   // no connection
    EXPECT_EQ(text(sql_table_list()), "");
}

}  // namespace
