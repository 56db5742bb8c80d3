// The window layer's process-wide state in one record: the window stack, the screens, the
// fonts and metrics, the key state of the control procedures and the registered classes.
// Reset at shutdown (screens_reset) to the defaults that start-up registers.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "screens/screen.h"

namespace vx::scr {

inline constexpr u16 CAPTURE_MAX = 255;  // characters of one capture

struct WinEntry {
    WinId id = 0;
    u16 kind = 0;
    bool modal = false;
    bool has_default_action = false;
    WinProc proc = nullptr;
    void* data = nullptr;
};

struct ScreenRec {
    WinId win = 0;
    ActionHandler handler = nullptr;
    i32 value = 0;
    void* data = nullptr;
    bool locked = false;
    FieldTaker taker = nullptr;
    void* taker_data = nullptr;
    u16 current_field = 0;
    u16 first = 0, last = 0;   // fields whose controls exist (none when first is 0)
    u16 cols = 0, rows = 0;    // 0: 80 x 25
    u16 accept_windows = 0;    // accept forms running on this screen
    std::vector<ScreenField> fields;
    std::array<std::string, SCREEN_ATTRS> attrs{};   // attribute n is attrs[n - 1]
};

struct FontRec {
    i16 height = 0, width = 0, weight = 0;
    char face[FACE_MAX + 1] = {};
};

struct KeyState {
    bool shift = false;
    bool ctrl = false;
    bool capturing = false;
    u16 len = 0;
    char buf[CAPTURE_MAX] = {};
};

struct Screens {
    std::array<WinEntry, STACK_MAX> stack{};
    u16 depth = 0;
    std::array<ScreenRec, SCREENS_MAX> screens{};
    u16 screen_count = 0;
    std::array<FontRec, FONTS_MAX> fonts{};
    u16 font_count = 0;
    CellSize cell{};           // measured for the current font; 0 until then
    Metrics metrics{};
    u16 screen_w = 0, screen_h = 0;
    KeyState keys{};
    std::array<std::array<char, CLASS_NAME_MAX + 1>, CLASSES_MAX> classes{};
    u16 class_count = 0;
};

Screens& state();
WinEntry* entry_of(WinId w);
ScreenRec* current_screen();   // null when no screen is open

// Takes a destroyed window off the stack; enables and focuses the new top.
void window_popped(WinId w);

// The platform's event function of every run-time window.
bool on_event(void* user, const platform::Event& e);
// Control procedures (procs.cpp); true: handled.
bool control_event(const platform::Event& e);

}  // namespace vx::scr
