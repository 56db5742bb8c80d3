// Serial ports over POSIX termios: opening a port exclusively with its line settings, writing
// with a time limit, and the state the scanner polls (bytes waiting, line errors). A port is
// addressed by its descriptor.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vx::os {

// Parity letters as the device texts write them.
enum class Parity : char { Even = 'E', Mark = 'M', None = 'N', Odd = 'O', Space = 'S' };

struct SerialLine {
    std::uint32_t speed = 9600;  // bits per second
    Parity parity = Parity::None;
    int data_bits = 8;           // 5-8
    int stop_bits = 1;           // 1 or 2
};

enum class SerialOpen : std::uint8_t {
    Ok,
    NoPort,    // missing, busy (opened exclusively elsewhere) or not a terminal
    Refused,   // the port does not take the line settings
};

// Opens an existing port for reading and writing, exclusively, without making it the
// controlling terminal: raw 8-bit data, no flow control of either kind, the receiver on,
// DTR raised and RTS dropped, reads that return at once, both directions purged. The
// descriptor, or -1 with *why set.
int serial_open(const char* path, const SerialLine& line, SerialOpen* why);
void serial_close(int fd);
// Writes all n bytes unless timeout_ms pass first: the bytes written.
std::size_t serial_write(int fd, const void* bytes, std::size_t n, int timeout_ms);

struct SerialState {
    bool error = false;  // overrun, parity, framing or break since the last look
    int waiting = 0;     // bytes received and not read
};
SerialState serial_state(int fd);

}  // namespace vx::os
