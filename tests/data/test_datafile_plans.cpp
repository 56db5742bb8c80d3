// The server's plans for the reads of navigation and scans over keys of NOT NULL columns:
// reading backward (PRV), the last record and a range that ends at a key give the index a
// bound to start from, instead of filtering the whole table behind the key. Nullable key
// columns keep the NULL rows in their comparisons. The statements are taken from the SQL
// trace and explained on a connection of the test's own.
#include <sstream>
#include <vector>

#include "datafile_support.h"
#include "expr/support.h"
#include "runtime/log.h"

using namespace vx::data;
using namespace vx::rt;
using vx::test::text;

namespace {

constexpr const char* TABLES =
    "CREATE TABLE serie (k integer NOT NULL, n integer NOT NULL, v integer);"
    "CREATE INDEX serie_kn ON serie (k, n);"
    "INSERT INTO serie SELECT i / 10, i % 10, i FROM generate_series(1, 20000) i;"
    "ANALYZE serie;"
    "CREATE TABLE suelta (k integer, n integer, v integer);"
    "CREATE INDEX suelta_kn ON suelta (k, n);"
    "INSERT INTO suelta SELECT i / 10, i % 10, i FROM generate_series(1, 2000) i;"
    "ANALYZE suelta;";

class Plans : public vx::test::DataFileTest {
protected:
    void SetUp() override {
        DataFileTest::SetUp();
        setup_tables(TABLES);
        serie = file("serie");
        ASSERT_NE(serie, 0);
        ASSERT_EQ(datafile_open(serie, OPEN_PLAIN), 0);
        sysint_set(SV_TRACE, i16(TRACE_SQL));
    }
    // The statements traced since the last call that read rows of the table.
    std::vector<std::string> reads(const char* table) {
        std::istringstream log(vx::test::slurp(text(log_path())));
        std::vector<std::string> out;
        std::string line, head = std::string("SELECT * FROM \"") + table + "\"";
        for (int i = 0; std::getline(log, line); i++) {
            if (i < lines_seen) continue;
            lines_seen = i + 1;
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.rfind(head, 0) == 0) out.push_back(line);
        }
        return out;
    }
    // The plan of a statement, its lines joined.
    static std::string plan(const std::string& statement) {
        const std::string name = db_name();
        const char* keys[] = {"dbname", nullptr};
        const char* vals[] = {name.c_str(), nullptr};
        PGconn* c = PQconnectdbParams(keys, vals, 0);
        PGresult* r = PQexec(c, ("EXPLAIN " + statement).c_str());
        std::string out;
        for (int i = 0; i < PQntuples(r); i++) out += std::string(PQgetvalue(r, i, 0)) + "\n";
        if (PQresultStatus(r) != PGRES_TUPLES_OK) out = PQresultErrorMessage(r);
        PQclear(r);
        PQfinish(c);
        return out;
    }
    static bool bounded(const std::string& p) {
        return p.find("Index Cond") != std::string::npos && p.find("Seq Scan") == std::string::npos;
    }
    u16 serie = 0;
    int lines_seen = 0;
};

}  // namespace

TEST_F(Plans, ReadingBackwardOnANotNullKeyStartsAtTheKey) {
    ASSERT_EQ(datafile_find(serie, 1, S("       500"), 0), STATUS_EXACT);  // k = 500, n = 0
    reads("serie");
    EXPECT_EQ(datafile_move(serie, READ_PREVIOUS), STATUS_EXACT);
    EXPECT_EQ(field(serie, "v"), "4999");
    std::vector<std::string> prv = reads("serie");
    ASSERT_EQ(prv.size(), 1u);
    EXPECT_EQ(prv[0].find("IS NULL"), std::string::npos) << prv[0];
    std::string p = plan(prv[0]);
    EXPECT_TRUE(bounded(p)) << prv[0] << "\n" << p;
    EXPECT_NE(p.find("Backward"), std::string::npos) << p;
}

TEST_F(Plans, TheLastRecordAndARangeEndingAtAKeyUseTheIndex) {
    EXPECT_EQ(datafile_move(serie, READ_LAST), STATUS_EXACT);
    EXPECT_EQ(field(serie, "v"), "20000");
    std::vector<std::string> last = reads("serie");
    ASSERT_EQ(last.size(), 1u);
    std::string p = plan(last[0]);
    EXPECT_NE(p.find("Index Scan Backward"), std::string::npos) << last[0] << "\n" << p;
    EXPECT_EQ(p.find("Sort"), std::string::npos) << p;

    // A scan from k = 1000 to k = 1005: both ends bound the index.
    ASSERT_EQ(datafile_find(serie, 1, S("      1000"), 0), STATUS_EXACT);
    reads("serie");
    ScanRequest r;
    r.file = serie;
    r.end_key = S("      1005");
    ScanCounts counts;
    EXPECT_EQ(datafile_scan(r, &counts), STATUS_NONE);
    EXPECT_EQ(counts.read, 60u);
    std::vector<std::string> chunk = reads("serie");
    ASSERT_EQ(chunk.size(), 1u);
    EXPECT_EQ(chunk[0].find("IS NULL"), std::string::npos) << chunk[0];
    p = plan(chunk[0]);
    EXPECT_TRUE(bounded(p)) << chunk[0] << "\n" << p;
    EXPECT_NE(p.find("<= 1005"), std::string::npos) << p;
}

TEST_F(Plans, NullableKeyColumnsKeepTheirNullRows) {
    u16 suelta = file("suelta");
    ASSERT_EQ(datafile_open(suelta, OPEN_PLAIN), 0);
    ASSERT_EQ(datafile_find(suelta, 1, S("        50"), 0), STATUS_EXACT);
    reads("suelta");
    EXPECT_EQ(datafile_move(suelta, READ_PREVIOUS), STATUS_EXACT);
    std::vector<std::string> prv = reads("suelta");
    ASSERT_EQ(prv.size(), 1u);
    EXPECT_NE(prv[0].find("\"k\" IS NULL"), std::string::npos) << prv[0];
}
