// The Qt widgets behind handles, for programs that drive the real widgets (Qt Test). Only
// code that links Qt itself includes this.
#pragma once

#include <QWidget>

#include "platform/window.h"

namespace vx::platform {

QWidget* window_widget(WinHandle w);   // the top-level window
QWidget* client_widget(WinHandle w);   // its client area
QWidget* control_widget(WinHandle w, int id);

}  // namespace vx::platform
