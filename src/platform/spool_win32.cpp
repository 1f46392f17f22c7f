// The print spooler through winspool: raw jobs as one page of a "RAW" (or
// "XPS_PASS") document, bitmap jobs drawn through the printer's device context.
#include <windows.h>
// (the system headers below need <windows.h> first)
#include <winspool.h>

#include <algorithm>
#include <vector>

#include "platform/error.h"
#include "platform/spool.h"
#include "platform/wide_win32.h"

namespace korvane::platform {
namespace {

[[noreturn]] void ThrowSpoolerError() { ThrowOsError(static_cast<int>(GetLastError())); }

class Printer {
 public:
  explicit Printer(const std::string& aName) : fName(Widen(aName)) {
    if (!OpenPrinterW(fName.data(), &fHandle, nullptr)) ThrowSpoolerError();
  }
  ~Printer() { ClosePrinter(fHandle); }
  Printer(const Printer&) = delete;
  Printer& operator=(const Printer&) = delete;
  HANDLE Get() const { return fHandle; }

 private:
  std::wstring fName;
  HANDLE fHandle = nullptr;
};

class PrinterDC {
 public:
  explicit PrinterDC(const std::string& aName)
      : fDC(CreateDCW(L"WINSPOOL", Widen(aName).c_str(), nullptr, nullptr)) {}
  ~PrinterDC() {
    if (fDC) DeleteDC(fDC);
  }
  PrinterDC(const PrinterDC&) = delete;
  PrinterDC& operator=(const PrinterDC&) = delete;
  HDC Get() const { return fDC; }

 private:
  HDC fDC;
};

int32_t Pixels(int aHundredthsMm, int32_t aDpi) {
  return static_cast<int32_t>(static_cast<int64_t>(aHundredthsMm) * aDpi / 2540);
}

}  // namespace

std::vector<std::string> SpoolPrinterNames() {
  const DWORD flags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
  DWORD needed = 0, count = 0;
  EnumPrintersW(flags, nullptr, 4, nullptr, 0, &needed, &count);
  std::vector<BYTE> buffer(needed);
  std::vector<std::string> names;
  if (needed == 0 || !EnumPrintersW(flags, nullptr, 4, buffer.data(), needed, &needed, &count)) return names;
  const auto* info = reinterpret_cast<const PRINTER_INFO_4W*>(buffer.data());
  for (DWORD i = 0; i < count; ++i) names.push_back(Narrow(info[i].pPrinterName));
  return names;
}

SpoolPageMetrics SpoolPageMetricsOf(const std::string& aPrinter) {
  Printer printer(aPrinter);  // the spooler's own text for an unknown name
  SpoolPageMetrics metrics;
  PrinterDC dc(aPrinter);
  const int dpi = dc.Get() ? GetDeviceCaps(dc.Get(), LOGPIXELSX) : 0;
  const int width = dc.Get() ? GetDeviceCaps(dc.Get(), PHYSICALWIDTH) : 0;
  const int height = dc.Get() ? GetDeviceCaps(dc.Get(), PHYSICALHEIGHT) : 0;
  if (dpi > 0 && width > 0 && height > 0) {
    metrics.dpi = dpi;
    metrics.pageWidth = width;
    metrics.pageHeight = height;
    metrics.printableWidth = GetDeviceCaps(dc.Get(), HORZRES);
    metrics.printableHeight = GetDeviceCaps(dc.Get(), VERTRES);
    metrics.offsetX = GetDeviceCaps(dc.Get(), PHYSICALOFFSETX);
    metrics.offsetY = GetDeviceCaps(dc.Get(), PHYSICALOFFSETY);
    metrics.fromPrinter = true;
    return metrics;
  }
  metrics.dpi = kSpoolDefaultDpi;
  metrics.pageWidth = metrics.printableWidth = Pixels(kSpoolDefaultWidth100mm, kSpoolDefaultDpi);
  metrics.pageHeight = metrics.printableHeight = Pixels(kSpoolDefaultHeight100mm, kSpoolDefaultDpi);
  return metrics;
}

void SpoolRawJob(const std::string& aPrinter, const std::string& aTitle, std::string_view aBytes) {
  Printer printer(aPrinter);
  std::wstring title = Widen(aTitle);
  // The data goes to the printer unchanged: as "RAW", or as "XPS_PASS" for a
  // printer whose (XPS, version 4) driver refuses "RAW".
  wchar_t raw[] = L"RAW";
  wchar_t xpsPass[] = L"XPS_PASS";
  DOC_INFO_1W document{title.data(), nullptr, raw};
  if (StartDocPrinterW(printer.Get(), 1, reinterpret_cast<LPBYTE>(&document)) == 0) {
    if (GetLastError() != ERROR_INVALID_DATATYPE) ThrowSpoolerError();
    document.pDatatype = xpsPass;
    if (StartDocPrinterW(printer.Get(), 1, reinterpret_cast<LPBYTE>(&document)) == 0) ThrowSpoolerError();
  }
  // One page holds all of it.
  DWORD failure = 0;
  const bool pageStarted = StartPagePrinter(printer.Get()) != 0;
  if (!pageStarted) failure = GetLastError();
  size_t done = 0;
  while (failure == 0 && done < aBytes.size()) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(aBytes.size() - done, 1u << 30));
    if (!WritePrinter(printer.Get(), const_cast<char*>(aBytes.data() + done), chunk, &written))
      failure = GetLastError();
    else if (written == 0)
      failure = ERROR_WRITE_FAULT;
    done += written;
  }
  if (pageStarted && !EndPagePrinter(printer.Get()) && failure == 0) failure = GetLastError();
  if (!EndDocPrinter(printer.Get()) && failure == 0) failure = GetLastError();
  if (failure != 0) ThrowOsError(static_cast<int>(failure));
}

void SpoolBitmapJob(const std::string& aPrinter, const std::string& aTitle, const SpoolBitmap& aBitmap,
                    const SpoolPlacement& aPlacement, const SpoolPageMetrics& aMetrics) {
  Printer printer(aPrinter);  // the spooler's own text for an unknown name
  PrinterDC dc(aPrinter);
  if (!dc.Get()) ThrowSpoolerError();
  // A bottom-up device-independent bitmap: BGR, each row padded to 4 bytes.
  const size_t stride = (static_cast<size_t>(aBitmap.width) * 3 + 3) & ~static_cast<size_t>(3);
  std::vector<uint8_t> rows(stride * static_cast<size_t>(aBitmap.height), 0xFF);
  for (int32_t y = 0; y < aBitmap.height; ++y) {
    const uint8_t* from = aBitmap.pixels + static_cast<size_t>(y) * aBitmap.width * 3;
    uint8_t* to = rows.data() + static_cast<size_t>(aBitmap.height - 1 - y) * stride;
    for (int32_t x = 0; x < aBitmap.width; ++x) {
      to[x * 3] = from[x * 3 + 2];
      to[x * 3 + 1] = from[x * 3 + 1];
      to[x * 3 + 2] = from[x * 3];
    }
  }
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = aBitmap.width;
  info.bmiHeader.biHeight = aBitmap.height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;

  std::wstring title = Widen(aTitle);
  DOCINFOW document{};
  document.cbSize = sizeof document;
  document.lpszDocName = title.c_str();
  if (StartDocW(dc.Get(), &document) <= 0) ThrowSpoolerError();
  DWORD failure = 0;
  if (StartPage(dc.Get()) <= 0) {
    failure = GetLastError();
  } else {
    // The device context's origin is the printable area's corner.
    const int drawn = StretchDIBits(
        dc.Get(), aPlacement.left - aMetrics.offsetX, aPlacement.top - aMetrics.offsetY, aPlacement.width,
        aPlacement.height, 0, 0, aBitmap.width, aBitmap.height, rows.data(), &info, DIB_RGB_COLORS, SRCCOPY);
    if (drawn == 0 || drawn == static_cast<int>(GDI_ERROR)) failure = ERROR_WRITE_FAULT;
    if (EndPage(dc.Get()) <= 0 && failure == 0) failure = GetLastError();
  }
  if (failure != 0) {
    AbortDoc(dc.Get());
    ThrowOsError(static_cast<int>(failure));
  }
  if (EndDoc(dc.Get()) <= 0) ThrowSpoolerError();
}

}  // namespace korvane::platform
