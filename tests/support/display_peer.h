// The display application on loopback of every test and benchmark that needs
// one (and of the smoke host): a listening socket on 127.0.0.1 with an
// ephemeral port and a thread that accepts the connections one after the
// other. It either answers as a display does (the modes below: one answer
// per connection or one per frame, late, in pieces, never, or not reading
// at all), recording every frame's bytes, or hands each connection to a
// script of the test's own. Header-only on loopback.h: the smoke host, which
// links none of the test support, uses it too.
//
// Every wait is bounded: the thread looks for its stop every 50 ms while it
// waits to accept or to read, a peer that answered waits at most 5 s for the
// client's close, a send gives up after 10 s, and Hold() after 10 s.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/loopback.h"
#include "support/signal.h"

namespace korvane::testing {

// One accepted connection, as a peer's script sees it.
class PeerConnection {
 public:
  PeerConnection(NativeSocket aSocket, const std::atomic<bool>& aStopping)
      : fSocket(aSocket), fStopping(aStopping) {}

  // Whether the peer is being stopped (a script that loops ends then).
  bool Stopping() const { return fStopping.load(); }

  // Sends all of aBytes; throws when the client went away or took nothing
  // for 10 s.
  void Send(const std::string& aBytes) {
    for (size_t done = 0; done < aBytes.size();) {
      const long n = SendSome(fSocket, aBytes.data() + done, aBytes.size() - done);
      if (n <= 0) throw std::runtime_error("the client went away");
      done += static_cast<size_t>(n);
    }
  }

  // Reads as a slow display does: at most aChunk bytes every aPauseMs, until
  // a frame's ETX has come, the client closes or the peer is being stopped;
  // with aStopAfter, it stops reading once that many bytes have come. Gives
  // what it read.
  std::string ReceivePaced(size_t aChunk, int aPauseMs, size_t aStopAfter = SIZE_MAX) {
    std::string received;
    std::vector<char> buffer(aChunk);
    while (received.size() < aStopAfter && !Stopping()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(aPauseMs));
      if (!WaitReadable(fSocket, 0)) continue;
      const long n = ReceiveSome(fSocket, buffer.data(), std::min(aChunk, aStopAfter - received.size()));
      if (n <= 0) break;
      received.append(buffer.data(), static_cast<size_t>(n));
      if (std::memchr(buffer.data(), '\x03', static_cast<size_t>(n)) != nullptr) break;
    }
    return received;
  }

  // Reads until the client closes; gives everything received. Once the peer
  // is being stopped it takes only what is there already.
  std::string ReceiveUntilClosed() {
    std::string received;
    char buffer[4096];
    for (;;) {
      if (!WaitReadable(fSocket, 50)) {
        if (Stopping()) return received;
        continue;
      }
      const long n = ReceiveSome(fSocket, buffer, sizeof buffer);
      if (n <= 0) return received;
      received.append(buffer, static_cast<size_t>(n));
    }
  }

 private:
  NativeSocket fSocket;
  const std::atomic<bool>& fStopping;
};

class DisplayPeer {
 public:
  enum class Mode {
    Reply,            // answers the connection's first frame with the reply text, then waits for the close
    ReplyEveryFrame,  // answers every frame on the connection, until the client closes
    CloseBeforeEtx,   // reads the frame and closes without answering
    Silent,           // reads the frame and never answers (until stopped)
    Frozen,           // accepts and never reads (until stopped)
  };

  // What a connection is handed to instead: the script runs on the peer's
  // thread, one connection after the other.
  using Script = std::function<void(PeerConnection&)>;

  // A peer in aMode answering aReply (the reply text: the status and ETX).
  // Recording every frame can be left off (the benchmarks send many large
  // ones); aBacklog is the listen queue.
  explicit DisplayPeer(Mode aMode = Mode::Reply, std::string aReply = "OK\x03", bool aRecordFrames = true,
                       int aBacklog = 16)
      : fMode(aMode), fReply(std::move(aReply)), fRecord(aRecordFrames) {
    fListen = ListenOnLoopback(aBacklog, fPort);
    fThread = std::thread([this] { Run(); });
  }

  // A peer that hands its first aConnections connections to aScript and then
  // accepts no more. Those that came before the peer is destroyed are still
  // handed over. A script that calls Hold() keeps its connection open until
  // the peer is destroyed (or ten seconds have passed).
  explicit DisplayPeer(Script aScript, int aConnections = 1) : fScript(std::move(aScript)) {
    fListen = ListenOnLoopback(16, fPort);
    fThread = std::thread([this, aConnections] { RunScript(aConnections); });
  }

  ~DisplayPeer() {
    fStop = true;
    fRelease.Set();
    fThread.join();  // bounded: every wait of the thread looks for fStop
    CloseSocket(fListen);
  }
  DisplayPeer(const DisplayPeer&) = delete;
  DisplayPeer& operator=(const DisplayPeer&) = delete;

  int Port() const { return fPort; }
  void SetMode(Mode aMode) { fMode = aMode; }
  void SetReply(const std::string& aReply) {
    std::lock_guard<std::mutex> g(fLock);
    fReply = aReply;
  }
  void SetReplyDelayMs(int aMs) { fDelayMs = aMs; }
  // Answers with these pieces instead of the reply text, aPauseMs apart (the
  // first one at once), until the library closes the connection.
  void SetReplyPieces(const std::vector<std::string>& aPieces, int aPauseMs) {
    std::lock_guard<std::mutex> g(fLock);
    fPieces = aPieces;
    fPauseMs = aPauseMs;
  }
  // For a script: keeps the connection open until the peer is destroyed (at
  // most ten seconds).
  void Hold() { fRelease.Wait(); }

  // Every frame received, bytes as they came (STX and ETX included).
  std::vector<std::string> Frames() const {
    std::lock_guard<std::mutex> g(fLock);
    return fFrames;
  }
  // The JSON texts of the frames (without STX and ETX).
  std::vector<std::string> Messages() const {
    std::vector<std::string> out;
    for (const auto& f : Frames()) out.push_back(f.size() >= 2 ? f.substr(1, f.size() - 2) : f);
    return out;
  }
  // The connections accepted.
  int Connections() const { return fConnections; }

 private:
  static constexpr int kSendTimeoutMs = 10000;

  // The next connection, kNoSocket when none came before the stop. Once
  // stopping, only a connection already waiting is taken (aDrain).
  NativeSocket Accept(bool aDrain) {
    for (;;) {
      const bool stopping = fStop;
      if (stopping && !aDrain) return kNoSocket;
      if (!WaitReadable(fListen, stopping ? 0 : 50)) {
        if (stopping) return kNoSocket;
        continue;
      }
      const NativeSocket fd = AcceptOne(fListen);
      if (fd == kNoSocket) continue;
      SetSendTimeout(fd, kSendTimeoutMs);
      ++fConnections;
      return fd;
    }
  }

  void Run() {
    for (;;) {
      const NativeSocket fd = Accept(false);
      if (fd == kNoSocket) return;
      Serve(fd);
      CloseSocket(fd);
    }
  }

  void RunScript(int aConnections) {
    for (int i = 0; i < aConnections; ++i) {
      const NativeSocket fd = Accept(true);
      if (fd == kNoSocket) return;
      PeerConnection connection(fd, fStop);
      try {
        fScript(connection);
      } catch (const std::exception&) {
        // The client went away early; nothing to report.
      }
      CloseSocket(fd);
    }
  }

  void Record(std::string aFrame) {
    if (!fRecord) return;
    std::lock_guard<std::mutex> g(fLock);
    fFrames.push_back(std::move(aFrame));
  }

  void Serve(NativeSocket aFd) {
    const Mode mode = fMode;
    if (mode == Mode::Frozen) {
      while (!fStop) std::this_thread::sleep_for(std::chrono::milliseconds(20));
      return;
    }
    if (mode == Mode::ReplyEveryFrame) return ServeEveryFrame(aFd);
    std::string frame;
    while (!fStop) {
      if (!WaitReadable(aFd, 50)) continue;
      const long n = ReceiveSome(aFd, fBuffer.data(), fBuffer.size());
      if (n <= 0) return;
      if (fRecord) frame.append(fBuffer.data(), static_cast<size_t>(n));
      // Only the new bytes: a frame of many megabytes arrives in many pieces.
      if (std::memchr(fBuffer.data(), '\x03', static_cast<size_t>(n)) != nullptr) break;
    }
    Record(std::move(frame));
    switch (mode) {
      case Mode::CloseBeforeEtx: return;
      case Mode::Silent:
        while (!fStop) {
          if (WaitReadable(aFd, 50) && ReceiveSome(aFd, fBuffer.data(), fBuffer.size()) <= 0) return;
        }
        return;
      case Mode::Frozen:           // not reached: a frozen peer reads nothing
      case Mode::ReplyEveryFrame:  // not reached: served above
      case Mode::Reply: break;
    }
    if (fDelayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(fDelayMs.load()));
    std::string reply;
    std::vector<std::string> pieces;
    int pauseMs = 0;
    {
      std::lock_guard<std::mutex> g(fLock);
      reply = fReply;
      pieces = fPieces;
      pauseMs = fPauseMs;
    }
    for (size_t i = 0; i < pieces.size() && !fStop; ++i) {
      if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
      if (SendSome(aFd, pieces[i].data(), pieces[i].size()) < 0) return;  // the library left
    }
    if (pieces.empty()) SendSome(aFd, reply.data(), reply.size());
    // Wait for the library to close its side.
    for (int i = 0; i < 100 && !fStop; ++i) {
      if (WaitReadable(aFd, 50) && ReceiveSome(aFd, fBuffer.data(), fBuffer.size()) <= 0) return;
    }
  }

  // One answer per frame (per ETX), as long as the client sends.
  void ServeEveryFrame(NativeSocket aFd) {
    std::string reply;
    {
      std::lock_guard<std::mutex> g(fLock);
      reply = fReply;
    }
    std::string frame;
    while (!fStop) {
      if (!WaitReadable(aFd, 50)) continue;
      const long n = ReceiveSome(aFd, fBuffer.data(), fBuffer.size());
      if (n <= 0) return;  // the client closed
      const char* at = fBuffer.data();
      const char* const end = at + n;
      while (const void* found = std::memchr(at, '\x03', static_cast<size_t>(end - at))) {
        const char* const etx = static_cast<const char*>(found);
        if (fRecord) Record(frame.append(at, etx + 1));
        frame.clear();
        at = etx + 1;
        if (SendSome(aFd, reply.data(), reply.size()) < 0) return;  // the client left
      }
      if (fRecord) frame.append(at, end);
    }
  }

  NativeSocket fListen = kNoSocket;
  int fPort = 0;
  std::atomic<bool> fStop{false};
  std::atomic<Mode> fMode{Mode::Reply};
  std::atomic<int> fDelayMs{0};
  std::atomic<int> fConnections{0};
  mutable std::mutex fLock;
  std::string fReply = "OK\x03";
  const bool fRecord = true;
  std::vector<std::string> fPieces;
  int fPauseMs = 0;
  std::vector<std::string> fFrames;
  std::vector<char> fBuffer = std::vector<char>(1 << 20);  // large frames arrive in large pieces
  Script fScript;
  Signal fRelease;
  std::thread fThread;  // last: started once everything above is made
};

// ---- for scripts ----------------------------------------------------------

inline void Send(PeerConnection& aConnection, const std::string& aBytes) { aConnection.Send(aBytes); }

// Reads until the client closes; gives everything received.
inline std::string ReceiveUntilClosed(PeerConnection& aConnection) {
  return aConnection.ReceiveUntilClosed();
}

inline void Sleep(int aMilliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(aMilliseconds));
}

}  // namespace korvane::testing
