#include "transport/http_handler.h"

#include <algorithm>
#include <cctype>

#include "helpers/ascii.h"
#include "platform/code_page.h"
#include "platform/error.h"
#include "helpers/utf.h"
#include "transport/http_client.h"

namespace korvane {
namespace {

// The response body as text: decoded by the charset the server declares when
// it is one of the 8-bit sets we know, else read as UTF-8 (invalid sequences
// become U+FFFD).
std::string DecodeBody(const std::string& aBody, const std::string& aContentType) {
  const std::string type = AsciiLower(aContentType);
  const size_t at = type.find("charset=");
  if (at != std::string::npos) {
    std::string charset = type.substr(at + 8);
    charset.erase(std::remove(charset.begin(), charset.end(), '"'), charset.end());
    charset = charset.substr(0, charset.find_first_of("; "));
    if (charset == "iso-8859-1" || charset == "latin1" || charset == "windows-1252")
      return platform::DecodeCodePage(aBody, 1252);
  }
  return platform::Utf16ToUtf8(platform::Utf8ToUtf16(aBody));
}

struct StatusText {
  int32_t fCode;
  const char* fText;
};

const StatusText kStatusTexts[] = {
    {100, "Continue"},
    {101, "Switching Protocol"},
    {102, "Processing (WebDAV)"},
    {200, "OK"},
    {201, "Created"},
    {202, "Accepted"},
    {203, "Non-Authoritative Information"},
    {204, "No Content"},
    {205, "Reset Content"},
    {206, "Partial Content"},
    {207, "Multi-Status (WebDAV)"},
    {208, "Multi-Status (WebDAV)"},
    {226, "IM Used (HTTP Delta encoding)"},
    {300, "Multiple Choice"},
    {301, "Moved Permanently"},
    {302, "Found"},
    {303, "See Other"},
    {304, "Not Modified"},
    {305, "Use Proxy "},
    {306, "unused"},
    {307, "Temporary Redirect"},
    {308, "Permanent Redirect"},
    {400, "Bad Request"},
    {401, "Unauthorized"},
    {402, "Payment Required"},
    {403, "Forbidden"},
    {404, "Not Found"},
    {405, "Method Not Allowed"},
    {406, "Not Acceptable"},
    {407, "Proxy Authentication Required"},
    {408, "Request Timeout"},
    {409, "Conflict"},
    {410, "Gone"},
    {411, "Length Required"},
    {412, "Precondition Failed"},
    {413, "Payload Too Large"},
    {414, "URI Too Long"},
    {415, "Unsupported Media Type"},
    {416, "Requested Range Not Satisfiable"},
    {417, "Expectation Failed"},
    {418, "I'm a teapot"},
    {421, "Misdirected Request"},
    {422, "Unprocessable Entity (WebDAV)"},
    {423, "Locked (WebDAV)"},
    {424, "Failed Dependency (WebDAV)"},
    {426, "Upgrade Required"},
    {428, "Precondition Required"},
    {429, "Too Many Requests"},
    {431, "Request Header Fields Too Large"},
    {451, "Unavailable For Legal Reasons"},
    {500, "Internal Server Error"},
    {501, "Not Implemented"},
    {502, "Bad Gateway"},
    {503, "Service Unavailable"},
    {504, "Gateway Timeout"},
    {505, "HTTP Version Not Supported"},
    {506, "Variant Also Negotiates"},
    {507, "Insufficient Storage"},
    {508, "Loop Detected (WebDAV)"},
    {510, "Not Extended"},
    {511, "Network Authentication Required"},
};
static_assert(std::size(kStatusTexts) == 61);  // every code the table lists

}  // namespace

kIOHandler_HTTP::kIOHandler_HTTP(const kConnection& aConnection, const std::string& aDirectory,
                                 const std::string& aFileName)
    : kIOHandler(&aConnection, aDirectory, aFileName), fHttpClient(std::make_unique<kHTTPClient>()) {
  if (!aConnection.URL().empty())
    fURL = aConnection.URL();
  else
    fURL = aConnection.Address() + (aConnection.Port() > 0 ? ":" + std::to_string(aConnection.Port()) : "");
  fAuthType = aConnection.AuthType();
  fUser = aConnection.User();
  fPassword = aConnection.Password();
}

kIOHandler_HTTP::kIOHandler_HTTP(const std::string& aDirectory, const std::string& aFileName)
    : kIOHandler(nullptr, aDirectory, aFileName), fHttpClient(std::make_unique<kHTTPClient>()) {}

kIOHandler_HTTP::~kIOHandler_HTTP() { fHttpClient.reset(); }

bool kIOHandler_HTTP::Connected() { return fHttpClient->Connected(); }

bool kIOHandler_HTTP::Connect() {
  kIOHandler::Connect();
  Debug(let_info, "URL=" + fURL);
  // The connect time-out is taken from ConnectTimeout at every request.
  return true;
}

bool kIOHandler_HTTP::Disconnect() {
  fHttpClient->Disconnect();
  return !Connected();
}

bool kIOHandler_HTTP::Write(const std::string& aMessage) {
  // The library's text is UTF-8 already; the body is its bytes, no BOM.
  const std::string& body = aMessage;
  WriteLog(let_info, "Write [" + std::to_string(body.size()) + "]", aMessage);

  switch (fAuthType) {
    case at_Basic: fStickyAuth = StickyAuth::Basic; break;
    case at_Digest: fStickyAuth = StickyAuth::Digest; break;
    case at_None:
    case at_Bearer: break;  // what an earlier request set stays in force
  }

  kHTTPClient::Request request;
  request.fURL = fURL;
  request.fBody = body;
  request.fContentType = fContentType;
  request.fHeaders = fCustomHeaders;
  request.fAuth = fStickyAuth == StickyAuth::Basic    ? kHTTPClient::Auth::Basic
                  : fStickyAuth == StickyAuth::Digest ? kHTTPClient::Auth::Digest
                                                      : kHTTPClient::Auth::None;
  request.fUser = fUser;
  request.fPassword = fPassword;
  request.fConnectTimeout = ConnectTimeout();
  request.fReadTimeout = ReadTimeout();
  request.fCAFile = fCAFile;

  const kHTTPClient::Result result = fHttpClient->Post(request);
  const bool success = result.fTransferOk && result.fStatus >= 200 && result.fStatus <= 299;
  if (success) {
    fResponse = DecodeBody(result.fBody, result.fContentType);
    fResponseCode = result.fStatus;
  } else {
    // The client's message: its own text when the exchange broke off, the
    // status line when the server answered with an error status.
    std::string message = !result.fTransferOk           ? result.fError
                          : !result.fStatusLine.empty() ? result.fStatusLine
                                                        : "HTTP " + std::to_string(result.fStatus);
    WriteLog(let_error, "Post Error", message);
    if (result.fStatus < 200 || result.fStatus > 299) {
      fResponseCode = result.fStatus;
      const std::string text = DecodeError(result.fStatus);
      SetCustomError(result.fStatus, message + " " + text);
      WriteLog(let_error, "Post Error", std::to_string(result.fStatus) + " " + text);
    } else {
      fResponseCode = 999;
      SetCustomError(999, message);
    }
  }
  WriteLog(let_info, "Read", "ResponseCode:" + std::to_string(fResponseCode) + "\r\n" + fResponse);
  return fResponseCode >= 200 && fResponseCode <= 299;
}

std::string kIOHandler_HTTP::ReadUpTo(std::vector<uint8_t>) { return ""; }

std::string kIOHandler_HTTP::ReadChars(int32_t) { return ""; }

std::string kIOHandler_HTTP::ReadAll() { throw Error("ReadAll Unsupported"); }

std::string kIOHandler_HTTP::DecodeError(int32_t aErrorCode) {
  for (const StatusText& entry : kStatusTexts)
    if (entry.fCode == aErrorCode) return entry.fText;
  return "Unknown";
}

bool kIOHandler_HTTP::InputBufferContainsData() { throw Error("InputBufferContainsData Unsupported"); }

void kIOHandler_HTTP::SetParameter(const std::string& aName, const std::string& aValue) {
  // A header that would break the request's head apart is refused.
  if (aName.empty() || aName.find_first_of(":\r\n") != std::string::npos ||
      aValue.find_first_of("\r\n") != std::string::npos)
    throw Error("Invalid HTTP header " + aName);
  for (auto& header : fCustomHeaders)
    if (AsciiEqualsIgnoreCase(header.first, aName)) {
      header.second = aValue;
      return;
    }
  fCustomHeaders.emplace_back(aName, aValue);
}

}  // namespace korvane
