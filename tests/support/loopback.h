// A listening TCP socket on 127.0.0.1 with an ephemeral port.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace korvane::testing {

// The listening socket; its port goes to aPort.
inline int ListenOnLoopback(int aBacklog, int& aPort) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(fd, aBacklog) != 0) {
    if (fd >= 0) ::close(fd);
    throw std::runtime_error("cannot listen on loopback");
  }
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  aPort = ntohs(addr.sin_port);
  return fd;
}

}  // namespace korvane::testing
