// Connection settings: which transport a device link uses and the
// parameters of every kind.
#pragma once

#include <cstdint>
#include <string>

namespace korvane {

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

// The connect and read time-out of a link, in milliseconds, when none is
// given; a transport used with no time-out of its own waits this long too,
// never without bound.
inline constexpr int32_t kDefaultTimeout = 1000;
// A read of several bytes, or a reply, must be complete within this many
// read time-outs, however slowly its bytes arrive.
inline constexpr int32_t kWholeReadTimeouts = 3;

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
  int32_t fConnectTimeout = kDefaultTimeout;
  int32_t fReadTimeout = kDefaultTimeout;
};

}  // namespace korvane
