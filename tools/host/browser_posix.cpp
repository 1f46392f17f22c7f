// Headless Chromium started as a child process (posix_spawn), its output
// read through a pipe with a bound.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "browser.h"
#include "korvane_library.h"

extern char** environ;

namespace korvane::host {

namespace {

// A fresh folder for the browser's profile, removed afterwards.
class ProfileFolder {
 public:
  ProfileFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "korvane-chromium-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
      throw HostError(std::string("cannot make a browser profile folder: ") + std::strerror(errno));
    fPath = pattern;
  }
  ~ProfileFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(fPath, ignored);
  }
  const std::string& Path() const { return fPath; }

 private:
  std::string fPath;
};

// Runs the browser with aArguments, in its own process group, and returns
// what it printed on standard output.
std::string RunBrowser(const std::string& aBrowser, const std::vector<std::string>& aArguments,
                       std::chrono::seconds aTimeout) {
  ProfileFolder profile;
  std::vector<std::string> args = {aBrowser,
                                   "--headless",
                                   "--no-sandbox",
                                   "--disable-gpu",
                                   "--disable-background-networking",
                                   "--disable-dev-shm-usage",
                                   "--disable-extensions",
                                   "--no-first-run",
                                   "--no-default-browser-check",
                                   "--no-proxy-server",
                                   "--hide-scrollbars",
                                   "--user-data-dir=" + profile.Path()};
  args.insert(args.end(), aArguments.begin(), aArguments.end());
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) throw HostError(std::string("pipe: ") + std::strerror(errno));
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, aBrowser.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  close(out[1]);
  if (spawned != 0) {
    close(out[0]);
    throw HostError("cannot start " + aBrowser + ": " + std::strerror(spawned));
  }

  std::string output;
  const auto deadline = std::chrono::steady_clock::now() + aTimeout;
  bool timedOut = false;
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      timedOut = true;
      break;
    }
    pollfd readable{out[0], POLLIN, 0};
    if (poll(&readable, 1, static_cast<int>(left.count())) <= 0) continue;
    char buffer[65536];
    const ssize_t n = read(out[0], buffer, sizeof buffer);
    if (n <= 0) break;
    output.append(buffer, static_cast<std::size_t>(n));
  }
  close(out[0]);
  if (timedOut) kill(-pid, SIGKILL);  // the browser's own process group
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (timedOut)
    throw HostError(aBrowser + " did not finish within " + std::to_string(aTimeout.count()) + " s");
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    throw HostError(aBrowser + " failed (status " + std::to_string(status) + ")");
  return output;
}

}  // namespace

std::string FindChromium() {
  if (const char* chosen = std::getenv("KORVANE_CHROMIUM")) return access(chosen, X_OK) == 0 ? chosen : "";
  for (const char* candidate : {"/usr/bin/chromium", "/usr/bin/chromium-browser", "/usr/bin/google-chrome"})
    if (access(candidate, X_OK) == 0) return candidate;
  return "";
}

std::string NoBrowserReason() {
  return "--screenshots needs Chromium (/usr/bin/chromium or $KORVANE_CHROMIUM)";
}

std::string DumpDom(const std::string& aBrowser, const std::string& aUrl, std::chrono::seconds aTimeout,
                    int aVirtualTimeMs) {
  std::vector<std::string> args = {"--dump-dom", aUrl};
  if (aVirtualTimeMs > 0)
    args.insert(args.begin(), "--virtual-time-budget=" + std::to_string(aVirtualTimeMs));
  return RunBrowser(aBrowser, args, aTimeout);
}

void Screenshot(const std::string& aBrowser, const std::string& aUrl, const std::string& aPngPath, int aWidth,
                int aHeight, std::chrono::seconds aTimeout) {
  std::error_code ignored;
  std::filesystem::remove(aPngPath, ignored);
  RunBrowser(aBrowser,
             {"--window-size=" + std::to_string(aWidth) + "," + std::to_string(aHeight),
              "--force-device-scale-factor=1", "--screenshot=" + aPngPath, aUrl},
             aTimeout);
  if (!std::filesystem::exists(aPngPath)) throw HostError(aBrowser + " wrote no screenshot to " + aPngPath);
}

}  // namespace korvane::host
