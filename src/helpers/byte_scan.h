// Finding the first byte of a text that needs escaping, sixteen bytes at a
// time where the processor has SSE2: the texts written into XML results and
// JSON messages are mostly runs of bytes that stay as they are.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace korvane {
namespace byte_scan {

// One flag per byte value.
template <class TIs>
constexpr std::array<bool, 256> Table(TIs aIs) {
  std::array<bool, 256> table{};
  for (unsigned c = 0; c < 256; ++c) table[c] = aIs(c);
  return table;
}

inline constexpr std::array<bool, 256> kXmlSpecial =
    Table([](unsigned c) { return c == '&' || c == '<' || c == '>' || c == '"' || c == '\''; });
inline constexpr std::array<bool, 256> kJsonEscaped =
    Table([](unsigned c) { return c < 0x20 || c == '"' || c == '\\' || c == '/'; });

#if defined(__SSE2__)
// The bytes of the sixteen at aText that a scan looks for, one bit each.
inline unsigned XmlMask(const char* aText) {
  const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(aText));
  const __m128i hit = _mm_or_si128(
      _mm_or_si128(_mm_cmpeq_epi8(b, _mm_set1_epi8('&')), _mm_cmpeq_epi8(b, _mm_set1_epi8('<'))),
      _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(b, _mm_set1_epi8('>')), _mm_cmpeq_epi8(b, _mm_set1_epi8('"'))),
                   _mm_cmpeq_epi8(b, _mm_set1_epi8('\''))));
  return static_cast<unsigned>(_mm_movemask_epi8(hit));
}

inline unsigned JsonMask(const char* aText) {
  const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(aText));
  const __m128i control = _mm_cmpeq_epi8(_mm_max_epu8(b, _mm_set1_epi8(0x1F)), _mm_set1_epi8(0x1F));
  const __m128i hit = _mm_or_si128(
      _mm_or_si128(control, _mm_cmpeq_epi8(b, _mm_set1_epi8('"'))),
      _mm_or_si128(_mm_cmpeq_epi8(b, _mm_set1_epi8('\\')), _mm_cmpeq_epi8(b, _mm_set1_epi8('/'))));
  return static_cast<unsigned>(_mm_movemask_epi8(hit));
}
#endif

// The first byte at or after aFrom that aTable flags (aMask: the same for
// sixteen bytes at a time); aText.size() when there is none. A text of
// sixteen bytes or more ends with its last sixteen, which overlap the block
// before: the bytes already looked at (or before aFrom) are left out.
template <unsigned (*TMask)(const char*)>
inline size_t Find(std::string_view aText, size_t aFrom, const std::array<bool, 256>& aTable) {
  size_t i = aFrom;
#if defined(__SSE2__)
  if (aText.size() >= 16) {
    for (; i + 16 <= aText.size(); i += 16)
      if (const unsigned mask = TMask(aText.data() + i)) return i + static_cast<size_t>(__builtin_ctz(mask));
    if (i >= aText.size()) return aText.size();
    const size_t start = aText.size() - 16;
    const unsigned mask = TMask(aText.data() + start) & (~0u << (i - start));
    return mask ? start + static_cast<size_t>(__builtin_ctz(mask)) : aText.size();
  }
#endif
  for (; i < aText.size(); ++i)
    if (aTable[static_cast<unsigned char>(aText[i])]) return i;
  return aText.size();
}

#if !defined(__SSE2__)
inline unsigned NoMask(const char*) { return 0; }
#endif

}  // namespace byte_scan

// The offset of the first of the five XML special characters & < > " ' at
// or after aFrom in aText; aText.size() when there is none.
inline size_t FindXmlSpecial(std::string_view aText, size_t aFrom) {
#if defined(__SSE2__)
  return byte_scan::Find<byte_scan::XmlMask>(aText, aFrom, byte_scan::kXmlSpecial);
#else
  return byte_scan::Find<byte_scan::NoMask>(aText, aFrom, byte_scan::kXmlSpecial);
#endif
}

// The offset of the first byte at or after aFrom in aText that a JSON
// string escapes: a control character (below 0x20), '"', '\\' or '/';
// aText.size() when there is none.
inline size_t FindJsonEscaped(std::string_view aText, size_t aFrom) {
#if defined(__SSE2__)
  return byte_scan::Find<byte_scan::JsonMask>(aText, aFrom, byte_scan::kJsonEscaped);
#else
  return byte_scan::Find<byte_scan::NoMask>(aText, aFrom, byte_scan::kJsonEscaped);
#endif
}

}  // namespace korvane
