#include "helpers/utf.h"

#include <algorithm>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "helpers/error.h"

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

// Writes cp's UTF-8 bytes at aOut; returns how many.
size_t PutUtf8(char* aOut, char32_t cp) {
  if (cp < 0x80) {
    aOut[0] = static_cast<char>(cp);
    return 1;
  }
  if (cp < 0x800) {
    aOut[0] = static_cast<char>(0xC0 | (cp >> 6));
    aOut[1] = static_cast<char>(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    aOut[0] = static_cast<char>(0xE0 | (cp >> 12));
    aOut[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    aOut[2] = static_cast<char>(0x80 | (cp & 0x3F));
    return 3;
  }
  aOut[0] = static_cast<char>(0xF0 | (cp >> 18));
  aOut[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
  aOut[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
  aOut[3] = static_cast<char>(0x80 | (cp & 0x3F));
  return 4;
}

// ASCII text goes through in blocks of this many characters, each tested and
// copied in one step (with SSE2 where the processor has it).
constexpr size_t kBlock = 16;

// Whether the 16 bytes at aText are ASCII; if so, and aOut is given, they
// are written there widened to UTF-16.
bool AsciiBlockToUtf16(const char* aText, char16_t* aOut) {
#if defined(__SSE2__)
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(aText));
  if (_mm_movemask_epi8(bytes) != 0) return false;
  if (aOut) {
    const __m128i zero = _mm_setzero_si128();
    _mm_storeu_si128(reinterpret_cast<__m128i*>(aOut), _mm_unpacklo_epi8(bytes, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(aOut + 8), _mm_unpackhi_epi8(bytes, zero));
  }
  return true;
#else
  unsigned acc = 0;
  for (size_t k = 0; k < kBlock; ++k) acc |= static_cast<unsigned char>(aText[k]);
  if (acc >= 0x80) return false;
  if (aOut) {
    char16_t block[kBlock];
    for (size_t k = 0; k < kBlock; ++k) block[k] = static_cast<unsigned char>(aText[k]);
    std::memcpy(aOut, block, sizeof block);
  }
  return true;
#endif
}

// Whether the 16 UTF-16 units at aText are ASCII; if so, they are written
// to aOut as bytes.
bool AsciiBlockToUtf8(const char16_t* aText, char* aOut) {
#if defined(__SSE2__)
  const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(aText));
  const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(aText + 8));
  const __m128i above = _mm_and_si128(_mm_or_si128(low, high), _mm_set1_epi16(static_cast<short>(0xFF80)));
  if (_mm_movemask_epi8(_mm_cmpeq_epi16(above, _mm_setzero_si128())) != 0xFFFF) return false;
  _mm_storeu_si128(reinterpret_cast<__m128i*>(aOut), _mm_packus_epi16(low, high));
  return true;
#else
  unsigned acc = 0;
  for (size_t k = 0; k < kBlock; ++k) acc |= aText[k];
  if (acc >= 0x80) return false;
  char block[kBlock];  // a local copy first: stores through char may alias the text
  for (size_t k = 0; k < kBlock; ++k) block[k] = static_cast<char>(aText[k]);
  std::memcpy(aOut, block, kBlock);
  return true;
#endif
}

}  // namespace

size_t Utf8ToUtf16(std::string_view aText, char16_t* aOut) {
  size_t n = 0;
  for (size_t i = 0; i < aText.size();) {
    if (i + kBlock <= aText.size() && AsciiBlockToUtf16(aText.data() + i, aOut ? aOut + n : nullptr)) {
      n += kBlock, i += kBlock;
      continue;
    }
    // A block with other characters: one character at a time.
    for (const size_t end = std::min(i + kBlock, aText.size()); i < end;) {
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
  }
  return n;
}

bool AsciiToUtf16(std::string_view aText, char16_t* aOut) {
  const size_t n = aText.size();
  if (n < kBlock) {
    unsigned bits = 0;
    for (size_t i = 0; i < n; ++i) {
      const unsigned char c = static_cast<unsigned char>(aText[i]);
      bits |= c;
      aOut[i] = c;
    }
    return bits < 0x80;
  }
  size_t i = 0;
  for (; i + kBlock <= n; i += kBlock)
    if (!AsciiBlockToUtf16(aText.data() + i, aOut + i)) return false;
  // The rest as the last block of the text, which overlaps the one before.
  return i == n || AsciiBlockToUtf16(aText.data() + n - kBlock, aOut + n - kBlock);
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
  // Room for ASCII text; at the first other character, room for the rest at
  // three bytes a unit (the most any unit takes). One byte more, so that a
  // terminator can follow the text without a new allocation (the in-place
  // XML parse appends one).
  std::string out;
  out.reserve(aText.size() + 1);
  out.resize(aText.size());
  bool roomy = false;
  size_t n = 0;
  for (size_t i = 0; i < aText.size();) {
    if (i + kBlock <= aText.size() && AsciiBlockToUtf8(aText.data() + i, out.data() + n)) {
      n += kBlock, i += kBlock;
      continue;
    }
    for (const size_t end = std::min(i + kBlock, aText.size()); i < end; ++i) {
      char32_t cp = aText[i];
      if (cp < 0x80) {
        out[n++] = static_cast<char>(cp);
        continue;
      }
      if (!roomy) {
        out.resize(n + 3 * (aText.size() - i));
        roomy = true;
      }
      if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < aText.size() && aText[i + 1] >= 0xDC00 &&
          aText[i + 1] <= 0xDFFF) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (aText[i + 1] - 0xDC00);
        ++i;
      } else if (cp >= 0xD800 && cp <= 0xDFFF) {
        if (!aReplace) throw Error("Invalid UTF-16 text: unpaired surrogate");
        cp = 0xFFFD;
      }
      n += PutUtf8(out.data() + n, cp);
    }
  }
  out.resize(n);
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
