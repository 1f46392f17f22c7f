#include "platform/long_path_win32.h"

#include <windows.h>

#include "platform/wide_win32.h"

namespace korvane::platform {
namespace {

bool IsDelimiter(wchar_t aChar) { return aChar == L'\\' || aChar == L'/'; }

bool StartsWith(const std::wstring& aText, std::wstring_view aStart) {
  return aText.compare(0, aStart.size(), aStart) == 0;
}

// "C:\..." or "\\server\share\..." (either delimiter): what may be prefixed.
bool IsAbsolute(const std::wstring& aPath) {
  if (aPath.size() >= 3 && aPath[1] == L':' && IsDelimiter(aPath[2])) return true;
  return aPath.size() >= 3 && IsDelimiter(aPath[0]) && IsDelimiter(aPath[1]) && !IsDelimiter(aPath[2]);
}

}  // namespace

std::wstring LongPath(std::string_view aPath) {
  const std::wstring wide = Widen(aPath);
  // Already in a form the system does not clean up: "\\?\", "\??\" and the
  // devices' "\\.\" (also written with slashes).
  if (wide.size() >= 4 && IsDelimiter(wide[0]) && (IsDelimiter(wide[1]) || wide[1] == L'?') &&
      (wide[2] == L'?' || wide[2] == L'.') && IsDelimiter(wide[3]))
    return wide;
  if (!IsAbsolute(wide)) return wide;
  std::wstring full(wide.size() + 16, L'\0');
  for (;;) {
    const DWORD size = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (size == 0) return wide;  // the file call that follows reports it
    if (size < full.size()) {
      full.resize(size);
      break;
    }
    full.resize(size);
  }
  if (StartsWith(full, L"\\\\?\\") || StartsWith(full, L"\\\\.\\")) return full;
  if (StartsWith(full, L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

}  // namespace korvane::platform
