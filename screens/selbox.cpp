// The selection box: items, the size of the list or the button grid, the window and its
// controls, the keys and clicks that choose, and the answer read from the INPUT file.
#include "screens/selbox.h"

#include <algorithm>
#include <string_view>

#include "platform/frame_keys.h"
#include "platform/window.h"
#include "runtime/arena.h"
#include "runtime/error.h"
#include "runtime/files.h"
#include "runtime/msgbox.h"
#include "runtime/sysvars.h"
#include "screens/controls.h"
#include "screens/dialogs.h"
#include "screens/keys.h"
#include "screens/state.h"

namespace vx::scr {

using namespace vx::rt;
namespace pf = vx::platform;
using pf::EvKind;

namespace {

constexpr u16 SEL_KIND = 9;  // pop-up with caption and system menu, modal, no class suffix
constexpr const char* CLASS_NAME = "SelBox";
constexpr int LIST_FRAME_PX = 4;     // the list box's border, above and below
constexpr int LIST_ROWS_FOR_FRAME = 2;  // lines of the screen left to the caption and frame
constexpr u16 NUMBER_DIGITS_MAX = 5;  // an answer of more digits is no item number
constexpr const char* DIGITS = "0123456789";

struct Items {
    StrArray all;
    u16 count = 0;
    u16 longest = 0;
};

struct Layout {
    bool list = true;
    int width = 0, height = 0;
    u16 rows = 0;  // of the button grid
    int button_w = 0, button_h = 0, gap_x = 0, gap_y = 0;
};

struct SelBox {
    WinId win = 0;
    bool list = false;
    bool ours = false;        // the window was made for the box
    u16 count = 0;
    u16 pressed = 0;          // the button shown pressed, 0 for none
    u16 choice = 0;
    u16 start = 1;               // the list line the cursor starts on
    WinProc old_proc = nullptr;  // of a window lent by the caller
    void* old_data = nullptr;
};

std::string_view view(Str s) { return std::string_view(s.p, s.n); }

bool has_text(Str s) { return s.ok() && str_trim(s, TRIM_BOTH).n; }

// The items, trimmed; none when the list is blank.
Items items_of(Str list) {
    Items it;
    if (!has_text(list)) return it;
    it.all = list_split(list, ',');
    if (it.all.error) return Items{};
    it.count = std::min(it.all.count, SEL_ITEMS_MAX);
    for (u16 i = 0; i < it.count; i++) {
        it.all.items[i] = str_trim(it.all.items[i], TRIM_BOTH);
        it.longest = std::max(it.longest, it.all.items[i].n);
    }
    return it;
}

u16 cells(u32 n) { return u16(std::min<u32>(n, GRID_MAX)); }

// As many lines as items (no more than the screen grid's rows), as wide as the longest item
// and 5 more, the title, and 15 columns.
Layout list_layout(const Items& it, Str title) {
    CellSize c = cell_size();
    int line = std::max(1, c.h - SEL_LINE_LESS);
    pf::Rect area = desktop_area(0);
    int rows_fit = area.h > 0 ? std::max(1, area.h / line - LIST_ROWS_FOR_FRAME) : GRID_ROWS;
    Layout l;
    l.list = true;
    int rows = std::min<int>({it.count, GRID_ROWS, rows_fit});
    u16 cols = std::max({cells(u32(it.longest) + SEL_EXTRA_COLS), cells(title.n), SEL_MIN_COLS});
    l.width = cols * c.w;
    l.height = rows * line + LIST_FRAME_PX;
    return l;
}

// One column of buttons as wide as the longest item and 5 more; while three button heights
// per row do not fit the screen, half the rows (and so twice the columns). A list instead
// when the buttons cannot all be shown.
Layout button_layout(const Items& it) {
    CellSize c = cell_size();
    pf::Rect area = desktop_area(0);
    Layout l;
    l.list = false;
    l.button_w = cells(u32(it.longest) + SEL_EXTRA_COLS) * c.w;
    l.button_h = c.h;
    l.gap_x = c.w;
    l.gap_y = c.h / 2;
    u32 rows = it.count;
    while (rows > 1 && area.h > 0 && rows * SEL_BUTTON_SLOTS * u32(l.button_h) > u32(area.h))
        rows = (rows + 1) / 2;
    u32 cols = (it.count + rows - 1) / rows;
    l.rows = u16(rows);
    l.width = l.gap_x + int(cols) * (l.button_w + l.gap_x);
    l.height = l.gap_y + int(rows) * (l.button_h + l.gap_y);
    if (it.count > SEL_BUTTONS_MAX || (area.w > 0 && l.width > area.w)) l.list = true;
    return l;
}

// Items go down the first column, then down the next.
pf::Rect button_rect(const Layout& l, u16 k) {
    int col = (k - 1) / l.rows, row = (k - 1) % l.rows;
    return pf::Rect{l.gap_x + col * (l.button_w + l.gap_x), l.gap_y + row * (l.button_h + l.gap_y),
                    l.button_w, l.button_h};
}

// ---- Choosing ----

u16 list_choice(const SelBox& b) {
    int row = pf::list_current(b.win, SEL_LIST_ID);
    return row >= 0 && row < b.count ? u16(row + 1) : 0;
}

bool is_our_button(const SelBox& b, int id) {
    return id > SEL_BUTTON_BASE && id <= SEL_BUTTON_BASE + b.count;
}

// The pressed button: the one with the focus when it is ours, else the one last pressed.
u16 pressed_button(const SelBox& b) {
    int focused = pf::control_focused(b.win);
    return is_our_button(b, focused) ? u16(focused - SEL_BUTTON_BASE) : b.pressed;
}

// Writes the choice into _STAT; a choice (or a cancel) closes the window.
void choose(SelBox& b, u16 n, bool cancel) {
    b.choice = n;
    sysint_set(SV_STAT, i16(n));
    if ((n || cancel) && window_on_stack(b.win)) window_destroy_id(b.win);
}

void press(SelBox& b, u16 k) {
    b.pressed = k;
    pf::control_focus(b.win, SEL_BUTTON_BASE + k);
}

// Up and Down move the pressed button and wrap; with none pressed, Up presses the first
// and Down the last.
void move_pressed(SelBox& b, bool up) {
    if (!b.count) return;
    u16 at = pressed_button(b);
    if (!at) return press(b, up ? 1 : b.count);
    if (up) return press(b, at == 1 ? b.count : u16(at - 1));
    press(b, at == b.count ? 1 : u16(at + 1));
}

void enter(SelBox& b) { choose(b, b.list ? list_choice(b) : pressed_button(b), false); }

bool on_key(SelBox& b, const pf::Event& e) {
    u16 key = key_number(e.key, e.mods & pf::MOD_SHIFT, e.mods & pf::MOD_CTRL);
    switch (key) {
    case KEY_ENTER:
        enter(b);
        return true;
    case KEY_ESC:
        choose(b, 0, true);
        return true;
    case KEY_UP:
    case KEY_DOWN:
        if (b.list) return false;  // the list moves its own cursor
        move_pressed(b, key == KEY_UP);
        return true;
    default:
        return false;
    }
}

bool on_command(SelBox& b, const pf::Event& e) {
    if (e.ctl == CMD_ENTER) {
        enter(b);
        return true;
    }
    if (b.list && e.ctl == SEL_LIST_ID && e.code == pf::NOTIFY_DBLCLK) {
        choose(b, list_choice(b), false);
        return true;
    }
    if (!b.list && e.code == pf::NOTIFY_CLICKED && is_our_button(b, e.ctl)) {
        choose(b, u16(e.ctl - SEL_BUTTON_BASE), false);
        return true;
    }
    return false;
}

// The box's window procedure. The box belongs to no screen: focus changes perform no screen
// action. The close box cancels.
bool selbox_proc(const pf::Event& e, void* data) {
    SelBox& b = *static_cast<SelBox*>(data);
    switch (e.kind) {
    case EvKind::KeyDown:
        return on_key(b, e);
    case EvKind::Command:
        return on_command(b, e);
    case EvKind::Close:
        choose(b, 0, true);
        return true;
    case EvKind::FocusIn:
        return e.ctl == 0;
    default:
        return false;
    }
}

// ---- The window ----

// The grid cell under the control that has the focus in the current window.
void place_at_focus(WindowSpec& spec) {
    WinId top = window_top();
    int id = top ? pf::control_focused(top) : 0;
    if (!id) return;
    pf::Rect r = pf::control_rect(top, id), client = pf::window_client(top);
    pf::Rect area = desktop_area(0);
    CellSize c = cell_size();
    int x = client.x + r.x - area.x, y = client.y + r.y + r.h - area.y;
    spec.col = u16(std::clamp(x / std::max<int>(1, c.w), 0, int(GRID_MAX)));
    spec.row = u16(std::clamp(y / std::max<int>(1, c.h), 0, int(GRID_MAX)));
}

bool make_list(SelBox& b, const Items& it, const Layout& l) {
    pf::CtlSpec s;
    s.kind = pf::CtlKind::ListBox;
    s.id = SEL_LIST_ID;
    s.at = pf::Rect{0, 0, l.width, l.height};
    s.flags = pf::CF_EVENTS;
    if (!pf::control_create(b.win, s)) return false;
    for (u16 i = 0; i < it.count; i++) pf::list_add(b.win, SEL_LIST_ID, view(it.all.items[i]));
    pf::list_set_current(b.win, SEL_LIST_ID, b.start >= 1 && b.start <= it.count ? b.start - 1 : 0);
    pf::control_focus(b.win, SEL_LIST_ID);
    return true;
}

// Buttons take no keys of their own: Enter, Esc, Up and Down reach the window.
bool make_buttons(SelBox& b, const Items& it, const Layout& l) {
    for (u16 k = 1; k <= it.count; k++) {
        pf::CtlSpec s;
        s.kind = pf::CtlKind::Button;
        s.id = SEL_BUTTON_BASE + k;
        s.at = button_rect(l, k);
        s.text = view(it.all.items[k - 1]);
        if (!pf::control_create(b.win, s)) return false;
    }
    pf::window_route_arrows(b.win, true);
    return true;
}

u16 open_window(SelBox& b, Str title, const Items& it, u16 flags) {
    Layout l = (flags & SEL_LIST) ? list_layout(it, title) : button_layout(it);
    if (l.list && !(flags & SEL_LIST)) l = list_layout(it, title);
    WindowSpec spec;
    spec.kind = SEL_KIND;
    spec.title = title;
    spec.class_name = str_from_cstr(CLASS_NAME);
    spec.width_px = u16(std::clamp(l.width, 1, 0xFFFF));
    spec.height_px = u16(std::clamp(l.height, 1, 0xFFFF));
    spec.proc = selbox_proc;
    spec.data = &b;
    if (flags & SEL_AT_FOCUS) place_at_focus(spec);
    if (u16 rc = window_create(spec, &b.win)) return rc;
    b.ours = true;
    b.list = l.list;
    b.count = it.count;
    bool made = b.list ? make_list(b, it, l) : make_buttons(b, it, l);
    if (made) return 0;
    window_destroy_id(b.win);
    return error_raise(M_SCREENS, E_WINCONTROL);
}

// Buttons 1500 on that exist in w, up to the number of items.
u16 buttons_in(WinId w, u16 items) {
    u16 n = 0;
    while (n < items && pf::control_kind(w, SEL_BUTTON_BASE + n + 1) == pf::CtlKind::Button) n++;
    return n;
}

// Without SEL_WINDOW the current window lends its list box or buttons and, for the time of
// the box, its procedure. False when it has none of them.
bool adopt_current(SelBox& b, const Items& it, u16 flags) {
    WinId top = window_top();
    WinEntry* e = top ? entry_of(top) : nullptr;
    if (!e) return false;
    b.list = (flags & SEL_LIST) != 0;
    b.count = b.list ? u16(std::min<int>(pf::list_count(top, SEL_LIST_ID), it.count))
                     : buttons_in(top, it.count);
    if (!b.count) return false;
    b.win = top;
    b.old_proc = e->proc;
    b.old_data = e->data;
    e->proc = selbox_proc;
    e->data = &b;
    if (!b.list) pf::window_route_arrows(top, true);
    return true;
}

void give_back(SelBox& b) {
    if (!window_on_stack(b.win)) return;
    if (b.ours) {
        window_destroy_id(b.win);
        return;
    }
    WinEntry* e = entry_of(b.win);
    e->proc = b.old_proc;
    e->data = b.old_data;
    if (!b.list) pf::window_route_arrows(b.win, false);
}

// ---- Unattended ----

// A line of digits within the list is an item number; otherwise the item with that text
// (exactly, then without regard to case).
u16 item_of_answer(Str line, const Items& it) {
    if (!line.n || str_equal(line, str_from_cstr(ANSWER_ESC))) return 0;
    if (line.n <= NUMBER_DIGITS_MAX && str_all_in_set(line, str_from_cstr(DIGITS))) {
        i64 n = text_to_int64(line);
        if (n >= 1 && n <= it.count) return u16(n);
    }
    for (u16 i = 0; i < it.count; i++)
        if (str_equal(it.all.items[i], line)) return u16(i + 1);
    for (u16 i = 0; i < it.count; i++)
        if (str_equal_nocase(it.all.items[i], line)) return u16(i + 1);
    return 0;
}

u16 answer_from_input(Str title, const Items& it) {
    Str line = str_trim(input_next_line(), TRIM_BOTH);
    if (!line.ok()) line = str_empty();
    msg_box(line, title, BOX_INFO);  // unattended, a box is only written out
    return item_of_answer(line, it);
}

}  // namespace

u16 select_box(Str title, Str items, u16 flags, u16 start) {
    TmpScope scope;
    Items it = items_of(items);
    if (!has_text(title) || !it.count) return SEL_NONE;
    sysint_set(SV_STAT, 0);
    if (unattended()) {
        u16 n = answer_from_input(title, it);
        sysint_set(SV_STAT, i16(n));
        return n;
    }
    SelBox b;
    b.start = start;
    bool lent = !(flags & SEL_WINDOW) && adopt_current(b, it, flags);
    if (!lent && open_window(b, title, it, flags)) return 0;
    run_loop(b.win);
    give_back(b);
    return b.choice;
}

}  // namespace vx::scr
