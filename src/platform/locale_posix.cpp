#include <langinfo.h>
#include <locale.h>

#include <cstdlib>

#include "platform/locale.h"

namespace korvane::platform {
namespace {

const char* LocaleNameFromEnvironment() {
  for (const char* var : {"LC_ALL", "LC_TIME", "LANG"}) {
    const char* value = std::getenv(var);
    if (value && *value) return value;
  }
  return "C";
}

// Turns a strftime date format (as nl_langinfo(D_FMT) gives it) into our
// pattern: %d -> dd, %m -> mm, %y/%Y -> yyyy, other characters kept.
std::string PatternFromStrftime(const std::string& aFormat) {
  std::string pattern;
  for (size_t i = 0; i < aFormat.size(); ++i) {
    if (aFormat[i] != '%' || i + 1 >= aFormat.size()) {
      pattern += aFormat[i];
      continue;
    }
    char c = aFormat[++i];
    if (c == 'E' || c == 'O' || c == '-' || c == '_' || c == '0') {
      if (i + 1 >= aFormat.size()) break;
      c = aFormat[++i];
    }
    switch (c) {
      case 'd':
      case 'e': pattern += "dd"; break;
      case 'm': pattern += "mm"; break;
      case 'y':
      case 'Y':
      case 'C': pattern += "yyyy"; break;
      case 'F': pattern += "yyyy-mm-dd"; break;
      case 'D': pattern += "mm/dd/yyyy"; break;
      default: break;
    }
  }
  return pattern;
}

}  // namespace

std::string ShortDatePattern() {
  const std::string name = LocaleNameFromEnvironment();
  if (name == "C" || name == "POSIX" || name.rfind("C.", 0) == 0) return "dd/mm/yyyy";
  locale_t loc = ::newlocale(LC_TIME_MASK, name.c_str(), static_cast<locale_t>(0));
  if (!loc) return "dd/mm/yyyy";
  std::string pattern = PatternFromStrftime(::nl_langinfo_l(D_FMT, loc));
  ::freelocale(loc);
  if (pattern.find("dd") == std::string::npos || pattern.find("mm") == std::string::npos ||
      pattern.find("yyyy") == std::string::npos)
    return "dd/mm/yyyy";
  return pattern;
}

}  // namespace korvane::platform
