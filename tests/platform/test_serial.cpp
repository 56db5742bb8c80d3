// Serial ports: the terminal settings of each line setting, and a pseudo-terminal pair as
// the port (opened exclusively, bytes written and waiting, refused settings).
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <string>

#include "platform/serial.h"
#include "platform/serial_termios.h"

using namespace vx::os;

namespace {

termios made(const SerialLine& line) {
    termios t{};
    EXPECT_TRUE(serial_termios(line, &t));
    return t;
}

TEST(SerialTermios, SizeParityAndStopBits) {
    const struct {
        SerialLine line;
        tcflag_t size, parity;
        bool two_stops;
    } cases[] = {
        {{9600, Parity::None, 8, 1}, CS8, 0, false},
        {{4800, Parity::Odd, 7, 2}, CS7, PARENB | PARODD, true},
        {{1200, Parity::Even, 7, 1}, CS7, PARENB, false},
        {{2400, Parity::Mark, 8, 1}, CS8, PARENB | PARODD | CMSPAR, false},
        {{2400, Parity::Space, 5, 1}, CS5, PARENB | CMSPAR, false},
        {{2400, Parity::None, 6, 3}, CS6, 0, false},
    };
    for (const auto& c : cases) {
        termios t = made(c.line);
        EXPECT_EQ(t.c_cflag & CSIZE, c.size);
        EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), c.parity);
        EXPECT_EQ(bool(t.c_iflag & INPCK), c.parity != 0);
        EXPECT_EQ(bool(t.c_cflag & CSTOPB), c.two_stops);
        EXPECT_EQ(cfgetospeed(&t), cfgetispeed(&t));
        EXPECT_TRUE(t.c_cflag & (CLOCAL | CREAD));
        EXPECT_FALSE(t.c_cflag & CRTSCTS);
        EXPECT_FALSE(t.c_iflag & (IXON | IXOFF | IXANY));
        EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ISIG));
        EXPECT_EQ(t.c_cc[VMIN], 0);
        EXPECT_EQ(t.c_cc[VTIME], 0);
    }
    termios slow = made({4800, Parity::None, 8, 1});
    EXPECT_EQ(cfgetospeed(&slow), speed_t(B4800));
}

TEST(SerialTermios, RefusedSettings) {
    termios t{};
    EXPECT_FALSE(serial_termios({12345, Parity::None, 8, 1}, &t));
    EXPECT_FALSE(serial_termios({9600, Parity::None, 9, 1}, &t));
    EXPECT_FALSE(serial_termios({9600, Parity::None, 4, 1}, &t));
    EXPECT_FALSE(serial_termios({9600, Parity('X'), 8, 1}, &t));
}

class SerialPty : public ::testing::Test {
protected:
    void SetUp() override {
        char name[256] = {};
        ASSERT_EQ(::openpty(&master_, &slave_, name, nullptr, nullptr), 0);
        path_ = name;
    }
    void TearDown() override {
        ::close(master_);
        ::close(slave_);
    }
    int master_ = -1, slave_ = -1;
    std::string path_;
};

TEST_F(SerialPty, WritesArriveAndWaitingBytesAreCounted) {
    SerialOpen why;
    int fd = serial_open(path_.c_str(), {9600, Parity::None, 8, 1}, &why);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(why, SerialOpen::Ok);
    EXPECT_EQ(serial_write(fd, "abc", 3, 1000), 3u);
    char buf[8] = {};
    EXPECT_EQ(::read(master_, buf, sizeof buf), 3);
    EXPECT_EQ(std::string(buf, 3), "abc");
    EXPECT_EQ(serial_state(fd).waiting, 0);
    ASSERT_EQ(::write(master_, "12", 2), 2);
    ::usleep(20000);
    SerialState s = serial_state(fd);
    EXPECT_EQ(s.waiting, 2);
    EXPECT_FALSE(s.error);
    serial_close(fd);
}

TEST_F(SerialPty, ExclusiveOpenAndFailures) {
    SerialOpen why;
    int fd = serial_open(path_.c_str(), {9600, Parity::None, 8, 1}, &why);
    ASSERT_GE(fd, 0);
    EXPECT_LT(serial_open(path_.c_str(), {9600, Parity::None, 8, 1}, &why), 0);
    EXPECT_EQ(why, SerialOpen::NoPort);
    serial_close(fd);
    EXPECT_LT(serial_open(path_.c_str(), {9600, Parity::None, 9, 1}, &why), 0);
    EXPECT_EQ(why, SerialOpen::Refused);
    EXPECT_LT(serial_open("/no/such/tty", {9600, Parity::None, 8, 1}, &why), 0);
    EXPECT_EQ(why, SerialOpen::NoPort);
    EXPECT_LT(serial_open("/dev/null", {9600, Parity::None, 8, 1}, &why), 0);  // not a terminal
    fd = serial_open(path_.c_str(), {9600, Parity::None, 8, 1}, &why);
    EXPECT_GE(fd, 0);
    serial_close(fd);
}

TEST_F(SerialPty, AWriteNobodyReadsStopsAtItsTimeLimit) {
    SerialOpen why;
    int fd = serial_open(path_.c_str(), {9600, Parity::None, 8, 1}, &why);
    ASSERT_GE(fd, 0);
    std::string big(1 << 20, 'x');  // far more than the terminal buffers
    std::size_t done = serial_write(fd, big.data(), big.size(), 200);
    EXPECT_LT(done, big.size());
    serial_close(fd);
}

}  // namespace
