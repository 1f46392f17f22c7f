// Helpers of the tools' tests: a display simulator per test, a raw frame
// client, HTTP reads of the page's state, and finding out whether the built
// library has its calls yet. (Running the tools as programs: RunProgram of
// support/test_support.h.)
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "display_simulator.h"
#include "frame_parser.h"
#include "korvane_library.h"
#include "support/test_support.h"

namespace korvane::tools_test {

using nlohmann::json;
using namespace std::chrono_literals;
using korvane::testing::ProgramRun;
using korvane::testing::RunProgram;
using korvane::testing::SplitLines;

// The library under test: $KORVANE_LIBRARY, else the one this build made.
inline std::string LibraryPath() {
  const char* chosen = std::getenv("KORVANE_LIBRARY");
  return chosen && *chosen ? chosen : KORVANE_LIBRARY_PATH;
}

// "" when the library exports its calls, else why not. The library stays
// loaded, as in a host (the loader's default).
inline std::string MissingExports() {
  static const std::string missing = [] {
    std::unique_ptr<host::KorvaneLibrary> library;
    try {
      library = std::make_unique<host::KorvaneLibrary>(LibraryPath());
    } catch (const host::HostError& e) {
      return std::string("the library does not load: ") + e.what();
    }
    const bool has =
        library->Exports("OPEN") && library->Exports("VERSION") && library->Exports("SysAllocStringLen");
    return has ? std::string()
               : LibraryPath() + " does not export OPEN yet (the library's calls are not built in this tree)";
  }();
  return missing;
}

#define SKIP_WITHOUT_EXPORTS()                                           \
  do {                                                                   \
    const std::string missing = ::korvane::tools_test::MissingExports(); \
    if (!missing.empty()) GTEST_SKIP() << missing;                       \
  } while (0)

// A simulator on free loopback ports for one test.
inline std::unique_ptr<simulator::DisplaySimulator> StartSimulator(
    simulator::SimulatorOptions aOptions = {}) {
  auto display = std::make_unique<simulator::DisplaySimulator>(std::move(aOptions));
  display->Start();
  return display;
}

// A plain TCP client speaking the display protocol by hand.
class FrameClient {
 public:
  explicit FrameClient(std::uint16_t aPort) {
    fFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(aPort);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    fConnected = connect(fFd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    fConnectError = fConnected ? 0 : errno;
    const int one = 1;
    setsockopt(fFd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  }
  ~FrameClient() { close(fFd); }
  FrameClient(const FrameClient&) = delete;
  FrameClient& operator=(const FrameClient&) = delete;

  bool Connected() const { return fConnected; }
  int ConnectError() const { return fConnectError; }

  void SendRaw(const std::string& aBytes) {
    std::size_t sent = 0;
    while (sent < aBytes.size()) {
      const ssize_t n = send(fFd, aBytes.data() + sent, aBytes.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) return;
      sent += static_cast<std::size_t>(n);
    }
  }
  void Send(const std::string& aJson) { SendRaw(simulator::MakeFrame(aJson)); }

  // Everything up to and including the next ETX; nothing when the peer
  // closes first or aTimeout passes. aClosed tells which.
  std::optional<std::string> ReadReply(std::chrono::milliseconds aTimeout = 5s, bool* aClosed = nullptr) {
    const auto deadline = std::chrono::steady_clock::now() + aTimeout;
    for (;;) {
      if (const auto etx = fPending.find(simulator::kETX); etx != std::string::npos) {
        std::string reply = fPending.substr(0, etx + 1);
        fPending.erase(0, etx + 1);
        return reply;
      }
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return std::nullopt;
      pollfd readable{fFd, POLLIN, 0};
      if (poll(&readable, 1, static_cast<int>(left.count())) <= 0) continue;
      char buffer[4096];
      const ssize_t n = recv(fFd, buffer, sizeof buffer, 0);
      if (n <= 0) {
        if (aClosed) *aClosed = true;
        return std::nullopt;
      }
      fPending.append(buffer, static_cast<std::size_t>(n));
    }
  }
  // What arrived that was not part of a complete reply.
  const std::string& Pending() const { return fPending; }

  // Sends one frame and returns the status text of the reply ("" for none).
  std::string Exchange(const std::string& aJson) {
    Send(aJson);
    const auto reply = ReadReply();
    if (!reply || reply->size() < 2) return "";
    return reply->substr(1, reply->size() - 2);
  }

 private:
  int fFd = -1;
  bool fConnected = false;
  int fConnectError = 0;
  std::string fPending;
};

// One frame on a connection of its own, as the library sends it.
inline std::string SendFrame(std::uint16_t aPort, const std::string& aJson) {
  FrameClient client(aPort);
  return client.Exchange(aJson);
}

inline json GetState(const simulator::DisplaySimulator& aDisplay) {
  httplib::Client client("127.0.0.1", aDisplay.WebPort());
  client.set_read_timeout(10, 0);
  const auto response = client.Get("/state");
  if (!response || response->status != 200) return nullptr;
  return json::parse(response->body);
}

inline std::string ExamplePath(const std::string& aName) {
  return std::string(KORVANE_EXAMPLES_DIR) + "/" + aName;
}

}  // namespace korvane::tools_test
