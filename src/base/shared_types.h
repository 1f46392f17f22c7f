// Types shared by every layer of the library.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "platform/clock.h"

namespace korvane {

// The entry type of every log call.
enum tTK_MessageType : uint8_t { let_info = 0, let_error = 1 };

// A date-time: days since 1899-12-30, the fraction being the time of day.
using TDateTime = double;

// A value of any simple type, or nothing (std::monostate).
using TVariant = std::variant<std::monostate, bool, int64_t, double, std::string>;

// Fails with "Invalid argument to date encode" for a date that is not in the
// calendar (years 1 to 9999).
TDateTime EncodeDate(int aYear, int aMonth, int aDay);
// Fails with "Invalid argument to time encode".
TDateTime EncodeTime(int aHour, int aMinute, int aSecond, int aMillisecond);
bool IsValidDate(int aYear, int aMonth, int aDay);

struct TDateTimeParts {
  int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0, millisecond = 0;
};
TDateTimeParts DecodeDateTime(TDateTime aValue);

TDateTime ToDateTime(const platform::LocalTime& aTime);
// The current local date-time.
TDateTime NowDateTime();

// Delphi-style formatting of aFormat with aValues: %s, %d, %u, %x, %f, %g, %e,
// %n and %% with optional "-", width and ".precision". Fails with
// "Format '<format>' invalid or incompatible with argument" when a placeholder
// does not fit its value, values are missing, or a width or precision is
// above 1024.
std::string FormatText(const std::string& aFormat, const std::vector<TVariant>& aValues);

}  // namespace korvane
