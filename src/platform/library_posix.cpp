#include <dlfcn.h>

#include <cerrno>

#include "platform/library.h"

namespace korvane::platform {

LibraryHandle LoadSharedLibrary(const std::string& aName, LibraryError& aError) {
  errno = 0;
  dlerror();  // forget an earlier failure
  void* handle = dlopen(aName.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle != nullptr) return handle;
  aError.code = errno;
  const char* text = dlerror();
  aError.text = text != nullptr ? text : "";
  return nullptr;
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
