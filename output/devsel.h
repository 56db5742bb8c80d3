// The device selection dialog's parts that its tests drive: the identifiers of its controls,
// the fields each device enables, and the composition of a device text from a choice.
#pragma once

#include <string>

#include "output/device_impl.h"

namespace vx::out {

enum DevselControl : int {
    DEVSEL_DEVICES = 1601,
    DEVSEL_SPEED,
    DEVSEL_LINESET,
    DEVSEL_LINES,
    DEVSEL_WIDTH,
    DEVSEL_STEP,
    DEVSEL_SHOW,
    DEVSEL_CONFIG,
    DEVSEL_OK,
    DEVSEL_CANCEL,
    DEVSEL_LABEL_BASE = 1620,
};

// Fields a device enables.
enum DevselMask : u8 {
    MASK_SPEED = 1,
    MASK_LINESET = 2,
    MASK_LINES = 4,
    MASK_WIDTH = 8,
    MASK_STEP = 16,
    MASK_SHOW = 32,
};

struct DeviceChoice {
    std::string name;          // as listed
    u8 mask = 0;               // the fields it enables
    std::string speed, line_setting, lines, width, step, show;
};

// The device text of a choice: the name (serial ports with speed and line setting; PDF and
// TXT replaced by a new file in TEMP when shown, else by the file chosen in the save dialog;
// DEV by the text typed into its form), then " /LP:", " /WD:", " /ST:", " /VW:" for each
// enabled field that is not empty. "" when a dialog on the way was cancelled.
std::string device_compose(const DeviceChoice& c);

}  // namespace vx::out
