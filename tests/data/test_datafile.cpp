// Data files against the test server: opening and open sets, moving through records that
// share a key value without asking the server again, finding by full and partial keys,
// loading dates and non-ASCII text, and the functions expressions reach them with.
#include "data/datafile_impl.h"
#include "datafile_support.h"

using namespace vx::data;
using namespace vx::rt;
using vx::test::text;

namespace {

constexpr const char* ITEMS =
    "CREATE TABLE items (k varchar(4) NOT NULL, seq integer NOT NULL, name varchar(12), "
    "amount numeric(8,2), born date, lvl numeric(3));"
    "CREATE INDEX items_k ON items (k);"
    "INSERT INTO items VALUES ('A',1,'one',1.50,'2017-08-29'),('B',1,'b1',2,NULL),"
    "('B',2,'b2',3,NULL),('B',3,'b3',4,NULL),('C',1,'O''Brien \"x\"',5,NULL),"
    "('D',1,'ni\xC3\xB1o',6,NULL);"
    "CREATE TABLE codes (code varchar(4) NOT NULL, label varchar(8));"
    "CREATE UNIQUE INDEX codes_code ON codes (code);"
    "INSERT INTO codes VALUES ('AB10','x'),('AB20','y'),('AC00','z');"
    "CREATE INDEX codes_label ON codes (label);"
    "CREATE TABLE clientes (id integer PRIMARY KEY, zona varchar(2) NOT NULL, saldo numeric(8,2));"
    "CREATE UNIQUE INDEX clientes_zi ON clientes (zona, id);"
    "INSERT INTO clientes VALUES (1,'N',10),(7,'N',1.5),(12,'S',2);";

class DataFile : public vx::test::DataFileTest {
protected:
    void SetUp() override {
        DataFileTest::SetUp();
        setup_tables(ITEMS);
        items = file("items");
        codes = file("codes");
        ASSERT_NE(items, 0);
        ASSERT_NE(codes, 0);
        ASSERT_EQ(datafile_open(items, OPEN_PLAIN), 0);
        ASSERT_EQ(datafile_open(codes, OPEN_PLAIN), 0);
    }
    // Moves and answers "status:k,seq" with the statements it sent.
    std::string move(u8 mode, u32* sent = nullptr) {
        u32 before = statements();
        u16 st = datafile_move(items, mode);
        if (sent) *sent = statements() - before;
        return std::to_string(st) + ":" + fields(items, "k", "seq");
    }
    u16 items = 0, codes = 0;
};

TEST_F(DataFile, OpenedFileIsBlankWithItsControlRecord) {
    EXPECT_EQ(datafile_ctrl(items, CW_KEY), 1);
    EXPECT_EQ(datafile_ctrl(items, CW_STATUS), STATUS_NONE);
    EXPECT_EQ(datafile_ctrl(items, CW_MULTI_SLOT), -1);
    EXPECT_EQ(datafile_ctrl(items, CW_FLAGS), OPEN_PLAIN);
    EXPECT_EQ(fields(items, "k", "name"), ",");
    // Closed files refuse record operations without a statement.
    ASSERT_EQ(datafile_close(items), 0);
    u32 before = statements();
    EXPECT_EQ(datafile_move(items, READ_FIRST), E_BADFILENUMBER);
    EXPECT_EQ(statements(), before);
    // With no current data file an omitted file is refused, not a crash.
    sysint_set(SV_CURFIL, 0);
    EXPECT_EQ(datafile_move(0, READ_FIRST), E_BADFILENUMBER);
    sysint_set(SV_CURFIL, 40);
    EXPECT_EQ(eval("FILELOCATE('NXT')"), "<error 151>");
    // A number outside the table reaching the control records is a fault of the code.
    EXPECT_DEATH(df::state(0), DATAFILE_ASSERTION);
    EXPECT_DEATH(df::state(vx::expr::STRUCT_MAX + 1), DATAFILE_ASSERTION);
}

TEST_F(DataFile, DuplicatedKeysAreSteppedWithoutTheServer) {
    EXPECT_EQ(move(READ_FIRST), "0:A,1");
    u32 sent = 0;
    EXPECT_EQ(move(VERB_NXT & 0xFF, &sent), "0:B,1");
    EXPECT_EQ(sent, 3u);  // next, count, multi-read
    EXPECT_GE(datafile_ctrl(items, CW_MULTI_SLOT), 1);
    EXPECT_EQ(move(READ_NEXT, &sent), "0:B,2");
    EXPECT_EQ(sent, 0u);
    EXPECT_EQ(move(READ_NEXT, &sent), "0:B,3");
    EXPECT_EQ(sent, 0u);
    EXPECT_EQ(move(READ_NEXT, &sent), "0:C,1");
    EXPECT_EQ(sent, 2u);  // next from B, count of C
    EXPECT_EQ(datafile_ctrl(items, CW_MULTI_SLOT), -1);
    // Backward into the set starts at its last record.
    EXPECT_EQ(move(VERB_PRV & 0xFF, &sent), "0:B,3");
    EXPECT_EQ(move(READ_PREVIOUS, &sent), "0:B,2");
    EXPECT_EQ(sent, 0u);
    // First and last leave the set.
    EXPECT_EQ(move(READ_LAST), "0:D,1");
    EXPECT_EQ(datafile_ctrl(items, CW_MULTI_SLOT), -1);
}

TEST_F(DataFile, EndsOfTheFile) {
    EXPECT_EQ(move(READ_FIRST), "0:A,1");
    EXPECT_EQ(move(READ_PREVIOUS), "1:,");  // start: cleared, status 1
    EXPECT_EQ(move(READ_LAST), "0:D,1");
    EXPECT_EQ(move(READ_NEXT), "2:,");
    EXPECT_EQ(move(READ_PREVIOUS), "0:D,1");  // after the end: the last record
    EXPECT_EQ(move(MOVE_CLEAR), "3:,");
    EXPECT_EQ(datafile_ctrl(items, CW_STATUS), STATUS_CLEARED);
    // Reload finds the record of the key fields in the current image.
    ASSERT_EQ(set(items, "k", "C"), 0);
    EXPECT_EQ(move(MOVE_RELOAD), "0:C,1");
}

TEST_F(DataFile, ValuesLoadFormattedForTheirFields) {
    ASSERT_EQ(datafile_find(items, 1, S("A"), 0), STATUS_EXACT);
    EXPECT_EQ(field(items, "born"), "20170829");
    EXPECT_EQ(text(datafile_field(items, 4)), "      1.50");   // numeric(8,2): digits, point and sign
    EXPECT_EQ(field(items, "name", IMAGE_SAVED), "one");
    EXPECT_EQ(eval("name{items}"), "one         ");
    ASSERT_EQ(datafile_find(items, 1, S("C"), 0), STATUS_EXACT);
    EXPECT_EQ(field(items, "name"), "O'Brien \"x\"");
    ASSERT_EQ(datafile_find(items, 1, S("D"), 0), STATUS_EXACT);
    EXPECT_EQ(field(items, "name"), "ni\xF1o");
    EXPECT_EQ(eval("FN$TRIM(name{items})"), "ni\xF1o");
    // A numeric column's field has room for its sign and every digit.
    ASSERT_EQ(db("UPDATE items SET lvl = -123, amount = -123456.78 WHERE k = 'D'"), "");
    ASSERT_EQ(datafile_move(items, MOVE_RELOAD), STATUS_EXACT);
    EXPECT_EQ(field(items, "lvl"), "-123");
    EXPECT_EQ(text(datafile_field(items, 4)), "-123456.78");
    EXPECT_EQ(error_code(), 0);
    // A value too wide for its field is never loaded cut: the field is marked and 168 noted.
    ASSERT_EQ(db("ALTER TABLE items ALTER lvl TYPE numeric(6); UPDATE items SET lvl = -12345 WHERE k = 'D'"), "");
    ASSERT_EQ(datafile_move(items, MOVE_RELOAD), STATUS_EXACT);
    EXPECT_EQ(field(items, "lvl"), "****");
    EXPECT_EQ(error_code(), E_DATAOUTBOUND);
    // So is a text longer than its field (the column widened behind the structure's back).
    ASSERT_EQ(db("ALTER TABLE items ALTER name TYPE varchar(20);"
                 "UPDATE items SET name = 'abcdefghijklmnop   ' WHERE k = 'D'"), "");
    ASSERT_EQ(datafile_move(items, MOVE_RELOAD), STATUS_EXACT);
    EXPECT_EQ(field(items, "name"), "************");
    ASSERT_EQ(db("UPDATE items SET name = 'abcdefghijkl        ' WHERE k = 'D'"), "");
    ASSERT_EQ(datafile_move(items, MOVE_RELOAD), STATUS_EXACT);
    EXPECT_EQ(field(items, "name"), "abcdefghijkl");
}

TEST_F(DataFile, FindByFullAndPartialKeys) {
    EXPECT_EQ(datafile_find(codes, 1, S("AB20"), 0), STATUS_EXACT);
    EXPECT_EQ(fields(codes, "code", "label"), "AB20,y");
    EXPECT_EQ(datafile_find(codes, 1, S("AB"), 0), STATUS_NONE);
    EXPECT_EQ(fields(codes, "code", "label"), "AB20,y");  // left as it was
    EXPECT_EQ(datafile_find(codes, 1, S("AB"), FIND_AT_OR_AFTER), STATUS_EXACT);
    EXPECT_EQ(field(codes, "code"), "AB10");
    EXPECT_EQ(datafile_find(codes, 1, S("AB15"), FIND_AT_OR_AFTER), STATUS_NEIGHBOUR);
    EXPECT_EQ(field(codes, "code"), "AB20");
    // Not found with flag 1: a blank record carrying the key.
    EXPECT_EQ(datafile_find(codes, 1, S("ZZ01"), FIND_PREPARE_NEW), STATUS_NONE);
    EXPECT_EQ(fields(codes, "code", "label"), "ZZ01,");
    // Quotes in a key value reach the server as a literal.
    EXPECT_EQ(datafile_find(codes, 1, S("'; D"), 0), STATUS_NONE);
    EXPECT_EQ(value("SELECT count(*) FROM codes"), "3");
}

TEST_F(DataFile, ExpressionFunctions) {
    EXPECT_EQ(eval("FILEFIND('AB';'codes')"), "2.00");
    EXPECT_EQ(eval("FILEFIND('AB';'codes';1;2)"), "0.00");
    EXPECT_EQ(eval("FILEFIND('AB15';'codes';1;2)"), "1.00");
    EXPECT_EQ(eval("IER('codes')"), "1.00");
    EXPECT_EQ(eval("KEY$('codes')"), "AB20");
    EXPECT_EQ(eval("KEY$('codes';1;2;2)"), "AB");
    EXPECT_EQ(eval("FILELOCATE('next';'codes')"), "0.00");
    EXPECT_EQ(field(codes, "code"), "AC00");
    EXPECT_EQ(eval("FILELOCATE('PREVIOUS';'codes')"), "0.00");
    EXPECT_EQ(eval("FILELOCATE('NXT';'codes')"), "0.00");
    EXPECT_EQ(field(codes, "code"), "AC00");
    EXPECT_EQ(eval("FILELOCATE(;'codes')"), "2.00");   // default NXT, past the end
    EXPECT_EQ(eval("FN#FLEN('items')"), "6.00");
    // Flag 8: the first record that the condition accepts (part of it untranslatable).
    EXPECT_EQ(eval("FILEFIND('code{codes} >= \"AB\" && FN$TRIM(label{codes}) == \"z\"';'codes';1;8)"),
              "0.00");
    EXPECT_EQ(field(codes, "code"), "AC00");
    // Nested data contexts reach the data files on the caller's connection.
    EXPECT_EQ(eval("SQLCHILD(SQLCHILD(SQLCHILD(FILEFIND('AB20';'codes'))))"), "0.00")
        << text(error_detail());
    EXPECT_EQ(field(codes, "code"), "AB20");
    EXPECT_EQ(sysint_get(SV_SQLSTK), 0);
    // Flag 4 with a key number: not found, so prepared and inserted.
    EXPECT_EQ(eval("FILEFIND('AD01';'codes';1;4)"), "0.00");
    EXPECT_EQ(value("SELECT count(*) FROM codes WHERE code = 'AD01'"), "1");
}

TEST_F(DataFile, NumbersInKeysCompareAsNumbers) {
    ASSERT_EQ(datafile_open(file("clientes"), OPEN_PLAIN), 0);
    EXPECT_EQ(eval("FILEFIND('1';'clientes';1;0)"), "0.00");
    EXPECT_EQ(eval("FILEFIND(' 7 ';'clientes';1;0)"), "0.00");
    EXPECT_EQ(eval("FILEFIND('7.00';'clientes';1;0)"), "0.00");
    EXPECT_EQ(eval("FILEFIND('8';'clientes';1;2)"), "1.00");  // at or after: the next one
    EXPECT_EQ(eval("FILEFIND('8';'clientes';1;0)"), "2.00");
    // A text field, then a number.
    EXPECT_EQ(eval("FILEFIND('N 7';'clientes';2;0)"), "0.00");
    EXPECT_EQ(eval("FILEFIND('N';'clientes';2;2)"), "0.00");  // a partial key: its text part
    EXPECT_EQ(eval("FILEFIND('N 8';'clientes';2;2)"), "1.00");
    EXPECT_EQ(fields(file("clientes"), "zona", "id"), "S,12");
}

// _SQLSTK is a variable anybody can set: a slot outside 0-7 is refused with 168 by every
// statement, never taken for a fault of the program that would end the process.
TEST_F(DataFile, CurrentSlotOutsideTheTableIsRefused) {
    for (const char* slot : {"9", "8", "-1", "32767"}) {
        std::string set = std::string("_SQLSTK=") + slot;
        EXPECT_EQ(eval(set + ";FN#FLEN('items')"), "<error 168>") << slot;
        EXPECT_EQ(text(error_detail()).substr(0, set.size() + 2), set + "\r\n") << "then the operand";
        EXPECT_EQ(eval(set + ";FILEFIND('AB';'codes')"), "<error 168>") << slot;
        TmpScope scope;
        EXPECT_EQ(sql_exec(S("SELECT 1;")), E_DATAOUTBOUND);
        EXPECT_EQ(text(sql_value(0, 0)), "");
        EXPECT_EQ(sql_row_count(), 0u);
        sql_clear();
        EXPECT_EQ(sql_check_connection(), E_DATAOUTBOUND);
        EXPECT_EQ(sql_connect(S("x"), S("y"), S("z"), S(""), 0), E_DATAOUTBOUND);
    }
    sysint_set(SV_SQLSTK, 9);
    sql_disconnect();
    EXPECT_LT(sysint_get(SV_SQLSTK), 8);
    EXPECT_EQ(sql_check_connection(), 0) << "comes to rest on a slot that has the connection";
    EXPECT_EQ(eval("FN#FLEN('items')"), "6.00");
}

TEST_F(DataFile, RelatedRecords) {
    EXPECT_EQ(eval("FILEREL(codes;0;1;0;\"AB10\")"), "0.00");
    EXPECT_EQ(eval("_RELRES"), "0.00");
    EXPECT_EQ(eval("FILEREL(codes;0;1;0;\"AB1\")"), "2.00");
    EXPECT_EQ(eval("_RELRES"), "4.00");
    EXPECT_EQ(eval("FILEREL(codes;0;1;2;\"AB15\")"), "1.00");
    EXPECT_EQ(eval("_RELRES"), "2.00");
    EXPECT_EQ(field(codes, "code"), "AB20");
    EXPECT_EQ(eval("FILEREL(codes;0;1;12;\"AC00\")"), "0.00");
    EXPECT_EQ(eval("_RELRES"), "12.00");
    EXPECT_EQ(value("SELECT count(*) FROM codes WHERE code = 'AC00'"), "0");
}

TEST_F(DataFile, RelationsTakeTheirKeyFromTheDictionary) {
    // Relation 1 of items to codes searches codes by its key 2 (the label).
    {
        TmpScope scope;
        ASSERT_EQ(vx::expr::struct_add_dict(items, str_format(32, "x:%uR1K2 y", unsigned(codes))),
                  0);
    }
    sysint_set(SV_CURFIL, items);
    EXPECT_EQ(eval("FILEREL(codes;2;0;0;\"y\")"), "2.00");  // no relation 2: the current key
    EXPECT_EQ(eval("_RELRES"), "4.00");
    EXPECT_EQ(eval("FILEREL(codes;1;0;0;\"y\")"), "0.00");
    EXPECT_EQ(eval("_RELRES"), "0.00");
    EXPECT_EQ(field(codes, "code"), "AB20");
    EXPECT_EQ(datafile_ctrl(codes, CW_KEY), 2);
    EXPECT_EQ(eval("FILEREL(codes;1;1;0;\"AC00\")"), "0.00");  // a key number given wins
    EXPECT_EQ(field(codes, "label"), "z");
}

TEST_F(DataFile, OpenSetsAndRestore) {
    ASSERT_EQ(datafile_close(items), 0);
    ASSERT_EQ(datafile_close(codes), 0);
    ASSERT_EQ(datafile_select(S("codes;2,items")), 0);
    EXPECT_TRUE(datafile_is_open(codes));
    EXPECT_EQ(datafile_ctrl(codes, CW_FLAGS), 2);
    EXPECT_EQ(datafile_ctrl(items, CW_FLAGS), OPEN_PLAIN | OPEN_TEST_READ);  // the last item
    EXPECT_EQ(fields(items, "k", "seq"), "A,1");  // the test read loaded the first record
    EXPECT_EQ(datafile_ctrl(items, CW_MULTI_SLOT), -1);
    ASSERT_EQ(datafile_select(S("codes")), 0);
    EXPECT_FALSE(datafile_is_open(items));
    EXPECT_TRUE(datafile_is_open(codes));
    ASSERT_EQ(datafile_select(S("RESTORE")), 0);
    EXPECT_TRUE(datafile_is_open(items));
    EXPECT_EQ(datafile_select(S("nosuch")), E_FILEOPEN);
    EXPECT_EQ(eval("FILESEL('items')"), "0.00");
    EXPECT_FALSE(datafile_is_open(codes));
}

}  // namespace

namespace {

// A database whose server reads backslashes in plain literals as escapes.
class DataFileOldStrings : public vx::test::DataFileTest {
protected:
    void SetUp() override {
        DataFileTest::SetUp();
        ASSERT_EQ(db("ALTER DATABASE " + db_name() + " SET standard_conforming_strings = off"), "");
        setup_tables(
            "CREATE TABLE k2 (a varchar(4) NOT NULL, b varchar(20) NOT NULL, v integer, "
            "note varchar(12), PRIMARY KEY (a, b));"
            "INSERT INTO k2 VALUES ('a','x',1,''),('b','y',2,''),(E'x\\\\','z',3,'');");
        k2 = file("k2");
        ASSERT_EQ(datafile_open(k2, OPEN_PLAIN), 0);
    }
    void TearDown() override {
        db("ALTER DATABASE " + db_name() + " RESET standard_conforming_strings");
        DataFileTest::TearDown();
    }
    u16 k2 = 0;
};

}  // namespace

TEST_F(DataFileOldStrings, BackslashesNeverEndALiteral) {
    ASSERT_EQ(sql_exec(S("SHOW standard_conforming_strings")), 0);
    ASSERT_EQ(text(sql_value(0, 0)), "off");
    EXPECT_EQ(eval("FILEFIND('x\\   '+' OR true --';'k2';1;0)"), "2.00") << text(error_detail());
    EXPECT_EQ(fields(k2, "a", "v"), ",");
    EXPECT_EQ(eval("FILEFIND('x\\  z';'k2';1;0)"), "0.00") << text(error_detail());
    EXPECT_EQ(fields(k2, "a", "v"), "x\\,3");
    ASSERT_EQ(set(k2, "note", "c:\\dir\\'"), 0);
    EXPECT_EQ(datafile_write(k2, VERB_SVE & 0xFF00, str_empty(), true), 0);
    EXPECT_EQ(value("SELECT note FROM k2 WHERE v = 3"), "c:\\dir\\'");
    // A condition's text value with a backslash, as a pattern the SQL carries.
    EXPECT_EQ(eval("FILEFIND('note{k2} == \"c:\\dir*\"';'k2';1;8)"), "0.00")
        << text(error_detail());
    EXPECT_EQ(field(k2, "v"), "3");
}

namespace {

constexpr const char* NULL_KEYS =
    "CREATE TABLE citas (fecha date, id integer NOT NULL, hora timestamp, note varchar(4));"
    "CREATE UNIQUE INDEX citas_fi ON citas (fecha, id);"
    "CREATE INDEX citas_h ON citas (hora);"
    "INSERT INTO citas VALUES (NULL,1,NULL,'n1'),(NULL,2,'2020-01-01 10:00','n2'),"
    "('2020-01-01',1,NULL,'d1'),('2020-02-01',3,'2020-01-02 08:00','d3');"
    "CREATE TABLE notas (k varchar(4), n integer);"
    "CREATE INDEX notas_k ON notas (k);"
    "INSERT INTO notas VALUES (NULL,1),('a',2),('b',3);";

class DataFileNullKeys : public vx::test::DataFileTest {
protected:
    void SetUp() override {
        DataFileTest::SetUp();
        setup_tables(NULL_KEYS);
        citas = file("citas");
        notas = file("notas");
    }
    std::string walk(u16 f, u8 first, u8 step, const char* a, const char* b) {
        std::string out;
        u16 st = datafile_move(f, first);
        for (int i = 0; st == STATUS_EXACT && i < 20; i++, st = datafile_move(f, step))
            out += (out.empty() ? "" : " ") + fields(f, a, b);
        return out;
    }
    u16 citas = 0, notas = 0;
};

}  // namespace

TEST_F(DataFileNullKeys, BlankDatesAndTimestampsCompareAsNullOnly) {
    EXPECT_EQ(datafile_open(citas, OPEN_TEST_READ), 0) << text(error_detail());
    EXPECT_FALSE(sysint_bit(SV_SYSCOMPAT, SYSCOMPAT_NO_NULLS));
    EXPECT_EQ(fields(citas, "id", "note"), "1,n1");
    EXPECT_EQ(walk(citas, READ_FIRST, READ_NEXT, "id", "note"), "1,n1 2,n2 1,d1 3,d3");
    EXPECT_EQ(walk(citas, READ_LAST, READ_PREVIOUS, "id", "note"), "3,d3 1,d1 2,n2 1,n1");
    EXPECT_EQ(datafile_find(citas, 1, S("               2"), 0), STATUS_EXACT)
        << text(error_detail());
    EXPECT_EQ(field(citas, "note"), "n2");
    // The key of the timestamp column alone.
    ASSERT_EQ(eval("FILEFIND('';'citas';2;2)"), "0.00") << text(error_detail());
    EXPECT_EQ(walk(citas, MOVE_RELOAD, READ_NEXT, "id", "note"), "1,n1 1,d1 2,n2 3,d3");
    // Another table's NULL-keyed row is still reached first.
    EXPECT_EQ(datafile_open(notas, OPEN_TEST_READ), 0);
    EXPECT_EQ(walk(notas, READ_FIRST, READ_NEXT, "k", "n"), ",1 a,2 b,3");
}

TEST_F(DataFileNullKeys, AFailedTestReadLeavesTheOrderingAlone) {
    ASSERT_EQ(db("DROP TABLE notas"), "");
    EXPECT_EQ(datafile_open(notas, OPEN_TEST_READ), E_SQLERROR);
    EXPECT_FALSE(sysint_bit(SV_SYSCOMPAT, SYSCOMPAT_NO_NULLS));
}
