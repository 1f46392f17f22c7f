// A display application on loopback for tests: accepts the library's
// connections, records every frame's bytes and answers as it is told.
#pragma once

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "support/loopback.h"

namespace korvane::testing {

class DisplayPeer {
 public:
  enum class Mode {
    Reply,           // answers the reply text followed by ETX
    CloseBeforeEtx,  // reads the frame and closes without answering
    Silent,          // reads the frame and never answers (until stopped)
    Frozen,          // accepts and never reads (until stopped)
  };

  DisplayPeer() {
    fListen = ListenOnLoopback(16, fPort);
    fThread = std::thread([this] { Run(); });
  }
  ~DisplayPeer() {
    fStop = true;
    fThread.join();
    CloseSocket(fListen);
  }

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
  int Connections() const { return fConnections; }

 private:
  void Run() {
    while (!fStop) {
      if (!WaitReadable(fListen, 50)) continue;
      const NativeSocket fd = AcceptOne(fListen);
      if (fd == kNoSocket) continue;
      ++fConnections;
      Serve(fd);
      CloseSocket(fd);
    }
  }

  void Serve(NativeSocket aFd) {
    std::string frame;
    char buffer[65536];
    if (fMode == Mode::Frozen) {
      while (!fStop) std::this_thread::sleep_for(std::chrono::milliseconds(20));
      return;
    }
    while (!fStop) {
      if (!WaitReadable(aFd, 50)) continue;
      const long n = ReceiveSome(aFd, buffer, sizeof buffer);
      if (n <= 0) return;
      frame.append(buffer, static_cast<size_t>(n));
      // Only the new bytes: a frame of many megabytes arrives in many pieces.
      if (std::memchr(buffer, '\x03', static_cast<size_t>(n)) != nullptr) break;
    }
    {
      std::lock_guard<std::mutex> g(fLock);
      fFrames.push_back(frame);
    }
    switch (fMode.load()) {
      case Mode::CloseBeforeEtx: return;
      case Mode::Silent:
        while (!fStop) {
          if (WaitReadable(aFd, 50) && ReceiveSome(aFd, buffer, sizeof buffer) <= 0) return;
        }
        return;
      case Mode::Frozen:  // not reached: a frozen peer reads nothing
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
      if (WaitReadable(aFd, 50) && ReceiveSome(aFd, buffer, sizeof buffer) <= 0) return;
    }
  }

  NativeSocket fListen = kNoSocket;
  int fPort = 0;
  std::thread fThread;
  std::atomic<bool> fStop{false};
  std::atomic<Mode> fMode{Mode::Reply};
  std::atomic<int> fDelayMs{0};
  std::atomic<int> fConnections{0};
  mutable std::mutex fLock;
  std::string fReply = "OK\x03";
  std::vector<std::string> fPieces;
  int fPauseMs = 0;
  std::vector<std::string> fFrames;
};

}  // namespace korvane::testing
