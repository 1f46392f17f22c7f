// ASCII letter case, whatever the locale.
#include "helpers/ascii.h"

#include <gtest/gtest.h>

#include <string>

namespace korvane {
namespace {

TEST(Ascii, ChangesTheCaseOfAsciiLettersOnly) {
  EXPECT_EQ(AsciiLower("Hello, WORLD 42 @[`{"), "hello, world 42 @[`{");
  EXPECT_EQ(AsciiUpper("Hello, world 42 @[`{"), "HELLO, WORLD 42 @[`{");
  // UTF-8 sequences stay as they are: "ÄÖ" and "äö".
  EXPECT_EQ(AsciiLower("\xC3\x84\xC3\x96X"), "\xC3\x84\xC3\x96x");
  EXPECT_EQ(AsciiUpper("\xC3\xA4\xC3\xB6x"), "\xC3\xA4\xC3\xB6X");
  EXPECT_EQ(AsciiLower(""), "");
}

TEST(Ascii, ComparesWithoutRegardToTheCaseOfAsciiLetters) {
  EXPECT_TRUE(AsciiEqualsIgnoreCase("Content-Type", "content-TYPE"));
  EXPECT_TRUE(AsciiEqualsIgnoreCase("", ""));
  EXPECT_FALSE(AsciiEqualsIgnoreCase("abc", "abcd"));
  EXPECT_FALSE(AsciiEqualsIgnoreCase("@", "`"));  // 0x40 and 0x60 are not letters
  EXPECT_FALSE(AsciiEqualsIgnoreCase("\xC3\x84", "\xC3\xA4"));
}

}  // namespace
}  // namespace korvane
