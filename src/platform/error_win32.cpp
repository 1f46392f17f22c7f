

#include <windows.h>

#include <cstdio>

#include "platform/error.h"
#include "platform/wide_win32.h"

namespace korvane::platform {

std::string OsErrorText(int aCode) {
  const DWORD code = static_cast<DWORD>(aCode);
  wchar_t* text = nullptr;
  const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS;
  DWORD n = FormatMessageW(flags | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, 0,
                           reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  // The HTTP client's codes (12000 and up) are described by its own module.
  if (n == 0 && code >= 12000 && code < 13000) {
    if (HMODULE http = GetModuleHandleW(L"winhttp.dll"))
      n = FormatMessageW(flags | FORMAT_MESSAGE_FROM_HMODULE, http, code, 0, reinterpret_cast<LPWSTR>(&text),
                         0, nullptr);
  }
  if (n == 0 || text == nullptr) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "Unknown error %lu", static_cast<unsigned long>(code));
    return buffer;
  }
  std::wstring message(text, n);
  LocalFree(text);
  while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n' || message.back() == L' '))
    message.pop_back();
  return Narrow(message);
}

void ThrowOsError(int aCode, const std::string& aContext) {
  throw OsError(aCode, aContext + OsErrorText(aCode));
}

}  // namespace korvane::platform
