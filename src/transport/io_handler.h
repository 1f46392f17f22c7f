// The I/O handler base: one device link with its own log, error slot and
// time-outs. Its connection settings are in connection.h, the table that
// makes the handler class serving a connection type in transport_table.h,
// and the concrete transports in their own headers (tcp_handler.h ...).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/shared_types.h"
#include "transport/connection.h"

namespace korvane {

class tTK_LogWriter;

// The abstract device link. Every transport implements the link operations;
// the base gives each handler a log writer (when made with a directory and a
// file name), an error slot and a read time-out that can be overridden for a
// while. One caller at a time.
class kIOHandler {
 public:
  virtual ~kIOHandler();  // writes the STOP line last, then ends the log
  kIOHandler(const kIOHandler&) = delete;
  kIOHandler& operator=(const kIOHandler&) = delete;

  // The link operations, in their fixed order.
  virtual bool Connected() = 0;
  // Writes the five-line connection banner and answers true. Transports that
  // open a link call it first.
  virtual bool Connect();
  virtual bool Disconnect() = 0;
  virtual void ClearBuffers() = 0;
  virtual bool Write(const std::string& aMessage) = 0;
  // Reads until one of the byte values aChars has arrived or the read
  // time-out has run out. Each received byte becomes the character of the
  // same code (0 to 255) of the result.
  virtual std::string ReadUpTo(std::vector<uint8_t> aChars) = 0;
  virtual std::string ReadChars(int32_t aCharsNum) = 0;
  virtual std::string ReadAll() = 0;
  virtual std::string DecodeError(int32_t aErrorCode) = 0;
  virtual bool InputBufferContainsData() = 0;
  virtual void SetParameter(const std::string& aName, const std::string& aValue) = 0;

  // The log. Both write nothing when the handler has no log writer.
  void Debug(tTK_MessageType aEntryType, std::string_view aMessage);
  // The data line aTitle ":" aMessage, with " [" HexDump(aMessage) "]" after
  // it when HexLog is on.
  void WriteLog(tTK_MessageType aEntryType, const std::string& aTitle, const std::string& aMessage);
  // The full path of the log file; empty without log writer. (Kept here
  // between calls and taken again when the log changed it.)
  const std::string& GetLogFileName() const;
  bool HasLogWriter() const { return fLogger != nullptr; }

  // The error slot; nothing clears it but ResetCustomError.
  void SetCustomError(int32_t aErrorCode, const std::string& aErrorMessage);
  void ResetCustomError();
  bool ErrorFound() const { return fErrorFound; }
  int32_t ErrorCode() const { return fErrorCode; }
  const std::string& ErrorMessage() const { return fErrorMessage; }

  // Overrides the read time-out (a value of 0 or less changes nothing) and
  // restores the value saved by the last override. The pair does not nest.
  void SetTemporaryReadTimeout(int32_t aNewTimeout);
  void ResetTemporaryReadTimeout();

  bool HexLog() const { return fHexLog; }
  void SetHexLog(bool aValue) { fHexLog = aValue; }
  int32_t ConnectTimeout() const { return fConnectTimeout; }
  void SetConnectTimeout(int32_t aValue) { fConnectTimeout = aValue; }
  int32_t ReadTimeout() const { return fReadTimeout; }
  void SetReadTimeout(int32_t aValue) { fReadTimeout = aValue; }
  const std::string& Version() const { return fVersion; }
  void SetVersion(const std::string& aValue) { fVersion = aValue; }
  int32_t CodePage() const { return fCodePage; }
  void SetCodePage(int32_t aValue) { fCodePage = aValue; }

  // The name of the handler's own class, such as "kIOHandler_TCP": the
  // name its row of the transport table gives, or the one it set itself.
  std::string ClassName() const;

 protected:
  // The constructor every transport runs first: the time-outs come from
  // aConnection when one is given (else both stay 0); with a non-empty
  // aDirectory and aFileName the log writer is made (daily file name, no
  // message limit) and the START line written.
  kIOHandler(const kConnection* aConnection, const std::string& aDirectory, const std::string& aFileName);

  // Each UTF-16 code unit of aText in lower-case hexadecimal, at least two
  // digits, separated by one blank.
  static std::string HexDump(const std::string& aText);

  tTK_LogWriter* Logger() const { return fLogger.get(); }

  // Names a handler class outside the transport table (a class made from a
  // transport's class takes that transport's name unless it sets its own).
  void SetClassName(const std::string& aClassName);

  // Only the text of the error slot (the spool transport's raw output leaves
  // the flag and the code as they are).
  void SetErrorMessage(const std::string& aMessage) { fErrorMessage = aMessage; }

 private:
  bool fErrorFound = false;
  int32_t fErrorCode = 0;
  std::string fErrorMessage;
  std::unique_ptr<tTK_LogWriter> fLogger;
  mutable std::string fLogFileName;
  mutable uint64_t fLogFileNameSeen = UINT64_MAX;
  bool fHexLog = false;
  int32_t fConnectTimeout = 0;
  int32_t fReadTimeout = 0;
  int32_t fTemporaryReadTimeout = 0;
  std::string fVersion;
  int32_t fCodePage = 0;
  std::string fClassName;  // empty: the transport table's name
};

}  // namespace korvane
