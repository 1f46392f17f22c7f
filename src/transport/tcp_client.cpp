// The TCP client object of the TCP transport, on the platform's socket and
// name lookup.
#include "transport/tcp_client.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <vector>

#include "platform/clock.h"
#include "platform/tcp_socket.h"

namespace korvane {
namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kChunkSize = 64 * 1024;
constexpr int kMaxChunksPerCheck = 16;

const char kNotConnected[] = "Not Connected";
const char kReadTimedOut[] = "Read timed out.";
const char kWriteTimedOut[] = "Write timed out.";
const char kConnectTimedOut[] = "Connect timed out.";
const char kReplacementCharacter[] = "\xEF\xBF\xBD";

// How often a wait for the peer to take bytes looks at the send queue.
constexpr auto kProgressLook = std::chrono::milliseconds(50);

// Whether the peer takes bytes: the send queue shrinks, or a send goes on.
// Stalled once it has taken none for the time-out. The send queue and the
// clock are read from the first wait on (a send that takes everything at
// once, the usual case, needs neither), and again after each send that went
// on.
class PeerProgress {
 public:
  PeerProgress(platform::TcpSocket& aSocket, std::chrono::milliseconds aTimeout)
      : fSocket(aSocket), fTimeout(aTimeout) {}

  // A send went on: the peer made room; the time-out starts again at the
  // next wait.
  void Took() { fLooked = false; }
  // How long the next wait may last: until the next look at the queue.
  int32_t NextLook() {
    Look();
    return std::min(platform::MillisecondsUntil(fStall), static_cast<int32_t>(kProgressLook.count()));
  }
  // The bytes the peer has not taken yet; 0 where the system cannot tell.
  size_t Queued() {
    Look();
    return fKnown ? fQueued : 0;
  }
  // Looks at the queue: true when the peer has taken nothing for the time-out.
  bool Stalled() {
    Look();
    const std::optional<size_t> queued = fSocket.UnsentBytes();
    if (queued && fKnown && *queued < fQueued) fStall = Clock::now() + fTimeout;
    Take(queued);
    return Clock::now() >= fStall;
  }

 private:
  void Look() {
    if (fLooked) return;
    fLooked = true;
    Take(fSocket.UnsentBytes());
    fStall = Clock::now() + fTimeout;
  }
  void Take(std::optional<size_t> aQueued) {
    fKnown = aQueued.has_value();
    fQueued = aQueued.value_or(0);
  }

  platform::TcpSocket& fSocket;
  std::chrono::milliseconds fTimeout;
  bool fLooked = false;
  // The send queue at the last look, where the system can tell (fKnown).
  bool fKnown = false;
  size_t fQueued = 0;
  Clock::time_point fStall;
};

}  // namespace

kTCPClosedGracefully::kTCPClosedGracefully() : Error("Connection Closed Gracefully.") {}

struct kTCPClient::Link {
  std::unique_ptr<platform::TcpSocket> fSocket;
  std::unique_ptr<platform::TcpSocket> fClosed;  // the last one, closed, for the next connection
  std::vector<char> fChunk = std::vector<char>(kChunkSize);

  void Close() {
    if (!fSocket) return;
    fSocket->Close();
    fClosed = std::move(fSocket);
  }
};

kTCPClient::kTCPClient(const std::string& aHost, int32_t aPort, int32_t aConnectTimeout)
    : fHost(aHost), fPort(aPort), fConnectTimeout(aConnectTimeout), fLink(std::make_unique<Link>()) {}

kTCPClient::~kTCPClient() = default;

bool kTCPClient::Connected() {
  if (fLink->fSocket) {
    // Take in what has arrived, a bounded amount so that a flooding peer
    // cannot keep us here; notice a close by the peer.
    for (int chunk = 0; chunk < kMaxChunksPerCheck && fLink->fSocket; ++chunk) {
      try {
        const std::optional<size_t> n = fLink->fSocket->ReceiveSome(fLink->fChunk.data(), kChunkSize);
        if (!n) break;
        if (*n > 0) {
          TakeIn(*n);
          continue;
        }
        fLostMessage.clear();  // the peer's close
      } catch (const Error& e) {
        fLostMessage = e.what();  // a broken connection
      }
      fLink->Close();
      fLost = true;
    }
  }
  return fLink->fSocket || InputBufferSize() > 0;
}

void kTCPClient::Connect() {
  fUsed = true;
  fLink->Close();
  ClearInputBuffer();
  fLost = false;
  if (fPort < 1 || fPort > 65535)
    throw Error("Port " + std::to_string(fPort) + " is out of range (1 to 65535).");
  const uint16_t port = static_cast<uint16_t>(fPort);
  const int32_t connectTimeout = fConnectTimeout > 0 ? fConnectTimeout : kDefaultTimeout;
  // A literal address is the same at every connect: it is taken apart once
  // (a name is looked up each time). The name lookup counts against the
  // connect time-out; a literal, one address, has the whole time-out
  // without a look at the clock.
  if (fLiteralHost != fHost || fLiteralPort != port) {
    fLiteral.clear();
    if (std::optional<platform::TcpAddress> literal = platform::LiteralTcpAddress(fHost, port))
      fLiteral.push_back(std::move(*literal));
    fLiteralHost = fHost;
    fLiteralPort = port;
  }
  const Clock::time_point deadline =
      fLiteral.empty() ? Clock::now() + std::chrono::milliseconds(connectTimeout) : Clock::time_point::max();
  std::optional<std::vector<platform::TcpAddress>> lookedUp;
  if (fLiteral.empty()) {
    lookedUp = platform::ResolveTcpHost(fHost, port, connectTimeout);
    if (!lookedUp) throw Error(kConnectTimedOut);
  }
  const std::vector<platform::TcpAddress>& addresses = fLiteral.empty() ? *lookedUp : fLiteral;
  std::string failure = "Host not found";
  for (const platform::TcpAddress& address : addresses) {
    const int32_t timeout = fLiteral.empty() ? platform::MillisecondsUntil(deadline) : connectTimeout;
    if (timeout == 0) throw Error(kConnectTimedOut);
    try {
      fLink->fSocket = platform::ConnectTcpSocket(address.fBytes.data(), address.fBytes.size(), timeout,
                                                  std::move(fLink->fClosed));
    } catch (const Error& e) {
      failure = e.what();  // the next address may answer
      continue;
    }
    if (!fLink->fSocket) throw Error(kConnectTimedOut);
    return;
  }
  throw Error(failure);
}

void kTCPClient::Disconnect() {
  fLink->Close();
  ClearInputBuffer();
  fLost = false;
}

void kTCPClient::Write(std::string_view aBytes) {
  if (!fLink->fSocket) throw Error(kNotConnected);
  const std::chrono::milliseconds timeout(EffectiveReadTimeout());
  // Progress is what the peer takes, not room in the local send buffer
  // (which the system reports only once a good part of it is free again).
  PeerProgress progress(*fLink->fSocket, timeout);
  while (!aBytes.empty()) {
    const size_t n = fLink->fSocket->SendSome(aBytes.data(), aBytes.size());
    if (n > 0) {
      aBytes.remove_prefix(n);
      progress.Took();
      continue;
    }
    if (fLink->fSocket->WaitWritable(progress.NextLook())) continue;
    if (progress.Stalled()) {
      // A peer that stopped reading: what is half sent cannot be taken back,
      // so the connection goes.
      fLink->Close();
      throw Error(kWriteTimedOut);
    }
  }
}

void kTCPClient::WaitUntilTaken() {
  if (!fLink->fSocket) throw Error(kNotConnected);
  PeerProgress progress(*fLink->fSocket, std::chrono::milliseconds(EffectiveReadTimeout()));
  while (progress.Queued() > 0) {
    // An answer (or a close) before the peer took everything ends the wait:
    // the reads that follow take it.
    if (fLink->fSocket->WaitReadable(progress.NextLook())) return;
    if (progress.Stalled()) {
      fLink->Close();
      throw Error(kWriteTimedOut);
    }
  }
}

void kTCPClient::TakeIn(size_t aCount) {
  if (fHead > 0) {  // drop what has been taken
    fBuffer.erase(0, fHead);
    fHead = 0;
  }
  fBuffer.append(fLink->fChunk.data(), aCount);
}

int32_t kTCPClient::EffectiveReadTimeout() const { return fReadTimeout > 0 ? fReadTimeout : kDefaultTimeout; }

void kTCPClient::ReceiveMore(Clock::time_point aDeadline) {
  if (!fLink->fSocket) {
    if (!fLost) throw Error(kNotConnected);
    if (fLostMessage.empty()) throw kTCPClosedGracefully();
    throw Error(fLostMessage);
  }
  // Without a deadline of the caller's, the first wait is the read time-out
  // itself, and the clock is read only for a wait after a wake-up that
  // brought nothing.
  const bool ownDeadline = aDeadline == Clock::time_point::max();
  Clock::time_point deadline = aDeadline;
  int32_t wait = EffectiveReadTimeout();
  if (ownDeadline) {
    deadline = Clock::time_point::min();  // set when needed
  } else {
    deadline = std::min(aDeadline, Clock::now() + std::chrono::milliseconds(wait));
    wait = platform::MillisecondsUntil(deadline);
  }
  for (;;) {
    // Wait first: a reply is rarely there the moment it is asked for.
    if (!fLink->fSocket->WaitReadable(wait)) throw Error(kReadTimedOut);
    const std::optional<size_t> n = fLink->fSocket->ReceiveSome(fLink->fChunk.data(), kChunkSize);
    if (!n) {  // woken without data: the rest of the time-out
      if (deadline == Clock::time_point::min()) deadline = Clock::now() + std::chrono::milliseconds(wait);
      wait = platform::MillisecondsUntil(deadline);
      continue;
    }
    if (*n > 0) {
      TakeIn(*n);
      return;
    }
    fLink->Close();
    fLost = true;
    fLostMessage.clear();
    throw kTCPClosedGracefully();
  }
}

uint8_t kTCPClient::ReadByte() {
  if (InputBufferSize() == 0) ReceiveMore();
  return static_cast<uint8_t>(fBuffer[fHead++]);
}

std::string kTCPClient::ReadBytes(size_t aCount) {
  const Clock::time_point deadline =
      Clock::now() + std::chrono::milliseconds(int64_t{EffectiveReadTimeout()} * kWholeReadTimeouts);
  while (InputBufferSize() < aCount) ReceiveMore(deadline);
  std::string result = fBuffer.substr(fHead, aCount);
  fHead += aCount;
  return result;
}

std::string kTCPClient::ReadUtf8Char() {
  const uint8_t lead = ReadByte();
  size_t more = 0;
  uint32_t minimum = 0;
  uint32_t code = 0;
  if (lead < 0x80) return std::string(1, static_cast<char>(lead));
  if (lead >= 0xC2 && lead <= 0xDF) {
    more = 1, minimum = 0x80, code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    more = 2, minimum = 0x800, code = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    more = 3, minimum = 0x10000, code = lead & 0x07;
  } else {
    return kReplacementCharacter;
  }
  std::string result(1, static_cast<char>(lead));
  for (size_t i = 0; i < more; ++i) {
    if (InputBufferSize() == 0) ReceiveMore();
    const uint8_t next = static_cast<uint8_t>(fBuffer[fHead]);
    if ((next & 0xC0) != 0x80) return kReplacementCharacter;  // the byte stays for the next character
    ++fHead;
    result += static_cast<char>(next);
    code = (code << 6) | (next & 0x3F);
  }
  if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return kReplacementCharacter;
  return result;
}

void kTCPClient::ClearInputBuffer() {
  fBuffer.clear();
  fHead = 0;
}

}  // namespace korvane
