// A lock file in the temporary folder, held with LockFileEx: the lock is the
// handle's, and ends with the process even when it dies, like the POSIX
// flock() lock of named_lock_posix.cpp.
#include <windows.h>

#include "platform/error.h"
#include "platform/filesystem.h"
#include "platform/named_lock.h"
#include "platform/wide_win32.h"

namespace korvane::platform {
namespace {

class FileLock : public NamedLock {
 public:
  explicit FileLock(const std::wstring& aPath)
      : fFile(CreateFileW(aPath.c_str(), GENERIC_READ | GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr)) {
    if (fFile == INVALID_HANDLE_VALUE)
      ThrowOsError(static_cast<int>(GetLastError()), "Cannot create the lock \"" + Narrow(aPath) + "\": ");
  }
  ~FileLock() override { CloseHandle(fFile); }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  bool TryAcquire() override {
    if (fHeld) return true;
    OVERLAPPED first{};
    fHeld = LockFileEx(fFile, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &first) != 0;
    return fHeld;
  }
  void Release() override {
    if (!fHeld) return;
    OVERLAPPED first{};
    UnlockFileEx(fFile, 0, 1, 0, &first);
    fHeld = false;
  }

 private:
  HANDLE fFile;
  bool fHeld = false;
};

}  // namespace

std::unique_ptr<NamedLock> CreateNamedLock(const std::string& aName) {
  wchar_t folder[MAX_PATH + 1];
  const DWORD n = GetTempPathW(MAX_PATH + 1, folder);
  std::wstring path = n > 0 && n <= MAX_PATH ? std::wstring(folder, n) : std::wstring(L".\\");
  std::string safe;
  for (char c : aName) safe += IsPathDelimiter(c) || c == ':' ? '_' : c;
  path += Widen("korvane-" + safe + ".lock");
  return std::make_unique<FileLock>(path);
}

}  // namespace korvane::platform
