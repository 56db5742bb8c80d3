// What the report's source files share: the state of one run, the printing of the template
// and the reading of members.
#pragma once

#include <string>
#include <vector>

#include "output/chart_internal.h"
#include "output/report.h"

namespace vx::out {

// Where the detail loop takes its records from.
enum class Source : u8 {
    Scan,   // a key-range scan of the current data file
    Input,  // the lines of the attached input file
    Free,   // none: the detail block repeats until ATEND$ holds (once without one)
};

// The state of one run.
struct ReportState {
    Device dev;
    std::vector<TemplateLine> lines;
    std::size_t first_detail = 0;  // the detail section: first_detail..last_detail
    std::size_t last_detail = 0;
    bool has_detail = false;
    std::size_t body = 0;  // the detail line that governs a step
    // Records.
    Source source = Source::Free;
    u16 file = 0, key = 1;
    std::string first_key;  // key value of the first selected record
    std::string to;         // the "to" limit
    std::string condition;  // the record condition of the scan
    bool progress = false;
    // Layout.
    u16 prev_row = 0;        // template row of the last placed line
    u16 step_row = 0;        // device line of the current detail step
    i16 last_linestep = 0;   // LINESTEP% of the step printed last
    bool page_fresh = true;  // no detail step on this page yet
    u16 back = 0;            // detail rows moved up on continuation pages
    // Groups.
    bool group_open = false;
    std::string group_key;  // first key part of the group's first record
    u32 steps = 0;          // detail steps printed in this copy
    u16 error = 0;
};

// A member of the record on top of the parameter stack, as written: trimmed, outer quotes
// removed.
std::string member_written(u16 number);
// The value of a text when it evaluates to a string, else the text as written (unquoted).
std::string string_or_written(const std::string& written);
// Item n of a ";" list, trimmed.
std::string trimmed_item(const std::string& text, u16 n);

// A line member (71-81) from a template line's attributes: as written; has is set when the
// attribute is present.
std::string line_member(const TemplateLine& t, u16 number, bool* has = nullptr);
// An integer line member, evaluated; fallback when absent or empty.
i64 line_number(const TemplateLine& t, u16 number, i64 fallback);

// Prints the template once (one copy): head lines, the detail loop, the lines after it,
// then line 1 of the next page. 0, or the first error of 128 or above (122 for a cancel).
u16 report_print(ReportState& r);
// Finds where the detail section lies.
void report_sections(ReportState& r);

}  // namespace vx::out
