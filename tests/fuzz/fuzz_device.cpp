// Device texts: the first line of the input is a device text, the lines after it what is
// written, each line's first two bytes the row and column it goes to. The text is taken apart
// (name, kind, printer number, serial settings); it is opened, written, finished and closed
// only when it names the screen or a file, PDF or printer-port file of the scratch folder
// itself. Serial ports, spooler queues and the print dialog are never opened.
#include <string>

#include "output/device.h"
#include "output/device_impl.h"
#include "runtime/arena.h"
#include "support.h"

using namespace vx;

namespace {

constexpr std::size_t WRITES_MAX = 64;  // lines written to one device
constexpr const char* PATH_CHARS_REFUSED = "/\\~$";
constexpr rt::u8 KINDS_OPENED = out::DEV_SCREEN | out::DEV_FILE | out::DEV_PDF | out::DEV_PORT |
                                out::DEV_PRINTER | out::DEV_ALWAYS;

rt::Str as_str(std::string_view s) {
    return rt::str_view(s.data(), rt::u16(s.size() < rt::MAX_STR ? s.size() : rt::MAX_STR));
}

// A plain name of the scratch folder: no folder part, no parent, nothing a shell expands.
bool plain_local_name(const std::string& path) {
    return !path.empty() && path.find_first_of(PATH_CHARS_REFUSED) == std::string::npos &&
           path.find("..") == std::string::npos;
}

// Only kinds that end in this folder (or in the screen's collection file) are opened.
bool opens_here(rt::Str name, rt::u8 kind) {
    if (kind & ~KINDS_OPENED) return false;
    if (kind & out::DEV_SCREEN) return true;
    if (kind == out::KIND_WINPRN) return false;
    out::Device probe;
    probe.kind = kind;
    probe.name.assign(name.p, name.n);
    return plain_local_name(probe.name) && out::device_path(probe) == probe.name;
}

void write_lines(out::Device& d, std::string_view rest) {
    for (std::size_t n = 0; n < WRITES_MAX && !rest.empty(); n++) {
        auto [line, after] = fuzz::first_line(rest);
        rest = after;
        rt::u16 row = line.size() > 0 ? rt::u8(line[0]) : 0;
        rt::u16 col = line.size() > 1 ? rt::u8(line[1]) : 0;
        if (out::dev_position(d, row, col)) return;
        rt::TmpScope scope;
        if (out::dev_write(d, as_str(line.substr(line.size() < 2 ? line.size() : 2)))) return;
        if (out::dev_write(d, rt::S("\r\n"))) return;
    }
    out::dev_finish(d);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::fresh_folder();
    auto [text, rest] = fuzz::first_line(fuzz::input_text(data, size));
    fuzz::Session session;
    if (!session.started()) return 0;
    rt::TmpScope scope;
    rt::Str device_text = as_str(text);
    rt::Str name = out::device_name(device_text);
    rt::u8 kind = out::device_kind(name);
    out::device_printer_number(name);
    if (kind & out::DEV_SERIAL) {
        out::SerialParams params;
        out::serial_params(name, &params);
    }
    if (!opens_here(name, kind)) return 0;
    out::Device d;
    if (out::dev_open(d, device_text, rt::S("Fuzz")) == 0) write_lines(d, rest);
    out::dev_close(d);
    out::devices_release();
    return 0;
}
