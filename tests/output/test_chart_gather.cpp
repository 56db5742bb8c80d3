// Gathering against the test server: sums of value expressions over a key range with and
// without a condition, a step expression that accumulates into an array, the progress
// window, the first error ending the scan, and the data file left where it was.
#include <vector>

#include "data/datafile_support.h"
#include "expr/vars.h"
#include "output/chart.h"
#include "screens/progress.h"

using namespace vx::out;
using namespace vx::rt;
namespace dt = vx::data;

namespace {

constexpr const char* TABLES =
    "CREATE TABLE ventas (id integer NOT NULL, mes char(2) NOT NULL, m integer, importe numeric(8,2));"
    "CREATE INDEX ventas_mes ON ventas (mes);"
    "INSERT INTO ventas SELECT i, lpad(((i % 12) + 1)::text, 2, '0'), (i % 12) + 1, i"
    "  FROM generate_series(1, 120) i;";

class ChartGather : public vx::test::DataFileTest {
protected:
    void SetUp() override {
        DataFileTest::SetUp();
        setup_tables(TABLES);
        ventas = file("ventas");
        ASSERT_NE(ventas, 0);
        ASSERT_EQ(dt::datafile_open(ventas, dt::OPEN_PLAIN), 0);
        ASSERT_EQ(dt::datafile_find(ventas, 1, S("07"), 0), dt::STATUS_EXACT);
        before_id = field(ventas, "id");
    }
    void TearDown() override {
        vx::scr::progress_reset();
        DataFileTest::TearDown();
    }
    // The file is where the test put it: the same key, the same record.
    void expect_left_alone() {
        EXPECT_EQ(dt::datafile_ctrl(ventas, dt::CW_KEY), 1);
        EXPECT_EQ(field(ventas, "id"), before_id);
        EXPECT_EQ(field(ventas, "mes"), "07");
    }
    u16 ventas = 0;
    std::string before_id;
};

}  // namespace

TEST_F(ChartGather, SumsValueExpressionsOverTheKeyRange) {
    i64 sums[2] = {0, 0};
    EXPECT_EQ(chart_gather(ventas, 1, S("03"), S("04"), S(""), S("importe{ventas},1"), 0, sums), 0);
    EXPECT_EQ(sums[0], 113000);  // ids 2, 3, 14, 15 ... 110, 111
    EXPECT_EQ(sums[1], 2000);    // 20 records
    expect_left_alone();

    i64 big[2] = {0, 0};
    EXPECT_EQ(chart_gather(ventas, 1, S("03"), S("04"), S("importe{ventas} > 50"), S("importe{ventas},1"),
                           GATHER_PROGRESS, big),
              0);
    EXPECT_EQ(big[0], 91600);
    EXPECT_EQ(big[1], 1100);
    EXPECT_EQ(vx::scr::progress_view().window, 0u);  // closed again
    expect_left_alone();
}

TEST_F(ChartGather, StepExpressionAccumulatesIntoAnArray) {
    u16 dim = 12;
    ASSERT_EQ(vx::expr::array_declare(S("V#"), vx::expr::ARRAY_NUM, &dim, 1, 0), 0);
    EXPECT_EQ(chart_gather(ventas, 1, S("01"), S(""), S(""), S("V#(m{ventas})=V#(m{ventas})+importe{ventas}"),
                           0, nullptr),
              0);
    // Month m holds the ids i with i % 12 + 1 == m: ten of them.
    EXPECT_EQ(eval("V#(1)"), eval("660"));   // 12 + 24 + ... + 120
    EXPECT_EQ(eval("V#(2)"), eval("550"));   // 1 + 13 + ... + 109
    expect_left_alone();
}

TEST_F(ChartGather, FirstErrorEndsTheScanAndTheFileComesBack) {
    i64 sums[1] = {0};
    EXPECT_EQ(chart_gather(ventas, 1, S("01"), S("12"), S("nosuchfield{ventas} == 1"), S("1"), 0, sums), 168);
    expect_left_alone();
    EXPECT_EQ(chart_gather(29, 1, S("01"), S("12"), S(""), S("1"), 0, sums), E_BADFILENUMBER);
    // An empty range gathers nothing and is no error.
    EXPECT_EQ(chart_gather(ventas, 1, S("98"), S("99"), S(""), S("1"), 0, sums), 0);
    EXPECT_EQ(sums[0], 0);
    expect_left_alone();
}

TEST_F(ChartGather, StatusAndScanStateAreAsTheCallerLeftThem) {
    // A scan of the caller's that ended on a record its condition refused.
    dt::ScanRequest r;
    r.file = ventas;
    r.end_key = S("07");
    r.condition = S("importe{ventas} < 0");
    ASSERT_EQ(dt::datafile_scan(r, nullptr), dt::STATUS_NONE);
    ASSERT_EQ(dt::datafile_find(ventas, 1, S("07"), 0), dt::STATUS_EXACT);
    auto words = [&] {
        std::vector<i16> w;
        for (u16 i : {dt::CW_KEY, dt::CW_STATUS, dt::CW_SCAN_OUTCOME, dt::CW_SCAN_COND,
                      dt::CW_SCAN_ROW, dt::CW_SCAN_LAST})
            w.push_back(dt::datafile_ctrl(ventas, i));
        return w;
    };
    std::vector<i16> before = words();
    i64 sums[1] = {0};
    EXPECT_EQ(
        chart_gather(ventas, 1, S("01"), S("03"), S("importe{ventas} > 10"), S("1"), 0, sums), 0);
    EXPECT_EQ(sums[0], 2800);   // 30 records in months 1-3; ids 1 and 2 are not above 10
    EXPECT_EQ(words(), before);
    expect_left_alone();
}
