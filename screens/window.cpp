// Window kinds and classes, the window stack and its loop, the cell size of the character
// grid, screen fonts and metrics.
#include "screens/window.h"

#include <algorithm>
#include <cstring>

#include "platform/gui.h"
#include "runtime/arena.h"
#include "runtime/env.h"
#include "runtime/error.h"
#include "screens/state.h"

namespace vx::scr {

using namespace vx::rt;
namespace pf = vx::platform;

namespace {

constexpr const char* DETAIL_STACK_FULL = "Demasiadas ventanas abiertas (32)";
constexpr const char* DETAIL_BAD_KIND = "Tipo de ventana desconocido";
constexpr const char* DETAIL_NO_CLASS = "Ventana sin nombre de clase";
constexpr const char* DEFAULT_FACE = "Lucida Console";
constexpr i16 DEFAULT_FONT_HEIGHT = 24, DEFAULT_FONT_WIDTH = 12, DEFAULT_FONT_WEIGHT = 400;
constexpr u16 FONT_HEIGHT_LESS = 3;  // a font is made this much lower than registered
constexpr u16 CELL_EXTRA_W = 1, CELL_EXTRA_H = 3;
constexpr u16 FONT_WIDTH_DIVISOR = 16;

struct KindStyle {
    pf::WinStyle style;
    bool modal;
};

// By kind number.
constexpr KindStyle KIND_STYLES[WINDOW_KINDS] = {
    {pf::WinStyle::Captioned, false}, {pf::WinStyle::Captioned, false},
    {pf::WinStyle::Captioned, false}, {pf::WinStyle::Popup, true},
    {pf::WinStyle::Popup, true},      {pf::WinStyle::Popup, true},
    {pf::WinStyle::Popup, true},      {pf::WinStyle::Popup, true},
    {pf::WinStyle::Captioned, false}, {pf::WinStyle::Popup, true},
    {pf::WinStyle::Popup, true},      {pf::WinStyle::Plain, false},
};

Screens st;

// The class name: the application's name and the kind's suffix, else the caller's name.
Str class_name_of(u16 kind, Str caller) {
    TmpScope scope;
    Str app = list_item(env_get(ENV_APNAME), ',', 1);
    Str suffix = list_item(str_from_cstr(CLASS_SUFFIXES), ',', u16(kind + 1));
    Str name = str_concat(app.ok() ? app : str_empty(), suffix.ok() ? suffix : str_empty());
    if (!name.ok() || name.n == 0) name = caller.ok() ? caller : str_empty();
    return scope.keep(name);
}

bool class_known(Str name) {
    for (u16 i = 0; i < st.class_count; i++)
        if (str_equal(name, str_from_cstr(st.classes[i].data()))) return true;
    return false;
}

// Registers a class on first use: false when the table is full or the name too long.
bool class_register(Str name) {
    if (class_known(name)) return true;
    if (st.class_count >= CLASSES_MAX || name.n > CLASS_NAME_MAX) return false;
    auto& slot = st.classes[st.class_count++];
    std::memcpy(slot.data(), name.p, name.n);
    slot[name.n] = 0;
    return true;
}

u16 grid_or(u16 given, u16 screen, u16 fallback) {
    u16 v = given ? given : screen ? screen : fallback;
    return std::min(v, GRID_MAX);
}

// Size from the grid (or pixels), limited to the usable area with a scroll bar on each axis
// that had to be cut.
void place(const WindowSpec& w, pf::WinSpec& out) {
    CellSize c = cell_size();
    ScreenRec* s = current_screen();
    u16 cols = grid_or(w.cols, s && !s->win ? s->cols : 0, GRID_COLS);
    u16 rows = grid_or(w.rows, s && !s->win ? s->rows : 0, GRID_ROWS);
    int width = (w.width_px ? w.width_px : cols * c.w) + 2 * w.margin_px;
    int height = (w.height_px ? w.height_px : rows * c.h) + 2 * w.margin_px;
    pf::Rect area = desktop_area(w.parent);
    out.content_width = width;
    out.content_height = height;
    out.scroll_h = area.w > 0 && width > area.w;
    out.scroll_v = area.h > 0 && height > area.h;
    out.width = out.scroll_h ? area.w : width;
    out.height = out.scroll_v ? area.h : height;
    out.x = w.col == NO_POS ? pf::CENTRED : area.x + std::min<int>(w.col, GRID_MAX) * c.w;
    out.y = w.row == NO_POS ? pf::CENTRED : area.y + std::min<int>(w.row, GRID_MAX) * c.h;
}

u16 refuse(u16 code, const char* detail) {
    return fail_with_detail(code, str_from_cstr(detail), false);
}

void push_window(const WindowSpec& w, WinId id, bool modal) {
    WinEntry& e = st.stack[st.depth++];
    e = WinEntry{id, w.kind, modal, w.has_default_action, w.proc, w.data};
    for (u16 i = st.screen_count; i > 0; i--) {
        ScreenRec& s = st.screens[i - 1];
        if (!s.win) {
            s.win = id;
            break;
        }
    }
}

// The innermost loop is the one that runs: it ends when its window left the top.
bool loop_done(void* data) {
    WinId w = WinId(reinterpret_cast<std::uintptr_t>(data));
    return window_top() != w;
}

}  // namespace

Screens& state() { return st; }

WinEntry* entry_of(WinId w) {
    for (u16 i = 0; i < st.depth; i++)
        if (st.stack[i].id == w) return &st.stack[i];
    return nullptr;
}

// ---- Window stack ----

u16 window_create(const WindowSpec& w, WinId* out) {
    if (out) *out = 0;
    if (w.kind >= WINDOW_KINDS) return refuse(E_DATA, DETAIL_BAD_KIND);
    if (st.depth >= STACK_MAX) return refuse(E_DATA, DETAIL_STACK_FULL);
    TmpScope scope;
    Str cls = class_name_of(w.kind, w.class_name);
    if (!cls.ok() || cls.n == 0) return refuse(E_DATA, DETAIL_NO_CLASS);
    if (!class_register(cls)) return CLASS_FAILED;
    const KindStyle& ks = KIND_STYLES[w.kind];
    pf::WinSpec spec;
    spec.style = w.frameless ? pf::WinStyle::Frameless : ks.style;
    spec.title = std::string_view(w.title.ok() ? w.title.p : "", w.title.ok() ? w.title.n : 0);
    spec.class_name = std::string_view(cls.p, cls.n);
    spec.owner = window_top();
    spec.margin = w.margin_px;
    place(w, spec);
    WinId below = window_top();
    if (ks.modal && below) pf::window_enable(below, false);
    WinId id = pf::window_create(spec, on_event, nullptr);
    if (!id) {
        if (ks.modal && below) pf::window_enable(below, true);
        return error_raise(M_SCREENS, E_WINCONTROL);
    }
    pf::window_set_font(id, font_current());
    push_window(w, id, ks.modal);
    pf::window_show(id, true);
    pf::window_activate(id);
    if (out) *out = id;
    return 0;
}

// Called when the window system destroys a window: off the stack, the new top enabled and
// focused, the loops told.
void window_popped(WinId w) {
    u16 at = 0;
    while (at < st.depth && st.stack[at].id != w) at++;
    if (at == st.depth) return;
    std::copy(st.stack.begin() + at + 1, st.stack.begin() + st.depth, st.stack.begin() + at);
    st.stack[--st.depth] = WinEntry{};
    for (u16 i = 0; i < st.screen_count; i++)
        if (st.screens[i].win == w) st.screens[i].win = 0;
    if (WinId top = window_top()) {
        pf::window_enable(top, true);
        pf::window_activate(top);
    }
    pf::gui_loop_wake();
}

u16 window_destroy_id(WinId w) {
    if (!entry_of(w)) return E_DATA;
    pf::window_destroy(w);  // its Destroy event pops it
    window_popped(w);       // in case the window system had lost it already
    return 0;
}

u16 window_destroy() {
    WinId top = window_top();
    return top ? window_destroy_id(top) : u16(E_DATA);
}

u16 window_close_top() {
    WinId top = window_top();
    if (!top) return E_DATA;
    pf::window_close(top);
    return 0;
}

WinId window_top() { return st.depth ? st.stack[st.depth - 1].id : 0; }
u16 window_count() { return st.depth; }
WinId window_at(u16 index) { return index < st.depth ? st.stack[index].id : 0; }
bool window_on_stack(WinId w) { return entry_of(w) != nullptr; }

u16 window_kind(WinId w) {
    WinEntry* e = entry_of(w);
    return e ? e->kind : WINDOW_KINDS;
}

bool window_is_modal(WinId w) {
    WinEntry* e = entry_of(w);
    return e && e->modal;
}

bool unattended() { return cmd_batch() || !pf::gui_interactive(); }

void pump() { pf::gui_pump(); }

u16 run_loop(WinId w) {
    if (window_top() != w) {
        pump();
        return 0;
    }
    if (unattended()) {
        pump();
        return window_top() == w ? E_CANCELLED : 0;
    }
    pf::gui_loop(loop_done, reinterpret_cast<void*>(std::uintptr_t(w)));
    return 0;
}

// ---- Grid and fonts ----

u16 font_register(i16 height, i16 width, i16 weight, Str face) {
    if (st.font_count >= FONTS_MAX) return E_DATAOUTBOUND;
    FontRec& f = st.fonts[st.font_count++];
    f = FontRec{height, width, weight, {}};
    u16 n = face.ok() ? std::min<u16>(face.n, FACE_MAX) : 0;
    if (n) std::memcpy(f.face, face.p, n);
    st.cell = CellSize{};  // measured again for the new current font
    return 0;
}

u16 font_count() { return st.font_count; }

pf::FontSpec font_current() {
    FontRec f{DEFAULT_FONT_HEIGHT, DEFAULT_FONT_WIDTH, DEFAULT_FONT_WEIGHT, {}};
    if (st.font_count) f = st.fonts[st.font_count - 1];
    else std::memcpy(f.face, DEFAULT_FACE, std::strlen(DEFAULT_FACE));
    pf::FontSpec spec;
    spec.height = std::max(1, f.height - FONT_HEIGHT_LESS);
    if (f.width > 0)
        spec.width = std::max<int>(1, f.width - std::max<i64>(1, div_round(f.width, FONT_WIDTH_DIVISOR)));
    spec.weight = f.weight > 0 ? f.weight : DEFAULT_FONT_WEIGHT;
    spec.face = f.face;
    return spec;
}

CellSize cell_size() {
    if (!st.cell.w) {
        pf::FontInfo fi = pf::font_info(font_current());
        st.cell = CellSize{u16(std::max(1, fi.char_width) + CELL_EXTRA_W),
                           u16(std::max(1, fi.height) + CELL_EXTRA_H)};
    }
    return st.cell;
}

u16 grid_to_x(u16 col) { return u16(std::min<u32>(u32(col) * cell_size().w, 0xFFFF)); }
u16 grid_to_y(u16 row) { return u16(std::min<u32>(u32(row) * cell_size().h, 0xFFFF)); }

void metrics_set(const Metrics& m) {
    st.metrics = m;
    st.metrics.grid_w = std::min(m.grid_w, GRID_MAX);
    st.metrics.grid_h = std::min(m.grid_h, GRID_MAX);
}

Metrics metrics_get() { return st.metrics; }

void screen_size_set(u16 width, u16 height) {
    st.screen_w = width;
    st.screen_h = height;
}

pf::Rect desktop_area(WinId parent) {
    if (parent && pf::window_exists(parent)) return pf::window_client(parent);
    if (st.screen_w && st.screen_h) return pf::Rect{0, 0, st.screen_w, st.screen_h};
    return pf::work_area();
}

}  // namespace vx::scr
