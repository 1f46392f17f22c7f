// Socket addresses as the socket files of both systems make them: POSIX
// sockets and Winsock share these shapes, so they are written once here.
// Internal to the platform layer: included only by tcp_socket_posix.cpp and
// tcp_socket_win32.cpp (the Winsock headers thus reach no other file), and
// never by a header that the layers above see.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/tcp_socket.h"

namespace korvane::platform::tcp_address {

// The socket address of aLength bytes at aAddress, as the system lays it out.
inline TcpAddress AddressOf(const void* aAddress, size_t aLength) {
  const auto* bytes = static_cast<const unsigned char*>(aAddress);
  return TcpAddress{std::vector<unsigned char>(bytes, bytes + aLength)};
}

template <class TAddress>
TcpAddress AddressOf(const TAddress& aAddress) {
  return AddressOf(&aAddress, sizeof aAddress);
}

// aHost as a literal IPv4 or IPv6 address (without a scope) at aPort, or
// nothing. (On Windows, Winsock is started before.)
inline std::optional<TcpAddress> LiteralAddress(const std::string& aHost, uint16_t aPort) {
  sockaddr_in v4{};
  if (inet_pton(AF_INET, aHost.c_str(), &v4.sin_addr) == 1) {
    v4.sin_family = AF_INET;
    v4.sin_port = htons(aPort);
    return AddressOf(v4);
  }
  sockaddr_in6 v6{};
  if (inet_pton(AF_INET6, aHost.c_str(), &v6.sin6_addr) == 1) {
    v6.sin6_family = AF_INET6;
    v6.sin6_port = htons(aPort);
    return AddressOf(v6);
  }
  return std::nullopt;
}

}  // namespace korvane::platform::tcp_address
