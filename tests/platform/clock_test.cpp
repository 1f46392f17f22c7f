#include "platform/clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <limits>

namespace korvane::platform {
namespace {

using Clock = std::chrono::steady_clock;

TEST(Clock, MillisecondsUntilStaysWithinA32BitCount) {
  constexpr int32_t kMost = std::numeric_limits<int32_t>::max();
  struct Case {
    Clock::duration fromNow;
    int32_t atLeast;
    int32_t atMost;
  };
  const Case cases[] = {
      {-std::chrono::hours(1), 0, 0},
      {std::chrono::milliseconds(0), 0, 0},
      {std::chrono::hours(1), 3599000, 3600000},
      {std::chrono::milliseconds(int64_t{kMost} - 60000), kMost - 61000, kMost - 60000},
      {std::chrono::milliseconds(int64_t{kMost} + 1), kMost, kMost},
      {std::chrono::milliseconds(int64_t{715827883} * 3), kMost, kMost},
      {std::chrono::hours(24 * 365 * 100), kMost, kMost},
  };
  for (const Case& c : cases) {
    const int32_t left = MillisecondsUntil(Clock::now() + c.fromNow);
    EXPECT_GE(left, c.atLeast) << c.fromNow.count();
    EXPECT_LE(left, c.atMost) << c.fromNow.count();
  }
}

}  // namespace
}  // namespace korvane::platform
