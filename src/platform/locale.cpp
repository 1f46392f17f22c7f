// The short date written in the pattern of the regional settings; the
// pattern itself comes from locale_<platform>.cpp.
#include "platform/locale.h"

#include <cstdio>

namespace korvane::platform {

std::string FormatShortDate(int aYear, int aMonth, int aDay) {
  const std::string pattern = ShortDatePattern();
  std::string out;
  char buffer[16];
  for (size_t i = 0; i < pattern.size();) {
    if (pattern.compare(i, 4, "yyyy") == 0) {
      std::snprintf(buffer, sizeof buffer, "%04d", aYear);
      out += buffer;
      i += 4;
    } else if (pattern.compare(i, 2, "mm") == 0) {
      std::snprintf(buffer, sizeof buffer, "%02d", aMonth);
      out += buffer;
      i += 2;
    } else if (pattern.compare(i, 2, "dd") == 0) {
      std::snprintf(buffer, sizeof buffer, "%02d", aDay);
      out += buffer;
      i += 2;
    } else {
      out += pattern[i++];
    }
  }
  return out;
}

}  // namespace korvane::platform
