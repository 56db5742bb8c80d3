// Vector drawings: the canvas over a painter on Qt's SVG generator or on a one-page PDF
// writer. Both count 96 pixels to the inch, so a drawing made for an image of the same size
// comes out the same, with lines and texts kept as vectors.
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QSvgGenerator>
#include <memory>

#include "platform/gui.h"
#include "platform/qt_internal.h"

namespace vx::platform {

namespace {

constexpr int VECTOR_SIDE_MAX = 16384;
constexpr double POINTS_PER_INCH = 72.0;
constexpr char CREATOR[] = "Varnox";

// The file, the device that writes into it, then its painter, then the canvas that draws
// with them. The drawing goes to a new file that takes the name only once it is whole: a
// failed write (a full disk) leaves the old file as it was and no cut one.
class VectorCanvas final : public QtCanvas {
public:
    VectorCanvas(std::unique_ptr<QSaveFile> file, std::unique_ptr<QPaintDevice> device, int w, int h)
        : QtCanvas(&painter_, w, h), file_(std::move(file)), device_(std::move(device)) {}
    bool begin() {
        if (!painter_.begin(device_.get())) return false;
        painter_.setRenderHint(QPainter::Antialiasing);
        painter_.setRenderHint(QPainter::TextAntialiasing);
        return true;
    }
    bool end() {
        bool ok = painter_.isActive() && painter_.end();
        device_.reset();
        return ok && commit_whole(*file_);
    }
    int dpi() const override { return DPI_STANDARD; }

private:
    QPainter painter_;
    std::unique_ptr<QSaveFile> file_;
    std::unique_ptr<QPaintDevice> device_;
};

std::unique_ptr<QPaintDevice> svg_device(QIODevice* file, int w, int h, const QString& title) {
    auto svg = std::make_unique<QSvgGenerator>();
    svg->setOutputDevice(file);
    svg->setSize(QSize(w, h));
    svg->setViewBox(QRect(0, 0, w, h));
    svg->setResolution(Canvas::DPI_STANDARD);
    svg->setTitle(title);
    svg->setDescription(QString::fromLatin1(CREATOR));
    return svg;
}

std::unique_ptr<QPaintDevice> pdf_device(QIODevice* file, int w, int h, const QString& title) {
    auto pdf = std::make_unique<QPdfWriter>(file);
    double scale = POINTS_PER_INCH / Canvas::DPI_STANDARD;
    pdf->setResolution(Canvas::DPI_STANDARD);
    pdf->setPageLayout(QPageLayout(QPageSize(QSizeF(w * scale, h * scale), QPageSize::Point),
                                   QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
    pdf->setTitle(title);
    pdf->setCreator(QString::fromLatin1(CREATOR));
    return pdf;
}

}  // namespace

Canvas* vector_open(VectorKind kind, const char* path, int width, int height, std::string_view title) {
    if (!path || !*path || width < 1 || height < 1 || width > VECTOR_SIDE_MAX || height > VECTOR_SIDE_MAX)
        return nullptr;
    if (!gui_init()) return nullptr;
    auto file = std::make_unique<QSaveFile>(QString::fromLocal8Bit(path));
    if (!file->open(QIODevice::WriteOnly)) return nullptr;
    QString name = to_qt(title);
    auto device = kind == VectorKind::Svg ? svg_device(file.get(), width, height, name)
                                          : pdf_device(file.get(), width, height, name);
    auto canvas = std::make_unique<VectorCanvas>(std::move(file), std::move(device), width, height);
    if (!canvas->begin()) return nullptr;
    return canvas.release();
}

bool vector_close(Canvas* drawing) {
    auto* v = dynamic_cast<VectorCanvas*>(drawing);
    if (!v) return false;
    bool ok = v->end();
    delete v;
    return ok;
}

}  // namespace vx::platform
