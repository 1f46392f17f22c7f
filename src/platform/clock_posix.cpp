#include <sys/time.h>
#include <time.h>

#include "platform/clock.h"
#include "platform/clock_system.h"

namespace korvane::platform {

LocalTime clock_system::Now() {
  struct timespec ts;
  ::clock_gettime(CLOCK_REALTIME, &ts);
  // The calendar fields change once a second: each thread keeps the last
  // second's, and converts again only when the second has changed (every
  // logged line asks for them).
  // (One thread-local object: each is looked up through a call in a shared
  // library.)
  struct LastSecond {
    time_t second = -1;
    struct tm parts;
  };
  thread_local LastSecond last;
  LastSecond& cache = last;
  if (ts.tv_sec != cache.second) {
    ::localtime_r(&ts.tv_sec, &cache.parts);
    cache.second = ts.tv_sec;
  }
  const struct tm& parts = cache.parts;
  LocalTime t;
  t.year = parts.tm_year + 1900;
  t.month = parts.tm_mon + 1;
  t.day = parts.tm_mday;
  t.hour = parts.tm_hour;
  t.minute = parts.tm_min;
  t.second = parts.tm_sec;
  t.millisecond = static_cast<int>(ts.tv_nsec / 1000000);
  return t;
}

uint32_t TickCount() {
  struct timespec ts;
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  const uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

}  // namespace korvane::platform
