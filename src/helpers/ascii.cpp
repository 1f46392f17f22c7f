#include "helpers/ascii.h"

namespace korvane {

std::string AsciiLower(std::string_view aText) {
  std::string out(aText);
  for (char& c : out) c = AsciiLowerChar(c);
  return out;
}

std::string AsciiUpper(std::string_view aText) {
  std::string out(aText);
  for (char& c : out) c = AsciiUpperChar(c);
  return out;
}

}  // namespace korvane
