// The Windows half of the smoke host: loader, OleAut32 strings, the display
// application on loopback (the end-to-end tests' own peer) and the watchdog.
#include "e2e/smoke_host_system.h"

// Winsock before <windows.h>, the system headers after it.
#include <winsock2.h>
// (after Winsock)
#include <windows.h>
// (after <windows.h>)
#include <oleauto.h>
#include <shellapi.h>

#include <cstdio>
#include <stdexcept>
#include <thread>

#include "e2e/display_peer.h"
#include "support/test_support.h"

// The one helper of the test support the request texts (e2e/requests.h)
// take: the smoke host links none of it (nor its HTTP servers).
namespace korvane::testing {
unsigned long ThisProcessId() { return GetCurrentProcessId(); }
}  // namespace korvane::testing

namespace korvane::smoke {
namespace {

std::string Narrow(const std::wstring& aText) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, aText.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(size > 0 ? static_cast<size_t>(size) : 1u, '\0');
  WideCharToMultiByte(CP_UTF8, 0, aText.c_str(), -1, out.data(), size, nullptr, nullptr);
  out.resize(out.size() - 1);
  return out;
}

std::string SystemMessage(DWORD aCode) {
  wchar_t* text = nullptr;
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                 nullptr, aCode, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message = text ? Narrow(text) : "";
  LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
    message.pop_back();
  return message + " (error " + std::to_string(aCode) + ")";
}

}  // namespace

void StartWatchdog(int aSeconds) {
  std::thread([aSeconds] {
    Sleep(static_cast<DWORD>(aSeconds) * 1000u);
    std::fprintf(stderr, "smoke: FAILED: still running after %d s (a call or the unload hangs)\n", aSeconds);
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);  // the DLL's detach code is not run again
  }).detach();
}

Driver::Driver() {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments == nullptr || count < 2) {
    LocalFree(arguments);
    throw std::runtime_error("usage: smoke_host PATH_OF_QORD_KORVANE_10.dll");
  }
  const std::wstring path = arguments[1];
  LocalFree(arguments);
  fPath = Narrow(path);
  fModule = LoadLibraryW(path.c_str());
  if (fModule == nullptr)
    throw std::runtime_error("LoadLibraryW(" + fPath + "): " + SystemMessage(GetLastError()));
}

Driver::~Driver() {
  if (fModule) FreeLibrary(static_cast<HMODULE>(fModule));
}

void* Driver::Export(const char* aName) const {
  FARPROC address = GetProcAddress(static_cast<HMODULE>(fModule), aName);
  if (address == nullptr) throw std::runtime_error(std::string("no export ") + aName + " in " + fPath);
  return reinterpret_cast<void*>(address);
}

void Driver::Unload() {
  HMODULE module = static_cast<HMODULE>(fModule);
  fModule = nullptr;
  if (!FreeLibrary(module)) throw std::runtime_error("FreeLibrary: " + SystemMessage(GetLastError()));
}

static_assert(sizeof(OLECHAR) == sizeof(char16_t));

char16_t* AllocString(const std::u16string& aText) {
  BSTR text =
      SysAllocStringLen(reinterpret_cast<const OLECHAR*>(aText.data()), static_cast<UINT>(aText.size()));
  if (text == nullptr) throw std::runtime_error("SysAllocStringLen failed");
  return reinterpret_cast<char16_t*>(text);
}

uint32_t StringLength(const char16_t* aText) {
  return SysStringLen(reinterpret_cast<BSTR>(const_cast<char16_t*>(aText)));
}

void FreeString(char16_t* aText) { SysFreeString(reinterpret_cast<BSTR>(aText)); }

struct Peer::Impl {
  testing::DisplayPeer peer;
};

Peer::Peer() : fImpl(std::make_unique<Impl>()) {}
Peer::~Peer() = default;
int Peer::Port() const { return fImpl->peer.Port(); }
std::vector<std::string> Peer::Messages() const { return fImpl->peer.Messages(); }
int Peer::Connections() const { return fImpl->peer.Connections(); }

}  // namespace korvane::smoke
