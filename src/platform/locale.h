// The regional settings the library reads: the short date form.
#pragma once

#include <string>

namespace korvane::platform {

// The short date pattern of the regional settings, made of the tokens "dd",
// "mm" and "yyyy" and the separators between them, for example "dd/mm/yyyy".
// Years always have four digits. On POSIX systems the pattern comes from the
// locale that LC_ALL, LC_TIME or LANG names (the first one set); the C/POSIX
// locale, or one that is not installed, gives "dd/mm/yyyy".
std::string ShortDatePattern();

// aYear/aMonth/aDay written in ShortDatePattern().
std::string FormatShortDate(int aYear, int aMonth, int aDay);

}  // namespace korvane::platform
