// Listing reports: a report template laid out line by line onto an output device (device.h),
// with page and title lines, columns filled from expressions and data-file fields through
// edit masks, detail lines repeated for the records a key range and a condition select,
// groups with head and foot lines, totals in the accumulator array _#, page changes that
// repeat the head lines, and the report window that shows a report sent to the screen.
//
// A report's parameters are the members of the parameter record on top of the parameter
// stack (expr/members.h); members 71-81 come from the attributes of the template line being
// printed. docs/REPORTS.md describes templates, members and the detail loop for the people
// who write them.
//
// Template line, by position: row (2 digits, 00 a conditional line), column (3 digits),
// then for a conditional line a condition and a tab, then the layout: column masks split by
// "|", a marker (0x17 plain, 0x18 relative, 0x19 detail; doubled: a page-foot line after the
// detail lines), the column expressions split by ",", and from " /" on the attributes
// "/MEMBER=value". A line whose sixth character is ":" is a directive (:INCLUDE, :DYNAMIC_LINE).
#pragma once

#include <string>
#include <vector>

#include "output/device.h"
#include "screens/window.h"

namespace vx::out {

// ---- Members ----
enum ReportMember : u16 {
    RM_COUNTER = 7,
    RM_OPEN = 13,
    RM_USR_COND = 64,
    RM_ATEND = 71,
    RM_BRKEND,
    RM_BREAK,
    RM_COND,
    RM_MAXLINE,
    RM_LINESTEP,
    RM_TOTALBASE,
    RM_CONTINUE,
    RM_EXTRASTEP,
    RM_TITLE,
    RM_WD,
    RM_DEVICE = 91,
    RM_DOCNAME,
    RM_ACBOUND,
    RM_INDEX,
    RM_LIMITS,
    RM_AUXLOAD,
    RM_PRCNAME = 99,
    RM_PROG_MODE = 103,
    RM_EOT_EXP = 110,
    RM_RD_COND = 111,
};
inline constexpr u16 LINE_MEMBER_FIRST = RM_ATEND, LINE_MEMBER_LAST = RM_WD;

inline constexpr const char* BRKEND_DEFAULT = "(KEY$()>'[$]~')";
inline constexpr const char* ATEND_OWN_RECORDS = "StatMove('NEXT')==0";  // _UPSTAT bit 4
inline constexpr const char* GROUP_KEY_MARK = "[$]";
inline constexpr const char* PROGRESS_STANDARD = "PROGRESS";
inline constexpr const char* PROGRESS_NONE = "NONE";

// ---- Lines and flags ----
enum LineMarker : u8 { MARK_PLAIN = 0x17, MARK_RELATIVE = 0x18, MARK_DETAIL = 0x19 };
enum LineFlag : u8 { LF_PLAIN = 1, LF_DOUBLED = 2, LF_RELATIVE = 4, LF_DETAIL = 16 };

inline constexpr u16 TEMPLATE_LIST = 8;           // string-store list of the template lines
inline constexpr u16 RESULT_LIST = 30;            // an input line of the detail loop
inline constexpr u16 ACCUMULATORS_DEFAULT = 256;  // elements of _# made available
inline constexpr u16 UPSTAT_OWN_RECORDS = 4;      // _UPSTAT: the caller moves the records
inline constexpr u16 AUXSTAT_KEEP_TOTALS = 1;     // _AUXSTAT: copies do not clear _#
inline constexpr u16 TASK_NO_LIMITS = 2;          // report task flags: no limits form, no loop
inline constexpr u16 INCLUDE_DEPTH_MAX = 8;       // :INCLUDE inside included files
inline constexpr u32 TEMPLATE_LINES_MAX = 2000;
inline constexpr u32 RUNS_MAX = 9999;             // repetitions of a whole run
inline constexpr u32 FREE_STEPS_MAX = 1000000;    // detail steps without a record source
inline constexpr u16 WINDOW_BUTTON_BASE = 3000;   // command of the report window's first button
inline constexpr u32 REPORT_TEXT_MAX = 67108863;  // bytes the report window shows

// One line of a template, parsed.
struct TemplateLine {
    u16 row = 0;  // 0: conditional
    u16 col = 1;
    u8 flags = 0;                    // LineFlag; 0 for a line without a marker
    std::string condition;           // conditional lines
    std::string text;                // the layout as written (text up to the marker)
    std::vector<std::string> masks;  // column segments
    std::vector<std::string> exprs;  // one per segment at most
    std::string attrs;               // from " /" on
};

// Reading a template. Directives are resolved (their file name may be an expression), the
// lines are kept in list 8 of the string store and returned parsed. 0, or 164 naming a file
// that is not found, 146 for a line longer than the store takes, 168 beyond
// TEMPLATE_LINES_MAX lines or INCLUDE_DEPTH_MAX nested includes.
u16 template_read(Str name, std::vector<TemplateLine>* out);
// The same over lines already in memory (a definition's own template lines).
u16 template_from_lines(const std::vector<std::string>& lines, std::vector<TemplateLine>* out);
TemplateLine template_parse(const std::string& line);
// A column mask ready for use: where ",." is followed by "#", the count of _DX (else of
// _PRECIS) is written over those places.
std::string column_mask(const std::string& mask);

// ---- Running ----

// What run report needs besides the members.
struct ReportRequest {
    std::string name;                // the template file; "" with lines given
    std::vector<std::string> lines;  // a template given as lines (a definition's own)
    std::string origin;              // the file of those lines (chooses the PDF page image)
    std::string from, to;            // key limits
    std::string condition;           // the report's own record condition
    std::string start;               // start condition ("" always true)
    std::string repeat;              // the whole run is repeated while it gives 1
    std::string device;              // device text; "" to choose
    bool chooser = true;             // without a device text: the device selection, else CON
};

// Runs one report: 0 (also when the user cancelled), 127 when no record is in range or the
// start condition is false, 164 without a template, or the first error of 128 or above.
u16 report_run(const ReportRequest& request);

// The report task: "file.ppn,n[,flags]" runs definition n of a definitions file (its
// members DOCNAME$ "template;procedure", OPEN$, ACBOUND$, LIMITS$, DEVICE$ ...; without a
// DOCNAME$, the definition's own template lines), "template[;procedure]" a template with an
// empty record. The limits form is asked again after each run while the definition has one.
u16 report_task(Str args);

// Registers the Report task of the run-time's default handler and the report window.
void reports_install();

// ---- The report window ----

// Shows the collected text of a screen device in the window "ReportWin" (class "Report"):
// the text in a scrolling multi-line control below a row of buttons (the items of entry 9
// of list 0, else "Cancelar"); a button stores its number - 3000 in _CUREDFLD and closes
// it, Escape closes it; the main window is disabled meanwhile. Unattended, the text is
// appended to the OUTPUT file and the window closes. 0, 130 for an unreadable file, 146
// beyond REPORT_TEXT_MAX bytes.
u16 report_window_show(Str collection_file);
inline constexpr char REPORT_CLASS[] = "Report";
inline constexpr char REPORT_WINDOW[] = "ReportWin";
inline constexpr int REPORT_TEXT_ID = 2999;
// The open report window, or 0 (tests drive it).
scr::WinId report_window();

}  // namespace vx::out
