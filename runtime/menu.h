// Menu files and the menu bar they describe.
//
// A menu file ("PMT") has one element a line: the number of tabs before the text is the
// element's level; a text of one comma-separated item is a title that opens a submenu, a
// text of two or more items an entry whose label is item 1 and whose task line is the rest.
// A drop in level closes as many submenus. Entries get command identifiers from 1500 in file
// order; the task line of identifier 1500 + k is entry k of list 5 of the string store.
//
// Building goes through a sink, so the window system draws the bar and tests record it.
#pragma once

#include "runtime/str.h"

namespace vx::rt {

inline constexpr u16 MENU_FIRST_ID = 1500;
inline constexpr u16 MENU_REACHABLE = 200;       // identifiers 1500-1699 reach a task
inline constexpr u16 MENU_ARENA_SLOTS = 12;      // arena slots that must stay free per line
inline constexpr u16 MENU_LEVEL_MAX = 16;        // deepest submenu nesting
inline constexpr u16 LIST_MENU_TASKS = 5;
inline constexpr u16 LIST_MENU_LINES = 37;       // lines of a PMT file, queued
inline constexpr u16 LIST_MENU_GENERATED = 38;   // lines generated from a PPN definition

struct MenuSink {
    void* ctx = nullptr;
    void (*open)(void* ctx, Str title) = nullptr;             // a submenu begins
    void (*entry)(void* ctx, u16 id, Str label) = nullptr;    // an entry of the open submenu
    void (*close)(void* ctx) = nullptr;                       // the innermost submenu ends
};

// One line of a menu file taken apart.
struct MenuLine {
    u16 level = 0;
    Str label;      // title or entry label
    Str task;       // empty for a title
    bool title() const { return task.n == 0; }
};
MenuLine menu_line_parse(Str line);

// Finds the menu file for name (its first comma item with the extension PMT, else PPN, in
// the data folder) and queues its lines: 0, or 164 when neither exists and no lines are
// pending.
u16 menu_queue_file(Str name);
// Builds the menu from the queued lines (list 37, then list 38), emptying the queues, and
// stores the task lines in list 5. Returns 0 or the code that stopped it (145 when the arena
// ran short); the number of entries made in *entries.
u16 menu_build(const MenuSink& sink, u16* entries);
// menu_queue_file and menu_build in one step; a failure is shown with error_show.
u16 menu_load(Str name, const MenuSink& sink, u16* entries);
// The task line of a command identifier, or "" when it reaches none.
Str menu_task(u16 command_id);

}  // namespace vx::rt
