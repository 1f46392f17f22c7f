// A page kept open in headless Chromium while a test goes on, driven over
// the DevTools protocol on a pipe (--remote-debugging-pipe: commands go to
// the browser's descriptor 3, answers and events come from its 4, each a
// JSON text ended by a NUL). Unlike --dump-dom, the page lives across the
// test's steps: what it shows can be read again and again, and it can be
// clicked.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <string>

namespace korvane::tools_test {

class BrowserSession {
 public:
  // Starts aBrowser headless with aUrl open (1280 x 800). Throws
  // std::runtime_error when it does not start or does not answer.
  BrowserSession(const std::string& aBrowser, const std::string& aUrl);
  ~BrowserSession();
  BrowserSession(const BrowserSession&) = delete;
  BrowserSession& operator=(const BrowserSession&) = delete;

  // The value of aExpression in the page (a promise is awaited).
  nlohmann::json Evaluate(const std::string& aExpression);
  // Evaluates aExpression every 50 ms until it is true or aTimeout passes
  // (one that fails, as while the page loads, counts as false).
  bool WaitFor(const std::string& aExpression, std::chrono::milliseconds aTimeout = std::chrono::seconds(20));
  // Shows the page at aWidth x aHeight CSS pixels, as a panel of that size.
  void Resize(int aWidth, int aHeight);
  // A PNG of what the page shows now, written to aPngPath.
  void Capture(const std::string& aPngPath);

 private:
  nlohmann::json Command(const std::string& aMethod, const nlohmann::json& aParams, bool aInPage = true);
  void Shutdown();
  std::string ReadMessage(std::chrono::steady_clock::time_point aDeadline);

  pid_t fPid = -1;
  int fToBrowser = -1;
  int fFromBrowser = -1;
  std::string fProfile;
  std::string fPending;
  std::string fSession;
  int fNextId = 1;
};

}  // namespace korvane::tools_test
