// UTF-8 <-> UTF-16 for the strings that cross the library's interface.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace korvane::host {

// Nothing when aText is not valid UTF-8.
std::optional<std::u16string> Utf8ToUtf16(std::string_view aText);
// Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view aText);

}  // namespace korvane::host
