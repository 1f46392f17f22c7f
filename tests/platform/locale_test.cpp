#include "platform/locale.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

using namespace korvane;
using namespace korvane::platform;

#ifdef _WIN32
TEST(Locale, ShortDatesUseTheSystemsShortDateFormWithFourDigitYears) {
  // Wine's en-US short date form is M/d/yyyy: days and months of two digits.
  EXPECT_EQ(FormatShortDate(2024, 9, 17), "09/17/2024");
  EXPECT_EQ(FormatShortDate(2024, 9, 7), "09/07/2024");
}
#else
TEST(Locale, ShortDatesUseTheEnvironmentsLocaleWithFourDigitYears) {
  korvane::testing::ScopedEnv lcAll("LC_ALL", "C");
  EXPECT_EQ(ShortDatePattern(), "dd/mm/yyyy");
  EXPECT_EQ(FormatShortDate(2024, 9, 17), "17/09/2024");
  korvane::testing::ScopedEnv missing("LC_ALL", "xx_NOWHERE.UTF-8");  // not installed
  EXPECT_EQ(FormatShortDate(2024, 9, 7), "07/09/2024");
}
#endif
