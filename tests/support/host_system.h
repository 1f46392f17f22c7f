// What loading the library takes on each system, for support/host_library.h:
// the module loaded and searched by name, and the functions that make,
// measure and free the strings of the calls (BSTRs). Here the library exports
// those itself; on Windows they are OleAut32's, as every Windows host has
// them. One file per system: support/host_system_posix.cpp (dlopen) and
// support/host_system_win32.cpp (LoadLibraryW, OleAut32).
#pragma once

#include <cstdint>
#include <string>

namespace korvane::testing::host_system {

// The library at aPath (UTF-8), loaded; raises std::runtime_error with the
// system's reason when it cannot be.
void* Load(const std::string& aPath);
// The address of the export aName, or null when there is none.
void* Find(void* aModule, const char* aName);
void Unload(void* aModule);
// Whether the library at aPath is loaded in this process now.
bool IsLoaded(const std::string& aPath);

// The BSTR functions a host of aModule uses.
struct Strings {
  char16_t* (*alloc)(const char16_t* aText, uint32_t aLength);
  void (*release)(char16_t* aText);
  uint32_t (*length)(char16_t* aText);
};
Strings StringsOf(void* aModule);

// True where the library starts when it is loaded (here); on Windows it
// starts on its first call, as nothing may wait under the loader's lock.
extern const bool kLibraryStartsOnLoad;

// True where the library exports the BSTR functions itself (not on Windows).
extern const bool kLibraryExportsStrings;

}  // namespace korvane::testing::host_system
