// POSIX only: Windows-1252 in full. iconv's CP1252 leaves the five bytes
// 0x81, 0x8D, 0x8F, 0x90 and 0x9D undefined; Windows maps them to the control
// characters of the same code, so that every byte survives a round trip.
#pragma once

#include <string>
#include <string_view>

namespace korvane::platform {

// UTF-8 text in Windows-1252; a character it lacks (and an invalid UTF-8
// sequence) becomes "?".
std::string EncodeWindows1252(std::string_view aText);

// Windows-1252 bytes as UTF-8; every byte has its character.
std::string DecodeWindows1252(std::string_view aBytes);

}  // namespace korvane::platform
