// Line charts: figures gathered from a data file into numeric arrays, drawn as one polyline
// per array with a scaled value axis, labels along the horizontal axis and a legend, in a
// chart window of their own that can print the chart or save it as an image; and the forms
// with which a user defines a new chart.
//
// Values are scaled numbers (the value times 10 to the power _PRECIS). Geometry is worked
// out in 128-bit integers and only the final pixel positions are brought back to int, so
// no value of the 64-bit range can overflow a product of a value and a pixel distance.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/canvas.h"
#include "screens/window.h"

namespace vx::out {

using rt::i32;
using rt::i64;
using rt::Str;
using rt::u16;
using rt::u32;

// ---- The chart description ----

// Members of a chart definition's parameter record, read by the chart runner and written by
// the definition writer.
enum ChartMember : u16 {
    MEMBER_LOAD = 5,
    MEMBER_OPEN = 13,
    MEMBER_DOCSETS = 18,
    MEMBER_FD = 51,
    MEMBER_ASSIGN = 53,
    MEMBER_FILEDEF = 55,
    MEMBER_ACBOUND = 93,
    MEMBER_INDEX = 94,
    MEMBER_LIMITS = 95,
    MEMBER_RESET = 97,
    MEMBER_RD_EXP = 108,
    MEMBER_RD_COND = 111,
};

enum ChartFlags : u16 {
    CHART_FROM_ZERO = 1,   // the value axis starts at 0 when no value is negative
    CHART_BG_MASK = 6,     // background: 0 white, 2 gray, 4 dark gray, 6 the window's own
    CHART_BG_GRAY = 2,
    CHART_BG_DARK = 4,
    CHART_BG_WINDOW = 6,
    CHART_XY = 16,         // each point is two elements: y, then x
    CHART_FRAME = 32,      // also the top and right frame lines
};

inline constexpr u16 CHART_COLOURS = 11;          // colour indexes 0..10
inline constexpr int CHART_NO_COLOUR = -1;        // black
inline constexpr u16 PEN_WIDTH_DEFAULT = 3;
inline constexpr u16 PEN_WIDTH_MAX = 100;
inline constexpr u16 MARGIN_LEFT_DEFAULT = 10, MARGIN_RIGHT_DEFAULT = 2;
inline constexpr u16 MARGIN_TOP_DEFAULT = 5, MARGIN_BOTTOM_DEFAULT = 5;
inline constexpr u16 MARGIN_MAX = 100;            // margins are percentages
inline constexpr int CHART_SIDE_MIN = 16;         // pixels of a chart window's side
inline constexpr int CHART_SIDE_MAX = 16384;
inline constexpr u16 CHART_SERIES_MAX = 256;
inline constexpr i32 POINTS_FROM_ARRAY = -1;      // as many points as the last array holds
inline constexpr char LABEL_MASK[] = "########0,.";  // followed by _PRECIS

// The look of a chart. Classic is the run-time's own drawing; Modern is chosen with the
// command-line key CHARTSTYLE=MODERN or the string variable CHARTSTYLE$ set to "MODERN" in
// a parameter file: white background, light grid, round value steps, a colour-blind-safe
// palette, legend samples, markers, smoothing and sizes that follow the surface.
enum class ChartStyle : unsigned char { Classic, Modern };
inline constexpr char STYLE_KEY[] = "CHARTSTYLE";
inline constexpr char STYLE_VARIABLE[] = "CHARTSTYLE$";
// The style in force: the command-line key when it names a style, else the variable, else
// Classic. Names: MODERN or MODERNO, CLASSIC or CLASICO, in any case.
ChartStyle chart_style_setting();

struct Pen {
    int colour = 0;  // index into the colour table
    int width = PEN_WIDTH_DEFAULT;
};

// Geometry of one drawing, for the drawing and for those who check it.
struct PlotArea {
    int left = 0, top = 0, right = 0, bottom = 0;
};

struct Series {
    std::string name;
    std::vector<i64> y;  // the values of the points the array holds
    std::vector<i64> x;  // with CHART_XY only
};

struct ChartDesc {
    u16 flags = 0;
    u16 points = 0;                 // drawn per series
    std::vector<Pen> pens;          // one per series
    std::vector<Series> series;
    u16 top = MARGIN_TOP_DEFAULT, left = MARGIN_LEFT_DEFAULT;
    u16 right = MARGIN_RIGHT_DEFAULT, bottom = MARGIN_BOTTOM_DEFAULT;
    int width = 0, height = 0;      // of the window's client area; 0: the layer's default
    // Computed at each drawing.
    i64 vmin = 0, vmax = 0, xmax = 0;
    i64 baseline = 0;
    PlotArea area;                  // where the last drawing put the plot
    std::string title;
    std::string legend;             // comma list, one title per series
    std::string labels;             // comma list, one label per point
    ChartStyle style = ChartStyle::Classic;
    std::string subtitle;           // the limits chosen for the chart; "" when none were asked
};

// The colour of an index (-1 and anything outside the table: black).
platform::Rgb chart_colour(int index);
// The pen of series s (from 0): colours 1..10, then 0, then 1 again.
Pen chart_pen(u16 s, int width);
// The colour a background setting erases with (setting 6: white here).
platform::Rgb chart_background(u16 flags);

// Builds the description: pen width and margins from the options text (PENWID, SCRWID =
// width,left,right, SCRHIG = height,top,bottom), the series from the comma list of array
// names (an array of at most one dimension, two with CHART_XY, numeric; otherwise 163 with
// the name as detail), the points (POINTS_FROM_ARRAY: those of the last array).
u16 chart_describe(Str title, Str legend, Str options, Str labels, Str series, u16 flags,
                   i32 points, ChartDesc* out);

PlotArea chart_plot_area(const ChartDesc& d, int width, int height);
// Minimum, maximum, x maximum and baseline offset for the plot area.
void chart_scale(ChartDesc& d, const PlotArea& a);
int chart_x(const ChartDesc& d, const PlotArea& a, u16 series, u16 point);
int chart_y(const ChartDesc& d, const PlotArea& a, i64 value);
// The label of a value on the value axis: "########0,." + _PRECIS, blanks on the left
// removed (arena).
Str chart_value_label(i64 value);

enum class PaintMode : unsigned char {
    Window,   // the window erased the background already
    Image,    // the background is filled first; title, limits and legend head the chart
    Print,    // the same on a printed page
};
// Draws the whole chart at the canvas's size: series, horizontal labels and ticks, frame
// lines, legend, value-axis labels and ticks. font_px is the text height asked of the canvas
// and zoom the size of one window pixel on it (printing), by which pens grow. The modern
// style sizes itself from the canvas and its dots per inch instead.
void chart_draw(ChartDesc& d, platform::Canvas& c, PaintMode mode, int font_px, double zoom = 1.0);

// Value ticks at round steps: every multiple of step from first, count of them, covering
// the range asked; step is 1, 2 or 5 times a power of ten in scaled units, decimals the
// places a label needs to show the step (no more).
struct ValueTicks {
    i64 first = 0, step = 0;
    u16 count = 0;
    u16 decimals = 0;
    // Tick k; worked out in 128 bits, as a step times k may pass the 64-bit range on the
    // way to a tick that does not.
    i64 at(u16 k) const { return i64(__int128(first) + __int128(step) * k); }
    i64 last() const { return at(count ? u16(count - 1) : u16(0)); }
};
// The ticks for lo..hi with at most max_divisions (2 at least) steps between the first and
// the last; an empty range is widened around its value first.
ValueTicks chart_round_ticks(i64 lo, i64 hi, int max_divisions);
// A scaled value as text with the given decimals (rounded half away from zero), the decimal
// separator given and, when thousands is not 0, that separator between groups of three.
std::string chart_number(i64 value, int decimals, char decimal, char thousands);

// The point nearest to (x, y) of the last drawing, within radius pixels.
struct ChartHit {
    bool found = false;
    u16 series = 0, point = 0;
};
ChartHit chart_hit(const ChartDesc& d, int x, int y, int radius);
// What a tooltip says of a point: its label (or its x value), then the series' legend title
// and the value in the language's number format.
std::string chart_point_text(const ChartDesc& d, u16 series, u16 point);
// The legend title of series s (the array's name when the legend has none) and the label of
// point k ("" when there is none).
std::string chart_series_title(const ChartDesc& d, u16 s);
std::string chart_point_label(const ChartDesc& d, u16 k);

// ---- The chart window ----

inline constexpr char CHART_CLASS[] = "graphStat";
inline constexpr u16 CHART_NESTING_MAX = 16;
inline constexpr int CHART_FONT_PX = 13;
enum ChartCommand : u16 { CMD_EXIT = 1, CMD_PRINT = 2, CMD_SAVE = 3, CMD_COPY = 4 };

// ---- Exporting ----

// File formats a chart is saved in, in the order the save dialog offers them.
enum class ChartFormat : unsigned char { Png, Bmp, Svg, Pdf, Csv, CsvPoint };
inline constexpr u16 CHART_FORMATS = 6;
// The format of a file name by its extension (any case; ".csv" is Csv); false for none.
bool chart_format_of(Str path, ChartFormat* out);
// The extension of a format, with its dot (".png").
const char* chart_format_ext(ChartFormat f);
// The save dialog's filter list: description and pattern per format, in format order.
Str chart_save_filters();
// A file name made of the chart's title: characters that cannot stand in a file name become
// "_", at most 80 bytes; "grafico" for a title with nothing left.
std::string chart_file_stem(const ChartDesc& d);
// The path with the format's extension added unless it already ends with it (any case).
std::string chart_path_with_ext(std::string_view path, ChartFormat f);
// The chart's figures as CSV lines (CR LF): a header of the legend titles, then per point
// its label and one value per series (two, x then y, for charts of two elements per point).
// decimal is the decimal separator; fields are separated by ";" when it is ",", else ",".
std::string chart_csv(const ChartDesc& d, char decimal);
// The text that heads a chart to say which limits were chosen: "label: value" of each field
// of the limits form of the definition loaded now (ACBOUND$) that was answered for it, ""
// when there was none.
std::string chart_limits_text();

// Shows the chart in a new chart window and returns when it is closed: 0, 163 for a bad
// series (detail: its name), 168 when too many chart windows are open, 179 when the window
// cannot be made. Unattended, the window reads one INPUT line: the file to write the chart
// into, its extension choosing the format (PNG, and ".png" added, for a name without a
// known one; an empty line, "\ESC" or the end of the input writes none), and closes;
// 131 (detail: the file) when the file cannot be written.
u16 chart_show(Str title, Str legend, Str options, Str labels, Str series, u16 flags,
               i32 points);

// Open chart windows, numbered from 1 (the outermost).
u16 chart_window_count();
scr::WinId chart_window(u16 number);
// The description of an open chart window, with the geometry of its last painting; null for
// any other window.
const ChartDesc* chart_window_desc(scr::WinId w);
// A command of the window's pop-up menu: Salir closes; Imprimir prints landscape, one page
// (nothing without a printer); Grabar asks for a file and writes the chart at the window's
// size in the format of the filter chosen (which supplies the extension); Copiar puts the
// image and the CSV figures on the clipboard. 0, 122 when cancelled, 131 when the file
// cannot be written, 163 for a window that is no chart window.
u16 chart_command(scr::WinId w, u16 command);
// Writes the chart of window w into an image file ("PNG" or "BMP") at the window's size.
u16 chart_save_image(scr::WinId w, Str path, const char* format);
// Writes the chart of window w into a file of the format, at the window's size; the path is
// taken as it is. 0, or 131 with the path as detail.
u16 chart_export(scr::WinId w, Str path, ChartFormat format);

// ---- Gathering ----

enum GatherFlags : u16 { GATHER_PROGRESS = 1 };
// Scans the records of data file `file` on key `key` from start_key to end_key that satisfy
// condition: with accumulators, the comma list `step` holds value expressions whose results
// are added to accumulators[i]; without, the step expression accumulates by itself.
// *accepted (when given) receives the number of records that satisfied the condition.
u16 chart_gather(u16 file, u16 key, Str start_key, Str end_key, Str condition, Str step,
                 u16 flags, i64* accumulators, u32* accepted = nullptr);

// ---- Running definitions ----

// One definition of a definition file: its number, its title (item 1 of FD$, unquoted) and
// whether it is kept out of menus (bit 8 of the document flags in DOCSETS$).
struct ChartEntry {
    u16 number = 0;
    std::string title;
    bool hidden = false;
};
// The definitions of a file, by ascending number. 0, or the error of opening the file.
u16 chart_definitions(Str path, std::vector<ChartEntry>* out);
// The title of a definition text (a record or one line of it): item 1 of FD$, unquoted; ""
// when it has none (arena).
Str chart_definition_title(Str text);
// Runs definition n of a definition file; argument "file,n" (the file found in the data
// folder, extension PPN; else 147 with the argument as detail). 0 when the chart was shown
// (also when the limits hold no record: its points are then as RESET$ left them, zero),
// 122 when the limits form was cancelled, 127 for a definition the file lacks, 163 (detail
// naming FILEDEF$) for limits over the current file of a definition that names no file, or
// the first error of loading, opening, evaluating, gathering or showing.
u16 chart_run(Str argument);

// ---- Configuration forms ----

enum ChartDocFlags : u16 {
    DOC_CHART = 1,    // always set in the result
    DOC_GRAPHIC = 2,  // always set in the result
    DOC_MULTILINE = 4,
    DOC_NOT_IN_MENU = 8,
    DOC_ALL_FIELDS_EMPTY = 256,  // asked by the caller: every field ticked gives ""
    DOC_EDIT = 512,              // asked by the caller: the forms start from *out
};

struct ChartDefinition {
    u16 flags = 0;               // DOC_CHART | DOC_GRAPHIC, DOC_MULTILINE, DOC_NOT_IN_MENU
    std::string title;
    u16 table = 0;               // data file number
    std::string table_name;
    std::string fields;          // comma list of the ticked fields
    std::string answers;         // the captured values of form 1002 or 1003 (quoted list)
    // Where the definition is kept: its definition file ("": the application's) and its
    // number there (0: a new definition). Titles of a multi-line chart name charts of it.
    std::string path;
    u16 number = 0;
    bool fields_known = false;  // editing: `fields` says which fields start ticked
};

// Asks the document form (message 0113), the table (0085), its fields (0096) and the chart
// form (1001 with 1002 or 1003). 0 with *out filled; 0 with an empty definition (no table)
// when no table was chosen or a form was cancelled; 148 when there is no table to choose from.
// With DOC_EDIT the forms start from the definition in *out. A form whose answers cannot make
// a definition (no title, no value, titles that name no single-line chart ...) says why and
// is asked again.
u16 chart_configure(u16 doc_flags, ChartDefinition* out);

}  // namespace vx::out
