// HTTP through WinHTTP: one session handle, one connection handle per
// server, so that a connection may be kept alive between requests.
#include <windows.h>
// (the system headers below need <windows.h> first)
#include <winhttp.h>

#include <chrono>

#include "platform/error.h"
#include "platform/http.h"
#include "platform/http_digest_win32.h"
#include "platform/wide_win32.h"

namespace korvane::platform {
namespace {

using Clock = std::chrono::steady_clock;

class Handle {
 public:
  Handle() = default;
  explicit Handle(HINTERNET aHandle) : fHandle(aHandle) {}
  ~Handle() { Reset(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  void Reset(HINTERNET aHandle = nullptr) {
    if (fHandle) WinHttpCloseHandle(fHandle);
    fHandle = aHandle;
  }
  HINTERNET Get() const { return fHandle; }

 private:
  HINTERNET fHandle = nullptr;
};

std::string ErrorText(DWORD aCode) { return OsErrorText(static_cast<int>(aCode)); }

// The value of a response header as text; empty without one.
std::wstring QueryText(HINTERNET aRequest, DWORD aInfo) {
  DWORD size = 0;
  WinHttpQueryHeaders(aRequest, aInfo, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER, &size,
                      WINHTTP_NO_HEADER_INDEX);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return std::wstring();
  std::wstring value(size / sizeof(wchar_t), L'\0');
  if (!WinHttpQueryHeaders(aRequest, aInfo, WINHTTP_HEADER_NAME_BY_INDEX, value.data(), &size,
                           WINHTTP_NO_HEADER_INDEX))
    return std::wstring();
  value.resize(size / sizeof(wchar_t));
  return value;
}

int Remaining(Clock::time_point aDeadline, bool aBounded, int aDefault) {
  if (!aBounded) return aDefault;
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(aDeadline - Clock::now()).count();
  return left > 1 ? static_cast<int>(left) : 1;
}

}  // namespace

struct HttpSession::Impl {
  Handle session;
  Handle connection;
  std::wstring host;
  INTERNET_PORT port = 0;
  bool alive = false;

  void Open() {
    session.Reset(WinHttpOpen(L"QORD_KORVANE_10", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                              WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session.Get()) ThrowOsError(static_cast<int>(GetLastError()), "Cannot create the HTTP client: ");
    connection.Reset();
    host.clear();
    port = 0;
    alive = false;
  }
};

HttpSession::HttpSession() : fImpl(std::make_unique<Impl>()) { fImpl->Open(); }

HttpSession::~HttpSession() = default;

HttpResponse HttpSession::Perform(const HttpRequest& aRequest) {
  HttpResponse response;
  Impl& s = *fImpl;
  s.alive = false;
  auto fail = [&](DWORD aCode, const std::string& aWhat = std::string()) {
    response.transferOk = false;
    response.error = aWhat + ErrorText(aCode);
    return response;
  };
  std::string url = aRequest.url;
  if (url.find("://") == std::string::npos) url = "http://" + url;
  std::wstring wideUrl = Widen(url);
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwSchemeLength = parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength =
      static_cast<DWORD>(-1);
  if (!WinHttpCrackUrl(wideUrl.c_str(), static_cast<DWORD>(wideUrl.size()), 0, &parts))
    return fail(GetLastError());
  if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS)
    return fail(ERROR_WINHTTP_UNRECOGNIZED_SCHEME);
  const bool tls = parts.nScheme == INTERNET_SCHEME_HTTPS;
  const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
  path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (path.empty()) path = L"/";

  const bool bounded = aRequest.totalTimeoutMs > 0;
  const Clock::time_point deadline =
      Clock::now() + std::chrono::milliseconds(bounded ? aRequest.totalTimeoutMs : 0);
  const int connectMs = aRequest.connectTimeoutMs > 0 ? aRequest.connectTimeoutMs : 60000;
  WinHttpSetTimeouts(s.session.Get(), Remaining(deadline, bounded, connectMs),
                     std::min(connectMs, Remaining(deadline, bounded, connectMs)),
                     Remaining(deadline, bounded, 0), Remaining(deadline, bounded, 0));

  // What failed, said before the system's text (which some systems lack
  // for the HTTP client's own codes).
  const std::string where = Narrow(host) + " port " + std::to_string(parts.nPort);
  auto sendFailed = [&](DWORD aCode) {
    switch (aCode) {
      case ERROR_WINHTTP_CANNOT_CONNECT:
      case ERROR_WINHTTP_CONNECTION_ERROR:
      case ERROR_WINHTTP_NAME_NOT_RESOLVED: return fail(aCode, "Failed to connect to " + where + ": ");
      case ERROR_WINHTTP_TIMEOUT: return fail(aCode, "Operation timed out talking to " + where + ": ");
      default: return fail(aCode, "Failed to exchange the request with " + where + ": ");
    }
  };
  if (!s.connection.Get() || s.host != host || s.port != parts.nPort) {
    s.connection.Reset(WinHttpConnect(s.session.Get(), host.c_str(), parts.nPort, 0));
    if (!s.connection.Get()) return fail(GetLastError());
    s.host = host;
    s.port = parts.nPort;
  }
  Handle request(WinHttpOpenRequest(s.connection.Get(), aRequest.post ? L"POST" : L"GET", path.c_str(),
                                    nullptr, WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                    tls ? WINHTTP_FLAG_SECURE : 0));
  if (!request.Get()) return fail(GetLastError());
  DWORD option = WINHTTP_DISABLE_REDIRECTS;
  WinHttpSetOption(request.Get(), WINHTTP_OPTION_DISABLE_FEATURE, &option, sizeof option);
  // The wait for the response's head has a time-out of its own.
  DWORD responseMs = static_cast<DWORD>(Remaining(deadline, bounded, 0));
  if (bounded)
    WinHttpSetOption(request.Get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &responseMs, sizeof responseMs);
  if (tls && !aRequest.verifyPeer) {
    DWORD ignore = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID |
                   SECURITY_FLAG_IGNORE_CERT_CN_INVALID | SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE;
    WinHttpSetOption(request.Get(), WINHTTP_OPTION_SECURITY_FLAGS, &ignore, sizeof ignore);
  }

  std::wstring headers;
  if (aRequest.post && !aRequest.contentType.empty())
    headers += L"Content-Type: " + Widen(aRequest.contentType) + L"\r\n";
  for (const auto& [name, value] : aRequest.headers) headers += Widen(name) + L": " + Widen(value) + L"\r\n";
  if (!headers.empty())
    WinHttpAddRequestHeaders(request.Get(), headers.c_str(), static_cast<DWORD>(headers.size()),
                             WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE);

  if (aRequest.auth == HttpAuth::Basic) {
    const std::wstring user = Widen(aRequest.user), password = Widen(aRequest.password);
    WinHttpSetCredentials(request.Get(), WINHTTP_AUTH_TARGET_SERVER, WINHTTP_AUTH_SCHEME_BASIC, user.c_str(),
                          password.c_str(), nullptr);
  }

  // Digest answers the server's challenge: a second round when it asks.
  const std::string method = aRequest.post ? "POST" : "GET";
  for (int round = 0; round < 2; ++round) {
    void* body = aRequest.post ? const_cast<char*>(aRequest.body.data()) : WINHTTP_NO_REQUEST_DATA;
    const DWORD length = aRequest.post ? static_cast<DWORD>(aRequest.body.size()) : 0;
    if (!WinHttpSendRequest(request.Get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, body, length, length, 0) ||
        !WinHttpReceiveResponse(request.Get(), nullptr))
      return sendFailed(GetLastError());
    DWORD status = 0, size = sizeof status;
    WinHttpQueryHeaders(request.Get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                        WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
    response.status = status > 0 ? static_cast<int32_t>(status) : -1;
    if (round == 0 && status == 401 && aRequest.auth == HttpAuth::Digest) {
      const std::string answer =
          DigestAuthorization(Narrow(QueryText(request.Get(), WINHTTP_QUERY_WWW_AUTHENTICATE)), method,
                              Narrow(path), aRequest.user, aRequest.password);
      if (!answer.empty()) {
        // The challenge's own body is read away before the second round.
        DWORD available = 0;
        std::string drain;
        while (WinHttpQueryDataAvailable(request.Get(), &available) && available > 0) {
          drain.resize(available);
          DWORD read = 0;
          if (!WinHttpReadData(request.Get(), drain.data(), available, &read) || read == 0) break;
        }
        const std::wstring header = L"Authorization: " + Widen(answer) + L"\r\n";
        WinHttpAddRequestHeaders(request.Get(), header.c_str(), static_cast<DWORD>(header.size()),
                                 WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE);
        response.status = -1;
        continue;
      }
    }
    break;
  }
  const std::wstring version = QueryText(request.Get(), WINHTTP_QUERY_VERSION);
  const std::wstring reason = QueryText(request.Get(), WINHTTP_QUERY_STATUS_TEXT);
  if (response.status > 0)
    response.statusLine = Narrow(version) + " " + std::to_string(response.status) + " " + Narrow(reason);
  response.contentType = Narrow(QueryText(request.Get(), WINHTTP_QUERY_CONTENT_TYPE));

  for (;;) {
    DWORD available = 0;
    if (!WinHttpQueryDataAvailable(request.Get(), &available))
      return fail(GetLastError(), "Failed to receive the response from " + where + ": ");
    if (available == 0) break;
    if (aRequest.maxBodyBytes > 0 && response.body.size() + available > aRequest.maxBodyBytes) {
      response.tooLarge = true;
      return fail(ERROR_WINHTTP_RESPONSE_DRAIN_OVERFLOW);
    }
    const size_t at = response.body.size();
    response.body.resize(at + available);
    DWORD read = 0;
    if (!WinHttpReadData(request.Get(), response.body.data() + at, available, &read))
      return fail(GetLastError(), "Failed to receive the response from " + where + ": ");
    response.body.resize(at + read);
    if (bounded && Clock::now() >= deadline)
      return fail(ERROR_WINHTTP_TIMEOUT, "Operation timed out talking to " + where + ": ");
  }
  // A body that ends before its declared length is a broken-off transfer.
  DWORD declared = 0, declaredSize = sizeof declared;
  if (WinHttpQueryHeaders(request.Get(), WINHTTP_QUERY_CONTENT_LENGTH | WINHTTP_QUERY_FLAG_NUMBER,
                          WINHTTP_HEADER_NAME_BY_INDEX, &declared, &declaredSize, WINHTTP_NO_HEADER_INDEX) &&
      response.body.size() < declared) {
    response.transferOk = false;
    response.error = "Transferred a partial file: " + std::to_string(response.body.size()) + " of " +
                     std::to_string(declared) + " bytes received from " + where;
    return response;
  }
  response.transferOk = true;
  s.alive = true;
  return response;
}

bool HttpSession::Connected() { return fImpl->alive; }

void HttpSession::Disconnect() { fImpl->Open(); }

}  // namespace korvane::platform
