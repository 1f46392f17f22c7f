// UTF-8 (the library's own form of text) to and from UTF-16. Pure
// computation, no calls to the operating system: the tools and tests that
// load the library at run time compile these in too.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace korvane::platform {

// UTF-8 to UTF-16. Invalid UTF-8 sequences become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view aText);
// The same into aOut, which has room for the result (aOut null: only
// counts); the number of UTF-16 units.
size_t Utf8ToUtf16(std::string_view aText, char16_t* aOut);

// ASCII text to UTF-16 into aOut, which has room for aText.size() units;
// false, with aOut's units undefined, when a byte of aText is not ASCII.
bool AsciiToUtf16(std::string_view aText, char16_t* aOut);

// UTF-16 to UTF-8. Fails with "Invalid UTF-16 text: unpaired surrogate" when
// aText holds a lone surrogate.
std::string Utf16ToUtf8(std::u16string_view aText);
// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string Utf16ToUtf8Replacing(std::u16string_view aText);

// The offset of the first byte of aText that does not begin a well-formed
// UTF-8 sequence, or npos when all of aText is well-formed UTF-8.
size_t InvalidUtf8Offset(std::string_view aText);

// The number of UTF-16 code units aText takes.
size_t Utf16Length(std::string_view aText);

// The longest prefix of aText that takes at most aUnits UTF-16 code units
// (a character is never cut in half).
std::string Utf16Prefix(std::string_view aText, size_t aUnits);

}  // namespace korvane::platform
