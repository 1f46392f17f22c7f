// TCP through Winsock. The socket is non-blocking from the start; waits go
// through WSAPoll, the connect through select(), which also reports a
// refused connection.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <chrono>
#include <mutex>
#include <string>

#include "platform/clock.h"
#include "platform/error.h"
#include "platform/tcp_address_internal.h"
#include "platform/tcp_lookup.h"
#include "platform/tcp_socket.h"
#include "platform/wide_win32.h"

namespace korvane::platform {
namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void ThrowSocketError() { ThrowOsError(WSAGetLastError()); }

// Winsock is started once, on first use (never from the module's entry) and
// left running until the process ends.
void StartWinsock() {
  static std::once_flag once;
  static int failure = 0;
  std::call_once(once, [] {
    WSADATA data;
    failure = WSAStartup(MAKEWORD(2, 2), &data);
  });
  if (failure != 0) ThrowOsError(failure);
}

bool PollFor(SOCKET aHandle, short aEvents, int32_t aTimeoutMs) {
  WSAPOLLFD entry{};
  entry.fd = aHandle;
  entry.events = aEvents;
  const int n = WSAPoll(&entry, 1, aTimeoutMs < 0 ? -1 : aTimeoutMs);
  if (n == SOCKET_ERROR) ThrowSocketError();
  return n > 0;
}

class WinsockTcpSocket : public TcpSocket {
 public:
  explicit WinsockTcpSocket(SOCKET aHandle) : fHandle(aHandle) {}
  ~WinsockTcpSocket() override { Close(); }
  WinsockTcpSocket(const WinsockTcpSocket&) = delete;
  WinsockTcpSocket& operator=(const WinsockTcpSocket&) = delete;

  size_t SendSome(const char* aBytes, size_t aCount) override {
    // In bounded slices: the system may take a whole send however large, and
    // a send that goes on must show that the peer takes bytes.
    const int chunk = aCount > kSendSlice ? kSendSlice : static_cast<int>(aCount);
    const int n = send(fHandle, aBytes, chunk, 0);
    if (n != SOCKET_ERROR) return static_cast<size_t>(n);
    if (WSAGetLastError() == WSAEWOULDBLOCK) return 0;
    ThrowSocketError();
  }

  std::optional<size_t> ReceiveSome(char* aBuffer, size_t aCount) override {
    const int chunk = aCount > 0x40000000 ? 0x40000000 : static_cast<int>(aCount);
    const int n = recv(fHandle, aBuffer, chunk, 0);
    if (n != SOCKET_ERROR) return static_cast<size_t>(n);
    if (WSAGetLastError() == WSAEWOULDBLOCK) return std::nullopt;
    ThrowSocketError();
  }

  void Close() override {
    if (fHandle != INVALID_SOCKET) closesocket(fHandle);
    fHandle = INVALID_SOCKET;
  }
  // The socket, closed, for the connection aHandle.
  void Reopen(SOCKET aHandle) { fHandle = aHandle; }

  bool WaitReadable(int32_t aTimeoutMs) override { return PollFor(fHandle, POLLRDNORM, aTimeoutMs); }
  bool WaitWritable(int32_t aTimeoutMs) override { return PollFor(fHandle, POLLWRNORM, aTimeoutMs); }

  // Winsock does not tell how much of the send queue the peer has taken:
  // the queue is kept at kSendBuffer (no automatic growth) and sends go in
  // slices, so that a send goes on only as the peer takes bytes.
  std::optional<size_t> UnsentBytes() override { return std::nullopt; }

  static constexpr int kSendSlice = 64 * 1024;
  static constexpr int kSendBuffer = 64 * 1024;

 private:
  SOCKET fHandle;
};

}  // namespace

std::optional<TcpAddress> tcp_lookup::LiteralAddress(const std::string& aHost, uint16_t aPort) {
  StartWinsock();
  return tcp_address::LiteralAddress(aHost, aPort);
}

std::vector<TcpAddress> tcp_lookup::LookUp(const std::string& aHost, uint16_t aPort, bool aNumericHost) {
  StartWinsock();
  ADDRINFOW hints{};
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  hints.ai_flags = AI_NUMERICSERV | (aNumericHost ? AI_NUMERICHOST : 0);
  ADDRINFOW* found = nullptr;
  // The lookup's codes are Winsock's error codes, with the system's texts.
  const int status = GetAddrInfoW(Widen(aHost).c_str(), std::to_wstring(aPort).c_str(), &hints, &found);
  if (status != 0) ThrowOsError(status);
  std::vector<TcpAddress> addresses;
  for (const ADDRINFOW* at = found; at != nullptr; at = at->ai_next) {
    addresses.push_back(tcp_address::AddressOf(at->ai_addr, at->ai_addrlen));
  }
  FreeAddrInfoW(found);
  return addresses;
}

std::unique_ptr<TcpSocket> ConnectTcpSocket(const void* aAddress, size_t aLength, int32_t aTimeoutMs,
                                            std::unique_ptr<TcpSocket> aClosed) {
  StartWinsock();
  const sockaddr* address = static_cast<const sockaddr*>(aAddress);
  const SOCKET handle =
      WSASocketW(address->sa_family, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (handle == INVALID_SOCKET) ThrowSocketError();
  std::unique_ptr<WinsockTcpSocket> socket;
  if (aClosed) {  // (every socket of this system is one of these)
    socket.reset(static_cast<WinsockTcpSocket*>(aClosed.release()));
    socket->Close();
    socket->Reopen(handle);
  } else {
    socket = std::make_unique<WinsockTcpSocket>(handle);
  }
  // Nagle's delay off before connecting: the first frame leaves at once.
  const BOOL one = TRUE;
  if (setsockopt(handle, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one) != 0)
    ThrowSocketError();
  // A send queue of a fixed, small size (see UnsentBytes).
  const int sendBuffer = WinsockTcpSocket::kSendBuffer;
  if (setsockopt(handle, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&sendBuffer),
                 sizeof sendBuffer) != 0)
    ThrowSocketError();
  u_long nonBlocking = 1;
  if (ioctlsocket(handle, FIONBIO, &nonBlocking) != 0) ThrowSocketError();
  if (connect(handle, address, static_cast<int>(aLength)) == 0) return socket;
  if (WSAGetLastError() != WSAEWOULDBLOCK) ThrowSocketError();
  fd_set writable, failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(handle, &writable);
  FD_SET(handle, &failed);
  timeval limit{aTimeoutMs / 1000, (aTimeoutMs % 1000) * 1000};
  const int n = select(0, nullptr, &writable, &failed, aTimeoutMs > 0 ? &limit : nullptr);
  if (n == SOCKET_ERROR) ThrowSocketError();
  if (n == 0) return nullptr;
  if (FD_ISSET(handle, &failed)) {
    int error = 0;
    int size = sizeof error;
    if (getsockopt(handle, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0)
      ThrowSocketError();
    ThrowOsError(error != 0 ? error : WSAECONNREFUSED);
  }
  return socket;
}

}  // namespace korvane::platform
