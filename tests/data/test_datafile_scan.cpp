// Key-range scans against the test server: chunks that never split a group of equal keys,
// conditions that the SQL only partly carries (the evaluator excludes the rest), end keys,
// the record-by-record form, and the ways a scan stops early.
#include <vector>

#include "datafile_support.h"

using namespace vx::data;
using namespace vx::rt;
using vx::test::text;

namespace {

constexpr int ROWS = 1300;
constexpr int PER_KEY = 5;   // groups of equal keys straddle every chunk boundary

constexpr const char* TABLES =
    "CREATE TABLE big (id integer NOT NULL, g integer NOT NULL, flag integer, amount numeric(8,2));"
    "CREATE INDEX big_g ON big (g);"
    "INSERT INTO big SELECT i, i / 5, i % 3, (i % 7) + 0.25 FROM generate_series(1, 1300) i;"
    "CREATE TABLE flat (id integer NOT NULL, g integer NOT NULL);"
    "CREATE INDEX flat_g ON flat (g);"
    "INSERT INTO flat SELECT i, 1 FROM generate_series(1, 600) i;"
    // A group of 1100 equal keys between two small ones.
    "CREATE TABLE wide (id integer NOT NULL, g integer NOT NULL, flag integer);"
    "CREATE INDEX wide_g ON wide (g);"
    "INSERT INTO wide SELECT i, CASE WHEN i <= 100 THEN 0 WHEN i <= 1200 THEN 1 ELSE 2 END, i % 3"
    "  FROM generate_series(1, 1300) i;"
    // The keys of big that a condition looks up while the next chunk is on its way.
    "CREATE TABLE other (g integer NOT NULL, name varchar(8));"
    "CREATE UNIQUE INDEX other_g ON other (g);"
    "INSERT INTO other SELECT i * 3, 'g' || i FROM generate_series(0, 100) i;";

struct Seen {
    u16 file = 0;
    std::vector<int> times = std::vector<int>(ROWS + 1, 0);
    int records = 0;
    int stop_at = -1;
};

u16 count_record(void* context, u16 file) {
    Seen& s = *static_cast<Seen*>(context);
    TmpScope scope;
    i64 id = text_to_int64(str_trim(datafile_field(file, 1), TRIM_BOTH));
    if (id >= 0 && id <= ROWS) s.times[id]++;
    return ++s.records == s.stop_at ? u16(E_CANCELLED) : u16(0);
}

u16 cancel_at_first_report(void*, u32) { return E_CANCELLED; }

int waits = 0;
u16 cancel_at_second_wait(void*, u32) {
    return ++waits == 2 ? u16(E_CANCELLED) : u16(0);
}

class DataScan : public vx::test::DataFileTest {
protected:
    void SetUp() override {
        DataFileTest::SetUp();
        setup_tables(TABLES);
        big = file("big");
        ASSERT_NE(big, 0);
        ASSERT_EQ(datafile_open(big, OPEN_PLAIN), 0);
        seen.file = big;
    }
    u16 scan(const char* condition = "", const char* end_key = "\xFF", ScanCounts* counts = nullptr) {
        ScanRequest r;
        r.file = big;
        r.condition = str_from_cstr(condition);
        r.end_key = str_from_cstr(end_key);
        r.action = count_record;
        r.context = &seen;
        return datafile_scan(r, counts);
    }
    int ids_seen(int times) const {
        int n = 0;
        for (int t : seen.times) n += t == times;
        return n;
    }
    u16 big = 0;
    Seen seen;
};

TEST_F(DataScan, ChunksMeetEveryRecordOnce) {
    ScanCounts counts;
    u32 before = statements();
    EXPECT_EQ(scan("", "\xFF", &counts), STATUS_NONE);
    EXPECT_EQ(seen.records, ROWS);
    EXPECT_EQ(ids_seen(1), ROWS);
    EXPECT_EQ(counts.read, u32(ROWS));
    EXPECT_EQ(counts.statements, 3u);  // 510 + 510 + 280 rows: each chunk cut before a group
    EXPECT_EQ(statements() - before, 3u);
    EXPECT_EQ(datafile_ctrl(big, CW_STATUS), STATUS_NONE);
    EXPECT_EQ(datafile_ctrl(big, CW_SCAN_SLOT), 0);  // chunk results released
}

TEST_F(DataScan, ConditionPartlyInSqlPartlyEvaluated) {
    ScanCounts counts;
    // flag == g - g reads fields on both sides: only g < 50 reaches the SQL.
    EXPECT_EQ(scan("g{big} < 50 && flag{big} == g{big} - g{big}", "\xFF", &counts), STATUS_NONE);
    EXPECT_EQ(counts.read, 249u);     // ids 1..249
    EXPECT_EQ(counts.accepted, 83u);  // of them, multiples of 3
    EXPECT_EQ(ids_seen(1), 83);
    EXPECT_EQ(seen.times[3], 1);
    EXPECT_EQ(seen.times[4], 0);
}

TEST_F(DataScan, FromTheCurrentKeyToTheEndKey) {
    ASSERT_EQ(set(big, "g", "10"), 0);
    EXPECT_EQ(scan("", "20"), STATUS_NONE);
    EXPECT_EQ(seen.records, 55);  // g 10..20: ids 50..104
    EXPECT_EQ(seen.times[49], 0);
    EXPECT_EQ(seen.times[50], 1);
    EXPECT_EQ(seen.times[104], 1);
    EXPECT_EQ(seen.times[105], 0);
}

TEST_F(DataScan, RecordByRecordWithFlag2) {
    ASSERT_EQ(datafile_open(big, OPEN_ROW_SCAN), 0);
    ASSERT_EQ(set(big, "g", "10"), 0);
    ScanCounts counts;
    EXPECT_EQ(scan("flag{big} == 1", "20", &counts), STATUS_NONE);
    EXPECT_EQ(counts.read, u32(55));   // equal keys come as sets: every record once
    EXPECT_EQ(ids_seen(1), 18);        // ids 50..104 with id % 3 == 1
    EXPECT_GT(counts.statements, 11u);
}

TEST_F(DataScan, StopsEarly) {
    seen.stop_at = 3;
    EXPECT_EQ(scan(), E_CANCELLED);
    EXPECT_EQ(seen.records, 3);
    EXPECT_EQ(datafile_ctrl(big, CW_SCAN_SLOT), 0);
    // The progress report cancels.
    seen = Seen{};
    ScanRequest r;
    r.file = big;
    r.action = count_record;
    r.progress = cancel_at_first_report;
    r.context = &seen;
    ScanCounts counts;
    EXPECT_EQ(datafile_scan(r, &counts), E_CANCELLED);
    EXPECT_EQ(counts.read, SCAN_PROGRESS_ROWS);
    // A scan starts at the current record: the one the cancelled scan stopped on.
    ASSERT_EQ(field(big, "g"), "51");
    EXPECT_EQ(scan("g{big} < 5"), STATUS_NONE);
    // A condition that fails ends the scan with its error.
    ASSERT_EQ(datafile_clear(big), STATUS_CLEARED);
    seen = Seen{};
    EXPECT_EQ(scan("g{big} < 5 && nosuchfield{big} == 1"), 168);
    EXPECT_EQ(seen.records, 0);
}

// Cursors the session holds open (a group's cursor is closed however its scan ends).
int session_cursors() {
    TmpScope scope;
    u32 rows = 0;
    if (sql_exec_into(S("SELECT count(*) FROM pg_cursors;"), SLOT_AUTO, &rows)) return -1;
    return int(text_to_int64(sql_value(0, 0)));
}

TEST_F(DataScan, AGroupOfEqualKeysLargerThanAChunkIsReadWhole) {
    // Every row of the table shares one key value.
    u16 flat = file("flat");
    ASSERT_EQ(datafile_open(flat, OPEN_PLAIN), 0);
    seen.file = flat;
    ScanRequest r;
    r.file = flat;
    r.action = count_record;
    r.context = &seen;
    ScanCounts counts;
    EXPECT_EQ(datafile_scan(r, &counts), STATUS_NONE);
    EXPECT_EQ(seen.records, 600);
    EXPECT_EQ(ids_seen(1), 600);
    EXPECT_EQ(datafile_ctrl(flat, CW_SCAN_SLOT), 0);
    EXPECT_EQ(session_cursors(), 0);

    // A group in the middle, with a condition the evaluator decides on every record.
    u16 wide = file("wide");
    ASSERT_EQ(datafile_open(wide, OPEN_PLAIN), 0);
    seen = Seen{};
    r.file = wide;
    EXPECT_EQ(datafile_scan(r, &counts), STATUS_NONE);
    EXPECT_EQ(ids_seen(1), ROWS);
    EXPECT_EQ(counts.read, u32(ROWS));
    seen = Seen{};
    ASSERT_EQ(datafile_clear(wide), STATUS_CLEARED);  // a scan starts at the current record
    r.condition = S("flag{wide} == g{wide} - g{wide}");
    EXPECT_EQ(datafile_scan(r, &counts), STATUS_NONE);
    EXPECT_EQ(counts.read, u32(ROWS));
    EXPECT_EQ(ids_seen(1), ROWS / 3);
    EXPECT_EQ(seen.times[3], 1);
    EXPECT_EQ(seen.times[601], 0);
    EXPECT_EQ(seen.times[1299], 1);
    EXPECT_EQ(session_cursors(), 0);

    // Stopped inside the group: its cursor goes, and the connection goes on.
    seen = Seen{};
    seen.stop_at = 700;
    ASSERT_EQ(datafile_clear(wide), STATUS_CLEARED);
    r.condition = str_empty();
    EXPECT_EQ(datafile_scan(r, &counts), E_CANCELLED);
    EXPECT_EQ(seen.records, 700);
    EXPECT_EQ(session_cursors(), 0);
    EXPECT_EQ(datafile_ctrl(wide, CW_SCAN_SLOT), 0);
    EXPECT_EQ(eval("FILEFIND('1';'wide';1)"), "0.00");
}

TEST_F(DataScan, AConditionThatReadsAnotherFileWhileTheNextChunkIsOnItsWay) {
    u16 other = file("other");
    ASSERT_EQ(datafile_open(other, OPEN_PLAIN), 0);
    ScanCounts counts;
    u32 before = statements();
    // g of big runs from 0 to 260: the keys found in other are the multiples of 3.
    EXPECT_EQ(scan("FILEFIND(g{big};'other') == 0", "\xFF", &counts), STATUS_NONE);
    EXPECT_EQ(counts.read, u32(ROWS));
    int expected = 0;
    for (int id = 1; id <= ROWS; id++) {
        bool found = (id / PER_KEY) % 3 == 0;
        expected += found;
        ASSERT_EQ(seen.times[id], found ? 1 : 0) << id;
    }
    EXPECT_EQ(int(counts.accepted), expected);
    EXPECT_EQ(counts.statements, 3u);
    EXPECT_GT(statements() - before, u32(ROWS));  // a find for every record read
    EXPECT_EQ(field(other, "g"), "258");          // the last key found
}

TEST_F(DataScan, TheServerEstimatesTheRecordsOfARange) {
    ASSERT_EQ(db("ANALYZE big;"), "");
    i64 records = 0;
    EXPECT_EQ(sql_count_estimate(big, 1, S(""), S("\xFF"), S(""), &records), 0);
    EXPECT_NEAR(double(records), ROWS, ROWS / 10);
    EXPECT_EQ(sql_count_estimate(big, 1, S("  10"), S("  19"), S("\"flag\" = 1"), &records), 0);
    EXPECT_GT(records, 0);
    EXPECT_LT(records, 50);  // 50 rows in the range, a third of them with the flag
    EXPECT_EQ(sql_count_estimate(29, 1, S(""), S(""), S(""), &records), E_BADFILENUMBER);
}

TEST_F(DataScan, WaitingForTheServerCanEndTheScan) {
    // Another connection holds the table: the first chunk waits until it lets go.
    const std::string name = db_name();
    const char* keys[] = {"dbname", nullptr};
    const char* vals[] = {name.c_str(), nullptr};
    PGconn* holder = PQconnectdbParams(keys, vals, 0);
    PQclear(PQexec(holder, "BEGIN; LOCK TABLE big IN ACCESS EXCLUSIVE MODE;"));
    ScanRequest r;
    r.file = big;
    r.action = count_record;
    r.context = &seen;
    r.waiting = cancel_at_second_wait;
    waits = 0;
    EXPECT_EQ(datafile_scan(r, nullptr), E_CANCELLED);
    EXPECT_EQ(waits, 2);  // the second answer ended it
    EXPECT_EQ(seen.records, 0);
    PQclear(PQexec(holder, "ROLLBACK;"));
    PQfinish(holder);
    // The statement was cancelled on the server: the connection takes the next one.
    seen = Seen{};
    EXPECT_EQ(scan("g{big} < 2"), STATUS_NONE);
    EXPECT_EQ(seen.records, 9);  // ids 1-9
}

}  // namespace
