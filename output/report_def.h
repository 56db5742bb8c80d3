// Generated report definitions: the numbered definitions of a definition file (kind 1: every
// line starts with its definition's number in two characters and a space) written from the
// answers of the chart configuration forms, and read back into those answers for editing.
//
// A generated definition holds its parameter lines (member name, "=", value) and five
// template lines that list the chosen fields: the page number at row 1, the title centred
// at row 3, the column titles at row 6, dashes at row 7 and the detail line at row 8. The
// line width is the smallest of 40, 80, 132 and 233 that holds the columns.
//
// Writing definition n replaces the lines numbered n and keeps every other line byte for
// byte, in the order of the numbers; the file is written whole into a new file beside it,
// which then takes its name, so a failed write leaves the old file as it was.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "output/chart.h"

namespace vx::out {

inline constexpr char REPORT_DEF_FILE[] = "report.ppn";  // behind the application prefix
inline constexpr u16 REPORT_DEF_NUMBER_MAX = 99;         // two characters hold the number
inline constexpr u16 REPORT_WIDTHS[] = {40, 80, 132, 233};
inline constexpr u32 REPORT_DEF_FILE_MAX = 16u << 20;  // bytes of a definition file read

// ---- Template lines ----

inline constexpr char REPORT_MARK_PLAIN = '\x17';
inline constexpr char REPORT_MARK_DETAIL = '\x19';
inline constexpr char REPORT_PAGE_LINE[] = " 1  1Pg.\\  \\\x17 FN$TRIM(_DEVPAG)";
inline constexpr char REPORT_RIGHT_TYPES[] = "NL123456789";  // column titles aligned right

struct ReportColumn {
    std::string title;
    char type = 'A';
    u16 width = 0;
    std::string expression;  // what the detail line prints in the column
};

// The smallest of REPORT_WIDTHS that holds the columns with one space between two (the
// largest when none does).
u16 report_line_width(const std::vector<ReportColumn>& columns);
// The five template lines (row and column first, without the definition's number).
std::vector<std::string> report_template_lines(std::string_view title,
                                               const std::vector<ReportColumn>& columns);
// The columns of the fields of a data file named in a comma list (names unknown to the file
// are left out): title, type and width of the field, and a reference to it.
std::vector<ReportColumn> report_columns(u16 table, std::string_view fields);

// ---- The definition file ----

// "name=value", the value in double quotes (single quotes when it holds a double one) unless
// it is one plain word; "" for an empty value. A value that holds both quotes, or a line
// break, cannot be written: 163 in *code (detail: the member).
std::string report_param_line(std::string_view name, std::string_view value, u16* code);
// The definition file of the application in the data folder: where it is, or where a new
// one goes (arena).
Str report_def_path();
// The number a new definition takes: the smallest one no line of the file carries (1 in a
// file that does not exist); 161 when all are taken.
u16 report_def_free_number(Str path, u16* number);
// Replaces the lines of definition n (1..99) with the given texts (each written after the
// number as "%2s ") and keeps the other lines, in the order of their numbers. 0; 131 with
// the path as detail when the file cannot be written (the old one stays); 146 for a file
// larger than REPORT_DEF_FILE_MAX; 163 for a text with a line break or a bad number.
u16 report_def_replace(Str path, u16 number, const std::vector<std::string>& texts);
// The texts of the lines of definition n as they stand in the file (without the number).
u16 report_def_lines(Str path, u16 number, std::vector<std::string>* out);

// ---- Chart definitions ----

inline constexpr u16 CHART_POINTS_MAX = 4096;            // points a generated chart's array holds
inline constexpr char CHART_COUNTER[] = "VX_I";          // the integer that clears the array
inline constexpr char CHART_STORAGE_DEFAULT[] = "G%u#";  // with the definition's number

// Answers of the chart forms, by field.
enum ChartAnswer : u16 {
    ANSWER_GROUP = 1,
    ANSWER_VALUE,
    ANSWER_RESET,
    ANSWER_CONDITION,
    ANSWER_STORAGE
};
inline constexpr u16 CHART_ANSWERS = 5;
inline constexpr u16 ANSWER_TITLES = 1;  // the one field of a multi-line chart

// Records that field k of a form message was left empty when it is needed: 126 with the
// detail "Falta: " and the field's label.
u16 chart_answer_missing(u16 message, u16 field);
// Checks the answers of the chart form before they are written: a single-line chart needs a
// value and a reset (the labels), and without a group the variable it fills; the variable
// must be a numeric array name that no other definition of the file fills. A multi-line chart's
// titles must each name a single-line chart of the definition file (other than number `self`), no
// two of them filling the same variable. 0, or 126 / 163 with a detail that says what is wrong.
u16 chart_answers_check(bool multi, std::string_view answers, Str path, u16 self);
// Writes the definition into the file: as number def.number, or as a new number when it is
// 0 (*number receives it). Lines of the definition that the forms do not set (INDEX%,
// LIMITS$ ...) are kept. 0 or the first error.
u16 chart_definition_save(Str path, const ChartDefinition& def, u16* number);
// Reads definition n of the file into the answers of the forms, for editing. 0, 127 when the
// file holds no such definition, or the error of reading it.
u16 chart_definition_load(Str path, u16 number, ChartDefinition* out);

}  // namespace vx::out
