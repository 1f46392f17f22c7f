// Loading the DLL with LoadLibraryW from its wide path; the BSTR functions
// are OleAut32's, which the DLL does not export.
#include <windows.h>
// after windows.h
#include <oleauto.h>

#include <stdexcept>

#include "helpers/utf.h"
#include "support/host_system.h"

namespace korvane::testing::host_system {

namespace {

// OLECHAR is wchar_t here, char16_t for the library's callers: both UTF-16.
char16_t* Alloc(const char16_t* aText, uint32_t aLength) {
  return reinterpret_cast<char16_t*>(::SysAllocStringLen(reinterpret_cast<const OLECHAR*>(aText), aLength));
}
void Release(char16_t* aText) { ::SysFreeString(reinterpret_cast<BSTR>(aText)); }
uint32_t Length(char16_t* aText) { return ::SysStringLen(reinterpret_cast<BSTR>(aText)); }

std::string LastErrorText() {
  const DWORD code = ::GetLastError();
  wchar_t* text = nullptr;
  const DWORD n = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  std::string message = "error " + std::to_string(code);
  if (n != 0 && text) message += ": " + platform::Utf16ToUtf8Replacing(std::u16string(text, text + n));
  ::LocalFree(text);
  return message;
}

}  // namespace

const bool kLibraryStartsOnLoad = false;
const bool kLibraryExportsStrings = false;

void* Load(const std::string& aPath) {
  const std::u16string path = platform::Utf8ToUtf16(aPath);
  HMODULE module = ::LoadLibraryW(std::wstring(path.begin(), path.end()).c_str());
  if (!module) throw std::runtime_error("cannot load the library: " + LastErrorText());
  return reinterpret_cast<void*>(module);
}

void* Find(void* aModule, const char* aName) {
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(aModule), aName));
}

void Unload(void* aModule) { ::FreeLibrary(static_cast<HMODULE>(aModule)); }

bool IsLoaded(const std::string& aPath) {
  const std::u16string path = platform::Utf8ToUtf16(aPath);
  return ::GetModuleHandleW(std::wstring(path.begin(), path.end()).c_str()) != nullptr;
}

Strings StringsOf(void*) { return Strings{Alloc, Release, Length}; }

}  // namespace korvane::testing::host_system
