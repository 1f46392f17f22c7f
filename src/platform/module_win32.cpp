// The module's entry on Windows. DllMain runs under the loader's lock, where
// a thread can neither start running nor end: so it starts, waits for and
// joins none. The library's start-up (which starts its log thread) runs on
// the first call of an export instead, and pins the module, so that a host's
// FreeLibrary never takes the code of a running thread out of the process.
// At the end of the process the system has already stopped every other
// thread; the shut-down, which would wait for them, is then left out.
#include <windows.h>

#include <mutex>

#include "platform/library.h"
#include "platform/module.h"

namespace korvane::platform {
namespace {

std::once_flag gLoaded;

}  // namespace

void EnsureModuleLoaded() noexcept {
  try {
    std::call_once(gLoaded, [] {
      PinCurrentModule();
      OnModuleLoad();
    });
  } catch (...) {
  }
}

}  // namespace korvane::platform

extern "C" BOOL WINAPI DllMain(HINSTANCE aModule, DWORD aReason, LPVOID aReserved) {
  switch (aReason) {
    case DLL_PROCESS_ATTACH:
      // No per-thread notifications: the library keeps nothing per thread.
      DisableThreadLibraryCalls(aModule);
      break;
    case DLL_PROCESS_DETACH:
      // Only at the end of the process (the module is pinned once started;
      // a module never started has nothing to shut down).
      static_cast<void>(aReserved);
      break;
    default: break;
  }
  return TRUE;
}
