#include <sys/random.h>

#include <cerrno>

#include "platform/error.h"
#include "platform/uuid.h"

namespace korvane::platform {

Uuid NewUuid() {
  Uuid u{};
  size_t done = 0;
  while (done < u.size()) {
    const ssize_t n = ::getrandom(u.data() + done, u.size() - done, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowOsError(errno, "Cannot create a UUID: ");
    }
    done += static_cast<size_t>(n);
  }
  // Stored as a Windows GUID: Data3 (bytes 6-7) is little-endian.
  u[7] = static_cast<uint8_t>((u[7] & 0x0F) | 0x40);  // version 4
  u[8] = static_cast<uint8_t>((u[8] & 0x3F) | 0x80);  // RFC 4122 variant
  return u;
}

}  // namespace korvane::platform
