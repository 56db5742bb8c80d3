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
    "INSERT INTO flat SELECT i, 1 FROM generate_series(1, 600) i;";

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

TEST_F(DataScan, ChunkOfOneKeyIsRefused) {
    u16 flat = file("flat");
    ASSERT_EQ(datafile_open(flat, OPEN_PLAIN), 0);
    ScanRequest r;
    r.file = flat;
    EXPECT_EQ(datafile_scan(r, nullptr), E_DATAOUTBOUND);
    EXPECT_EQ(datafile_ctrl(flat, CW_SCAN_SLOT), 0);
}

}  // namespace
