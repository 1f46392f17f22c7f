#include "transport/http_client.h"

#include <curl/curl.h>

#include <mutex>

#include "platform/error.h"
#include "transport/connection.h"

namespace korvane {

void InitHttpLibrary() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

namespace {

CURL* NewHandle() {
  InitHttpLibrary();
  CURL* handle = curl_easy_init();
  if (handle == nullptr) throw Error("Cannot create the HTTP client");
  return handle;
}

size_t OnBody(char* aData, size_t aSize, size_t aCount, void* aResult) {
  auto* result = static_cast<kHTTPClient::Result*>(aResult);
  const size_t n = aSize * aCount;
  if (result->fBody.size() + n > kHTTPClient::kMaxResponseBytes) {
    result->fTooLarge = true;
    return 0;  // curl ends the transfer
  }
  result->fBody.append(aData, n);
  return n;
}

// Each response (an authentication challenge before the final one, say)
// starts with its status line; only the last response's line and body count.
size_t OnHeader(char* aData, size_t aSize, size_t aCount, void* aResult) {
  auto* result = static_cast<kHTTPClient::Result*>(aResult);
  std::string line(aData, aSize * aCount);
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
  if (line.rfind("HTTP/", 0) == 0) {
    result->fStatusLine = line;
    result->fBody.clear();
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

kHTTPClient::kHTTPClient() : fHandle(NewHandle()) {}

kHTTPClient::~kHTTPClient() { curl_easy_cleanup(static_cast<CURL*>(fHandle)); }

kHTTPClient::Result kHTTPClient::Post(const Request& aRequest) {
  CURL* h = static_cast<CURL*>(fHandle);
  // Every option is set anew for each request; the connection cache stays.
  curl_easy_reset(h);
  Result result;
  char errorText[CURL_ERROR_SIZE] = {0};

  SList headers;
  // An empty value removes a header curl would otherwise add by itself.
  headers.Add(aRequest.fContentType.empty() ? "Content-Type:" : "Content-Type: " + aRequest.fContentType);
  headers.Add("Expect:");
  for (const auto& [name, value] : aRequest.fHeaders)
    headers.Add(value.empty() ? name + ";" : name + ": " + value);

  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorText);
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_URL, aRequest.fURL.c_str());
  curl_easy_setopt(h, CURLOPT_DEFAULT_PROTOCOL, "http");
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(h, CURLOPT_POST, 1L);
  curl_easy_setopt(h, CURLOPT_POSTFIELDS, aRequest.fBody.data());
  curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(aRequest.fBody.size()));
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.fList);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &OnBody);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &result);
  curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &OnHeader);
  curl_easy_setopt(h, CURLOPT_HEADERDATA, &result);
  // Both time-outs always apply: a link that names none gets the default.
  const long connect = aRequest.fConnectTimeout > 0 ? aRequest.fConnectTimeout : kDefaultTimeout;
  const long read = aRequest.fReadTimeout > 0 ? aRequest.fReadTimeout : kDefaultTimeout;
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, connect);
  curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, connect + read);
  if (!aRequest.fCAFile.empty()) curl_easy_setopt(h, CURLOPT_CAINFO, aRequest.fCAFile.c_str());

  switch (aRequest.fAuth) {
    case Auth::None: break;
    case Auth::Basic: curl_easy_setopt(h, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC)); break;
    case Auth::Digest: curl_easy_setopt(h, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_DIGEST)); break;
  }
  if (aRequest.fAuth != Auth::None) {
    curl_easy_setopt(h, CURLOPT_USERNAME, aRequest.fUser.c_str());
    curl_easy_setopt(h, CURLOPT_PASSWORD, aRequest.fPassword.c_str());
  }

  const CURLcode code = curl_easy_perform(h);
  long status = 0;
  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
  result.fStatus = status > 0 ? static_cast<int32_t>(status) : -1;
  if (result.fStatus == -1) result.fStatusLine.clear();
  char* contentType = nullptr;
  if (curl_easy_getinfo(h, CURLINFO_CONTENT_TYPE, &contentType) == CURLE_OK && contentType != nullptr)
    result.fContentType = contentType;
  result.fTransferOk = code == CURLE_OK;
  if (result.fTooLarge) {
    result.fError = "Response larger than " + std::to_string(kMaxResponseBytes) + " bytes";
    result.fBody.clear();
  } else if (!result.fTransferOk) {
    result.fError = curl_easy_strerror(code);
    if (errorText[0] != '\0') result.fError += std::string(": ") + errorText;
  }
  // The options point into aRequest and this frame; drop them before leaving.
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, nullptr);
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, nullptr);
  curl_easy_setopt(h, CURLOPT_POSTFIELDS, nullptr);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, nullptr);
  curl_easy_setopt(h, CURLOPT_HEADERDATA, nullptr);
  return result;
}

bool kHTTPClient::Connected() {
  curl_socket_t socket = CURL_SOCKET_BAD;
  if (curl_easy_getinfo(static_cast<CURL*>(fHandle), CURLINFO_ACTIVESOCKET, &socket) != CURLE_OK)
    return false;
  return socket != CURL_SOCKET_BAD;
}

void kHTTPClient::Disconnect() {
  // A fresh handle: the old one closes its connections as it goes.
  CURL* fresh = NewHandle();
  curl_easy_cleanup(static_cast<CURL*>(fHandle));
  fHandle = fresh;
}

}  // namespace korvane
