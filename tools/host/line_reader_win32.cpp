// The shell's command lines on Windows: the console's own line editing and
// history (arrow keys, F7) in its cooked input mode; no Tab completion.
#include <io.h>

#include <cstdio>
#include <iostream>

#include "line_reader.h"

namespace korvane::host {

LineReader::LineReader() : fTerminal(_isatty(_fileno(stdin)) != 0) {}

std::optional<std::string> LineReader::Read(const char* aPrompt) {
  if (fTerminal) {
    std::fputs(aPrompt, stdout);
    std::fflush(stdout);
  }
  std::string line;
  if (!std::getline(std::cin, line)) {
    if (fTerminal) std::printf("\n");
    return std::nullopt;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

}  // namespace korvane::host
