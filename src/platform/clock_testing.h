// For tests only: a stand-in for the wall clock of platform/clock.h.
#pragma once

#include <functional>

#include "platform/clock.h"

namespace korvane::platform {

// Now() answers what aNow gives from here on; an empty function restores the
// wall clock.
void SetNowForTesting(std::function<LocalTime()> aNow);

}  // namespace korvane::platform
