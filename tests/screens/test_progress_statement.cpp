// A record statement that waits on a row another connection holds locked: after a second
// the progress window offers Cancel, and Cancel stops the statement on the server; the row
// is left as it was, the window closes and the connection goes on. Against the test server,
// on Qt's offscreen platform, with a timer in the part of the person who clicks.
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <cstdlib>

#include "data/datafile_support.h"
#include "platform/gui.h"
#include "platform/qt_access.h"
#include "screens/install.h"
#include "screens/progress.h"

using namespace vx::scr;
using namespace vx::rt;
namespace dt = vx::data;
namespace pf = vx::platform;
using Clock = std::chrono::steady_clock;

namespace {

constexpr const char* TABLES =
    "CREATE TABLE cuentas (k varchar(4) PRIMARY KEY, saldo integer);"
    "INSERT INTO cuentas VALUES ('a', 1), ('b', 2);";

// Holds a row locked from a connection of its own until released.
class RowLock {
public:
    RowLock(const std::string& db, const char* key) {
        const char* keys[] = {"dbname", nullptr};
        const char* vals[] = {db.c_str(), nullptr};
        conn_ = PQconnectdbParams(keys, vals, 0);
        std::string sql =
            std::string("BEGIN; SELECT * FROM cuentas WHERE k = '") + key + "' FOR UPDATE";
        PGresult* r = PQexec(conn_, sql.c_str());
        ok_ = PQresultStatus(r) == PGRES_TUPLES_OK;
        PQclear(r);
    }
    ~RowLock() {
        PQclear(PQexec(conn_, "ROLLBACK"));
        PQfinish(conn_);
    }
    bool ok() const { return ok_; }

private:
    PGconn* conn_ = nullptr;
    bool ok_ = false;
};

// The person: looks for the progress window every 20 ms and clicks its Cancel button.
struct Clicker {
    Clock::time_point start = Clock::now();
    Clock::duration seen_after{};
    bool clicked = false;
    QTimer timer;
    Clicker() {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            WinId w = progress_view().window;
            if (!w || clicked) return;
            seen_after = Clock::now() - start;
            clicked = true;
            QTest::mouseClick(pf::control_widget(w, PROGRESS_CANCEL_ID), Qt::LeftButton);
        });
        timer.start(20);
    }
};

class StatementProgress : public vx::test::DataFileTest {
protected:
    void SetUp() override {
        ::unsetenv("DISPLAY");
        ::unsetenv("WAYLAND_DISPLAY");
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        DataFileTest::SetUp();
        ASSERT_TRUE(pf::gui_init());
        screens_reset();
        setup_tables(TABLES);
        cuentas = file("cuentas");
        ASSERT_EQ(dt::datafile_open(cuentas, dt::OPEN_PLAIN), 0);
        ASSERT_EQ(dt::datafile_find(cuentas, 1, S("a"), 0), dt::STATUS_EXACT);
        dt::sql_slow_hook_set(progress_wait);
    }
    void TearDown() override {
        screens_reset();
        DataFileTest::TearDown();
    }
    u16 cuentas = 0;
};

}  // namespace

TEST_F(StatementProgress, CancelStopsAStatementWaitingOnALock) {
    RowLock lock(db_name(), "a");
    ASSERT_TRUE(lock.ok());
    ASSERT_EQ(set(cuentas, "saldo", "5"), 0);
    Clicker person;
    EXPECT_EQ(dt::datafile_write(cuentas, dt::VERB_SVE & 0xFF00, str_empty(), true), E_CANCELLED);
    EXPECT_TRUE(person.clicked);
    EXPECT_GE(person.seen_after,
              std::chrono::milliseconds(dt::SQL_SLOW_MS));  // not before a second
    EXPECT_EQ(progress_view().window, 0u);                  // closed with the statement
    EXPECT_EQ(value("SELECT saldo FROM cuentas WHERE k = 'a'"), "1");

    // The connection goes on: a record another connection does not hold is read at once.
    EXPECT_EQ(eval("FILEFIND('b';'cuentas')"), "0.00");
    EXPECT_EQ(field(cuentas, "saldo"), "2");
}

TEST_F(StatementProgress, AQuickStatementShowsNoWindow) {
    Clicker person;
    ASSERT_EQ(set(cuentas, "saldo", "7"), 0);
    EXPECT_EQ(dt::datafile_write(cuentas, dt::VERB_SVE & 0xFF00, str_empty(), true), 0);
    EXPECT_FALSE(person.clicked);
    EXPECT_EQ(value("SELECT saldo FROM cuentas WHERE k = 'a'"), "7");
}

TEST_F(StatementProgress, AnOperationsOwnWindowOffersTheCancelAndStays) {
    ASSERT_EQ(progress_open(0, 10), 0);
    ASSERT_EQ(progress_step(3), 0);
    WinId own = progress_view().window;
    RowLock lock(db_name(), "a");
    ASSERT_TRUE(lock.ok());
    Clicker person;
    EXPECT_EQ(dt::datafile_write(cuentas, dt::WRITE_DELETE, str_empty(), true), E_CANCELLED);
    EXPECT_TRUE(person.clicked);
    EXPECT_EQ(progress_view().window, own);
    EXPECT_EQ(progress_view().position, 3);    // the operation's steps alone
    EXPECT_EQ(progress_step(1), E_CANCELLED);  // and the operation hears the cancel too
    EXPECT_EQ(value("SELECT count(*) FROM cuentas"), "2");
}
