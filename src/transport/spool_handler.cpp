#include "transport/spool_handler.h"

#include <algorithm>
#include <cctype>

#include "helpers/ascii.h"
#include "platform/code_page.h"
#include "platform/error.h"

namespace korvane {
namespace {

const char kRawTitle[] = "QEL Receipt";
const char kNormalTitle[] = "Korvane Spool Output";

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

platform::SpoolBitmap SpoolBitmapOf(const kBitmap& aBitmap) {
  return platform::SpoolBitmap{aBitmap.Width(), aBitmap.Height(), aBitmap.Pixels().data()};
}

platform::SpoolPlacement SpoolPlacementOf(const tkSpoolPlacement& aPlacement) {
  return platform::SpoolPlacement{aPlacement.fLeft, aPlacement.fTop, aPlacement.fWidth, aPlacement.fHeight};
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
  try {
    platform::SpoolRawJob(fPrinterName, kRawTitle, aData);
    return true;
  } catch (const platform::OsError& e) {
    SetErrorMessage(e.what());
    return false;
  }
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
  try {
    const platform::SpoolPageMetrics metrics = platform::SpoolPageMetricsOf(printer);
    const tkSpoolPlacement placement = PlaceSpoolBitmap(fBitmap->Width(), fBitmap->Height(), metrics);
    platform::SpoolBitmapJob(printer, kNormalTitle, SpoolBitmapOf(*fBitmap), SpoolPlacementOf(placement),
                             metrics);
  } catch (const platform::OsError& e) {
    throw Error(std::string("kIOHandler_Spool.WriteNormal: ") + e.what());
  }
  return true;
}

std::string kIOHandler_Spool::ReadUpTo(std::vector<uint8_t>) { return ""; }
std::string kIOHandler_Spool::ReadChars(int32_t) { return ""; }
std::string kIOHandler_Spool::ReadAll() { throw Error("ReadAll Unsupported"); }
std::string kIOHandler_Spool::DecodeError(int32_t) { return ""; }
bool kIOHandler_Spool::InputBufferContainsData() { throw Error("InputBufferContainsData Unsupported"); }

}  // namespace korvane
