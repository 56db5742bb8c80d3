// The canvas that charts and reports draw on: pens and polylines, lines, text with its
// metrics, filled rectangles and the page size, in device pixels with (0, 0) at the top
// left. The window system paints on a window, a printer page, an image, an SVG drawing or a
// PDF page through the same interface (canvas_qt.cpp, canvas_vector.cpp); RecordingCanvas
// keeps what was drawn so that tests and the chart code can check geometry without a window
// system.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vx::platform {

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

struct Point {
    int x = 0, y = 0;
    bool operator==(const Point&) const = default;
};

// A font by the numbers the run-time keeps: height and average character width in pixels
// (0: the face's own proportions), weight 100-900 (400 normal, 700 bold), face name. A face
// that does not exist is replaced by a monospaced one that does.
struct FontSpec {
    int height = 0;
    int width = 0;
    int weight = 400;
    std::string face;
    bool italic = false;
    bool underline = false;
};

struct TextMetrics {
    int height = 0;      // of a line of text
    int char_width = 0;  // average character width
    int ascent = 0;
};

class Canvas {
public:
    virtual ~Canvas() = default;
    virtual int width() const = 0;   // of the page or drawing area
    virtual int height() const = 0;
    virtual void set_pen(Rgb colour, int width) = 0;  // solid; width at least 1
    virtual void polyline(const Point* points, int count) = 0;
    virtual void line(int x1, int y1, int x2, int y2) = 0;
    virtual void set_font(const FontSpec& font) = 0;
    // Text with its top left corner at (x, y), on a transparent background; Windows-1252.
    virtual void text(int x, int y, std::string_view text, Rgb colour) = 0;
    virtual TextMetrics text_metrics() const = 0;
    virtual int text_width(std::string_view text) const = 0;
    virtual void fill_rect(int x, int y, int w, int h, Rgb colour) = 0;

    // Smoothing of lines and text edges (off unless asked; images are always smoothed).
    virtual void set_antialias(bool) {}
    // A filled ellipse inside the rectangle; surfaces that cannot draw one fill the rectangle.
    virtual void fill_ellipse(int x, int y, int w, int h, Rgb colour) { fill_rect(x, y, w, h, colour); }
    // Device pixels per inch: 96 on an ordinary screen and in images, more on a printer page
    // or a screen with a scale factor. Sizes meant for the eye multiply by dpi() / 96.
    virtual int dpi() const { return DPI_STANDARD; }
    static constexpr int DPI_STANDARD = 96;
};

// Keeps every drawing call. Text is measured with fixed metrics: each character is
// char_width wide.
class RecordingCanvas final : public Canvas {
public:
    enum class Kind : std::uint8_t { Pen, Polyline, Line, Font, Text, Fill, Ellipse };
    struct Op {
        Kind kind;
        std::vector<Point> points;  // Polyline, Line (two), Text, Fill and Ellipse (one: the corner)
        Rgb colour;                 // Pen, Text, Fill, Ellipse
        int width = 0;              // Pen width; Fill and Ellipse width; Font: character width
        int height = 0;             // Fill and Ellipse height; Font height
        std::string text;           // Text; Font face
        int weight = 0;             // Font weight
    };

    RecordingCanvas(int width, int height, TextMetrics metrics = {16, 8, 12});
    int width() const override { return width_; }
    int height() const override { return height_; }
    void set_pen(Rgb colour, int width) override;
    void polyline(const Point* points, int count) override;
    void line(int x1, int y1, int x2, int y2) override;
    void set_font(const FontSpec& font) override;
    void text(int x, int y, std::string_view text, Rgb colour) override;
    TextMetrics text_metrics() const override { return current_metrics(); }
    int text_width(std::string_view text) const override;
    void fill_rect(int x, int y, int w, int h, Rgb colour) override;
    void set_antialias(bool on) override { antialias_ = on; }
    void fill_ellipse(int x, int y, int w, int h, Rgb colour) override;
    int dpi() const override { return dpi_; }

    const std::vector<Op>& ops() const { return ops_; }
    std::vector<Op> ops_of(Kind kind) const;
    void clear() { ops_.clear(); }
    bool antialiased() const { return antialias_; }
    void set_dpi(int dpi) { dpi_ = dpi; }
    // With scaling on, the metrics follow the height of the font set last: a font of twice
    // the metrics' height measures twice as high and twice as wide.
    void scale_text_with_font(bool on) { scaled_ = on; }

private:
    TextMetrics current_metrics() const;
    int width_, height_;
    TextMetrics metrics_;
    std::vector<Op> ops_;
    bool antialias_ = false, scaled_ = false;
    int dpi_ = DPI_STANDARD;
    int font_height_ = 0;
};

// ---- Canvases of the window system ----

// An image of the given size filled with the background; draw on it, save it as "PNG" or
// "BMP", close it. Null when the image cannot be made (a size of 0 or beyond 16384). A save
// that fails (false) leaves an old file of that name as it was and no cut one.
Canvas* image_open(int width, int height, Rgb background);
bool image_save(Canvas* image, const char* path, const char* format);
void image_close(Canvas* image);

// A printed document of pages. print_begin shows the print dialog (landscape preselected
// when asked) and answers null when it is cancelled or no printer can be had; with a
// pdf_path it asks nothing and prints into that PDF file. The canvas is the current page.
// *chosen (when given) tells a printer chosen but not to be had from a cancelled dialog.
struct PrintJob;
PrintJob* print_begin(std::string_view document, bool landscape, const char* pdf_path,
                      bool* chosen = nullptr);
Canvas* print_canvas(PrintJob* job);
bool print_new_page(PrintJob* job);
bool print_end(PrintJob* job);  // finishes the document and frees the job

// ---- Vector drawings ----

// A drawing of width x height pixels at 96 per inch, written to path when it is closed: an
// SVG file, or a PDF file of one page of that size whose lines and texts stay vectors. The
// title becomes the document's title. Null when the drawing cannot be begun (a bad size, a
// file that cannot be made).
enum class VectorKind : std::uint8_t { Svg, Pdf };
Canvas* vector_open(VectorKind kind, const char* path, int width, int height, std::string_view title);
// Finishes the file and frees the canvas; false when the file could not be written, and
// then an old file of that name is left as it was and no cut one.
bool vector_close(Canvas* drawing);

// ---- Clipboard ----

// Puts an image made with image_open and a text on the clipboard as one entry, so that a
// document takes the picture and a text editor or spreadsheet the text.
bool clipboard_put(Canvas* image, std::string_view text);

}  // namespace vx::platform
