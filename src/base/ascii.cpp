#include "base/ascii.h"

namespace korvane {
namespace {

constexpr char LowerChar(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
constexpr char UpperChar(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

std::string AsciiLower(std::string_view aText) {
  std::string out(aText);
  for (char& c : out) c = LowerChar(c);
  return out;
}

std::string AsciiUpper(std::string_view aText) {
  std::string out(aText);
  for (char& c : out) c = UpperChar(c);
  return out;
}

bool AsciiEqualsIgnoreCase(std::string_view aLeft, std::string_view aRight) {
  if (aLeft.size() != aRight.size()) return false;
  for (size_t i = 0; i < aLeft.size(); ++i)
    if (LowerChar(aLeft[i]) != LowerChar(aRight[i])) return false;
  return true;
}

}  // namespace korvane
