// The application object and the event loop over Qt: one QApplication for the process,
// nested QEventLoops that end when their condition holds, and pumping.
#include "platform/gui.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <string>
#include <vector>

#include "platform/os.h"
#include "platform/qt_internal.h"

namespace vx::platform {

namespace {

constexpr const char* PLATFORM_VAR = "QT_QPA_PLATFORM";
constexpr const char* OFFSCREEN = "offscreen";
// Platforms that draw nowhere a person could see.
constexpr const char* HEADLESS[] = {"offscreen", "minimal"};

// What headless platforms say about each window feature they lack: noise, not faults.
constexpr const char* HEADLESS_NOISE = "This plugin does not support";

// Qt's own translations, by the prefix of their files in Qt's translations folder.
constexpr const char* QT_TRANSLATIONS[] = {"qtbase"};
constexpr const char* DESKTOP_NAME = "varnox";   // the .desktop entry the windows belong to
constexpr const char* ICON_FILE = "/varnox.png"; // in the shared folder
constexpr const char* SHARED_FROM_BIN = "/../share/varnox";

struct Loop {
    QEventLoop* loop;
    LoopDone done;
    void* data;
};

struct Gui {
    int argc = 1;
    char name[8] = "varnox";
    char* argv[2] = {name, nullptr};
    QApplication* app = nullptr;
    bool forced = false;
    bool watching = false;  // the dispatcher tells us before it waits
    QtMessageHandler next_handler = nullptr;
    std::vector<Loop*> loops;
    std::string language = "es";             // lower case, as Qt names its files
    std::vector<QTranslator*> translators;   // installed now
};

Gui gui;

bool is_headless(const std::string& platform) {
    for (const char* h : HEADLESS)
        if (platform.rfind(h, 0) == 0) return true;
    return false;
}

// Only the innermost loop runs, so only its condition is tested: when the run-time says
// something changed, and whenever the loop is about to wait for events.
void check_innermost() {
    if (gui.loops.empty()) return;
    Loop* l = gui.loops.back();
    if (l->done(l->data)) l->loop->exit(0);
}

void quiet_handler(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtWarningMsg && text.startsWith(QLatin1String(HEADLESS_NOISE))) return;
    if (gui.next_handler) gui.next_handler(type, context, text);
}

void watch_dispatcher() {
    if (gui.watching) return;
    if (QAbstractEventDispatcher* d = QAbstractEventDispatcher::instance()) {
        QObject::connect(d, &QAbstractEventDispatcher::aboutToBlock, check_innermost);
        gui.watching = true;
    }
}

// Qt's translations of the language in use, replacing those installed before.
void apply_language() {
    for (QTranslator* t : gui.translators) {
        QCoreApplication::removeTranslator(t);
        delete t;
    }
    gui.translators.clear();
    QLocale locale(QString::fromStdString(gui.language));
    QLocale::setDefault(locale);
    QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    for (const char* name : QT_TRANSLATIONS) {
        auto* t = new QTranslator;
        if (t->load(locale, QString::fromLatin1(name), QStringLiteral("_"), folder)) {
            QCoreApplication::installTranslator(t);
            gui.translators.push_back(t);
        } else {
            delete t;
        }
    }
}

// The program's icon, from the folder it ships its files in, for every window.
void set_icon() {
    QString icon = QCoreApplication::applicationDirPath() + QLatin1String(SHARED_FROM_BIN) +
                   QLatin1String(ICON_FILE);
    if (QFile::exists(icon)) QApplication::setWindowIcon(QIcon(icon));
    QGuiApplication::setDesktopFileName(QLatin1String(DESKTOP_NAME));
}

}  // namespace

void gui_language(std::string_view code) {
    std::string lower;
    for (char c : code) lower += char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (lower.empty() || lower == gui.language) return;
    gui.language = lower;
    if (gui.app) apply_language();
}

bool gui_init() {
    if (gui.app) return true;
    if (QCoreApplication::instance())
        return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
    if (!os::display_available() && !os::env_has(PLATFORM_VAR)) qputenv(PLATFORM_VAR, OFFSCREEN);
    gui.app = new QApplication(gui.argc, gui.argv);  // lives as long as the process
    QApplication::setQuitOnLastWindowClosed(false);  // the run-time decides when loops end
    apply_language();
    set_icon();
    if (is_headless(QGuiApplication::platformName().toStdString()))
        gui.next_handler = qInstallMessageHandler(quiet_handler);
    return true;
}

bool gui_ready() { return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr; }

bool gui_interactive() {
    if (gui.forced) return gui_init();
    if (!os::display_available() || is_headless(os::env_var(PLATFORM_VAR))) return false;
    return gui_init() && !is_headless(QGuiApplication::platformName().toStdString());
}

void gui_force_interactive(bool on) { gui.forced = on; }

void gui_pump() {
    if (!gui_ready()) return;
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void gui_loop(LoopDone done, void* data) {
    if (!done || done(data) || !gui_init()) return;
    watch_dispatcher();
    QEventLoop loop;
    Loop rec{&loop, done, data};
    gui.loops.push_back(&rec);
    loop.exec();
    std::erase(gui.loops, &rec);
    gui_pump();  // what the loop left pending
}

void gui_loop_wake() { check_innermost(); }

int gui_loop_depth() { return int(gui.loops.size()); }

void gui_close_all() {
    if (!gui_ready()) return;
    windows_close_all();
    gui_pump();
}

}  // namespace vx::platform
