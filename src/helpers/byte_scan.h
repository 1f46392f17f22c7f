// Finding the first byte of a text that needs escaping, sixteen bytes at a
// time where the processor has SSE2: the texts written into XML results and
// JSON messages are mostly runs of bytes that stay as they are.
#pragma once

#include <cstddef>
#include <string_view>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace korvane {

// The offset of the first of the five XML special characters & < > " ' at
// or after aFrom in aText; aText.size() when there is none.
inline size_t FindXmlSpecial(std::string_view aText, size_t aFrom) {
  size_t i = aFrom;
#if defined(__SSE2__)
  for (; i + 16 <= aText.size(); i += 16) {
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(aText.data() + i));
    const __m128i hit = _mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi8(b, _mm_set1_epi8('&')), _mm_cmpeq_epi8(b, _mm_set1_epi8('<'))),
        _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(b, _mm_set1_epi8('>')), _mm_cmpeq_epi8(b, _mm_set1_epi8('"'))),
            _mm_cmpeq_epi8(b, _mm_set1_epi8('\''))));
    if (const int mask = _mm_movemask_epi8(hit)) return i + static_cast<size_t>(__builtin_ctz(mask));
  }
#endif
  for (; i < aText.size(); ++i) {
    const char c = aText[i];
    if (c == '&' || c == '<' || c == '>' || c == '"' || c == '\'') return i;
  }
  return aText.size();
}

// The offset of the first byte at or after aFrom in aText that a JSON
// string escapes: a control character (below 0x20), '"', '\\' or '/';
// aText.size() when there is none.
inline size_t FindJsonEscaped(std::string_view aText, size_t aFrom) {
  size_t i = aFrom;
#if defined(__SSE2__)
  for (; i + 16 <= aText.size(); i += 16) {
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(aText.data() + i));
    const __m128i control = _mm_cmpeq_epi8(_mm_max_epu8(b, _mm_set1_epi8(0x1F)), _mm_set1_epi8(0x1F));
    const __m128i hit = _mm_or_si128(
        _mm_or_si128(control, _mm_cmpeq_epi8(b, _mm_set1_epi8('"'))),
        _mm_or_si128(_mm_cmpeq_epi8(b, _mm_set1_epi8('\\')), _mm_cmpeq_epi8(b, _mm_set1_epi8('/'))));
    if (const int mask = _mm_movemask_epi8(hit)) return i + static_cast<size_t>(__builtin_ctz(mask));
  }
#endif
  for (; i < aText.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(aText[i]);
    if (c < 0x20 || c == '"' || c == '\\' || c == '/') return i;
  }
  return aText.size();
}

}  // namespace korvane
