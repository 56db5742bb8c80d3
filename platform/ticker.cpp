// Tickers over QTimer. The timer is a child of the owner's widget, so it dies with the window;
// the table forgets it through the QPointer.
#include "platform/ticker.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>
#include <algorithm>
#include <map>

#include "platform/gui.h"
#include "platform/qt_access.h"

namespace vx::platform {

namespace {

constexpr int TICK_MIN_MS = 1;

struct Tickers {
    std::map<int, QPointer<QTimer>> timers;
    int next = 1;
};

Tickers& tickers() {
    static Tickers t;
    return t;
}

}  // namespace

int ticker_start(WinHandle owner, int milliseconds, TickFn fn, void* data) {
    if (!fn || !gui_init()) return 0;
    QObject* parent = owner != NO_WINDOW ? window_widget(owner) : nullptr;
    if (owner != NO_WINDOW && !parent) return 0;
    auto* timer = new QTimer(parent ? parent : static_cast<QObject*>(QCoreApplication::instance()));
    QObject::connect(timer, &QTimer::timeout, [fn, data] { fn(data); });
    timer->start(std::max(milliseconds, TICK_MIN_MS));
    int id = tickers().next++;
    tickers().timers[id] = timer;
    return id;
}

void ticker_stop(int id) {
    auto it = tickers().timers.find(id);
    if (it == tickers().timers.end()) return;
    if (it->second) {
        it->second->stop();
        it->second->deleteLater();
    }
    tickers().timers.erase(it);
}

bool ticker_running(int id) {
    auto it = tickers().timers.find(id);
    return it != tickers().timers.end() && it->second && it->second->isActive();
}

}  // namespace vx::platform
