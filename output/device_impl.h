// What the files of the device layer share: the per-kind backends, the printer records and
// character tables, and the pieces the tests look at directly. Not for use outside output/
// and its tests.
#pragma once

#include <array>
#include <cstddef>
#include <string>

#include "output/device.h"
#include "platform/canvas.h"

namespace vx::out {

inline constexpr const char* LANDSCAPE_OPTION = "/LANDSCAPE";  // a switch without a value

// ---- Backends: one per kind of output ----

struct Backend {
    u16 (*open)(Device& d, Str title);
    u16 (*emit)(Device& d, const char* bytes, std::size_t n);  // bytes as they go out
    u16 (*flush)(Device& d);                                    // before a viewer reads
    u16 (*close)(Device& d);
};

const Backend& backend_file();
const Backend& backend_screen();
const Backend& backend_serial();
const Backend& backend_pdf();
const Backend& backend_spool();
const Backend& backend_winprn();

// Shows the collected text of a screen device: the registered report window, else the text
// appended to the OUTPUT file (standard error without one).
u16 screen_show(Device& d);
// Appends a collected text to where unattended output goes: the OUTPUT file as it is, or
// standard error in UTF-8.
u16 screen_write_out(const std::string& path);

// The path a device writes to: the device name, or for printer and serial ports the string
// variable named after the port ("LPT1$", "COM1$") or the system's serial port.
std::string device_path(const Device& d);

// True when the value starts with a yes letter of message 0011 ("S").
bool yes_letter(Str value);
// The command-line key MODE is PRNTOFILE: printer output goes to "unixprn.txt".
bool print_to_file();
// The folder of temporary output: TEMP, else $TMPDIR, else /tmp.
std::string temp_folder();

// Writes the bytes into a file beside path that takes its name only once every byte reached
// it: false when it failed (a full disk), and then an old file of that name is left as it
// was and nothing else.
bool file_write_whole(const std::string& path, const std::string& bytes);

// Records the code with module Devices and the detail text; returns it.
u16 device_fail(u16 code, Str detail);
u16 device_fail(u16 code, const std::string& detail);

// ---- Printer records ----

inline constexpr u16 PRN_HEADER = 160;
inline constexpr u16 PRN_RECORD = 96;
inline constexpr u16 PRN_ENTRY = 8;
inline constexpr u16 PRN_ENTRIES = 10;
inline constexpr u16 PRN_WIDTH_AT = 80;
inline constexpr u16 PRN_LINES_AT = 88;
inline constexpr u16 PRN_PRINTERS = 6;
inline constexpr u8 PRN_WIDTH_BUILTIN = 80;
inline constexpr u8 PRN_LINES_BUILTIN = 72;
inline constexpr const char* PRN_FILE = "KVPRNP00.DAT";
inline constexpr u16 PRN_CONFIG_ENTRY = 0;  // of list 9
inline constexpr u16 PRN_END_ENTRY = 1;     // control entry sent when a printout ends

struct PrinterRecord {
    std::array<u8, PRN_RECORD> bytes{};
    u16 width() const { return bytes[PRN_WIDTH_AT]; }
    u16 lines() const { return bytes[PRN_LINES_AT]; }
};

// Record n of the configuration (read once, kept in list 9 entry 0); record 0, the built-in
// one, for n 0, beyond the file or without the file.
PrinterRecord printer_record(u16 n);
// The bytes of control entry e, trailing NULs left out.
std::string control_entry(const PrinterRecord& r, u16 e);
// The five "off" entries (1, 3, 5, 7, 9) in that order.
std::string reset_sequence(const PrinterRecord& r);
// The entry of a control character (0x0F 0x12 0x0E 0x14 0x10 0x11 0x1C 0x1D 0x1E 0x1F), or
// -1 for any other byte.
int control_index(u8 c);
// The text as it goes to a device: the character table of the kind (printer or other), then
// each control character replaced by its control entry (printers) or left out (others).
std::string device_translate(bool printer, const PrinterRecord& r, Str text);

// ---- Serial ports ----

inline constexpr u16 SERIAL_PORTS = 4;
inline constexpr int SERIAL_WRITE_LIMIT_MS = 1000;

struct SerialParams {
    std::string port;   // the name up to and including ':'
    u32 speed = 9600;
    char parity = 'N';
    int data_bits = 8;
    int stop_bits = 1;
};
// "COM2:4800,O,7,2": 0, or 172 for a parity letter outside "EMNOS".
u16 serial_params(Str name, SerialParams* out);
// The descriptor of an open port slot (-1 when none).
int serial_port_fd(u16 slot);
void serial_release_all();

// ---- PDF documents ----

void pdf_release_all();

// ---- WINPRN: text printed with fonts on pages of a canvas ----

inline constexpr const char* WINPRN_FACE = "Lucida Console";
inline constexpr int WINPRN_LINES_PORTRAIT = 64;
inline constexpr int WINPRN_LINES_LANDSCAPE = 36;
inline constexpr int WINPRN_SIZE_REFERENCE = 104;  // the base size the size bytes were set for
inline constexpr int WINPRN_SIZE_CONDENSED = 64;
inline constexpr int WINPRN_SIZE_WIDE = 208;

struct WinPrinter {
    platform::Canvas* canvas = nullptr;
    bool (*next_page)(void* job) = nullptr;  // ends the page and starts another
    void* job = nullptr;
    int width = 0, height = 0;   // printable area in pixels
    int base = 0;                // the base font size B
    int lines = 0;               // lines per page
    int line_height = 0;
    int top = 0, left = 0, bottom = 0;
    int x = 0, y = 0;
    int pages = 0;               // pages begun
    int page_lines = 0;          // lines ended on the current page
    bool line_start = true;
    platform::FontSpec font;
};
// Page geometry and the default font of a printable area.
void winprn_setup(WinPrinter& p, platform::Canvas* canvas, int width, int height);
// Prints text as a WINPRN device does: false when a new page could not be had.
bool winprn_text(WinPrinter& p, Str text);
void winprn_release_all();

// ---- Spooler ----

void backends_release_all();  // files, collection files and spooler jobs

}  // namespace vx::out
