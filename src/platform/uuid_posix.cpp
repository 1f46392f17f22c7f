#include <sys/random.h>

#include <cerrno>
#include <cstdio>

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

std::string FormatUuid(const Uuid& u) {
  char text[40];
  std::snprintf(text, sizeof text, "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                u[3], u[2], u[1], u[0], u[5], u[4], u[7], u[6], u[8], u[9], u[10], u[11], u[12], u[13], u[14],
                u[15]);
  return text;
}

}  // namespace korvane::platform
