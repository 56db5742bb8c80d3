// The application object and the message box over Qt Widgets.
#include "platform/dialogs.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <iterator>
#include <string>

#include "platform/cp1252.h"
#include "platform/os.h"

namespace vx::platform {

namespace {

constexpr const char* PLATFORM_VAR = "QT_QPA_PLATFORM";
constexpr const char* OFFSCREEN = "offscreen";
// Platforms that draw nowhere a person could see: a modal box there would never be answered.
constexpr const char* HEADLESS[] = {"offscreen", "minimal"};

struct Gui {
    int argc = 1;
    char name[8] = "varnox";
    char* argv[2] = {name, nullptr};
    QApplication* app = nullptr;
};

Gui gui;

bool is_headless(const std::string& platform) {
    for (const char* h : HEADLESS)
        if (platform.rfind(h, 0) == 0) return true;
    return false;
}

QString to_qt(std::string_view bytes) {
    return QString::fromStdU16String(cp1252_to_utf16(bytes));
}

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

}  // namespace

bool app_ensure() {
    if (gui.app) return true;
    if (QCoreApplication::instance())
        return qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!os::display_available() && !os::env_has(PLATFORM_VAR)) qputenv(PLATFORM_VAR, OFFSCREEN);
    gui.app = new QApplication(gui.argc, gui.argv);  // lives as long as the process
    return true;
}

bool dialogs_interactive() {
    if (!os::display_available() || is_headless(os::env_var(PLATFORM_VAR))) return false;
    return app_ensure() && !is_headless(QGuiApplication::platformName().toStdString());
}

unsigned message_box(std::string_view text, std::string_view caption, BoxIcon icon,
                     unsigned buttons) {
    if (!app_ensure()) return BOX_CANCEL;
    QMessageBox box(qt_icon(icon), to_qt(caption), to_qt(text), qt_buttons(buttons),
                    QApplication::activeWindow());
    box.setTextFormat(Qt::PlainText);  // a text is never markup
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    return clicked ? our_button(box.standardButton(clicked)) : BOX_CANCEL;
}

}  // namespace vx::platform
