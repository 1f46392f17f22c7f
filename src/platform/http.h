// HTTP and HTTPS exchanges: a session makes one request at a time and may
// keep its connection alive between them. Redirects are never followed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace korvane::platform {

enum class HttpAuth { None, Basic, Digest };

struct HttpRequest {
  bool post = false;  // false: GET
  std::string url;    // a URL without a scheme is taken as http
  std::string body;   // POST only
  // POST only: the Content-Type header; empty sends none.
  std::string contentType;
  // More headers, in order; one with an empty value is sent empty.
  std::vector<std::pair<std::string, std::string>> headers;
  HttpAuth auth = HttpAuth::None;  // Basic is sent up front, Digest answers the challenge
  std::string user;
  std::string password;
  int32_t connectTimeoutMs = 0;  // 0 or less: the system's default
  int32_t totalTimeoutMs = 0;    // the whole exchange; 0 or less: no bound
  std::string caFile;            // PEM file of the trusted authorities; empty: the system's store
  // False: any certificate and host name is accepted, and TLS from 1.0 up.
  bool verifyPeer = true;
  // A body longer than this fails the exchange; 0: no cap.
  size_t maxBodyBytes = 0;
};

struct HttpResponse {
  bool transferOk = false;  // the exchange itself completed
  std::string error;        // the system's message when it did not
  bool tooLarge = false;    // it did not because the body passed maxBodyBytes
  int32_t status = -1;      // status code of the final response; -1 without one
  std::string statusLine;   // e.g. "HTTP/1.1 404 Not Found"
  std::string body;         // bytes of the final response's body
  std::string contentType;  // the response's Content-Type, empty without one
};

class HttpSession {
 public:
  // Fails with an Error when the system's HTTP client cannot be set up.
  HttpSession();
  ~HttpSession();
  HttpSession(const HttpSession&) = delete;
  HttpSession& operator=(const HttpSession&) = delete;

  // One exchange. Never raises for a failure of the exchange; those are in
  // the response.
  HttpResponse Perform(const HttpRequest& aRequest);

  // True while the connection of the last exchange is alive.
  bool Connected();
  // Closes every connection the session keeps.
  void Disconnect();

 private:
  struct Impl;
  std::unique_ptr<Impl> fImpl;
};

}  // namespace korvane::platform
