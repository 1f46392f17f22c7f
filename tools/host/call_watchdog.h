// Ends the tool with a clear line when a call into the library does not
// return in time (a display that never answers can keep a call waiting).
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace korvane::host {

class CallWatchdog {
 public:
  explicit CallWatchdog(std::chrono::seconds aLimit);
  ~CallWatchdog();
  CallWatchdog(const CallWatchdog&) = delete;
  CallWatchdog& operator=(const CallWatchdog&) = delete;

  void Arm(const std::string& aCall);
  void Disarm();

 private:
  void Watch();

  std::chrono::seconds fLimit;
  std::mutex fMutex;
  std::condition_variable fChanged;
  bool fArmed = false;
  bool fStopping = false;
  std::string fCall;
  std::chrono::steady_clock::time_point fDeadline;
  std::thread fThread;
};

}  // namespace korvane::host
