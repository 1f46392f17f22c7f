// Letter case of ASCII text, whatever the locale: only 'A'-'Z' and 'a'-'z'
// change, every other byte (UTF-8 sequences included) stays as it is.
#pragma once

#include <string>
#include <string_view>

namespace korvane {

// aText with its ASCII letters in lower case.
std::string AsciiLower(std::string_view aText);

// aText with its ASCII letters in upper case.
std::string AsciiUpper(std::string_view aText);

// True when aLeft and aRight are the same text but for the case of ASCII
// letters.
bool AsciiEqualsIgnoreCase(std::string_view aLeft, std::string_view aRight);

}  // namespace korvane
