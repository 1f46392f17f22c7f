// Real HTTP and HTTPS servers on loopback for tests (cpp-httplib), on an
// ephemeral port, each on its own thread for the life of the object; a raw
// peer for answers no well-behaved server gives; throw-away certificates.
#pragma once

#include <httplib.h>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/loopback.h"
#include "support/test_support.h"

namespace korvane::testing {

// Whether this build has HTTPS test servers (not on Windows: no OpenSSL there).
#ifdef CPPHTTPLIB_OPENSSL_SUPPORT
inline constexpr bool kHaveHttpsServer = true;
#else
inline constexpr bool kHaveHttpsServer = false;
#endif

// A throw-away self-signed certificate for 127.0.0.1 and localhost (also a
// CA, so a client can be told to trust it), with its key, as PEM files in a
// folder of their own.
class TestCertificate {
 public:
  TestCertificate();
  std::string CertFile() const { return fDir / "cert.pem"; }
  std::string KeyFile() const { return fDir / "key.pem"; }

 private:
  TempDir fDir;
};

// What the server saw of one request of a recorded route.
struct SeenRequest {
  std::string path;
  std::string body;
  std::multimap<std::string, std::string, httplib::detail::ci> headers;
};

class TestHttpServer {
 public:
  using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

  // Plain HTTP.
  TestHttpServer();
  // HTTPS with the given certificate.
  explicit TestHttpServer(const TestCertificate& aCert);
  ~TestHttpServer();
  TestHttpServer(const TestHttpServer&) = delete;
  TestHttpServer& operator=(const TestHttpServer&) = delete;

  // The routes: set them before Start.
  httplib::Server& Server() { return *fServer; }
  // A POST route whose requests are recorded (see Seen) before aHandler
  // answers them.
  void RecordedPost(const std::string& aPath, Handler aHandler);

  // Starts listening on 127.0.0.1; call after the routes are set.
  void Start();
  // Stops listening; the destructor stops too.
  void Stop();
  int Port() const { return fPort; }
  // "http://127.0.0.1:PORT" (https for a TLS server) followed by aPath.
  std::string Url(const std::string& aPath) const;
  // The requests of the recorded routes so far.
  std::vector<SeenRequest> Seen() const;

 private:
  std::unique_ptr<httplib::Server> fServer;
  bool fTls = false;
  int fPort = 0;
  std::thread fThread;
  mutable std::mutex fLock;
  std::vector<SeenRequest> fSeen;
};

// A peer on 127.0.0.1 that reads one request's head, answers it with the
// bytes given and closes.
class RawHttpPeer {
 public:
  explicit RawHttpPeer(std::string aReply);
  ~RawHttpPeer();
  RawHttpPeer(const RawHttpPeer&) = delete;
  RawHttpPeer& operator=(const RawHttpPeer&) = delete;
  int Port() const { return fPort; }

 private:
  std::string fReply;
  NativeSocket fListener = kNoSocket;
  int fPort = 0;
  std::thread fThread;
};

}  // namespace korvane::testing
