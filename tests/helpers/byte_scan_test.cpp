// The scans for bytes to escape: the first such byte wherever it stands,
// inside or after a block of sixteen, as a byte-by-byte search finds it.
#include "helpers/byte_scan.h"

#include <gtest/gtest.h>

#include <string>

namespace korvane {
namespace {

size_t ByteByByte(std::string_view aText, size_t aFrom, bool (*aIs)(unsigned char)) {
  for (size_t i = aFrom; i < aText.size(); ++i)
    if (aIs(static_cast<unsigned char>(aText[i]))) return i;
  return aText.size();
}

bool IsXmlSpecial(unsigned char c) { return c == '&' || c == '<' || c == '>' || c == '"' || c == '\''; }
bool IsJsonEscaped(unsigned char c) { return c < 0x20 || c == '"' || c == '\\' || c == '/'; }

TEST(ByteScan, FindsTheFirstByteToEscapeAtEveryPosition) {
  // Plain bytes around each candidate: ASCII, UTF-8 sequences (bytes from
  // 0x80 on, which are below 0x20 when read as signed) and the bytes next
  // to the special ones.
  const std::string plain = "ab\xC3\xA9z%=;?.0\x7F\xFF\x80!#";
  const std::string candidates = std::string("&<>\"'\\/\x1F\t\n", 11) + std::string(1, '\0') + "\x20\x21";
  for (const char candidate : candidates) {
    for (size_t length : {0, 1, 15, 16, 17, 18, 31, 32, 33, 40, 47}) {
      std::string text;
      for (size_t i = 0; i < length; ++i) text += plain[i % plain.size()];
      for (size_t at = 0; at <= length; ++at) {
        std::string probe = text;
        if (at < length) probe[at] = candidate;
        for (size_t from : {size_t{0}, size_t{1}, at, at + 1}) {
          if (from > probe.size()) continue;
          EXPECT_EQ(FindXmlSpecial(probe, from), ByteByByte(probe, from, IsXmlSpecial))
              << int(candidate) << " at " << at << " of " << length << " from " << from;
          EXPECT_EQ(FindJsonEscaped(probe, from), ByteByByte(probe, from, IsJsonEscaped))
              << int(candidate) << " at " << at << " of " << length << " from " << from;
        }
      }
    }
  }
}

}  // namespace
}  // namespace korvane
