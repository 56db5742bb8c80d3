// Dates: stored as the eight digits YYYYMMDD and handled in expressions as the whole number
// year * 10000 + month * 100 + day (a "date value", 0 standing for no date). Parsing typed
// dates, the display modes, parts and arithmetic, and the six-character date fields.
//
// A date is valid when the year is 0-9999, the month 1-12 and the day within the month;
// every fourth year is a leap year, without a century rule. Texts are new strings in the
// temporary-string arena; an invalid date gives the empty text.
#pragma once

#include "runtime/str.h"

namespace vx::expr {

using rt::i32;
using rt::Str;
using rt::u16;
using rt::u32;

inline constexpr i32 DATE_YEAR = 10000;         // .datey
inline constexpr i32 DATE_MONTH = 100;          // .datem
inline constexpr i32 DATE_COUNT_LIMIT = 10001;  // date_calc: below it a count, else a date
inline constexpr u16 DATE_OF_FILE = 128;        // mode bit: the argument names a file
inline constexpr u16 DATE_MODE_BITS = 127;
inline constexpr u16 AUX_DATE_EMPTY = 64;    // _AUXSTAT bit: an empty date stays empty
inline constexpr u16 COMPAT_WIDE_DATES = 4;  // _COMPAT bit: six-character dates widened

// Display modes.
enum DateMode : u16 {
    DATE_STORED = 0,      // YYYYMMDD
    DATE_SHORT = 1,       // DD-MM-YY or MM-DD-YY by language (width 8)
    DATE_FULL = 2,        // DD-MM-YYYY or MM-DD-YYYY (width 10)
    DATE_MONTH_YEAR = 3,  // "Ago 2017"
    DATE_LONG = 4,        // the language's long-date template
};

// Parts (also the amounts that date_add adds).
enum DatePart : u16 { PART_DAY = 1, PART_MONTH = 2, PART_YEAR = 4, PART_WHOLE = 15 };

bool date_valid(i32 year, i32 month, i32 day);
bool date_value_valid(i32 value);
i32 date_month_days(i32 year, i32 month);  // 0 for a month outside 1-12

i32 date_today();

// Typed dates: empty is today (unless _AUXSTAT bit 64); "d/m/y", "d-m-y" or "d.m.y" with the
// day first in ES, FR and IT and the month first otherwise, a one- or two-digit year taken
// into the window of _BYEAR and _BKYEAR; six digits DDMMYY; eight digits YYYYMMDD.
i32 date_read(Str text);    // the date value, 0 when empty or invalid
Str date_parse(Str typed);  // YYYYMMDD, or "" when empty or invalid
Str date_text(i32 value);   // YYYYMMDD, or "" when invalid

// The date in a display mode (DateMode); other modes give "". date_format reads its text as
// date_read does, or, with DATE_OF_FILE in the mode, as a file name whose last change is
// shown ("" when there is no such file).
Str date_format(Str date, u16 mode);
Str date_format_value(i32 value, u16 mode);
Str date_long(u32 yyyymmdd);  // DATE_LONG of a date value (the log record header)
Str date_long_today();

// Parts and arithmetic on date values; an invalid date gives 0.
i32 date_part(i32 value, u16 part);
// Adds count days (PART_DAY, PART_WHOLE), months or years; a day past the end of the new
// month becomes its last day. 0 when the result leaves the years 0-9999.
i32 date_add(i32 value, u16 part, i32 count);
// value - other in days (PART_DAY, PART_WHOLE), in months (years * 12 + months) or years.
i32 date_diff(i32 value, i32 other, u16 part);
// A second argument below DATE_COUNT_LIMIT is a count for date_add, else a date for date_diff.
i32 date_calc(i32 value, u16 part, i32 arg);

// Six-character date fields. Widening: a first character up to "@" gets "19" in front (two
// blanks for a blank), a letter A-J stands for a decade of the 2000s ("A51231" is 20051231);
// spaces become zeros unless the result begins with one. Other texts come back unchanged.
Str date_widen6(Str six);
// The last six characters of an eight-character date; with decade letters, a year 2000-2099
// is written with its decade letter so that widening gives it back.
Str date_narrow6(Str eight, bool decade_letters);

}  // namespace vx::expr
