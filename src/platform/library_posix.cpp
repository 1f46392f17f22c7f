#include <dlfcn.h>

#include <cerrno>

#include "platform/error.h"
#include "platform/library.h"

namespace korvane::platform {
namespace {

// The loader keeps errno to itself; when a system call failed, its text ends
// with ": " and that error's own text, which gives the number back.
int ErrorNumberOf(const std::string& aText) {
  for (int code = 1; code < 256; ++code) {
    const std::string suffix = ": " + OsErrorText(code);
    if (aText.size() > suffix.size() &&
        aText.compare(aText.size() - suffix.size(), suffix.size(), suffix) == 0)
      return code;
  }
  return 0;
}

}  // namespace

LibraryHandle LoadSharedLibrary(const std::string& aName) {
  errno = 0;
  dlerror();  // forget an earlier failure
  void* handle = dlopen(aName.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle != nullptr) return handle;
  const int savedErrno = errno;
  const char* loaderText = dlerror();
  const std::string text = loaderText != nullptr ? loaderText : "";
  throw OsError(savedErrno != 0 ? savedErrno : ErrorNumberOf(text), text);
}

void* FindLibrarySymbol(LibraryHandle aHandle, const std::string& aName) {
  if (aHandle == nullptr) return nullptr;
  dlerror();
  return dlsym(aHandle, aName.c_str());
}

void FreeSharedLibrary(LibraryHandle aHandle) {
  if (aHandle != nullptr) dlclose(aHandle);
}

}  // namespace korvane::platform

namespace korvane::platform {

LibraryHandle PinCurrentModule() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&PinCurrentModule), &info) == 0 || info.dli_fname == nullptr)
    return nullptr;
  // The program itself cannot be unloaded; only a shared library needs pinning.
  void* self = dlopen(nullptr, RTLD_NOW);
  void* module = dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
  if (module == self) {
    if (module) dlclose(module);
    module = nullptr;
  }
  if (self) dlclose(self);
  return module;
}

}  // namespace korvane::platform
