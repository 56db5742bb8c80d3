// Windows, controls and menus over Qt Widgets.
//
// A window is a top-level QWidget holding an optional menu bar and a scroll area whose
// widget is the client area; controls are children of the client area. Handles index a
// table; every signal and event looks its window up there again, so a window destroyed by
// the run-time in the middle of an event is never touched afterwards. Destroyed widgets are
// hidden at once and deleted by the event loop.
#include "platform/window.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QHBoxLayout>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <iterator>
#include <map>
#include <memory>
#include <unordered_map>

#include "platform/gui.h"
#include "platform/mnemonic.h"
#include "platform/qt_access.h"
#include "platform/qt_internal.h"

namespace vx::platform {

namespace {

constexpr const char* PROP_WIN = "vx_win";
constexpr const char* PROP_ID = "vx_id";
constexpr int ID_MAX = 65535;
constexpr int EDIT_NO_LIMIT = 32767;
constexpr int FONT_PIXELS_MAX = 512;
constexpr int STRETCH_MIN = 1, STRETCH_MAX = 4000;
constexpr int WEIGHT_MIN = 100, WEIGHT_MAX = 900;
constexpr int TIMER_MIN_MS = 1;
constexpr QEvent::Type PRIVATE_EVENT = QEvent::Type(QEvent::User + 0x88);
// Monospaced faces to fall back on, best first, when a face does not exist.
constexpr const char* MONO_FACES[] = {"DejaVu Sans Mono", "Liberation Mono", "Noto Mono",
                                      "FreeMono", "Monospace"};

struct PrivateEvent : QEvent {
    PrivateEvent(int c, int cd, std::intptr_t w, std::intptr_t l)
        : QEvent(PRIVATE_EVENT), ctl(c), code(cd), wparam(w), lparam(l) {}
    int ctl, code;
    std::intptr_t wparam, lparam;
};

struct Control {
    QPointer<QWidget> w;
    CtlKind kind = CtlKind::None;
    unsigned flags = 0;
};

class ClientArea;
class TopWindow;

struct WinRec {
    QPointer<TopWindow> window;
    QPointer<ClientArea> client;
    QPointer<QScrollArea> scroll;
    QPointer<QMenuBar> bar;
    QPointer<QWidget> button_bar;
    EventFn fn = nullptr;
    void* user = nullptr;
    std::map<int, Control> controls;
    std::map<int, QPointer<QTimer>> timers;
    QColor background;
    bool has_background = false;
    bool dying = false;
    int margin = 0;                          // of the client area's controls
    bool centred_x = false, centred_y = false;
};

class KeyFilter;

struct Windows {
    std::unordered_map<WinHandle, std::unique_ptr<WinRec>> table;
    WinHandle next = 1;
    std::unordered_map<MenuHandle, QPointer<QWidget>> menus;
    MenuHandle next_menu = 1;
    KeyFilter* filter = nullptr;
};

Windows wins;

WinRec* lookup(WinHandle h) {
    auto it = wins.table.find(h);
    return it == wins.table.end() ? nullptr : it->second.get();
}

// Hands an event to the window's function. The function may destroy the window: nothing
// of the record is used after the call.
bool deliver(WinHandle h, Event e) {
    WinRec* r = lookup(h);
    if (!r || !r->fn) return false;
    e.win = h;
    return r->fn(r->user, e);
}

QWidget* control_of(WinHandle h, int id) {
    WinRec* r = lookup(h);
    if (!r) return nullptr;
    auto it = r->controls.find(id);
    return it == r->controls.end() ? nullptr : it->second.w.data();
}

// ---- Keys ----

struct KeyPair {
    int qt;
    int vk;
};

constexpr KeyPair KEYS[] = {
    {Qt::Key_Backspace, VK_BACK},  {Qt::Key_Tab, VK_TAB},         {Qt::Key_Backtab, VK_TAB},
    {Qt::Key_Return, VK_RETURN},   {Qt::Key_Enter, VK_RETURN},    {Qt::Key_Shift, VK_SHIFT},
    {Qt::Key_Control, VK_CONTROL}, {Qt::Key_Alt, VK_MENU},        {Qt::Key_Pause, VK_PAUSE},
    {Qt::Key_Escape, VK_ESCAPE},   {Qt::Key_Space, VK_SPACE},     {Qt::Key_PageUp, VK_PRIOR},
    {Qt::Key_PageDown, VK_NEXT},   {Qt::Key_End, VK_END},         {Qt::Key_Home, VK_HOME},
    {Qt::Key_Left, VK_LEFT},       {Qt::Key_Up, VK_UP},           {Qt::Key_Right, VK_RIGHT},
    {Qt::Key_Down, VK_DOWN},       {Qt::Key_Insert, VK_INSERT},   {Qt::Key_Delete, VK_DELETE},
    {Qt::Key_Menu, VK_APPS},
};

struct KeyRange {
    int qt_first, qt_last, vk_first;
};

constexpr KeyRange KEY_RANGES[] = {
    {Qt::Key_0, Qt::Key_9, VK_0},
    {Qt::Key_A, Qt::Key_Z, VK_A},
    {Qt::Key_F1, Qt::Key_F24, VK_F1},
};

int virtual_key(int qt_key) {
    for (const KeyPair& k : KEYS)
        if (k.qt == qt_key) return k.vk;
    for (const KeyRange& r : KEY_RANGES)
        if (qt_key >= r.qt_first && qt_key <= r.qt_last) return r.vk_first + (qt_key - r.qt_first);
    return VK_NONE;
}

unsigned key_mods(const QKeyEvent* k) {
    unsigned m = 0;
    if (k->modifiers() & Qt::ShiftModifier || k->key() == Qt::Key_Backtab) m |= MOD_SHIFT;
    if (k->modifiers() & Qt::ControlModifier) m |= MOD_CTRL;
    if (k->modifiers() & Qt::AltModifier) m |= MOD_ALT;
    return m;
}

int key_char(const QKeyEvent* k) {
    QString t = k->text();
    if (t.size() != 1) return 0;
    int b = cp1252_from_unicode(t.at(0).unicode());
    return b < 0 ? 0 : b;
}

Event key_event(EvKind kind, const QKeyEvent* k, int ctl) {
    Event e;
    e.kind = kind;
    e.ctl = ctl;
    e.key = virtual_key(k->key());
    e.mods = key_mods(k);
    e.ch = kind == EvKind::KeyDown ? key_char(k) : 0;
    return e;
}

// Keys and focus of controls made with CF_EVENTS go to their window's function first.
class KeyFilter : public QObject {
public:
    bool eventFilter(QObject* obj, QEvent* ev) override {
        QVariant win = obj->property(PROP_WIN), id = obj->property(PROP_ID);
        if (!win.isValid() || !id.isValid()) return false;
        WinHandle h = win.toUInt();
        int ctl = id.toInt();
        switch (ev->type()) {
        case QEvent::KeyPress:
            return deliver(h, key_event(EvKind::KeyDown, static_cast<QKeyEvent*>(ev), ctl));
        case QEvent::KeyRelease:
            return deliver(h, key_event(EvKind::KeyUp, static_cast<QKeyEvent*>(ev), ctl));
        case QEvent::FocusIn:
        case QEvent::FocusOut: {
            Event e;
            e.kind = ev->type() == QEvent::FocusIn ? EvKind::FocusIn : EvKind::FocusOut;
            e.ctl = ctl;
            deliver(h, e);
            return false;  // the control keeps its own focus handling
        }
        default:
            return false;
        }
    }
};

KeyFilter* key_filter() {
    if (!wins.filter) wins.filter = new KeyFilter;  // lives as long as the process
    return wins.filter;
}

// ---- The window and its client area ----

class ClientArea : public QWidget {
public:
    explicit ClientArea(WinHandle h) : h_(h) { setFocusPolicy(Qt::ClickFocus); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        WinRec* r = lookup(h_);
        if (r && r->has_background) p.fillRect(rect(), r->background);
        QtCanvas canvas(&p, width(), height());
        Event e;
        e.kind = EvKind::Paint;
        e.canvas = &canvas;
        deliver(h_, e);
    }
    void mousePressEvent(QMouseEvent* m) override {
        Event e;
        e.kind = m->button() == Qt::RightButton ? EvKind::RightClick : EvKind::Click;
        e.x = int(m->position().x());
        e.y = int(m->position().y());
        if (!deliver(h_, e)) QWidget::mousePressEvent(m);
    }
    void mouseMoveEvent(QMouseEvent* m) override {
        Event e;
        e.kind = EvKind::MouseMove;
        e.x = int(m->position().x());
        e.y = int(m->position().y());
        if (!hasMouseTracking() || !deliver(h_, e)) QWidget::mouseMoveEvent(m);
    }
    void focusInEvent(QFocusEvent* f) override {
        focus_event(EvKind::FocusIn);
        QWidget::focusInEvent(f);
    }
    void focusOutEvent(QFocusEvent* f) override {
        focus_event(EvKind::FocusOut);
        QWidget::focusOutEvent(f);
    }

private:
    void focus_event(EvKind kind) {
        Event e;
        e.kind = kind;
        deliver(h_, e);
    }
    WinHandle h_;
};

class TopWindow : public QWidget {
public:
    TopWindow(WinHandle h, Qt::WindowFlags flags) : QWidget(nullptr, flags), h_(h) {}

protected:
    void closeEvent(QCloseEvent* c) override {
        c->ignore();  // the run-time destroys windows itself
        Event e;
        e.kind = EvKind::Close;
        if (!deliver(h_, e)) window_destroy(h_);
    }
    void keyPressEvent(QKeyEvent* k) override {
        if (!deliver(h_, key_event(EvKind::KeyDown, k, 0))) QWidget::keyPressEvent(k);
    }
    void keyReleaseEvent(QKeyEvent* k) override {
        if (!deliver(h_, key_event(EvKind::KeyUp, k, 0))) QWidget::keyReleaseEvent(k);
    }
    bool event(QEvent* ev) override {
        if (ev->type() != PRIVATE_EVENT) return QWidget::event(ev);
        auto* p = static_cast<PrivateEvent*>(ev);
        Event e;
        e.kind = EvKind::Private;
        e.ctl = p->ctl;
        e.code = p->code;
        e.wparam = p->wparam;
        e.lparam = p->lparam;
        deliver(h_, e);
        return true;
    }

private:
    WinHandle h_;
};

struct StyleFlags {
    WinStyle style;
    Qt::WindowFlags flags;
};

const StyleFlags STYLES[] = {
    {WinStyle::Captioned, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowCloseButtonHint},
    {WinStyle::Popup, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint},
    {WinStyle::Frameless, Qt::Window | Qt::FramelessWindowHint},
    {WinStyle::Plain, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint},
    {WinStyle::Overlapped, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                               Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                               Qt::WindowCloseButtonHint},
};

Qt::WindowFlags style_flags(WinStyle s) {
    for (const StyleFlags& f : STYLES)
        if (f.style == s) return f.flags;
    return Qt::Window;
}

Qt::ScrollBarPolicy scroll_policy(bool on) { return on ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff; }

QPoint window_origin(const WinSpec& s, int w, int h) {
    Rect a = work_area();
    int x = s.x == CENTRED ? a.x + std::max(0, (a.w - w) / 2) : s.x;
    int y = s.y == CENTRED ? a.y + std::max(0, (a.h - h) / 2) : s.y;
    return {x, y};
}

void set_owner(TopWindow* window, WinHandle owner) {
    WinRec* o = lookup(owner);
    if (!o || !o->window) return;
    window->winId();
    o->window->winId();
    if (window->windowHandle() && o->window->windowHandle())
        window->windowHandle()->setTransientParent(o->window->windowHandle());
}

// ---- Controls ----

void tag(QObject* obj, WinHandle h, int id) {
    obj->setProperty(PROP_WIN, QVariant::fromValue<uint>(h));
    obj->setProperty(PROP_ID, id);
}

Qt::Alignment text_alignment(unsigned flags) {
    Qt::Alignment a = Qt::AlignVCenter;
    if (flags & CF_RIGHT) return a | Qt::AlignRight;
    if (flags & CF_CENTER) return a | Qt::AlignHCenter;
    return a | Qt::AlignLeft;
}

void command(WinHandle h, int id, int code) {
    Event e;
    e.kind = EvKind::Command;
    e.ctl = id;
    e.code = code;
    deliver(h, e);
}

QWidget* make_label(WinHandle, const CtlSpec& s) {
    auto* l = new QLabel(to_qt(s.text));
    l->setAlignment(text_alignment(s.flags));
    l->setTextFormat(Qt::PlainText);
    return l;
}

QWidget* make_edit(WinHandle, const CtlSpec& s) {
    auto* e = new QLineEdit;
    e->setMaxLength(s.limit > 0 ? std::min(s.limit, EDIT_NO_LIMIT) : EDIT_NO_LIMIT);
    e->setText(to_qt(s.text));
    e->setAlignment(text_alignment(s.flags));
    if (s.flags & CF_PASSWORD) e->setEchoMode(QLineEdit::Password);
    if (s.flags & CF_READONLY) e->setReadOnly(true);
    if (s.flags & CF_NOBORDER) e->setFrame(false);
    e->setCursorPosition(0);
    return e;
}

QWidget* make_check(WinHandle h, const CtlSpec& s) {
    auto* c = new QCheckBox(to_qt(s.text));
    int id = s.id;
    QObject::connect(c, &QCheckBox::clicked, [h, id] { command(h, id, NOTIFY_CLICKED); });
    return c;
}

QWidget* make_button(WinHandle h, const CtlSpec& s) {
    auto* b = new QPushButton(to_qt(s.text));
    b->setAutoDefault(false);
    b->setDefault(s.flags & CF_DEFAULT);
    int id = s.id;
    QObject::connect(b, &QPushButton::clicked, [h, id] { command(h, id, NOTIFY_CLICKED); });
    return b;
}

bool set_picture(QPushButton* b, std::string_view path) {
    QPixmap pm(to_qt(path));
    if (pm.isNull()) return false;
    b->setIcon(QIcon(pm));
    b->setIconSize(pm.size());
    return true;
}

QWidget* make_picture(WinHandle h, const CtlSpec& s) {
    auto* b = static_cast<QPushButton*>(make_button(h, s));
    if (set_picture(b, s.image)) b->setText(QString());
    return b;
}

QWidget* make_list(WinHandle h, const CtlSpec& s) {
    auto* l = new QListWidget;
    int id = s.id;
    QObject::connect(l, &QListWidget::currentRowChanged,
                     [h, id](int) { command(h, id, NOTIFY_SELCHANGE); });
    QObject::connect(l, &QListWidget::itemDoubleClicked,
                     [h, id](QListWidgetItem*) { command(h, id, NOTIFY_DBLCLK); });
    return l;
}

QWidget* make_combo(WinHandle h, const CtlSpec& s) {
    auto* c = new QComboBox;
    int id = s.id;
    QObject::connect(c, &QComboBox::currentIndexChanged,
                     [h, id](int) { command(h, id, NOTIFY_SELCHANGE); });
    QObject::connect(c, &QComboBox::activated, [h, id](int) { command(h, id, NOTIFY_SELENDOK); });
    return c;
}

QWidget* make_progress(WinHandle, const CtlSpec&) {
    auto* p = new QProgressBar;
    p->setTextVisible(false);
    p->setRange(0, 100);
    p->setValue(0);
    return p;
}

// Lines of the run-time end with CR LF; the widget wants LF.
QString text_in(std::string_view s) { return to_qt(s).remove(QChar('\r')); }
std::string text_out(const QString& s) {
    QString t = s;
    return from_qt(t.replace(QChar('\n'), QStringLiteral("\r\n")));
}

QWidget* make_text(WinHandle, const CtlSpec& s) {
    auto* t = new QPlainTextEdit;
    t->setLineWrapMode(QPlainTextEdit::NoWrap);
    t->setReadOnly(s.flags & CF_READONLY);
    t->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    t->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    t->setPlainText(text_in(s.text));
    return t;
}

using Maker = QWidget* (*)(WinHandle, const CtlSpec&);

struct KindMaker {
    CtlKind kind;
    Maker make;
};

constexpr KindMaker MAKERS[] = {
    {CtlKind::Label, make_label},        {CtlKind::Edit, make_edit},
    {CtlKind::CheckBox, make_check},     {CtlKind::Button, make_button},
    {CtlKind::PictureButton, make_picture}, {CtlKind::ListBox, make_list},
    {CtlKind::ComboBox, make_combo},     {CtlKind::Progress, make_progress},
    {CtlKind::Text, make_text},
};

Maker maker_of(CtlKind kind) {
    for (const KindMaker& m : MAKERS)
        if (m.kind == kind) return m.make;
    return nullptr;
}

// The widget's events go through the filter; a combo box's line edit too.
void watch(QWidget* w) {
    w->installEventFilter(key_filter());
    for (QWidget* child : w->findChildren<QWidget*>()) {
        tag(child, w->property(PROP_WIN).toUInt(), w->property(PROP_ID).toInt());
        child->installEventFilter(key_filter());
    }
}

// ---- Menus ----

QMenu* popup_of(MenuHandle m) {
    auto it = wins.menus.find(m);
    return it == wins.menus.end() ? nullptr : qobject_cast<QMenu*>(it->second.data());
}

QWidget* menu_of(MenuHandle m) {
    auto it = wins.menus.find(m);
    return it == wins.menus.end() ? nullptr : it->second.data();
}

// Each entry of the tree learns the window that its commands go to.
void bind_actions(QWidget* menu, WinHandle h) {
    for (QAction* a : menu->actions()) {
        a->setProperty(PROP_WIN, QVariant::fromValue<uint>(h));
        if (a->menu()) bind_actions(a->menu(), h);
    }
}

// A label for a menu with the first mnemonic that its other entries leave free.
QString menu_label(QWidget* menu, std::string_view label) {
    std::string taken;
    for (QAction* a : menu->actions())
        if (char c = mnemonic_of(from_qt(a->text()))) taken += c;
    return to_qt(mnemonic_label(label, taken));
}

QAction* find_action(QWidget* menu, int id) {
    for (QAction* a : menu->actions()) {
        if (a->menu()) {
            if (QAction* inner = find_action(a->menu(), id)) return inner;
        } else if (a->data().isValid() && a->data().toInt() == id) {
            return a;
        }
    }
    return nullptr;
}

}  // namespace

// ---- Fonts ----

namespace {

QString fallback_face() {
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (QFontInfo(fixed).fixedPitch()) return fixed.family();
    for (const char* face : MONO_FACES)
        if (QFontDatabase::hasFamily(QString::fromLatin1(face))) return QString::fromLatin1(face);
    return fixed.family();
}

}  // namespace

QFont make_font(const FontSpec& spec) {
    gui_init();
    QString face = to_qt(spec.face);
    if (face.isEmpty() || !QFontDatabase::hasFamily(face)) face = fallback_face();
    QFont f(face);
    f.setStyleHint(QFont::TypeWriter);
    if (spec.height > 0) f.setPixelSize(std::clamp(spec.height, 1, FONT_PIXELS_MAX));
    f.setWeight(QFont::Weight(std::clamp(spec.weight, WEIGHT_MIN, WEIGHT_MAX)));
    f.setItalic(spec.italic);
    f.setUnderline(spec.underline);
    if (spec.width > 0) {
        int natural = QFontMetrics(f).averageCharWidth();
        if (natural > 0) f.setStretch(std::clamp(spec.width * 100 / natural, STRETCH_MIN, STRETCH_MAX));
    }
    return f;
}

FontInfo font_info(const FontSpec& spec) {
    QFont f = make_font(spec);
    QFontMetrics m(f);
    return FontInfo{m.averageCharWidth(), m.height(), from_qt(QFontInfo(f).family())};
}

bool font_face_exists(std::string_view face) {
    return gui_init() && QFontDatabase::hasFamily(to_qt(face));
}

// ---- Windows ----

WinHandle window_create(const WinSpec& spec, EventFn fn, void* user) {
    if (!gui_init() || spec.width < 0 || spec.height < 0) return NO_WINDOW;
    WinHandle h = wins.next++;
    auto rec = std::make_unique<WinRec>();
    auto* window = new TopWindow(h, style_flags(spec.style));
    window->setWindowTitle(to_qt(spec.title));
    window->setObjectName(to_qt(spec.class_name));
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* scroll = new QScrollArea;
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(scroll_policy(spec.scroll_h));
    scroll->setVerticalScrollBarPolicy(scroll_policy(spec.scroll_v));
    auto* client = new ClientArea(h);
    client->setAutoFillBackground(true);
    if (spec.style == WinStyle::Overlapped) {
        scroll->setWidgetResizable(true);  // the client area is the window's
        client->resize(std::max(1, spec.width), std::max(1, spec.height));
    } else {
        client->setFixedSize(std::max(spec.content_width, spec.width),
                             std::max(spec.content_height, spec.height));
    }
    scroll->setWidget(client);
    layout->addWidget(scroll);
    window->resize(std::max(1, spec.width), std::max(1, spec.height));
    window->move(window_origin(spec, spec.width, spec.height));
    rec->window = window;
    rec->client = client;
    rec->scroll = scroll;
    rec->fn = fn;
    rec->user = user;
    rec->margin = std::max(0, spec.margin);
    rec->centred_x = spec.x == CENTRED;
    rec->centred_y = spec.y == CENTRED;
    wins.table.emplace(h, std::move(rec));
    set_owner(window, spec.owner);
    return h;
}

bool window_destroy(WinHandle h) {
    WinRec* r = lookup(h);
    if (!r || r->dying) return false;
    r->dying = true;
    Event e;
    e.kind = EvKind::Destroy;
    deliver(h, e);
    auto node = wins.table.extract(h);
    WinRec* rec = node.mapped().get();
    for (auto& [id, t] : rec->timers)
        if (t) t->stop();
    if (rec->window) {
        rec->window->hide();
        rec->window->deleteLater();
    }
    return true;
}

void windows_close_all() {
    std::vector<WinHandle> all;
    for (auto& [h, r] : wins.table) all.push_back(h);
    for (WinHandle h : all) {
        if (WinRec* r = lookup(h)) r->fn = nullptr;  // nobody is told any more
        window_destroy(h);
    }
    for (auto& [m, w] : wins.menus)
        if (w && !w->parent()) w->deleteLater();
    wins.menus.clear();
}

bool window_exists(WinHandle h) { return lookup(h) != nullptr; }

bool window_close(WinHandle h) {
    WinRec* r = lookup(h);
    if (!r || !r->window) return false;
    r->window->close();
    return true;
}

bool window_show(WinHandle h, bool visible) {
    WinRec* r = lookup(h);
    if (!r || !r->window) return false;
    r->window->setVisible(visible);
    return true;
}

bool window_visible(WinHandle h) {
    WinRec* r = lookup(h);
    return r && r->window && r->window->isVisible();
}

bool window_enable(WinHandle h, bool enabled) {
    WinRec* r = lookup(h);
    if (!r || !r->window) return false;
    r->window->setEnabled(enabled);
    return true;
}

bool window_enabled(WinHandle h) {
    WinRec* r = lookup(h);
    return r && r->window && r->window->isEnabled();
}

bool window_activate(WinHandle h) {
    WinRec* r = lookup(h);
    if (!r || !r->window) return false;
    if (!r->window->isVisible()) r->window->show();
    r->window->raise();
    r->window->activateWindow();
    QApplication::setActiveWindow(r->window);
    if (r->client) r->client->setFocus(Qt::ActiveWindowFocusReason);
    return true;
}

bool window_set_title(WinHandle h, std::string_view title) {
    WinRec* r = lookup(h);
    if (!r || !r->window) return false;
    r->window->setWindowTitle(to_qt(title));
    return true;
}

std::string window_title(WinHandle h) {
    WinRec* r = lookup(h);
    return r && r->window ? from_qt(r->window->windowTitle()) : std::string();
}

std::string window_class(WinHandle h) {
    WinRec* r = lookup(h);
    return r && r->window ? from_qt(r->window->objectName()) : std::string();
}

bool window_set_font(WinHandle h, const FontSpec& font) {
    WinRec* r = lookup(h);
    if (!r || !r->window) return false;
    r->window->setFont(make_font(font));
    return true;
}

bool window_set_background(WinHandle h, Rgb c) {
    WinRec* r = lookup(h);
    if (!r) return false;
    r->background = QColor(c.r, c.g, c.b);
    r->has_background = true;
    if (r->client) r->client->update();
    return true;
}

bool window_repaint(WinHandle h) {
    WinRec* r = lookup(h);
    if (!r || !r->client) return false;
    r->client->update();
    return true;
}

Rect window_client(WinHandle h) {
    WinRec* r = lookup(h);
    if (!r || !r->scroll) return {};
    QWidget* vp = r->scroll->viewport();
    QPoint at = vp->mapToGlobal(QPoint(0, 0));
    return Rect{at.x(), at.y(), vp->width(), vp->height()};
}

bool window_scrollbars(WinHandle h, bool* horizontal, bool* vertical) {
    WinRec* r = lookup(h);
    if (!r || !r->scroll) return false;
    if (horizontal) *horizontal = r->scroll->horizontalScrollBarPolicy() == Qt::ScrollBarAlwaysOn;
    if (vertical) *vertical = r->scroll->verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOn;
    return true;
}

bool window_save_image(WinHandle h, const char* path, const char* format) {
    WinRec* r = lookup(h);
    if (!r || !r->window || !path) return false;
    return r->window->grab().save(QString::fromLocal8Bit(path), format);
}

bool window_track_mouse(WinHandle h, bool on) {
    WinRec* r = lookup(h);
    if (!r || !r->client) return false;
    r->client->setMouseTracking(on);
    return true;
}

bool window_tooltip(WinHandle h, int x, int y, std::string_view text) {
    WinRec* r = lookup(h);
    if (!r || !r->client) return false;
    if (text.empty()) QToolTip::hideText();
    else QToolTip::showText(r->client->mapToGlobal(QPoint(x, y)), to_qt(text), r->client);
    return true;
}

Rect work_area() {
    if (!gui_init()) return {};
    QScreen* s = QGuiApplication::primaryScreen();
    if (!s) return {};
    QRect a = s->availableGeometry();
    return Rect{a.x(), a.y(), a.width(), a.height()};
}

// ---- The button bar and fitting ----

namespace {

void drop_bar(WinRec* r) {
    if (!r->button_bar) return;
    for (auto it = r->controls.begin(); it != r->controls.end();) {
        if (it->second.w && it->second.w->parentWidget() == r->button_bar.data()) it = r->controls.erase(it);
        else ++it;
    }
    r->button_bar->hide();
    r->button_bar->deleteLater();
    r->button_bar = nullptr;
}

// How far the client area's own controls reach, plus the margin.
QSize controls_extent(WinRec* r) {
    int w = 0, h = 0;
    for (auto& [id, c] : r->controls) {
        if (!c.w || c.w->parentWidget() != r->client.data()) continue;
        QRect g = c.w->geometry();
        w = std::max(w, g.x() + g.width());
        h = std::max(h, g.y() + g.height());
    }
    return {w + r->margin, h + r->margin};
}

}  // namespace

bool window_set_bar(WinHandle h, std::string_view hint, const BarButton* buttons, int count) {
    WinRec* r = lookup(h);
    if (!r || !r->window || count < 0 || (count && !buttons)) return false;
    for (int i = 0; i < count; i++) {
        auto it = r->controls.find(buttons[i].id);
        bool ours = it != r->controls.end() && it->second.w && r->button_bar &&
                    it->second.w->parentWidget() == r->button_bar.data();
        if (buttons[i].id <= 0 || buttons[i].id > ID_MAX || (it != r->controls.end() && !ours)) return false;
    }
    drop_bar(r);
    auto* bar = new QWidget;
    bar->setFont(QApplication::font());  // not the window's character-grid font
    auto* row = new QHBoxLayout(bar);
    int gap = std::max(r->margin, row->spacing());
    row->setContentsMargins(gap, gap / 2, gap, gap);
    auto* text = new QLabel(to_qt(hint));
    text->setTextFormat(Qt::PlainText);
    text->setForegroundRole(QPalette::PlaceholderText);  // a hint, in a quieter colour
    row->addWidget(text);
    row->addStretch(1);
    for (int i = 0; i < count; i++) {
        const BarButton& b = buttons[i];
        auto* button = new QPushButton(to_qt(b.text));
        button->setAutoDefault(false);
        button->setDefault(b.is_default);
        if (!b.tip.empty()) button->setToolTip(to_qt(b.tip));
        int id = b.id;
        QObject::connect(button, &QPushButton::clicked, [h, id] { command(h, id, NOTIFY_CLICKED); });
        tag(button, h, id);
        row->addWidget(button);
        r->controls[id] = Control{button, CtlKind::Button, b.is_default ? unsigned(CF_DEFAULT) : 0u};
    }
    static_cast<QVBoxLayout*>(r->window->layout())->addWidget(bar);
    r->button_bar = bar;
    return true;
}

bool window_fit(WinHandle h) {
    WinRec* r = lookup(h);
    if (!r || !r->window || !r->client || !r->scroll) return false;
    QSize content = controls_extent(r);
    QSize bar = r->button_bar ? r->button_bar->sizeHint() : QSize();
    int menu = r->bar ? r->bar->sizeHint().height() : 0;
    int width = std::max({content.width(), bar.width(), 1});
    int height = std::max(content.height(), 1);
    r->client->setFixedSize(width, height);
    Rect area = work_area();
    int room_w = area.w > 0 ? area.w : width;
    int room_h = area.h > 0 ? std::max(1, area.h - bar.height() - menu) : height;
    bool scroll_h = width > room_w, scroll_v = height > room_h;
    r->scroll->setHorizontalScrollBarPolicy(scroll_policy(scroll_h));
    r->scroll->setVerticalScrollBarPolicy(scroll_policy(scroll_v));
    r->scroll->setMinimumSize(1, 1);  // as small as the client area, not the widget's default
    int bar_extent = r->scroll->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    int shown_w = std::min(width, room_w) + (scroll_v ? bar_extent : 0);
    int shown_h = std::min(height, room_h) + (scroll_h ? bar_extent : 0);
    int total_w = std::min(std::max(shown_w, bar.width()), std::max(room_w, 1));
    int total_h = shown_h + bar.height() + menu;
    r->window->resize(total_w, total_h);
    QPoint at = r->window->pos();
    if (r->centred_x) at.setX(area.x + std::max(0, (area.w - total_w) / 2));
    if (r->centred_y) at.setY(area.y + std::max(0, (area.h - total_h) / 2));
    r->window->move(at);
    return true;
}

// ---- Events made by the run-time ----

bool post_private(WinHandle h, int ctl, int code, std::intptr_t wparam, std::intptr_t lparam) {
    WinRec* r = lookup(h);
    if (!r || !r->window) return false;
    QCoreApplication::postEvent(r->window, new PrivateEvent(ctl, code, wparam, lparam));
    return true;
}

bool send_event(WinHandle h, const Event& e) { return deliver(h, e); }

bool timer_start(WinHandle h, int id, int ms) {
    WinRec* r = lookup(h);
    if (!r || !r->window) return false;
    QPointer<QTimer>& t = r->timers[id];
    if (!t) {
        t = new QTimer(r->window);
        QObject::connect(t, &QTimer::timeout, [h, id] {
            Event e;
            e.kind = EvKind::Timer;
            e.code = id;
            deliver(h, e);
        });
    }
    t->start(std::max(ms, TIMER_MIN_MS));
    return true;
}

bool timer_stop(WinHandle h, int id) {
    WinRec* r = lookup(h);
    if (!r) return false;
    auto it = r->timers.find(id);
    if (it == r->timers.end() || !it->second) return false;
    it->second->stop();
    return true;
}

// ---- Controls ----

bool control_create(WinHandle h, const CtlSpec& s) {
    WinRec* r = lookup(h);
    Maker make = maker_of(s.kind);
    if (!r || !r->client || !make || s.id <= 0 || s.id > ID_MAX) return false;
    if (r->controls.count(s.id)) return false;
    QWidget* w = make(h, s);
    w->setParent(r->client);
    w->setGeometry(s.at.x + r->margin, s.at.y + r->margin, std::max(0, s.at.w), std::max(0, s.at.h));
    tag(w, h, s.id);
    if (s.flags & CF_EVENTS) watch(w);
    if (s.flags & CF_ONTOP) w->raise();
    w->show();
    r->controls[s.id] = Control{w, s.kind, s.flags};
    return true;
}

bool control_exists(WinHandle h, int id) { return control_of(h, id) != nullptr; }

CtlKind control_kind(WinHandle h, int id) {
    WinRec* r = lookup(h);
    if (!r) return CtlKind::None;
    auto it = r->controls.find(id);
    return it == r->controls.end() || !it->second.w ? CtlKind::None : it->second.kind;
}

unsigned control_flags(WinHandle h, int id) {
    WinRec* r = lookup(h);
    if (!r) return 0;
    auto it = r->controls.find(id);
    return it == r->controls.end() ? 0 : it->second.flags;
}

bool control_destroy(WinHandle h, int id) {
    WinRec* r = lookup(h);
    if (!r) return false;
    auto it = r->controls.find(id);
    if (it == r->controls.end()) return false;
    if (it->second.w) {
        it->second.w->hide();
        it->second.w->deleteLater();
    }
    r->controls.erase(it);
    return true;
}

bool control_set_text(WinHandle h, int id, std::string_view text) {
    QWidget* w = control_of(h, id);
    if (!w) return false;
    if (auto* e = qobject_cast<QLineEdit*>(w)) {
        e->setText(to_qt(text));
        e->setCursorPosition(0);
    } else if (auto* l = qobject_cast<QLabel*>(w)) {
        l->setText(to_qt(text));
    } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        b->setText(to_qt(text));
    } else if (auto* t = qobject_cast<QPlainTextEdit*>(w)) {
        t->setPlainText(text_in(text));
    } else if (auto* c = qobject_cast<QComboBox*>(w)) {
        c->setCurrentIndex(c->findText(to_qt(text)));
    } else {
        return false;
    }
    return true;
}

std::string control_text(WinHandle h, int id) {
    QWidget* w = control_of(h, id);
    if (auto* e = qobject_cast<QLineEdit*>(w)) return from_qt(e->text());
    if (auto* l = qobject_cast<QLabel*>(w)) return from_qt(l->text());
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return from_qt(b->text());
    if (auto* t = qobject_cast<QPlainTextEdit*>(w)) return text_out(t->toPlainText());
    if (auto* c = qobject_cast<QComboBox*>(w)) return from_qt(c->currentText());
    if (auto* l = qobject_cast<QListWidget*>(w))
        return l->currentItem() ? from_qt(l->currentItem()->text()) : std::string();
    return {};
}

bool control_set_checked(WinHandle h, int id, bool checked) {
    auto* b = qobject_cast<QAbstractButton*>(control_of(h, id));
    if (!b || !b->isCheckable()) return false;
    b->setChecked(checked);
    return true;
}

bool control_checked(WinHandle h, int id) {
    auto* b = qobject_cast<QAbstractButton*>(control_of(h, id));
    return b && b->isChecked();
}

bool control_focus(WinHandle h, int id) {
    QWidget* w = control_of(h, id);
    if (!w || !w->isEnabled() || w->focusPolicy() == Qt::NoFocus) return false;
    w->setFocus(Qt::OtherFocusReason);
    return true;
}

int control_focused(WinHandle h) {
    WinRec* r = lookup(h);
    if (!r || !r->window) return 0;
    for (QWidget* f = r->window->focusWidget(); f && f != r->client; f = f->parentWidget()) {
        QVariant id = f->property(PROP_ID);
        if (id.isValid() && f->property(PROP_WIN).toUInt() == h) return id.toInt();
    }
    return 0;
}

bool control_enable(WinHandle h, int id, bool enabled) {
    QWidget* w = control_of(h, id);
    if (!w) return false;
    w->setEnabled(enabled);
    return true;
}

bool control_set_limit(WinHandle h, int id, int limit) {
    auto* e = qobject_cast<QLineEdit*>(control_of(h, id));
    if (!e) return false;
    e->setMaxLength(limit > 0 ? std::min(limit, EDIT_NO_LIMIT) : EDIT_NO_LIMIT);
    return true;
}

bool control_set_image(WinHandle h, int id, std::string_view path) {
    auto* b = qobject_cast<QPushButton*>(control_of(h, id));
    return b && set_picture(b, path);
}

Rect control_rect(WinHandle h, int id) {
    QWidget* w = control_of(h, id);
    WinRec* r = lookup(h);
    if (!w || !r) return {};
    QRect g = w->geometry();
    int origin = w->parentWidget() == r->client.data() ? r->margin : 0;
    return Rect{g.x() - origin, g.y() - origin, g.width(), g.height()};
}

bool list_add(WinHandle h, int id, std::string_view item) {
    QWidget* w = control_of(h, id);
    if (auto* l = qobject_cast<QListWidget*>(w)) {
        l->addItem(to_qt(item));
        return true;
    }
    if (auto* c = qobject_cast<QComboBox*>(w)) {
        c->addItem(to_qt(item));
        return true;
    }
    return false;
}

bool list_clear(WinHandle h, int id) {
    QWidget* w = control_of(h, id);
    if (auto* l = qobject_cast<QListWidget*>(w)) {
        l->clear();
        return true;
    }
    if (auto* c = qobject_cast<QComboBox*>(w)) {
        c->clear();
        return true;
    }
    return false;
}

int list_count(WinHandle h, int id) {
    QWidget* w = control_of(h, id);
    if (auto* l = qobject_cast<QListWidget*>(w)) return l->count();
    if (auto* c = qobject_cast<QComboBox*>(w)) return c->count();
    return 0;
}

int list_current(WinHandle h, int id) {
    QWidget* w = control_of(h, id);
    if (auto* l = qobject_cast<QListWidget*>(w)) return l->currentRow();
    if (auto* c = qobject_cast<QComboBox*>(w)) return c->currentIndex();
    return -1;
}

bool list_set_current(WinHandle h, int id, int index) {
    QWidget* w = control_of(h, id);
    int n = list_count(h, id);
    if (index < -1 || index >= n) return false;
    if (auto* l = qobject_cast<QListWidget*>(w)) {
        l->setCurrentRow(index);
        return true;
    }
    if (auto* c = qobject_cast<QComboBox*>(w)) {
        c->setCurrentIndex(index);
        return true;
    }
    return false;
}

std::string list_item(WinHandle h, int id, int index) {
    QWidget* w = control_of(h, id);
    if (index < 0 || index >= list_count(h, id)) return {};
    if (auto* l = qobject_cast<QListWidget*>(w)) return from_qt(l->item(index)->text());
    if (auto* c = qobject_cast<QComboBox*>(w)) return from_qt(c->itemText(index));
    return {};
}

bool progress_set_range(WinHandle h, int id, int low, int high) {
    auto* p = qobject_cast<QProgressBar*>(control_of(h, id));
    if (!p || high < low) return false;
    p->setRange(low, high);
    return true;
}

bool progress_set_pos(WinHandle h, int id, int pos) {
    auto* p = qobject_cast<QProgressBar*>(control_of(h, id));
    if (!p) return false;
    p->setValue(std::clamp(pos, p->minimum(), p->maximum()));
    return true;
}

int progress_pos(WinHandle h, int id) {
    auto* p = qobject_cast<QProgressBar*>(control_of(h, id));
    return p ? p->value() : 0;
}

// ---- Menus ----

MenuHandle menu_create(bool popup) {
    if (!gui_init()) return 0;
    MenuHandle m = wins.next_menu++;
    QWidget* w = popup ? static_cast<QWidget*>(new QMenu) : static_cast<QWidget*>(new QMenuBar);
    wins.menus[m] = w;
    return m;
}

bool menu_add_entry(MenuHandle m, int id, std::string_view label) {
    QWidget* menu = menu_of(m);
    if (!menu || id <= 0 || id > ID_MAX) return false;
    auto* a = new QAction(menu_label(menu, label), menu);
    a->setData(id);
    QObject::connect(a, &QAction::triggered, [a, id] {
        QVariant win = a->property(PROP_WIN);
        if (win.isValid()) command(win.toUInt(), id, NOTIFY_CLICKED);
    });
    menu->addAction(a);
    return true;
}

bool menu_add_submenu(MenuHandle m, MenuHandle sub, std::string_view label) {
    QWidget* menu = menu_of(m);
    QMenu* child = popup_of(sub);
    if (!menu || !child || menu == child) return false;
    child->setTitle(menu_label(menu, label));
    child->setParent(menu, child->windowFlags());
    if (auto* bar = qobject_cast<QMenuBar*>(menu)) bar->addMenu(child);
    else static_cast<QMenu*>(menu)->addMenu(child);
    wins.menus.erase(sub);  // owned by its parent now
    return true;
}

bool menu_add_separator(MenuHandle m) {
    QWidget* menu = menu_of(m);
    if (!menu) return false;
    auto* a = new QAction(menu);
    a->setSeparator(true);
    menu->addAction(a);
    return true;
}

bool window_set_menu(WinHandle h, MenuHandle m) {
    WinRec* r = lookup(h);
    auto* bar = qobject_cast<QMenuBar*>(menu_of(m));
    if (!r || !r->window || !bar) return false;
    auto* layout = static_cast<QVBoxLayout*>(r->window->layout());
    if (r->bar) r->bar->deleteLater();
    layout->setMenuBar(bar);
    bind_actions(bar, h);
    r->bar = bar;
    wins.menus.erase(m);  // owned by the window now
    r->window->resize(r->window->width(), r->window->height() + bar->sizeHint().height());
    return true;
}

int menu_popup(WinHandle h, MenuHandle m, int x, int y) {
    WinRec* r = lookup(h);
    QMenu* menu = popup_of(m);
    if (!r || !r->client || !menu) return 0;
    QAction* chosen = menu->exec(r->client->mapToGlobal(QPoint(x, y)));
    return chosen && chosen->data().isValid() ? chosen->data().toInt() : 0;
}

void menu_destroy(MenuHandle m) {
    auto it = wins.menus.find(m);
    if (it == wins.menus.end()) return;
    if (it->second) it->second->deleteLater();
    wins.menus.erase(it);
}

bool menu_trigger(WinHandle h, int id) {
    WinRec* r = lookup(h);
    if (!r || !r->bar) return false;
    QAction* a = find_action(r->bar, id);
    if (!a) return false;
    a->trigger();
    return true;
}

// ---- Widgets behind handles ----

QWidget* window_widget(WinHandle h) {
    WinRec* r = lookup(h);
    return r ? r->window.data() : nullptr;
}

QWidget* client_widget(WinHandle h) {
    WinRec* r = lookup(h);
    return r ? r->client.data() : nullptr;
}

QWidget* control_widget(WinHandle h, int id) { return control_of(h, id); }

}  // namespace vx::platform
