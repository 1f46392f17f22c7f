// Parking on Windows: SignalObjectAndWait signals the owner's event and
// starts the wait in one call into the system, so that once the owner sees
// the event the thread is inside that wait, which nothing ends before the
// process does. Freezing suspends the thread. A new thread runs its first
// instruction only after the loader has let it (under the loader's lock it
// waits), so its owner waits for it to have entered before going on.
#include <pthread.h>
#include <windows.h>

#include "platform/thread_park.h"

namespace korvane::platform {

struct ThreadParking::System {
  HANDLE entered = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE parked = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE thread = nullptr;
};

ThreadParking::ThreadParking() : fSystem(std::make_unique<System>()) {}

ThreadParking::~ThreadParking() {
  for (HANDLE handle : {fSystem->entered, fSystem->parked, fSystem->never, fSystem->thread})
    if (handle != nullptr) CloseHandle(handle);
}

void ThreadParking::Adopt(std::thread::native_handle_type aThread) {
  // (std::thread is made on winpthreads here: its native handle is theirs)
  HANDLE thread = nullptr;
  if (fSystem->thread == nullptr &&
      DuplicateHandle(GetCurrentProcess(), static_cast<HANDLE>(pthread_gethandle(aThread)),
                      GetCurrentProcess(), &thread, THREAD_SUSPEND_RESUME, FALSE, 0))
    fSystem->thread = thread;
}

void ThreadParking::Enter() {
  if (fSystem->entered != nullptr) SetEvent(fSystem->entered);
}

bool ThreadParking::WaitEntered(int aMaxMs) {
  if (fSystem->entered == nullptr) return false;
  return WaitForSingleObject(fSystem->entered, static_cast<DWORD>(aMaxMs < 0 ? 0 : aMaxMs)) == WAIT_OBJECT_0;
}

void ThreadParking::Park() {
  // Without end on purpose: this is the thread's last step, and nobody
  // waits for it to return (its owner waits for `parked`, with a bound).
  if (fSystem->parked != nullptr && fSystem->never != nullptr)
    SignalObjectAndWait(fSystem->parked, fSystem->never, INFINITE, FALSE);
  // (only when the events could not be made: the owner then freezes us)
  for (;;) Sleep(INFINITE);
}

bool ThreadParking::WaitParked(int aMaxMs) {
  if (fSystem->parked == nullptr) return false;
  return WaitForSingleObject(fSystem->parked, static_cast<DWORD>(aMaxMs < 0 ? 0 : aMaxMs)) == WAIT_OBJECT_0;
}

bool ThreadParking::Freeze() {
  return fSystem->thread != nullptr && SuspendThread(fSystem->thread) != static_cast<DWORD>(-1);
}

}  // namespace korvane::platform
