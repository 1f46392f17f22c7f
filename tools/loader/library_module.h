// What loading the library takes on each system, for the loader
// (korvane_library.h): the module loaded, searched by name and unloaded, and
// the functions that make, measure and free the strings of the calls
// (BSTRs). Here the library exports those itself; on Windows they are
// OleAut32's, as every Windows host has them. One file per system:
// library_module_posix.cpp (dlopen) and library_module_win32.cpp
// (LoadLibraryW, OleAut32).
#pragma once

#include <cstdint>
#include <string>

namespace korvane::host::library_module {

// The library at aPath (UTF-8), loaded; nullptr with the system's reason in
// aReason when it cannot be.
void* Load(const std::string& aPath, std::string& aReason);
// The address of the export aName, or null when there is none.
void* Find(void* aModule, const char* aName);
// False with the system's reason in aReason when the system refuses.
bool Unload(void* aModule, std::string& aReason);
// Whether the library at aPath is loaded in this process now.
bool IsLoaded(const std::string& aPath);

// The BSTR functions a host of aModule uses; null where the library lacks
// one it should export.
struct Strings {
  char16_t* (*alloc)(const char16_t* aText, uint32_t aLength) = nullptr;
  void (*release)(char16_t* aText) = nullptr;
  uint32_t (*length)(char16_t* aText) = nullptr;
};
Strings StringsOf(void* aModule);

}  // namespace korvane::host::library_module
