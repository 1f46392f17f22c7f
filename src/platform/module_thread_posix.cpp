// Here the module's unload runs with the library's threads free to end: a
// thread is a joinable POSIX thread, and a join with a bound is a timed join.
// Nothing can keep a thread's code loaded until it has ended, so a thread let
// go while it still runs pins the module for the rest of the process.
#include <pthread.h>

#include <ctime>
#include <mutex>

#include "platform/error.h"
#include "platform/library.h"
#include "platform/module_thread.h"

namespace korvane::platform {
namespace {

void* Run(void* aBody) {
  std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(aBody));
  try {
    (*body)();
  } catch (...) {
  }
  return nullptr;
}

}  // namespace

struct ModuleThread::System {
  pthread_t thread{};
  bool started = false;
};

ModuleThread::ModuleThread() : fSystem(std::make_unique<System>()) {}

ModuleThread::~ModuleThread() { Detach(); }

void ModuleThread::Start(std::function<void()> aBody) {
  if (fSystem->started) throw Error("A thread is still attached");
  auto body = std::make_unique<std::function<void()>>(std::move(aBody));
  const int error = pthread_create(&fSystem->thread, nullptr, &Run, body.get());
  if (error != 0) ThrowOsError(error, "Cannot start a thread: ");
  body.release();  // the thread's now
  fSystem->started = true;
}

bool ModuleThread::Join(int aMaxMs) {
  if (!fSystem->started) return true;
  timespec until{};
  clock_gettime(CLOCK_REALTIME, &until);
  const long ms = aMaxMs < 0 ? 0 : aMaxMs;
  until.tv_sec += ms / 1000;
  until.tv_nsec += (ms % 1000) * 1000000L;
  if (until.tv_nsec >= 1000000000L) {
    until.tv_sec += 1;
    until.tv_nsec -= 1000000000L;
  }
  if (pthread_timedjoin_np(fSystem->thread, nullptr, &until) != 0) return false;
  fSystem->started = false;
  return true;
}

void ModuleThread::Detach() {
  if (!fSystem->started) return;
  fSystem->started = false;
  if (pthread_tryjoin_np(fSystem->thread, nullptr) == 0) return;  // over already
  pthread_detach(fSystem->thread);
  // It runs on after its owner: the module must then stay in the process
  // until the process ends, whatever the host unloads.
  static std::once_flag pinned;
  std::call_once(pinned, [] { PinCurrentModule(); });
}

bool ModuleThread::Started() const { return fSystem->started; }

}  // namespace korvane::platform
