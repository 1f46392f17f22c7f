// Connection settings: text forms of the three enumerations.
#include "helpers/ascii.h"
#include "platform/error.h"
#include "transport/io_handler.h"

namespace korvane {
tkConnectionType kConnection::ConvertConnectionType(const std::string& aString) {
  const std::string text = AsciiLower(aString);
  if (text == "serial") return tkConnectionType::Serial;
  if (text == "http") return tkConnectionType::HTTP;
  if (text == "tcp") return tkConnectionType::TCP;
  if (text == "opos") return tkConnectionType::OPOS;
  if (text == "dll") return tkConnectionType::DLL;
  if (text == "com") return tkConnectionType::Com;
  if (text == "spool") return tkConnectionType::Spool;
  throw Error("Connection Type " + aString + " is not valid");
}

std::string kConnection::ConnectionTypeToString(tkConnectionType aValue) {
  switch (aValue) {
    case tkConnectionType::OPOS: return "OPOS";
    case tkConnectionType::TCP: return "TCP";
    case tkConnectionType::HTTP: return "HTTP";
    case tkConnectionType::Serial: return "SERIAL";
    case tkConnectionType::DLL: return "DLL";
    case tkConnectionType::Com: return "COM";
    case tkConnectionType::Spool: return "SPOOL";
  }
  return "";
}

tkParity kConnection::ConvertParity(const std::string& aString) {
  const std::string text = AsciiLower(aString);
  if (text == "none") return tkParity::None;
  if (text == "odd") return tkParity::Odd;
  if (text == "even") return tkParity::Even;
  throw Error("Connection Parity " + aString + " is not valid");
}

std::string kConnection::ParityToString(tkParity aValue) {
  switch (aValue) {
    case tkParity::None: return "NONE";
    case tkParity::Even: return "EVEN";
    case tkParity::Odd: return "ODD";
  }
  return "";
}

tkHTTPAuthType kConnection::ConvertAuthType(const std::string& aString) {
  const std::string text = AsciiLower(aString);
  if (text == "none") return at_None;
  if (text == "basic") return at_Basic;
  if (text == "digest") return at_Digest;
  if (text == "bearer") return at_Bearer;
  return at_None;
}

std::string kConnection::AuthTypeToString(tkHTTPAuthType aValue) {
  switch (aValue) {
    case at_None: return "NONE";
    case at_Basic: return "BASIC";
    case at_Digest: return "DIGEST";
    case at_Bearer: return "BEARER";
  }
  return "";
}

}  // namespace korvane
