// HTTP through WinHTTP: one session handle, one connection handle per
// server, so that a connection may be kept alive between requests.
#include <windows.h>
// (the system headers below need <windows.h> first)
#include <winhttp.h>

#include <chrono>

#include "platform/error.h"
#include "platform/http.h"
#include "platform/http_digest_win32.h"
#include "platform/tls_trust_win32.h"
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
  // Forgets a handle that was closed elsewhere.
  void Release() { fHandle = nullptr; }
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

// TLS from 1.0 up, as the other platforms allow. Not every system knows
// every flag (TLS 1.3 is recent; Windows 7 lacks even 1.1 and 1.2 without
// its update): the widest range the system takes.
void AllowProtocols(HINTERNET aSession) {
#ifndef WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3
  constexpr DWORD WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3 = 0x00002000;
#endif
  const DWORD ranges[] = {WINHTTP_FLAG_SECURE_PROTOCOL_TLS1 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_1 |
                              WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3,
                          WINHTTP_FLAG_SECURE_PROTOCOL_TLS1 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_1 |
                              WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2,
                          WINHTTP_FLAG_SECURE_PROTOCOL_TLS1};
  for (DWORD range : ranges)
    if (WinHttpSetOption(aSession, WINHTTP_OPTION_SECURE_PROTOCOLS, &range, sizeof range)) return;
}

// The check of a server's certificate against a CA file. WinHTTP itself
// only knows the system's store, so the handshake is let through an unknown
// root and the chain is checked here, in the status callback that WinHTTP
// calls when the connection (and its handshake) is up and just before the
// request's head is written: the one point where the certificate is known
// and nothing has gone out yet. A certificate that fails closes the request
// handle there, which ends the send (WinHTTP cancels a request whose handle
// closes). The body does not go with the head but is written after the send
// returns, only when the check passed, so that it never reaches an
// unverified server even where the head of a closed request is written all
// the same (Wine's WinHTTP does that).
struct TrustCheck {
  std::string caFile;  // empty: WinHTTP checks against the system's store
  DWORD failures = 0;  // what WinHTTP's own check found (WINHTTP_CALLBACK_STATUS_FLAG_...)
  std::wstring host;
  std::string refusal;  // why the certificate is not trusted; empty: trusted or not seen yet
  bool closed = false;  // the callback closed the request handle
};

void CALLBACK OnSecureStep(HINTERNET aRequest, DWORD_PTR aContext, DWORD aStatus, LPVOID aInfo,
                           DWORD aInfoSize) {
  if (aContext == 0) return;
  TrustCheck& check = *reinterpret_cast<TrustCheck*>(aContext);
  if (aStatus == WINHTTP_CALLBACK_STATUS_SECURE_FAILURE && aInfo != nullptr && aInfoSize >= sizeof(DWORD))
    check.failures |= *static_cast<const DWORD*>(aInfo);
  if (aStatus != WINHTTP_CALLBACK_STATUS_SENDING_REQUEST || check.caFile.empty()) return;
  PCCERT_CONTEXT cert = nullptr;
  DWORD size = sizeof cert;
  // No exception may cross WinHTTP's frames: it ends here as the refusal.
  try {
    if (!WinHttpQueryOption(aRequest, WINHTTP_OPTION_SERVER_CERT_CONTEXT, &cert, &size) || cert == nullptr)
      check.refusal = "the server's certificate cannot be read: " + ErrorText(GetLastError());
    else
      check.refusal = UntrustedReason(cert, check.caFile, check.host);
  } catch (const std::exception& e) {
    check.refusal = e.what();
  }
  if (cert != nullptr) CertFreeCertificateContext(cert);
  if (!check.refusal.empty()) {
    check.closed = true;
    WinHttpCloseHandle(aRequest);
  }
}

// What WinHTTP's own check of the certificate found, in words; empty when
// it found nothing (the handshake failed, or the system tells no more).
std::string SecureFailureText(DWORD aFailures) {
  if (aFailures & WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CA)
    return "the certificate is signed by an authority the system does not trust";
  if (aFailures & WINHTTP_CALLBACK_STATUS_FLAG_CERT_CN_INVALID)
    return "the certificate does not name the host";
  if (aFailures & WINHTTP_CALLBACK_STATUS_FLAG_CERT_DATE_INVALID) return "the certificate is out of date";
  if (aFailures & WINHTTP_CALLBACK_STATUS_FLAG_CERT_REVOKED) return "the certificate is revoked";
  if (aFailures & WINHTTP_CALLBACK_STATUS_FLAG_CERT_WRONG_USAGE)
    return "the certificate is not meant for a server";
  if (aFailures != 0) return "the certificate or the connection's security is not valid";
  return std::string();
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
    AllowProtocols(session.Get());
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

  // What failed, said before the system's text (which some systems lack
  // for the HTTP client's own codes).
  const std::string where = Narrow(host) + " port " + std::to_string(parts.nPort);
  auto timedOut = [&]() {
    return fail(ERROR_WINHTTP_TIMEOUT, "Operation timed out talking to " + where + ": ");
  };
  TrustCheck trust;  // read by the callback while a send is under way
  auto sendFailed = [&](DWORD aCode) {
    switch (aCode) {
      case ERROR_WINHTTP_CANNOT_CONNECT:
      case ERROR_WINHTTP_CONNECTION_ERROR:
      case ERROR_WINHTTP_NAME_NOT_RESOLVED: return fail(aCode, "Failed to connect to " + where + ": ");
      case ERROR_WINHTTP_TIMEOUT: return timedOut();
      case ERROR_WINHTTP_SECURE_FAILURE:
      case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:
        if (const std::string found = SecureFailureText(trust.failures); !found.empty())
          return fail(aCode, "SSL peer certificate was not OK: " + found + " (" + where + "): ");
        return fail(aCode, "SSL connect error: the secure connection to " + where +
                               " failed (its certificate, or no protocol in common): ");
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

  // Every blocking step gets what is left of the exchange's time as its
  // time-outs, set just before it (the wait for the response's head has a
  // time-out of its own), and none starts once the time is up. A step that
  // follows the last setting within kTimeoutSlack keeps that one: the bound
  // holds to within those few milliseconds, and a body that comes in many
  // small pieces does not set them again for every piece.
  constexpr auto kTimeoutSlack = std::chrono::milliseconds(10);
  bool timeoutsSet = false;
  Clock::time_point setAt;
  auto boundNextStep = [&]() {
    if (!bounded) {
      if (!timeoutsSet) WinHttpSetTimeouts(request.Get(), connectMs, connectMs, 0, 0);
      timeoutsSet = true;
      return true;
    }
    const Clock::time_point now = Clock::now();
    if (now >= deadline) return false;
    if (timeoutsSet && now - setAt < kTimeoutSlack) return true;
    const int left = Remaining(deadline, bounded, 0);
    WinHttpSetTimeouts(request.Get(), left, std::min(connectMs, left), left, left);
    DWORD responseMs = static_cast<DWORD>(left);
    WinHttpSetOption(request.Get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &responseMs, sizeof responseMs);
    timeoutsSet = true;
    setAt = now;
    return true;
  };

  // The certificate: the system's store and WinHTTP's own checks, the CA
  // file's authorities (checked here, see TrustCheck), or nothing at all.
  const bool checkTrust = tls && aRequest.verifyPeer && !aRequest.caFile.empty();
  if (tls && !aRequest.verifyPeer) {
    DWORD ignore = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID |
                   SECURITY_FLAG_IGNORE_CERT_CN_INVALID | SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE;
    WinHttpSetOption(request.Get(), WINHTTP_OPTION_SECURITY_FLAGS, &ignore, sizeof ignore);
  } else if (tls) {
    if (checkTrust) {
      // The root and the name are checked here (both, see TrustCheck).
      DWORD ignore = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_CN_INVALID;
      WinHttpSetOption(request.Get(), WINHTTP_OPTION_SECURITY_FLAGS, &ignore, sizeof ignore);
      trust.caFile = aRequest.caFile;
      trust.host = host;
    }
    DWORD_PTR context = reinterpret_cast<DWORD_PTR>(&trust);
    if (!WinHttpSetOption(request.Get(), WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof context) ||
        WinHttpSetStatusCallback(request.Get(), &OnSecureStep,
                                 WINHTTP_CALLBACK_FLAG_SEND_REQUEST | WINHTTP_CALLBACK_FLAG_SECURE_FAILURE,
                                 0) == WINHTTP_INVALID_STATUS_CALLBACK)
      return fail(GetLastError(), "Cannot check the server's certificate: ");
  }
  auto untrusted = [&]() {
    if (trust.closed) request.Release();
    s.connection.Reset();  // nothing more over that connection
    s.host.clear();
    response.transferOk = false;
    response.error =
        "SSL peer certificate was not OK: the certificate of " + where + " is not trusted: " + trust.refusal;
    return response;
  };

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

  // The request: its head with the body, or, while the certificate is to be
  // checked, the head alone and the body once the check passed.
  auto send = [&]() -> bool {
    const DWORD length = aRequest.post ? static_cast<DWORD>(aRequest.body.size()) : 0;
    void* body =
        aRequest.post && !checkTrust ? const_cast<char*>(aRequest.body.data()) : WINHTTP_NO_REQUEST_DATA;
    const BOOL sent = WinHttpSendRequest(request.Get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, body,
                                         checkTrust ? 0 : length, length, 0);
    if (!trust.refusal.empty() || !sent) return sent;
    for (DWORD done = 0; checkTrust && done < length;) {
      DWORD written = 0;
      if (!boundNextStep()) {
        SetLastError(ERROR_WINHTTP_TIMEOUT);
        return false;
      }
      if (!WinHttpWriteData(request.Get(), aRequest.body.data() + done, length - done, &written))
        return false;
      if (written == 0) {
        SetLastError(ERROR_WINHTTP_CONNECTION_ERROR);
        return false;
      }
      done += written;
    }
    return true;
  };

  // Digest answers the server's challenge: a second round when it asks.
  const std::string method = aRequest.post ? "POST" : "GET";
  for (int round = 0; round < 2; ++round) {
    if (!boundNextStep()) return timedOut();
    const bool sent = send();
    if (!trust.refusal.empty()) return untrusted();
    if (!sent) return sendFailed(GetLastError());
    if (!boundNextStep()) return timedOut();
    if (!WinHttpReceiveResponse(request.Get(), nullptr)) return sendFailed(GetLastError());
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
        while (boundNextStep() && WinHttpQueryDataAvailable(request.Get(), &available) && available > 0) {
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

  auto receiveFailed = [&](DWORD aCode) {
    if (aCode == ERROR_WINHTTP_TIMEOUT) return timedOut();
    return fail(aCode, "Failed to receive the response from " + where + ": ");
  };
  for (;;) {
    DWORD available = 0;
    if (!boundNextStep()) return timedOut();
    if (!WinHttpQueryDataAvailable(request.Get(), &available)) return receiveFailed(GetLastError());
    if (available == 0) break;
    if (aRequest.maxBodyBytes > 0 && response.body.size() + available > aRequest.maxBodyBytes) {
      response.tooLarge = true;
      return fail(ERROR_WINHTTP_RESPONSE_DRAIN_OVERFLOW);
    }
    const size_t at = response.body.size();
    response.body.resize(at + available);
    // What the server sent already: this read does not wait.
    DWORD read = 0;
    if (!WinHttpReadData(request.Get(), response.body.data() + at, available, &read))
      return receiveFailed(GetLastError());
    response.body.resize(at + read);
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
