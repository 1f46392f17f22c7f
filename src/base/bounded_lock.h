// Taking a lock with a bound, where its holder may never give it back: at an
// unload the system may have stopped the holder, or the holder waits for the
// loader's lock that the unloading thread holds.
#pragma once

#include <chrono>
#include <mutex>
#include <thread>

namespace korvane {

// Takes aGuard's lock if it can be had within aMaxWait; false otherwise.
inline bool LockWithin(std::unique_lock<std::mutex>& aGuard, std::chrono::milliseconds aMaxWait) {
  const auto giveUp = std::chrono::steady_clock::now() + aMaxWait;
  while (!aGuard.try_lock()) {
    if (std::chrono::steady_clock::now() >= giveUp) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace korvane
