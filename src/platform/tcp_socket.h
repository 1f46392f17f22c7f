// A connected TCP stream socket: sends and receives without waiting, and
// waits with a bound. Destroying it closes the connection.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

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
};

// Connects to the socket address aAddress (aLength bytes, laid out as the
// system defines it), with Nagle's delay off. Nothing when aTimeoutMs (> 0)
// passes first; 0 or less waits as long as the system does. Fails with the
// system's text ("Connection refused").
std::unique_ptr<TcpSocket> ConnectTcpSocket(const void* aAddress, size_t aLength, int32_t aTimeoutMs);

}  // namespace korvane::platform
