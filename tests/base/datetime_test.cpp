#include <gtest/gtest.h>

#include "base/shared_types.h"
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
