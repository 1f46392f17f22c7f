// Loading the DLL with LoadLibraryW from its wide path; the BSTR functions
// are OleAut32's, which the DLL does not export.
#include <windows.h>
// after windows.h
#include <oleauto.h>

#include "helpers/utf.h"
#include "korvane_library.h"
#include "library_module.h"

namespace korvane::host {

const bool kLibraryStartsOnLoad = false;
const bool kLibraryExportsStrings = false;

namespace library_module {

namespace {

// OLECHAR is wchar_t here, char16_t for the library's callers: both UTF-16.
static_assert(sizeof(OLECHAR) == sizeof(char16_t));
char16_t* Alloc(const char16_t* aText, uint32_t aLength) {
  return reinterpret_cast<char16_t*>(::SysAllocStringLen(reinterpret_cast<const OLECHAR*>(aText), aLength));
}
void Release(char16_t* aText) { ::SysFreeString(reinterpret_cast<BSTR>(aText)); }
uint32_t Length(char16_t* aText) { return ::SysStringLen(reinterpret_cast<BSTR>(aText)); }

std::wstring Wide(const std::string& aUtf8) {
  const std::u16string wide = platform::Utf8ToUtf16(aUtf8);
  return std::wstring(wide.begin(), wide.end());
}

// The system's text of the last error, with its code.
std::string LastErrorText() {
  const DWORD code = ::GetLastError();
  wchar_t* text = nullptr;
  const DWORD n = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  std::string message = n != 0 && text ? platform::Utf16ToUtf8Replacing(std::u16string(text, text + n)) : "";
  ::LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
    message.pop_back();
  return message + " (error " + std::to_string(code) + ")";
}

}  // namespace

void* Load(const std::string& aPath, std::string& aReason) {
  HMODULE module = ::LoadLibraryW(Wide(aPath).c_str());
  if (!module) aReason = LastErrorText();
  return reinterpret_cast<void*>(module);
}

void* Find(void* aModule, const char* aName) {
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(aModule), aName));
}

bool Unload(void* aModule, std::string& aReason) {
  if (::FreeLibrary(static_cast<HMODULE>(aModule))) return true;
  aReason = LastErrorText();
  return false;
}

bool IsLoaded(const std::string& aPath) { return ::GetModuleHandleW(Wide(aPath).c_str()) != nullptr; }

Strings StringsOf(void*) { return Strings{Alloc, Release, Length}; }

}  // namespace library_module
}  // namespace korvane::host
