// Random (version 4) UUIDs.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace korvane::platform {

using Uuid = std::array<uint8_t, 16>;

// A new random UUID.
Uuid NewUuid();

// The braced registry form with upper-case digits, for example
// {0F8FAD5B-D9CB-469F-A165-70867728950E}. Bytes 0-3, 4-5 and 6-7 are read as
// little-endian numbers, like the fields of a Windows GUID.
std::string FormatUuid(const Uuid& aUuid);

}  // namespace korvane::platform
