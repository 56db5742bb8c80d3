// Logs: the trace log and its path, dated records framed by asterisk lines, and assertions.
//
// Trace lines go to the log file when their bits meet _TRACE. The log file is the one
// log_start named, else the application prefix + "log.txt" in the current folder.
#pragma once

#include "runtime/str.h"

namespace vx::rt {

inline constexpr const char* LOG_DEFAULT_NAME = "log.txt";
inline constexpr const char* ASSERT_LOG = "assertions.log";
inline constexpr const char* ASSERT_CAPTION = "Assertion Fail";

Str log_path();
u16 log_start(Str name);  // deletes the file and makes name the log path; 0 or 163
// Appends text + CR LF to the log file when bits meet _TRACE; an error descriptor is written
// as "Error #n". A line that cannot be written is lost: 0, or 131 without recording anything.
u16 log_line(Str text, u16 bits);
// Appends a dated record of text to file (the log file when file is empty): 0, 164 with the
// file name as detail text when the file cannot be opened, 131 when writing fails.
u16 log_record(Str text, Str file);
// When condition is false: a box with text, a record in ASSERT_LOG, and the process ends.
void assert_true(bool condition, Str text);

// The date of a record's header, from a date as YYYYMMDD (ISO "YYYY-MM-DD" until a layer
// with date formats registers its own). Null restores the ISO form.
using LogDateText = Str (*)(u32 yyyymmdd);
void log_date_text_set(LogDateText fn);

}  // namespace vx::rt
