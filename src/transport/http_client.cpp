#include "transport/http_client.h"

#include "platform/http.h"

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
  request.connectTimeoutMs = aRequest.fConnectTimeout > 0 ? aRequest.fConnectTimeout : 0;
  // The read time-out bounds the exchange once the connection is made.
  if (aRequest.fReadTimeout > 0) request.totalTimeoutMs = request.connectTimeoutMs + aRequest.fReadTimeout;
  request.caFile = aRequest.fCAFile;

  platform::HttpResponse response = fSession->Perform(request);
  Result result;
  result.fTransferOk = response.transferOk;
  result.fError = std::move(response.error);
  result.fStatus = response.status;
  result.fStatusLine = std::move(response.statusLine);
  result.fBody = std::move(response.body);
  result.fContentType = std::move(response.contentType);
  return result;
}

bool kHTTPClient::Connected() { return fSession->Connected(); }

void kHTTPClient::Disconnect() { fSession->Disconnect(); }

}  // namespace korvane
