#include <windows.h>
// (the system headers below need <windows.h> first)
#include <bcrypt.h>

#include "platform/error.h"
#include "platform/uuid.h"

namespace korvane::platform {

Uuid NewUuid() {
  Uuid u{};
  const NTSTATUS status =
      BCryptGenRandom(nullptr, u.data(), static_cast<ULONG>(u.size()), BCRYPT_USE_SYSTEM_PREFERRED_RNG);
  if (status < 0) ThrowOsError(static_cast<int>(status), "Cannot create a UUID: ");
  // Stored as a Windows GUID: Data3 (bytes 6-7) is little-endian.
  u[7] = static_cast<uint8_t>((u[7] & 0x0F) | 0x40);  // version 4
  u[8] = static_cast<uint8_t>((u[8] & 0x3F) | 0x80);  // RFC 4122 variant
  return u;
}

}  // namespace korvane::platform
