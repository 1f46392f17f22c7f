// The spooler is CUPS: a client reaches the scheduler that CUPS_SERVER
// names, else the system's.
#include <cups/cups.h>

#include <charconv>
#include <cmath>

#include "platform/error.h"
#include "platform/spool.h"
#include "platform/spool_postscript_posix.h"

namespace korvane::platform {
namespace {

constexpr const char* kFormatRaw = "application/vnd.cups-raw";
constexpr const char* kFormatPostScript = "application/postscript";

// The scheduler's own text for its last failure.
[[noreturn]] void ThrowSpoolerError() {
  throw OsError(static_cast<int>(cupsLastError()), cupsLastErrorString());
}

// A number for PostScript: fixed point, three decimals, "." whatever the
// locale.
std::string Number(double aValue) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, aValue, std::chars_format::fixed, 3);
  return std::string(buffer, result.ptr);
}

// Hundredths of a millimetre to pixels at aDpi, cut toward zero.
int32_t Pixels(int aHundredthsMm, int32_t aDpi) {
  return static_cast<int32_t>(static_cast<int64_t>(aHundredthsMm) * aDpi / 2540);
}

}  // namespace

std::vector<std::string> SpoolPrinterNames() {
  cups_dest_t* dests = nullptr;
  const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
  std::vector<std::string> names;
  for (int i = 0; i < count; ++i)
    if (dests[i].instance == nullptr) names.emplace_back(dests[i].name);
  cupsFreeDests(count, dests);
  return names;
}

SpoolPageMetrics SpoolPageMetricsOf(const std::string& aPrinter) {
  cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, aPrinter.c_str(), nullptr);
  if (dest == nullptr) ThrowSpoolerError();
  cups_dinfo_t* info = cupsCopyDestInfo(CUPS_HTTP_DEFAULT, dest);
  int32_t dpi = kSpoolDefaultDpi;
  bool told = false;
  if (info != nullptr) {
    if (ipp_attribute_t* res = cupsFindDestDefault(CUPS_HTTP_DEFAULT, dest, info, "printer-resolution")) {
      int y = 0;
      ipp_res_t units = IPP_RES_PER_INCH;
      const int x = ippGetResolution(res, 0, &y, &units);
      if (x > 0) {
        dpi = units == IPP_RES_PER_CM ? static_cast<int32_t>(std::lround(x * 2.54)) : x;
        told = true;
      }
    }
  }
  cups_size_t size{};
  if (info != nullptr && cupsGetDestMediaDefault(CUPS_HTTP_DEFAULT, dest, info, 0, &size) && size.width > 0 &&
      size.length > 0) {
    told = true;
  } else {
    size = {};
    size.width = kSpoolDefaultWidth100mm;
    size.length = kSpoolDefaultHeight100mm;
  }
  SpoolPageMetrics metrics;
  metrics.dpi = dpi;
  metrics.pageWidth = Pixels(size.width, dpi);
  metrics.pageHeight = Pixels(size.length, dpi);
  metrics.offsetX = Pixels(size.left, dpi);
  metrics.offsetY = Pixels(size.top, dpi);
  metrics.printableWidth = Pixels(size.width - size.left - size.right, dpi);
  metrics.printableHeight = Pixels(size.length - size.top - size.bottom, dpi);
  metrics.fromPrinter = told;
  cupsFreeDestInfo(info);
  cupsFreeDests(1, dest);
  return metrics;
}

namespace {

// One print job of one document in aFormat, written in one piece.
void SpoolDocument(const std::string& aPrinter, const std::string& aTitle, const char* aFormat,
                   std::string_view aData) {
  // The printer first, as opening it would: the scheduler's own text when it
  // does not know the name.
  cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, aPrinter.c_str(), nullptr);
  if (dest == nullptr) ThrowSpoolerError();
  cupsFreeDests(1, dest);
  const int job = cupsCreateJob(CUPS_HTTP_DEFAULT, aPrinter.c_str(), aTitle.c_str(), 0, nullptr);
  if (job == 0) ThrowSpoolerError();
  bool ok = false;
  if (aData.empty()) {
    // A document must hold data: a job with nothing to print is closed
    // without one (the scheduler then ends it unprinted).
    ipp_t* request = ippNewRequest(IPP_OP_CLOSE_JOB);
    char uri[1024];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(),
                     "/printers/%s", aPrinter.c_str());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", job);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    ippDelete(cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/jobs/"));
    ok = cupsLastError() <= IPP_STATUS_OK_EVENTS_COMPLETE;
  } else {
    ok = cupsStartDocument(CUPS_HTTP_DEFAULT, aPrinter.c_str(), job, aTitle.c_str(), aFormat, 1) ==
         HTTP_STATUS_CONTINUE;
    if (ok) ok = cupsWriteRequestData(CUPS_HTTP_DEFAULT, aData.data(), aData.size()) == HTTP_STATUS_CONTINUE;
    // The document is closed whether or not its data went through.
    const ipp_status_t status = cupsFinishDocument(CUPS_HTTP_DEFAULT, aPrinter.c_str());
    ok = ok && status <= IPP_STATUS_OK_EVENTS_COMPLETE;
  }
  if (!ok) {
    const OsError failure(static_cast<int>(cupsLastError()), cupsLastErrorString());
    cupsCancelJob2(CUPS_HTTP_DEFAULT, aPrinter.c_str(), job, 0);
    throw failure;
  }
}

}  // namespace

void SpoolRawJob(const std::string& aPrinter, const std::string& aTitle, std::string_view aBytes) {
  SpoolDocument(aPrinter, aTitle, kFormatRaw, aBytes);
}

void SpoolBitmapJob(const std::string& aPrinter, const std::string& aTitle, const SpoolBitmap& aBitmap,
                    const SpoolPlacement& aPlacement, const SpoolPageMetrics& aMetrics) {
  SpoolDocument(aPrinter, aTitle, kFormatPostScript, SpoolPostScript(aTitle, aBitmap, aPlacement, aMetrics));
}

std::string SpoolPostScript(const std::string& aTitle, const SpoolBitmap& aBitmap,
                            const SpoolPlacement& aPlacement, const SpoolPageMetrics& aMetrics) {
  const double points = 72.0 / aMetrics.dpi;  // one device pixel in points
  const std::string pageWidth = Number(aMetrics.pageWidth * points);
  const std::string pageHeight = Number(aMetrics.pageHeight * points);
  const std::string w = std::to_string(aBitmap.width);
  const std::string h = std::to_string(aBitmap.height);
  const size_t size = static_cast<size_t>(aBitmap.width) * static_cast<size_t>(aBitmap.height) * 3;
  std::string ps;
  ps.reserve(size * 2 + size / 32 + 1024);
  ps += "%!PS-Adobe-3.0\n";
  ps += "%%Title: " + aTitle + "\n";
  ps += "%%BoundingBox: 0 0 " + std::to_string(static_cast<int>(aMetrics.pageWidth * points + 0.5)) + " " +
        std::to_string(static_cast<int>(aMetrics.pageHeight * points + 0.5)) + "\n";
  ps += "%%Pages: 1\n%%EndComments\n";
  ps += "%%BeginSetup\n<< /PageSize [" + pageWidth + " " + pageHeight + "] >> setpagedevice\n%%EndSetup\n";
  ps += "%%Page: 1 1\ngsave\n";
  // PostScript counts from the bottom of the sheet.
  ps += Number(aPlacement.left * points) + " " +
        Number((aMetrics.pageHeight - aPlacement.top - aPlacement.height) * points) + " translate\n";
  ps += Number(aPlacement.width * points) + " " + Number(aPlacement.height * points) + " scale\n";
  ps += w + " " + h + " 8 [" + w + " 0 0 -" + h + " 0 " + h + "]\n";
  ps += "currentfile /ASCIIHexDecode filter false 3 colorimage\n";
  static const char kHex[] = "0123456789abcdef";
  size_t column = 0;
  for (size_t i = 0; i < size; ++i) {
    const uint8_t byte = aBitmap.pixels[i];
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

}  // namespace korvane::platform
