// Small helpers shared by the test programs.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/error.h"

namespace korvane::testing {

// A fresh folder under the system's temporary folder, removed with its
// contents at the end of the scope.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "korvane-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    fPath = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(fPath, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return fPath; }
  std::string operator/(const std::string& aName) const { return fPath + "/" + aName; }

 private:
  std::string fPath;
};

inline std::string ReadFile(const std::string& aPath) {
  std::ifstream in(aPath, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::string& aPath, const std::string& aData) {
  std::ofstream out(aPath, std::ios::binary | std::ios::trunc);
  out << aData;
}

// The lines of a CR LF text, without their line ends.
inline std::vector<std::string> SplitCrLf(const std::string& aText) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t at = aText.find("\r\n"); at != std::string::npos; at = aText.find("\r\n", start)) {
    lines.push_back(aText.substr(start, at - start));
    start = at + 2;
  }
  if (start < aText.size()) lines.push_back(aText.substr(start));
  return lines;
}

// Polls aCondition every 10 ms until it holds or aTimeout passes.
inline bool WaitFor(const std::function<bool()>& aCondition,
                    std::chrono::milliseconds aTimeout = std::chrono::seconds(10)) {
  const auto deadline = std::chrono::steady_clock::now() + aTimeout;
  while (!aCondition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// The message of the korvane::Error that aCall raises, or "<no error>".
template <class F>
std::string ErrorOf(F&& aCall) {
  try {
    aCall();
  } catch (const korvane::Error& e) {
    return e.what();
  }
  return "<no error>";
}

// Sets an environment variable for the scope and restores it after.
class ScopedEnv {
 public:
  ScopedEnv(const char* aName, const char* aValue) : fName(aName) {
    if (const char* old = ::getenv(aName)) fOld = old, fHadOld = true;
    if (aValue)
      ::setenv(aName, aValue, 1);
    else
      ::unsetenv(aName);
  }
  ~ScopedEnv() {
    if (fHadOld)
      ::setenv(fName.c_str(), fOld.c_str(), 1);
    else
      ::unsetenv(fName.c_str());
  }

 private:
  std::string fName;
  std::string fOld;
  bool fHadOld = false;
};

}  // namespace korvane::testing
