// The wall clock as the library reads it: the system's, unless a test has
// put a stand-in in front of it. The same on every system.
#include "platform/clock.h"

#include <atomic>
#include <mutex>

#include "platform/clock_system.h"
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
  return clock_system::Now();
}

LocalTime Now(NowCache& aCache) {
  if (gHasOverride.load(std::memory_order_acquire)) {
    std::lock_guard<std::mutex> guard(gOverrideLock);
    if (gOverride) return gOverride();
  }
  return clock_system::Now(aCache);
}

void SetNowForTesting(std::function<LocalTime()> aNow) {
  std::lock_guard<std::mutex> guard(gOverrideLock);
  gOverride = std::move(aNow);
  gHasOverride.store(static_cast<bool>(gOverride), std::memory_order_release);
}

}  // namespace korvane::platform
