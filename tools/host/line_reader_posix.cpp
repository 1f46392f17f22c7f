// The shell's command lines through libedit's readline interface: history
// and Tab completion of the commands, the words of "receipt" and, after
// "send", file names.
#include <editline/readline.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <vector>

#include "host_session.h"
#include "line_reader.h"

namespace korvane::host {

namespace {

// Completion in the shell: the commands first, then the words each takes
// (file names after "send").
char* CompleteFrom(const std::vector<std::string>& aWords, const char* aText, int aState) {
  static std::size_t next = 0;
  if (aState == 0) next = 0;
  const std::size_t length = std::strlen(aText);
  while (next < aWords.size()) {
    const std::string& word = aWords[next++];
    if (word.compare(0, length, aText) == 0) return strdup(word.c_str());
  }
  return nullptr;
}

char* CompleteCommand(const char* aText, int aState) {
  return CompleteFrom(HostSession::Commands(), aText, aState);
}

char* CompleteReceipt(const char* aText, int aState) {
  static const std::vector<std::string> words = {"add", "currency", "clear"};
  return CompleteFrom(words, aText, aState);
}

char** Complete(const char* aText, int aStart, int /*aEnd*/) {
  const std::string before(rl_line_buffer, static_cast<std::size_t>(aStart));
  const auto words = SplitCommandLine(before + "x");  // the word being completed counts too
  rl_attempted_completion_over = 1;
  if (words.size() <= 1) return rl_completion_matches(aText, CompleteCommand);
  if (words[0] == "receipt" && words.size() == 2) return rl_completion_matches(aText, CompleteReceipt);
  if (words[0] == "send" && words.size() == 2)
    return rl_completion_matches(aText, rl_filename_completion_function);
  return nullptr;
}

}  // namespace

LineReader::LineReader() : fTerminal(isatty(STDIN_FILENO)) {
  if (!fTerminal) return;
  rl_readline_name = "korvane-host";
  rl_attempted_completion_function = Complete;
  rl_completer_quote_characters = "\"'";
  using_history();
}

std::optional<std::string> LineReader::Read(const char* aPrompt) {
  std::string line;
  if (!fTerminal) {
    if (!std::getline(std::cin, line)) return std::nullopt;
    return line;
  }
  char* read = readline(aPrompt);
  if (!read) {
    std::printf("\n");
    return std::nullopt;
  }
  line = read;
  std::free(read);
  if (line.find_first_not_of(" \t") != std::string::npos) add_history(line.c_str());
  return line;
}

}  // namespace korvane::host
