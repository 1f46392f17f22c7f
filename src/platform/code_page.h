// Text in the code pages of devices and files, to and from UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace korvane::platform {

// The system ANSI code page of this platform's stand-in: Windows-1252.
inline constexpr int kAnsiCodePage = 1252;

// UTF-8 text encoded in code page aCodePage (Windows numbering: 1252, 1253,
// 20127, 65001 ...). Characters the code page lacks become "?". Fails when
// the code page is unknown here.
std::string EncodeCodePage(std::string_view aText, int aCodePage);

// Bytes in code page aCodePage decoded to UTF-8. Fails when the code page is
// unknown here.
std::string DecodeCodePage(std::string_view aBytes, int aCodePage);

}  // namespace korvane::platform
