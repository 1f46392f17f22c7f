#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>

#include "platform/error.h"
#include "platform/filesystem.h"
#include "platform/process.h"

namespace korvane::platform {

std::string ExecutablePath() {
  std::string buffer(4096, '\0');
  ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
  if (n < 0) ThrowOsError(errno, "Cannot read the executable path: ");
  buffer.resize(static_cast<size_t>(n));
  return buffer;
}

std::string ExecutableFolder() {
  const std::string path = ExecutablePath();
  return path.substr(0, path.size() - ExtractFileName(path).size());
}

std::string ExecutableBaseName() { return ChangeFileExt(ExtractFileName(ExecutablePath()), ""); }

std::vector<std::string> CommandLineParams() {
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> params;
  std::string current;
  for (char c : all) {
    if (c == '\0') {
      params.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) params.push_back(current);
  return params;
}

std::string CurrentDirectory() {
  std::string buffer(4096, '\0');
  if (!::getcwd(buffer.data(), buffer.size())) ThrowOsError(errno, "Cannot read the current directory: ");
  buffer.resize(std::char_traits<char>::length(buffer.c_str()));
  if (buffer.empty() || buffer.back() != kPathDelim) buffer += kPathDelim;
  return buffer;
}

}  // namespace korvane::platform
