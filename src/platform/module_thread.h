// A thread of the library that may still run after the call that started it
// has returned, and that must never run on once the module holding its code
// is gone.
//
// On Windows the thread holds a reference to the module from before it is
// made until its very end, which drops that reference and ends the thread in
// one step (FreeLibraryAndExitThread). A host that unloads the module while
// the thread runs thus only lets go of its own share: the module goes once
// the thread is over, unloaded on that thread. Its unload then never has to
// wait for, stop or freeze a thread of ours.
// Elsewhere the unload runs with the library's threads free to end, and the
// library's shut-down ends and joins them as at any other time.
#pragma once

#include <functional>
#include <memory>

namespace korvane::platform {

class ModuleThread {
 public:
  ModuleThread();
  ~ModuleThread();  // lets a thread still running go on its own (Detach)
  ModuleThread(const ModuleThread&) = delete;
  ModuleThread& operator=(const ModuleThread&) = delete;

  // Runs aBody on a new thread; an exception that leaves aBody is dropped.
  // A thread started before must have been joined or let go. Raises an
  // OsError when no thread can be made (nothing then runs aBody).
  void Start(std::function<void()> aBody);
  // Waits at most aMaxMs (not below 0) for the thread's body to have
  // returned; true once it has, and when no thread was started. The thread is
  // then done with: a new one may be started.
  bool Join(int aMaxMs);
  // Lets the thread run on and end on its own. (Elsewhere than on Windows a thread
  // still running then keeps the module loaded until the process ends.)
  void Detach();
  bool Started() const;

 private:
  struct System;
  std::unique_ptr<System> fSystem;
};

}  // namespace korvane::platform
