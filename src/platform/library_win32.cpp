

#include <windows.h>

#include "platform/error.h"
#include "platform/library.h"
#include "platform/module_unload.h"
#include "platform/wide_win32.h"

namespace korvane::platform {

LibraryHandle LoadSharedLibrary(const std::string& aName) {
  const std::wstring name = Widen(aName);
  // A library named with its folder finds its own dependencies beside it.
  const bool hasFolder = aName.find_first_of("/\\") != std::string::npos;
  HMODULE module = LoadLibraryExW(name.c_str(), nullptr, hasFolder ? LOAD_WITH_ALTERED_SEARCH_PATH : 0);
  if (module != nullptr) return reinterpret_cast<LibraryHandle>(module);
  const DWORD error = GetLastError();
  throw OsError(static_cast<int>(error), OsErrorText(static_cast<int>(error)));
}

void* FindLibrarySymbol(LibraryHandle aHandle, const std::string& aName) {
  if (aHandle == nullptr) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(aHandle), aName.c_str()));
}

void FreeSharedLibrary(LibraryHandle aHandle) {
  // Never from the module's own unload, which runs under the loader's lock
  // (Windows forbids FreeLibrary there): the library then stays loaded, for
  // the process to unload with the rest. (While a device holds a library
  // the module is pinned, so only the end of the process gets here.)
  if (CurrentModuleUnload() != ModuleUnload::None) return;
  if (aHandle != nullptr) FreeLibrary(static_cast<HMODULE>(aHandle));
}

LibraryHandle PinCurrentModule() {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                          reinterpret_cast<LPCWSTR>(&PinCurrentModule), &module))
    return nullptr;
  // The program itself cannot be unloaded; only a DLL needs pinning.
  if (module == GetModuleHandleW(nullptr)) return nullptr;
  return reinterpret_cast<LibraryHandle>(module);
}

}  // namespace korvane::platform
