// Name lookups bounded by a deadline: the system's resolver runs on a helper
// thread of its own, which is never waited for beyond the deadline: a lookup
// that takes longer is let go (platform/module_thread.h keeps the module in
// the process while it runs).
#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>

#include "platform/error.h"
#include "platform/module_thread.h"
#include "platform/tcp_lookup.h"
#include "platform/tcp_socket.h"

namespace korvane::platform {
namespace {

// One name lookup. The helper thread that runs it and the caller that waits
// for it share it; whichever lets go last frees it.
struct Lookup {
  std::string fHost;
  uint16_t fPort = 0;
  bool fNumericHost = false;
  std::mutex fLock;
  std::condition_variable fDone;
  bool fFinished = false;
  std::vector<TcpAddress> fAddresses;
  std::exception_ptr fFailure;
};

void RunLookup(Lookup& aLookup) {
  std::vector<TcpAddress> addresses;
  std::exception_ptr failure;
  try {
    addresses = tcp_lookup::LookUp(aLookup.fHost, aLookup.fPort, aLookup.fNumericHost);
  } catch (...) {
    failure = std::current_exception();
  }
  std::lock_guard<std::mutex> guard(aLookup.fLock);
  aLookup.fAddresses = std::move(addresses);
  aLookup.fFailure = failure;
  aLookup.fFinished = true;
  aLookup.fDone.notify_all();
}

}  // namespace

std::optional<TcpAddress> LiteralTcpAddress(const std::string& aHost, uint16_t aPort) {
  return tcp_lookup::LiteralAddress(aHost, aPort);
}

std::optional<std::vector<TcpAddress>> ResolveTcpHost(const std::string& aHost, uint16_t aPort,
                                                      int32_t aTimeoutMs) {
  if (std::optional<TcpAddress> literal = tcp_lookup::LiteralAddress(aHost, aPort))
    return std::vector<TcpAddress>{std::move(*literal)};
  auto lookup = std::make_shared<Lookup>();
  lookup->fHost = aHost;
  lookup->fPort = aPort;
  // A scoped IPv6 literal ("fe80::1%eth0") needs no lookup either.
  lookup->fNumericHost = aHost.find('%') != std::string::npos && aHost.find(':') != std::string::npos;
  if (aTimeoutMs <= 0 || lookup->fNumericHost) {
    RunLookup(*lookup);
  } else {
    ModuleThread thread;
    try {
      thread.Start([lookup] { RunLookup(*lookup); });
    } catch (const OsError& e) {
      ThrowOsError(e.Code(), "Cannot start the name lookup: ");
    }
    std::unique_lock<std::mutex> guard(lookup->fLock);
    if (!lookup->fDone.wait_for(guard, std::chrono::milliseconds(aTimeoutMs),
                                [&] { return lookup->fFinished; }))
      return std::nullopt;  // (the thread is let go)
    guard.unlock();
    // Finished: the thread only has to return.
    constexpr int kJoinMs = 1000;
    thread.Join(kJoinMs);
  }
  if (lookup->fFailure) std::rethrow_exception(lookup->fFailure);
  return std::move(lookup->fAddresses);
}

}  // namespace korvane::platform
