// Ends the tool with a clear line when a call into the library does not
// return in time (a display that never answers can keep a call waiting).
// The line is the watchdog's own, or what aReport prints.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace korvane::host {

class CallWatchdog {
 public:
  // A limit of 0 watches nothing.
  explicit CallWatchdog(std::chrono::milliseconds aLimit,
                        std::function<void(const std::string& aCall)> aReport = {});
  ~CallWatchdog();
  CallWatchdog(const CallWatchdog&) = delete;
  CallWatchdog& operator=(const CallWatchdog&) = delete;

  void Arm(const std::string& aCall);
  void Disarm();

 private:
  void Watch();

  std::chrono::milliseconds fLimit;
  std::function<void(const std::string&)> fReport;
  std::mutex fMutex;
  std::condition_variable fChanged;
  bool fArmed = false;
  bool fStopping = false;
  std::string fCall;
  std::chrono::steady_clock::time_point fDeadline;
  std::thread fThread;
};

}  // namespace korvane::host
