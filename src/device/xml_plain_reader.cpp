// The reader of the usual request. It takes only what it can read exactly as
// the full parser reads it (white space between elements dropped, text kept
// as it stands but for the five entities and line ends made LF) and gives up
// at the first thing of any other kind: that text then goes the full way.
#include "device/xml_plain_reader.h"

#include <array>
#include <limits>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace korvane {
namespace {

inline bool IsSpace(char16_t c) {
  constexpr uint64_t kSpaces =
      uint64_t{1} << ' ' | uint64_t{1} << '\n' | uint64_t{1} << '\t' | uint64_t{1} << '\r';
  return c <= u' ' && (kSpaces >> c & 1) != 0;
}

constexpr bool IsNameStart(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_';
}

// ASCII characters a name may hold after its first.
constexpr std::array<bool, 128> kNameChar = [] {
  std::array<bool, 128> name{};
  for (size_t c = 0; c < name.size(); ++c)
    name[c] = IsNameStart(static_cast<char16_t>(c)) || (c >= '0' && c <= '9') || c == '-' || c == '.';
  return name;
}();

inline bool IsNameChar(char16_t c) { return c < 0x80 && kNameChar[c]; }

// ASCII characters that stand for themselves in text.
constexpr std::array<bool, 128> kPlainText = [] {
  std::array<bool, 128> plain{};
  for (size_t c = 0; c < plain.size(); ++c) plain[c] = c != '<' && c != '&' && c != '\r' && c != '\0';
  return plain;
}();

// Whether [aAt, aEnd) begins with aWord (ASCII).
inline bool StartsWith(const char16_t* aAt, const char16_t* aEnd, std::string_view aWord) {
  if (static_cast<size_t>(aEnd - aAt) < aWord.size()) return false;
  for (size_t i = 0; i < aWord.size(); ++i)
    if (aAt[i] != static_cast<char16_t>(aWord[i])) return false;
  return true;
}

// Eight units at a time where the processor has SSE2: the names and texts of
// a request are mostly runs of ASCII letters. Each of these writes eight
// bytes at aOut whatever it takes (the reader's room allows for it) and
// returns how many units it took; the caller goes on one unit at a time.
#if defined(__SSE2__)
inline __m128i InRange(__m128i aUnits, short aLow, short aHigh) {
  return _mm_and_si128(_mm_cmpgt_epi16(aUnits, _mm_set1_epi16(static_cast<short>(aLow - 1))),
                       _mm_cmplt_epi16(aUnits, _mm_set1_epi16(static_cast<short>(aHigh + 1))));
}

inline __m128i Is(__m128i aUnits, char aCharacter) {
  return _mm_cmpeq_epi16(aUnits, _mm_set1_epi16(aCharacter));
}

// Takes units while aKeep (a mask of 16-bit lanes) holds for them.
template <class TKeep>
inline size_t TakeWhile(const char16_t* aAt, const char16_t* aEnd, char* aOut, TKeep aKeep) {
  size_t taken = 0;
  while (aEnd - (aAt + taken) >= 8) {
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(aAt + taken));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(aOut + taken), _mm_packus_epi16(units, units));
    const unsigned kept = static_cast<unsigned>(_mm_movemask_epi8(aKeep(units)));
    if (kept != 0xFFFF) return taken + static_cast<size_t>(__builtin_ctz(~kept)) / 2;
    taken += 8;
  }
  return taken;
}
#endif

// ASCII characters of a name, copied.
inline size_t TakeNameChars(const char16_t* aAt, const char16_t* aEnd, char* aOut) {
#if defined(__SSE2__)
  return TakeWhile(aAt, aEnd, aOut, [](__m128i u) {
    return _mm_or_si128(
        _mm_or_si128(InRange(u, 'a', 'z'), InRange(u, 'A', 'Z')),
        _mm_or_si128(_mm_or_si128(InRange(u, '0', '9'), Is(u, '_')), _mm_or_si128(Is(u, '-'), Is(u, '.'))));
  });
#else
  (void)aAt, (void)aEnd, (void)aOut;
  return 0;
#endif
}

// ASCII text that stands for itself, copied.
inline size_t TakePlainText(const char16_t* aAt, const char16_t* aEnd, char* aOut) {
#if defined(__SSE2__)
  return TakeWhile(aAt, aEnd, aOut, [](__m128i u) {
    const __m128i ascii =
        _mm_cmpeq_epi16(_mm_and_si128(u, _mm_set1_epi16(static_cast<short>(0xFF80))), _mm_setzero_si128());
    const __m128i special =
        _mm_or_si128(_mm_or_si128(Is(u, '<'), Is(u, '&')), _mm_or_si128(Is(u, '\r'), Is(u, '\0')));
    return _mm_andnot_si128(special, ascii);
  });
#else
  (void)aAt, (void)aEnd, (void)aOut;
  return 0;
#endif
}

// Whether the units at aAt are the ASCII name aName.
inline bool IsNameAt(const char16_t* aAt, const char16_t* aEnd, std::string_view aName) {
  const size_t available = static_cast<size_t>(aEnd - aAt);
  if (available < aName.size()) return false;
  size_t i = 0;
#if defined(__SSE2__)
  // Eight bytes of the name are read at a time: the tree's text has room
  // past its end for that.
  for (; i + 8 <= available; i += 8) {
    const __m128i name = _mm_unpacklo_epi8(
        _mm_loadl_epi64(reinterpret_cast<const __m128i*>(aName.data() + i)), _mm_setzero_si128());
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(aAt + i));
    const unsigned same = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(name, units)));
    const size_t left = aName.size() - i;
    if (left < 8) {
      const unsigned wanted = (1u << (2 * left)) - 1;
      return (same & wanted) == wanted;
    }
    if (same != 0xFFFF) return false;
  }
#endif
  for (; i < aName.size(); ++i)
    if (aAt[i] != static_cast<char16_t>(static_cast<unsigned char>(aName[i]))) return false;
  return true;
}

// The units before the first "?", U+0000 or surrogate at aAt, eight at a time.
inline size_t SkipToQuestionMark(const char16_t* aAt, const char16_t* aEnd) {
  size_t skipped = 0;
#if defined(__SSE2__)
  while (aEnd - (aAt + skipped) >= 8) {
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(aAt + skipped));
    const __m128i surrogate =
        _mm_cmpeq_epi16(_mm_and_si128(units, _mm_set1_epi16(static_cast<short>(0xF800))),
                        _mm_set1_epi16(static_cast<short>(0xD800)));
    const __m128i stop = _mm_or_si128(_mm_or_si128(Is(units, '?'), Is(units, '\0')), surrogate);
    const unsigned found = static_cast<unsigned>(_mm_movemask_epi8(stop));
    if (found != 0) return skipped + static_cast<size_t>(__builtin_ctz(found)) / 2;
    skipped += 8;
  }
#else
  (void)aAt, (void)aEnd;
#endif
  return skipped;
}

// A character of U+0080 or above at aAt in UTF-8 at aOut, both moved past
// it; false for a lone surrogate, which the full way reports.
inline bool PutNonAscii(const char16_t*& aAt, const char16_t* aEnd, char*& aOut) {
  const char16_t c = *aAt;
  if (c < 0x800) {
    *aOut++ = static_cast<char>(0xC0 | (c >> 6));
    *aOut++ = static_cast<char>(0x80 | (c & 0x3F));
    ++aAt;
    return true;
  }
  if (c < 0xD800 || c > 0xDFFF) {
    *aOut++ = static_cast<char>(0xE0 | (c >> 12));
    *aOut++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *aOut++ = static_cast<char>(0x80 | (c & 0x3F));
    ++aAt;
    return true;
  }
  if (c > 0xDBFF || aAt + 1 == aEnd || aAt[1] < 0xDC00 || aAt[1] > 0xDFFF) return false;
  const uint32_t code = 0x10000 + ((uint32_t{c} - 0xD800) << 10) + (uint32_t{aAt[1]} - 0xDC00);
  *aOut++ = static_cast<char>(0xF0 | (code >> 18));
  *aOut++ = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
  *aOut++ = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
  *aOut++ = static_cast<char>(0x80 | (code & 0x3F));
  aAt += 2;
  return true;
}

// One of the five predefined entities at "&": its character, aAt past it;
// 0 for anything else (character references included).
inline char Entity(const char16_t*& aAt, const char16_t* aEnd) {
  struct Known {
    std::string_view text;
    char character;
  };
  static constexpr Known kKnown[] = {
      {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
  for (const Known& k : kKnown) {
    if (StartsWith(aAt, aEnd, k.text)) {
      aAt += k.text.size();
      return k.character;
    }
  }
  return 0;
}

class PlainReader {
 public:
  PlainReader(std::u16string_view aXml, XmlTree& aTree)
      : fAt(aXml.data()), fEnd(aXml.data() + aXml.size()), fTree(aTree) {
    // A unit gives at most three bytes (a surrogate pair four for two
    // units); eight bytes more let a copy of eight units write past the end.
    fOut = fTree.ReserveText(aXml.size() * 3 + 16);
    fUsed = fTree.TextSize();
  }

  bool Read() {
    if (fAt < fEnd && *fAt == u'\xFEFF') ++fAt;
    // Before the root: white space and processing instructions (the
    // declaration among them), which the full parser passes over.
    for (;;) {
      SkipSpace();
      if (!StartsWith(fAt, fEnd, "<?")) break;
      if (!SkipProcessingInstruction()) return false;
    }
    if (fAt == fEnd || *fAt != u'<') return false;
    uint32_t cursor = XmlTree::kDocument;
    do {
      if (*fAt == u'<') {
        if (!Tag(cursor)) return false;
        continue;
      }
      if (IsSpace(*fAt)) {
        const char16_t* mark = fAt;
        SkipSpace();
        if (fAt == fEnd) return false;  // an element left open
        if (*fAt == u'<') continue;     // white space alone is no text
        fAt = mark;
      }
      if (!Text(cursor)) return false;
    } while (cursor != XmlTree::kDocument && fAt < fEnd);
    if (cursor != XmlTree::kDocument) return false;
    // After the root: white space only.
    SkipSpace();
    if (fAt != fEnd) return false;
    fTree.CommitText(fUsed);
    return true;
  }

 private:
  void SkipSpace() {
    while (fAt < fEnd && IsSpace(*fAt)) ++fAt;
  }

  // "<?" name ... "?>", with nothing in it that the full way must report.
  bool SkipProcessingInstruction() {
    fAt += 2;
    if (fAt == fEnd || !IsNameStart(*fAt)) return false;
    for (; fAt + 1 < fEnd; ++fAt) {
      fAt += SkipToQuestionMark(fAt, fEnd);
      if (fAt + 1 >= fEnd) break;
      const char16_t c = *fAt;
      if (c == u'\0' || (c >= 0xD800 && c <= 0xDFFF)) return false;
      if (c == u'?' && fAt[1] == u'>') {
        fAt += 2;
        return true;
      }
    }
    return false;
  }

  // A start or end tag at "<"; aCursor is the open element (its parent
  // after an end tag).
  bool Tag(uint32_t& aCursor) {
    ++fAt;
    if (fAt == fEnd) return false;
    if (*fAt == u'/') {
      if (aCursor == XmlTree::kDocument) return false;
      ++fAt;
      const std::string_view name = fTree.TextOf(aCursor);
      if (!IsNameAt(fAt, fEnd, name)) return false;
      fAt += name.size();
      SkipSpace();
      if (fAt == fEnd || *fAt != u'>') return false;  // a longer name too
      ++fAt;
      aCursor = fTree.ParentOf(aCursor);
      return true;
    }
    if (!IsNameStart(*fAt)) return false;
    char* const out = fOut + fUsed;
    size_t size = TakeNameChars(fAt, fEnd, out);
    for (; fAt + size < fEnd && IsNameChar(fAt[size]); ++size) out[size] = static_cast<char>(fAt[size]);
    fAt += size;
    if (fAt == fEnd) return false;
    const uint32_t element = fTree.AppendNode(aCursor, XmlNodeType::Element);
    fTree.SetTextRange(element, fUsed, size);
    fUsed += size;
    // Attributes, each after white space.
    for (;;) {
      if (fAt == fEnd) return false;
      if (*fAt == u'>') break;
      const bool spaced = IsSpace(*fAt);
      SkipSpace();
      if (fAt == fEnd) return false;
      if (!IsNameStart(*fAt)) break;
      if (!spaced || !Attribute(element)) return false;
    }
    if (*fAt == u'>') {
      ++fAt;
      aCursor = element;
      return true;
    }
    if (*fAt == u'/' && fAt + 1 < fEnd && fAt[1] == u'>') {
      fAt += 2;
      return true;
    }
    return false;  // a character the full way must judge
  }

  // name = "value" (or 'value'), at its name; white space in the value
  // becomes blanks (CR LF one), the five entities their characters.
  bool Attribute(uint32_t aElement) {
    char* out = fOut + fUsed;
    const size_t nameAt = fUsed;
    size_t size = 0;
    for (; fAt < fEnd && IsNameChar(*fAt); ++fAt) out[size++] = static_cast<char>(*fAt);
    SkipSpace();
    if (fAt == fEnd || *fAt != u'=') return false;
    ++fAt;
    SkipSpace();
    if (fAt == fEnd || (*fAt != u'"' && *fAt != u'\'')) return false;
    const char16_t quote = *fAt++;
    const char16_t* at = fAt;
    const char16_t* const end = fEnd;
    char* const value = out + size;
    out = value;
    for (;;) {
      if (at == end) return false;
      const char16_t c = *at;
      if (c == quote) break;
      if (c >= 0x80) {
        if (!PutNonAscii(at, end, out)) return false;
        continue;
      }
      if (c == u'<' || c == u'\0') return false;
      ++at;
      if (c == u'&') {
        --at;
        const char entity = Entity(at, end);
        if (!entity) return false;
        *out++ = entity;
      } else if (IsSpace(c)) {
        *out++ = ' ';
        if (c == u'\r' && at < end && *at == u'\n') ++at;
      } else {
        *out++ = static_cast<char>(c);
      }
    }
    fAt = at + 1;
    const size_t valueSize = static_cast<size_t>(out - value);
    fTree.AppendAttributeRange(aElement, nameAt, size, nameAt + size, valueSize);
    fUsed = nameAt + size + valueSize;
    return true;
  }

  // Text up to the next "<", as a text node of aCursor.
  bool Text(uint32_t aCursor) {
    // The positions are kept in locals: a store through a char pointer
    // could change any member, which would then be read again each time.
    const char16_t* at = fAt;
    const char16_t* const end = fEnd;
    char* const first = fOut + fUsed;
    char* out = first;
    for (;;) {
      const size_t plain = TakePlainText(at, end, out);
      at += plain;
      out += plain;
      if (at == end) return false;  // an element left open
      const char16_t c = *at;
      if (c < 0x80) {
        if (kPlainText[c]) {
          *out++ = static_cast<char>(c);
          ++at;
          continue;
        }
        if (c == u'<') break;
        if (c == u'\r') {  // CR LF and a lone CR are both LF
          *out++ = '\n';
          ++at;
          if (at < end && *at == u'\n') ++at;
          continue;
        }
        if (c != u'&') return false;  // U+0000
        const char entity = Entity(at, end);
        if (!entity) return false;
        *out++ = entity;
        continue;
      }
      if (!PutNonAscii(at, end, out)) return false;
    }
    fAt = at;
    const uint32_t text = fTree.AppendNode(aCursor, XmlNodeType::Text);
    const size_t start = fUsed;
    fUsed += static_cast<size_t>(out - first);
    fTree.SetTextRange(text, start, fUsed - start);
    return true;
  }

  const char16_t* fAt;
  const char16_t* fEnd;
  XmlTree& fTree;
  char* fOut = nullptr;
  size_t fUsed = 0;
};

// Texts beyond this go the full way (whose tree then refuses what it cannot
// place): the offsets of the tree's texts must stay within 32 bits.
constexpr size_t kMaxUnits = std::numeric_limits<uint32_t>::max() / 4;

}  // namespace

XmlTreeHandle ReadPlainXml(std::u16string_view aXml) {
  if (aXml.size() > kMaxUnits) return nullptr;
  XmlTreeHandle tree = NewXmlTree();
  // About one node for every twelve characters of a usual request.
  tree->Reserve(aXml.size() / 12 + 8, 0);
  PlainReader reader(aXml, *tree);
  if (!reader.Read()) return nullptr;
  return tree;
}

}  // namespace korvane
