// The module's entry on Windows. DllMain runs under the loader's lock, where
// a thread can neither start running nor end: so it starts, waits for and
// joins none. The library's start-up (which starts its log thread) runs on
// the first call of an export instead.
// The shut-down runs in DllMain, told which unload it is in: when the host
// unloads the module (FreeLibrary), the library's threads still run and park
// once their work is done; at the end of the process the system has stopped
// them already, and their work is finished on this thread.
#include <windows.h>

#include <atomic>
#include <mutex>

#include "platform/module.h"
#include "platform/module_unload.h"

namespace korvane::platform {
namespace {

std::once_flag gLoaded;
std::atomic<bool> gStarted{false};

}  // namespace

void EnsureModuleLoaded() noexcept {
  try {
    std::call_once(gLoaded, [] {
      OnModuleLoad();
      gStarted.store(true);
    });
  } catch (...) {
  }
}

}  // namespace korvane::platform

extern "C" BOOL WINAPI DllMain(HINSTANCE aModule, DWORD aReason, LPVOID aReserved) {
  using namespace korvane::platform;
  switch (aReason) {
    case DLL_PROCESS_ATTACH:
      // No per-thread notifications: the library keeps nothing per thread.
      DisableThreadLibraryCalls(aModule);
      break;
    case DLL_PROCESS_DETACH:
      // A module never started has nothing to shut down. (aReserved is not
      // null when the process is ending.)
      if (!gStarted.load()) break;
      SetModuleUnload(aReserved != nullptr ? ModuleUnload::ProcessEnd : ModuleUnload::Library);
      OnModuleUnload();
      SetModuleUnload(ModuleUnload::None);
      break;
    default: break;
  }
  return TRUE;
}
