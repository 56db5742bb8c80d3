// The main window: the menu bar built from a menu file, the logo in its client area, the
// main events (menu command, close request, help key) and the closing rule, and the
// run-time's default task servers that are not forms (MantAux, Help, FontSet).
//
// Events of the main window by their low byte: 16 a menu command (entry k in bits 8-15),
// 17 a close request, 19 the help key. Menu entries carry the command identifiers
// 1500-1699; the task line of entry k is found with menu_task.
#pragma once
#include "platform/canvas.h"
#include "screens/window.h"

namespace vx::scr {

enum MainEvent : u16 { EV_MENU = 16, EV_CLOSE = 17, EV_HELP = 19 };
inline constexpr u16 SCRSTAT_MENU = 2;          // _SCRSTAT bit: the menu runs
inline constexpr u16 AUXSTAT_QUIET_CLOSE = 32;  // _AUXSTAT bit: close without the question
inline constexpr u16 MSG_STILL_OPEN = 32;       // "Aun hay ventanas abiertas (%i, %i)"
inline constexpr u16 MSG_CLOSE_ASK = 33;        // "... Desea Cerrar la aplicacion? (%i, %i)"
inline constexpr u16 MSG_HELP_CAPTION = 71;
inline constexpr u16 MSG_HELP_MISSING = 72;
inline constexpr u16 LOGO_MARGIN = 3;  // pixels left free around the logo

// The application's hooks. A hook that answers 148 leaves the rule to the run-time; none
// registered counts as 148.
using MenuHook = u16 (*)(u16 entry, Str line);  // asked before a menu command's task runs
using CloseHook = u16 (*)();                    // any other answer: both counts, non-zero refuses
void menu_hook_set(MenuHook hook);
void close_hook_set(CloseHook hook);

// Runs the menu: _SCRSTAT bit 2, the main window with the menu bar of the named menu file,
// its caption and logo, until the window closes. 0, or the code that stopped it.
u16 menu_run(Str name);
// The main window while the menu runs, else 0.
WinId main_window();
// Handles one main event; results of 122 and above are shown and come back as they are.
u16 main_event(u16 event);
// True when the application may close now (asks the person when the rule says so).
bool close_request();
// Closes every screen and every run-time window, the main window last.
void close_all_screens();
// The caption of the main window (arena).
Str main_caption();
// Draws the logo into the given area of a canvas.
void logo_draw(platform::Canvas& c, int x, int y, int w, int h);
// "%i" and "%d" of a message text replaced by the numbers in turn, "%%" by "%"; any other
// '%' is copied as it is (message texts come from files and are not trusted as formats).
Str msg_fill_numbers(Str text, const int* numbers, u16 count);

// Forgets the main window and the hooks (at shutdown).
void mainwin_reset();

// Registers the default task servers of the window layer with the task dispatcher.
void tasks_install();
u16 task_mantaux(Str args);
// Help: with arguments the About box; without, the local help page (help_page_find) in the
// browser, or a box saying that there is none or that no browser could be started. 0.
u16 task_help(Str args);
u16 task_fontset(Str args);
// The local help page ("" when none): the prefix's index page, then index.html, each alone
// and with the language suffix, in the data folder and the help folder.
Str help_page_find();
// Opens a help page or address with the viewer: 0, or 167 when no viewer could be started.
// Unattended, says in a box what it would open.
u16 help_open(Str page);

}  // namespace vx::scr
