#include "transport/spool_bitmap.h"

#include <utility>

#include "platform/error.h"
#include "platform/filesystem.h"
#include "platform/png.h"

namespace korvane {
namespace {

constexpr int32_t kMaxSide = 32767;

}  // namespace

kBitmap::kBitmap(int32_t aWidth, int32_t aHeight) : fWidth(aWidth), fHeight(aHeight) {
  if (aWidth < 0 || aHeight < 0 || aWidth > kMaxSide || aHeight > kMaxSide)
    throw Error("Invalid bitmap size");
  fPixels.assign(static_cast<size_t>(aWidth) * static_cast<size_t>(aHeight) * 3, 0xFF);
}

void kBitmap::SetPixel(int32_t aX, int32_t aY, uint8_t aRed, uint8_t aGreen, uint8_t aBlue) {
  if (aX < 0 || aY < 0 || aX >= fWidth || aY >= fHeight) return;
  uint8_t* p =
      &fPixels[(static_cast<size_t>(aY) * static_cast<size_t>(fWidth) + static_cast<size_t>(aX)) * 3];
  p[0] = aRed;
  p[1] = aGreen;
  p[2] = aBlue;
}

kBitmap kBitmap::FromPNG(std::string_view aData) {
  platform::RgbImage image = platform::DecodePng(aData, kMaxSide);
  kBitmap bitmap(image.width, image.height);
  bitmap.fPixels = std::move(image.pixels);
  return bitmap;
}

kBitmap kBitmap::LoadFromFile(const std::string& aFileName) {
  return FromPNG(platform::ReadFileBytes(aFileName));
}

}  // namespace korvane
