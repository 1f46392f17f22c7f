// The TCP client object of the TCP transport, on Asio.

// Asio's handler memory uses a standalone fence, which ThreadSanitizer does not
// model; each client runs its own single-threaded io_context, so nothing
// depends on it here. (This must precede every include.)
#if defined(__GNUC__) && !defined(__clang__) && defined(__SANITIZE_THREAD__)
#pragma GCC diagnostic ignored "-Wtsan"
#endif
#include <asio.hpp>
#include <chrono>
#include <optional>

#include "transport/uTKIOHandler_TCP.h"

namespace korvane {
namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kChunkSize = 64 * 1024;
constexpr int kMaxChunksPerCheck = 16;

const char kNotConnected[] = "Not Connected";
const char kReadTimedOut[] = "Read timed out.";
const char kConnectTimedOut[] = "Connect timed out.";
const char kReplacementCharacter[] = "\xEF\xBF\xBD";

std::optional<Clock::time_point> DeadlineAfter(int32_t aTimeoutMs) {
  if (aTimeoutMs <= 0) return std::nullopt;
  return Clock::now() + std::chrono::milliseconds(aTimeoutMs);
}

}  // namespace

kTCPClosedGracefully::kTCPClosedGracefully() : Error("Connection Closed Gracefully.") {}

struct kTCPClient::Link {
  asio::io_context fContext{1};
  asio::ip::tcp::socket fSocket{fContext};
  std::vector<char> fChunk = std::vector<char>(kChunkSize);

  // Runs the pending operation until it completes or aDeadline passes. On
  // time-out the operation is cancelled and false returned.
  bool Run(const std::optional<Clock::time_point>& aDeadline,
           const std::optional<asio::error_code>& aResult) {
    fContext.restart();
    if (aDeadline)
      fContext.run_until(*aDeadline);
    else
      fContext.run();
    if (aResult) return true;
    asio::error_code ignored;
    fSocket.cancel(ignored);
    fContext.restart();
    fContext.run();
    return false;
  }

  // Waits until the socket is ready for aType; false when aDeadline passes
  // first. Fails with the runtime's message.
  bool Wait(asio::socket_base::wait_type aType, const std::optional<Clock::time_point>& aDeadline) {
    std::optional<asio::error_code> result;
    fSocket.async_wait(aType, [&result](const asio::error_code& ec) { result = ec; });
    if (!Run(aDeadline, result)) return false;
    if (*result) throw Error(result->message());
    return true;
  }

  void Close() {
    asio::error_code ignored;
    if (fSocket.is_open()) {
      fSocket.shutdown(asio::socket_base::shutdown_both, ignored);
      fSocket.close(ignored);
    }
  }
};

kTCPClient::kTCPClient(const std::string& aHost, uint16_t aPort, int32_t aConnectTimeout)
    : fHost(aHost), fPort(aPort), fConnectTimeout(aConnectTimeout), fLink(std::make_unique<Link>()) {}

kTCPClient::~kTCPClient() { fLink->Close(); }

bool kTCPClient::Connected() {
  asio::ip::tcp::socket& socket = fLink->fSocket;
  if (socket.is_open()) {
    // Take in what has arrived, a bounded amount so that a flooding peer
    // cannot keep us here; notice a close by the peer.
    for (int chunk = 0; chunk < kMaxChunksPerCheck; ++chunk) {
      asio::error_code ec;
      const size_t n = socket.read_some(asio::buffer(fLink->fChunk), ec);
      if (!ec) {
        TakeIn(n);
        continue;
      }
      if (ec == asio::error::would_block || ec == asio::error::try_again || ec == asio::error::interrupted)
        break;
      fLink->Close();  // the peer's close, or a broken connection
      fLost = true;
      fLostMessage = ec == asio::error::eof ? std::string() : ec.message();
      break;
    }
  }
  return socket.is_open() || InputBufferSize() > 0;
}

void kTCPClient::Connect() {
  fUsed = true;
  fLink->Close();
  ClearInputBuffer();
  fLost = false;
  asio::ip::tcp::socket& socket = fLink->fSocket;
  const std::optional<Clock::time_point> deadline = DeadlineAfter(fConnectTimeout);

  std::vector<asio::ip::tcp::endpoint> endpoints;
  asio::error_code ec;
  const asio::ip::address address = asio::ip::make_address(fHost, ec);
  if (!ec) {
    endpoints.emplace_back(address, fPort);
  } else {
    asio::ip::tcp::resolver resolver(fLink->fContext);
    const auto results =
        resolver.resolve(fHost, std::to_string(fPort), asio::ip::resolver_base::numeric_service, ec);
    if (ec) throw Error(ec.message());
    for (const auto& entry : results) endpoints.push_back(entry.endpoint());
  }

  std::optional<asio::error_code> result;
  asio::async_connect(socket, endpoints,
                      [&result](const asio::error_code& e, const asio::ip::tcp::endpoint&) { result = e; });
  if (!fLink->Run(deadline, result)) {
    fLink->Close();
    throw Error(kConnectTimedOut);
  }
  if (*result) {
    fLink->Close();
    throw Error(result->message());
  }
  socket.set_option(asio::ip::tcp::no_delay(true), ec);
  socket.non_blocking(true, ec);
  if (ec) {
    fLink->Close();
    throw Error(ec.message());
  }
}

void kTCPClient::Disconnect() {
  fLink->Close();
  ClearInputBuffer();
  fLost = false;
}

void kTCPClient::Write(std::string_view aBytes) {
  asio::ip::tcp::socket& socket = fLink->fSocket;
  if (!socket.is_open()) throw Error(kNotConnected);
  while (!aBytes.empty()) {
    asio::error_code ec;
    const size_t n = socket.write_some(asio::buffer(aBytes.data(), aBytes.size()), ec);
    if (!ec) {
      aBytes.remove_prefix(n);
      continue;
    }
    if (ec == asio::error::would_block || ec == asio::error::try_again) {
      fLink->Wait(asio::socket_base::wait_write, std::nullopt);
      continue;
    }
    if (ec == asio::error::interrupted) continue;
    throw Error(ec.message());
  }
}

void kTCPClient::TakeIn(size_t aCount) {
  if (fHead > 0) {  // drop what has been taken
    fBuffer.erase(0, fHead);
    fHead = 0;
  }
  fBuffer.append(fLink->fChunk.data(), aCount);
}

void kTCPClient::ReceiveMore() {
  asio::ip::tcp::socket& socket = fLink->fSocket;
  if (!socket.is_open()) {
    if (!fLost) throw Error(kNotConnected);
    if (fLostMessage.empty()) throw kTCPClosedGracefully();
    throw Error(fLostMessage);
  }
  const std::optional<Clock::time_point> deadline = DeadlineAfter(fReadTimeout);
  for (;;) {
    asio::error_code ec;
    const size_t n = socket.read_some(asio::buffer(fLink->fChunk), ec);
    if (!ec) {
      TakeIn(n);
      return;
    }
    if (ec == asio::error::eof) {
      fLink->Close();
      fLost = true;
      fLostMessage.clear();
      throw kTCPClosedGracefully();
    }
    if (ec == asio::error::would_block || ec == asio::error::try_again) {
      if (!fLink->Wait(asio::socket_base::wait_read, deadline)) throw Error(kReadTimedOut);
      continue;
    }
    if (ec == asio::error::interrupted) continue;
    throw Error(ec.message());
  }
}

uint8_t kTCPClient::ReadByte() {
  if (InputBufferSize() == 0) ReceiveMore();
  return static_cast<uint8_t>(fBuffer[fHead++]);
}

std::string kTCPClient::ReadBytes(size_t aCount) {
  while (InputBufferSize() < aCount) ReceiveMore();
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
