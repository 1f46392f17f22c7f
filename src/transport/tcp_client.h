// The TCP client object of the TCP transport: one connection to a host and
// port, with bounded waits, and its own input buffer.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error.h"
#include "platform/tcp_socket.h"
#include "transport/connection.h"

namespace korvane {

// Raised by a read of kTCPClient when the peer has closed the connection and
// no received byte is left: "Connection Closed Gracefully."
class kTCPClosedGracefully : public Error {
 public:
  kTCPClosedGracefully();
};

// One TCP client connection. Host, port and connect time-out are fixed at
// construction. Bytes received but not yet taken wait in the client's own
// input buffer. Failures are Errors with the runtime's message, or:
//   "Not Connected"          reading or writing without a connection
//   "Connect timed out."     no connection within the connect time-out
//   "Read timed out."        no byte within the read time-out
//   "Write timed out."       the peer took no byte for a read time-out
//   "Port N is out of range (1 to 65535)."  connecting to a port that is none
//   kTCPClosedGracefully     the peer closed and the input buffer is empty
class kTCPClient {
 public:
  // aPort is kept as given; a value outside 1 to 65535 fails the connection.
  kTCPClient(const std::string& aHost, int32_t aPort, int32_t aConnectTimeout);
  ~kTCPClient();
  kTCPClient(const kTCPClient&) = delete;
  kTCPClient& operator=(const kTCPClient&) = delete;

  const std::string& Host() const { return fHost; }
  int32_t Port() const { return fPort; }
  int32_t ConnectTimeout() const { return fConnectTimeout; }
  // Milliseconds that one read waits for data; 0 or less: kDefaultTimeout.
  int32_t ReadTimeout() const { return fReadTimeout; }
  void SetReadTimeout(int32_t aValue) { fReadTimeout = aValue; }

  // True while the connection is open or received bytes still wait in the
  // input buffer. Takes in what the network has delivered, without waiting,
  // and notices a connection the peer has closed.
  bool Connected();
  // Connects (closing an earlier connection first and emptying the input
  // buffer); the name lookup and the connection together wait at most the
  // connect time-out (0 or less: kDefaultTimeout). A literal IP address is
  // not looked up.
  void Connect();
  // Closes the connection and empties the input buffer; never fails.
  void Disconnect();

  // Hands every byte to the system before it returns; nothing is left to
  // flush. While the system holds bytes it has not sent, the write goes on
  // as long as the peer takes bytes: when it takes none for the read
  // time-out (the send queue does not shrink and no send goes on), the
  // connection is closed and the write fails with "Write timed out.".
  void Write(std::string_view aBytes);
  // Waits until the peer has taken every byte written (the system's send
  // queue is empty), or has sent something, or closed; where the system
  // cannot tell, returns at once (its send queue is short there). Fails like
  // Write when the peer takes nothing for the read time-out.
  void WaitUntilTaken();

  // One byte, waiting at most the read time-out for it.
  uint8_t ReadByte();
  // Exactly aCount bytes; each wait for more data is bounded by the read
  // time-out, and the whole read by kWholeReadTimeouts of them, however the
  // bytes trickle in. On failure the bytes received so far stay in the input
  // buffer.
  std::string ReadBytes(size_t aCount);
  // One UTF-8 encoded character (its bytes). A malformed sequence gives
  // U+FFFD and takes only the bytes that belong to it.
  std::string ReadUtf8Char();

  size_t InputBufferSize() const { return fBuffer.size() - fHead; }
  void ClearInputBuffer();
  // True from the first connection attempt on.
  bool Used() const { return fUsed; }

 private:
  struct Link;

  // Waits for more bytes, at most the read time-out and never past
  // aDeadline, and appends them to the input buffer.
  void ReceiveMore(
      std::chrono::steady_clock::time_point aDeadline = std::chrono::steady_clock::time_point::max());
  // The read time-out in force: kDefaultTimeout when none is set.
  int32_t EffectiveReadTimeout() const;
  // Appends aCount bytes of the receive chunk to the input buffer.
  void TakeIn(size_t aCount);

  std::string fHost;
  // fLiteralHost at fLiteralPort as a literal address (empty: a name).
  std::string fLiteralHost;
  uint16_t fLiteralPort = 0;
  std::vector<platform::TcpAddress> fLiteral;
  int32_t fPort;
  int32_t fConnectTimeout;
  int32_t fReadTimeout = 0;
  bool fUsed = false;
  std::string fBuffer;  // the input buffer is fBuffer from fHead on
  size_t fHead = 0;
  // Why the connection was closed other than by Disconnect: the peer's close
  // (empty text) or a broken connection (its message). Reads report it once
  // the input buffer is empty.
  bool fLost = false;
  std::string fLostMessage;
  std::unique_ptr<Link> fLink;
};

}  // namespace korvane
