// Letter case of ASCII text, whatever the locale: only 'A'-'Z' and 'a'-'z'
// change, every other byte (UTF-8 sequences included) stays as it is.
#pragma once

#include <string>
#include <string_view>

namespace korvane {

// aChar in lower case when it is an ASCII letter; any other byte as it is.
constexpr char AsciiLowerChar(char aChar) {
  return aChar >= 'A' && aChar <= 'Z' ? static_cast<char>(aChar - 'A' + 'a') : aChar;
}

// aChar in upper case when it is an ASCII letter; any other byte as it is.
constexpr char AsciiUpperChar(char aChar) {
  return aChar >= 'a' && aChar <= 'z' ? static_cast<char>(aChar - 'a' + 'A') : aChar;
}

// aText with its ASCII letters in lower case.
std::string AsciiLower(std::string_view aText);

// aText with its ASCII letters in upper case.
std::string AsciiUpper(std::string_view aText);

// True when aLeft and aRight are the same text but for the case of ASCII
// letters. (Inline: the parameter lists compare names with it in their
// look-ups.)
inline bool AsciiEqualsIgnoreCase(std::string_view aLeft, std::string_view aRight) {
  if (aLeft.size() != aRight.size()) return false;
  for (size_t i = 0; i < aLeft.size(); ++i)
    if (AsciiLowerChar(aLeft[i]) != AsciiLowerChar(aRight[i])) return false;
  return true;
}

}  // namespace korvane
