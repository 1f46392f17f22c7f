// The shell's command lines. On a terminal: a prompt with line editing,
// history and Tab completion of the shell's commands (libedit, where the
// system has it; the Windows console's own editing and history there).
// From a pipe: one command a line, without prompt. One file per system:
// line_reader_posix.cpp and line_reader_win32.cpp.
#pragma once

#include <optional>
#include <string>

namespace korvane::host {

class LineReader {
 public:
  LineReader();
  // The next line without its end, nothing at the end of the input.
  std::optional<std::string> Read(const char* aPrompt);

 private:
  bool fTerminal = false;
};

}  // namespace korvane::host
