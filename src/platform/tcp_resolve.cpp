// Name lookups bounded by a deadline: the system's resolver runs on a helper
// thread of its own, which is never waited for beyond the deadline nor joined.
#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/error.h"
#include "platform/library.h"
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

// A lookup left running keeps executing this module's code after the call
// that started it has returned: the module then stays loaded until the
// process ends, whatever the host unloads.
void KeepModuleForAbandonedLookups() {
  static std::once_flag pinned;
  std::call_once(pinned, [] { PinCurrentModule(); });
}

}  // namespace

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
    try {
      std::thread([lookup] { RunLookup(*lookup); }).detach();
    } catch (const std::system_error& e) {
      ThrowOsError(e.code().value(), "Cannot start the name lookup: ");
    }
    std::unique_lock<std::mutex> guard(lookup->fLock);
    if (!lookup->fDone.wait_for(guard, std::chrono::milliseconds(aTimeoutMs),
                                [&] { return lookup->fFinished; })) {
      KeepModuleForAbandonedLookups();
      return std::nullopt;
    }
  }
  if (lookup->fFailure) std::rethrow_exception(lookup->fFailure);
  return std::move(lookup->fAddresses);
}

}  // namespace korvane::platform
