#include "browser_session.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include "helpers/base64.h"

extern char** environ;

namespace korvane::tools_test {

using nlohmann::json;

namespace {

constexpr std::chrono::seconds kAnswerLimit{30};

void CloseFd(int& aFd) {
  if (aFd >= 0) close(aFd);
  aFd = -1;
}

}  // namespace

BrowserSession::BrowserSession(const std::string& aBrowser, const std::string& aUrl) {
  std::string profile = (std::filesystem::temp_directory_path() / "korvane-session-XXXXXX").string();
  if (!mkdtemp(profile.data())) throw std::runtime_error(std::string("mkdtemp: ") + std::strerror(errno));
  fProfile = profile;
  int toBrowser[2], fromBrowser[2];
  if (pipe2(toBrowser, O_CLOEXEC) != 0)
    throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
  if (pipe2(fromBrowser, O_CLOEXEC) != 0) {
    close(toBrowser[0]), close(toBrowser[1]);
    throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
  }
  std::vector<std::string> args = {aBrowser,
                                   "--headless",
                                   "--no-sandbox",
                                   "--disable-gpu",
                                   "--disable-background-networking",
                                   "--disable-background-timer-throttling",
                                   "--disable-renderer-backgrounding",
                                   "--disable-dev-shm-usage",
                                   "--disable-extensions",
                                   "--no-first-run",
                                   "--no-default-browser-check",
                                   "--no-proxy-server",
                                   "--hide-scrollbars",
                                   "--window-size=1280,800",
                                   "--remote-debugging-pipe",
                                   "--user-data-dir=" + fProfile,
                                   "about:blank"};
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, toBrowser[0], 3);
  posix_spawn_file_actions_adddup2(&actions, fromBrowser[1], 4);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addclosefrom_np(&actions, 5);  // nothing else of the test's
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  const int spawned = posix_spawn(&fPid, aBrowser.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  close(toBrowser[0]);
  close(fromBrowser[1]);
  fToBrowser = toBrowser[1];
  fFromBrowser = fromBrowser[0];
  if (spawned != 0) {
    fPid = -1;
    CloseFd(fToBrowser);
    CloseFd(fFromBrowser);
    throw std::runtime_error("cannot start " + aBrowser + ": " + std::strerror(spawned));
  }
  try {
    const json target = Command("Target.createTarget", {{"url", aUrl}}, false);
    const json attached =
        Command("Target.attachToTarget", {{"targetId", target.at("targetId")}, {"flatten", true}}, false);
    fSession = attached.at("sessionId").get<std::string>();
    if (!WaitFor("location.href !== 'about:blank' && document.readyState === 'complete'"))
      throw std::runtime_error(aUrl + " did not load");
  } catch (...) {
    Shutdown();
    throw;
  }
}

BrowserSession::~BrowserSession() { Shutdown(); }

void BrowserSession::Shutdown() {
  if (fPid > 0) {
    try {
      if (fToBrowser >= 0) {
        const std::string close = json{{"id", fNextId++}, {"method", "Browser.close"}}.dump() + '\0';
        (void)!write(fToBrowser, close.data(), close.size());
      }
    } catch (...) {
    }
    CloseFd(fToBrowser);
    // A bounded wait, then the whole process group goes.
    int status = 0;
    bool ended = false;
    for (int i = 0; i < 100 && !ended; ++i) {
      ended = waitpid(fPid, &status, WNOHANG) == fPid;
      if (!ended) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(-fPid, SIGKILL);
    if (!ended) waitpid(fPid, &status, 0);
    fPid = -1;
  }
  CloseFd(fToBrowser);
  CloseFd(fFromBrowser);
  if (!fProfile.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(fProfile, ignored);
    fProfile.clear();
  }
}

std::string BrowserSession::ReadMessage(std::chrono::steady_clock::time_point aDeadline) {
  for (;;) {
    if (const auto end = fPending.find('\0'); end != std::string::npos) {
      std::string message = fPending.substr(0, end);
      fPending.erase(0, end + 1);
      return message;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(aDeadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) throw std::runtime_error("the browser did not answer in time");
    pollfd readable{fFromBrowser, POLLIN, 0};
    if (poll(&readable, 1, static_cast<int>(left.count())) <= 0) continue;
    char buffer[65536];
    const ssize_t n = read(fFromBrowser, buffer, sizeof buffer);
    if (n <= 0) throw std::runtime_error("the browser ended");
    fPending.append(buffer, static_cast<std::size_t>(n));
  }
}

json BrowserSession::Command(const std::string& aMethod, const json& aParams, bool aInPage) {
  const int id = fNextId++;
  json command = {{"id", id}, {"method", aMethod}, {"params", aParams}};
  if (aInPage) command["sessionId"] = fSession;
  const std::string text = command.dump() + '\0';
  std::size_t sent = 0;
  while (sent < text.size()) {
    const ssize_t n = write(fToBrowser, text.data() + sent, text.size() - sent);
    if (n <= 0) throw std::runtime_error("cannot write to the browser: " + std::string(std::strerror(errno)));
    sent += static_cast<std::size_t>(n);
  }
  const auto deadline = std::chrono::steady_clock::now() + kAnswerLimit;
  for (;;) {
    const json message = json::parse(ReadMessage(deadline));
    if (!message.contains("id") || message["id"] != id) continue;  // events and others' answers
    if (message.contains("error")) throw std::runtime_error(aMethod + ": " + message["error"].dump());
    return message.value("result", json::object());
  }
}

json BrowserSession::Evaluate(const std::string& aExpression) {
  const json result = Command("Runtime.evaluate",
                              {{"expression", aExpression}, {"returnByValue", true}, {"awaitPromise", true}});
  if (result.contains("exceptionDetails"))
    throw std::runtime_error("the page failed on " + aExpression + ": " + result["exceptionDetails"].dump());
  return result.at("result").value("value", json());
}

bool BrowserSession::WaitFor(const std::string& aExpression, std::chrono::milliseconds aTimeout) {
  const auto deadline = std::chrono::steady_clock::now() + aTimeout;
  for (;;) {
    try {
      if (Evaluate("!!(" + aExpression + ")") == true) return true;
    } catch (const std::runtime_error&) {
      // The page was between documents, or not there yet: ask again.
    }
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

void BrowserSession::Resize(int aWidth, int aHeight) {
  Command("Emulation.setDeviceMetricsOverride",
          {{"width", aWidth}, {"height", aHeight}, {"deviceScaleFactor", 1}, {"mobile", false}});
  // The page has had its resize event once it reports the new size.
  if (!WaitFor("innerWidth === " + std::to_string(aWidth) + " && innerHeight === " + std::to_string(aHeight)))
    throw std::runtime_error("the page did not take the size " + std::to_string(aWidth) + "x" +
                             std::to_string(aHeight));
}

void BrowserSession::Capture(const std::string& aPngPath) {
  // Once the screen's transitions have ended (a looping animation never does).
  WaitFor(
      "document.getAnimations().every(function (a) { return a.playState !== 'running' || "
      "a.effect.getTiming().iterations === Infinity; })",
      std::chrono::seconds(3));
  const json shot = Command("Page.captureScreenshot", {{"format", "png"}});
  const auto png = korvane::Base64Decode(shot.at("data").get<std::string>());
  if (!png) throw std::runtime_error("the browser's screenshot is not Base64");
  std::ofstream out(aPngPath, std::ios::binary | std::ios::trunc);
  out.write(png->data(), static_cast<std::streamsize>(png->size()));
  if (!out) throw std::runtime_error("cannot write " + aPngPath);
}

}  // namespace korvane::tools_test
