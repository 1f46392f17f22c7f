#include "transport/http_client.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "platform/http.h"
#include "transport/connection.h"

namespace korvane {

kHTTPClient::kHTTPClient() : fSession(std::make_unique<platform::HttpSession>()) {}

kHTTPClient::~kHTTPClient() = default;

kHTTPClient::Result kHTTPClient::Post(const Request& aRequest) {
  platform::HttpRequest request;
  request.post = true;
  request.url = aRequest.fURL;
  request.body = aRequest.fBody;
  request.contentType = aRequest.fContentType;
  request.headers = aRequest.fHeaders;
  switch (aRequest.fAuth) {
    case Auth::None: request.auth = platform::HttpAuth::None; break;
    case Auth::Basic: request.auth = platform::HttpAuth::Basic; break;
    case Auth::Digest: request.auth = platform::HttpAuth::Digest; break;
  }
  request.user = aRequest.fUser;
  request.password = aRequest.fPassword;
  // Both time-outs always apply: a link that names none gets the default.
  // The read time-out bounds the exchange once the connection is made.
  request.connectTimeoutMs = aRequest.fConnectTimeout > 0 ? aRequest.fConnectTimeout : kDefaultTimeout;
  // The sum of two large time-outs stays the largest 32-bit count.
  const int64_t total = int64_t{request.connectTimeoutMs} +
                        (aRequest.fReadTimeout > 0 ? aRequest.fReadTimeout : kDefaultTimeout);
  request.totalTimeoutMs =
      static_cast<int32_t>(std::min<int64_t>(total, std::numeric_limits<int32_t>::max()));
  request.maxBodyBytes = kMaxResponseBytes;
  request.caFile = aRequest.fCAFile;

  platform::HttpResponse response = fSession->Perform(request);
  Result result;
  result.fTransferOk = response.transferOk;
  result.fError = std::move(response.error);
  if (response.tooLarge) {
    result.fError = "Response larger than " + std::to_string(kMaxResponseBytes) + " bytes";
    response.body.clear();
  }
  result.fStatus = response.status;
  result.fStatusLine = std::move(response.statusLine);
  result.fBody = std::move(response.body);
  result.fContentType = std::move(response.contentType);
  return result;
}

bool kHTTPClient::Connected() { return fSession->Connected(); }

void kHTTPClient::Disconnect() { fSession->Disconnect(); }

}  // namespace korvane
