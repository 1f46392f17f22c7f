// Integer, currency and boolean texts and NormalizeText.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "base/currency.h"
#include "device/receipt_util.h"
#include "platform/error.h"
#include "support/test_support.h"

namespace korvane {
namespace {

using korvane::testing::ErrorOf;

TEST(IntegerText, ReadsDecimalAndHexadecimalWithinInt32) {
  struct Case {
    const char* text;
    std::optional<int32_t> value;
  };
  const Case cases[] = {
      {"12", 12},
      {" 12", 12},
      {"  -7", -7},
      {"+5", 5},
      {"$1F", 31},
      {"x1f", 31},
      {"X10", 16},
      {"0x10", 16},
      {"0XfF", 255},
      {"-$10", -16},
      {"0", 0},
      {"007", 7},
      {"123456789", 123456789},
      {"999999999", 999999999},
      {"1234567890", 1234567890},
      {"000000000012", 12},
      {"2147483647", 2147483647},
      {"-2147483648", std::numeric_limits<int32_t>::min()},
      {"2147483648", {}},
      {"$80000000", {}},
      {"12 ", {}},
      {" ", {}},
      {"", {}},
      {"$", {}},
      {"0x", {}},
      {"1.0", {}},
      {"- 1", {}},
      {"1e3", {}},
      {"12a", {}},
      {"\t1", {}},
  };
  for (const Case& c : cases) {
    if (c.value) {
      EXPECT_EQ(krptUtil::StrToInt(c.text), *c.value) << c.text;
    } else {
      EXPECT_EQ(ErrorOf([&] { krptUtil::StrToInt(c.text); }),
                std::string("'") + c.text + "' is not a valid integer value");
    }
    // The same text as an element's (white space alone is no text there).
    const std::string text = c.text;
    if (text.find_first_not_of(" \t") == std::string::npos) continue;
    const kXmlDocument doc = ParseXmlDocumentUtf8("<R><N>" + text + "</N></R>");
    const XmlNode root = doc->DocumentElement();
    if (c.value) {
      EXPECT_EQ(krptUtil::GetNodeValueAsInteger(root, "N"), *c.value) << c.text;
    } else {
      EXPECT_EQ(ErrorOf([&] { krptUtil::GetNodeValueAsInteger(root, "N"); }),
                "Error in processing node N as integer.\r\n'" + text + "' is not a valid integer value");
    }
  }
}

TEST(CurrencyText, RoundsHalfToEvenAtFourDecimals) {
  struct Case {
    const char* text;
    int64_t raw;
  };
  const Case cases[] = {
      {"12.345678", 123457},
      {"12.34565", 123456},  // tie, to even
      {"12.34575", 123458},  // tie, to even
      {"12.345650001", 123457},
      {"1e2", 1000000},
      {"1E-4", 1},
      {"0.00005", 0},
      {"0.00015", 2},
      {"-2.5", -25000},
      {"-0.00005", 0},
      {"  +3.  ", 30000},
      {".5", 5000},
      {"000012.5000", 125000},
      {"0e999999999999999999", 0},
      {"1e-999999999999", 0},
      {"922337203685477.5807", std::numeric_limits<int64_t>::max()},
      {"-922337203685477.5808", std::numeric_limits<int64_t>::min()},
      // Around the short reading of the usual amount (up to fourteen digits
      // and four decimals) and the full one past it.
      {"99999999999999.9999", 999999999999999999},
      {"-99999999999999.9999", -999999999999999999},
      {"123456789012345", 1234567890123450000},
      {"1.", 10000},
      {"-0", 0},
      {"7.12345", 71234},
  };
  for (const Case& c : cases) EXPECT_EQ(krptUtil::StrToCurr(c.text).Raw(), c.raw) << c.text;
}

TEST(CurrencyText, RejectsOtherFormsWithTheirMessage) {
  for (const char* text : {"1,5", "1,000.00", "", " ", ".", "e2", "1e", "1e+", "1.2.3", "--1", "1 2", "0x10",
                           "922337203685477.5808", "1e15", "\t1", "1d", "1666666666666666666", "1.5x", "-"})
    EXPECT_EQ(ErrorOf([&] { krptUtil::StrToCurr(text); }),
              std::string("'") + text + "' is not a valid floating point value");
}

TEST(BooleanText, AcceptsNumbersAndTrueFalse) {
  struct Case {
    const char* text;
    std::optional<bool> value;
  };
  const Case cases[] = {{"1", true},    {"-2", true},   {"0", false},     {"0.0", false},   {" 1e-9 ", true},
                        {"TRUE", true}, {"true", true}, {"false", false}, {"FaLsE", false}, {"yes", {}},
                        {"", {}},       {" true", {}},  {"1,5", {}}};
  for (const Case& c : cases) {
    if (c.value) {
      EXPECT_EQ(krptUtil::StrToBool(c.text), *c.value) << c.text;
    } else {
      EXPECT_EQ(ErrorOf([&] { krptUtil::StrToBool(c.text); }),
                std::string("'") + c.text + "' is not a valid boolean value");
    }
  }
}

TEST(NormalizeText, MapsCapitalsShortensTotaleAndBlanksTheRest) {
  struct Case {
    const char* in;
    const char* out;
  };
  const Case cases[] = {
      {"TOTALE \xE2\x82\xAC"
       "10",
       "TOT. \xE2\x82\xAC"
       "10"},
      {"caff\xC3\xA8", "caff "},
      {"a\tb", "a b"},
      {"\xC3\x80\xC3\x99\xC3\x88\xC3\x89\xC3\x92\xC3\x96\xC3\x87\xC3\x8F\xC3\x8C", "AUEEOOCII"},
      {"\x7F\xC2\x80\xC2\x81", "\x7F\xC2\x80 "},  // 127 and 128 stay
      {"totale TOTALETOTALE", "totale TOT.TOT."},
      {"\xF0\x9F\x98\x80", "  "},  // two UTF-16 units, two blanks
  };
  for (const Case& c : cases) EXPECT_EQ(krptUtil::NormalizeText(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace korvane
