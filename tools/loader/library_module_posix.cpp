// Loading the library with dlopen; the BSTR functions are its own exports.
#include <dlfcn.h>

#include "korvane_library.h"
#include "library_module.h"

namespace korvane::host {

const bool kLibraryStartsOnLoad = true;
const bool kLibraryExportsStrings = true;

namespace library_module {

void* Load(const std::string& aPath, std::string& aReason) {
  // A bare file name would make dlopen search the system's folders.
  const std::string path = aPath.find('/') == std::string::npos ? "./" + aPath : aPath;
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    const char* reason = dlerror();
    aReason = reason ? reason : "unknown reason";
  }
  return module;
}

void* Find(void* aModule, const char* aName) { return dlsym(aModule, aName); }

bool Unload(void* aModule, std::string& aReason) {
  if (dlclose(aModule) == 0) return true;
  const char* reason = dlerror();
  aReason = reason ? reason : "unknown reason";
  return false;
}

bool IsLoaded(const std::string& aPath) {
  void* module = dlopen(aPath.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
  if (module) dlclose(module);
  return module != nullptr;
}

Strings StringsOf(void* aModule) {
  Strings strings;
  strings.alloc = reinterpret_cast<decltype(strings.alloc)>(Find(aModule, "SysAllocStringLen"));
  strings.release = reinterpret_cast<decltype(strings.release)>(Find(aModule, "SysFreeString"));
  strings.length = reinterpret_cast<decltype(strings.length)>(Find(aModule, "SysStringLen"));
  return strings;
}

}  // namespace library_module
}  // namespace korvane::host
