#include "call_watchdog.h"

#include <cstdio>
#include <cstdlib>

namespace korvane::host {

CallWatchdog::CallWatchdog(std::chrono::milliseconds aLimit, std::function<void(const std::string&)> aReport)
    : fLimit(aLimit), fReport(std::move(aReport)) {
  if (fLimit.count() > 0) fThread = std::thread([this] { Watch(); });
}

CallWatchdog::~CallWatchdog() {
  {
    std::lock_guard lock(fMutex);
    fStopping = true;
  }
  fChanged.notify_all();
  if (fThread.joinable()) fThread.join();
}

void CallWatchdog::Arm(const std::string& aCall) {
  {
    std::lock_guard lock(fMutex);
    fArmed = true;
    fCall = aCall;
    fDeadline = std::chrono::steady_clock::now() + fLimit;
  }
  fChanged.notify_all();
}

void CallWatchdog::Disarm() {
  std::lock_guard lock(fMutex);
  fArmed = false;
}

void CallWatchdog::Watch() {
  std::unique_lock lock(fMutex);
  while (!fStopping) {
    if (!fArmed) {
      fChanged.wait(lock);
      continue;
    }
    const auto deadline = fDeadline;
    if (fChanged.wait_until(lock, deadline) == std::cv_status::timeout && fArmed && fDeadline == deadline) {
      if (fReport) {
        fReport(fCall);
      } else {
        const bool seconds = fLimit.count() % 1000 == 0;
        std::fprintf(stderr, "korvane-host: %s did not return within %lld %s (is the display answering?)\n",
                     fCall.c_str(), static_cast<long long>(seconds ? fLimit.count() / 1000 : fLimit.count()),
                     seconds ? "s" : "ms");
      }
      std::fflush(stdout);
      std::fflush(stderr);
      std::_Exit(1);
    }
  }
}

}  // namespace korvane::host
