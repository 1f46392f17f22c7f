// Text in the code pages of devices and files, to and from UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace korvane::platform {

// The system ANSI code page of this platform's stand-in: Windows-1252.
inline constexpr int kAnsiCodePage = 1252;

// UTF-8 text encoded in code page aCodePage, by the number Windows gives it
// (1252, 1253, 28592, 20866, 54936, 65001, 1200 ...). Characters the code page
// lacks become its "?". Fails with "Code page <n> is not supported" when the
// code page is unknown here.
std::string EncodeCodePage(std::string_view aText, int aCodePage);

// Bytes in code page aCodePage decoded to UTF-8; a byte sequence the code page
// does not define becomes U+FFFD (Windows-1252 defines all 256 bytes). Fails
// like EncodeCodePage when the code page is unknown here.
std::string DecodeCodePage(std::string_view aBytes, int aCodePage);

}  // namespace korvane::platform
