// The I/O handler base: log, error slot, time-outs and the banner.
#include "transport/io_handler.h"

#include "base/log_writer.h"
#include "helpers/utf.h"
#include "platform/error.h"
#include "transport/transport_table.h"

namespace korvane {
namespace {

const char kStartLine[] = "*************************** START ***************************";
const char kStopLine[] = "*************************** STOP ****************************";
const char kBannerLine[] = "*************************************************************";

}  // namespace

kIOHandler::kIOHandler(const kConnection* aConnection, const std::string& aDirectory,
                       const std::string& aFileName) {
  if (aConnection != nullptr) {
    fReadTimeout = aConnection->ReadTimeOut();
    fConnectTimeout = aConnection->ConnectTimeOut();
  }
  if (!aDirectory.empty() && !aFileName.empty()) {
    fLogger = std::make_unique<tTK_LogWriter>(aFileName, aDirectory, 0, true);
    fLogger->Write(let_info, kStartLine);
  }
}

kIOHandler::~kIOHandler() {
  if (fLogger) {
    try {
      fLogger->WriteLast(let_info, kStopLine);  // after a report of lines lost, if any
    } catch (...) {
      // A destructor does not fail; the writer still ends below.
    }
    fLogger.reset();  // writes every queued line, or counts it lost when the disk fails
  }
}

bool kIOHandler::Connect() {
  Debug(let_info, kBannerLine);
  Debug(let_info, ClassName());
  Debug(let_info, fVersion);
  Debug(let_info, "ConnectTimeout=" + std::to_string(fConnectTimeout));
  Debug(let_info, "ReadTimeout=" + std::to_string(fReadTimeout));
  return true;
}

void kIOHandler::Debug(tTK_MessageType aEntryType, std::string_view aMessage) {
  if (fLogger) fLogger->Write(aEntryType, aMessage);
}

void kIOHandler::WriteLog(tTK_MessageType aEntryType, const std::string& aTitle,
                          const std::string& aMessage) {
  if (!fLogger) return;
  std::string line = aTitle + ":" + aMessage;
  if (fHexLog) line += " [" + HexDump(aMessage) + "]";
  fLogger->Write(aEntryType, line);
}

const std::string& kIOHandler::GetLogFileName() const {
  if (fLogger) {
    fLogger->RefreshFileName(fLogFileName, fLogFileNameSeen);
  } else {
    fLogFileName.clear();
    fLogFileNameSeen = UINT64_MAX;
  }
  return fLogFileName;
}

void kIOHandler::SetCustomError(int32_t aErrorCode, const std::string& aErrorMessage) {
  fErrorFound = true;
  fErrorCode = aErrorCode;
  fErrorMessage = aErrorMessage;
}

void kIOHandler::ResetCustomError() {
  fErrorFound = false;
  fErrorCode = 0;
  fErrorMessage.clear();
}

void kIOHandler::SetTemporaryReadTimeout(int32_t aNewTimeout) {
  if (fLogger)
    fLogger->Write(let_info, "Set Read Timeout to " + std::to_string(aNewTimeout) + "ms from " +
                                 std::to_string(fReadTimeout) + " ms");
  if (aNewTimeout > 0) {
    fTemporaryReadTimeout = fReadTimeout;
    fReadTimeout = aNewTimeout;
  }
}

void kIOHandler::ResetTemporaryReadTimeout() {
  if (fLogger) fLogger->Write(let_info, "Reset Timeout to " + std::to_string(fTemporaryReadTimeout) + " ms");
  if (fTemporaryReadTimeout != 0) fReadTimeout = fTemporaryReadTimeout;
}

std::string kIOHandler::HexDump(const std::string& aText) {
  static const char kDigits[] = "0123456789abcdef";
  std::string result;
  for (const char16_t unit : platform::Utf8ToUtf16(aText)) {
    if (!result.empty()) result += ' ';
    std::string digits;
    unsigned value = unit;
    do {
      digits.insert(digits.begin(), kDigits[value & 0xF]);
      value >>= 4;
    } while (value != 0);
    if (digits.size() < 2) digits.insert(digits.begin(), '0');
    result += digits;
  }
  return result;
}

std::string kIOHandler::ClassName() const {
  if (!fClassName.empty()) return fClassName;
  return TransportTable::ClassNameOf(*this);
}

void kIOHandler::SetClassName(const std::string& aClassName) { fClassName = aClassName; }

}  // namespace korvane
