// HTTP through libcurl: one easy handle a session, whose connection cache
// lasts between requests.
#include <curl/curl.h>

#include <mutex>

#include "platform/error.h"
#include "platform/http.h"

namespace korvane::platform {
namespace {

// Readies libcurl for this process: once, whichever thread comes first;
// before the first handle is made.
void InitHttpLibrary() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

CURL* NewHandle() {
  InitHttpLibrary();
  CURL* handle = curl_easy_init();
  if (handle == nullptr) throw Error("Cannot create the HTTP client");
  return handle;
}

struct Exchange {
  HttpResponse* response;
  size_t maxBodyBytes;
};

size_t OnBody(char* aData, size_t aSize, size_t aCount, void* aExchange) {
  Exchange& exchange = *static_cast<Exchange*>(aExchange);
  const size_t n = aSize * aCount;
  if (exchange.maxBodyBytes > 0 && exchange.response->body.size() + n > exchange.maxBodyBytes) {
    exchange.response->tooLarge = true;
    return 0;  // ends the transfer with an error
  }
  exchange.response->body.append(aData, n);
  return n;
}

// Each response (an authentication challenge before the final one, say)
// starts with its status line; only the last response's line and body count.
size_t OnHeader(char* aData, size_t aSize, size_t aCount, void* aExchange) {
  HttpResponse* response = static_cast<Exchange*>(aExchange)->response;
  std::string line(aData, aSize * aCount);
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
  if (line.rfind("HTTP/", 0) == 0) {
    response->statusLine = line;
    response->body.clear();
  }
  return aSize * aCount;
}

struct SList {
  curl_slist* fList = nullptr;
  ~SList() { curl_slist_free_all(fList); }
  void Add(const std::string& aLine) {
    curl_slist* next = curl_slist_append(fList, aLine.c_str());
    if (next == nullptr) throw Error("Out of memory");
    fList = next;
  }
};

}  // namespace

struct HttpSession::Impl {
  CURL* handle = nullptr;
};

HttpSession::HttpSession() : fImpl(std::make_unique<Impl>()) { fImpl->handle = NewHandle(); }

HttpSession::~HttpSession() { curl_easy_cleanup(fImpl->handle); }

HttpResponse HttpSession::Perform(const HttpRequest& aRequest) {
  CURL* h = fImpl->handle;
  // Every option is set anew for each request; the connection cache stays.
  curl_easy_reset(h);
  HttpResponse response;
  Exchange exchange{&response, aRequest.maxBodyBytes};
  char errorText[CURL_ERROR_SIZE] = {0};

  SList headers;
  if (aRequest.post) {
    // An empty value removes a header curl would otherwise add by itself.
    headers.Add(aRequest.contentType.empty() ? "Content-Type:" : "Content-Type: " + aRequest.contentType);
    headers.Add("Expect:");
  }
  for (const auto& [name, value] : aRequest.headers)
    headers.Add(value.empty() ? name + ";" : name + ": " + value);

  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorText);
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_URL, aRequest.url.c_str());
  curl_easy_setopt(h, CURLOPT_DEFAULT_PROTOCOL, "http");
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
  if (aRequest.post) {
    curl_easy_setopt(h, CURLOPT_POST, 1L);
    curl_easy_setopt(h, CURLOPT_POSTFIELDS, aRequest.body.data());
    curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(aRequest.body.size()));
  }
  if (headers.fList != nullptr) curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.fList);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &OnBody);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &exchange);
  curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &OnHeader);
  curl_easy_setopt(h, CURLOPT_HEADERDATA, &exchange);
  if (aRequest.connectTimeoutMs > 0)
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(aRequest.connectTimeoutMs));
  if (aRequest.totalTimeoutMs > 0)
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(aRequest.totalTimeoutMs));
  if (!aRequest.caFile.empty()) curl_easy_setopt(h, CURLOPT_CAINFO, aRequest.caFile.c_str());
  if (!aRequest.verifyPeer) {
    curl_easy_setopt(
        h, CURLOPT_SSLVERSION,
        static_cast<long>(CURL_SSLVERSION_TLSv1_0) | static_cast<long>(CURL_SSLVERSION_MAX_DEFAULT));
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 0L);
  }

  switch (aRequest.auth) {
    case HttpAuth::None: break;
    case HttpAuth::Basic: curl_easy_setopt(h, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC)); break;
    case HttpAuth::Digest: curl_easy_setopt(h, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_DIGEST)); break;
  }
  if (aRequest.auth != HttpAuth::None) {
    curl_easy_setopt(h, CURLOPT_USERNAME, aRequest.user.c_str());
    curl_easy_setopt(h, CURLOPT_PASSWORD, aRequest.password.c_str());
  }

  const CURLcode code = curl_easy_perform(h);
  long status = 0;
  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
  response.status = status > 0 ? static_cast<int32_t>(status) : -1;
  if (response.status == -1) response.statusLine.clear();
  char* contentType = nullptr;
  if (curl_easy_getinfo(h, CURLINFO_CONTENT_TYPE, &contentType) == CURLE_OK && contentType != nullptr)
    response.contentType = contentType;
  response.transferOk = code == CURLE_OK && !response.tooLarge;
  if (code != CURLE_OK) {
    response.error = curl_easy_strerror(code);
    if (errorText[0] != '\0') response.error += std::string(": ") + errorText;
  }
  // The options point into aRequest and this frame; drop them before leaving.
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, nullptr);
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, nullptr);
  curl_easy_setopt(h, CURLOPT_POSTFIELDS, nullptr);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, nullptr);
  curl_easy_setopt(h, CURLOPT_HEADERDATA, nullptr);
  return response;
}

bool HttpSession::Connected() {
  curl_socket_t socket = CURL_SOCKET_BAD;
  if (curl_easy_getinfo(fImpl->handle, CURLINFO_ACTIVESOCKET, &socket) != CURLE_OK) return false;
  return socket != CURL_SOCKET_BAD;
}

void HttpSession::Disconnect() {
  // A fresh handle: the old one closes its connections as it goes.
  CURL* fresh = NewHandle();
  curl_easy_cleanup(fImpl->handle);
  fImpl->handle = fresh;
}

}  // namespace korvane::platform
