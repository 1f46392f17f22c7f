// The system's half of a TCP name lookup, one file per system behind this
// header; tcp_resolve.cpp bounds it by the caller's deadline. Internal to the
// platform layer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/tcp_socket.h"

namespace korvane::platform::tcp_lookup {

// aHost as a literal IPv4 or IPv6 address (without a scope), or nothing.
std::optional<TcpAddress> LiteralAddress(const std::string& aHost, uint16_t aPort);

// Every address of aHost, as the system's resolver gives them; blocks for as
// long as the resolver takes. aNumericHost: aHost is a numeric address with a
// scope ("fe80::1%eth0"), which needs no lookup. Fails with the system's text.
std::vector<TcpAddress> LookUp(const std::string& aHost, uint16_t aPort, bool aNumericHost);

}  // namespace korvane::platform::tcp_lookup
