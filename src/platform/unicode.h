// Text conversions: UTF-8 (the library's own form) to and from UTF-16, and to
// and from the code pages of devices and files.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace korvane::platform {

// The system ANSI code page of this platform's stand-in: Windows-1252.
inline constexpr int kAnsiCodePage = 1252;

// UTF-8 to UTF-16. Invalid UTF-8 sequences become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view aText);
// The same into aOut, which has room for the result (aOut null: only
// counts); the number of UTF-16 units.
size_t Utf8ToUtf16(std::string_view aText, char16_t* aOut);

// UTF-16 to UTF-8. Fails with "Invalid UTF-16 text: unpaired surrogate" when
// aText holds a lone surrogate.
std::string Utf16ToUtf8(std::u16string_view aText);

// The offset of the first byte of aText that does not begin a well-formed
// UTF-8 sequence, or npos when all of aText is well-formed UTF-8.
size_t InvalidUtf8Offset(std::string_view aText);

// The number of UTF-16 code units aText takes.
size_t Utf16Length(std::string_view aText);

// The longest prefix of aText that takes at most aUnits UTF-16 code units
// (a character is never cut in half).
std::string Utf16Prefix(std::string_view aText, size_t aUnits);

// UTF-8 text encoded in code page aCodePage (Windows numbering: 1252, 1253,
// 20127, 65001 ...). Characters the code page lacks become "?". Fails when
// the code page is unknown here.
std::string EncodeCodePage(std::string_view aText, int aCodePage);

// Bytes in code page aCodePage decoded to UTF-8. Fails when the code page is
// unknown here.
std::string DecodeCodePage(std::string_view aBytes, int aCodePage);

}  // namespace korvane::platform
