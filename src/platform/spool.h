// The print spooler: the installed printers (queues), their page metrics, and
// print jobs of raw data or of one bitmap page.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::platform {

// The names of the installed printers, in the spooler's order.
std::vector<std::string> SpoolPrinterNames();

// The drawing area of a printer's default page, in device pixels.
struct SpoolPageMetrics {
  int32_t pageWidth = 0;  // the whole sheet
  int32_t pageHeight = 0;
  int32_t printableWidth = 0;  // the area the printer can print on
  int32_t printableHeight = 0;
  int32_t offsetX = 0;  // where that area begins on the sheet
  int32_t offsetY = 0;
  int32_t dpi = 0;           // pixels per inch, across and down
  bool fromPrinter = false;  // false: the printer told nothing, these are the defaults
};

// Used for a printer that states no page size or resolution (a queue without
// driver): an A4 sheet printable to its edges, at 300 pixels per inch.
inline constexpr int32_t kSpoolDefaultDpi = 300;
inline constexpr int32_t kSpoolDefaultWidth100mm = 21000;  // hundredths of a millimetre
inline constexpr int32_t kSpoolDefaultHeight100mm = 29700;

// The page metrics of aPrinter. Fails with an OsError holding the spooler's
// own text when the printer is not known to it.
SpoolPageMetrics SpoolPageMetricsOf(const std::string& aPrinter);

// One print job of data the printer takes unchanged: created on aPrinter
// with the title aTitle, aBytes written in one piece (a job without bytes is
// still one job, ended without printing). Fails with an OsError holding the
// spooler's own text when the job could not be created or the data not be
// sent.
void SpoolRawJob(const std::string& aPrinter, const std::string& aTitle, std::string_view aBytes);

// A picture to print: 8-bit RGB pixels, row by row from the top, three bytes
// (red, green, blue) a pixel. The pixels are not owned.
struct SpoolBitmap {
  int32_t width = 0;
  int32_t height = 0;
  const uint8_t* pixels = nullptr;  // width * height * 3 bytes
};

// Where the bitmap is drawn on the sheet, in device pixels from the sheet's
// top left corner; the bitmap is scaled to the drawn size.
struct SpoolPlacement {
  int32_t left = 0;
  int32_t top = 0;
  int32_t width = 0;
  int32_t height = 0;
};

// One print job of one page that draws aBitmap at aPlacement on the sheet of
// aMetrics (as SpoolPageMetricsOf gave them), titled aTitle. Fails as
// SpoolRawJob does.
void SpoolBitmapJob(const std::string& aPrinter, const std::string& aTitle, const SpoolBitmap& aBitmap,
                    const SpoolPlacement& aPlacement, const SpoolPageMetrics& aMetrics);

}  // namespace korvane::platform
