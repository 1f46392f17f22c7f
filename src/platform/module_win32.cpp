// The module's entry on Windows. DllMain runs under the loader's lock, where
// a thread can neither start running nor end: so it starts, waits for and
// joins none. The library's start-up (which starts its log thread) runs on
// the first call of an export instead.
// The shut-down runs in DllMain, told which unload it is in: when the host
// unloads the module (FreeLibrary), no thread of the library runs any more
// (each holds the module while it runs: module_thread.h), and the module may
// be going on the last of them; at the end of the process the system has
// stopped them already. Either way their work is finished on this thread.
#include <windows.h>

#include <atomic>

#include "platform/module.h"
#include "platform/module_unload.h"
#include "platform/thread_detach_win32.h"

// The C++ runtime's emergency store for exceptions thrown when memory runs
// out: it allocates it at load and, being meant to last until the process
// ends, never frees it (only this call does). Linked into the module, the
// runtime would leave one such store behind at every unload.
namespace __gnu_cxx {
void __freeres() noexcept;
}

namespace korvane::platform {
namespace {

// (the system's own one-time start: the threads library's would keep a
// record of each host thread that comes by, which nothing frees at unload)
INIT_ONCE gLoaded = INIT_ONCE_STATIC_INIT;
std::atomic<bool> gStarted{false};
HMODULE gModule = nullptr;

BOOL CALLBACK Load(PINIT_ONCE, PVOID, PVOID*) {
  OnModuleLoad();
  gStarted.store(true);
  return TRUE;
}

}  // namespace

void EnsureModuleLoaded() noexcept { InitOnceExecuteOnce(&gLoaded, &Load, nullptr, nullptr); }

void LeaveModule() noexcept {
  if (gModule != nullptr) DetachThreadFromModule(gModule);
}

}  // namespace korvane::platform

extern "C" BOOL WINAPI DllMain(HINSTANCE aModule, DWORD aReason, LPVOID aReserved) {
  using namespace korvane::platform;
  switch (aReason) {
    case DLL_PROCESS_ATTACH:
      gModule = aModule;
      // No per-thread notifications: the library keeps nothing per thread.
      DisableThreadLibraryCalls(aModule);
      break;
    case DLL_PROCESS_DETACH:
      // A module never started has nothing to shut down. (aReserved is not
      // null when the process is ending.)
      if (gStarted.load()) {
        SetModuleUnload(aReserved != nullptr ? ModuleUnload::ProcessEnd : ModuleUnload::Library);
        OnModuleUnload();
        SetModuleUnload(ModuleUnload::None);
      }
      // The process goes on without the module: what the runtime holds goes
      // back to it, and what it keeps for this thread.
      if (aReserved == nullptr) {
        __gnu_cxx::__freeres();
        DetachThreadFromModule(aModule);
      }
      break;
    default: break;
  }
  return TRUE;
}
