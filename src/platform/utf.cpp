#include "platform/utf.h"

#include "platform/error.h"

namespace korvane::platform {
namespace {

// The length of the well-formed UTF-8 sequence at aText[i] (1 to 4) with its
// code point in aCp, or 0 when the bytes there are not one.
size_t DecodeUtf8At(std::string_view aText, size_t i, char32_t& aCp) {
  const unsigned char c0 = static_cast<unsigned char>(aText[i]);
  if (c0 < 0x80) {
    aCp = c0;
    return 1;
  }
  size_t len;
  char32_t cp;
  if ((c0 & 0xE0) == 0xC0)
    len = 2, cp = c0 & 0x1F;
  else if ((c0 & 0xF0) == 0xE0)
    len = 3, cp = c0 & 0x0F;
  else if ((c0 & 0xF8) == 0xF0)
    len = 4, cp = c0 & 0x07;
  else
    return 0;
  if (i + len > aText.size()) return 0;
  for (size_t k = 1; k < len; ++k) {
    const unsigned char c = static_cast<unsigned char>(aText[i + k]);
    if ((c & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (c & 0x3F);
  }
  static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  aCp = cp;
  return len;
}

// Decodes one code point from UTF-8 at aText[i]; advances i. Invalid input
// yields U+FFFD and advances one byte.
char32_t NextCodePoint(std::string_view aText, size_t& i) {
  char32_t cp;
  const size_t len = DecodeUtf8At(aText, i, cp);
  i += len ? len : 1;
  return len ? cp : 0xFFFD;
}

}  // namespace

size_t InvalidUtf8Offset(std::string_view aText) {
  char32_t cp;
  for (size_t i = 0; i < aText.size();) {
    const size_t len = DecodeUtf8At(aText, i, cp);
    if (len == 0) return i;
    i += len;
  }
  return std::string_view::npos;
}

namespace {

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace

size_t Utf8ToUtf16(std::string_view aText, char16_t* aOut) {
  size_t n = 0;
  for (size_t i = 0; i < aText.size();) {
    const unsigned char c = static_cast<unsigned char>(aText[i]);
    if (c < 0x80) {  // the common case, without decoding
      if (aOut) aOut[n] = c;
      ++n, ++i;
      continue;
    }
    const char32_t cp = NextCodePoint(aText, i);
    if (cp < 0x10000) {
      if (aOut) aOut[n] = static_cast<char16_t>(cp);
      ++n;
    } else {
      if (aOut) {
        aOut[n] = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
        aOut[n + 1] = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
      }
      n += 2;
    }
  }
  return n;
}

std::u16string Utf8ToUtf16(std::string_view aText) {
  std::u16string out(Utf8ToUtf16(aText, nullptr), u'\0');
  Utf8ToUtf16(aText, out.data());
  return out;
}

namespace {

// UTF-16 to UTF-8; a lone surrogate fails, or becomes U+FFFD when
// aReplace is set.
std::string ConvertUtf16(std::u16string_view aText, bool aReplace) {
  std::string out;
  out.reserve(aText.size());
  for (size_t i = 0; i < aText.size(); ++i) {
    if (aText[i] < 0x80) {  // a run of ASCII characters in one step
      size_t end = i;
      while (end < aText.size() && aText[end] < 0x80) ++end;
      const size_t at = out.size();
      out.resize(at + (end - i));
      for (size_t k = i; k < end; ++k) out[at + (k - i)] = static_cast<char>(aText[k]);
      i = end - 1;
      continue;
    }
    char32_t cp = aText[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < aText.size() && aText[i + 1] >= 0xDC00 &&
        aText[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (aText[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      if (!aReplace) throw Error("Invalid UTF-16 text: unpaired surrogate");
      cp = 0xFFFD;
    }
    AppendUtf8(out, cp);
  }
  return out;
}

}  // namespace

std::string Utf16ToUtf8(std::u16string_view aText) { return ConvertUtf16(aText, false); }

std::string Utf16ToUtf8Replacing(std::u16string_view aText) { return ConvertUtf16(aText, true); }

size_t Utf16Length(std::string_view aText) {
  size_t units = 0;
  for (size_t i = 0; i < aText.size();) units += NextCodePoint(aText, i) >= 0x10000 ? 2 : 1;
  return units;
}

std::string Utf16Prefix(std::string_view aText, size_t aUnits) {
  size_t units = 0;
  size_t i = 0;
  while (i < aText.size()) {
    size_t next = i;
    const size_t w = NextCodePoint(aText, next) >= 0x10000 ? 2 : 1;
    if (units + w > aUnits) break;
    units += w;
    i = next;
  }
  return std::string(aText.substr(0, i));
}

}  // namespace korvane::platform
