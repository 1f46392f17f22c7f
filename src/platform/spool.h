// The print spooler: the installed printers (queues), their page metrics, and
// print jobs of one document. On this platform the spooler is CUPS; a client
// reaches the scheduler that CUPS_SERVER names, else the system's.
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

// The page metrics of aPrinter; false with aError when the printer is not
// known to the spooler.
bool SpoolPageMetricsOf(const std::string& aPrinter, SpoolPageMetrics& aMetrics, std::string& aError);

// One print job of one document: created on aPrinter with the title aTitle,
// the document in aFormat ("application/vnd.cups-raw" for data the printer
// takes unchanged, "application/postscript" ...) written in one piece. False
// with the spooler's own text in aError when the job could not be created or
// the document not be sent.
inline constexpr const char* kSpoolFormatRaw = "application/vnd.cups-raw";
inline constexpr const char* kSpoolFormatPostScript = "application/postscript";
bool SpoolDocument(const std::string& aPrinter, const std::string& aTitle, const char* aFormat,
                   std::string_view aData, std::string& aError);

}  // namespace korvane::platform
