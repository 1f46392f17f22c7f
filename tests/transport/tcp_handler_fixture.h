// What the TCP transport's tests share: a handler with a log of its own, a
// port on which nothing listens, and the time since a start.
#pragma once

#include <asio.hpp>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "transport/tcp_handler.h"

namespace korvane::testing {

using Socket = asio::ip::tcp::socket;

// A TCP handler with a log, and its log read back once it is gone.
class TcpHandler {
 public:
  explicit TcpHandler(int aPort, int32_t aReadTimeout = 1000, const std::string& aHost = "127.0.0.1") {
    fConnection.SetAddress(aHost);
    fConnection.SetPort(aPort);
    fConnection.SetReadTimeOut(aReadTimeout);
    fConnection.SetConnectTimeOut(2000);
    fHandler = std::make_unique<kIOHandler_TCP>(fConnection, fDir.Path(), "Tcp_test");
    fLogPath = fHandler->GetLogFileName();
  }

  kIOHandler_TCP* operator->() { return fHandler.get(); }
  kIOHandler_TCP& operator*() { return *fHandler; }

  // Destroys the handler and gives its whole log.
  std::vector<LogLine> Log() {
    fHandler.reset();
    return ReadLog(fLogPath);
  }

  // The lines after the connection banner and the Host and Port lines, STOP
  // left out.
  std::vector<LogLine> Traffic() {
    std::vector<LogLine> log = Log();
    auto first = log.begin();
    for (auto it = log.begin(); it != log.end(); ++it)
      if (it->message.starts_with("Port=")) first = it + 1;
    std::vector<LogLine> result(first, log.end());
    if (!result.empty() && result.back() == Info(kStop)) result.pop_back();
    return result;
  }

 private:
  TempDir fDir;
  kConnection fConnection;
  std::unique_ptr<kIOHandler_TCP> fHandler;
  std::string fLogPath;
};

inline int64_t MillisecondsSince(std::chrono::steady_clock::time_point aStart) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - aStart)
      .count();
}

// A port on which nothing listens: bound, so that no other listener can take
// it while the test runs, but not listening, so that connections are refused.
class ClosedPort {
 public:
  ClosedPort() : fSocket(fContext) {
    fSocket.open(asio::ip::tcp::v4());
    fSocket.bind(asio::ip::tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0));
  }
  operator int() const { return fSocket.local_endpoint().port(); }

 private:
  asio::io_context fContext;
  Socket fSocket;
};

}  // namespace korvane::testing
