// Files through the wide-character calls and the long form of paths, so
// that any path the system allows works, whatever the ANSI code page and
// however long.
#include <windows.h>

#include <algorithm>

#include "platform/error.h"
#include "platform/filesystem.h"
#include "platform/long_path_win32.h"
#include "platform/module_unload.h"

namespace korvane::platform {

namespace {

DWORD Attributes(const std::string& aPath) { return GetFileAttributesW(LongPath(aPath).c_str()); }

// Where the folders of aPath begin: after "C:\", "\\server\share\" or "\".
size_t RootLength(const std::string& aPath) {
  if (aPath.size() >= 2 && aPath[1] == ':') return aPath.size() > 2 && IsPathDelimiter(aPath[2]) ? 3 : 2;
  if (aPath.size() >= 2 && IsPathDelimiter(aPath[0]) && IsPathDelimiter(aPath[1])) {
    // \\server\share\ (or \\?\C:\ ...): past the second component.
    size_t i = 2;
    for (int parts = 0; parts < 2 && i < aPath.size(); ++parts) {
      while (i < aPath.size() && !IsPathDelimiter(aPath[i])) ++i;
      if (i < aPath.size()) ++i;
    }
    return i;
  }
  return !aPath.empty() && IsPathDelimiter(aPath[0]) ? 1 : 0;
}

class FileHandle {
 public:
  explicit FileHandle(HANDLE aHandle) : fHandle(aHandle) {}
  ~FileHandle() {
    if (fHandle != INVALID_HANDLE_VALUE) CloseHandle(fHandle);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  HANDLE Get() const { return fHandle; }
  // Closes now; the system's error code when that fails, else 0.
  DWORD Close() {
    const HANDLE handle = fHandle;
    fHandle = INVALID_HANDLE_VALUE;
    return CloseHandle(handle) ? 0 : GetLastError();
  }

 private:
  HANDLE fHandle;
};

int Code(DWORD aError) { return static_cast<int>(aError); }

}  // namespace

// ---- the file system -----------------------------------------------------------

bool DirectoryExists(const std::string& aPath) {
  const DWORD a = Attributes(aPath);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool FileExists(const std::string& aPath) {
  const DWORD a = Attributes(aPath);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

void ForceDirectories(const std::string& aDirectory) {
  if (aDirectory.empty()) throw Error("Cannot create directory: the directory name is empty");
  std::string path = aDirectory;
  while (path.size() > RootLength(path) && IsPathDelimiter(path.back())) path.pop_back();
  if (DirectoryExists(path)) return;
  const std::string context = "Cannot create directory \"" + path + "\": ";
  for (size_t i = std::max<size_t>(RootLength(path), 1); i <= path.size(); ++i) {
    if (i == path.size() || IsPathDelimiter(path[i])) {
      const std::string part = path.substr(0, i);
      if (!CreateDirectoryW(LongPath(part).c_str(), nullptr)) {
        const DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_ACCESS_DENIED) ThrowOsError(Code(error), context);
        // A drive's root answers "access denied"; only the last part counts.
        if (error == ERROR_ACCESS_DENIED && i == path.size()) ThrowOsError(Code(error), context);
      }
    }
  }
  if (!DirectoryExists(path)) ThrowOsError(ERROR_DIRECTORY, context);  // a file of that name is in the way
}

int64_t FileSize(const std::string& aPath) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(LongPath(aPath).c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return -1;
  return static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
}

void RenameFile(const std::string& aFrom, const std::string& aTo) {
  // Without MOVEFILE_REPLACE_EXISTING an existing target is never replaced.
  if (!MoveFileExW(LongPath(aFrom).c_str(), LongPath(aTo).c_str(), 0))
    ThrowOsError(Code(GetLastError()), "Cannot rename \"" + aFrom + "\" to \"" + aTo + "\": ");
}

void AppendToFile(const std::string& aPath, std::string_view aData) {
  // (The failure's context is made only for a failure: a log line comes here.)
  auto context = [&aPath] { return "Cannot append to \"" + aPath + "\": "; };
  // Other processes may read, append and rotate the file meanwhile; the lock
  // below keeps the writers apart.
  FileHandle file(CreateFileW(LongPath(aPath).c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.Get() == INVALID_HANDLE_VALUE) ThrowOsError(Code(GetLastError()), context());
  // The writers' lock is one byte far beyond any data: a lock on the data
  // itself would also keep readers out while a line goes in.
  OVERLAPPED lockByte{};
  lockByte.Offset = MAXDWORD;
  lockByte.OffsetHigh = 0x7FFFFFFF;
  DWORD error = 0;
  if (!LockFileEx(file.Get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &lockByte))
    error = GetLastError();
  // At the end of the process a thread of ours that the system stopped while
  // it appended holds the lock for as long as the process lasts: the last
  // lines go in without it.
  if (error == ERROR_LOCK_VIOLATION && CurrentModuleUnload() == ModuleUnload::ProcessEnd) error = 0;
  // The size before the append, taken under the lock: nobody else appends now.
  LARGE_INTEGER before{};
  if (error == 0 && !SetFilePointerEx(file.Get(), LARGE_INTEGER{}, &before, FILE_END)) error = GetLastError();
  size_t done = 0;
  while (error == 0 && done < aData.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(aData.size() - done, 1u << 30));
    DWORD written = 0;
    if (!WriteFile(file.Get(), aData.data() + done, chunk, &written, nullptr))
      error = GetLastError();
    else if (written == 0)
      error = ERROR_WRITE_FAULT;
    else
      done += written;
  }
  if (error != 0 && done > 0) {
    // Stopped part-way: no fragment stays behind.
    if (SetFilePointerEx(file.Get(), before, nullptr, FILE_BEGIN)) SetEndOfFile(file.Get());
  }
  // Closing releases the lock; the data is in the file for every reader.
  const DWORD closed = file.Close();
  if (error == 0) error = closed;
  if (error != 0) ThrowOsError(Code(error), context());
}

std::string ReadFileBytes(const std::string& aPath, size_t aMaxBytes) {
  const std::string context = "Cannot open file \"" + aPath + "\". ";
  // Opening never waits: a pipe without a free instance fails at once. With
  // backup semantics a folder opens too, to be told apart below.
  FileHandle file(CreateFileW(LongPath(aPath).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (file.Get() == INVALID_HANDLE_VALUE) ThrowOsError(Code(GetLastError()), context);
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileType(file.Get()) != FILE_TYPE_DISK || !GetFileInformationByHandle(file.Get(), &info))
    throw Error(context + "Not a regular file");
  // A folder: what the system answers when one is opened as a file.
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) ThrowOsError(ERROR_ACCESS_DENIED, context);
  const std::string tooLarge = context + "File larger than " + std::to_string(aMaxBytes) + " bytes";
  const uint64_t size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  if (size > aMaxBytes) throw Error(tooLarge);
  // Read straight into the result; a file that grows meanwhile is read to its
  // end, up to the limit.
  std::string data(static_cast<size_t>(size) + 1, '\0');
  size_t got = 0;
  for (;;) {
    if (got == data.size()) {
      if (got > aMaxBytes) throw Error(tooLarge);
      // One byte beyond the limit tells a file that is too large.
      data.resize(got + std::min(std::max<size_t>(got, 65536), aMaxBytes - got) + 1);
    }
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(data.size() - got, 1u << 30));
    DWORD n = 0;
    if (!ReadFile(file.Get(), data.data() + got, chunk, &n, nullptr)) {
      const DWORD error = GetLastError();
      if (error == ERROR_HANDLE_EOF) break;
      ThrowOsError(Code(error), context);
    }
    if (n == 0) break;
    got += n;
  }
  if (got > aMaxBytes) throw Error(tooLarge);
  data.resize(got);
  return data;
}

}  // namespace korvane::platform
