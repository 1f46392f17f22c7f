// A program run with a pseudo-terminal as its standard input, output and
// error, as a person at a terminal runs it: what it writes is read back, keys
// (Tab, Ctrl-P, Return) are typed into it. Every wait is bounded.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace korvane::tools_test {

class TerminalSession {
 public:
  // Starts aArgs[0] with the other arguments on a new 80 x 24 terminal,
  // TERM=dumb. Throws std::runtime_error when it cannot.
  explicit TerminalSession(const std::vector<std::string>& aArgs);
  ~TerminalSession();  // a program still running is killed
  TerminalSession(const TerminalSession&) = delete;
  TerminalSession& operator=(const TerminalSession&) = delete;

  void Type(const std::string& aKeys);
  // Reads until aText appears in the output after the last text waited
  // for; false after aTimeout or when the program ends first.
  bool WaitFor(const std::string& aText, std::chrono::milliseconds aTimeout = std::chrono::seconds(20));
  // All the program wrote.
  const std::string& Output() const { return fOutput; }
  // The exit status once it has ended, -1 when it is still running after
  // aTimeout (then it is killed) or did not exit normally.
  int Wait(std::chrono::milliseconds aTimeout = std::chrono::seconds(20));

 private:
  bool ReadSome(std::chrono::milliseconds aLimit);

  pid_t fPid = -1;
  int fMaster = -1;
  std::string fOutput;
  std::size_t fSeen = 0;
};

}  // namespace korvane::tools_test
