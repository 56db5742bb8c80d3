// The server lost in the middle of a write: a trigger ends its own backend (as an operator's
// pg_terminate_backend would) while an insert, a save, a delete, a save through a cursor, an
// update with insertion, the update expressions around a write or a Copy load runs. Each
// must end with the server's error code and message, report nothing as done, leave the
// table as it was and leave a connection that works for the next statement.
#include <filesystem>
#include <fstream>

#include "data/copy.h"
#include "datafile_support.h"
#include "runtime/env.h"
#include "runtime/error.h"

using namespace vx::data;
using namespace vx::rt;
namespace fs = std::filesystem;
using vx::test::text;

namespace {

constexpr const char* TABLES =
    "CREATE TABLE stock (k varchar(4) NOT NULL, seq integer NOT NULL, name varchar(12), qty integer);"
    "CREATE INDEX stock_k ON stock (k);"
    "INSERT INTO stock VALUES ('A',1,'one',1),('B',1,'b1',2),('B',2,'b2',3);"
    "CREATE TABLE tally (k varchar(4) PRIMARY KEY, n integer);"
    "INSERT INTO tally VALUES ('a',1);"
    // Ends the backend that runs it, as an operator would from another connection.
    "CREATE FUNCTION vx_kill() RETURNS trigger LANGUAGE plpgsql AS "
    "$$ BEGIN PERFORM pg_terminate_backend(pg_backend_pid()); RETURN NEW; END $$;";

// A trigger that ends the backend before the given action on the table.
std::string kill_on(const char* table, const char* action) {
    return std::string("CREATE TRIGGER vx_kill_") + table + " BEFORE " + action + " ON " + table +
           " FOR EACH ROW EXECUTE FUNCTION vx_kill();";
}

class ServerLost : public vx::test::DataFileTest {
protected:
    void SetUp() override {
        DataFileTest::SetUp();
        setup_tables(TABLES);
        stock = file("stock");
        ASSERT_NE(stock, 0);
        ASSERT_EQ(datafile_open(stock, OPEN_PLAIN), 0);
    }
    static std::string rows() {
        return value("SELECT string_agg(k||seq||'='||coalesce(name,'~')||'/'||coalesce(qty::text,'~'), ',' "
                     "ORDER BY k, seq) FROM stock");
    }
    static std::string tallies() {
        return value("SELECT string_agg(k||'='||coalesce(n::text,'~'), ',' ORDER BY k) FROM tally");
    }
    // The write failed as a lost server fails: 162 with the server's message (and in the
    // file's status, for the writes that keep one), and the connection back for what follows.
    void expect_lost(u16 rc, u16 file = 0) {
        EXPECT_EQ(rc, E_SQLERROR);
        if (file) {
            EXPECT_EQ(datafile_ctrl(file, CW_STATUS), E_SQLERROR);
        }
        std::string detail = text(error_detail());
        EXPECT_NE(detail.find("server closed the connection"), std::string::npos) << detail;
        EXPECT_FALSE(sysint_bit(SV_AUXSTAT, AUXSTAT_TRANSACTION));
        EXPECT_EQ(cursors_open(), 0);
        error_detail_clear();
        EXPECT_EQ(datafile_find(stock, 1, S("A"), 0), STATUS_EXACT) << text(error_detail());
    }
    u16 write(u16 flags) { return datafile_write(stock, flags, str_empty(), true); }
    u16 stock = 0;
};

TEST_F(ServerLost, InsertSaveAndDeleteLeaveTheTableAsItWas) {
    const std::string before = rows();
    const struct {
        const char* action;
        u16 verb;
        const char* key;
    } cases[] = {
        {"INSERT", VERB_INS, "E"},
        {"UPDATE", VERB_SVE, "A"},
        {"DELETE", VERB_DEL, "A"},
        {"UPDATE", VERB_SVE, "B"},  // a key two records share: through a cursor
        {"DELETE", VERB_DEL, "B"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.action) + " " + c.key);
        ASSERT_EQ(db("DROP TRIGGER IF EXISTS vx_kill_stock ON stock;" + kill_on("stock", c.action)), "");
        if (c.verb == VERB_INS) {
            ASSERT_EQ(datafile_clear(stock), STATUS_CLEARED);
            ASSERT_EQ(set(stock, "k", c.key), 0);
            ASSERT_EQ(set(stock, "seq", "9"), 0);
        } else {
            ASSERT_EQ(datafile_find(stock, 1, str_from_cstr(c.key), 0), STATUS_EXACT);
            ASSERT_EQ(set(stock, "name", "changed"), 0);
        }
        expect_lost(write(c.verb & 0xFF00), stock);
        EXPECT_EQ(rows(), before);
    }
}

TEST_F(ServerLost, UpdateWithInsertionLeavesNoHalfMadeRecord) {
    // The update finds nothing, the insert goes in, the update of the new record is lost.
    ASSERT_EQ(db(kill_on("tally", "UPDATE")), "");
    u16 tally = file("tally");
    ASSERT_EQ(datafile_open(tally, OPEN_PLAIN), 0);
    u32 done = 9;
    expect_lost(sql_update_by_key(tally, 1, S("b"), S("\"n\" = 6"), true, &done));
    EXPECT_EQ(done, 0u);
    EXPECT_EQ(tallies(), "a=1");
}

TEST_F(ServerLost, UpdateExpressionsAndTheirWriteGoTogether) {
    env_set(ENV_APNAME, S("VXW01Q:Varnox"));
    std::string folder = fs::current_path().string();
    env_set(ENV_DATA, view(folder));
    // After the save, the update expressions delete the related tally record; that delete
    // meets the lost server, so the save must not stay either.
    std::ofstream(fs::current_path() / "VXRELUPSQL.DAT") << "[stock]\n00 X#=FILELOCATE('DEL';'tally')\n";
    ASSERT_EQ(db(kill_on("tally", "DELETE")), "");
    u16 tally = file("tally");
    ASSERT_EQ(datafile_open(tally, OPEN_PLAIN), 0);
    ASSERT_EQ(datafile_find(tally, 1, S("a"), 0), STATUS_EXACT);
    const std::string before = rows();
    ASSERT_EQ(datafile_find(stock, 1, S("A"), 0), STATUS_EXACT);
    ASSERT_EQ(set(stock, "qty", "50"), 0);
    expect_lost(write(VERB_SVE & 0xFF00), stock);
    EXPECT_EQ(rows(), before);
    EXPECT_EQ(tallies(), "a=1");
    // Without the failure the save and its expressions still go through together.
    ASSERT_EQ(db("DROP TRIGGER vx_kill_tally ON tally"), "");
    ASSERT_EQ(datafile_find(tally, 1, S("a"), 0), STATUS_EXACT);
    ASSERT_EQ(datafile_find(stock, 1, S("A"), 0), STATUS_EXACT);
    ASSERT_EQ(set(stock, "qty", "50"), 0);
    EXPECT_EQ(write(VERB_SVE & 0xFF00), 0) << text(error_detail());
    EXPECT_EQ(value("SELECT qty FROM stock WHERE k = 'A'"), "50");
    EXPECT_EQ(tallies(), "~");
    EXPECT_FALSE(sysint_bit(SV_AUXSTAT, AUXSTAT_TRANSACTION));
}

// ---- Copy ----

struct CopyAnswers {
    std::string paths, file;
};
CopyAnswers copy_answers;

TEST_F(ServerLost, CopyLoadLeavesTheRowsAsTheyWere) {
    fs::path server = dir_.path() / "srv", local = dir_.path() / "local";
    fs::create_directories(server);
    fs::create_directories(local);
    fs::permissions(server, fs::perms::all);  // the server may run as another user
    copy_answers = {"'" + server.string() + "','" + server.string() + "'", (local / "stock").string()};
    CopyUi ui;
    ui.form = [](Str, Str, Str* values, bool* confirmed) -> u16 {
        *values = str_copy(Str{copy_answers.paths.data(), u16(copy_answers.paths.size())});
        *confirmed = true;
        return 0;
    };
    ui.choose_file = [] { return str_copy(Str{copy_answers.file.data(), u16(copy_answers.file.size())}); };
    copy_ui_set(ui);
    std::ofstream(local / "stock") << "Z\t1\tnew\t5\nY\t2\tnew\t6\n";
    const std::string before = rows();
    ASSERT_EQ(db(kill_on("stock", "INSERT")), "");
    u16 rc = copy_task(COPY_LOAD_ONE);
    EXPECT_EQ(rc, E_SQLERROR);
    std::string detail = text(error_detail());
    EXPECT_NE(detail.find("server closed the connection"), std::string::npos) << detail;
    EXPECT_EQ(rows(), before);
    // The connection is back, and a load that is not interrupted goes through.
    ASSERT_EQ(db("DROP TRIGGER vx_kill_stock ON stock"), "");
    EXPECT_EQ(copy_task(COPY_LOAD_ONE), 0) << text(error_detail());
    EXPECT_EQ(rows(), "Y2=new/6,Z1=new/5");
    copy_ui_set(CopyUi{});
}

}  // namespace
