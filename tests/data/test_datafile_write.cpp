// Writing data files against the test server: the key check of inserts, saves that send only
// the changed fields and leave other rows and columns alone (also through a cursor when the
// key value is shared), deletes that reposition, and the update expressions of the
// application's update file.
#include <filesystem>
#include <fstream>

#include "datafile_support.h"

using namespace vx::data;
using namespace vx::rt;
using vx::test::text;

namespace {

constexpr const char* TABLES =
    "CREATE TABLE stock (k varchar(4) NOT NULL, seq integer NOT NULL, name varchar(12), "
    "qty numeric(6,2), born date);"
    "CREATE INDEX stock_k ON stock (k);"
    "INSERT INTO stock VALUES ('A',1,'one',1,'2020-01-02'),('B',1,'b1',2,NULL),"
    "('B',2,'b2',3,NULL),('C',1,'c',4,NULL);"
    "CREATE TABLE tally (k varchar(4) PRIMARY KEY, n integer, label varchar(8));"
    "INSERT INTO tally VALUES ('a',1,'one');";

class DataWrite : public vx::test::DataFileTest {
protected:
    void SetUp() override {
        DataFileTest::SetUp();
        setup_tables(TABLES);
        stock = file("stock");
        ASSERT_NE(stock, 0);
        ASSERT_EQ(datafile_open(stock, OPEN_PLAIN), 0);
    }
    static std::string row(const std::string& where) {
        return value("SELECT k||','||seq||','||coalesce(name,'~')||','||coalesce(qty::text,'~')||','||"
                     "coalesce(to_char(born,'YYYY-MM-DD'),'~') FROM stock WHERE " + where);
    }
    static std::string count() { return value("SELECT count(*) FROM stock"); }
    u16 write(u16 verb, bool follow_up = true) {
        return datafile_write(stock, verb & 0xFF00, str_empty(), follow_up);
    }
    u16 stock = 0;
};

TEST_F(DataWrite, InsertChecksTheKey) {
    ASSERT_EQ(datafile_find(stock, 1, S("A"), 0), STATUS_EXACT);
    // Same key: status 5, nothing written.
    EXPECT_EQ(write(VERB_INS), STATUS_EXISTS);
    EXPECT_EQ(datafile_ctrl(stock, CW_STATUS), STATUS_EXISTS);
    EXPECT_EQ(count(), "4");
    // A blank key is not written and reports 0.
    ASSERT_EQ(datafile_clear(stock), STATUS_CLEARED);
    EXPECT_EQ(write(VERB_INS), 0);
    EXPECT_EQ(count(), "4");
    // A new key goes in, date and quotes and a non-ASCII letter with it.
    ASSERT_EQ(set(stock, "k", "E"), 0);
    ASSERT_EQ(set(stock, "seq", "7"), 0);
    ASSERT_EQ(set(stock, "name", "O'N\xF1\"z"), 0);
    ASSERT_EQ(set(stock, "born", "20170829"), 0);
    EXPECT_EQ(write(VERB_INS), 0);
    EXPECT_EQ(row("k = 'E'"), "E,7,O'N\xC3\xB1\"z,~,2017-08-29");
    EXPECT_EQ(field(stock, "k", IMAGE_SAVED), "E");  // the saved image follows
    // _UPSTAT bit 64: no look for the key first.
    sysint_or(SV_UPSTAT, UPSTAT_NO_KEY_CHECK);
    EXPECT_EQ(write(VERB_INS), 0);
    EXPECT_EQ(value("SELECT count(*) FROM stock WHERE k = 'E'"), "2");
}

TEST_F(DataWrite, SaveSendsOnlyChangedFields) {
    ASSERT_EQ(datafile_find(stock, 1, S("C"), 0), STATUS_EXACT);
    ASSERT_EQ(db("UPDATE stock SET qty = 40 WHERE k = 'C'"), "");  // changed behind our back
    ASSERT_EQ(set(stock, "name", "ca\xF1" "a 'x'"), 0);
    EXPECT_EQ(write(VERB_SVE), 0);
    EXPECT_EQ(row("k = 'C'"), "C,1,ca\xC3\xB1" "a 'x',40.00,~");
    EXPECT_EQ(field(stock, "name", IMAGE_SAVED), "ca\xF1" "a 'x'");
    // Unchanged: no statement at all.
    u32 before = statements();
    EXPECT_EQ(write(VERB_SVE), 0);
    EXPECT_EQ(statements(), before + 0);
    // A record never read has no key to save by.
    ASSERT_EQ(datafile_clear(stock), STATUS_CLEARED);
    ASSERT_EQ(set(stock, "k", "C"), 0);
    EXPECT_EQ(write(VERB_SVE), STATUS_NONE);
    EXPECT_EQ(row("k = 'C'"), "C,1,ca\xC3\xB1" "a 'x',40.00,~");
    // A record deleted meanwhile is reported, not taken as saved.
    ASSERT_EQ(datafile_find(stock, 1, S("A"), 0), STATUS_EXACT);
    ASSERT_EQ(db("DELETE FROM stock WHERE k = 'A'"), "");
    ASSERT_EQ(set(stock, "name", "gone"), 0);
    EXPECT_EQ(write(VERB_SVE), STATUS_NONE);
}

TEST_F(DataWrite, SharedKeysAreWrittenThroughACursor) {
    ASSERT_EQ(datafile_find(stock, 1, S("B"), 0), STATUS_EXACT);
    ASSERT_EQ(datafile_move(stock, READ_NEXT), STATUS_EXACT);
    ASSERT_EQ(field(stock, "seq"), "2");
    ASSERT_EQ(set(stock, "name", "second"), 0);
    EXPECT_EQ(write(VERB_SVE), 0);
    EXPECT_EQ(row("k = 'B' AND seq = 2"), "B,2,second,3.00,~");
    EXPECT_EQ(row("k = 'B' AND seq = 1"), "B,1,b1,2.00,~");
    EXPECT_FALSE(sysint_bit(SV_AUXSTAT, AUXSTAT_TRANSACTION));
    EXPECT_EQ(cursors_open(), 0);
    // The set was read again and the position kept.
    EXPECT_EQ(fields(stock, "seq", "name"), "2,second");
    EXPECT_EQ(datafile_move(stock, READ_PREVIOUS), STATUS_EXACT);
    EXPECT_EQ(fields(stock, "seq", "name"), "1,b1");
    // Delete of one of them; the file moves on to the next record at or after the key.
    EXPECT_EQ(eval("FILELOCATE('DEL';'stock')"), "0.00");
    EXPECT_EQ(value("SELECT string_agg(seq::text, ',' ORDER BY seq) FROM stock WHERE k = 'B'"), "2");
    EXPECT_EQ(fields(stock, "k", "seq"), "B,2");
}

TEST_F(DataWrite, NoFreeCursorWritesNothing) {
    bool first = false;
    for (u16 i = 0; i < CURSOR_SLOTS; i++) ASSERT_NE(cursor_take(stock, &first), CURSOR_NONE);
    ASSERT_EQ(datafile_find(stock, 1, S("B"), 0), STATUS_EXACT);
    ASSERT_EQ(set(stock, "name", "never"), 0);
    EXPECT_EQ(write(VERB_SVE), CURSOR_NONE);
    EXPECT_EQ(value("SELECT count(*) FROM stock WHERE name = 'never'"), "0");
    cursors_reset();
}

TEST_F(DataWrite, DeleteRepositions) {
    ASSERT_EQ(datafile_find(stock, 1, S("A"), 0), STATUS_EXACT);
    EXPECT_EQ(write(VERB_DEL), 0);
    EXPECT_EQ(count(), "3");
    EXPECT_EQ(fields(stock, "k", "seq"), "B,1");
    EXPECT_EQ(datafile_ctrl(stock, CW_STATUS), 0);
}

TEST_F(DataWrite, UpdateExpressionsRunAroundWrites) {
    env_set(ENV_APNAME, S("VXW01Q:Varnox"));
    std::string folder = std::filesystem::current_path().string();
    env_set(ENV_DATA, view(folder));
    std::ofstream(std::filesystem::current_path() / "VXRELUPSQL.DAT")
        << "[other]\n00 BAD#=1\n[stock]\n00 TOTAL#=TOTAL#+_SGN*qty{stock}\n"
           "01 ONE#=ONE#+1\n02 TWO#=TWO#+1\n";
    ASSERT_EQ(vx::test::assign("TOTAL#", vx::test::num("0")), 0);
    ASSERT_EQ(datafile_find(stock, 1, S("C"), 0), STATUS_EXACT);
    ASSERT_EQ(set(stock, "qty", "10"), 0);
    EXPECT_EQ(write(VERB_SVE), 0);  // -4 before, +10 after
    EXPECT_EQ(vx::test::read_text("TOTAL#"), "6.00");
    EXPECT_EQ(vx::test::read_text("ONE#"), "2.00");
    EXPECT_EQ(vx::test::read_text("BAD#"), "0.00");
    EXPECT_EQ(sysint_get(SV_SGN), 0);
    EXPECT_TRUE(sysint_bit(SV_UPSTAT, UPSTAT_CONNECTED));
    EXPECT_EQ(datafile_write(stock, WRITE_DELETE, S("2"), true), 0);
    EXPECT_EQ(vx::test::read_text("TOTAL#"), "-4.00");
    EXPECT_EQ(vx::test::read_text("TWO#"), "1.00");
    // C was the last record: nothing follows it, the buffer is cleared.
    EXPECT_EQ(fields(stock, "k", "qty"), ",");
    EXPECT_EQ(datafile_write(stock, WRITE_DELETE, S("NONE"), false), STATUS_NONE);
    EXPECT_EQ(vx::test::read_text("TOTAL#"), "-4.00");
}

}  // namespace

namespace {

TEST_F(DataWrite, UpdateByKeyInsertsTheMissingRecordWhenAllowed) {
    u16 tally = file("tally");
    ASSERT_EQ(datafile_open(tally, OPEN_PLAIN), 0);
    auto tallies = [] {
        return value(
            "SELECT string_agg(k||'='||coalesce(n::text,'~')||coalesce(label,'~'), ',' ORDER BY k) "
            "FROM tally");
    };
    u32 rows = 9;
    EXPECT_EQ(sql_update_by_key(tally, 1, S("a"), S("\"n\" = 5"), true, &rows), 0);
    EXPECT_EQ(rows, 1u);
    EXPECT_EQ(sysint_get(SV_RELRES), 0);
    EXPECT_EQ(sql_update_by_key(tally, 1, S("b"), S("\"n\" = 6"), false, &rows), 0);
    EXPECT_EQ(rows, 0u);
    EXPECT_EQ(tallies(), "a=5one");
    EXPECT_EQ(sql_update_by_key(tally, 1, S("b"), S("\"n\" = 6,\"label\" = 'two'"), true, &rows),
              0);
    EXPECT_EQ(rows, 1u);
    EXPECT_EQ(sysint_get(SV_RELRES), RELRES_MISSING);
    EXPECT_EQ(tallies(), "a=5one,b=6two");
    EXPECT_EQ(fields(tally, "k", "n"), "b,");  // the record made for the insert
    EXPECT_EQ(sql_update_by_key(tally, 1, S("c"), S(""), true, &rows), 0);  // nothing to set
    EXPECT_EQ(rows, 0u);
    EXPECT_EQ(sql_update_by_key(tally, 1, S("c"), S("\"nope\" = 1"), true, &rows), E_SQLERROR);
    EXPECT_EQ(tallies(), "a=5one,b=6two");
}

}  // namespace
