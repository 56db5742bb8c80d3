// The progress window: one per process, opened explicitly or by the first step or text of a
// long operation. It shows a bar (or, once a text was shown, a grey panel with the text in
// white) and a Cancel button. Every step and text pumps the pending window events, so the
// user can cancel while the operation runs; the operation then sees 122 at its next step.
//
// A total of steps above 65535 is reduced for the bar: the range is halved and a divisor
// doubled until it fits, and steps are added up until they make whole bar positions. Without
// a total the bar fills to 200 steps and starts again at 1.
//
// Nobody waits on this window: unattended it is made all the same (on the offscreen platform
// without a display), writes nothing to the OUTPUT file and reads no INPUT line.
#pragma once

#include "screens/window.h"

namespace vx::scr {

using rt::i64;

inline constexpr u16 PROGRESS_WIDTH_DEFAULT = 400;  // of the inner control, in pixels
inline constexpr u16 PROGRESS_WIDTH_MIN = 80;       // the Cancel button stays inside
inline constexpr u16 PROGRESS_WIDTH_MAX = 4000;
inline constexpr u16 PROGRESS_WIDTH_UNSET = 0xFFFF;  // as 0: the default width
inline constexpr u16 PROGRESS_CANCEL_ID = 1110;
inline constexpr u16 PROGRESS_BAR_ID = 1111;
inline constexpr u32 PROGRESS_WRAP_RANGE = 200;    // the range when no total was given
inline constexpr u32 PROGRESS_RANGE_MAX = 0xFFFF;  // the bar's range fits 16 bits
inline constexpr i64 PROGRESS_POLL_MS = 32;        // least time between two polled steps
inline constexpr i64 PROGRESS_TICK_MS = 40;        // least time between two pumps of progress_tick
inline constexpr u16 PROGRESS_TEXT_MAX = 255;      // bytes of the text kept for painting

// Phases of the query progress hook.
enum PollPhase : u16 { POLL_START = 0, POLL_END = 1, POLL_TICK = 2 };

// 0; 170 when the bar cannot be made (the window stays, steps show nothing); the window
// layer's code when the window cannot be made. Nothing happens while a window is open.
// width 0 or 65535: 400 pixels; total 0: no total (the bar wraps).
u16 progress_open(u16 width, u32 total);
// n steps done since the last call (0 counts as 1): 0, or 122 once the user has cancelled.
u16 progress_step(u32 n);
// The step of a loop that reports often (every few hundred records): n steps done since the
// last call (0: none), added up; the bar is shown and the window events pumped only when
// PROGRESS_TICK_MS have passed since the window was last pumped (at once the first time).
// 0, or 122 once the user has cancelled: the answer is as fresh as the last pump.
u16 progress_tick(u32 n);
// Shows a line of text instead of the bar (a window of 400 pixels in text mode is opened
// when none is open); an empty text changes nothing. 0 or 122 as for a step.
u16 progress_text(rt::Str text);
// Destroys the window and forgets it: no window, no text mode, no range.
void progress_close();
// The query progress hook: pumps the window events; POLL_START sets the timer mark,
// POLL_TICK makes one step when 32 ms have passed since the mark. Always 0.
u16 progress_poll(u16 phase);
// The hook of statements that keep the server busy (installed at start-up as the data
// layer's slow-statement hook): the start opens the window, unless one is open, so that
// Cancel is offered; each poll pumps the events (and steps the bar as progress_poll does when
// the window is its own) and answers 122 once the user has cancelled; the end closes the
// window if the start opened it.
u16 progress_wait(u16 phase);
// Closes the window and puts the whole state back as at start-up (shutdown).
void progress_reset();

// What the progress state holds now.
struct ProgressView {
    WinId window = 0;
    bool text_mode = false;
    bool cancelled = false;
    bool wrap = false;
    u16 width = 0;
    u32 range = 0;
    u16 position = 0;
    i64 divisor = 0;
};
ProgressView progress_view();

// The clock of the polled steps in milliseconds; null puts the system's monotonic clock back.
using ProgressClock = i64 (*)();
void progress_clock_set(ProgressClock clock);

}  // namespace vx::scr
