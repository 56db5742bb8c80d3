// The run-time's windows: window kinds with their class names and styles, the stack of open
// windows and its message loop, the character grid and its cell size, screen fonts and screen
// metrics.
//
// Every run-time window lives on the window stack (at most 32); the top entry is the current
// window. Creating a window pushes it, and a modal kind disables the window below; destroying
// one pops it, enables and focuses the new top, and when the last is gone every loop ends.
// Windows are laid out in character cells as wide as the screen font's average character
// plus 1 pixel and as high as its line plus 3.
#pragma once

#include "platform/window.h"
#include "runtime/str.h"

namespace vx::scr {

using rt::i16;
using rt::i32;
using rt::Str;
using rt::u16;
using rt::u32;
using rt::u8;
using WinId = platform::WinHandle;

enum WindowKind : u16 {
    KIND_PLAIN = 0,
    KIND_LNMANT = 1,
    KIND_MANT = 2,
    KIND_MANTDLG = 3,
    KIND_GRID = 4,
    KIND_DIALOG = 5,   // accept forms
    KIND_DEVSEL = 6,
    KIND_PROGRESS = 7,
    KIND_BARE = 11,    // no style bits
};
inline constexpr u16 WINDOW_KINDS = 12;
inline constexpr const char* CLASS_SUFFIXES = ",LnMant,Mant,MantDlg,Grid,Dialogx,DevSel,Progress";
inline constexpr u16 STACK_MAX = 32;
inline constexpr u16 CLASSES_MAX = 32;     // window classes registered at once
inline constexpr u16 CLASS_NAME_MAX = 63;
inline constexpr u16 GRID_COLS = 80;       // a window's grid unless its screen sets one
inline constexpr u16 GRID_ROWS = 25;
inline constexpr u16 GRID_MAX = 255;       // rows or columns of any grid
inline constexpr u16 NO_POS = 0xFFFF;      // a grid position: centred
inline constexpr u16 CLASS_FAILED = 0xFFFF;  // creation result when the class cannot be kept

// A window procedure sees every event of its window before the frame rules do; answering
// true means handled. It may call frame_event for the frame's own rules.
using WinProc = bool (*)(const platform::Event& e, void* data);

struct WindowSpec {
    u16 kind = KIND_PLAIN;
    Str title{"", 0};
    Str class_name{"", 0};  // used when the application gives no name
    u16 row = NO_POS, col = NO_POS;   // on the usable area's grid
    u16 rows = 0, cols = 0;           // 0: the current screen's grid, else 80 x 25
    u16 width_px = 0, height_px = 0;  // a size in pixels instead of a grid
    WinId parent = 0;                 // its client area is the usable area
    WinProc proc = nullptr;
    void* data = nullptr;
    bool frameless = false;
    bool has_default_action = false;  // focus performs action 95 instead of 91
    u16 margin_px = 0;                // around the grid, inside the client area
};

// 0 and the window in *out; 163 for a kind of 12 or more, an empty class name or a full
// stack (detail text names the limit); CLASS_FAILED when the class cannot be registered;
// 179 when the window system cannot make the window.
u16 window_create(const WindowSpec& spec, WinId* out);
u16 window_destroy();                 // the top window; 163 when there is none
u16 window_destroy_id(WinId w);
u16 window_close_top();               // as Esc or the close box: the window may refuse
WinId window_top();
u16 window_count();
WinId window_at(u16 index);           // 0 is the bottom of the stack
bool window_on_stack(WinId w);
u16 window_kind(WinId w);
bool window_is_modal(WinId w);

// Runs the message loop until w is no longer the top of the stack, then drains what is
// pending. When nobody can answer a window (unattended()), it only handles the pending
// events: 122 when w is still on top afterwards, else 0.
u16 run_loop(WinId w);
void pump();  // handles pending events (long operations call it)

// With BATCH, or when no person can answer a window, nothing waits: windows are still made
// but no loop blocks.
bool unattended();

// The frame window's rules for an event (the default when a window procedure declines).
bool frame_event(const platform::Event& e);

// ---- Grid, fonts, metrics ----
struct CellSize {
    u16 w = 0, h = 0;
};
CellSize cell_size();
u16 grid_to_x(u16 col);
u16 grid_to_y(u16 row);

inline constexpr u16 FONTS_MAX = 6;
inline constexpr u16 FACE_MAX = 31;
// 0, or 168 when 6 fonts are registered already (the registration is ignored). The font
// registered last is the current screen font.
u16 font_register(i16 height, i16 width, i16 weight, Str face);
u16 font_count();
// The current font as the window system makes it: height - 3, width - max(1, width / 16
// rounded), the weight and face; a face that does not exist becomes a monospaced one.
platform::FontSpec font_current();

struct Metrics {
    u16 grid_w = 70, grid_h = 12;
    u16 margins[4] = {0, 0, 0, 0};
};
void metrics_set(const Metrics& m);
Metrics metrics_get();

// The usable desktop area: the parent's client area, the size set here, or the work area.
void screen_size_set(u16 width, u16 height);  // 0, 0: the work area again
platform::Rect desktop_area(WinId parent);

}  // namespace vx::scr
