#include "display/korvane/display_driver.h"

#include <algorithm>
#include <chrono>
#include <typeinfo>
#include <utility>

#include "platform/clock.h"
#include "platform/error.h"
#include "platform/library.h"
#include "transport/tcp_handler.h"

namespace korvane {
namespace {

constexpr char kETX = '\x03';
// A message buffer up to this size is kept for the next message; a larger
// one (a message with images) goes with its message.
constexpr size_t kKeptBufferBytes = 64 * 1024;
// From this size on, a frame's being taken by the display is waited for
// before the reply's time runs.
constexpr size_t kAskWhetherTakenFrom = 16 * 1024;
// A reply longer than this without its ETX is not a display's reply.
constexpr size_t kMaxReplyBytes = 1024 * 1024;

// Loads this library once more by its own path, pinned: it then stays in the
// process until the process ends, whatever the host unloads.
void PinThisLibrary() {
  const std::string name = platform::kOwnLibraryFileName;
  std::map<std::string, void*>& cache = LibraryHandleCache();
  if (cache.count(name)) return;
  if (void* handle = platform::PinCurrentModule()) cache[name] = handle;
}

}  // namespace

std::map<std::string, void*>& LibraryHandleCache() {
  // The handles in it are never released. Once it holds one, the library
  // stays loaded, so the map itself goes only with the process.
  static std::map<std::string, void*> cache;
  return cache;
}

void CreateLibraryHandleCache() { LibraryHandleCache(); }

kCustomerDisplay_KORVANE::kCustomerDisplay_KORVANE(const kCustomerDisplayHandler& aHandler)
    : kCustomerDisplayDevice(aHandler) {
  PinThisLibrary();
}

std::unique_ptr<kCustomerDisplayDevice> kCustomerDisplay_KORVANE::Create(
    const kCustomerDisplayHandler& aHandler) {
  return std::make_unique<kCustomerDisplay_KORVANE>(aHandler);
}

template <class TResult>
bool kCustomerDisplay_KORVANE::Exchange(kKorvaneMessage aMessage, TResult& aResult) {
  struct KeepBuffer {
    kKorvaneMessage& message;
    std::string& buffer;
    ~KeepBuffer() {
      if (message.fFrame.capacity() <= kKeptBufferBytes) buffer = std::move(message.fFrame);
    }
  } keep{aMessage, fMessageBuffer};
  fIOHandler->Debug(let_info, aMessage.Logged());
  kIOHandler* handler = fIOHandler.get();
  // (the cast only where the handler is not the TCP transport itself)
  auto* tcp = typeid(*handler) == typeid(kIOHandler_TCP) ? static_cast<kIOHandler_TCP*>(handler)
                                                         : dynamic_cast<kIOHandler_TCP*>(handler);
  if (!tcp) {
    aResult.Error = true;
    aResult.ErrorText = "Connection type not supported";
    return false;
  }
  if (tcp->Connected()) tcp->Disconnect();
  std::string error;
  const bool ok = SendRequest(aMessage.fFrame, error);
  if (!error.empty()) {
    aResult.Error = true;
    aResult.ErrorText = error;
  }
  return ok;
}

bool kCustomerDisplay_KORVANE::SendRequest(std::string_view aFrame, std::string& aError) {
  aError.clear();
  kTCPClient& link = static_cast<kIOHandler_TCP&>(*fIOHandler).TCPClient();
  try {
    struct DisconnectAtEnd {
      kTCPClient& link;
      ~DisconnectAtEnd() { link.Disconnect(); }
    } disconnect{link};
    if (!link.Connected()) link.Connect();
    // Every wait of the exchange is bounded by the connection's read
    // time-out: a write the display takes no byte of for that long fails,
    // and so does a reply byte that does not come.
    // (A connection always has one above 0; its default stands in otherwise.)
    const int32_t readTimeout = fIOHandler->ReadTimeout() > 0 ? fIOHandler->ReadTimeout() : kDefaultTimeout;
    link.SetReadTimeout(readTimeout);
    link.Write(aFrame);
    // The reply window opens once the display has taken the whole frame
    // (not when the last byte reached the local send buffer, with megabytes
    // perhaps still queued there); taking nothing for the read time-out
    // fails like a write. A frame of a few kilobytes (every message of
    // texts) is on the wire at once: asking after it would cost a system
    // call per message for a difference of the network's transit time.
    if (aFrame.size() > kAskWhetherTakenFrom) link.WaitUntilTaken();
    // The reply is only waited for, not examined: read up to its ETX (a byte
    // that never occurs inside a UTF-8 sequence). The whole reply must come
    // within kWholeReadTimeouts of the frame having been taken.
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(int64_t{readTimeout} * kWholeReadTimeouts);
    size_t replyBytes = 0;
    bool waited = false;
    for (;;) {
      // A byte already received is taken without a wait, and so without
      // the clock; so is the first wait, which the whole read's bound
      // always leaves a full read time-out.
      if (link.InputBufferSize() == 0 && std::exchange(waited, true)) {
        const int32_t left = platform::MillisecondsUntil(deadline);
        if (left == 0) throw Error("Read timed out.");
        link.SetReadTimeout(std::max<int32_t>(1, std::min(readTimeout, left)));
      }
      if (static_cast<char>(link.ReadByte()) == kETX) break;
      if (++replyBytes > kMaxReplyBytes) throw Error("Reply too long: no ETX within 1048576 bytes");
    }
    return true;
  } catch (const std::exception& e) {
    aError = e.what();
    return false;
  }
}

bool kCustomerDisplay_KORVANE::DoOpen(const kOpen& aOpen, _int_OPEN_result& aResult) {
  return Exchange(BuildOpenMessage(aOpen, TakeMessageBuffer()), aResult);
}

bool kCustomerDisplay_KORVANE::DoClose(const kOpen& aOpen, _int_CLOSE_result& aResult) {
  return Exchange(BuildCloseMessage(aOpen, TakeMessageBuffer()), aResult);
}

bool kCustomerDisplay_KORVANE::DoCloseMessage(const kMessage& aMessage,
                                              _int_CUSTOMERDISPLAY_result& aResult) {
  return Exchange(BuildCloseMessage(aMessage, TakeMessageBuffer()), aResult);
}

bool kCustomerDisplay_KORVANE::DoMessage(const kMessage& aMessage, _int_CUSTOMERDISPLAY_result& aResult) {
  return Exchange(BuildTextMessage("Message", aMessage, TakeMessageBuffer()), aResult);
}

bool kCustomerDisplay_KORVANE::DoThankyou(const kThankyou& aThankyou, _int_CUSTOMERDISPLAY_result& aResult) {
  return Exchange(BuildTextMessage("Thankyou", aThankyou, TakeMessageBuffer()), aResult);
}

bool kCustomerDisplay_KORVANE::DoIdle(const kIdle& aIdle, _int_CUSTOMERDISPLAY_result& aResult) {
  return Exchange(BuildTextMessage("Idle", aIdle, TakeMessageBuffer()), aResult);
}

bool kCustomerDisplay_KORVANE::DoReceipt(const kCDReceipt& aReceipt, _int_CUSTOMERDISPLAY_result& aResult) {
  return Exchange(BuildReceiptMessage(aReceipt, TakeMessageBuffer()), aResult);
}

}  // namespace korvane
