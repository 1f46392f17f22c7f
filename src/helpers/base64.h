// Base64 (RFC 4648): the standard alphabet, "=" padding, no line breaks.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace korvane {

// The number of characters of the Base64 text of aBytes bytes.
constexpr size_t Base64Length(size_t aBytes) { return 4 * ((aBytes + 2) / 3); }

// Writes the Base64 text of aBytes to aOut, which has room for
// Base64Length(aBytes.size()) characters (no terminating zero is written);
// returns the end of the text written.
char* Base64Encode(std::string_view aBytes, char* aOut);

// The Base64 text of aBytes.
std::string Base64Encode(std::string_view aBytes);

// Writes the Base64 text of aBytes to aOut with every "/" written as "\/"
// (the form JSON text carries it in here); aOut has room for twice
// Base64Length(aBytes.size()) characters. Returns the end of the text.
char* Base64EncodeEscapingSlashes(std::string_view aBytes, char* aOut);

// The bytes of Base64 text, nothing when it is not Base64 text. Either
// alphabet is read ("+/" or "-_"); padding is optional; blanks, tabs and line
// breaks are skipped. Refused: any other character, data after the padding,
// and a last group of a single character.
std::optional<std::string> Base64Decode(std::string_view aText);

}  // namespace korvane
