// The HTTP client object of the HTTP transport, on libcurl: one easy handle
// whose connection may be kept alive between requests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace korvane {

// Readies libcurl for this process: once, whichever thread comes first;
// before the first handle is made. Every user of libcurl calls it.
void InitHttpLibrary();

class kHTTPClient {
 public:
  enum class Auth { None, Basic, Digest };

  struct Request {
    std::string fURL;
    std::string fBody;
    std::string fContentType;  // empty: no Content-Type header
    std::vector<std::pair<std::string, std::string>> fHeaders;
    Auth fAuth = Auth::None;  // Basic is sent up front, Digest answers the challenge
    std::string fUser;
    std::string fPassword;
    int32_t fConnectTimeout = 0;  // milliseconds; 0 or less: kDefaultTimeout
    int32_t fReadTimeout = 0;     // milliseconds added for the exchange; 0 or less: kDefaultTimeout
    std::string fCAFile;          // empty: the system's store
  };

  struct Result {
    bool fTransferOk = false;  // the exchange itself completed
    std::string fError;        // the client's message when it did not
    int32_t fStatus = -1;      // status code of the final response; -1 without one
    std::string fStatusLine;   // e.g. "HTTP/1.1 404 Not Found"
    std::string fBody;         // bytes of the final response's body
    std::string fContentType;  // the response's Content-Type, empty without one
    bool fTooLarge = false;    // the body passed kMaxResponseBytes: the transfer was ended
  };

  // A response body larger than this ends the exchange as a failure.
  static constexpr size_t kMaxResponseBytes = 64u * 1024 * 1024;

  kHTTPClient();
  ~kHTTPClient();
  kHTTPClient(const kHTTPClient&) = delete;
  kHTTPClient& operator=(const kHTTPClient&) = delete;

  // One POST. Redirects are not followed. Never raises for a failure of the
  // exchange; those are in the result.
  Result Post(const Request& aRequest);

  // True while the connection of the last request is alive.
  bool Connected();
  // Closes every connection the client keeps.
  void Disconnect();

 private:
  void* fHandle = nullptr;  // CURL*
};

}  // namespace korvane
