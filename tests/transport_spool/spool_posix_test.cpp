#include <gtest/gtest.h>

#include <string>

#include "platform/error.h"
#include "platform/spool.h"

namespace korvane {
namespace {

// The printers: the queues of the test program's own scheduler (spool_fixture.cpp).

TEST(SpoolPrinters, PageMetricsComeFromTheQueueOrTheDefaults) {
  platform::SpoolPageMetrics m;
  ASSERT_NO_THROW(m = platform::SpoolPageMetricsOf("KorvanePage"));
  // Letter at 300 dpi, a quarter inch of margin all round.
  EXPECT_EQ(m.dpi, 300);
  EXPECT_EQ(m.pageWidth, 2550);
  EXPECT_EQ(m.pageHeight, 3300);
  EXPECT_EQ(m.printableWidth, 2400);
  EXPECT_EQ(m.printableHeight, 3150);
  EXPECT_EQ(m.offsetX, 75);
  EXPECT_EQ(m.offsetY, 75);
  EXPECT_TRUE(m.fromPrinter);
  // A queue without driver tells nothing: A4 to its edges at 300 dpi.
  ASSERT_NO_THROW(m = platform::SpoolPageMetricsOf("KorvanePlain"));
  EXPECT_FALSE(m.fromPrinter);
  EXPECT_EQ(m.dpi, 300);
  EXPECT_EQ(m.pageWidth, 2480);
  EXPECT_EQ(m.printableWidth, 2480);
  EXPECT_EQ(m.pageHeight, 3507);
  EXPECT_EQ(m.offsetX, 0);
  try {
    platform::SpoolPageMetricsOf("NoSuchQueue");
    ADD_FAILURE() << "an unknown queue has page metrics";
  } catch (const platform::OsError& e) {
    EXPECT_FALSE(std::string(e.what()).empty());
  }
}

}  // namespace
}  // namespace korvane
