// Code pages through the system's converters; UTF-16 (1200, 1201) and
// UTF-32 (12000, 12001), which they do not take as multi-byte code pages,
// by the library's own.
#include <windows.h>

#include <limits>

#include "platform/code_page.h"
#include "platform/error.h"
#include "helpers/utf.h"
#include "platform/wide_win32.h"

namespace korvane::platform {
namespace {

[[noreturn]] void NotSupported(int aCodePage) {
  throw Error("Code page " + std::to_string(aCodePage) + " is not supported");
}

void CheckCodePage(int aCodePage) {
  if (aCodePage <= 0 || aCodePage > 65535 || !IsValidCodePage(static_cast<UINT>(aCodePage)))
    NotSupported(aCodePage);
}

int Size(size_t aCount) {
  if (aCount > static_cast<size_t>(std::numeric_limits<int>::max())) throw Error("Text too long to convert");
  return static_cast<int>(aCount);
}

// UTF-8 to UTF-16 with "?" for each byte that begins no well-formed
// sequence, as for every other code page.
std::u16string Utf16OfValid(std::string_view aText) {
  std::string valid;
  for (size_t at; (at = InvalidUtf8Offset(aText)) != std::string_view::npos; aText.remove_prefix(at + 1))
    valid.append(aText.substr(0, at)).push_back('?');
  valid.append(aText);
  return Utf8ToUtf16(valid);
}

std::string EncodeUtf16(std::string_view aText, bool aBigEndian) {
  const std::u16string units = Utf16OfValid(aText);
  std::string bytes;
  bytes.reserve(units.size() * 2);
  for (char16_t unit : units) {
    const char low = static_cast<char>(unit & 0xFF), high = static_cast<char>(unit >> 8);
    bytes += aBigEndian ? high : low;
    bytes += aBigEndian ? low : high;
  }
  return bytes;
}

std::string DecodeUtf16(std::string_view aBytes, bool aBigEndian) {
  std::u16string units;
  units.reserve(aBytes.size() / 2);
  for (size_t i = 0; i + 1 < aBytes.size(); i += 2) {
    const auto first = static_cast<unsigned char>(aBytes[i]),
               second = static_cast<unsigned char>(aBytes[i + 1]);
    units += static_cast<char16_t>(aBigEndian ? (first << 8) | second : (second << 8) | first);
  }
  std::string text = Utf16ToUtf8Replacing(units);
  if (aBytes.size() % 2 != 0) text += "\xEF\xBF\xBD";  // half a unit at the end
  return text;
}

std::string EncodeUtf32(std::string_view aText, bool aBigEndian) {
  const std::u16string units = Utf16OfValid(aText);
  std::string bytes;
  bytes.reserve(units.size() * 4);
  for (size_t i = 0; i < units.size(); ++i) {
    char32_t point = units[i];
    if (point >= 0xD800 && point < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] < 0xE000) {
      point = 0x10000 + ((point - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    }
    for (int b = 0; b < 4; ++b) {
      const int shift = aBigEndian ? 8 * (3 - b) : 8 * b;
      bytes += static_cast<char>((point >> shift) & 0xFF);
    }
  }
  return bytes;
}

std::string DecodeUtf32(std::string_view aBytes, bool aBigEndian) {
  std::u16string units;
  units.reserve(aBytes.size() / 4);
  for (size_t i = 0; i + 3 < aBytes.size(); i += 4) {
    char32_t point = 0;
    for (int b = 0; b < 4; ++b) {
      const int shift = aBigEndian ? 8 * (3 - b) : 8 * b;
      point |= static_cast<char32_t>(static_cast<unsigned char>(aBytes[i + static_cast<size_t>(b)])) << shift;
    }
    if (point > 0x10FFFF || (point >= 0xD800 && point < 0xE000)) point = 0xFFFD;
    if (point >= 0x10000) {
      units += static_cast<char16_t>(0xD800 + ((point - 0x10000) >> 10));
      units += static_cast<char16_t>(0xDC00 + ((point - 0x10000) & 0x3FF));
    } else {
      units += static_cast<char16_t>(point);
    }
  }
  std::string text = Utf16ToUtf8(units);
  if (aBytes.size() % 4 != 0) text += "\xEF\xBF\xBD";  // part of a unit at the end
  return text;
}

}  // namespace

std::string EncodeCodePage(std::string_view aText, int aCodePage) {
  if (aCodePage == 65001) return std::string(aText);
  if (aCodePage == 1200 || aCodePage == 1201) return EncodeUtf16(aText, aCodePage == 1201);
  if (aCodePage == 12000 || aCodePage == 12001) return EncodeUtf32(aText, aCodePage == 12001);
  CheckCodePage(aCodePage);
  const std::wstring wide = Widen(aText);
  if (wide.empty()) return std::string();
  const UINT cp = static_cast<UINT>(aCodePage);
  std::wstring text;
  // A character beyond the first plane is one "?" where the code page has
  // none, not one for each half of its surrogate pair.
  if (cp == 54936 || cp == 65000) {
    text = wide;
  } else {
    for (size_t i = 0; i < wide.size(); ++i) {
      const bool pair = wide[i] >= 0xD800 && wide[i] < 0xDC00 && i + 1 < wide.size() &&
                        wide[i + 1] >= 0xDC00 && wide[i + 1] < 0xE000;
      text += pair ? L'?' : wide[i];
      if (pair) ++i;
    }
  }
  // Characters the code page lacks become its own "?" (its default
  // character: 0x6F in EBCDIC), never a look-alike (no "e" for an e with an
  // accent); some code pages (UTF-7, the ISO-2022 ones) do not take that
  // flag.
  DWORD flags = WC_NO_BEST_FIT_CHARS;
  int n = WideCharToMultiByte(cp, flags, text.data(), Size(text.size()), nullptr, 0, nullptr, nullptr);
  if (n == 0 && (GetLastError() == ERROR_INVALID_FLAGS || GetLastError() == ERROR_INVALID_PARAMETER)) {
    flags = 0;
    n = WideCharToMultiByte(cp, flags, text.data(), Size(text.size()), nullptr, 0, nullptr, nullptr);
  }
  if (n == 0) ThrowOsError(static_cast<int>(GetLastError()));
  std::string bytes(static_cast<size_t>(n), '\0');
  n = WideCharToMultiByte(cp, flags, text.data(), Size(text.size()), bytes.data(), n, nullptr, nullptr);
  if (n == 0) ThrowOsError(static_cast<int>(GetLastError()));
  bytes.resize(static_cast<size_t>(n));
  return bytes;
}

std::string DecodeCodePage(std::string_view aBytes, int aCodePage) {
  if (aCodePage == 65001) return Utf16ToUtf8(Utf8ToUtf16(aBytes));
  if (aCodePage == 1200 || aCodePage == 1201) return DecodeUtf16(aBytes, aCodePage == 1201);
  if (aCodePage == 12000 || aCodePage == 12001) return DecodeUtf32(aBytes, aCodePage == 12001);
  CheckCodePage(aCodePage);
  if (aBytes.empty()) return std::string();
  const UINT cp = static_cast<UINT>(aCodePage);
  // Undefined byte sequences become U+FFFD (the system's default mapping).
  int n = MultiByteToWideChar(cp, 0, aBytes.data(), Size(aBytes.size()), nullptr, 0);
  if (n == 0) ThrowOsError(static_cast<int>(GetLastError()));
  std::wstring wide(static_cast<size_t>(n), L'\0');
  n = MultiByteToWideChar(cp, 0, aBytes.data(), Size(aBytes.size()), wide.data(), n);
  if (n == 0) ThrowOsError(static_cast<int>(GetLastError()));
  wide.resize(static_cast<size_t>(n));
  return Narrow(wide);
}

}  // namespace korvane::platform
