// Serial devices on a pseudo-terminal pair standing for the port: the line settings of the
// device text applied to the port (read back with tcgetattr), the bytes arriving, refused
// settings and missing ports, and the scanner that polls its port every 350 ms and posts
// message 35040 to the window.
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QTest>
#include <chrono>

#include "device_support.h"
#include "expr/eval.h"
#include "platform/serial.h"
#include "runtime/arena.h"

using namespace vx::out;
using namespace vx::rt;
using vx::test::text;
namespace pf = vx::platform;

namespace {

class DeviceSerial : public vx::test::DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        char name[256] = {};
        ASSERT_EQ(::openpty(&master_, &slave_, name, nullptr, nullptr), 0);
        port_ = name;
    }
    void TearDown() override {
        if (master_ >= 0) ::close(master_);
        if (slave_ >= 0) ::close(slave_);
        DeviceTest::TearDown();
    }
    // What arrived at the other end (waits a little for it).
    std::string received() {
        std::string out;
        char buf[256];
        for (int i = 0; i < 50; i++) {
            fd_set set;
            FD_ZERO(&set);
            FD_SET(master_, &set);
            timeval tv{0, 20000};
            if (::select(master_ + 1, &set, nullptr, nullptr, &tv) <= 0) {
                if (!out.empty()) break;
                continue;
            }
            ssize_t n = ::read(master_, buf, sizeof buf);
            if (n <= 0) break;
            out.append(buf, std::size_t(n));
        }
        return out;
    }
    termios settings() const {
        termios t{};
        EXPECT_EQ(::tcgetattr(slave_, &t), 0);
        return t;
    }
    int master_ = -1, slave_ = -1;
    std::string port_;
};

TEST_F(DeviceSerial, TheLineSettingsOfTheTextAreAppliedToThePort) {
    set_string("COM2$", port_);
    Device d;
    ASSERT_EQ(dev_open(d, S("COM2:4800,O,7,2 /LP:60"), S("t")), 0);
    EXPECT_EQ(d.path, port_);
    // A pseudo-terminal keeps 8 bits without parity whatever it is given (the platform's
    // tests check size and parity); the rest reads back as set.
    termios t = settings();
    EXPECT_EQ(cfgetospeed(&t), speed_t(B4800));
    EXPECT_EQ(cfgetispeed(&t), speed_t(B4800));
    EXPECT_TRUE(t.c_cflag & PARODD);
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    EXPECT_FALSE(t.c_cflag & CRTSCTS);
    EXPECT_FALSE(t.c_iflag & (IXON | IXOFF));
    EXPECT_TRUE(t.c_iflag & INPCK);
    EXPECT_EQ(d.lines, 60);
    ASSERT_EQ(dev_write(d, S("se\xF1or\x0F\r\n")), 0);
    EXPECT_EQ(received(), "se\xA4or\r\n");  // printer table; the empty control entry sends nothing
    ASSERT_EQ(dev_close(d), 0);
}

TEST_F(DeviceSerial, EvenAndUsualSettings) {
    set_string("COM1$", port_);
    const struct {
        const char* text;
        speed_t speed;
        bool checked, odd, two_stops;
    } cases[] = {
        {"COM1:9600,N,8,1", B9600, false, false, false},
        {"COM1:1200,e,8,1", B1200, true, false, false},
        {"COM1:2400,N,7,2", B2400, false, false, true},
        {"COM1:", B9600, false, false, false},
        {"COM1:115200", B115200, false, false, false},
    };
    for (const auto& c : cases) {
        Device d;
        ASSERT_EQ(dev_open(d, str_from_cstr(c.text), S("t")), 0) << c.text;
        termios t = settings();
        EXPECT_EQ(cfgetospeed(&t), c.speed) << c.text;
        EXPECT_EQ(bool(t.c_iflag & INPCK), c.checked) << c.text;
        EXPECT_EQ(bool(t.c_cflag & PARODD), c.odd) << c.text;
        EXPECT_EQ(bool(t.c_cflag & CSTOPB), c.two_stops) << c.text;
        dev_close(d);
    }
}

TEST_F(DeviceSerial, RefusedSettingsAndMissingPorts) {
    set_string("COM1$", port_);
    Device d;
    EXPECT_EQ(dev_open(d, S("COM1:9600,X,8,1"), S("t")), E_DEVICEIO);  // parity outside EMNOS
    EXPECT_EQ(dev_open(d, S("COM1:12345,N,8,1"), S("t")), LINES_REFUSED);
    EXPECT_EQ(dev_open(d, S("COM1:9600,N,9,1"), S("t")), LINES_REFUSED);
    EXPECT_EQ(text(error_detail()), "COM1:9600,N,9,1");
    set_string("COM1$", (dir_.path() / "no-port").string());
    EXPECT_EQ(dev_open(d, S("COM1:9600,N,8,1"), S("t")), E_DEVICETIMEOUT);
    write("plain", "x");
    set_string("COM1$", (dir_.path() / "plain").string());   // not a terminal
    EXPECT_EQ(dev_open(d, S("COM1:9600,N,8,1"), S("t")), E_DEVICETIMEOUT);
    EXPECT_FALSE(d.open);
}

TEST_F(DeviceSerial, APortIsOpenedExclusively) {
    set_string("COM1$", port_);
    Device a, b;
    ASSERT_EQ(dev_open(a, S("COM1:9600,N,8,1"), S("t")), 0);
    EXPECT_EQ(dev_open(b, S("COM1:9600,N,8,1"), S("t")), E_DEVICETIMEOUT);
    dev_close(a);
    EXPECT_EQ(dev_open(b, S("COM1:9600,N,8,1"), S("t")), 0);
    dev_close(b);
}

TEST_F(DeviceSerial, AWriteSlowerThanASecondTimesOut) {
    set_string("COM1$", port_);
    Device d;
    ASSERT_EQ(dev_open(d, S("COM1:9600,N,8,1 /WD:0"), S("t")), 0);
    std::string block(60000, 'x');
    u16 rc = 0;
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 20 && !rc; i++) rc = dev_write(d, str_view(block.data(), u16(block.size())));
    EXPECT_EQ(rc, E_DEVICETIMEOUT);  // nobody reads the other end
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(text(error_detail()), "COM1:9600,N,8,1 /WD:0");
    dev_close(d);
}

TEST_F(DeviceSerial, WithoutAVariableComPortsAreTheSystemsPorts) {
    Device d;
    d.kind = DEV_SERIAL | DEV_PRINTER | DEV_ALWAYS;
    d.name = "COM1:9600,N,8,1";
    EXPECT_EQ(device_path(d), "/dev/ttyS0");
    d.name = "COM4:";
    EXPECT_EQ(device_path(d), "/dev/ttyS3");
}

TEST_F(DeviceSerial, ParametersOfTheText) {
    SerialParams p;
    ASSERT_EQ(serial_params(S("COM2:4800,o,7,2"), &p), 0);
    EXPECT_EQ(p.port, "COM2:");
    EXPECT_EQ(p.speed, 4800u);
    EXPECT_EQ(p.parity, 'O');
    EXPECT_EQ(p.data_bits, 7);
    EXPECT_EQ(p.stop_bits, 2);
    ASSERT_EQ(serial_params(S("COM1: 9600 , M , 8 , 3"), &p), 0);
    EXPECT_EQ(p.parity, 'M');
    EXPECT_EQ(p.stop_bits, 1);  // one stop bit unless the digit is 2
    EXPECT_EQ(serial_params(S("COM1:9600,NO"), &p), E_DEVICEIO);
}

// ---- The scanner ----

struct Posted {
    int count = 0;
    std::intptr_t port = -1, waiting = -1;
};

bool record_posts(const pf::Event& e, void* data) {
    if (e.kind != pf::EvKind::Private || e.code != SCANNER_MESSAGE) return false;
    auto* p = static_cast<Posted*>(data);
    p->count++;
    p->port = e.wparam;
    p->waiting = e.lparam;
    return true;
}

TEST_F(DeviceSerial, TheScannerPostsWhatWaitsOnItsPort) {
    Posted posted;
    vx::scr::WindowSpec spec;
    spec.title = S("Lector");
    spec.class_name = S("Test");
    spec.proc = record_posts;
    spec.data = &posted;
    vx::scr::WinId w = 0;
    ASSERT_EQ(vx::scr::window_create(spec, &w), 0);
    ASSERT_EQ(vx::scr::screen_open(w), 0);
    set_string("COM1$", port_);
    ASSERT_EQ(vx::scr::screen_attr_set(vx::scr::ATTR_SCANNER, S("COM1:9600,N,8,1")), 0);

    EXPECT_EQ(scanner_start(), 0);  // CHKSCAN not true: nothing
    EXPECT_EQ(sysint_get(SV_SERIAL), 0);
    set_int("CHKSCAN", 1);
    ASSERT_EQ(scanner_start(), 0);
    EXPECT_EQ(sysint_get(SV_SERIAL), 256);
    QTest::qWait(400);
    EXPECT_EQ(posted.count, 0);  // nothing waiting yet
    ASSERT_EQ(::write(master_, "12345", 5), 5);
    for (int i = 0; i < 20 && !posted.count; i++) QTest::qWait(100);
    EXPECT_GE(posted.count, 1);
    EXPECT_EQ(posted.port, 0);
    EXPECT_EQ(posted.waiting, 5);

    EXPECT_EQ(scanner_stop(), 0);
    EXPECT_EQ(sysint_get(SV_SERIAL), 0);
    int before = posted.count;
    QTest::qWait(500);
    EXPECT_EQ(posted.count, before);
    vx::scr::screen_close();
}

TEST_F(DeviceSerial, AScannerPortThatCannotOpenGives172) {
    ASSERT_EQ(vx::scr::screen_open(0), 0);
    set_int("CHKSCAN", 1);
    set_string("COM2$", (dir_.path() / "none").string());
    ASSERT_EQ(vx::scr::screen_attr_set(vx::scr::ATTR_SCANNER, S("COM2:9600,N,8,1")), 0);
    EXPECT_EQ(scanner_start(), E_DEVICEIO);
    EXPECT_EQ(text(error_detail()), "COM2:9600,N,8,1");
    EXPECT_EQ(sysint_get(SV_SERIAL), 0);
    ASSERT_EQ(vx::scr::screen_attr_set(vx::scr::ATTR_SCANNER, S("LPT1")), 0);  // no serial text
    EXPECT_EQ(scanner_start(), 0);
    vx::scr::screen_close();
}

}  // namespace
