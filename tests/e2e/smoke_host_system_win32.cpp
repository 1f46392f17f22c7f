// The Windows half of the smoke host: the DLL's path from the wide command
// line and the watchdog.
#include <windows.h>

#include "e2e/smoke_host_system.h"
// (after <windows.h>)
#include <shellapi.h>

#include <cstdio>
#include <stdexcept>
#include <thread>

#include "helpers/utf.h"
#include "support/test_support.h"

// The one helper of the test support the request texts (e2e/requests.h)
// take: the smoke host links none of it (nor its HTTP servers).
namespace korvane::testing {
unsigned long ThisProcessId() { return GetCurrentProcessId(); }
}  // namespace korvane::testing

namespace korvane::smoke {

void StartWatchdog(int aSeconds) {
  std::thread([aSeconds] {
    Sleep(static_cast<DWORD>(aSeconds) * 1000u);
    std::fprintf(stderr, "smoke: FAILED: still running after %d s (a call or the unload hangs)\n", aSeconds);
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);  // the DLL's detach code is not run again
  }).detach();
}

std::string LibraryPathArgument() {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments == nullptr || count < 2) {
    LocalFree(arguments);
    throw std::runtime_error("usage: smoke_host PATH_OF_QORD_KORVANE_10.dll");
  }
  const std::wstring path = arguments[1];
  LocalFree(arguments);
  return platform::Utf16ToUtf8Replacing(std::u16string(path.begin(), path.end()));
}

}  // namespace korvane::smoke
