// The host tool's system calls on POSIX systems: its own path from /proc,
// a bounded connect through poll.
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "host_system.h"

namespace korvane::host {

std::filesystem::path ThisProgramPath() {
  std::error_code ec;
  return std::filesystem::read_symlink("/proc/self/exe", ec);
}

bool ProbeDisplay(const DisplayAddress& aAddress, int aTimeoutMs, std::string& aReason) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int resolved =
      getaddrinfo(aAddress.fHost.c_str(), std::to_string(aAddress.fPort).c_str(), &hints, &found);
  if (resolved != 0) {
    aReason = gai_strerror(resolved);
    return false;
  }
  bool ok = false;
  for (addrinfo* at = found; at && !ok; at = at->ai_next) {
    const int fd = socket(at->ai_family, at->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, at->ai_protocol);
    if (fd < 0) continue;
    int error = 0;
    if (connect(fd, at->ai_addr, at->ai_addrlen) == 0) {
      ok = true;
    } else if (errno == EINPROGRESS) {
      pollfd waiting{fd, POLLOUT, 0};
      if (poll(&waiting, 1, aTimeoutMs) == 1) {
        socklen_t length = sizeof error;
        getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
        ok = error == 0;
      } else {
        error = ETIMEDOUT;
      }
    } else {
      error = errno;
    }
    if (!ok) aReason = std::strerror(error);
    close(fd);
  }
  freeaddrinfo(found);
  return ok;
}

}  // namespace korvane::host
