#include "base/shared_types.h"

#include <gtest/gtest.h>

#include "platform/error.h"

using namespace korvane;

TEST(DateTime, EncodesDaysSince18991230) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
  EXPECT_EQ(EncodeDate(2024, 9, 17), 45552.0);
  EXPECT_EQ(EncodeDate(1, 1, 1), -693593.0);
  EXPECT_THROW(EncodeDate(2023, 2, 29), Error);
  EXPECT_NO_THROW(EncodeDate(2024, 2, 29));
  EXPECT_THROW(EncodeDate(2024, 13, 1), Error);
  EXPECT_THROW(EncodeTime(24, 0, 0, 0), Error);
}

TEST(DateTime, DecodesWhatItEncodes) {
  for (int year : {1, 1600, 1899}) {
    const auto p = DecodeDateTime(EncodeDate(year, 3, 1));
    EXPECT_EQ(p.year * 10000 + p.month * 100 + p.day, year * 10000 + 301);
  }
  for (int year : {1900, 2000, 2023, 2024, 9999})
    for (int month : {1, 2, 12})
      for (int day : {1, 28}) {
        const auto p = DecodeDateTime(EncodeDate(year, month, day) + EncodeTime(13, 14, 15, 167));
        EXPECT_EQ(p.year, year);
        EXPECT_EQ(p.month, month);
        EXPECT_EQ(p.day, day);
        EXPECT_EQ(p.hour, 13);
        EXPECT_EQ(p.minute, 14);
        EXPECT_EQ(p.second, 15);
        EXPECT_EQ(p.millisecond, 167);
      }
}

TEST(FormatText, FillsPlaceholdersInOrder) {
  EXPECT_EQ(
      FormatText("%s has %d items (%x) at %.2f%%", {std::string("cart"), int64_t{3}, int64_t{255}, 1.5}),
      "cart has 3 items (FF) at 1.50%");
  EXPECT_EQ(FormatText("[%5s|%-4d]", {std::string("ab"), int64_t{7}}), "[   ab|7   ]");
  EXPECT_EQ(FormatText("no placeholders", {}), "no placeholders");
  for (const char* bad : {"%d", "%s %s", "trailing %", "%q"}) {
    try {
      FormatText(bad, {std::string("x")});
      FAIL() << bad;
    } catch (const Error& e) {
      EXPECT_EQ(std::string(e.what()),
                std::string("Format '") + bad + "' invalid or incompatible with argument");
    }
  }
}

TEST(FormatText, WidthAndPrecisionAreBounded) {
  struct Case {
    std::string format;
    TVariant value;
    std::string expected;  // empty: the format is refused
  };
  const std::string ab = "ab";
  const Case cases[] = {
      {"%.9999999999s", ab, ""},
      {"%9999999999d", int64_t{1}, ""},
      {"%.99999999999999999999999999f", 1.5, ""},
      {"%-99999999999999999999x", int64_t{1}, ""},
      {"%1025s", ab, ""},
      {"%.1025d", int64_t{7}, ""},
      {"%1024s", ab, std::string(1022, ' ') + "ab"},
      {"%-1024s|", ab, "ab" + std::string(1022, ' ') + "|"},
      {"%.1s", ab, "a"},
      {"%600d", int64_t{5}, std::string(599, ' ') + "5"},
      {"%.1024d", int64_t{7}, std::string(1023, '0') + "7"},
      {"%.1024f", 1.0, "1." + std::string(1024, '0')},
      {"%05d", int64_t{42}, "00042"},
      {"%0001024.0002f", 2.5, std::string(1020, '0') + "2.50"},
  };
  for (const Case& c : cases) {
    std::string got;
    try {
      got = FormatText(c.format, {c.value});
    } catch (const Error& e) {
      EXPECT_EQ(std::string(e.what()), "Format '" + c.format + "' invalid or incompatible with argument");
      EXPECT_EQ(c.expected, "") << c.format;
      continue;
    }
    EXPECT_EQ(got, c.expected) << c.format;
  }
  // The widest number there is, at the widest precision, whole.
  const std::string widest = FormatText("%1024.1024f", {-1.7976931348623157e308});
  EXPECT_EQ(widest.size(), 1u + 309u + 1u + 1024u);
  EXPECT_EQ(widest.substr(0, 5), "-1797");
}
