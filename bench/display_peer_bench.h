// The display side and the bare client the display benchmarks compare the
// library with: a peer on its own thread of loopback and the fastest honest
// client of the framed exchange.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "support/loopback.h"

namespace korvane::bench {

// A display peer: accepts one connection at a time and answers each frame
// (up to its ETX) with aAnswer. With aOneFramePerConnection it answers the
// first frame only and then waits for the client's close, as a blocking
// display does; otherwise it answers every frame on the connection.
// Destruction wakes whatever the thread waits for (the listening socket and
// the connection in hand are shut down), so the join ends at once.
class DisplayPeer {
 public:
  DisplayPeer(std::string aAnswer, bool aOneFramePerConnection, int aBacklog = 64)
      : fAnswer(std::move(aAnswer)), fOneFrame(aOneFramePerConnection), fBuffer(1 << 20) {
    fListen = testing::ListenOnLoopback(aBacklog, fPort);
    fThread = std::thread([this] { Run(); });
  }
  ~DisplayPeer() {
    fStop = true;
    ::shutdown(fListen, SHUT_RDWR);
    {
      std::lock_guard<std::mutex> guard(fCurrentLock);
      if (fCurrent >= 0) ::shutdown(fCurrent, SHUT_RDWR);
    }
    fThread.join();  // bounded: both of the thread's waits were woken above
    ::close(fListen);
  }
  DisplayPeer(const DisplayPeer&) = delete;
  DisplayPeer& operator=(const DisplayPeer&) = delete;

  int Port() const { return fPort; }

 private:
  void Run() {
    while (!fStop) {
      const int fd = ::accept4(fListen, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      {
        std::lock_guard<std::mutex> guard(fCurrentLock);
        fCurrent = fd;
      }
      if (!fStop) Serve(fd);
      {
        std::lock_guard<std::mutex> guard(fCurrentLock);
        fCurrent = -1;
      }
      ::close(fd);
    }
  }

  void Serve(int aFd) {
    bool answered = false;
    for (;;) {
      const ssize_t n = ::recv(aFd, fBuffer.data(), fBuffer.size(), 0);
      if (n <= 0) return;
      if (answered) continue;  // waiting for the close
      if (std::memchr(fBuffer.data(), '\x03', static_cast<size_t>(n)) == nullptr) continue;
      ::send(aFd, fAnswer.data(), fAnswer.size(), MSG_NOSIGNAL);
      answered = fOneFrame;
    }
  }

  const std::string fAnswer;
  const bool fOneFrame;
  std::vector<char> fBuffer;
  int fListen = -1;
  int fPort = 0;
  std::atomic<bool> fStop{false};
  std::mutex fCurrentLock;
  int fCurrent = -1;
  std::thread fThread;
};

// The bare client: one connection, the frame, the reply up to its ETX, close.
// (The peer above always answers, so the read needs no bound of its own.)
inline void BareExchange(int aPort, const std::string& aFrame) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(aPort));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    throw std::runtime_error("connect");
  }
  int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  for (size_t done = 0; done < aFrame.size();) {
    const ssize_t n = ::send(fd, aFrame.data() + done, aFrame.size() - done, MSG_NOSIGNAL);
    if (n <= 0) {
      ::close(fd);
      throw std::runtime_error("send");
    }
    done += static_cast<size_t>(n);
  }
  char reply[64];
  for (bool framed = false; !framed;) {
    const ssize_t n = ::recv(fd, reply, sizeof reply, 0);
    if (n <= 0) {
      ::close(fd);
      throw std::runtime_error("recv");
    }
    framed = std::memchr(reply, '\x03', static_cast<size_t>(n)) != nullptr;
  }
  ::close(fd);
}

}  // namespace korvane::bench
