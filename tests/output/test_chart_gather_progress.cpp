// Gathering with the progress window on Qt's offscreen platform against the test server: the
// window is pumped by the clock whether records are accepted or not, so that a scan whose
// condition rejects every record can be cancelled at once. The clock is the progress
// window's own, driven by the test (one millisecond each time it is read), so that "at once"
// is measured in the scan's own time; a timer stands for the person who clicks.
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "data/datafile_support.h"
#include "expr/vars.h"
#include "output/chart.h"
#include "platform/gui.h"
#include "platform/qt_access.h"
#include "screens/install.h"
#include "screens/progress.h"

using namespace vx::out;
using namespace vx::rt;
namespace dt = vx::data;
namespace pf = vx::platform;
namespace scr = vx::scr;

namespace {

constexpr int ROWS = 60000;
constexpr i64 ANSWER_MS = 100;  // the longest a click may wait for the scan to stop

constexpr const char* TABLES =
    "CREATE TABLE ventas (id integer PRIMARY KEY, mes integer NOT NULL, importe numeric(8,2));"
    "INSERT INTO ventas SELECT i, 1 + i % 12, i % 100 FROM generate_series(1, 60000) i;"
    "ANALYZE ventas;";

i64 scan_clock = 0;
i64 tick_clock() {
    return ++scan_clock;
}

// The person: clicks Cancel the first time the window is there when events are handled.
struct Person {
    bool clicked = false;
    i64 clicked_at = 0;
    int window_seen = 0;
    QTimer timer;
    Person() {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            scr::WinId w = scr::progress_view().window;
            if (!w) return;
            window_seen++;
            if (clicked || window_seen < 3) return;  // at the third look: pumped by time since
            clicked = true;
            clicked_at = scan_clock;
            QTest::mouseClick(pf::control_widget(w, scr::PROGRESS_CANCEL_ID), Qt::LeftButton);
        });
        timer.start(0);
    }
};

class GatherProgress : public vx::test::DataFileTest {
protected:
    void SetUp() override {
        ::unsetenv("DISPLAY");
        ::unsetenv("WAYLAND_DISPLAY");
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        DataFileTest::SetUp();
        ASSERT_TRUE(pf::gui_init());
        scr::screens_reset();
        setup_tables(TABLES);
        ventas = file("ventas");
        ASSERT_EQ(dt::datafile_open(ventas, dt::OPEN_PLAIN), 0);
        scan_clock = 0;
        scr::progress_clock_set(tick_clock);
    }
    void TearDown() override {
        scr::progress_clock_set(nullptr);
        scr::progress_reset();
        scr::screens_reset();
        DataFileTest::TearDown();
    }
    u16 ventas = 0;
};

}  // namespace

TEST_F(GatherProgress, ACancelIsAnsweredAtOnceWhenEveryRecordIsRejected) {
    // The month compared with itself plus one reads the record on both sides: the server
    // cannot leave anything out, the evaluator rejects every record.
    Person person;
    i64 sums[1] = {0};
    u32 accepted = 99;
    u16 rc = chart_gather(ventas, 1, S(""), S(""), S("mes{ventas} == mes{ventas} + 1"),
                          S("importe{ventas}"), GATHER_PROGRESS, sums, &accepted);
    i64 ended_at = scan_clock;
    EXPECT_EQ(rc, E_CANCELLED);
    ASSERT_TRUE(person.clicked) << "the window was never pumped while the records were read";
    EXPECT_LE(ended_at - person.clicked_at, ANSWER_MS);
    EXPECT_LE(person.clicked_at, 2 * scr::PROGRESS_TICK_MS + 2) << "pumped by time from the start";
    EXPECT_EQ(accepted, 0u);
    EXPECT_EQ(scr::progress_view().window, 0u);  // closed again
    // Reading went on only a little past the click: the scan stopped, it did not run out.
    EXPECT_LT(ended_at, i64(ROWS / dt::SCAN_PROGRESS_ROWS));
}

TEST_F(GatherProgress, TheBarCountsTheRecordsRead) {
    u16 dim = 12;
    ASSERT_EQ(vx::expr::array_declare(S("V#"), vx::expr::ARRAY_NUM, &dim, 1, 0), 0);
    // A person who only watches: the bar's position at each look.
    std::vector<int> seen;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (scr::progress_view().window) seen.push_back(scr::progress_view().position);
    });
    watcher.start(0);
    u32 accepted = 0;
    EXPECT_EQ(chart_gather(ventas, 1, S(""), S(""), S("mes{ventas} <= 6"),
                           S("V#(mes{ventas}-1)=V#(mes{ventas}-1)+importe{ventas}"),
                           GATHER_PROGRESS, nullptr, &accepted),
              0);
    EXPECT_EQ(accepted, u32(ROWS / 2));
    ASSERT_GE(seen.size(), 2u);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_GT(seen.back(), 0);
    EXPECT_EQ(eval("V#(0)"), "240000.00");  // i = 12k, k = 1..5000: i % 100 runs the multiples of 4
}
