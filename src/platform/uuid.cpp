// The registry form of a UUID; new ones come from uuid_<platform>.cpp.
#include "platform/uuid.h"

#include <cstddef>

namespace korvane::platform {

std::string FormatUuid(const Uuid& u) {
  // "{" 8 "-" 4 "-" 4 "-" 4 "-" 12 "}" hex digits; the first three groups
  // are numbers stored least significant byte first.
  static constexpr int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text(38, '-');
  text.front() = '{';
  text.back() = '}';
  size_t at = 1;
  for (size_t i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) ++at;  // past a dash
    const unsigned byte = u[static_cast<size_t>(kOrder[i])];
    text[at++] = kHex[byte >> 4];
    text[at++] = kHex[byte & 0xF];
  }
  return text;
}

}  // namespace korvane::platform
