// Windows and controls of the window system, addressed by handles and numeric identifiers.
//
// A window is a top-level window with a client area; the client area may be larger than the
// window, which then scrolls it. Controls live in the client area and are addressed by the
// identifier given at their creation. Every event of a window and of its controls reaches
// the window's event function, a plain function pointer, before the window system does
// anything with it: for a control only when it was created with CF_EVENTS (keys, focus), and
// always for commands (clicks, list notifications, menu entries), close requests, private
// events, timers and painting. Answering true means "handled": the window system then does
// nothing more with the event. Texts are Windows-1252 byte strings.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/canvas.h"
#include "platform/keys.h"

namespace vx::platform {

using WinHandle = std::uint32_t;   // 0: none
using MenuHandle = std::uint32_t;  // 0: none
inline constexpr WinHandle NO_WINDOW = 0;
inline constexpr int CENTRED = -1;  // a window position: centred on the work area

struct Rect {
    int x = 0, y = 0, w = 0, h = 0;
};

// ---- Events ----
enum class EvKind : std::uint8_t {
    KeyDown,     // key: virtual key; ch: the character typed (Windows-1252 byte, 0 for none)
    KeyUp,
    FocusIn,     // ctl: the control, 0 for the window itself
    FocusOut,
    Command,     // ctl: control or menu entry identifier; code: notification
    Close,       // the close box, Alt+F4 or window_close; unhandled: the window is destroyed
    Destroy,     // the window is going; its controls still answer
    Private,     // code, wparam, lparam as posted
    Timer,       // code: the timer's identifier
    Paint,       // canvas: the client area (valid during the call only)
    Click,       // x, y in the client area
    RightClick,
    MouseMove,   // x, y in the client area; only to windows that track the mouse
};

// Notification codes of commands (as the Windows controls number them).
enum Notify : int {
    NOTIFY_CLICKED = 0,    // button or menu entry
    NOTIFY_SELCHANGE = 1,  // list or combo: the current item changed
    NOTIFY_DBLCLK = 2,     // list or combo: an item was double-clicked
    NOTIFY_SELENDOK = 9,   // combo: an item was chosen from its drop-down list
};

struct Event {
    EvKind kind = EvKind::Command;
    WinHandle win = NO_WINDOW;
    int ctl = 0;
    int key = VK_NONE;
    unsigned mods = 0;  // KeyMods
    int ch = 0;
    int code = 0;
    std::intptr_t wparam = 0, lparam = 0;
    int x = 0, y = 0;
    Canvas* canvas = nullptr;
};

using EventFn = bool (*)(void* user, const Event& e);

// ---- Windows ----
enum class WinStyle : std::uint8_t {
    Captioned,   // caption, system menu, minimise box
    Popup,       // caption and system menu (the caller disables its owner when modal)
    Frameless,   // no caption, no border
    Plain,       // caption only
    Overlapped,  // caption, system menu, sizing border, minimise and maximise boxes; the
                 // client area follows the window's size (no scrolling)
};

struct WinSpec {
    WinStyle style = WinStyle::Captioned;
    std::string_view title;
    std::string_view class_name;  // kept as the window's object name
    int x = CENTRED, y = CENTRED; // top left of the client area on the screen
    int width = 0, height = 0;    // client area shown
    int content_width = 0;        // whole client area; 0: as shown
    int content_height = 0;
    bool scroll_h = false, scroll_v = false;
    WinHandle owner = NO_WINDOW;
    int margin = 0;               // pixels between the client area's edge and its controls
};

// The window is made hidden; show it with window_show. NO_WINDOW when it cannot be made.
WinHandle window_create(const WinSpec& spec, EventFn fn, void* user);
// Delivers Destroy, then removes the window; the handle is dead afterwards.
bool window_destroy(WinHandle w);
bool window_exists(WinHandle w);
bool window_close(WinHandle w);  // as the close box
bool window_show(WinHandle w, bool visible);
bool window_visible(WinHandle w);
bool window_enable(WinHandle w, bool enabled);
bool window_enabled(WinHandle w);
bool window_activate(WinHandle w);  // raised, active, the client area has the focus
bool window_set_title(WinHandle w, std::string_view title);
std::string window_title(WinHandle w);
std::string window_class(WinHandle w);
bool window_set_font(WinHandle w, const FontSpec& font);
bool window_set_background(WinHandle w, Rgb colour);
bool window_repaint(WinHandle w);
Rect window_client(WinHandle w);  // shown part of the client area, in screen coordinates
bool window_scrollbars(WinHandle w, bool* horizontal, bool* vertical);
// Writes what the window shows now into an image file ("PNG" or "BMP").
bool window_save_image(WinHandle w, const char* path, const char* format);
// MouseMove events for every move over the client area, buttons pressed or not.
bool window_track_mouse(WinHandle w, bool on);
// A tooltip with the text near a point of the client area; an empty text hides it.
bool window_tooltip(WinHandle w, int x, int y, std::string_view text);

// The desktop area that windows may use (the primary screen less panels).
Rect work_area();

// A bar along the bottom of the window, below its scrolling client area, in the desktop's
// own font: a hint text on the left and push buttons on the right. A button sends Command
// (code NOTIFY_CLICKED) with its identifier to the window's function; the buttons count as
// controls of the window (kind Button) but are not placed in the client area. A second call
// replaces the bar. False when there is no such window or an identifier is in use.
struct BarButton {
    int id = 0;
    std::string_view text;   // "&" marks the mnemonic
    std::string_view tip;    // tool tip; "" for none
    bool is_default = false;
};
bool window_set_bar(WinHandle w, std::string_view hint, const BarButton* buttons, int count);

// Sizes the window to what it holds: the client area as far as its controls reach plus the
// margin (at least as wide as the bar), the window as large as the client area, its menu bar
// and its bar, limited to the work area with a scroll bar on each axis that had to be cut. A
// window made centred is centred again.
bool window_fit(WinHandle w);

// ---- Events made by the run-time ----
// Posts a private event to the window (to be delivered with ctl as given).
bool post_private(WinHandle w, int ctl, int code, std::intptr_t wparam, std::intptr_t lparam);
// Delivers an event to the window's event function at once; its answer.
bool send_event(WinHandle w, const Event& e);
// A repeating timer of the window; a second start of the same identifier restarts it.
bool timer_start(WinHandle w, int id, int milliseconds);
bool timer_stop(WinHandle w, int id);

// ---- Fonts ----
struct FontInfo {
    int char_width = 0;  // average character width
    int height = 0;      // line height
    std::string face;    // the face used
};
FontInfo font_info(const FontSpec& font);
bool font_face_exists(std::string_view face);

// ---- Controls ----
enum class CtlKind : std::uint8_t {
    None,
    Label,
    Edit,           // single line
    CheckBox,
    Button,
    PictureButton,  // a button showing an image file
    ListBox,
    ComboBox,
    Progress,
    Text,           // multi-line, with scroll bars
};

enum CtlFlags : unsigned {
    CF_RIGHT = 1,       // right-aligned text
    CF_CENTER = 2,
    CF_PASSWORD = 4,    // characters shown masked
    CF_READONLY = 8,
    CF_NOBORDER = 16,
    CF_ONTOP = 32,      // above the controls made before it
    CF_EVENTS = 64,     // keys and focus reach the window's event function first
    CF_DEFAULT = 128,   // the default button
};

struct CtlSpec {
    CtlKind kind = CtlKind::Label;
    int id = 0;           // 1-65535, unique in the window
    Rect at;              // in the client area
    std::string_view text;
    unsigned flags = 0;   // CtlFlags
    int limit = 0;        // edits: most characters (0: no limit of its own)
    std::string_view image;  // picture buttons: the image file
};

bool control_create(WinHandle w, const CtlSpec& spec);
bool control_exists(WinHandle w, int id);
CtlKind control_kind(WinHandle w, int id);
bool control_destroy(WinHandle w, int id);
bool control_set_text(WinHandle w, int id, std::string_view text);
std::string control_text(WinHandle w, int id);
bool control_set_checked(WinHandle w, int id, bool checked);
bool control_checked(WinHandle w, int id);
bool control_focus(WinHandle w, int id);  // false when the control cannot take the focus
int control_focused(WinHandle w);         // identifier of the control with the focus, or 0
bool control_enable(WinHandle w, int id, bool enabled);
bool control_set_limit(WinHandle w, int id, int limit);
bool control_set_image(WinHandle w, int id, std::string_view path);
Rect control_rect(WinHandle w, int id);   // in the client area
unsigned control_flags(WinHandle w, int id);  // CtlFlags it shows now

// Lists and combo boxes: items numbered from 0; -1 is no item.
bool list_add(WinHandle w, int id, std::string_view item);
bool list_clear(WinHandle w, int id);
int list_count(WinHandle w, int id);
int list_current(WinHandle w, int id);
bool list_set_current(WinHandle w, int id, int index);
std::string list_item(WinHandle w, int id, int index);

bool progress_set_range(WinHandle w, int id, int low, int high);
bool progress_set_pos(WinHandle w, int id, int pos);
int progress_pos(WinHandle w, int id);

// ---- Menus ----
// A menu bar (popup false) or a popup menu of entries and submenus. Entries carry command
// identifiers; choosing one sends Command (code NOTIFY_CLICKED) to the window.
MenuHandle menu_create(bool popup);
bool menu_add_entry(MenuHandle m, int id, std::string_view label);
bool menu_add_submenu(MenuHandle m, MenuHandle sub, std::string_view label);  // m takes sub
bool menu_add_separator(MenuHandle m);
bool window_set_menu(WinHandle w, MenuHandle bar);  // the window takes the bar
// Shows a popup menu at a point of the client area and waits for a choice: the entry's
// identifier, or 0. The menu stays the caller's.
int menu_popup(WinHandle w, MenuHandle m, int x, int y);
void menu_destroy(MenuHandle m);
// Chooses an entry of the window's menu bar as the user would (for drivers and tests).
bool menu_trigger(WinHandle w, int id);

}  // namespace vx::platform
