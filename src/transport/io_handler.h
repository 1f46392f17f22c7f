// Connection settings and the I/O handler base: one device link with its own
// log, error slot and time-outs, and the transport table that makes the
// handler class that serves a connection type.
//
// The concrete transports live in their own headers:
//   tcp_handler.h   kIOHandler_TCP and its client object kTCPClient
//   dll_handler.h   kIOHandler_Dll
//   com_handler.h   kIOHandler_Com
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/shared_types.h"

namespace korvane {

class tTK_LogWriter;

// ---- connection settings ---------------------------------------------------

enum class tkConnectionType : uint8_t {
  OPOS = 0,
  TCP = 1,
  HTTP = 2,
  Serial = 3,
  DLL = 4,
  Com = 5,
  Spool = 6
};

enum class tkParity : uint8_t { None = 0, Even = 1, Odd = 2 };

enum tkHTTPAuthType : uint8_t { at_None = 0, at_Basic = 1, at_Digest = 2, at_Bearer = 3 };

// The settings of one device link: which transport to use and the parameters
// of every kind. A handler copies what it needs at construction.
class kConnection {
 public:
  kConnection() = default;

  const std::string& Address() const { return fAddress; }
  void SetAddress(const std::string& aValue) { fAddress = aValue; }
  int32_t Port() const { return fPort; }
  void SetPort(int32_t aValue) { fPort = aValue; }
  const std::string& URL() const { return fURL; }
  void SetURL(const std::string& aValue) { fURL = aValue; }
  tkHTTPAuthType AuthType() const { return fAuthType; }
  void SetAuthType(tkHTTPAuthType aValue) { fAuthType = aValue; }
  const std::string& User() const { return fUser; }
  void SetUser(const std::string& aValue) { fUser = aValue; }
  const std::string& Password() const { return fPassword; }
  void SetPassword(const std::string& aValue) { fPassword = aValue; }
  const std::string& SerialPort() const { return fSerialPort; }
  void SetSerialPort(const std::string& aValue) { fSerialPort = aValue; }
  int32_t Speed() const { return fSpeed; }
  void SetSpeed(int32_t aValue) { fSpeed = aValue; }
  int32_t DataBits() const { return fDataBits; }
  void SetDataBits(int32_t aValue) { fDataBits = aValue; }
  tkParity Parity() const { return fParity; }
  void SetParity(tkParity aValue) { fParity = aValue; }
  int32_t StopBits() const { return fStopBits; }
  void SetStopBits(int32_t aValue) { fStopBits = aValue; }
  const std::string& DeviceName() const { return fDeviceName; }
  void SetDeviceName(const std::string& aValue) { fDeviceName = aValue; }
  const std::string& LibraryName() const { return fLibraryName; }
  void SetLibraryName(const std::string& aValue) { fLibraryName = aValue; }
  const std::string& PrinterName() const { return fPrinterName; }
  void SetPrinterName(const std::string& aValue) { fPrinterName = aValue; }
  tkConnectionType ConnectionType() const { return fConnectionType; }
  void SetConnectionType(tkConnectionType aValue) { fConnectionType = aValue; }

  // Milliseconds. A value of 0 or less is ignored: the previous one stays.
  int32_t ConnectTimeOut() const { return fConnectTimeout; }
  void SetConnectTimeOut(int32_t aValue) {
    if (aValue > 0) fConnectTimeout = aValue;
  }
  int32_t ReadTimeOut() const { return fReadTimeout; }
  void SetReadTimeOut(int32_t aValue) {
    if (aValue > 0) fReadTimeout = aValue;
  }

  // Text forms. Reading ignores letter case and nothing else; an unknown
  // connection type or parity fails with "Connection Type <text> is not
  // valid" / "Connection Parity <text> is not valid"; an unknown
  // authentication text is at_None. Writing gives upper-case texts.
  static tkConnectionType ConvertConnectionType(const std::string& aString);
  static std::string ConnectionTypeToString(tkConnectionType aValue);
  static tkParity ConvertParity(const std::string& aString);
  static std::string ParityToString(tkParity aValue);
  static tkHTTPAuthType ConvertAuthType(const std::string& aString);
  static std::string AuthTypeToString(tkHTTPAuthType aValue);

 private:
  std::string fAddress;
  int32_t fPort = 0;
  std::string fURL;
  tkHTTPAuthType fAuthType = at_None;
  std::string fUser;
  std::string fPassword;
  std::string fSerialPort;
  int32_t fSpeed = 0;
  int32_t fDataBits = 0;
  tkParity fParity = tkParity::None;
  int32_t fStopBits = 0;
  std::string fDeviceName;
  std::string fLibraryName;
  std::string fPrinterName;
  tkConnectionType fConnectionType = tkConnectionType::OPOS;
  int32_t fConnectTimeout = 1000;
  int32_t fReadTimeout = 1000;
};

// ---- I/O handler base ------------------------------------------------------

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
  void Debug(tTK_MessageType aEntryType, const std::string& aMessage);
  // The data line aTitle ":" aMessage, with " [" HexDump(aMessage) "]" after
  // it when HexLog is on.
  void WriteLog(tTK_MessageType aEntryType, const std::string& aTitle, const std::string& aMessage);
  // The full path of the log file; empty without log writer.
  std::string GetLogFileName() const;
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
  bool fHexLog = false;
  int32_t fConnectTimeout = 0;
  int32_t fReadTimeout = 0;
  int32_t fTemporaryReadTimeout = 0;
  std::string fVersion;
  int32_t fCodePage = 0;
  std::string fClassName;  // empty: the transport table's name
};

// ---- transport table -------------------------------------------------------

// Maps each connection type to the handler class that serves it and makes
// handlers through the shared constructor. A type whose transport is not part
// of this build fails to make with an error that names it.
class TransportTable {
 public:
  using Factory = std::unique_ptr<kIOHandler> (*)(const kConnection& aConnection,
                                                  const std::string& aDirectory,
                                                  const std::string& aFileName);

  struct Row {
    tkConnectionType fConnectionType;
    const char* fClassName;
    Factory fCreate;                                 // null while the transport is not available
    bool (*fIsClassOf)(const kIOHandler& aHandler);  // aHandler is (or is made from) the row's class
  };

  // The row of aType.
  static const Row& Find(tkConnectionType aType);
  static std::string ClassName(tkConnectionType aType);
  // The class name of the row whose class aHandler is, or is made from;
  // "kIOHandler" for a handler of no row.
  static std::string ClassNameOf(const kIOHandler& aHandler);
  static bool Available(tkConnectionType aType);

  // Makes the handler for aConnection.ConnectionType(); the caller owns it.
  // Fails with "No transport for connection type <TEXT> (<class>) in this
  // build" for a type whose transport is not available.
  static std::unique_ptr<kIOHandler> Create(const kConnection& aConnection, const std::string& aDirectory,
                                            const std::string& aFileName);
};

}  // namespace korvane
