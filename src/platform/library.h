// Shared libraries loaded at run time.
#pragma once

#include <string>

namespace korvane::platform {

using LibraryHandle = void*;

// The file name of the library itself, as the build makes it.
#ifdef _WIN32
inline constexpr const char* kOwnLibraryFileName = "QORD_KORVANE_10.dll";
#else
inline constexpr const char* kOwnLibraryFileName = "QORD_KORVANE_10.so";
#endif

// Loads a shared library; a name without a path is searched by the loader's
// usual rules. Fails with an OsError whose message is the loader's own text
// and whose code is the system error behind the failure (0 when there is
// none).
LibraryHandle LoadSharedLibrary(const std::string& aName);

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
