// PNG pictures decoded to 8-bit RGB, for the print spool's bitmaps.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace korvane::platform {

struct RgbImage {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> pixels;  // row by row from the top, red, green, blue
};

// The PNG picture in aData, its transparency composed over white. Fails with
// "Cannot load PNG image: <reason>"; "too large" when a side passes aMaxSide.
RgbImage DecodePng(std::string_view aData, int32_t aMaxSide);

}  // namespace korvane::platform
