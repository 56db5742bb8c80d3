// Key numbers, key classes and key maps.
#include <gtest/gtest.h>

#include "platform/keys.h"
#include "runtime/sysvars.h"
#include "screens/keys.h"

using namespace vx::scr;
using namespace vx::platform;

TEST(KeyNumbers, FromVirtualKeysAndChords) {
    struct Case {
        int vk;
        bool shift, ctrl;
        u16 number;
    } cases[] = {
        {VK_RETURN, false, false, 0},  {VK_TAB, false, false, 9},   {VK_TAB, true, false, 8},
        {VK_TAB, true, true, 8},       {VK_ESCAPE, false, false, 3}, {VK_F1, false, false, 11},
        {VK_F1 + 10, false, false, 21}, {VK_F1 + 11, false, false, 4},  // F12 has no number
        {VK_UP, false, false, 22},     {VK_PRIOR, false, false, 23}, {VK_DOWN, false, false, 28},
        {VK_NEXT, false, false, 29},   {VK_END, false, true, 32},    {VK_END, false, false, 4},
        {VK_END, true, false, 4},      {VK_OEM_239, false, false, 6}, {VK_LEFT, false, false, 4},
        {VK_RIGHT, false, false, 4},   {VK_A, false, false, 4},       {VK_F1, true, true, 11},
    };
    for (const Case& c : cases)
        EXPECT_EQ(key_number(c.vk, c.shift, c.ctrl), c.number) << c.vk << " " << c.shift << c.ctrl;
}

TEST(KeyNumbers, ClassesAndConfirmation) {
    struct Case {
        u16 key, cls;
        bool confirms;
    } cases[] = {
        {0, 2, true},    {9, 2, true},   {3, 32, false}, {8, 4, false},  {22, 12, false},
        {23, 20, false}, {28, 10, true}, {29, 18, true}, {32, 64, true}, {11, 1, false},
        {21, 1, false},  {4, 0, false},  {6, 0, false},  {31, 0, false}, {200, 0, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(key_class(c.key), c.cls) << c.key;
        EXPECT_EQ(key_confirms(c.key), c.confirms) << c.key;
    }
}

TEST(KeyMaps, ActionsOfBothMaps) {
    constexpr u16 B = ACT_BUTTON;
    struct Case {
        u16 key, map0, map1;
    } cases[] = {
        {0, 1, 1},          {3, 21, 21},        {8, 2, 2},          {9, 1, 1},
        {11, 19, 19},       {12, 20, 20},       {13, 13 * 256 + B, 15 * 256 + B},
        {14, 12 * 256 + B, 0}, {15, 17 * 256 + B, 17 * 256 + B}, {16, 7 * 256 + B, 7 * 256 + B},
        {17, 14 * 256 + B, 14 * 256 + B}, {18, 10 * 256 + B, 10 * 256 + B},
        {19, 9 * 256 + B, 9 * 256 + B},   {20, 16 * 256 + B, 16 * 256 + B},
        {21, 16 * 256 + B, 15 * 256 + B}, {22, 32, 32}, {23, 3 * 256 + B, 3 * 256 + B},
        {28, 31, 31},       {29, 5 * 256 + B, 5 * 256 + B}, {32, 22, 22}, {4, 0, 0}, {6, 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(key_action(c.key, 0), c.map0) << c.key;
        EXPECT_EQ(key_action(c.key, 1), c.map1) << c.key;
    }
}

TEST(KeyMaps, UndefinedMapsAndOutOfTableGiveNoAction) {
    for (u16 key = 0; key < KEY_NUMBERS; key++) {
        EXPECT_EQ(key_action(key, 2), 0) << key;
        EXPECT_EQ(key_action(key, 3), 0) << key;
        EXPECT_EQ(key_action(key, 4), 0) << key;  // beyond 132 entries
        EXPECT_EQ(key_action(key, -1), 0) << key;
    }
    EXPECT_EQ(key_action(KEY_NUMBERS, 0), 0);  // would read map 1's Enter
    EXPECT_EQ(key_action(0xFFFF, 0), 0);
}

TEST(KeyMaps, KeymapVariableSelectsTheMap) {
    vx::rt::sysint_reset();
    EXPECT_EQ(key_action_now(14), 12 * 256 + ACT_BUTTON);
    vx::rt::sysint_set(vx::rt::SV_KEYMAP, 1);
    EXPECT_EQ(key_action_now(14), 0);
    vx::rt::sysint_set(vx::rt::SV_KEYMAP, 9);
    EXPECT_EQ(key_action_now(0), 0);
    vx::rt::sysint_reset();
}
