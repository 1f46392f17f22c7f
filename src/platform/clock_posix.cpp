#include <sys/time.h>
#include <time.h>

#include "platform/clock.h"
#include "platform/clock_system.h"

namespace korvane::platform {

LocalTime clock_system::Now(NowCache& aCache) {
  struct timespec ts;
  ::clock_gettime(CLOCK_REALTIME, &ts);
  // The calendar fields change once a second: they are converted again only
  // when the second has changed (every logged line asks for them).
  if (static_cast<int64_t>(ts.tv_sec) != aCache.second) {
    struct tm parts;
    ::localtime_r(&ts.tv_sec, &parts);
    aCache.fields.year = parts.tm_year + 1900;
    aCache.fields.month = parts.tm_mon + 1;
    aCache.fields.day = parts.tm_mday;
    aCache.fields.hour = parts.tm_hour;
    aCache.fields.minute = parts.tm_min;
    aCache.fields.second = parts.tm_sec;
    aCache.second = static_cast<int64_t>(ts.tv_sec);
  }
  LocalTime t = aCache.fields;
  t.millisecond = static_cast<int>(ts.tv_nsec / 1000000);
  return t;
}

LocalTime clock_system::Now() {
  // Each thread keeps the last second's fields. (One thread-local object:
  // each is looked up through a call in a shared library.)
  thread_local NowCache last;
  return clock_system::Now(last);
}

uint32_t TickCount() {
  struct timespec ts;
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  const uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

}  // namespace korvane::platform
