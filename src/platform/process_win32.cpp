#include <windows.h>
// (the system headers below need <windows.h> first)
#include <shellapi.h>

#include "platform/error.h"
#include "platform/filesystem.h"
#include "platform/process.h"
#include "platform/wide_win32.h"

namespace korvane::platform {

std::string ExecutablePath() {
  // The module null is the program that started the process, not this DLL.
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) ThrowOsError(static_cast<int>(GetLastError()), "Cannot read the executable path: ");
    if (n < buffer.size()) {
      buffer.resize(n);
      return Narrow(buffer);
    }
    if (buffer.size() >= 32768) ThrowOsError(ERROR_INSUFFICIENT_BUFFER, "Cannot read the executable path: ");
    buffer.resize(buffer.size() * 2);
  }
}

std::string ExecutableFolder() {
  const std::string path = ExecutablePath();
  return path.substr(0, path.size() - ExtractFileName(path).size());
}

std::string ExecutableBaseName() { return ChangeFileExt(ExtractFileName(ExecutablePath()), ""); }

std::vector<std::string> CommandLineParams() {
  int count = 0;
  LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> params;
  if (args == nullptr) return params;
  for (int i = 0; i < count; ++i) params.push_back(Narrow(args[i]));
  LocalFree(args);
  return params;
}

std::string CurrentDirectory() {
  const DWORD size = GetCurrentDirectoryW(0, nullptr);
  std::wstring buffer(size, L'\0');
  const DWORD n = size > 0 ? GetCurrentDirectoryW(size, buffer.data()) : 0;
  if (n == 0 || n >= size)
    ThrowOsError(static_cast<int>(GetLastError()), "Cannot read the current directory: ");
  buffer.resize(n);
  std::string folder = Narrow(buffer);
  if (folder.empty() || !IsPathDelimiter(folder.back())) folder += kPathDelim;
  return folder;
}

}  // namespace korvane::platform
