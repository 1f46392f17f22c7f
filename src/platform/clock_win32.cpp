

#include <windows.h>

#include <atomic>
#include <mutex>

#include "platform/clock.h"
#include "platform/clock_testing.h"

namespace korvane::platform {
namespace {
std::mutex gOverrideLock;
std::function<LocalTime()> gOverride;
std::atomic<bool> gHasOverride{false};  // read without the lock only when false is certain
}  // namespace

LocalTime Now() {
  if (gHasOverride.load(std::memory_order_acquire)) {
    std::lock_guard<std::mutex> guard(gOverrideLock);
    if (gOverride) return gOverride();
  }
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

uint32_t TickCount() { return static_cast<uint32_t>(GetTickCount64()); }

void SetNowForTesting(std::function<LocalTime()> aNow) {
  std::lock_guard<std::mutex> guard(gOverrideLock);
  gOverride = std::move(aNow);
  gHasOverride.store(static_cast<bool>(gOverride), std::memory_order_release);
}

}  // namespace korvane::platform
