// Output devices: where reports and listings go. A device is named by one text, its device
// text; opening it gives a device record, which is written line by line and closed once.
//
// Device text: the device name, then options anywhere as /KEY:value (or /KEY=value):
//   LP  lines per page (0: no paging)          default: the printer record's (72 built in)
//   WD  line width in columns (0: no wrapping)  default: the printer record's (80 built in)
//   ST  step (kept for the report layout)       default: 1
//   VW  show the result when finished: the value starts with a yes letter of message 0011
// The name is the text before the first of "/LP", "/WD", "/ST", "/VW" that is followed by ':'
// or '=' (so a path such as "/srv/STOCK.pdf" stays whole) or "/LANDSCAPE", blanks trimmed. A serial port
// name ends with ':' and carries speed, parity letter (E, M, N, O, S), data bits and stop
// bits: "COM1:9600,N,8,1". "/LANDSCAPE" anywhere turns a WINPRN page sideways.
//
// Kinds (DeviceKind bits; DEV_ALWAYS is set on every device):
//   ""/"CON"        screen: collected in a private temporary file (TEMP, else $TMPDIR, else
//                   /tmp, mode 0600), shown at finish by the report window registered with
//                   report_window_set (without one, appended to the OUTPUT file or standard
//                   error); the file is removed at close
//   LPTn, lpN, usbN printer port: a file (the string variable "LPT1$" etc. may name a device
//                   node such as /dev/usb/lp0); printer codes and the printer character table
//   COMn:...        serial printer (the variable "COM1$" may name the port; else /dev/ttyS0
//                   for COM1 and so on); with the command-line key MODE=PRNTOFILE printer
//                   output goes to the file "unixprn.txt" instead
//   *.pdf           PDF file (output/pdf.h), written at close
//   WINPRN          the system print dialog, printed with fonts (unattended: the INPUT line
//                   names the PDF file to print into)
//   a CUPS queue    raw bytes through the spooler, once the device selection has enabled
//                   system printers (bit 128 of _SYSCOMPAT) and a queue of that name exists
//   anything else   a text file (deleted first unless it is a .log or .out file)
//
// Use, as a report does it:
//   Device d;
//   if (dev_open(d, text, title)) ...            // d.error holds the code as well
//   dev_position(d, row, col);                   // line breaks, then blanks
//   dev_write(d, S("Pg.   1"));                  // wraps at the width, pages at LP
//   ...
//   if (ok) dev_finish(d);                       // printer end code, report window, viewer
//   ok ? dev_close(d) : dev_discard(d);          // always, once
// Every write updates d.line, d.col and d.page (from 1) and publishes them with the page size
// in the integer system variables _DEVLIN, _DEVPOS, _DEVPAG, _DEVHIG, _DEVWID (opening does
// too). A report that changes _DEVHIG or _DEVWID takes them back with dev_size_from_vars.
// The record stays readable after close (kind, counters, path).
//
// Errors are the run-time's codes, recorded with module Devices and a detail naming the
// device or file: 130 no collection file, 131 a file that cannot be written, 141 no default
// queue, 163 an unknown queue, 164 a missing header image or configuration file, 171 a serial
// port that cannot be opened or a serial write slower than a second, 172 a refused parity,
// a spooler or print failure, 122 a print dialog cancelled, 65535 line settings refused.
#pragma once

#include <string>

#include "runtime/str.h"

namespace vx::out {

using rt::i16;
using rt::Str;
using rt::u16;
using rt::u32;
using rt::u8;

enum DeviceKind : u8 {
    DEV_FILE = 1,
    DEV_SCREEN = 2,
    DEV_PORT = 4,      // printer port
    DEV_SERIAL = 8,
    DEV_SPOOL = 16,    // system printer queue, raw bytes
    DEV_PDF = 32,
    DEV_PRINTER = 64,  // printer codes and the printer character table apply
    DEV_ALWAYS = 128,  // set on every device; alone it is WINPRN
};
inline constexpr u8 KIND_WINPRN = DEV_ALWAYS;

inline constexpr u16 DEVICE_NO_HANDLE = 0xFFFF;
inline constexpr u16 DEVICE_STEP_DEFAULT = 1;
inline constexpr u16 SYSCOMPAT_SYSTEM_PRINTERS = 128;  // _SYSCOMPAT: WINPRN and queues
inline constexpr u16 LINES_REFUSED = 0xFFFF;            // serial line settings refused
inline constexpr u16 VIEWER_FAILED = 0xFFFF;

// The device record.
struct Device {
    u8 kind = 0;
    u16 handle = DEVICE_NO_HANDLE;  // slot of the kind's table: file, port, PDF document...
    u16 printer = 0;                // 1-6 for LPT1-LPT6, else 0
    u16 error = 0;                  // the last error of an operation on the device
    u16 lines = 0;                  // LP
    u16 width = 0;                  // WD
    u16 step = DEVICE_STEP_DEFAULT; // ST
    u8 show = 0;                    // VW
    u16 page = 1, line = 1, col = 1;
    bool open = false;
    bool discard = false;           // closing throws away what a file or PDF received
    std::string text;               // the device text as given
    std::string name;               // its name, options removed
    std::string path;               // what is written: file, node, port, queue, PDF file
};

// ---- The device text ----

// The device name of a text (a view into it).
Str device_name(Str text);
// The kind of a device name (options removed), with DEV_ALWAYS.
u8 device_kind(Str name);
// 1-6 for "LPT1"-"LPT6", else 0.
u16 device_printer_number(Str name);

// ---- Operations ----

u16 dev_open(Device& d, Str text, Str title);
u16 dev_write(Device& d, Str text);
// Line breaks until the line is reached (on a device with pages, on the next page when the
// line is above the current one or beyond the page), then blanks up to the column. A line
// or column of 0 is left as it is.
u16 dev_position(Device& d, u16 line, u16 col);
// Done only when the output ended without error: the printer's end code (control entry 1),
// the report window for the screen, viewer 1 for a plain file with the show flag.
u16 dev_finish(Device& d);
u16 dev_close(Device& d);
// Closes a device whose output did not end well (the run failed half-way): a file written
// afresh is removed, as after a failed write, and a PDF is not written, so that no cut
// report passes for a whole one; a job of a printer queue is cancelled. A growing file (.log,
// .out) keeps what it got; what went to a port or the print dialog cannot be taken back and
// is closed as dev_close does.
u16 dev_discard(Device& d);
// _DEVHIG, _DEVWID, _DEVLIN, _DEVPOS, _DEVPAG from the record.
void dev_publish(const Device& d);
// The page size back from _DEVHIG and _DEVWID.
void dev_size_from_vars(Device& d);

// ---- Device selection ----

// The device names offered, and what the list's entry 5 of list 9 keeps.
inline constexpr const char* DEVICE_CHOICES = "CON,LPT1,LPT2,LPT3,LPT4,LPT5,LPT6,PDF,TXT,COM1:,COM2:,DEV,WINPRN";
inline constexpr u16 DEVICE_LIST = 9, DEVICE_CHOSEN_ENTRY = 5;

// Asks for a device (the dialog starts from current) and returns the device text, "" when
// cancelled; the result is kept as entry 5 of list 9 and system printers are enabled. With
// an input file attached (_INHND, not at its end) its next line is the answer and no dialog
// is shown; unattended without one, the answer is "" (written out as "[title] line").
Str device_select(Str current);

// ---- Printers ----

// The configuration forms of printer n (1-6) over "KVPRNP00.DAT": 0, 122 when cancelled
// (nothing written), 164 when the file is missing, 131 when it cannot be written back.
u16 printer_configure(u16 n);
// Forgets the configuration read, so that the next device reads the file again.
void printer_config_forget();

// ---- Viewers ----

// Opens a file with viewer n: 1 text editor, 2 web browser, 3 PDF reader, 4 word processor,
// 5 office suite. The program is the string variable "VIEWERn$" when set (a program and
// its own arguments, blank-separated, quotes allowed, %NAME% expanded), else xdg-open; the
// file is handed over as one argument. With BATCH the file is only named in the output.
// 0, or 65535 (detail: the program) when the program cannot be started.
u16 viewer_open(u16 number, Str file);

// ---- The screen's report window ----

// Shows the collected text of a screen device; registered by the report layer.
using ReportWindowFn = u16 (*)(Str collection_file);
void report_window_set(ReportWindowFn fn);

// ---- Serial scanner ----

inline constexpr u16 SCANNER_MESSAGE = 35040;  // posted with the port and the bytes waiting
inline constexpr int SCANNER_POLL_MS = 350;
inline constexpr u16 SERIAL_OPEN_FLAG = 256;   // _SERIAL = port number + 256 while open
// When CHKSCAN is true and attribute 26 of the current screen is a serial device text:
// opens that port (closing one open before) and polls it every 350 ms for the main window.
// 0 (also when there is nothing to start) or 172 with the device text.
u16 scanner_start();
u16 scanner_stop();

// ---- Life cycle ----

// Registers the device layer's release at shutdown (chained before the window layer's).
void devices_install();
// Closes every port, document and job still open.
void devices_release();

}  // namespace vx::out
