// The terminal settings a serial line becomes, for the serial port code and its tests (a
// pseudo-terminal does not keep the character size and parity it is given, so they are
// checked here). Not for use outside platform/ and its tests.
#pragma once

#include <termios.h>

#include "platform/serial.h"

namespace vx::os {

// Raw 8-bit data turned into the line's speed, character size, parity and stop bits, no
// flow control of either kind, the receiver on and modem lines ignored, reads that return
// at once. False (and *io unusable) for a speed, parity or size the system does not have.
bool serial_termios(const SerialLine& line, termios* io);

}  // namespace vx::os
