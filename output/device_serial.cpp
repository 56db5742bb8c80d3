// Serial devices: the port table (four ports), the serial parameters of a device text, the
// serial backend with its write time limit, and the scanner port polled every 350 ms for
// the main window.
#include <algorithm>
#include <array>
#include <chrono>

#include "expr/eval.h"
#include "output/device_impl.h"
#include "platform/serial.h"
#include "platform/ticker.h"
#include "runtime/arena.h"
#include "runtime/error.h"
#include "runtime/sysvars.h"
#include "screens/mainwin.h"
#include "screens/screen.h"

namespace vx::out {

using namespace vx::rt;

namespace {

constexpr const char* PARITIES = "EMNOS";
constexpr const char* SCANNER_SWITCH = "CHKSCAN";
constexpr u16 SERIAL_PORT_MASK = 255;

struct Ports {
    std::array<int, SERIAL_PORTS> fd{-1, -1, -1, -1};
    int ticker = 0;
};

Ports ports;

u16 free_port() {
    for (u16 i = 0; i < SERIAL_PORTS; i++)
        if (ports.fd[i] < 0) return i;
    return DEVICE_NO_HANDLE;
}

void close_port(u16 slot) {
    if (slot >= SERIAL_PORTS || ports.fd[slot] < 0) return;
    os::serial_close(ports.fd[slot]);
    ports.fd[slot] = -1;
}

// Opens a port for a device text: the slot, or DEVICE_NO_HANDLE with *rc set.
u16 open_port(Str name, const std::string& path, const std::string& text, u16* rc) {
    SerialParams p;
    if ((*rc = serial_params(name, &p))) return DEVICE_NO_HANDLE;
    u16 slot = free_port();
    if (slot == DEVICE_NO_HANDLE) {
        *rc = device_fail(E_DATAOUTBOUND, text);
        return slot;
    }
    os::SerialLine line{p.speed, os::Parity(p.parity), p.data_bits, p.stop_bits};
    os::SerialOpen why;
    int fd = os::serial_open(path.c_str(), line, &why);
    if (fd < 0) {
        *rc = device_fail(why == os::SerialOpen::Refused ? LINES_REFUSED : u16(E_DEVICETIMEOUT), text);
        return DEVICE_NO_HANDLE;
    }
    ports.fd[slot] = fd;
    *rc = 0;
    return slot;
}

u16 serial_open_device(Device& d, Str) {
    u16 rc = 0;
    TmpScope scope;
    u16 slot = open_port(str_view(d.name.data(), u16(d.name.size())), d.path, d.text, &rc);
    if (slot != DEVICE_NO_HANDLE) d.handle = slot;
    return rc;
}

u16 serial_emit(Device& d, const char* bytes, std::size_t n) {
    int fd = serial_port_fd(d.handle);
    if (fd < 0) return device_fail(E_DEVICEIO, d.text);
    using Clock = std::chrono::steady_clock;
    auto start = Clock::now();
    // A write slower than the limit fails whether or not it would have ended later: waiting
    // beyond it gains nothing, and a port that takes nothing cannot hold the program.
    std::size_t done = os::serial_write(fd, bytes, n, SERIAL_WRITE_LIMIT_MS + 1);
    auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    if (done < n || took > SERIAL_WRITE_LIMIT_MS) return device_fail(E_DEVICETIMEOUT, d.text);
    return 0;
}

u16 serial_close_device(Device& d) {
    close_port(d.handle);
    return 0;
}

// ---- The scanner ----

scr::WinId scanner_window() {
    scr::WinId main = scr::main_window();
    return main ? main : scr::window_top();
}

void scanner_tick(void*) {
    i16 serial = sysint_get(SV_SERIAL);
    if (!(u16(serial) & SERIAL_OPEN_FLAG)) return;
    u16 slot = u16(serial) & SERIAL_PORT_MASK;
    int fd = serial_port_fd(slot);
    scr::WinId w = scanner_window();
    if (fd < 0 || !w) return;
    os::SerialState s = os::serial_state(fd);
    if (!s.error && s.waiting > 0) platform::post_private(w, 0, SCANNER_MESSAGE, slot, s.waiting);
}

}  // namespace

u16 serial_params(Str name, SerialParams* out) {
    *out = SerialParams{};
    u16 colon = str_find_char(name, 0, ':', PLAIN);
    if (colon == NOT_FOUND) return device_fail(E_DEVICEIO, name);
    out->port.assign(name.p, colon + 1u);
    Str items = str_substr(name, colon + 1, u16(name.n - colon - 1));
    TmpScope scope;
    Str speed = str_trim(list_item(items, ',', 1), TRIM_BOTH);
    Str parity = str_upper(str_trim(list_item(items, ',', 2), TRIM_BOTH));
    Str data = str_trim(list_item(items, ',', 3), TRIM_BOTH);
    Str stop = str_trim(list_item(items, ',', 4), TRIM_BOTH);
    if (speed.n) out->speed = u32(std::clamp<i64>(text_to_int64(speed), 0, 0xFFFFFFFF));
    if (parity.n) {
        if (parity.n != 1 || str_find_char(str_from_cstr(PARITIES), 0, parity.p[0], PLAIN) == NOT_FOUND)
            return device_fail(E_DEVICEIO, name);
        out->parity = parity.p[0];
    }
    if (data.n) out->data_bits = data.p[0] - '0';
    if (stop.n) out->stop_bits = stop.p[0] == '2' ? 2 : 1;
    return 0;
}

int serial_port_fd(u16 slot) { return slot < SERIAL_PORTS ? ports.fd[slot] : -1; }

const Backend& backend_serial() {
    static const Backend b{serial_open_device, serial_emit, nullptr, serial_close_device};
    return b;
}

u16 scanner_start() {
    TmpScope scope;
    if (expr::expr_condition(str_from_cstr(SCANNER_SWITCH)) != 1) return 0;
    Str text = scr::screen_attr(scr::ATTR_SCANNER);
    Str name = device_name(text);
    if (!name.ok() || !(device_kind(name) & DEV_SERIAL)) return 0;
    scanner_stop();
    Device d;
    d.kind = device_kind(name);
    d.name.assign(name.p, name.n);
    d.text.assign(text.p, text.n);
    u16 rc = 0;
    u16 slot = open_port(name, device_path(d), d.text, &rc);
    if (slot == DEVICE_NO_HANDLE) return device_fail(E_DEVICEIO, text);
    sysint_set(SV_SERIAL, i16(slot + SERIAL_OPEN_FLAG));
    ports.ticker = platform::ticker_start(scr::main_window(), SCANNER_POLL_MS, scanner_tick, nullptr);
    return 0;
}

u16 scanner_stop() {
    i16 serial = sysint_get(SV_SERIAL);
    if (u16(serial) & SERIAL_OPEN_FLAG) close_port(u16(serial) & SERIAL_PORT_MASK);
    if (ports.ticker) platform::ticker_stop(ports.ticker);
    ports.ticker = 0;
    sysint_set(SV_SERIAL, 0);
    return 0;
}

void serial_release_all() {
    scanner_stop();
    for (u16 i = 0; i < SERIAL_PORTS; i++) close_port(i);
}

}  // namespace vx::out
