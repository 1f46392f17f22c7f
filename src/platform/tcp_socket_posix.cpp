#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>

#include "platform/clock.h"
#include "platform/error.h"
#include "platform/tcp_address_internal.h"
#include "platform/tcp_lookup.h"
#include "platform/tcp_socket.h"

namespace korvane::platform {
namespace {

using Clock = std::chrono::steady_clock;

// Polls aHandle for aEvents; false when aTimeoutMs (negative: no bound)
// passes first. A signal does not cut the wait short.
bool PollFor(int aHandle, short aEvents, int32_t aTimeoutMs) {
  // The clock is read only once a signal has cut a wait short: the rest of
  // the wait then ends where the time-out, counted from there, ends.
  Clock::time_point deadline = Clock::time_point::min();
  int32_t left = aTimeoutMs;
  for (;;) {
    pollfd entry{aHandle, aEvents, 0};
    const int n = ::poll(&entry, 1, left);
    if (n > 0) return true;
    if (n == 0) return false;
    if (errno != EINTR) ThrowOsError(errno);
    if (aTimeoutMs < 0) continue;
    if (deadline == Clock::time_point::min()) deadline = Clock::now() + std::chrono::milliseconds(left);
    left = MillisecondsUntil(deadline);
  }
}

class PosixTcpSocket : public TcpSocket {
 public:
  explicit PosixTcpSocket(int aHandle) : fHandle(aHandle) {}
  ~PosixTcpSocket() override { Close(); }
  PosixTcpSocket(const PosixTcpSocket&) = delete;
  PosixTcpSocket& operator=(const PosixTcpSocket&) = delete;

  size_t SendSome(const char* aBytes, size_t aCount) override {
    // Nagle's delay holds back only a short segment that follows data not yet
    // acknowledged: never a first send that fits in one segment. It is turned
    // off before any other send, and saves a system call on a connection that
    // carries one short frame.
    if (!fNoDelay && (fSentBefore || aCount > kSmallestSegment)) {
      const int one = 1;
      if (::setsockopt(fHandle, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one) != 0) ThrowOsError(errno);
      fNoDelay = true;
    }
    fSentBefore = true;
    for (;;) {
      const ssize_t n = ::send(fHandle, aBytes, aCount, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n >= 0) return static_cast<size_t>(n);
      if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
      if (errno != EINTR) ThrowOsError(errno);
    }
  }

  std::optional<size_t> ReceiveSome(char* aBuffer, size_t aCount) override {
    for (;;) {
      const ssize_t n = ::recv(fHandle, aBuffer, aCount, MSG_DONTWAIT);
      if (n >= 0) return static_cast<size_t>(n);
      if (errno == EAGAIN || errno == EWOULDBLOCK) return std::nullopt;
      if (errno != EINTR) ThrowOsError(errno);
    }
  }

  void Close() override {
    if (fHandle >= 0) ::close(fHandle);
    fHandle = -1;
  }
  // The socket, closed, for the connection aHandle.
  void Reopen(int aHandle) {
    fHandle = aHandle;
    fNoDelay = false;
    fSentBefore = false;
  }

  bool WaitReadable(int32_t aTimeoutMs) override { return PollFor(fHandle, POLLIN, aTimeoutMs); }
  bool WaitWritable(int32_t aTimeoutMs) override { return PollFor(fHandle, POLLOUT, aTimeoutMs); }

  std::optional<size_t> UnsentBytes() override {
#ifdef __linux__
    // SIOCOUTQ: the send queue's bytes not yet acknowledged by the peer.
    int queued = 0;
    if (::ioctl(fHandle, TIOCOUTQ, &queued) != 0 || queued < 0) return std::nullopt;
    return static_cast<size_t>(queued);
#else
    return std::nullopt;
#endif
  }

 private:
  // The segment size every IPv4 and IPv6 path carries (the IPv4 default).
  static constexpr size_t kSmallestSegment = 536;
  int fHandle;
  bool fNoDelay = false;
  bool fSentBefore = false;
};

}  // namespace

std::optional<TcpAddress> tcp_lookup::LiteralAddress(const std::string& aHost, uint16_t aPort) {
  return tcp_address::LiteralAddress(aHost, aPort);
}

std::vector<TcpAddress> tcp_lookup::LookUp(const std::string& aHost, uint16_t aPort, bool aNumericHost) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  hints.ai_flags = AI_NUMERICSERV | (aNumericHost ? AI_NUMERICHOST : 0);
  addrinfo* found = nullptr;
  const int status = ::getaddrinfo(aHost.c_str(), std::to_string(aPort).c_str(), &hints, &found);
  if (status == EAI_SYSTEM) ThrowOsError(errno);
  if (status != 0) throw Error(::gai_strerror(status));
  std::vector<TcpAddress> addresses;
  for (const addrinfo* at = found; at != nullptr; at = at->ai_next) {
    addresses.push_back(tcp_address::AddressOf(at->ai_addr, at->ai_addrlen));
  }
  ::freeaddrinfo(found);
  return addresses;
}

std::unique_ptr<TcpSocket> ConnectTcpSocket(const void* aAddress, size_t aLength, int32_t aTimeoutMs,
                                            std::unique_ptr<TcpSocket> aClosed) {
  const sockaddr* address = static_cast<const sockaddr*>(aAddress);
  // The socket stays in blocking mode: sends and receives pass MSG_DONTWAIT,
  // and the connect itself may block, bounded by the send time-out (Linux
  // applies it to connect, which then gives EINPROGRESS).
  const int handle = ::socket(address->sa_family, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (handle < 0) ThrowOsError(errno);
  std::unique_ptr<PosixTcpSocket> socket;
  if (aClosed) {  // (every socket of this system is one of these)
    socket.reset(static_cast<PosixTcpSocket*>(aClosed.release()));
    socket->Close();
    socket->Reopen(handle);
  } else {
    socket = std::make_unique<PosixTcpSocket>(handle);
  }
  const Clock::time_point deadline =
      Clock::now() + std::chrono::milliseconds(aTimeoutMs > 0 ? aTimeoutMs : 0);
  if (aTimeoutMs > 0) {
    timeval limit{aTimeoutMs / 1000, static_cast<suseconds_t>(aTimeoutMs % 1000) * 1000};
    if (::setsockopt(handle, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit) != 0) ThrowOsError(errno);
  }
  if (::connect(handle, address, static_cast<socklen_t>(aLength)) == 0) return socket;
  const int failure = errno;
  if (failure == EINPROGRESS && aTimeoutMs > 0 && Clock::now() >= deadline) return nullptr;
  if (failure != EINPROGRESS && failure != EINTR && failure != EALREADY) ThrowOsError(failure);
  // Cut short by a signal, or a system that does not bound connect by the
  // send time-out: the connection goes on in the background; wait for it.
  const int32_t left = aTimeoutMs > 0 ? MillisecondsUntil(deadline) : -1;
  if (left == 0 || !PollFor(handle, POLLOUT, left)) return nullptr;
  int error = 0;
  socklen_t size = sizeof error;
  if (::getsockopt(handle, SOL_SOCKET, SO_ERROR, &error, &size) != 0) ThrowOsError(errno);
  if (error != 0) ThrowOsError(error);
  return socket;
}

}  // namespace korvane::platform
