// PNG through libpng's simplified reading interface.
#include <png.h>

#include <cstring>
#include <string>

#include "platform/error.h"
#include "platform/png.h"

namespace korvane::platform {

RgbImage DecodePng(std::string_view aData, int32_t aMaxSide) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, aData.data(), aData.size()))
    throw Error(std::string("Cannot load PNG image: ") + image.message);
  if (image.width > static_cast<png_uint_32>(aMaxSide) || image.height > static_cast<png_uint_32>(aMaxSide)) {
    png_image_free(&image);
    throw Error("Cannot load PNG image: too large");
  }
  image.format = PNG_FORMAT_RGB;  // alpha is composed over the background below
  RgbImage result;
  result.width = static_cast<int32_t>(image.width);
  result.height = static_cast<int32_t>(image.height);
  result.pixels.assign(static_cast<size_t>(image.width) * image.height * 3, 0xFF);
  png_color white{0xFF, 0xFF, 0xFF};
  if (!png_image_finish_read(&image, &white, result.pixels.data(), 0, nullptr)) {
    const std::string message = image.message;
    png_image_free(&image);
    throw Error("Cannot load PNG image: " + message);
  }
  return result;
}

}  // namespace korvane::platform
