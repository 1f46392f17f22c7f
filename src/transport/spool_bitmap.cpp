#include "transport/spool_bitmap.h"

#include <png.h>

#include <cstring>

#include "platform/error.h"
#include "platform/filesystem.h"

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
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, aData.data(), aData.size()))
    throw Error(std::string("Cannot load PNG image: ") + image.message);
  if (image.width > static_cast<png_uint_32>(kMaxSide) || image.height > static_cast<png_uint_32>(kMaxSide)) {
    png_image_free(&image);
    throw Error("Cannot load PNG image: too large");
  }
  image.format = PNG_FORMAT_RGB;  // alpha is composed over the background below
  kBitmap bitmap(static_cast<int32_t>(image.width), static_cast<int32_t>(image.height));
  png_color white{0xFF, 0xFF, 0xFF};
  if (!png_image_finish_read(&image, &white, bitmap.fPixels.data(), 0, nullptr)) {
    const std::string message = image.message;
    png_image_free(&image);
    throw Error("Cannot load PNG image: " + message);
  }
  return bitmap;
}

kBitmap kBitmap::LoadFromFile(const std::string& aFileName) {
  return FromPNG(platform::ReadFileBytes(aFileName));
}

}  // namespace korvane
