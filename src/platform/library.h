// Shared libraries loaded at run time.
#pragma once

#include <string>

namespace korvane::platform {

using LibraryHandle = void*;

struct LibraryError {
  int code = 0;      // the system error number behind the failure, 0 when there is none
  std::string text;  // the loader's own text
};

// Loads a shared library; a name without a path is searched by the loader's
// usual rules. Null on failure, with aError filled in.
LibraryHandle LoadSharedLibrary(const std::string& aName, LibraryError& aError);

// The address of the exported symbol aName, matching letter case exactly;
// null when the library has no such export.
void* FindLibrarySymbol(LibraryHandle aHandle, const std::string& aName);

// Unloads a library loaded by LoadSharedLibrary; a null handle is ignored.
void FreeSharedLibrary(LibraryHandle aHandle);

}  // namespace korvane::platform

namespace korvane::platform {

// Loads the module that holds this code once more, pinned so that it is never
// unloaded before the process ends; null when that is not possible (as when
// the code is part of the program itself).
LibraryHandle PinCurrentModule();

}  // namespace korvane::platform
