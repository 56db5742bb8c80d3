// The parts of the connection layer that need no server: server messages, the column type
// table, the option file, the files of the roles and the hook table.
#include <sys/stat.h>

#include "data/sql.h"
#include "pg.h"
#include "runtime/env.h"
#include "runtime/error.h"
#include "runtime/startup.h"

using namespace vx::data;
using namespace vx::rt;
using vx::test::text;

namespace {

class SqlBasics : public vx::test::SqlFixture {
protected:
    std::string param(Str ConnParams::*field) {
        ConnParams p;
        u16 rc = sql_params_read(S("sqlparams.dat"), &p);
        return rc ? "<error " + std::to_string(rc) + ">" : text(p.*field);
    }
};

TEST_F(SqlBasics, ServerMessagesLoseTheirTailAndBecomeWindows1252) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"la relaci\xC3\xB3n \xC2\xAB" "clientes\xC2\xBB no existe\n", "la relaci\xF3n \"clientes\" no existe"},
        {"no existe la relaci\xC3\xB3n \xC2\xAB" "clientes\xC2\xBB", "no existe la relaci\xF3n \"clientes"},
        {"contrase\xC3\xB1" "a incorrecta\r\n", "contrase\xF1" "a incorrecta"},
        {"ERROR:  syntax error at or near \"x\"\nLINE 1: x\n        ^\n", "ERROR:  syntax error at or near \"x\"\nLINE 1: x\n        ^"},
        {"valor 42.", "valor"},
        {"precio \xE2\x82\xAC y \xD1\x8F fin", "precio \x80 y ? fin"},   // the euro has a byte, Cyrillic none
        {"\n\n  12", ""},
    };
    for (const Case& c : cases) {
        TmpScope scope;
        EXPECT_EQ(text(sql_clean_message(str_from_cstr(c.in))), c.out) << c.in;
    }
}

TEST_F(SqlBasics, ColumnTypesFollowTheTypeAndTheName) {
    struct Case {
        const char *type, *name, *precision, *scale, *length;
        char letter;
        u16 width;
    } cases[] = {
        {"date", "alta", "", "", "", 'D', 8},
        {"numeric", "importe", "10", "2", "", '2', 12},   // sign and point too
        {"integer", "codigo", "32", "0", "", 'N', 33},
        {"bigint", "n", "64", "", "", 'N', 65},
        {"double precision", "x", "53", "", "", 'N', 54},
        {"numeric", "free", "", "", "", 'N', 21},        // no precision: 20 digits
        {"numeric", "fine", "30", "12", "", '9', 32},     // more decimals than a digit type holds
        {"numeric", "round", "5", "-2", "", 'N', 6},      // a negative scale rounds to tens
        {"character varying", "nombre", "", "", "10", 'A', 10},
        {"character varying", "fecha.alta", "", "", "10", 'A', 10},
        {"character varying", "FECHA.alta", "", "", "10", 'D', 10},
        {"character", "FECHA", "", "", "8", 'D', 8},
        {"text", "DATE", "", "", "", 'D', 8},
        {"text", "FEC", "", "", "", 'D', 8},
        {"text", "fecha", "", "", "", 'A', 255},           // the words are compared exactly
        {"text", "FECHAS", "", "", "", 'A', 255},
        {"character varying", "big", "", "", "10485760", 'A', 65535},
        {"timestamp without time zone", "t", "", "", "", 'A', 255},
    };
    for (const Case& c : cases) {
        ColumnType t = sql_column_type(str_from_cstr(c.type), str_from_cstr(c.name), str_from_cstr(c.precision),
                                       str_from_cstr(c.scale), str_from_cstr(c.length));
        EXPECT_EQ(t.type, c.letter) << c.type << " " << c.name;
        EXPECT_EQ(t.width, c.width) << c.type << " " << c.name;
    }
}

TEST_F(SqlBasics, OptionFileValuesAreCleanedAndTheLastLineWins) {
    write_file("sqlparams.dat",
               "sqlhost=server1\r\nuser=admin\r\ndatabase:'Ventas'\r\npassw='Se:cre to'\r\n"
               "user:first\r\nsqlhost='Server2'\r\n");
    EXPECT_EQ(param(&ConnParams::host), "Server2");
    EXPECT_EQ(param(&ConnParams::database), "Ventas");
    EXPECT_EQ(param(&ConnParams::user), "FIRST");
    EXPECT_EQ(param(&ConnParams::password), "Se:cre to");

    // A later key=value line beats an earlier key:value line too.
    write_file("sqlparams.dat", "user:first\nuser=admin\n");
    EXPECT_EQ(param(&ConnParams::user), "ADMIN");
    write_file("sqlparams.dat", "user='admin'\n");
    EXPECT_EQ(param(&ConnParams::user), "admin");
    EXPECT_EQ(param(&ConnParams::host), "");

    // Several options on one line, and a key that only ends another word is no key.
    write_file("sqlparams.dat", "sqlhost=h1 database=d1\nmysqlhost=other\n");
    EXPECT_EQ(param(&ConnParams::host), "H1");
    EXPECT_EQ(param(&ConnParams::database), "D1");
}

TEST_F(SqlBasics, MissingOrEmptyOptionFileGives162WithoutDetail) {
    fail_with_detail(0, S("old detail"), false);
    EXPECT_EQ(param(&ConnParams::host), "<error 162>");
    EXPECT_EQ(text(error_detail()), "");
    write_file("sqlparams.dat", "\r\n  \r\n");
    EXPECT_EQ(param(&ConnParams::host), "<error 162>");
}

TEST_F(SqlBasics, OptionFileIsAlsoLookedForInTheDataFolder) {
    std::filesystem::create_directories(dir_.path() / "datos");
    write_file("datos/sqlparams.dat", "sqlhost=from_data\n");
    ASSERT_EQ(env_set(ENV_DATA, S("nowhere,datos")), 0);
    EXPECT_EQ(param(&ConnParams::host), "FROM_DATA");
    write_file("sqlparams.dat", "sqlhost=here\n");
    EXPECT_EQ(param(&ConnParams::host), "HERE");

    // A name with a folder part is only looked for as named.
    ConnParams p;
    EXPECT_EQ(sql_params_read(S("sub/sqlparams.dat"), &p), E_SQLERROR);
}

TEST_F(SqlBasics, RolesNameTheirRememberedLoginFiles) {
    struct Case {
        u16 flags;
        const char* file;
    } cases[] = {{0, "sqlusrprm.dat"}, {2, "sqlusrprm.dat"}, {4, "sqladmprm.dat"}, {4 | 3, "sqladmprm.dat"},
                 {8, "slqusrpr2.dat"}, {12, ""}, {16, "sqlusrprm.dat"}, {16 + 8 + 1, "slqusrpr2.dat"}};
    for (const Case& c : cases) EXPECT_EQ(text(sql_role_file(c.flags)), c.file) << c.flags;
}

u16 progress_stub(u16) { return 0; }

TEST_F(SqlBasics, HookTableTakesEntries0To24) {
    AnyFn fn = reinterpret_cast<AnyFn>(progress_stub);
    EXPECT_EQ(sql_set_hook(25, fn), HOOK_REFUSED);
    EXPECT_EQ(sql_get_hook(25), nullptr);
    EXPECT_EQ(sql_set_hook(24, fn), 0);
    EXPECT_EQ(sql_get_hook(24), fn);
    EXPECT_EQ(sql_set_hook(24, nullptr), 0);
    EXPECT_EQ(sql_set_hook(HOOK_QUERY_PROGRESS, fn), 0);
    EXPECT_EQ(hook_get(HOOK_QUERY_PROGRESS), fn);
}

TEST_F(SqlBasics, WithoutConnectionStatementsFailAndSlotsStayEmpty) {
    u32 rows = 7;
    EXPECT_EQ(sql_exec_into(S("SELECT 1"), SLOT_AUTO, &rows), E_SQLERROR);
    EXPECT_EQ(rows, 0u);
    EXPECT_EQ(error_module(), M_SQLEXEC);
    EXPECT_NE(text(error_detail()).find("SELECT 1"), std::string::npos);
    EXPECT_EQ(text(sql_value(0, 0)), "");
    EXPECT_EQ(sql_row_count(3), 0u);
    EXPECT_EQ(sysint_get(SV_SQLSTK), 3);
    EXPECT_EQ(sql_column(S("x")), -1);
    sql_disconnect();   // walks back to slot 0
    EXPECT_EQ(sysint_get(SV_SQLSTK), 0);
}

using SqlBasicsDeathTest = SqlBasics;

// A slot number the program hands over is checked by an assertion; _SQLSTK, which anybody
// can set, is not: outside 0-7 it is refused with 168.
TEST_F(SqlBasicsDeathTest, SlotNumbersFrom8AreAFault) {
    EXPECT_DEATH(sql_value(0, 0, SQL_SLOTS), SLOT_ASSERTION);
    EXPECT_DEATH(sql_exec_into(S("SELECT 1"), SQL_SLOTS, nullptr), SLOT_ASSERTION);
    sysint_set(SV_SQLSTK, 9);
    EXPECT_EQ(sql_exec(S("SELECT 1")), E_DATAOUTBOUND);
    EXPECT_EQ(text(error_detail()), "_SQLSTK=9");
    sysint_set(SV_SQLSTK, -1);
    sql_disconnect();
    EXPECT_EQ(sysint_get(SV_SQLSTK), -1) << "nothing to finish, nowhere to walk";
    EXPECT_EQ(sql_exec(S("SELECT 1")), E_DATAOUTBOUND);
    sysint_set(SV_SQLSTK, 0);
}

}  // namespace
