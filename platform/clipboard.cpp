// The clipboard: an image and a text put there together as one entry.
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include "platform/canvas.h"
#include "platform/gui.h"
#include "platform/qt_internal.h"

namespace vx::platform {

bool clipboard_put(Canvas* image, std::string_view text) {
    if (!gui_init()) return false;
    QImage picture = image_of(image);
    if (picture.isNull()) return false;
    QClipboard* board = QGuiApplication::clipboard();
    if (!board) return false;
    auto* data = new QMimeData;
    data->setImageData(picture);
    data->setText(to_qt(text));
    board->setMimeData(data);  // the clipboard owns it
    return true;
}

}  // namespace vx::platform
