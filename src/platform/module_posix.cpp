// The module's entry on this platform: the loader runs the module's
// constructor functions when it loads the module, and its destructor
// functions before the module's static objects are destroyed.
#include "platform/module.h"

namespace korvane::platform {

namespace {

__attribute__((constructor)) void ModuleLoad() { OnModuleLoad(); }
__attribute__((destructor)) void ModuleUnload() { OnModuleUnload(); }

}  // namespace

void EnsureModuleLoaded() noexcept {}

void LeaveModule() noexcept {}
}  // namespace korvane::platform
