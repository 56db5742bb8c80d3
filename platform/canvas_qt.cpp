// The canvas over a QPainter, and the surfaces it paints: images saved as PNG or BMP, and
// printed pages (the print dialog, or a PDF file when nobody is there to answer it).
#include <QBuffer>
#include <QFontMetrics>
#include <QImage>
#include <QPageLayout>
#include <QPrintDialog>
#include <QPrinter>
#include <algorithm>
#include <memory>
#include <vector>

#include "platform/gui.h"
#include "platform/qt_internal.h"

namespace vx::platform {

namespace {

constexpr int IMAGE_SIDE_MAX = 16384;
constexpr int PEN_WIDTH_MAX = 1000;
// A long polyline is stroked in runs of this many points: the stroke of one path with
// thousands of crossing segments costs far more than that of short runs, and with round
// caps and joins the runs look the same as one line.
constexpr int POLYLINE_RUN = 32;

QColor qcolor(Rgb c) { return QColor(c.r, c.g, c.b); }

}  // namespace

// ---- The canvas over a painter ----

QtCanvas::QtCanvas(QPainter* painter, int width, int height)
    : p_(painter), width_(width), height_(height) {}

void QtCanvas::set_pen(Rgb colour, int width) {
    QPen pen(qcolor(colour));
    pen.setWidth(std::clamp(width, 1, PEN_WIDTH_MAX));
    pen.setStyle(Qt::SolidLine);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    p_->setPen(pen);
}

void QtCanvas::polyline(const Point* points, int count) {
    if (!points || count < 1) return;
    std::vector<QPoint> qp;
    qp.reserve(std::size_t(count));
    for (int i = 0; i < count; i++) qp.emplace_back(points[i].x, points[i].y);
    if (count == 1) {
        p_->drawPoint(qp[0]);
        return;
    }
    for (int from = 0; from < count - 1; from += POLYLINE_RUN - 1)
        p_->drawPolyline(qp.data() + from, std::min(POLYLINE_RUN, count - from));
}

void QtCanvas::line(int x1, int y1, int x2, int y2) { p_->drawLine(x1, y1, x2, y2); }

void QtCanvas::set_font(const FontSpec& font) { p_->setFont(make_font(font)); }

void QtCanvas::text(int x, int y, std::string_view text, Rgb colour) {
    QPen keep = p_->pen();
    p_->setPen(qcolor(colour));
    p_->setBackgroundMode(Qt::TransparentMode);
    p_->drawText(QPoint(x, y + QFontMetrics(p_->font(), p_->device()).ascent()), to_qt(text));
    p_->setPen(keep);
}

TextMetrics QtCanvas::text_metrics() const {
    QFontMetrics m(p_->font(), p_->device());
    return TextMetrics{m.height(), m.averageCharWidth(), m.ascent()};
}

int QtCanvas::text_width(std::string_view text) const {
    return QFontMetrics(p_->font(), p_->device()).horizontalAdvance(to_qt(text));
}

void QtCanvas::fill_rect(int x, int y, int w, int h, Rgb colour) {
    p_->fillRect(x, y, w, h, qcolor(colour));
}

void QtCanvas::set_antialias(bool on) {
    p_->setRenderHint(QPainter::Antialiasing, on);
    p_->setRenderHint(QPainter::TextAntialiasing, on);
}

void QtCanvas::fill_ellipse(int x, int y, int w, int h, Rgb colour) {
    QPen keep = p_->pen();
    QBrush brush = p_->brush();
    p_->setPen(Qt::NoPen);
    p_->setBrush(qcolor(colour));
    p_->drawEllipse(x, y, w, h);
    p_->setBrush(brush);
    p_->setPen(keep);
}

int QtCanvas::dpi() const {
    QPaintDevice* device = p_->device();
    return device && device->logicalDpiY() > 0 ? device->logicalDpiY() : DPI_STANDARD;
}

// ---- Images ----

namespace {

// The image and its painter come before the canvas that draws with them.
struct ImageSurface {
    ImageSurface(int w, int h, Rgb bg) : image(w, h, QImage::Format_RGB32) {
        image.fill(qcolor(bg));
        painter.begin(&image);
        painter.setRenderHint(QPainter::Antialiasing);
    }
    QImage image;
    QPainter painter;
};

class ImageCanvas final : private ImageSurface, public QtCanvas {
public:
    ImageCanvas(int w, int h, Rgb bg) : ImageSurface(w, h, bg), QtCanvas(&painter, w, h) {}
    // Images count 96 pixels to the inch whatever the screen says.
    int dpi() const override { return DPI_STANDARD; }
    const QImage& picture() const { return image; }
    // The painter is ended for the save and begun again with the pen and font it had. The
    // image goes to a new file that takes the name only once it is whole: a failed save (a
    // full disk) leaves the old file as it was and no cut one.
    bool save(const char* path, const char* format) {
        QPen pen = painter.pen();
        QFont font = painter.font();
        painter.end();
        // Encoded in memory first: an image writer that fails half-way loses memory.
        QByteArray bytes;
        QBuffer encoded(&bytes);
        bool ok = encoded.open(QIODevice::WriteOnly) && image.save(&encoded, format);
        QSaveFile file(QString::fromLocal8Bit(path));
        ok = ok && file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && commit_whole(file);
        painter.begin(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(pen);
        painter.setFont(font);
        return ok;
    }
};

}  // namespace

Canvas* image_open(int width, int height, Rgb background) {
    if (width < 1 || height < 1 || width > IMAGE_SIDE_MAX || height > IMAGE_SIDE_MAX) return nullptr;
    if (!gui_init()) return nullptr;
    return new ImageCanvas(width, height, background);
}

bool image_save(Canvas* image, const char* path, const char* format) {
    auto* img = dynamic_cast<ImageCanvas*>(image);
    return img && path && format && img->save(path, format);
}

void image_close(Canvas* image) { delete dynamic_cast<ImageCanvas*>(image); }

QImage image_of(Canvas* image) {
    auto* img = dynamic_cast<ImageCanvas*>(image);
    return img ? img->picture().copy() : QImage();
}

// ---- Printing ----

struct PrintJob {
    QPrinter printer{QPrinter::HighResolution};
    QPainter painter;
    std::unique_ptr<QtCanvas> canvas;
};

namespace {

bool printer_chosen(PrintJob& job, bool landscape, const char* pdf_path) {
    job.printer.setPageOrientation(landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
    if (pdf_path) {
        job.printer.setOutputFormat(QPrinter::PdfFormat);
        job.printer.setOutputFileName(QString::fromLocal8Bit(pdf_path));
        return true;
    }
    QPrintDialog dialog(&job.printer);
    if (dialog.exec() != QDialog::Accepted) return false;
    if (landscape) job.printer.setPageOrientation(QPageLayout::Landscape);
    return true;
}

}  // namespace

PrintJob* print_begin(std::string_view document, bool landscape, const char* pdf_path,
                      bool* chosen) {
    if (chosen) *chosen = false;
    if (!gui_init()) return nullptr;
    auto job = std::make_unique<PrintJob>();
    job->printer.setDocName(to_qt(document));
    if (!printer_chosen(*job, landscape, pdf_path)) return nullptr;
    if (chosen) *chosen = true;
    if (!job->painter.begin(&job->printer)) return nullptr;
    QRect page = job->printer.pageLayout().paintRectPixels(job->printer.resolution());
    job->canvas = std::make_unique<QtCanvas>(&job->painter, page.width(), page.height());
    return job.release();
}

Canvas* print_canvas(PrintJob* job) { return job ? job->canvas.get() : nullptr; }

bool print_new_page(PrintJob* job) { return job && job->printer.newPage(); }

bool print_end(PrintJob* job) {
    if (!job) return false;
    bool ok = job->painter.end();
    delete job;
    return ok;
}

}  // namespace vx::platform
