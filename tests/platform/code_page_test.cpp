#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#include <sys/stat.h>
#endif

#include <set>

#include "helpers/utf.h"
#include "platform/code_page.h"
#include "platform/error.h"
#include "support/test_support.h"

using namespace korvane;
using namespace korvane::platform;

TEST(Unicode, EncodesAndDecodesCodePages) {
  const std::string euroA =
      "\xE2\x82\xAC"
      "A";
  EXPECT_EQ(EncodeCodePage(euroA, 1252),
            "\x80"
            "A");
  EXPECT_EQ(EncodeCodePage(euroA, 20127), "?A");
  EXPECT_EQ(EncodeCodePage(euroA, 65001), euroA);
  EXPECT_EQ(EncodeCodePage("A", 1200), std::string("A\0", 2));
  EXPECT_EQ(EncodeCodePage("A", 1201), std::string("\0A", 2));
  EXPECT_EQ(EncodeCodePage("\xE4\xB8\xAD"
                           "b",
                           1252),
            "?b");  // no such character: "?"
  EXPECT_EQ(DecodeCodePage("\x80\xE0", 1252), "\xE2\x82\xAC\xC3\xA0");
  EXPECT_EQ(DecodeCodePage("\xE1", 1253), "\xCE\xB1");  // Greek alpha
  EXPECT_THROW(EncodeCodePage("x", 4242), Error);
}

TEST(CodePages, Windows1252RoundTripsEveryByte) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  const std::string text = DecodeCodePage(all, 1252);
  EXPECT_EQ(EncodeCodePage(text, 1252), all);
  EXPECT_EQ(InvalidUtf8Offset(text), std::string::npos);

  // The five bytes the code page leaves out are the control characters of the
  // same code, as on Windows (there by the system's own converter).
  for (const int b : {0x81, 0x8D, 0x8F, 0x90, 0x9D})
    EXPECT_EQ(DecodeCodePage(std::string(1, static_cast<char>(b)), 1252),
              Utf16ToUtf8(std::u16string(1, static_cast<char16_t>(b))))
        << b;
#ifndef _WIN32
  // Byte by byte: iconv's table where it has the byte, the control character
  // of the same code for the five it leaves out.
  iconv_t oracle = iconv_open("UTF-8", "CP1252");
  ASSERT_NE(oracle, reinterpret_cast<iconv_t>(-1));
  const std::set<int> unassigned = {0x81, 0x8D, 0x8F, 0x90, 0x9D};
  for (int b = 0; b < 256; ++b) {
    const std::string byte(1, static_cast<char>(b));
    std::string expected;
    if (unassigned.count(b) != 0) {
      expected = Utf16ToUtf8(std::u16string(1, static_cast<char16_t>(b)));
    } else {
      char in[1] = {static_cast<char>(b)};
      char out[8];
      char* inPtr = in;
      char* outPtr = out;
      size_t inLeft = 1;
      size_t outLeft = sizeof out;
      ASSERT_NE(iconv(oracle, &inPtr, &inLeft, &outPtr, &outLeft), static_cast<size_t>(-1)) << b;
      expected.assign(out, static_cast<size_t>(outPtr - out));
    }
    EXPECT_EQ(DecodeCodePage(byte, 1252), expected) << b;
    EXPECT_EQ(EncodeCodePage(expected, 1252), byte) << b;
  }
  iconv_close(oracle);
#endif

  // Characters it lacks are "?", one for each, also beyond the first plane.
  EXPECT_EQ(EncodeCodePage("\xC2\x80|\xE4\xB8\xAD|\xF0\x9F\x98\x80|\xFF|", 1252), "?|?|?|?|");
}

TEST(CodePages, WindowsNumbersNameTheirCodePages) {
  struct Case {
    int codePage;
    std::string text;
    std::string bytes;
  };
  const Case cases[] = {
      {28591, "\xC3\xA9", "\xE9"},                                          // e acute, ISO-8859-1
      {28592, "\xC5\x81", "\xA3"},                                          // L stroke, ISO-8859-2
      {28595, "\xD0\x96", "\xB6"},                                          // Zhe, ISO-8859-5
      {28597, "\xCE\xB1", "\xE1"},                                          // alpha, ISO-8859-7
      {28599, "\xC4\x9F", "\xF0"},                                          // g breve, ISO-8859-9
      {28603, "\xC4\x85", "\xE0"},                                          // a ogonek, ISO-8859-13
      {28605, "\xE2\x82\xAC", "\xA4"},                                      // euro, ISO-8859-15
      {20866, "\xD0\x96", "\xF6"},                                          // KOI8-R
      {21866, "\xD2\x90", "\xBD"},                                          // Ghe upturn, KOI8-U
      {20127, "Az~", "Az~"},                                                // US-ASCII
      {54936, "\xE2\x82\xAC\xF0\x9F\x98\x80", "\xA2\xE3\x94\x39\xFC\x36"},  // GB18030
      {10000, "\xC3\xA9", "\x8E"},                                          // Macintosh
      {65001, "\xE2\x82\xAC", "\xE2\x82\xAC"},                              // UTF-8
      {1200, "A\xE2\x82\xAC", std::string("A\0\xAC\x20", 4)},               // UTF-16LE
      {1201, "A\xE2\x82\xAC", std::string("\0A\x20\xAC", 4)},               // UTF-16BE
      {12000, "A", std::string("A\0\0\0", 4)},                              // UTF-32LE
      {437, "\xC3\xA9", "\x82"},                                            // DOS
      {850, "\xC3\x98", "\x9D"},                                            // DOS Latin-1
      {866, "\xD0\x96", "\x86"},                                            // DOS Cyrillic
      {874, "\xE0\xB8\x81", "\xA1"},                                        // Thai
      {932, "\xE3\x82\xA2", "\x83\x41"},                                    // Shift JIS
      {936, "\xE4\xB8\xAD", "\xD6\xD0"},                                    // GBK
      {949, "\xED\x95\x9C", "\xC7\xD1"},                                    // Korean
      {950, "\xE4\xB8\xAD", "\xA4\xA4"},                                    // Big5
      {1250, "\xC5\x81", "\xA3"},                                           // Central European
      {1251, "\xD0\x96", "\xC6"},                                           // Cyrillic
      {1253, "\xCE\xA9", "\xD9"},                                           // Greek
      {1255, "\xD7\x90", "\xE0"},                                           // Hebrew
      {37, "A", "\xC1"},                                                    // EBCDIC
      {50220, "\xE3\x82\xA2", "\x1B$B%\"\x1B(B"},                           // ISO-2022-JP
  };
  for (const Case& c : cases) {
#ifdef _WIN32
    // GB18030 and ISO-2022-JP: Windows has them, Wine's converters lack
    // them; where they are missing, the library says so.
    if ((c.codePage == 54936 || c.codePage == 50220) && !IsValidCodePage(static_cast<UINT>(c.codePage))) {
      EXPECT_EQ(korvane::testing::ErrorOf([&] { EncodeCodePage(c.text, c.codePage); }),
                "Code page " + std::to_string(c.codePage) + " is not supported");
      continue;
    }
#endif
    EXPECT_EQ(EncodeCodePage(c.text, c.codePage), c.bytes) << c.codePage;
    EXPECT_EQ(DecodeCodePage(c.bytes, c.codePage), c.text) << c.codePage;
  }
  // A character the code page lacks is the code page's own "?".
  EXPECT_EQ(EncodeCodePage("\xE2\x82\xAC", 37), "\x6F");
  EXPECT_EQ(EncodeCodePage("\xFF", 1200), std::string("?\0", 2));
  for (const int unknown : {0, -1, 1, 4242, 28602, 65002, 99999})
    EXPECT_EQ(korvane::testing::ErrorOf([&] { EncodeCodePage("x", unknown); }),
              "Code page " + std::to_string(unknown) + " is not supported")
        << unknown;
  EXPECT_EQ(korvane::testing::ErrorOf([] { DecodeCodePage("x", 4242); }), "Code page 4242 is not supported");
#ifndef _WIN32
  // A byte without a character right after one iconv holds back to compose
  // with an accent: both are kept.
  EXPECT_EQ(DecodeCodePage("\xD6\x9D", 1258), "\xC3\x96\xEF\xBF\xBD");
  EXPECT_EQ(DecodeCodePage("\xE0\x9D\xE0", 1255), "\xD7\x90\xEF\xBF\xBD\xD7\x90");
  // A number outside the table still works when iconv knows it as CP<n>.
  EXPECT_EQ(DecodeCodePage("\x80", 1125), "\xD0\x90");
#endif
}
