#include "transport/spool_bitmap.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "transport_spool/spool_fixture.h"

namespace korvane {
namespace {

using testing::ErrorOf;
using testing::PngOf;

// ---- bitmaps ------------------------------------------------------------------------------

TEST(SpoolBitmap, LoadsPngWithTransparencyOverWhite) {
  const std::string png = PngOf(2, 1, {255, 0, 0, 255, 0, 0, 0, 0});
  const kBitmap bitmap = kBitmap::FromPNG(png);
  EXPECT_EQ(bitmap.Width(), 2);
  EXPECT_EQ(bitmap.Height(), 1);
  EXPECT_EQ(bitmap.Pixels(), (std::vector<uint8_t>{255, 0, 0, 255, 255, 255}));
  testing::TempDir dir;
  std::ofstream(dir.File("a.png"), std::ios::binary) << png;
  EXPECT_EQ(kBitmap::LoadFromFile(dir.File("a.png")).Pixels(), bitmap.Pixels());
}

TEST(SpoolBitmap, RejectsDataThatIsNoPng) {
  EXPECT_THAT(ErrorOf([] { kBitmap::FromPNG("not a picture"); }),
              ::testing::StartsWith("Cannot load PNG image: "));
  EXPECT_THAT(ErrorOf([] { kBitmap::FromPNG(""); }), ::testing::StartsWith("Cannot load PNG image: "));
  const std::string png = PngOf(4, 4, std::vector<uint8_t>(64, 7));
  EXPECT_THAT(ErrorOf([&] { kBitmap::FromPNG(png.substr(0, png.size() / 2)); }),
              ::testing::StartsWith("Cannot load PNG image: "));
  EXPECT_EQ(ErrorOf([] { kBitmap(-1, 5); }), "Invalid bitmap size");
}

}  // namespace
}  // namespace korvane
