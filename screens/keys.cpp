// Key table, key classes and key maps as data.
#include "screens/keys.h"

#include "platform/keys.h"
#include "runtime/sysvars.h"

namespace vx::scr {

namespace {

using namespace vx::platform;

struct KeyEntry {
    int vk;
    u16 number;
};

// Keys with a number of their own; every other key is KEY_OTHER.
constexpr KeyEntry KEY_TABLE[] = {
    {VK_RETURN, KEY_ENTER}, {VK_TAB, KEY_TAB},      {VK_ESCAPE, KEY_ESC},
    {VK_F1, 11},            {VK_F1 + 1, 12},        {VK_F1 + 2, 13},
    {VK_F1 + 3, 14},        {VK_F1 + 4, 15},        {VK_F1 + 5, 16},
    {VK_F1 + 6, 17},        {VK_F1 + 7, 18},        {VK_F1 + 8, 19},
    {VK_F1 + 9, 20},        {VK_F1 + 10, 21},       {VK_UP, KEY_UP},
    {VK_PRIOR, KEY_PGUP},   {VK_DOWN, KEY_DOWN},    {VK_NEXT, KEY_PGDN},
    {VK_OEM_239, KEY_239},
};

// Keys that take their number from a modifier held with them; looked at first.
struct Chord {
    int vk;
    bool shift, ctrl;
    u16 number;
};

constexpr Chord CHORDS[] = {
    {VK_TAB, true, false, KEY_BACKTAB},
    {VK_END, false, true, KEY_CTRL_END},
};

struct ClassEntry {
    u16 key;
    u16 cls;
};

constexpr ClassEntry CLASSES[] = {
    {KEY_ENTER, KC_CONFIRM},           {KEY_TAB, KC_CONFIRM},
    {KEY_ESC, KC_CANCEL},              {KEY_BACKTAB, KC_BACK},
    {KEY_UP, KC_LINE | KC_BACK},       {KEY_PGUP, KC_PAGE | KC_BACK},
    {KEY_DOWN, KC_LINE | KC_CONFIRM},  {KEY_PGDN, KC_PAGE | KC_CONFIRM},
    {KEY_CTRL_END, KC_END},
};

constexpr u16 B(u16 button) { return button_action(button, ACT_BUTTON); }

// Maps 0 and 1, by key number; maps 2 and 3 are all 0.
constexpr u16 KEYMAPS[KEYMAP_DEFINED][KEY_NUMBERS] = {
    {
        1, 0, 0, 21, 0, 0, 0, 0, 2, 1,          // Enter, Esc, Shift+Tab, Tab
        0, 19, 20, B(13), B(12), B(17), B(7),   // F1-F6
        B(14), B(10), B(9), B(16), B(16),       // F7-F11
        32, B(3), 0, 0, 0, 0, 31, B(5),         // Up, Page Up, Down, Page Down
        0, 0, 22,                               // Ctrl+End
    },
    {
        1, 0, 0, 21, 0, 0, 0, 0, 2, 1,
        0, 19, 20, B(15), 0, B(17), B(7),
        B(14), B(10), B(9), B(16), B(15),
        32, B(3), 0, 0, 0, 0, 31, B(5),
        0, 0, 22,
    },
};

}  // namespace

u16 key_number(int vk, bool shift, bool ctrl) {
    for (const Chord& c : CHORDS)
        if (c.vk == vk && (!c.shift || shift) && (!c.ctrl || ctrl)) return c.number;
    for (const KeyEntry& k : KEY_TABLE)
        if (k.vk == vk) return k.number;
    return KEY_OTHER;
}

u16 key_class(u16 key) {
    if (key >= KEY_F1 && key <= KEY_F11) return KC_FKEY;
    for (const ClassEntry& c : CLASSES)
        if (c.key == key) return c.cls;
    return 0;
}

bool key_confirms(u16 key) { return (key_class(key) & (KC_CONFIRM | KC_END)) != 0; }

u16 key_action(u16 key, i16 map) {
    if (map < 0 || key >= KEY_NUMBERS) return ACT_NONE;
    u32 index = u32(key) + u32(KEY_NUMBERS) * u32(map);
    if (index >= KEYMAP_ENTRIES) return ACT_NONE;
    u32 m = index / KEY_NUMBERS;
    return m < KEYMAP_DEFINED ? KEYMAPS[m][index % KEY_NUMBERS] : u16(ACT_NONE);
}

u16 key_action_now(u16 key) { return key_action(key, rt::sysint_get(rt::SV_KEYMAP)); }

}  // namespace vx::scr
