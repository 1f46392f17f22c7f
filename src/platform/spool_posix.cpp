#include <cups/cups.h>

#include <cmath>

#include "platform/spool.h"

namespace korvane::platform {
namespace {

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

bool SpoolPageMetricsOf(const std::string& aPrinter, SpoolPageMetrics& aMetrics, std::string& aError) {
  cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, aPrinter.c_str(), nullptr);
  if (dest == nullptr) {
    aError = cupsLastErrorString();
    return false;
  }
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
  aMetrics.dpi = dpi;
  aMetrics.pageWidth = Pixels(size.width, dpi);
  aMetrics.pageHeight = Pixels(size.length, dpi);
  aMetrics.offsetX = Pixels(size.left, dpi);
  aMetrics.offsetY = Pixels(size.top, dpi);
  aMetrics.printableWidth = Pixels(size.width - size.left - size.right, dpi);
  aMetrics.printableHeight = Pixels(size.length - size.top - size.bottom, dpi);
  aMetrics.fromPrinter = told;
  cupsFreeDestInfo(info);
  cupsFreeDests(1, dest);
  return true;
}

bool SpoolDocument(const std::string& aPrinter, const std::string& aTitle, const char* aFormat,
                   std::string_view aData, std::string& aError) {
  // The printer first, as opening it would: the scheduler's own text when it
  // does not know the name.
  cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, aPrinter.c_str(), nullptr);
  if (dest == nullptr) {
    aError = cupsLastErrorString();
    return false;
  }
  cupsFreeDests(1, dest);
  const int job = cupsCreateJob(CUPS_HTTP_DEFAULT, aPrinter.c_str(), aTitle.c_str(), 0, nullptr);
  if (job == 0) {
    aError = cupsLastErrorString();
    return false;
  }
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
    aError = cupsLastErrorString();
    cupsCancelJob2(CUPS_HTTP_DEFAULT, aPrinter.c_str(), job, 0);
  }
  return ok;
}

}  // namespace korvane::platform
