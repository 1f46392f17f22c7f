// The fixed-point amount type: arithmetic with its limits, its text form.
#include "base/currency.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "platform/error.h"
#include "support/test_support.h"

using namespace korvane;
using korvane::testing::ErrorOf;

namespace {

constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();

}  // namespace

TEST(Currency, SumsDifferencesAndUnitsReportOverflowAtTheLimits) {
  EXPECT_EQ(Currency::FromUnits(922337203685477).Raw(), 9223372036854770000);
  EXPECT_EQ(Currency::FromUnits(-922337203685477).Raw(), -9223372036854770000);
  EXPECT_THROW(Currency::FromUnits(922337203685478), Error);
  EXPECT_THROW(Currency::FromUnits(-922337203685478), Error);
  const Currency max = Currency::FromRaw(kMax);
  const Currency min = Currency::FromRaw(kMin);
  EXPECT_EQ((max + Currency::FromRaw(-1)).Raw(), kMax - 1);
  EXPECT_THROW(max + Currency::FromRaw(1), Error);
  EXPECT_THROW(min + Currency::FromRaw(-1), Error);
  EXPECT_EQ((min - Currency::FromRaw(-1)).Raw(), kMin + 1);
  EXPECT_THROW(min - Currency::FromRaw(1), Error);
  EXPECT_THROW(Currency() - min, Error);
  EXPECT_EQ((Currency() - max).Raw(), -kMax);
}

TEST(CurrencyType, PrintsShortestFormAndChecksOverflow) {
  EXPECT_EQ(Currency::Parse("12.50").ToString(), "12.5");
  EXPECT_EQ(Currency::Parse("10").ToString(), "10.0");
  EXPECT_EQ(Currency().ToString(), "0.0");
  EXPECT_EQ(Currency::Parse("-3.25").ToString(), "-3.25");
  EXPECT_EQ(Currency::Parse("1234.5678").ToString(), "1234.5678");
  EXPECT_EQ(Currency::Parse("-0.0001").ToString(), "-0.0001");
  EXPECT_EQ(Currency::FromRaw(std::numeric_limits<int64_t>::min()).ToString(), "-922337203685477.5808");
  EXPECT_EQ(Currency::Parse("10.00") + Currency::Parse("2.50"), Currency::Parse("12.5"));
  EXPECT_EQ(ErrorOf([] { Currency::FromRaw(std::numeric_limits<int64_t>::max()) + Currency::FromRaw(1); }),
            "Currency value out of range");
  EXPECT_EQ(Currency::FromUnits(3).Raw(), 30000);
}
