// A real HTTP or HTTPS server on loopback for tests (cpp-httplib), on an
// ephemeral port, running on its own thread for the life of the object.
#pragma once

#include <httplib.h>

#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include "support/test_support.h"

namespace korvane::testing {

// A throw-away self-signed certificate and key for "localhost".
class TestCertificate {
 public:
  TestCertificate() {
    const std::string command = "openssl req -x509 -newkey rsa:2048 -nodes -keyout '" + KeyFile() +
                                "' -out '" + CertFile() + "' -days 1 -subj /CN=localhost >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) throw std::runtime_error("openssl could not make a certificate");
  }
  std::string CertFile() const { return fDir / "cert.pem"; }
  std::string KeyFile() const { return fDir / "key.pem"; }

 private:
  TempDir fDir;
};

class TestHttpServer {
 public:
  // Plain HTTP.
  TestHttpServer() : fServer(std::make_unique<httplib::Server>()) {}
  // HTTPS with the given certificate.
  explicit TestHttpServer(const TestCertificate& aCert)
      : fServer(std::make_unique<httplib::SSLServer>(aCert.CertFile().c_str(), aCert.KeyFile().c_str())),
        fTls(true) {}
  ~TestHttpServer() { Stop(); }

  httplib::Server& Server() { return *fServer; }

  // Starts listening; call after the routes are set.
  void Start() {
    fPort = fServer->bind_to_any_port("127.0.0.1");
    if (fPort <= 0) throw std::runtime_error("test server cannot bind");
    fThread = std::thread([this] { fServer->listen_after_bind(); });
    WaitFor([this] { return fServer->is_running(); });
  }
  void Stop() {
    if (!fThread.joinable()) return;
    fServer->stop();
    fThread.join();
  }
  int Port() const { return fPort; }
  std::string Url(const std::string& aPath) const {
    return std::string(fTls ? "https" : "http") + "://127.0.0.1:" + std::to_string(fPort) + aPath;
  }

 private:
  std::unique_ptr<httplib::Server> fServer;
  bool fTls = false;
  int fPort = 0;
  std::thread fThread;
};

}  // namespace korvane::testing
