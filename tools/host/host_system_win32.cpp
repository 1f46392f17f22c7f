// The host tool's system calls on Windows: its own path from the module, a
// bounded connect through Winsock's select.
#include <winsock2.h>
#include <ws2tcpip.h>
// after winsock2.h
#include <windows.h>

#include <vector>

#include "helpers/utf.h"
#include "host_system.h"

namespace korvane::host {

namespace {

std::string SystemMessage(int aCode) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      static_cast<DWORD>(aCode), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::u16string message(reinterpret_cast<const char16_t*>(text), length);
  LocalFree(text);
  while (!message.empty() && (message.back() == u'\r' || message.back() == u'\n' || message.back() == u' '))
    message.pop_back();
  if (message.empty()) return "system error " + std::to_string(aCode);
  return platform::Utf16ToUtf8Replacing(message);
}

// Winsock for this process, once (each WSAStartup counts; none is undone
// before the process ends).
bool StartWinsock(std::string& aReason) {
  static const int started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data);
  }();
  if (started != 0) aReason = SystemMessage(started);
  return started == 0;
}

}  // namespace

std::filesystem::path ThisProgramPath() {
  std::vector<wchar_t> path(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) return std::filesystem::path(std::wstring(path.data(), length));
    path.resize(path.size() * 2);
  }
}

bool ProbeDisplay(const DisplayAddress& aAddress, int aTimeoutMs, std::string& aReason) {
  if (!StartWinsock(aReason)) return false;
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int resolved =
      getaddrinfo(aAddress.fHost.c_str(), std::to_string(aAddress.fPort).c_str(), &hints, &found);
  if (resolved != 0) {
    aReason = SystemMessage(resolved);
    return false;
  }
  bool ok = false;
  for (addrinfo* at = found; at && !ok; at = at->ai_next) {
    const SOCKET socket = ::socket(at->ai_family, at->ai_socktype, at->ai_protocol);
    if (socket == INVALID_SOCKET) continue;
    u_long nonBlocking = 1;
    ioctlsocket(socket, FIONBIO, &nonBlocking);
    int error = 0;
    if (connect(socket, at->ai_addr, static_cast<int>(at->ai_addrlen)) == 0) {
      ok = true;
    } else if (WSAGetLastError() == WSAEWOULDBLOCK) {
      fd_set writable, failed;
      FD_ZERO(&writable);
      FD_ZERO(&failed);
      FD_SET(socket, &writable);
      FD_SET(socket, &failed);
      timeval timeout{aTimeoutMs / 1000, (aTimeoutMs % 1000) * 1000};
      if (select(0, nullptr, &writable, &failed, &timeout) > 0) {
        int length = sizeof error;
        getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length);
        ok = error == 0 && FD_ISSET(socket, &writable);
        if (!ok && error == 0) error = WSAECONNREFUSED;
      } else {
        error = WSAETIMEDOUT;
      }
    } else {
      error = WSAGetLastError();
    }
    if (!ok) aReason = SystemMessage(error);
    closesocket(socket);
  }
  freeaddrinfo(found);
  return ok;
}

}  // namespace korvane::host
