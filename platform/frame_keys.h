// Arrow and page keys pressed in the client area or on one of its buttons: offered to the
// window's event function as keys of the window itself (ctl 0) before the client area scrolls
// with them or the button moves the focus with them, so that a window can move its own choice
// with Up and Down. Keys the function declines do what they do without the routing.
#pragma once

#include "platform/window.h"

namespace vx::platform {

// Turns the routing on or off for a window and the buttons it holds now; false when there is
// no such window.
bool window_route_arrows(WinHandle w, bool on);

}  // namespace vx::platform
