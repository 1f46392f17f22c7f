// The system's half of the clock, one file per system behind this header;
// clock.cpp puts the stand-in for tests in front of it. Internal to the
// platform layer.
#pragma once

#include "platform/clock.h"

namespace korvane::platform::clock_system {

// The wall clock's local date and time.
LocalTime Now();
// The same, with the calendar fields of the last second kept in aCache.
LocalTime Now(NowCache& aCache);

}  // namespace korvane::platform::clock_system
