// The print spool transport: output to an installed printer through the
// spooler, either as raw bytes in a job "QEL Receipt" or as a bitmap scaled
// and centred on a page, in a job "Korvane Spool Output". Nothing is read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/spool.h"
#include "transport/io_handler.h"
#include "transport/spool_bitmap.h"

namespace korvane {

enum class tkSpoolOutputType : uint8_t { Raw = 0, Normal = 1 };

// Where a bitmap goes on the page, in device pixels.
struct tkSpoolPlacement {
  double fScale = 1;
  int32_t fLeft = 0;  // from the sheet's left edge, the printable area's offset included
  int32_t fTop = 0;
  int32_t fWidth = 0;  // drawn size
  int32_t fHeight = 0;
  bool fStretched = false;  // false: drawn pixel for pixel
  bool operator==(const tkSpoolPlacement&) const = default;
};

// The scale is 1 at exactly 300 pixels per inch and dpi / 300 otherwise, made
// smaller when the bitmap would not fit the printable width, then height; the
// drawn size is cut toward zero, centred on the printable area (halves cut
// toward zero) and moved by its offsets.
tkSpoolPlacement PlaceSpoolBitmap(int32_t aBitmapWidth, int32_t aBitmapHeight,
                                  const platform::SpoolPageMetrics& aMetrics);

// What the spooler takes of a bitmap and of its placement. The pixels stay
// aBitmap's.
platform::SpoolBitmap SpoolBitmapOf(const kBitmap& aBitmap);
platform::SpoolPlacement SpoolPlacementOf(const tkSpoolPlacement& aPlacement);

class kIOHandler_Spool : public kIOHandler {
 public:
  kIOHandler_Spool(const kConnection& aConnection, const std::string& aDirectory,
                   const std::string& aFileName);

  bool Connected() override { return true; }
  // The banner; no printer is opened here.
  bool Connect() override { return kIOHandler::Connect(); }
  bool Disconnect() override { return true; }
  void ClearBuffers() override {}
  // Raw: the text in the code page CodePage (the ANSI code page when 0 or
  // less). Normal: prints the bitmap; aMessage is not used.
  bool Write(const std::string& aMessage) override;
  std::string ReadUpTo(std::vector<uint8_t> aChars) override;  // empty
  std::string ReadChars(int32_t aCharsNum) override;           // empty
  std::string ReadAll() override;                              // fails: "ReadAll Unsupported"
  std::string DecodeError(int32_t aErrorCode) override;        // empty
  bool InputBufferContainsData() override;                     // fails
  void SetParameter(const std::string&, const std::string&) override {}

  // Raw output of aBytes unchanged. False with the spooler's text in
  // ErrorMessage (ErrorFound and ErrorCode are left as they are).
  bool WriteBytes(const std::vector<uint8_t>& aBytes);

  tkSpoolOutputType OutputType() const { return fOutputType; }
  void SetOutputType(tkSpoolOutputType aValue) { fOutputType = aValue; }
  // Not owned: whoever sets it keeps it alive while it is set.
  const kBitmap* Bitmap() const { return fBitmap; }
  void SetBitmap(const kBitmap* aValue) { fBitmap = aValue; }
  const std::string& PrinterName() const { return fPrinterName; }

 private:
  bool WriteRaw(const std::string& aMessage);
  bool WriteRawData(std::string_view aData);
  // Fails with "kIOHandler_Spool.WriteNormal: Printer <name> not found", and
  // with "kIOHandler_Spool.WriteNormal: No bitmap" when none is set.
  bool WriteNormal();
  // The position of the printer name in aPrinters (the installed printers),
  // letter case ignored; -1 when it is not there.
  int32_t FindPrinterIndex(const std::vector<std::string>& aPrinters);

  std::string fPrinterName;
  tkSpoolOutputType fOutputType = tkSpoolOutputType::Normal;
  const kBitmap* fBitmap = nullptr;
};

}  // namespace korvane
