// Loading the library with dlopen; the BSTR functions are its own exports.
#include <dlfcn.h>

#include <stdexcept>

#include "support/host_system.h"

namespace korvane::testing::host_system {

const bool kLibraryStartsOnLoad = true;
const bool kLibraryExportsStrings = true;

void* Load(const std::string& aPath) {
  void* module = dlopen(aPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) throw std::runtime_error(std::string("cannot load the library: ") + dlerror());
  return module;
}

void* Find(void* aModule, const char* aName) { return dlsym(aModule, aName); }

void Unload(void* aModule) { dlclose(aModule); }

bool IsLoaded(const std::string& aPath) {
  void* module = dlopen(aPath.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
  if (module) dlclose(module);
  return module != nullptr;
}

Strings StringsOf(void* aModule) {
  Strings strings{};
  void* alloc = Find(aModule, "SysAllocStringLen");
  void* release = Find(aModule, "SysFreeString");
  void* length = Find(aModule, "SysStringLen");
  if (!alloc || !release || !length) throw std::runtime_error("the library exports no BSTR functions");
  strings.alloc = reinterpret_cast<decltype(strings.alloc)>(alloc);
  strings.release = reinterpret_cast<decltype(strings.release)>(release);
  strings.length = reinterpret_cast<decltype(strings.length)>(length);
  return strings;
}

}  // namespace korvane::testing::host_system
