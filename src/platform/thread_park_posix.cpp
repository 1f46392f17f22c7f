// Here a module is unloaded with its threads free to end, so no thread needs
// to park; parking still works as described, on a condition that nothing
// signals again, and a thread cannot be frozen.
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "platform/thread_park.h"

namespace korvane::platform {

struct ThreadParking::System {
  std::mutex lock;
  std::condition_variable changed;
  bool parked = false;
};

ThreadParking::ThreadParking() : fSystem(std::make_unique<System>()) {}

ThreadParking::~ThreadParking() = default;

void ThreadParking::Adopt(std::thread::native_handle_type) {}

void ThreadParking::Enter() {}

bool ThreadParking::WaitEntered(int) { return true; }

void ThreadParking::Park() {
  std::unique_lock<std::mutex> guard(fSystem->lock);
  fSystem->parked = true;
  fSystem->changed.notify_all();
  // Without end on purpose: this is the thread's last step, and nobody
  // waits for it to return (its owner waits for `parked`, with a bound).
  for (;;) fSystem->changed.wait(guard);
}

bool ThreadParking::WaitParked(int aMaxMs) {
  std::unique_lock<std::mutex> guard(fSystem->lock);
  return fSystem->changed.wait_for(guard, std::chrono::milliseconds(aMaxMs),
                                   [this] { return fSystem->parked; });
}

bool ThreadParking::Freeze() { return false; }

}  // namespace korvane::platform
