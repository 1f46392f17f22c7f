// Local time and the millisecond tick counter.
#pragma once

#include <chrono>
#include <cstdint>
#include <limits>

namespace korvane::platform {

struct LocalTime {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

// The current local time, to the millisecond.
LocalTime Now();

// The calendar fields of the last second read, kept by a caller that reads
// the clock for line after line (one thread at a time): the same as Now(),
// without the lookup of a cache of the thread's own.
struct NowCache {
  int64_t second = INT64_MIN;  // the system's count of seconds (none yet)
  LocalTime fields;            // to the second
};
LocalTime Now(NowCache& aCache);

// A wrapping millisecond counter (32 bits, like the system's tick count).
uint32_t TickCount();

// Milliseconds left until aDeadline, rounded up; at least 0, at most the
// largest 32-bit count (about 24.8 days): a deadline further away never
// wraps into a short or negative wait.
inline int32_t MillisecondsUntil(std::chrono::steady_clock::time_point aDeadline) {
  const auto left =
      std::chrono::ceil<std::chrono::milliseconds>(aDeadline - std::chrono::steady_clock::now()).count();
  if (left <= 0) return 0;
  return left < std::numeric_limits<int32_t>::max() ? static_cast<int32_t>(left)
                                                    : std::numeric_limits<int32_t>::max();
}

}  // namespace korvane::platform
