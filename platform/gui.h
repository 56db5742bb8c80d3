// The process's application object and its event loop: creating it (on the offscreen
// platform when no display is named), telling whether a person can answer a window, nested
// loops that run until a condition holds, pumping pending events during long work, and the
// end of the window system at shutdown.
#pragma once

#include <string_view>

namespace vx::platform {

// Creates the application object on first use and tells whether one exists. Without a
// display (no DISPLAY, no WAYLAND_DISPLAY) and no platform chosen in QT_QPA_PLATFORM, the
// offscreen platform is chosen before the object is made. It lives as long as the process.
bool gui_init();
bool gui_ready();

// True when a window shown now can be answered by someone: a display is named and the
// platform in use draws somewhere a person can see, or a driver (a Qt Test program) has said
// that it answers the windows itself.
bool gui_interactive();
void gui_force_interactive(bool on);

// Handles the events that are pending now (posted events and deferred deletions included)
// and returns; never waits.
void gui_pump();

// Runs a nested event loop until done(data) holds. The condition of the innermost loop (the
// one that runs) is tested on entry, whenever gui_loop_wake() is called and whenever the loop
// is about to wait for events; an outer loop is tested again once the inner ones have ended
// and it waits again. Pending events are drained after the loop ends.
using LoopDone = bool (*)(void* data);
void gui_loop(LoopDone done, void* data);
void gui_loop_wake();
int gui_loop_depth();

// The language of the window system's own texts (standard buttons, file and print dialogs):
// a code of "EN,ES,FR,DE,IT". Qt's translations of that language are loaded now, or when the
// application object is made; a language without them leaves Qt's English texts.
void gui_language(std::string_view code);

// Destroys every window still open and deferred deletions; the application object stays.
void gui_close_all();

}  // namespace vx::platform
