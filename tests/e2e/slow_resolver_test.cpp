// Name lookup through the exports against a slow or stuck resolver. This
// program defines getaddrinfo itself and exports it, so the library it loads
// at run time resolves through it (the program comes first in the loader's
// search, as an LD_PRELOAD library would): each lookup is delayed as the test
// says and then handed to the system's resolver.
#include <dlfcn.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netdb.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "e2e/requests.h"
#include "support/display_peer.h"
#include "support/library_under_test.h"

using namespace korvane::testing;

namespace {

using Clock = std::chrono::steady_clock;

// The delay of the resolver. Stuck lookups wait until released, at most 60 s.
class ResolverDelay {
 public:
  static ResolverDelay& Instance() {
    static ResolverDelay* instance = new ResolverDelay;  // outlives lookups still running at exit
    return *instance;
  }

  void Set(int aDelayMs, bool aStuck) {
    std::lock_guard<std::mutex> guard(fLock);
    fDelayMs = aDelayMs;
    fStuck = aStuck;
    fLookups.clear();
  }
  void Release() {
    std::lock_guard<std::mutex> guard(fLock);
    fStuck = false;
    fReleased.notify_all();
  }
  std::vector<std::string> Lookups() {
    std::lock_guard<std::mutex> guard(fLock);
    return fLookups;
  }

  void Wait(const char* aName) {
    std::unique_lock<std::mutex> guard(fLock);
    fLookups.push_back(aName ? aName : "");
    if (fStuck)
      fReleased.wait_for(guard, std::chrono::seconds(60), [this] { return !fStuck; });
    else
      fReleased.wait_for(guard, std::chrono::milliseconds(fDelayMs), [] { return false; });
  }

 private:
  std::mutex fLock;
  std::condition_variable fReleased;
  int fDelayMs = 0;
  bool fStuck = false;
  std::vector<std::string> fLookups;
};

long MillisecondsSince(Clock::time_point aStart) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - aStart).count());
}

}  // namespace

// Visible whatever the build's default: the library must find it.
extern "C" __attribute__((visibility("default"))) int getaddrinfo(const char* aNode, const char* aService,
                                                                  const addrinfo* aHints,
                                                                  addrinfo** aResult) {
  using Function = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
  static const Function system = reinterpret_cast<Function>(::dlsym(RTLD_NEXT, "getaddrinfo"));
  ResolverDelay::Instance().Wait(aNode);
  return system(aNode, aService, aHints, aResult);
}

TEST(SlowResolver, LookupAndConnectTogetherKeepTheConnectTimeOut) {
  struct Case {
    const char* what;
    std::string address;
    int delayMs;
    bool stuck;
    int connectTimeout;
    std::string error;  // empty: the call succeeds
    bool lookedUp;
  };
  const std::vector<Case> cases = {
      {"a lookup well within the time-out", "localhost", 300, false, 3000, "", true},
      {"a lookup longer than the time-out", "localhost", 1500, false, 1000, "Connect timed out.", true},
      {"a resolver that never answers", "localhost", 0, true, 1000, "Connect timed out.", true},
      {"a literal address while the resolver is stuck", "127.0.0.1", 0, true, 1000, "", false},
  };
  Library lib;
  DisplayPeer peer;  // on 127.0.0.1, which localhost names too
  for (const Case& c : cases) {
    ResolverDelay::Instance().Set(c.delayMs, c.stuck);
    RequestSpec open;
    open.method = "OPEN";
    open.connection = "<Type>TCP</Type><Address>" + c.address + "</Address><Port>" +
                      std::to_string(peer.Port()) + "</Port><ConnectTimeout>" +
                      std::to_string(c.connectTimeout) + "</ConnectTimeout><ReadTimeout>1000</ReadTimeout>";
    const auto start = Clock::now();
    const CallResult r = lib.Call("OPEN", Request(open));
    const long ms = MillisecondsSince(start);
    // Released only now: a stuck lookup must not hold the call.
    ResolverDelay::Instance().Release();
    if (c.error.empty())
      EXPECT_EQ(r.fResult, 0) << c.what << ": " << r.fErrorText;
    else
      EXPECT_EQ(r.fErrorText, c.error) << c.what;
    EXPECT_LT(ms, 10000) << c.what;  // generous: the design bound is the connect time-out
    EXPECT_EQ(ResolverDelay::Instance().Lookups().empty(), !c.lookedUp) << c.what;
  }
}
