// Shared by the transport test programs: temporary folders and the device log
// read back line by line.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace korvane::testing {

// A fresh folder under the system's temporary folder, removed with its
// content at the end.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "korvane-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    fPath = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(fPath, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return fPath; }
  std::string File(const std::string& aName) const { return fPath + "/" + aName; }

 private:
  std::string fPath;
};

// One log entry: its level and its message without the time stamp.
struct LogLine {
  bool error = false;
  std::string message;
  bool operator==(const LogLine&) const = default;
};

inline LogLine Info(const std::string& aMessage) { return {false, aMessage}; }
inline LogLine Err(const std::string& aMessage) { return {true, aMessage}; }

inline std::ostream& operator<<(std::ostream& aOut, const LogLine& aLine) {
  return aOut << (aLine.error ? "ERROR " : "info  ") << '"' << aLine.message << '"';
}

inline const char kStart[] = "*************************** START ***************************";
inline const char kStop[] = "*************************** STOP ****************************";

// "yyyy-mm-dd hh:mm:ss:zzz" at aText[aAt].
inline bool IsTimeStamp(const std::string& aText, size_t aAt) {
  static const char kShape[] = "dddd-dd-dd dd:dd:dd:ddd";
  if (aText.size() < aAt + 23) return false;
  for (size_t i = 0; i < 23; ++i) {
    const char c = aText[aAt + i];
    if (kShape[i] == 'd' ? (c < '0' || c > '9') : c != kShape[i]) return false;
  }
  return true;
}

// The entries of a log file. A message may hold CR LF itself: a line break
// counts as an entry's end only when a time stamp follows it.
inline std::vector<LogLine> ReadLog(const std::string& aPath) {
  std::ifstream in(aPath, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  const std::string text = buffer.str();
  std::vector<LogLine> lines;
  size_t at = 0;
  while (at < text.size() && IsTimeStamp(text, at)) {
    size_t end = at + 23;
    while (true) {
      end = text.find("\r\n", end);
      if (end == std::string::npos || end + 2 == text.size() || IsTimeStamp(text, end + 2)) break;
      end += 2;
    }
    if (end == std::string::npos) end = text.size();
    std::string entry = text.substr(at + 23, end - at - 23);
    LogLine line;
    if (entry.rfind(" - ERROR - ", 0) == 0) {
      line.error = true;
      line.message = entry.substr(11);
    } else if (entry.rfind(" - ", 0) == 0) {
      line.message = entry.substr(3);
    } else {
      line.message = entry;
    }
    lines.push_back(line);
    at = end + 2;
  }
  return lines;
}

// The lines after the connection banner (the five banner lines themselves
// left out), without the STOP line.
inline std::vector<LogLine> AfterBanner(std::vector<LogLine> aLog) {
  static const std::string kBanner(61, '*');
  size_t from = 0;
  for (size_t i = 0; i < aLog.size(); ++i)
    if (aLog[i].message == kBanner) from = i + 5;
  std::vector<LogLine> result(aLog.begin() + static_cast<long>(std::min(from, aLog.size())), aLog.end());
  if (!result.empty() && result.back() == Info(kStop)) result.pop_back();
  return result;
}

}  // namespace korvane::testing
