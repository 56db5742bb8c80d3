// Serial ports on termios. Line errors are read from the driver's interrupt counters
// (TIOCGICOUNT) where the driver keeps them; a port without them (a pseudo-terminal) reports
// none.
#include "platform/serial.h"

#include "platform/serial_termios.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <iterator>
#include <map>

namespace vx::os {

namespace {

struct SpeedCode {
    std::uint32_t bps;
    speed_t code;
};

constexpr SpeedCode SPEEDS[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},       {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

constexpr tcflag_t DATA_BITS[] = {CS5, CS6, CS7, CS8};  // for 5 to 8 bits
constexpr int DATA_BITS_MIN = 5;

// The error counters last seen per port, to tell new errors from old ones.
std::map<int, serial_icounter_struct>& last_counts() {
    static std::map<int, serial_icounter_struct> counts;
    return counts;
}

bool speed_code(std::uint32_t bps, speed_t* out) {
    for (const SpeedCode& s : SPEEDS) {
        if (s.bps == bps) {
            *out = s.code;
            return true;
        }
    }
    return false;
}

tcflag_t parity_flags(Parity p) {
    switch (p) {
    case Parity::Even: return PARENB;
    case Parity::Odd: return PARENB | PARODD;
    case Parity::Mark: return PARENB | CMSPAR | PARODD;
    case Parity::Space: return PARENB | CMSPAR;
    case Parity::None: return 0;
    }
    return 0;
}

bool valid_parity(Parity p) {
    switch (p) {
    case Parity::Even: case Parity::Odd: case Parity::Mark: case Parity::Space: case Parity::None:
        return true;
    }
    return false;
}

}  // namespace

bool serial_termios(const SerialLine& line, termios* io) {
    termios& t = *io;
    speed_t speed;
    if (!speed_code(line.speed, &speed) || !valid_parity(line.parity)) return false;
    if (line.data_bits < DATA_BITS_MIN || line.data_bits >= DATA_BITS_MIN + int(std::size(DATA_BITS)))
        return false;
    cfmakeraw(&t);
    t.c_iflag &= ~tcflag_t(IXON | IXOFF | IXANY | INPCK | IGNPAR | PARMRK);
    t.c_cflag &= ~tcflag_t(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= CLOCAL | CREAD | DATA_BITS[line.data_bits - DATA_BITS_MIN] | parity_flags(line.parity);
    if (line.parity != Parity::None) t.c_iflag |= INPCK;
    if (line.stop_bits == 2) t.c_cflag |= CSTOPB;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    return cfsetispeed(&t, speed) == 0 && cfsetospeed(&t, speed) == 0;
}

namespace {

bool apply_line(int fd, const SerialLine& line) {
    termios t{};
    return tcgetattr(fd, &t) == 0 && serial_termios(line, &t) && tcsetattr(fd, TCSANOW, &t) == 0;
}

// DTR up, RTS down; a port without modem lines (a pseudo-terminal) simply has none.
void set_modem_lines(int fd) {
    int dtr = TIOCM_DTR, rts = TIOCM_RTS;
    (void)ioctl(fd, TIOCMBIS, &dtr);
    (void)ioctl(fd, TIOCMBIC, &rts);
}

}  // namespace

int serial_open(const char* path, const SerialLine& line, SerialOpen* why) {
    SerialOpen dummy;
    if (!why) why = &dummy;
    *why = SerialOpen::NoPort;
    if (!path || !*path) return -1;
    int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    // Exclusive: no further open of the terminal (for users other than root) and an advisory
    // lock that other programs keeping to the convention (and root) respect as well.
    if (!isatty(fd) || ioctl(fd, TIOCEXCL) != 0 || flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return -1;
    }
    if (!apply_line(fd, line)) {
        close(fd);
        *why = SerialOpen::Refused;
        return -1;
    }
    set_modem_lines(fd);
    tcflush(fd, TCIOFLUSH);
    serial_icounter_struct counts{};
    if (ioctl(fd, TIOCGICOUNT, &counts) == 0) last_counts()[fd] = counts;
    *why = SerialOpen::Ok;
    return fd;
}

void serial_close(int fd) {
    if (fd < 0) return;
    last_counts().erase(fd);
    ioctl(fd, TIOCNXCL);
    close(fd);
}

std::size_t serial_write(int fd, const void* bytes, std::size_t n, int timeout_ms) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    const char* p = static_cast<const char*>(bytes);
    std::size_t done = 0;
    while (done < n) {
        ssize_t w = write(fd, p + done, n - done);
        if (w > 0) {
            done += std::size_t(w);
            continue;
        }
        if (w < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) break;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) break;
        pollfd pf{fd, POLLOUT, 0};
        if (poll(&pf, 1, int(left.count())) < 0 && errno != EINTR) break;
    }
    return done;
}

SerialState serial_state(int fd) {
    SerialState s;
    int waiting = 0;
    if (ioctl(fd, FIONREAD, &waiting) == 0) s.waiting = waiting;
    serial_icounter_struct now{};
    auto it = last_counts().find(fd);
    if (it != last_counts().end() && ioctl(fd, TIOCGICOUNT, &now) == 0) {
        const serial_icounter_struct& was = it->second;
        s.error = now.overrun != was.overrun || now.parity != was.parity ||
                  now.frame != was.frame || now.brk != was.brk || now.buf_overrun != was.buf_overrun;
        it->second = now;
    }
    return s;
}

}  // namespace vx::os
