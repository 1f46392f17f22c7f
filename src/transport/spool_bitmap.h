// The picture that the print spool transport prints: a bitmap of 8-bit RGB
// pixels, loaded from PNG.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

class kBitmap {
 public:
  kBitmap() = default;
  // A white bitmap; fails with "Invalid bitmap size" for a negative size or
  // one beyond 32767 pixels either way.
  kBitmap(int32_t aWidth, int32_t aHeight);

  // Fails with "Cannot load PNG image: <reason>" for data that is not a PNG
  // image. Transparent pixels are laid over white.
  static kBitmap FromPNG(std::string_view aData);
  static kBitmap LoadFromFile(const std::string& aFileName);

  int32_t Width() const { return fWidth; }
  int32_t Height() const { return fHeight; }
  bool Empty() const { return fWidth == 0 || fHeight == 0; }

  // Row by row from the top, three bytes (red, green, blue) per pixel.
  const std::vector<uint8_t>& Pixels() const { return fPixels; }
  void SetPixel(int32_t aX, int32_t aY, uint8_t aRed, uint8_t aGreen, uint8_t aBlue);

 private:
  int32_t fWidth = 0;
  int32_t fHeight = 0;
  std::vector<uint8_t> fPixels;
};

}  // namespace korvane
