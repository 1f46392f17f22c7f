// The bare client the display benchmarks compare the library with: the
// fastest honest client of the framed exchange (the display side is the
// tests' DisplayPeer, support/display_peer.h).
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>
#include <string>

namespace korvane::bench {

// The bare client: one connection, the frame, the reply up to its ETX, close.
// (The benchmarks' peer always answers, so the read needs no bound of its
// own.)
inline void BareExchange(int aPort, const std::string& aFrame) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(aPort));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    throw std::runtime_error("connect");
  }
  int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  for (size_t done = 0; done < aFrame.size();) {
    const ssize_t n = ::send(fd, aFrame.data() + done, aFrame.size() - done, MSG_NOSIGNAL);
    if (n <= 0) {
      ::close(fd);
      throw std::runtime_error("send");
    }
    done += static_cast<size_t>(n);
  }
  char reply[64];
  for (bool framed = false; !framed;) {
    const ssize_t n = ::recv(fd, reply, sizeof reply, 0);
    if (n <= 0) {
      ::close(fd);
      throw std::runtime_error("recv");
    }
    framed = std::memchr(reply, '\x03', static_cast<size_t>(n)) != nullptr;
  }
  ::close(fd);
}

}  // namespace korvane::bench
