// Repeating timers that call a plain function instead of sending an event to a window: the
// poll of a serial scanner port. A ticker belongs to a window (it stops when the window goes)
// or, given no window, to the application.
#pragma once

#include "platform/window.h"

namespace vx::platform {

using TickFn = void (*)(void* data);

// Starts a ticker every milliseconds: its identifier (from 1), or 0 when it cannot be made.
int ticker_start(WinHandle owner, int milliseconds, TickFn fn, void* data);
void ticker_stop(int id);
bool ticker_running(int id);

}  // namespace vx::platform
