// Windows only: UTF-8 text to and from the system's wide (UTF-16) strings.
#pragma once

#include <string>
#include <string_view>

#include "helpers/utf.h"

namespace korvane::platform {

inline std::wstring Widen(std::string_view aText) {
  const std::u16string units = Utf8ToUtf16(aText);
  return std::wstring(units.begin(), units.end());
}

inline std::string Narrow(std::wstring_view aText) {
  return Utf16ToUtf8Replacing(
      std::u16string_view(reinterpret_cast<const char16_t*>(aText.data()), aText.size()));
}

}  // namespace korvane::platform
