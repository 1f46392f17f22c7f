#include "platform/module_unload.h"

#include <atomic>

namespace korvane::platform {
namespace {

std::atomic<ModuleUnload> gUnload{ModuleUnload::None};

}  // namespace

ModuleUnload CurrentModuleUnload() noexcept { return gUnload.load(); }

void SetModuleUnload(ModuleUnload aUnload) noexcept { gUnload.store(aUnload); }

}  // namespace korvane::platform
