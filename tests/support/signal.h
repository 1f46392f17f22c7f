// A one-shot signal between a test and a peer's script (or any other
// thread of the test); setting it again does nothing.
#pragma once

#include <atomic>
#include <chrono>
#include <future>

namespace korvane::testing {

class Signal {
 public:
  void Set() {
    if (!fSet.exchange(true)) fPromise.set_value();
  }
  // Waits at most ten seconds; false when the signal did not come.
  bool Wait() { return fFuture.wait_for(std::chrono::seconds(10)) == std::future_status::ready; }

 private:
  std::atomic<bool> fSet{false};
  std::promise<void> fPromise;
  std::shared_future<void> fFuture = fPromise.get_future().share();
};

}  // namespace korvane::testing
