

#include <windows.h>

#include "platform/locale.h"

namespace korvane::platform {
namespace {

// Turns a Windows date picture ("M/d/yyyy", "dd.MM.yy", "yyyy-MM-dd") into
// our pattern: d/dd -> dd, M/MM -> mm, y... -> yyyy; day and month names
// (ddd, MMM and longer) and the era (g) are left out, quoted text is kept.
std::string PatternFromPicture(const std::wstring& aPicture) {
  std::string pattern;
  for (size_t i = 0; i < aPicture.size();) {
    const wchar_t c = aPicture[i];
    size_t run = 1;
    while (i + run < aPicture.size() && aPicture[i + run] == c) ++run;
    if (c == L'\'') {
      const size_t end = aPicture.find(L'\'', i + 1);
      for (size_t k = i + 1; k < aPicture.size() && k < end; ++k)
        if (aPicture[k] < 0x80) pattern += static_cast<char>(aPicture[k]);
      i = end == std::wstring::npos ? aPicture.size() : end + 1;
      continue;
    }
    if (c == L'd' && run <= 2)
      pattern += "dd";
    else if (c == L'M' && run <= 2)
      pattern += "mm";
    else if (c == L'y')
      pattern += "yyyy";
    else if (c != L'd' && c != L'M' && c != L'g' && c < 0x80)
      pattern.append(run, static_cast<char>(c));
    i += run;
  }
  return pattern;
}

}  // namespace

std::string ShortDatePattern() {
  wchar_t picture[128];
  if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SSHORTDATE, picture, 128) == 0) return "dd/mm/yyyy";
  const std::string pattern = PatternFromPicture(picture);
  if (pattern.find("dd") == std::string::npos || pattern.find("mm") == std::string::npos ||
      pattern.find("yyyy") == std::string::npos)
    return "dd/mm/yyyy";
  return pattern;
}

}  // namespace korvane::platform
