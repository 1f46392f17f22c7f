// Ending a thread of the library while the module that holds its code is
// taken out of the process and the thread cannot end (ModuleUnload::Library).
// The thread parks instead: its last step signals its owner and waits for
// ever inside the system, in one call, so that it never runs the module's
// code again and the module can go. A thread that does not come to park in
// time is frozen where it stands: it then never runs again either.
#pragma once

#include <memory>
#include <thread>

namespace korvane::platform {

class ThreadParking {
 public:
  ThreadParking();
  ~ThreadParking();
  ThreadParking(const ThreadParking&) = delete;
  ThreadParking& operator=(const ThreadParking&) = delete;

  // On the owner, once the thread is made (std::thread's native handle):
  // lets Freeze find it even before it has begun to run.
  void Adopt(std::thread::native_handle_type aThread);
  // On the thread, first: says it runs.
  void Enter();
  // On the owner, after starting the thread: waits at most aMaxMs until the
  // thread has entered (where a thread that has not begun to run could not
  // be parked when the module goes: on Windows it begins only once the
  // loader lets it); true once it has, and where no thread ever needs to park.
  bool WaitEntered(int aMaxMs);
  // On the thread, as its last step: signals its owner and never returns.
  [[noreturn]] void Park();
  // On the owner: true once the thread has parked, after at most aMaxMs.
  bool WaitParked(int aMaxMs);
  // On the owner: stops the thread where it stands, for good; false where the
  // system cannot.
  bool Freeze();

 private:
  struct System;
  std::unique_ptr<System> fSystem;
};

}  // namespace korvane::platform
