// How the module is being taken out of the process, for the library's
// shut-down that runs meanwhile: its threads cannot be ended the same way in
// each case. The module's entry sets it around the shut-down it runs.
#pragma once

namespace korvane::platform {

enum class ModuleUnload {
  // Not being unloaded, or unloaded where a thread can end and be waited
  // for as at any other time.
  None,
  // The host unloads the module and the process goes on, under the loader's
  // lock (Windows): no thread may be started or waited for. The library's
  // threads are over already, as each kept the module loaded while it ran
  // (module_thread.h).
  Library,
  // The process is ending and the system has already stopped every other
  // thread: what they left undone is done on the unloading thread, without
  // waiting for them.
  ProcessEnd,
};

ModuleUnload CurrentModuleUnload() noexcept;
void SetModuleUnload(ModuleUnload aUnload) noexcept;

}  // namespace korvane::platform
