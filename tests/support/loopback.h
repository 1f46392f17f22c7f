// A listening TCP socket on 127.0.0.1 with an ephemeral port, and the few
// socket calls the tests make on it, alike on POSIX systems and Windows.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#endif

#include <cstddef>
#include <cstdint>
#include <stdexcept>

namespace korvane::testing {

#ifdef _WIN32
using NativeSocket = SOCKET;
inline constexpr NativeSocket kNoSocket = INVALID_SOCKET;
inline void CloseSocket(NativeSocket aSocket) { ::closesocket(aSocket); }
// Winsock is started once per program (header-only: the smoke host, which
// links no test support, uses it too).
inline void StartSockets() {
  static const int started = [] {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data);
  }();
  if (started != 0) throw std::runtime_error("cannot start Winsock");
}
#else
using NativeSocket = int;
inline constexpr NativeSocket kNoSocket = -1;
inline void CloseSocket(NativeSocket aSocket) { ::close(aSocket); }
inline void StartSockets() {}
#endif

// The listening socket; its port goes to aPort.
inline NativeSocket ListenOnLoopback(int aBacklog, int& aPort) {
  StartSockets();
#ifdef _WIN32
  const NativeSocket fd =
      ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
#else
  const NativeSocket fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
#endif
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd == kNoSocket || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(fd, aBacklog) != 0) {
    if (fd != kNoSocket) CloseSocket(fd);
    throw std::runtime_error("cannot listen on loopback");
  }
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  aPort = ntohs(addr.sin_port);
  return fd;
}

// True when aSocket has something to read (or has been closed) within aMs.
inline bool WaitReadable(NativeSocket aSocket, int aMs) {
#ifdef _WIN32
  WSAPOLLFD p{};
  p.fd = aSocket;
  p.events = POLLRDNORM;
  return ::WSAPoll(&p, 1, aMs) > 0;
#else
  pollfd p{aSocket, POLLIN, 0};
  return ::poll(&p, 1, aMs) > 0;
#endif
}

// One receive: the count, 0 when the peer closed, negative on failure.
inline long ReceiveSome(NativeSocket aSocket, char* aBuffer, size_t aCount) {
  return static_cast<long>(::recv(aSocket, aBuffer, static_cast<int>(aCount), 0));
}

// One send, never raising SIGPIPE: the count, negative on failure.
inline long SendSome(NativeSocket aSocket, const char* aBytes, size_t aCount) {
#ifdef _WIN32
  return static_cast<long>(::send(aSocket, aBytes, static_cast<int>(aCount), 0));
#else
  return static_cast<long>(::send(aSocket, aBytes, aCount, MSG_NOSIGNAL));
#endif
}

// Makes a send on aSocket give up (fail) when nothing could be sent for aMs.
inline void SetSendTimeout(NativeSocket aSocket, int aMs) {
#ifdef _WIN32
  const DWORD ms = static_cast<DWORD>(aMs);
  ::setsockopt(aSocket, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms);
#else
  timeval tv{};
  tv.tv_sec = aMs / 1000;
  tv.tv_usec = (aMs % 1000) * 1000;
  ::setsockopt(aSocket, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
#endif
}

// A connection to aPort of 127.0.0.1, made within aMs: kNoSocket when it
// was refused or not made in time.
inline NativeSocket ConnectToLoopback(int aPort, int aMs = 5000) {
  StartSockets();
#ifdef _WIN32
  NativeSocket fd = ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  u_long on = 1, off = 0;
  if (fd != kNoSocket) ::ioctlsocket(fd, FIONBIO, &on);
#else
  NativeSocket fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
#endif
  if (fd == kNoSocket) return kNoSocket;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(aPort));
  ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  int error = 1;
  socklen_t len = sizeof error;
#ifdef _WIN32
  WSAPOLLFD p{};
  p.fd = fd;
  p.events = POLLWRNORM;
  if (::WSAPoll(&p, 1, aMs) > 0)
    ::getsockopt(fd, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &len);
  if (error == 0) ::ioctlsocket(fd, FIONBIO, &off);
#else
  pollfd p{fd, POLLOUT, 0};
  if (::poll(&p, 1, aMs) > 0) ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len);
  if (error == 0) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
#endif
  if (error != 0) {
    CloseSocket(fd);
    return kNoSocket;
  }
  return fd;
}

// Takes the next connection: kNoSocket when that fails.
inline NativeSocket AcceptOne(NativeSocket aListener) {
#ifdef _WIN32
  return ::accept(aListener, nullptr, nullptr);
#else
  return ::accept4(aListener, nullptr, nullptr, SOCK_CLOEXEC);
#endif
}

}  // namespace korvane::testing
