// The window layer's part in start-up and shutdown, the font file and the variable hook.
//
// screens_install() registers the default screen metrics (70 x 12, no margins) and screen
// font ("Lucida Console" 24/12/400), the font file step of start-up (fonts_load), the
// variable hook for names beginning with "_", and the release of the layer's state at
// shutdown. Call it once before runtime_start, after the expression layer's install.
#pragma once

#include "runtime/str.h"

namespace vx::scr {


void screens_install();
// Closes every window and screen and puts fonts, metrics and key state back to the
// defaults that start-up registers.
void screens_reset();

// The font file: its first line "height;width;attributes;face" registers the current
// screen font (weight 700 when the attributes hold BOLD). A missing file changes nothing.
rt::u16 fonts_load();

// The variable hook: names registered here are served by the window layer; every other name
// is answered 163 (not ours) so that the variable store serves it.
using VarReader = rt::Str (*)();           // the value as text, in the arena
using VarWriter = rt::u16 (*)(rt::Str value);
inline constexpr rt::u16 SERVED_MAX = 16;
rt::u16 var_serve(const char* name, VarReader read, VarWriter write);  // 0 or 168
rt::u16 var_hook(rt::u16 mode, rt::Str name, rt::Str value, rt::Str* answer);

}  // namespace vx::scr
