// Helpers shared by the Qt side of the platform layer: text conversion, fonts, the canvas
// over a QPainter, and the window table's closing of windows. Not for use outside platform/.
#pragma once

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QSaveFile>
#include <QString>
#include <string>
#include <string_view>

#include "platform/canvas.h"
#include "platform/cp1252.h"

namespace vx::platform {

// Gives a file written through QSaveFile its name, only when every byte reached it: the
// last buffered bytes are flushed and checked first, since the commit alone lets their
// failure pass. A file not committed is discarded with its QSaveFile.
inline bool commit_whole(QSaveFile& file) {
    return file.flush() && file.error() == QFileDevice::NoError && file.commit();
}

inline QString to_qt(std::string_view bytes) {
    return QString::fromStdU16String(cp1252_to_utf16(bytes));
}

inline std::string from_qt(const QString& s) {
    return utf16_to_cp1252(s.toStdU16String());
}

// The font of a FontSpec: the face when it exists, else a monospaced one that does; the pixel
// height; the width reached by stretching the face; the weight.
QFont make_font(const FontSpec& spec);

// A canvas over a painter that someone else began and ends.
class QtCanvas : public Canvas {
public:
    QtCanvas(QPainter* painter, int width, int height);
    int width() const override { return width_; }
    int height() const override { return height_; }
    void set_pen(Rgb colour, int width) override;
    void polyline(const Point* points, int count) override;
    void line(int x1, int y1, int x2, int y2) override;
    void set_font(const FontSpec& font) override;
    void text(int x, int y, std::string_view text, Rgb colour) override;
    TextMetrics text_metrics() const override;
    int text_width(std::string_view text) const override;
    void fill_rect(int x, int y, int w, int h, Rgb colour) override;
    void set_antialias(bool on) override;
    void fill_ellipse(int x, int y, int w, int h, Rgb colour) override;
    int dpi() const override;

private:
    QPainter* p_;
    int width_, height_;
};

// The picture of an image canvas made with image_open; a null image for any other canvas.
QImage image_of(Canvas* image);

// Closes every window of the table (gui_close_all).
void windows_close_all();

}  // namespace vx::platform
