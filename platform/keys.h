// Key codes of the window system as the run-time sees them: the Windows virtual-key numbers,
// whatever the platform below calls its keys, and the modifier bits of a key event.
#pragma once

namespace vx::platform {

enum VirtualKey : int {
    VK_NONE = 0,
    VK_BACK = 0x08,
    VK_TAB = 0x09,
    VK_RETURN = 0x0D,
    VK_SHIFT = 0x10,
    VK_CONTROL = 0x11,
    VK_MENU = 0x12,  // Alt
    VK_PAUSE = 0x13,
    VK_ESCAPE = 0x1B,
    VK_SPACE = 0x20,
    VK_PRIOR = 0x21,  // Page Up
    VK_NEXT = 0x22,   // Page Down
    VK_END = 0x23,
    VK_HOME = 0x24,
    VK_LEFT = 0x25,
    VK_UP = 0x26,
    VK_RIGHT = 0x27,
    VK_DOWN = 0x28,
    VK_INSERT = 0x2D,
    VK_DELETE = 0x2E,
    VK_0 = 0x30,  // to VK_0 + 9
    VK_A = 0x41,  // to VK_A + 25
    VK_APPS = 0x5D,  // the context-menu key
    VK_F1 = 0x70, // to VK_F1 + 23 (F24)
    VK_F24 = 0x87,
    VK_OEM_239 = 0xEF,  // no key of a PC keyboard gives it; scanners may
};

enum KeyMods : unsigned { MOD_SHIFT = 1, MOD_CTRL = 2, MOD_ALT = 4 };

}  // namespace vx::platform
