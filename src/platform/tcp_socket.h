// A connected TCP stream socket: sends and receives without waiting, and
// waits with a bound. Destroying it closes the connection.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvane::platform {

class TcpSocket {
 public:
  virtual ~TcpSocket() = default;

  // Sends what fits now: the count sent, 0 when the send buffer is full.
  // Fails with the system's text.
  virtual size_t SendSome(const char* aBytes, size_t aCount) = 0;
  // Takes what has arrived, up to aCount bytes: nothing when no byte is there
  // yet, 0 when the peer has closed the connection. Fails with the system's
  // text ("Connection reset by peer").
  virtual std::optional<size_t> ReceiveSome(char* aBuffer, size_t aCount) = 0;
  // Waits until a receive has something to report, or until a send can go
  // on; false when aTimeoutMs passes first. A negative time-out waits without
  // bound.
  virtual bool WaitReadable(int32_t aTimeoutMs) = 0;
  virtual bool WaitWritable(int32_t aTimeoutMs) = 0;
  // The bytes sent that the peer has not taken yet (the send queue, sent or
  // not, until the peer acknowledges them); nothing where the system cannot
  // tell. Where it cannot, the send queue is kept short instead, so that a
  // send goes on only as the peer takes bytes.
  virtual std::optional<size_t> UnsentBytes() = 0;
  // Closes the connection now. The socket then serves for nothing but a
  // later ConnectTcpSocket, which may take it again.
  virtual void Close() = 0;
};

// One address a TCP connection can be made to: a socket address, its bytes
// laid out as the system defines it.
struct TcpAddress {
  std::vector<unsigned char> fBytes;
};

// aHost as a literal IPv4 or IPv6 address (without a scope) at aPort, as
// ResolveTcpHost gives it; nothing for any other text.
std::optional<TcpAddress> LiteralTcpAddress(const std::string& aHost, uint16_t aPort);

// The addresses of aHost at aPort, in the order to try them. A literal IPv4 or
// IPv6 address is taken as it is, without a lookup. A name is looked up on a
// helper thread of its own, so that a resolver that hangs holds nobody:
// nothing when aTimeoutMs (> 0) passes first (the lookup then ends on its own
// in the background); 0 or less waits as long as the resolver does. Fails
// with the resolver's text ("Name or service not known").
std::optional<std::vector<TcpAddress>> ResolveTcpHost(const std::string& aHost, uint16_t aPort,
                                                      int32_t aTimeoutMs);

// Connects to the socket address aAddress (aLength bytes, laid out as the
// system defines it); Nagle's delay never holds a send back. Nothing when aTimeoutMs (> 0)
// passes first; 0 or less waits as long as the system does. Fails with the
// system's text ("Connection refused").
// aClosed, a socket of an earlier connection closed by Close, is taken again
// for the new one (so that a connection per message costs no memory of its
// own); without it a new one is made.
std::unique_ptr<TcpSocket> ConnectTcpSocket(const void* aAddress, size_t aLength, int32_t aTimeoutMs,
                                            std::unique_ptr<TcpSocket> aClosed = nullptr);

}  // namespace korvane::platform
