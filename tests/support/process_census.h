// What this process holds of the system, counted for tests that check that a
// library unloaded leaves nothing behind: its threads (Toolhelp on Windows,
// /proc/self/task here), its open handles (file descriptors here) and its
// address space in use (reserved or committed). Header-only: the smoke host,
// which links none of the test support, counts with it too.
#pragma once

#include <cstddef>
#include <cstdint>

#ifdef _WIN32
#include <windows.h>
// (after windows.h)
#include <tlhelp32.h>
#else
#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#endif

namespace korvane::testing {

#ifdef _WIN32

inline size_t ProcessThreadCount() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  size_t count = 0;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
  CloseHandle(snapshot);
  return count;
}

inline size_t ProcessHandleCount() {
  DWORD count = 0;
  if (GetProcessHandleCount(GetCurrentProcess(), &count) && count != 0) return count;
  // Wine answers 0. It hands out the lowest free handle value (a multiple of
  // 4), so a new handle's value tells how many are open below it.
  HANDLE probe = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (probe == nullptr) return 0;
  const size_t below = reinterpret_cast<uintptr_t>(probe) / 4;
  CloseHandle(probe);
  return below;
}

inline uint64_t AddressSpaceInUse() {
  uint64_t inUse = 0;
  MEMORY_BASIC_INFORMATION region{};
  for (const char* at = nullptr; VirtualQuery(at, &region, sizeof region) == sizeof region;
       at = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
    if (region.State != MEM_FREE) inUse += region.RegionSize;
    if (region.RegionSize == 0) break;
  }
  return inUse;
}

#else

namespace census_detail {
inline size_t Entries(const char* aFolder) {
  DIR* folder = opendir(aFolder);
  if (folder == nullptr) return 0;
  size_t count = 0;
  while (const dirent* entry = readdir(folder))
    if (entry->d_name[0] != '.') ++count;
  closedir(folder);
  return count;
}
}  // namespace census_detail

inline size_t ProcessThreadCount() { return census_detail::Entries("/proc/self/task"); }

// (less the one the count itself opens)
inline size_t ProcessHandleCount() { return census_detail::Entries("/proc/self/fd") - 1; }

inline uint64_t AddressSpaceInUse() {
  unsigned long long pages = 0;
  if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(statm, "%llu", &pages) != 1) pages = 0;
    std::fclose(statm);
  }
  return static_cast<uint64_t>(pages) * static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
}

#endif

}  // namespace korvane::testing
