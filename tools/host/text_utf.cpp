#include "text_utf.h"

namespace korvane::host {

std::optional<std::u16string> Utf8ToUtf16(std::string_view aText) {
  std::u16string out;
  out.reserve(aText.size());
  for (std::size_t i = 0; i < aText.size();) {
    const unsigned char lead = static_cast<unsigned char>(aText[i]);
    char32_t code;
    int extra;
    if (lead < 0x80)
      code = lead, extra = 0;
    else if (lead >= 0xC2 && lead <= 0xDF)
      code = lead & 0x1F, extra = 1;
    else if (lead >= 0xE0 && lead <= 0xEF)
      code = lead & 0x0F, extra = 2;
    else if (lead >= 0xF0 && lead <= 0xF4)
      code = lead & 0x07, extra = 3;
    else
      return std::nullopt;
    if (i + extra >= aText.size() && extra > 0) return std::nullopt;  // cut short
    for (int k = 1; k <= extra; ++k) {
      const unsigned char next = static_cast<unsigned char>(aText[i + k]);
      if ((next & 0xC0) != 0x80) return std::nullopt;
      code = (code << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and values above U+10FFFF are not UTF-8.
    if ((extra == 2 && code < 0x800) || (extra == 3 && (code < 0x10000 || code > 0x10FFFF)) ||
        (code >= 0xD800 && code <= 0xDFFF))
      return std::nullopt;
    if (code >= 0x10000) {
      code -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (code >> 10));
      out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    } else {
      out += static_cast<char16_t>(code);
    }
    i += 1 + extra;
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view aText) {
  std::string out;
  out.reserve(aText.size());
  for (std::size_t i = 0; i < aText.size(); ++i) {
    char32_t code = aText[i];
    if (code >= 0xD800 && code <= 0xDBFF && i + 1 < aText.size() && aText[i + 1] >= 0xDC00 &&
        aText[i + 1] <= 0xDFFF) {
      code = 0x10000 + ((code - 0xD800) << 10) + (aText[++i] - 0xDC00);
    } else if (code >= 0xD800 && code <= 0xDFFF) {
      code = 0xFFFD;
    }
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return out;
}

}  // namespace korvane::host
