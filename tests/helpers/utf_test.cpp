#include "helpers/utf.h"

#include <gtest/gtest.h>

#include "helpers/error.h"

using namespace korvane;
using namespace korvane::platform;

TEST(Unicode, ConvertsBetweenUtf8AndUtf16) {
  const std::string text = "A\xE2\x82\xAC\xF0\x9F\x98\x80\xC3\xA0";  // A, euro, emoji, a-grave
  const std::u16string wide = Utf8ToUtf16(text);
  EXPECT_EQ(wide, (std::u16string{u'A', 0x20AC, 0xD83D, 0xDE00, 0xE0}));
  EXPECT_EQ(Utf16ToUtf8(wide), text);
  EXPECT_EQ(Utf16Length(text), 5u);
  EXPECT_EQ(Utf8ToUtf16("\xFF"
                        "a"),
            (std::u16string{0xFFFD, u'a'}));  // invalid bytes are replaced
}

TEST(Unicode, ConvertsEveryCharacterWhereverItStandsInALongText) {
  // ASCII goes through in blocks: a character of each kind at every place of
  // texts around the block size converts as it does on its own.
  const std::vector<std::u16string> others = {u"\u00E9", u"\u20AC", u"\U0001F600", u"\u007F"};
  for (size_t length = 0; length <= 40; ++length) {
    for (const std::u16string& other : others) {
      for (size_t at = 0; at <= length; ++at) {
        std::u16string wide;
        std::string expected;
        for (size_t i = 0; i < length; ++i) {
          wide += static_cast<char16_t>('a' + i % 26);
          expected += static_cast<char>('a' + i % 26);
        }
        wide.insert(at, other);
        expected.insert(at, Utf16ToUtf8(other));
        ASSERT_EQ(Utf16ToUtf8(wide), expected) << length << " " << at;
        ASSERT_EQ(Utf8ToUtf16(expected), wide) << length << " " << at;
        // A lone surrogate and an invalid byte there too.
        std::u16string lone = wide;
        lone[at] = 0xDC00;
        EXPECT_THROW(Utf16ToUtf8(lone), Error);
        std::u16string replaced = lone;
        if (other.size() == 2)
          replaced.erase(at + 1, 1), replaced[at] = 0xFFFD;  // the pair's second half
        else
          replaced[at] = 0xFFFD;
        std::string bad = expected;
        bad.replace(at, Utf16ToUtf8(other).size(), "\xFF");
        EXPECT_EQ(Utf8ToUtf16(bad), replaced) << length << " " << at;
      }
    }
  }
}

TEST(Unicode, WidensAsciiAndRefusesAnyOtherByteWhereverItStands) {
  for (size_t length = 0; length <= 40; ++length) {
    std::string text;
    for (size_t i = 0; i < length; ++i) text += static_cast<char>(0x20 + (i * 7) % 0x60);
    std::u16string wide(length, u'?');
    ASSERT_TRUE(AsciiToUtf16(text, wide.data())) << length;
    EXPECT_EQ(wide, Utf8ToUtf16(text)) << length;
    for (size_t at = 0; at < length; ++at) {
      for (const char other : {'\x80', '\xC3', '\xFF'}) {
        std::string mixed = text;
        mixed[at] = other;
        EXPECT_FALSE(AsciiToUtf16(mixed, wide.data())) << length << " " << at;
      }
    }
  }
}

TEST(Unicode, RefusesALoneSurrogate) {
  for (std::u16string bad :
       {std::u16string{0xD800}, std::u16string{u'a', 0xDC00, u'b'}, std::u16string{0xD800, u'x'}}) {
    try {
      Utf16ToUtf8(bad);
      FAIL();
    } catch (const Error& e) {
      EXPECT_STREQ(e.what(), "Invalid UTF-16 text: unpaired surrogate");
    }
  }
}

TEST(Unicode, PrefixNeverSplitsASurrogatePair) {
  const std::string text =
      "ab\xF0\x9F\x98\x80"
      "c";
  EXPECT_EQ(Utf16Prefix(text, 2), "ab");
  EXPECT_EQ(Utf16Prefix(text, 3), "ab");
  EXPECT_EQ(Utf16Prefix(text, 4), "ab\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf16Prefix(text, 100), text);
  EXPECT_EQ(Utf16Prefix(text, 0), "");
}
