// Connections, the slot rules, statements and their failures, asynchronous execution under
// the query progress hook, and the text encoding of values, against the test server.
#include <chrono>
#include <vector>

#include "data/sql.h"
#include "pg.h"
#include "runtime/env.h"
#include "runtime/error.h"
#include "runtime/log.h"
#include "runtime/sysvars.h"

using namespace vx::data;
using namespace vx::rt;
using vx::test::text;

namespace {

class SqlExec : public vx::test::SqlServer {
protected:
    // The slot table as "slot:primary[rows]" for each slot with a connection.
    static std::string slots() {
        std::string out;
        for (u16 i = 0; i < SQL_SLOTS; i++) {
            SlotState s = sql_slot_state(i);
            if (!s.connected) continue;
            out += (out.empty() ? "" : " ") + std::to_string(i) + ":" + std::to_string(s.primary);
            if (s.has_result) out += "[" + std::to_string(s.rows) + "]";
        }
        return out;
    }
    static i16 current() { return sysint_get(SV_SQLSTK); }
    static u16 exec(const char* sql, u32* rows = nullptr, u16 slot = SLOT_AUTO) {
        TmpScope scope;
        return sql_exec_into(str_from_cstr(sql), slot, rows);
    }
};

TEST_F(SqlExec, ConnectionsTakeTheNextFreeSlotAndDisconnectWalksBack) {
    ASSERT_EQ(connect(), 0) << text(error_detail());
    EXPECT_TRUE(sysint_bit(SV_AUXSTAT, AUXSTAT_CONNECTED));
    EXPECT_EQ(slots(), "0:0");
    ASSERT_EQ(connect(), 0);
    ASSERT_EQ(connect(), 0);
    EXPECT_EQ(slots(), "0:0 1:1 2:2");
    EXPECT_EQ(current(), 2);

    sysint_set(SV_SQLSTK, 1);   // finish the middle one: the walk back rests on slot 0
    sql_disconnect();
    EXPECT_EQ(slots(), "0:0 2:2");
    EXPECT_EQ(current(), 0);
    ASSERT_EQ(connect(), 0);    // slot 0 is taken: the free slot 1 is next
    EXPECT_EQ(current(), 1);

    sysint_set(SV_SQLSTK, 2);
    sql_disconnect();
    EXPECT_EQ(current(), 1);
    sql_disconnect();
    sql_disconnect();
    EXPECT_EQ(slots(), "");
    EXPECT_EQ(current(), 0);
    sql_disconnect();           // nothing left: harmless
    EXPECT_EQ(current(), 0);
}

TEST_F(SqlExec, EightConnectionsFillTheTable) {
    for (int i = 0; i < SQL_SLOTS; i++) ASSERT_EQ(connect(), 0) << i;
    EXPECT_EQ(connect(), E_OUTOFMEMORY);
    EXPECT_EQ(current(), SQL_SLOTS - 1);
    EXPECT_EQ(exec("SELECT 1"), 0);   // the current connection still works
}

TEST_F(SqlExec, RefusedConnectionGives162AndFreesItsSlot) {
    ASSERT_EQ(connect(), 0);
    EXPECT_EQ(connect(0, "vx_no_such_database"), E_SQLERROR);
    EXPECT_EQ(error_code(), E_SQLERROR);
    EXPECT_EQ(error_module(), M_SQLCONNECT);
    std::string detail = text(error_detail());
    EXPECT_NE(detail.find("vx_no_such_database"), std::string::npos) << detail;
    EXPECT_NE(detail.back(), '\n');
    EXPECT_EQ(slots(), "0:0");
    EXPECT_EQ(current(), 0);

    // An empty user is libpq's own default: PGUSER, the test server's superuser.
    error_clear();
    std::string host = vx::test::ScratchDb::host(), database = db_name();
    EXPECT_EQ(sql_connect(view(host), view(database), S(""), S(""), 0), 0) << text(error_detail());
    sql_disconnect();
    // And so is an empty host: PGHOST.
    EXPECT_EQ(sql_connect(S(""), view(database), S(""), S(""), 0), 0) << text(error_detail());
    sql_disconnect();
}

TEST_F(SqlExec, TraceShowsTheConnectionButNeverThePassword) {
    sysint_set(SV_TRACE, 1 | TRACE_SQL);
    std::string host = vx::test::ScratchDb::host(), user = vx::test::ScratchDb::user(), database = db_name();
    ASSERT_EQ(sql_connect(view(host), view(database), view(user), S("s3creto"), 0), 0);
    ASSERT_EQ(sql_connect(view(host), S(""), view(user), S("s3creto"), 0), 0);
    TmpScope scope;
    std::string log = vx::test::slurp(text(log_path()));
    EXPECT_EQ(log, "dbname = '" + database + "' host = " + host + " user = '" + user + "' password = '********' 0\r\n" +
                       "host = " + host + " user = '" + user + "' password = '********' 0\r\n");
}

TEST_F(SqlExec, ResultsLandInSlotsByTheirRows) {
    ASSERT_EQ(db("CREATE TABLE t (a int); INSERT INTO t SELECT generate_series(1, 5);"), "");
    ASSERT_EQ(connect(), 0);
    u32 rows = 9;
    EXPECT_EQ(exec("SELECT a FROM t WHERE a > 99", &rows), SQL_NO_ROWS);
    EXPECT_EQ(rows, 0u);
    EXPECT_EQ(slots(), "0:0");

    EXPECT_EQ(exec("SELECT a FROM t WHERE a = 3", &rows), 0);
    EXPECT_EQ(rows, 1u);
    EXPECT_EQ(slots(), "0:0[1]");
    EXPECT_EQ(text(sql_value(0, 0)), "3");

    for (u16 slot = 1; slot < SQL_SLOTS; slot++) {
        ASSERT_EQ(exec("SELECT a FROM t WHERE a <= 2", &rows), 0);
        EXPECT_EQ(current(), slot);
        EXPECT_EQ(rows, 2u);
    }
    EXPECT_EQ(slots(), "0:0[1] 1:0[2] 2:0[2] 3:0[2] 4:0[2] 5:0[2] 6:0[2] 7:0[2]");
    EXPECT_EQ(exec("SELECT a FROM t"), E_DATAOUTBOUND);
    EXPECT_EQ(current(), 7);

    // A single row still has the primary slot; a released slot is free again.
    EXPECT_EQ(exec("SELECT a FROM t WHERE a = 5"), 0);
    EXPECT_EQ(current(), 0);
    EXPECT_EQ(text(sql_value(0, 0)), "5");
    sql_clear(4);
    EXPECT_EQ(exec("SELECT a FROM t ORDER BY a"), 0);
    EXPECT_EQ(current(), 4);
    EXPECT_EQ(sql_row_count(), 5u);
    EXPECT_EQ(text(sql_value(1, 0, 1)), "2");   // another slot becomes current as it is read
    EXPECT_EQ(current(), 1);
    EXPECT_EQ(sql_row_count(4), 5u);
    EXPECT_EQ(current(), 4);
}

TEST_F(SqlExec, GivenSlotsAndSecondConnections) {
    ASSERT_EQ(db("CREATE TABLE t (a int); INSERT INTO t SELECT generate_series(1, 3);"), "");
    ASSERT_EQ(connect(), 0);
    EXPECT_EQ(exec("SELECT a FROM t", nullptr, 5), 0);
    EXPECT_EQ(current(), 5);
    EXPECT_EQ(slots(), "0:0 5:0[3]");
    ASSERT_EQ(connect(), 0);   // slot 5 is current and taken: the new connection goes to 1
    EXPECT_EQ(current(), 1);
    EXPECT_EQ(exec("SELECT a FROM t"), 0);
    EXPECT_EQ(slots(), "0:0 1:1[3] 5:0[3]");
    EXPECT_EQ(exec("SELECT a FROM t", nullptr, 5), E_DATAOUTBOUND);   // the other connection's slot
    EXPECT_EQ(exec("SELECT a FROM t", nullptr, SLOT_FREE), 0);
    EXPECT_EQ(current(), 2);
    EXPECT_EQ(slots(), "0:0 1:1[3] 2:1[3] 5:0[3]");

    // Finishing a connection releases every slot that carries it.
    sql_disconnect();
    EXPECT_EQ(slots(), "0:0 5:0[3]");
    EXPECT_EQ(current(), 0);
}

TEST_F(SqlExec, CommandsCountTheirRows) {
    ASSERT_EQ(connect(), 0);
    u32 rows = 9;
    EXPECT_EQ(exec("CREATE TABLE t (a int PRIMARY KEY, b text)", &rows), 0);
    EXPECT_EQ(rows, 0u);
    EXPECT_EQ(exec("INSERT INTO t VALUES (1, 'x'), (2, 'y'), (3, 'z')", &rows), 0);
    EXPECT_EQ(rows, 3u);
    EXPECT_EQ(exec("UPDATE t SET b = 'w' WHERE a >= 2", &rows), 0);
    EXPECT_EQ(rows, 2u);
    EXPECT_EQ(exec("DELETE FROM t WHERE a = 9", &rows), 0);
    EXPECT_EQ(rows, 0u);
    EXPECT_EQ(slots(), "0:0");
}

TEST_F(SqlExec, FailuresGiveTheirCodesWithMessageAndStatement) {
    ASSERT_EQ(connect(), 0);
    ASSERT_EQ(exec("CREATE TABLE t (a int PRIMARY KEY)"), 0);
    ASSERT_EQ(exec("INSERT INTO t VALUES (1)"), 0);
    EXPECT_EQ(exec("INSERT INTO t VALUES (1)"), E_DATAEXISTS);
    EXPECT_EQ(error_code(), E_DATAEXISTS);
    EXPECT_EQ(error_module(), M_SQLEXEC);
    std::string detail = text(error_detail());
    EXPECT_NE(detail.find("duplicate key"), std::string::npos) << detail;
    EXPECT_EQ(detail.substr(detail.size() - 26), "\r\nINSERT INTO t VALUES (1)");
    ASSERT_EQ(exec("CREATE TYPE mood AS ENUM ('ok')"), 0);
    EXPECT_EQ(exec("CREATE TYPE mood AS ENUM ('ok')"), E_DATAEXISTS);   // duplicate object
    EXPECT_EQ(exec("CREATE TABLE t (b int)"), E_SQLERROR);              // duplicate table: no

    error_clear();
    error_detail_clear();
    EXPECT_EQ(exec("SELECT * FROM nada"), E_SQLERROR);
    EXPECT_EQ(error_code(), E_SQLERROR);
    detail = text(error_detail());
    EXPECT_NE(detail.find("relation \"nada\" does not exist"), std::string::npos) << detail;
    EXPECT_NE(detail.find("^\r\nSELECT * FROM nada"), std::string::npos) << detail;   // line end cut
    EXPECT_EQ(detail.substr(detail.size() - 20), "\r\nSELECT * FROM nada");
    EXPECT_EQ(exec("SELECT 1"), 0);   // the connection goes on
}

std::vector<u16> phases;
int polls_before_stop = -1;

u16 progress(u16 phase) {
    phases.push_back(phase);
    if (phase == QUERY_POLL && polls_before_stop >= 0 && polls_before_stop-- == 0) return E_CANCELLED;
    return 0;
}

TEST_F(SqlExec, ProgressHookSeesStartPollsAndEnd) {
    ASSERT_EQ(connect(), 0);
    phases.clear();
    polls_before_stop = -1;
    ASSERT_EQ(sql_set_hook(HOOK_QUERY_PROGRESS, reinterpret_cast<AnyFn>(progress)), 0);
    u32 rows = 0;
    EXPECT_EQ(exec("SELECT pg_sleep(0.05); SELECT generate_series(1, 4)", &rows), 0);
    EXPECT_EQ(rows, 4u);   // the last result of the text
    EXPECT_EQ(text(sql_value(3, 0)), "4");
    ASSERT_GE(phases.size(), 3u);
    EXPECT_EQ(phases.front(), QUERY_START);
    EXPECT_EQ(phases.back(), QUERY_END);
    for (size_t i = 1; i + 1 < phases.size(); i++) EXPECT_EQ(phases[i], QUERY_POLL);

    EXPECT_EQ(exec("CREATE TABLE t (a int PRIMARY KEY); INSERT INTO t VALUES (1), (1)"), E_DATAEXISTS);
    EXPECT_NE(text(error_detail()).find("duplicate key"), std::string::npos);
}

TEST_F(SqlExec, ProgressHookStopsAStatementAndTheConnectionGoesOn) {
    ASSERT_EQ(connect(), 0);
    phases.clear();
    polls_before_stop = 3;
    ASSERT_EQ(sql_set_hook(HOOK_QUERY_PROGRESS, reinterpret_cast<AnyFn>(progress)), 0);
    auto start = std::chrono::steady_clock::now();
    u32 rows = 9;
    EXPECT_EQ(exec("SELECT pg_sleep(20)", &rows), E_CANCELLED);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(rows, 0u);
    EXPECT_EQ(phases.back(), QUERY_POLL);   // stopped: no end call
    EXPECT_EQ(slots(), "0:0");
    polls_before_stop = -1;
    EXPECT_EQ(exec("SELECT 7", &rows), 0);
    EXPECT_EQ(text(sql_value(0, 0)), "7");
}

TEST_F(SqlExec, ValuesComeBackInWindows1252) {
    ASSERT_EQ(connect(), 0);
    ASSERT_EQ(exec("CREATE TABLE p (name text, n int)"), 0);
    ASSERT_EQ(exec("INSERT INTO p VALUES ('Pe\xF1\xEDscola', 1), ('\x80 y \x93x\x94', 2)"), 0);
    EXPECT_EQ(exec("SELECT name, octet_length(name) FROM p ORDER BY n"), 0);
    EXPECT_EQ(text(sql_value(0, 0)), "Pe\xF1\xEDscola");
    EXPECT_EQ(text(sql_value(0, 1)), "11");   // stored as UTF-8 on the server
    EXPECT_EQ(text(sql_value(1, 0)), "\x80 y \x93x\x94");
    EXPECT_EQ(sql_column(S("octet_length")), 1);
    EXPECT_EQ(sql_column(S("missing")), -1);
    EXPECT_EQ(text(sql_value(2, 0)), "");
    EXPECT_EQ(text(sql_value(0, 2)), "");

    EXPECT_EQ(exec("SELECT chr(1103) || 'x' UNION ALL SELECT 'plain'"), 0);
    EXPECT_EQ(text(sql_value(0, 0)), "?x");
    // A plain ASCII value costs nothing in the arena.
    u32 used = tmp_stats().used;
    EXPECT_EQ(text(sql_value(1, 0)), "plain");
    EXPECT_EQ(tmp_stats().used, used);

    EXPECT_EQ(exec("SELECT n FROM p WHERE name = 'Pe\xF1\xEDscola'"), 0);
    EXPECT_EQ(text(sql_value(0, 0)), "1");
}

}  // namespace

namespace {

// Ends the server process behind the current connection, and waits until it is gone.
void terminate_backend() {
    TmpScope scope;
    ASSERT_EQ(sql_exec(S("SELECT pg_backend_pid()")), 0);
    std::string pid = text(sql_value(0, 0));
    ASSERT_EQ(vx::test::ScratchDb::get().admin("SELECT pg_terminate_backend(" + pid + ", 5000)"),
              "");
}

bool detail_says(const char* words) {
    return text(error_detail()).find(words) != std::string::npos;
}

TEST_F(SqlExec, ABrokenConnectionIsResetOnceAndTheStatementIsNotSentAgain) {
    ASSERT_EQ(connect(), 0);
    ASSERT_EQ(exec("CREATE TABLE t (a int)"), 0);
    terminate_backend();
    EXPECT_EQ(exec("INSERT INTO t VALUES (1)"), E_SQLERROR);
    EXPECT_TRUE(detail_says("INSERT INTO t VALUES (1)")) << text(error_detail());
    EXPECT_TRUE(detail_says("perdida y restablecida")) << text(error_detail());
    EXPECT_EQ(exec("SELECT count(*) FROM t"), 0);
    EXPECT_EQ(text(sql_value(0, 0)), "0");  // the insert was not replayed
    EXPECT_EQ(exec("INSERT INTO t VALUES (2)"), 0);

    // While the server refuses connections the reset fails, and says so; the next statement
    // finds the connection still broken, resets it again and fails as well; then all is well.
    std::string name = db_name();
    ASSERT_EQ(admin("ALTER DATABASE " + name + " ALLOW_CONNECTIONS false"), "");
    terminate_backend();
    error_detail_clear();
    EXPECT_EQ(exec("SELECT 1"), E_SQLERROR);
    EXPECT_TRUE(detail_says("no se pudo restablecer")) << text(error_detail());
    ASSERT_EQ(admin("ALTER DATABASE " + name + " ALLOW_CONNECTIONS true"), "");
    error_detail_clear();
    EXPECT_EQ(exec("INSERT INTO t VALUES (3)"), E_SQLERROR);
    EXPECT_TRUE(detail_says("perdida y restablecida")) << text(error_detail());
    EXPECT_EQ(exec("SELECT string_agg(a::text, ',') FROM t"), 0);
    EXPECT_EQ(text(sql_value(0, 0)), "2");
}

TEST_F(SqlExec, StatementsInFlightAreCollectedOrCancelled) {
    ASSERT_EQ(connect(), 0);
    SqlPending p, q;
    ASSERT_EQ(sql_send(S("SELECT pg_sleep(0.2), 5"), &p), 0);
    EXPECT_TRUE(p.active());
    EXPECT_FALSE(sql_is_ready(p));
    for (int i = 0; i < 100 && !sql_is_ready(p, 50); i++) {
    }
    EXPECT_TRUE(sql_is_ready(p));
    u32 rows = 0;
    EXPECT_EQ(sql_collect(&p, SLOT_AUTO, &rows), 0);
    EXPECT_FALSE(p.active());
    EXPECT_EQ(rows, 1u);
    EXPECT_EQ(text(sql_value(0, 1)), "5");
    EXPECT_EQ(sql_collect(&p, SLOT_AUTO, &rows), E_INTERNAL);  // nothing left to collect

    // A statement executed while another is in flight on the connection: the first is waited
    // for and kept; both come out right.
    ASSERT_EQ(sql_send(S("SELECT pg_sleep(0.1), 'sent'"), &p), 0);
    ASSERT_EQ(sql_send(S("SELECT 'queued'"), &q), 0);
    EXPECT_EQ(exec("SELECT 'now'"), 0);
    EXPECT_EQ(text(sql_value(0, 0)), "now");
    EXPECT_TRUE(sql_is_ready(q, 1000));
    EXPECT_TRUE(sql_is_ready(p));
    EXPECT_EQ(sql_collect(&q, SLOT_AUTO, &rows), 0);
    EXPECT_EQ(text(sql_value(0, 0)), "queued");
    EXPECT_EQ(sql_collect(&p, SLOT_AUTO, &rows), 0);
    EXPECT_EQ(text(sql_value(0, 1)), "sent");
    ASSERT_EQ(sql_send(S("SELECT nada"), &p), 0);
    EXPECT_EQ(exec("SELECT 2"), 0);
    EXPECT_EQ(sql_collect(&p, SLOT_AUTO, &rows), E_SQLERROR);  // its own failure, later
    EXPECT_NE(text(error_detail()).find("SELECT nada"), std::string::npos);
    ASSERT_EQ(sql_send(S("SELECT pg_sleep(0.1)"), &p), 0);
    EXPECT_EQ(exec("SELECT 3"), 0);
    sql_cancel(&p);  // a parked statement is simply dropped
    EXPECT_FALSE(p.active());

    // A second connection has a statement of its own in flight at the same time.
    ASSERT_EQ(sql_send(S("SELECT 'first'"), &p), 0);
    ASSERT_EQ(connect(), 0);
    ASSERT_EQ(sql_send(S("SELECT 'second', 2 UNION ALL SELECT 'x', 3"), &q), 0);
    EXPECT_EQ(sql_collect(&q, SLOT_AUTO, &rows), 0);
    EXPECT_EQ(rows, 2u);
    EXPECT_EQ(text(sql_value(0, 0)), "second");
    EXPECT_EQ(sql_collect(&p, SLOT_AUTO, &rows), 0);
    EXPECT_EQ(text(sql_value(0, 0)), "first");
    EXPECT_EQ(current(), 0);  // the first connection's primary slot

    // A cancelled statement stops on the server at once and the connection goes on.
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(sql_send(S("SELECT pg_sleep(20)"), &p), 0);
    sql_cancel(&p);
    EXPECT_FALSE(p.active());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(exec("SELECT 7"), 0);
    EXPECT_EQ(text(sql_value(0, 0)), "7");
}

TEST_F(SqlExec, NestedSlotsWithoutAConnectionUseTheOneBelow) {
    ASSERT_EQ(connect(), 0);
    sysint_set(SV_SQLSTK, 3);  // as SQLCHILD three deep makes it
    EXPECT_EQ(exec("SELECT 41 + 1"), 0) << text(error_detail());
    EXPECT_EQ(text(sql_value(0, 0)), "42");
    EXPECT_EQ(current(), 0);  // a single row goes to the connection's primary slot
    sysint_set(SV_SQLSTK, 3);
    EXPECT_EQ(exec("SELECT generate_series(1, 3)"), 0);
    EXPECT_EQ(current(), 1);
    sql_disconnect();
    sysint_set(SV_SQLSTK, 3);
    EXPECT_EQ(exec("SELECT 1"), E_SQLERROR);  // none below either
}

TEST_F(SqlExec, SlowStatementsCallTheSlowHookWhichMayStopThem) {
    constexpr int AFTER_MS = 150;
    ASSERT_EQ(connect(), 0);
    sql_slow_hook_set(progress, AFTER_MS);
    phases.clear();
    polls_before_stop = -1;
    EXPECT_EQ(exec("SELECT 1"), 0);
    EXPECT_TRUE(phases.empty());  // a quick statement is left alone
    EXPECT_EQ(exec("SELECT pg_sleep(0.4)"), 0);
    ASSERT_GE(phases.size(), 3u);
    EXPECT_EQ(phases.front(), QUERY_START);
    EXPECT_EQ(phases.back(), QUERY_END);

    phases.clear();
    polls_before_stop = 2;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(exec("SELECT pg_sleep(20)"), E_CANCELLED);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(phases.back(), QUERY_END);  // told of the end, so that it can close its window
    polls_before_stop = -1;
    EXPECT_EQ(exec("SELECT 7"), 0);

    // The query progress hook, when set, watches from the start instead.
    u16 (*other)(u16) = [](u16) -> u16 { return 0; };
    ASSERT_EQ(sql_set_hook(HOOK_QUERY_PROGRESS, reinterpret_cast<AnyFn>(other)), 0);
    phases.clear();
    EXPECT_EQ(exec("SELECT pg_sleep(0.3)"), 0);
    EXPECT_TRUE(phases.empty());
}

}  // namespace
