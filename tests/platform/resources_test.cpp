#include "platform/resources.h"

#include <gtest/gtest.h>

using namespace korvane;
using namespace korvane::platform;

TEST(Resources, HoldsTheVersionRecords) {
  EXPECT_EQ(LoadResourceString(10002).value_or(""), "$VERSION=1.00");
  EXPECT_FALSE(LoadResourceString(9999).has_value());
  EXPECT_FALSE(FindRawResource("NO_SUCH_RESOURCE").has_value());
}
