// POSIX only: how the line parameters of platform/serial.h map to termios.
#pragma once

#include <termios.h>

#include "platform/serial.h"

namespace korvane::platform {

// Puts baud rate, byte size, parity (mark and space through CMSPAR) and stop
// bits of aState into aTermios, leaving every other setting; false for a
// value termios has no setting for.
bool ApplySerialLineState(const SerialLineState& aState, termios& aTermios);

}  // namespace korvane::platform
