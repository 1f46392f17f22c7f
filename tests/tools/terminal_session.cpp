#include "terminal_session.h"

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace korvane::tools_test {

TerminalSession::TerminalSession(const std::vector<std::string>& aArgs) {
  // Everything the child needs is made before fork: after it, only exec.
  std::vector<std::string> args = aArgs;
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  std::vector<std::string> environment;
  for (char** entry = environ; *entry; ++entry)
    if (std::strncmp(*entry, "TERM=", 5) != 0) environment.emplace_back(*entry);
  environment.emplace_back("TERM=dumb");
  std::vector<char*> envp;
  for (auto& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  winsize size{};
  size.ws_row = 24;
  size.ws_col = 80;
  fPid = forkpty(&fMaster, nullptr, nullptr, &size);
  if (fPid < 0) throw std::runtime_error(std::string("forkpty: ") + std::strerror(errno));
  if (fPid == 0) {
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
}

TerminalSession::~TerminalSession() {
  if (fPid > 0) {
    kill(fPid, SIGKILL);
    int status = 0;
    waitpid(fPid, &status, 0);
  }
  if (fMaster >= 0) close(fMaster);
}

void TerminalSession::Type(const std::string& aKeys) {
  std::size_t sent = 0;
  while (sent < aKeys.size()) {
    const ssize_t n = write(fMaster, aKeys.data() + sent, aKeys.size() - sent);
    if (n <= 0)
      throw std::runtime_error(std::string("cannot type into the terminal: ") + std::strerror(errno));
    sent += static_cast<std::size_t>(n);
  }
}

bool TerminalSession::ReadSome(std::chrono::milliseconds aLimit) {
  pollfd readable{fMaster, POLLIN, 0};
  if (poll(&readable, 1, static_cast<int>(aLimit.count())) <= 0) return true;  // nothing yet
  char buffer[4096];
  const ssize_t n = read(fMaster, buffer, sizeof buffer);
  if (n <= 0) return false;  // the program closed its terminal (EIO)
  fOutput.append(buffer, static_cast<std::size_t>(n));
  return true;
}

bool TerminalSession::WaitFor(const std::string& aText, std::chrono::milliseconds aTimeout) {
  const auto deadline = std::chrono::steady_clock::now() + aTimeout;
  for (;;) {
    if (const auto at = fOutput.find(aText, fSeen); at != std::string::npos) {
      fSeen = at + aText.size();
      return true;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    if (!ReadSome(std::min(left, std::chrono::milliseconds(100)))) return false;
  }
}

int TerminalSession::Wait(std::chrono::milliseconds aTimeout) {
  const auto deadline = std::chrono::steady_clock::now() + aTimeout;
  int status = 0;
  for (;;) {
    // Keep reading, so that the program never blocks on a full terminal.
    ReadSome(std::chrono::milliseconds(20));
    const pid_t ended = waitpid(fPid, &status, WNOHANG);
    if (ended == fPid) break;
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(fPid, SIGKILL);
      waitpid(fPid, &status, 0);
      fPid = -1;
      return -1;
    }
  }
  fPid = -1;
  while (ReadSome(std::chrono::milliseconds(0)) && fOutput.size() < (1u << 24)) {
    pollfd readable{fMaster, POLLIN, 0};
    if (poll(&readable, 1, 0) <= 0) break;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace korvane::tools_test
