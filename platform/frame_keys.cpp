// The router of arrow and page keys: event filters that hand those keys to the top-level
// window (whose key handler tells the window's event function) before the window's scroll
// area scrolls with them or a button moves the focus with them.
#include "platform/frame_keys.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QPointer>
#include <algorithm>
#include <iterator>

#include "platform/qt_access.h"

namespace vx::platform {

namespace {

constexpr const char* ROUTER_NAME = "vx_arrow_router";

// The keys a scroll area scrolls with, and the ones a button takes (all of which it
// accepts, so a key the window declines is never offered twice).
constexpr int AREA_KEYS[] = {Qt::Key_Up,    Qt::Key_Down,   Qt::Key_Left,
                             Qt::Key_Right, Qt::Key_PageUp, Qt::Key_PageDown};
constexpr int BUTTON_KEYS[] = {Qt::Key_Up, Qt::Key_Down, Qt::Key_Left, Qt::Key_Right};

struct KeySet {
    const int* first;
    const int* last;
    bool has(int key) const { return std::find(first, last, key) != last; }
};

class ArrowRouter : public QObject {
public:
    ArrowRouter(QWidget* top, QObject* target, KeySet keys) : QObject(target), top_(top), keys_(keys) {
        setObjectName(QLatin1String(ROUTER_NAME));
    }

    bool eventFilter(QObject*, QEvent* ev) override {
        if (ev->type() != QEvent::KeyPress || !top_) return false;
        auto* key = static_cast<QKeyEvent*>(ev);
        if (!keys_.has(key->key())) return false;
        key->accept();
        QCoreApplication::sendEvent(top_, key);
        return key->isAccepted();  // declined: the target uses the key as usual
    }

private:
    QPointer<QWidget> top_;
    KeySet keys_;
};

void set_router(QWidget* top, QObject* target, KeySet keys, bool on) {
    QObject* router = target->findChild<QObject*>(QLatin1String(ROUTER_NAME), Qt::FindDirectChildrenOnly);
    if (on && !router) target->installEventFilter(new ArrowRouter(top, target, keys));
    if (!on && router) delete router;  // a deleted filter is taken off its object
}

QAbstractScrollArea* scroll_area_of(QWidget* client) {
    for (QWidget* p = client; p; p = p->parentWidget())
        if (auto* area = qobject_cast<QAbstractScrollArea*>(p)) return area;
    return nullptr;
}

}  // namespace

bool window_route_arrows(WinHandle w, bool on) {
    QWidget* top = window_widget(w);
    QWidget* client = client_widget(w);
    QAbstractScrollArea* area = client ? scroll_area_of(client) : nullptr;
    if (!top || !area) return false;
    set_router(top, area, KeySet{std::begin(AREA_KEYS), std::end(AREA_KEYS)}, on);
    for (QAbstractButton* b : client->findChildren<QAbstractButton*>())
        set_router(top, b, KeySet{std::begin(BUTTON_KEYS), std::end(BUTTON_KEYS)}, on);
    return true;
}

}  // namespace vx::platform
