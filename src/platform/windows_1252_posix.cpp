#include "platform/windows_1252_posix.h"

#include <cstdint>

#include "helpers/utf.h"

namespace korvane::platform {
namespace {

// The characters of the bytes 0x80 to 0x9F; the other bytes are the Latin-1
// characters of the same code.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 0x88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 0x98
};

char16_t CharacterOf(uint8_t aByte) {
  return aByte >= 0x80 && aByte < 0xA0 ? kHighControls[aByte - 0x80] : static_cast<char16_t>(aByte);
}

// The byte of aCharacter, or "?" when the code page has none.
char ByteOf(char16_t aCharacter) {
  if (aCharacter < 0x80 || (aCharacter >= 0xA0 && aCharacter <= 0xFF)) return static_cast<char>(aCharacter);
  for (int i = 0; i < 32; ++i)
    if (kHighControls[i] == aCharacter) return static_cast<char>(0x80 + i);
  return '?';
}

bool IsHighSurrogate(char16_t aUnit) { return aUnit >= 0xD800 && aUnit < 0xDC00; }
bool IsLowSurrogate(char16_t aUnit) { return aUnit >= 0xDC00 && aUnit < 0xE000; }

}  // namespace

std::string EncodeWindows1252(std::string_view aText) {
  const std::u16string units = Utf8ToUtf16(aText);
  std::string bytes;
  bytes.reserve(units.size());
  for (size_t i = 0; i < units.size(); ++i) {
    // A character beyond the first plane is one "?", not one per half.
    if (IsHighSurrogate(units[i]) && i + 1 < units.size() && IsLowSurrogate(units[i + 1])) {
      bytes += '?';
      ++i;
      continue;
    }
    bytes += ByteOf(units[i]);
  }
  return bytes;
}

std::string DecodeWindows1252(std::string_view aBytes) {
  std::u16string units;
  units.reserve(aBytes.size());
  for (const char c : aBytes) units += CharacterOf(static_cast<uint8_t>(c));
  return Utf16ToUtf8(units);
}

}  // namespace korvane::platform
