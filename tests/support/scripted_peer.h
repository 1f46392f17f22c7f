// A scripted TCP peer on loopback (Asio), for tests that need a peer that
// misbehaves on cue.
#pragma once

#include <asio.hpp>
#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

namespace korvane::testing {

// A one-shot signal between the test and a peer's script; setting it again
// does nothing.
class Signal {
 public:
  void Set() {
    if (!fSet.exchange(true)) fPromise.set_value();
  }
  // Waits at most ten seconds; false when the signal did not come.
  bool Wait() { return fFuture.wait_for(std::chrono::seconds(10)) == std::future_status::ready; }

 private:
  std::atomic<bool> fSet{false};
  std::promise<void> fPromise;
  std::shared_future<void> fFuture = fPromise.get_future().share();
};

// A TCP peer on 127.0.0.1, on an ephemeral port. Each accepted connection is
// handed to the script, on the peer's own thread, one after the other. A
// script that calls Hold() keeps its connection open until the peer is
// destroyed (or ten seconds have passed).
class ScriptedPeer {
 public:
  using Script = std::function<void(asio::ip::tcp::socket&)>;

  explicit ScriptedPeer(Script aScript, int aConnections = 1)
      : fAcceptor(fContext, asio::ip::tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0)),
        fScript(std::move(aScript)) {
    fPort = fAcceptor.local_endpoint().port();
    fThread = std::thread([this, aConnections] {
      for (int i = 0; i < aConnections; ++i) {
        asio::ip::tcp::socket socket(fContext);
        asio::error_code ec;
        fAcceptor.accept(socket, ec);
        if (ec) return;
        asio::error_code ignored;
        if (socket.remote_endpoint(ignored).port() == fWakePort.load()) return;
        fAccepted.fetch_add(1);
        try {
          fScript(socket);
        } catch (const std::exception&) {
          // The client went away early; nothing to report.
        }
      }
    });
  }

  ~ScriptedPeer() {
    // A connection of our own wakes a thread that waits in accept; the
    // connections that came before it are still served.
    fRelease.Set();
    asio::ip::tcp::socket wake(fContext);
    asio::error_code ignored;
    wake.open(asio::ip::tcp::v4(), ignored);
    wake.bind(asio::ip::tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0), ignored);
    fWakePort.store(wake.local_endpoint(ignored).port());
    wake.connect(asio::ip::tcp::endpoint(asio::ip::make_address("127.0.0.1"), fPort), ignored);
    fThread.join();
  }

  uint16_t Port() const { return fPort; }
  void Hold() { fRelease.Wait(); }
  int Accepted() const { return fAccepted.load(); }

 private:
  asio::io_context fContext;
  asio::ip::tcp::acceptor fAcceptor;
  Script fScript;
  uint16_t fPort = 0;
  std::atomic<int> fAccepted{0};
  Signal fRelease;
  std::atomic<int> fWakePort{-1};
  std::thread fThread;
};

inline void Send(asio::ip::tcp::socket& aSocket, const std::string& aBytes) {
  asio::write(aSocket, asio::buffer(aBytes));
}

inline void Sleep(int aMilliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(aMilliseconds));
}

// Reads until the client closes; gives everything received.
inline std::string ReceiveUntilClosed(asio::ip::tcp::socket& aSocket) {
  std::string received;
  char buffer[4096];
  for (;;) {
    asio::error_code ec;
    const size_t n = aSocket.read_some(asio::buffer(buffer), ec);
    if (ec) return received;
    received.append(buffer, n);
  }
}

}  // namespace korvane::testing
