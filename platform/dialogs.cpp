// The message box and the file and folder choosers over Qt Widgets, on the application
// object of gui.cpp.
#include "platform/dialogs.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGuiApplication>
#include <QScreen>
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <iterator>
#include <string>

#include "platform/gui.h"
#include "platform/qt_internal.h"

namespace vx::platform {

namespace {

struct ButtonPair {
    unsigned ours;
    QMessageBox::StandardButton qt;
};

constexpr ButtonPair BUTTONS[] = {
    {BOX_OK, QMessageBox::Ok},         {BOX_CANCEL, QMessageBox::Cancel},
    {BOX_RETRY, QMessageBox::Retry},   {BOX_YES, QMessageBox::Yes},
    {BOX_NO, QMessageBox::No},         {BOX_ABORT, QMessageBox::Abort},
    {BOX_IGNORE, QMessageBox::Ignore},
};

QMessageBox::StandardButtons qt_buttons(unsigned buttons) {
    QMessageBox::StandardButtons out = QMessageBox::NoButton;
    for (const ButtonPair& b : BUTTONS)
        if (buttons & b.ours) out |= b.qt;
    return out ? out : QMessageBox::Ok;
}

unsigned our_button(QMessageBox::StandardButton pressed) {
    for (const ButtonPair& b : BUTTONS)
        if (b.qt == pressed) return b.ours;
    return BOX_CANCEL;
}

QMessageBox::Icon qt_icon(BoxIcon icon) {
    constexpr QMessageBox::Icon ICONS[] = {QMessageBox::NoIcon, QMessageBox::Information,
                                           QMessageBox::Warning, QMessageBox::Critical};
    unsigned i = static_cast<unsigned>(icon);
    return i < std::size(ICONS) ? ICONS[i] : QMessageBox::NoIcon;
}

// Room the title bar takes besides its text: the window's icon and its buttons.
constexpr int CAPTION_EXTRA_PX = 140;
constexpr int CAPTION_SCREEN_SHARE = 80;  // percent of the screen's width a box may take

// A window manager cuts a caption wider than its window: the box is made wide enough for
// its caption, as title bars show it (in bold, at most as wide as the screen allows).
void fit_caption(QMessageBox& box, const QString& caption) {
    QFont bold = box.font();
    bold.setBold(true);
    int need = QFontMetrics(bold).horizontalAdvance(caption) + CAPTION_EXTRA_PX;
    if (QScreen* screen = QGuiApplication::primaryScreen())
        need = std::min(need, screen->availableGeometry().width() * CAPTION_SCREEN_SHARE / 100);
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!grid) return;
    grid->addItem(new QSpacerItem(need, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

}  // namespace

bool app_ensure() { return gui_init(); }

bool dialogs_interactive() { return gui_interactive(); }

unsigned message_box(std::string_view text, std::string_view caption, BoxIcon icon,
                     unsigned buttons) {
    if (!gui_init()) return BOX_CANCEL;
    QMessageBox box(qt_icon(icon), to_qt(caption), to_qt(text), qt_buttons(buttons),
                    QApplication::activeWindow());
    box.setTextFormat(Qt::PlainText);  // a text is never markup
    box.setWindowModality(Qt::ApplicationModal);
    fit_caption(box, to_qt(caption));
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    return clicked ? our_button(box.standardButton(clicked)) : BOX_CANCEL;
}

// ---- File and folder choosers ----

namespace {

// "Description (*.a *.b)": the form Qt reads the patterns from; a description that already
// ends with its patterns in brackets is kept as it is.
QString filter_entry(const FileFilter& f) {
    QString patterns = to_qt(f.pattern).replace(QChar(';'), QChar(' ')).simplified();
    QString desc = to_qt(f.description).trimmed();
    if (desc.endsWith(QStringLiteral("(") + patterns + QStringLiteral(")"))) return desc;
    return desc + QStringLiteral(" (") + patterns + QStringLiteral(")");
}

bool has_wildcard(const QString& name) {
    return name.contains(QChar('*')) || name.contains(QChar('?'));
}

void prepare(QFileDialog& d, std::string_view folder, std::string_view initial,
             const FileFilter* filters, int count) {
    d.setOption(QFileDialog::DontUseNativeDialog);
    d.setDirectory(folder.empty() ? QDir::currentPath() : to_qt(folder));
    QStringList list;
    for (int i = 0; filters && i < count; i++) list << filter_entry(filters[i]);
    if (!list.isEmpty()) d.setNameFilters(list);
    QString name = to_qt(initial);
    if (name.isEmpty()) return;
    if (has_wildcard(name)) d.selectNameFilter(list.isEmpty() ? name : list.front());
    else d.selectFile(name);
}

}  // namespace

std::string file_dialog(bool save, std::string_view title, std::string_view folder,
                        std::string_view initial, const FileFilter* filters, int count,
                        int* chosen_filter) {
    if (chosen_filter) *chosen_filter = -1;
    if (!gui_init()) return {};
    QFileDialog d(QApplication::activeWindow(), to_qt(title));
    d.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    d.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    prepare(d, folder, initial, filters, count);
    if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty()) return {};
    if (chosen_filter) {
        int at = int(d.nameFilters().indexOf(d.selectedNameFilter()));
        *chosen_filter = at < count ? at : -1;
    }
    return from_qt(QDir::toNativeSeparators(d.selectedFiles().front()));
}

std::string folder_dialog(std::string_view title, std::string_view start) {
    if (!gui_init()) return {};
    QFileDialog d(QApplication::activeWindow(), to_qt(title));
    d.setFileMode(QFileDialog::Directory);
    d.setOption(QFileDialog::ShowDirsOnly);
    d.setOption(QFileDialog::DontUseNativeDialog);
    d.setDirectory(start.empty() ? QDir::currentPath() : to_qt(start));
    if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty()) return {};
    return from_qt(QDir::toNativeSeparators(d.selectedFiles().front()));
}

}  // namespace vx::platform
