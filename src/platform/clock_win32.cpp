#include <windows.h>

#include "platform/clock.h"
#include "platform/clock_system.h"

namespace korvane::platform {

LocalTime clock_system::Now() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  LocalTime t;
  t.year = st.wYear;
  t.month = st.wMonth;
  t.day = st.wDay;
  t.hour = st.wHour;
  t.minute = st.wMinute;
  t.second = st.wSecond;
  t.millisecond = st.wMilliseconds;
  return t;
}

// The system keeps the calendar fields itself: nothing to keep here.
LocalTime clock_system::Now(NowCache&) { return clock_system::Now(); }

uint32_t TickCount() { return static_cast<uint32_t>(GetTickCount64()); }

}  // namespace korvane::platform
