#include "transport/spool_handler.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "base/ascii.h"
#include "platform/code_page.h"
#include "platform/error.h"

namespace korvane {
namespace {

const char kRawTitle[] = "QEL Receipt";
const char kNormalTitle[] = "Korvane Spool Output";

// A number for PostScript: fixed point, three decimals, "." whatever the
// locale.
std::string Number(double aValue) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, aValue, std::chars_format::fixed, 3);
  return std::string(buffer, result.ptr);
}

}  // namespace

tkSpoolPlacement PlaceSpoolBitmap(int32_t aBitmapWidth, int32_t aBitmapHeight,
                                  const platform::SpoolPageMetrics& aMetrics) {
  double s = aMetrics.dpi == 300 ? 1.0 : aMetrics.dpi / 300.0;
  if (aMetrics.printableWidth < aBitmapWidth * s) s = aMetrics.printableWidth / (aBitmapWidth * s) * s;
  if (aMetrics.printableHeight < aBitmapHeight * s) s = aMetrics.printableHeight / (aBitmapHeight * s) * s;
  tkSpoolPlacement p;
  p.fScale = s;
  p.fWidth = static_cast<int32_t>(aBitmapWidth * s);
  p.fHeight = static_cast<int32_t>(aBitmapHeight * s);
  p.fLeft = (aMetrics.printableWidth - p.fWidth) / 2 + aMetrics.offsetX;
  p.fTop = (aMetrics.printableHeight - p.fHeight) / 2 + aMetrics.offsetY;
  p.fStretched = s != 1.0;
  return p;
}

std::string SpoolPostScript(const kBitmap& aBitmap, const tkSpoolPlacement& aPlacement,
                            const platform::SpoolPageMetrics& aMetrics) {
  const double points = 72.0 / aMetrics.dpi;  // one device pixel in points
  const std::string pageWidth = Number(aMetrics.pageWidth * points);
  const std::string pageHeight = Number(aMetrics.pageHeight * points);
  const std::string w = std::to_string(aBitmap.Width());
  const std::string h = std::to_string(aBitmap.Height());
  std::string ps;
  ps.reserve(aBitmap.Pixels().size() * 2 + aBitmap.Pixels().size() / 32 + 1024);
  ps += "%!PS-Adobe-3.0\n";
  ps += std::string("%%Title: ") + kNormalTitle + "\n";
  ps += "%%BoundingBox: 0 0 " + std::to_string(static_cast<int>(aMetrics.pageWidth * points + 0.5)) + " " +
        std::to_string(static_cast<int>(aMetrics.pageHeight * points + 0.5)) + "\n";
  ps += "%%Pages: 1\n%%EndComments\n";
  ps += "%%BeginSetup\n<< /PageSize [" + pageWidth + " " + pageHeight + "] >> setpagedevice\n%%EndSetup\n";
  ps += "%%Page: 1 1\ngsave\n";
  // PostScript counts from the bottom of the sheet.
  ps += Number(aPlacement.fLeft * points) + " " +
        Number((aMetrics.pageHeight - aPlacement.fTop - aPlacement.fHeight) * points) + " translate\n";
  ps += Number(aPlacement.fWidth * points) + " " + Number(aPlacement.fHeight * points) + " scale\n";
  ps += w + " " + h + " 8 [" + w + " 0 0 -" + h + " 0 " + h + "]\n";
  ps += "currentfile /ASCIIHexDecode filter false 3 colorimage\n";
  static const char kHex[] = "0123456789abcdef";
  size_t column = 0;
  for (const uint8_t byte : aBitmap.Pixels()) {
    ps += kHex[byte >> 4];
    ps += kHex[byte & 15];
    if (++column == 39) {
      ps += '\n';
      column = 0;
    }
  }
  ps += ">\ngrestore\nshowpage\n%%Trailer\n%%EOF\n";
  return ps;
}

kIOHandler_Spool::kIOHandler_Spool(const kConnection& aConnection, const std::string& aDirectory,
                                   const std::string& aFileName)
    : kIOHandler(&aConnection, aDirectory, aFileName), fPrinterName(aConnection.PrinterName()) {}

bool kIOHandler_Spool::Write(const std::string& aMessage) {
  if (fOutputType == tkSpoolOutputType::Raw) return WriteRaw(aMessage);
  return WriteNormal();
}

bool kIOHandler_Spool::WriteBytes(const std::vector<uint8_t>& aBytes) {
  return WriteRawData(std::string_view(reinterpret_cast<const char*>(aBytes.data()), aBytes.size()));
}

bool kIOHandler_Spool::WriteRaw(const std::string& aMessage) {
  const int codePage = CodePage() > 0 ? CodePage() : platform::kAnsiCodePage;
  return WriteRawData(platform::EncodeCodePage(aMessage, codePage));
}

bool kIOHandler_Spool::WriteRawData(std::string_view aData) {
  std::string error;
  if (platform::SpoolDocument(fPrinterName, kRawTitle, platform::kSpoolFormatRaw, aData, error)) return true;
  SetErrorMessage(error);
  return false;
}

int32_t kIOHandler_Spool::FindPrinterIndex(const std::vector<std::string>& aPrinters) {
  for (size_t i = 0; i < aPrinters.size(); ++i)
    if (AsciiEqualsIgnoreCase(aPrinters[i], fPrinterName)) return static_cast<int32_t>(i);
  return -1;
}

bool kIOHandler_Spool::WriteNormal() {
  const std::vector<std::string> printers = platform::SpoolPrinterNames();
  const int32_t index = FindPrinterIndex(printers);
  if (index < 0) throw Error("kIOHandler_Spool.WriteNormal: Printer " + fPrinterName + " not found");
  if (fBitmap == nullptr) throw Error("kIOHandler_Spool.WriteNormal: No bitmap");
  // The installed name, in its own letter case.
  const std::string& printer = printers[static_cast<size_t>(index)];
  platform::SpoolPageMetrics metrics;
  std::string error;
  if (!platform::SpoolPageMetricsOf(printer, metrics, error))
    throw Error("kIOHandler_Spool.WriteNormal: " + error);
  const tkSpoolPlacement placement = PlaceSpoolBitmap(fBitmap->Width(), fBitmap->Height(), metrics);
  if (!platform::SpoolDocument(printer, kNormalTitle, platform::kSpoolFormatPostScript,
                               SpoolPostScript(*fBitmap, placement, metrics), error))
    throw Error("kIOHandler_Spool.WriteNormal: " + error);
  return true;
}

std::string kIOHandler_Spool::ReadUpTo(std::vector<uint8_t>) { return ""; }
std::string kIOHandler_Spool::ReadChars(int32_t) { return ""; }
std::string kIOHandler_Spool::ReadAll() { throw Error("ReadAll Unsupported"); }
std::string kIOHandler_Spool::DecodeError(int32_t) { return ""; }
bool kIOHandler_Spool::InputBufferContainsData() { throw Error("InputBufferContainsData Unsupported"); }

}  // namespace korvane
