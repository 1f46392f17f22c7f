// The path syntax every platform shares: "/" and "\" both separate folders,
// so that names written for either are split alike; the characters invalid
// in paths are those of Windows.
#include "platform/error.h"
#include "platform/filesystem.h"
#include "platform/process.h"

namespace korvane::platform {

bool IsPathDelimiter(char aChar) { return aChar == '/' || aChar == '\\'; }

std::string ExtractFileName(std::string_view aPath) {
  size_t i = aPath.size();
  while (i > 0 && !IsPathDelimiter(aPath[i - 1])) --i;
  return std::string(aPath.substr(i));
}

std::string ChangeFileExt(std::string_view aPath, std::string_view aExt) {
  const size_t nameStart = aPath.size() - ExtractFileName(aPath).size();
  const size_t dot = aPath.rfind('.');
  std::string result(aPath);
  if (dot != std::string_view::npos && dot >= nameStart) result.resize(dot);
  result += aExt;
  return result;
}

void CheckPathChars(std::string_view aPath) {
  for (unsigned char c : aPath) {
    if (c < 0x20 || c == '"' || c == '<' || c == '>' || c == '|') throw Error("Invalid characters in path");
  }
}

namespace {

// aDirectory without the host program's folder it begins with, if it does:
// the folder the host runs from is what the system made it, a legal path
// here whatever characters it holds.
std::string_view BelowHostFolder(std::string_view aDirectory) {
  std::string host;
  try {
    host = ExecutableFolder();
  } catch (const Error&) {
    return aDirectory;
  }
  if (aDirectory.substr(0, host.size()) == host) return aDirectory.substr(host.size());
  // The folder itself, without its closing separator.
  if (host.size() > 1 && aDirectory == std::string_view(host).substr(0, host.size() - 1)) return {};
  return aDirectory;
}

}  // namespace

std::string CombinePath(std::string_view aDirectory, std::string_view aName) {
  CheckPathChars(BelowHostFolder(aDirectory));
  CheckPathChars(aName);
  if (aDirectory.empty()) return std::string(aName);
  std::string result(aDirectory);
  if (!IsPathDelimiter(result.back())) result += kPathDelim;
  result += aName;
  return result;
}

}  // namespace korvane::platform
