// The reader of the usual request. It takes only what it can read exactly as
// the full parser reads it (white space between elements dropped, text kept
// as it stands but for the five entities and line ends made LF) and gives up
// at the first thing of any other kind: that text then goes the full way.
#include "device/xml_plain_reader.h"

#include <algorithm>
#include <array>
#include <iterator>
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

inline const char16_t* SkipSpace(const char16_t* aAt, const char16_t* aEnd) {
  while (aAt < aEnd && IsSpace(*aAt)) ++aAt;
  return aAt;
}

constexpr bool IsNameStart(char16_t c) {
  // 0x20 set makes the capitals small ones and no other unit a letter.
  return static_cast<char16_t>((c | 0x20) - u'a') < 26 || c == u'_';
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

// Sixteen units at a time where the processor has SSE2: the names and texts
// of a request are mostly runs of ASCII letters. Each copy below writes
// sixteen bytes at aOut whatever it takes (the reader's room allows for
// it); the caller goes on one unit at a time where it stops.
#if defined(__SSE2__)
// Sixteen units at aAt as bytes: the ASCII ones as they are, the others as
// 0x00 (from U+8000 up) or 0x80 and above, so that none of them passes for
// an ASCII character but U+0000.
inline __m128i Bytes(const char16_t* aAt) {
  return _mm_packus_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(aAt)),
                          _mm_loadu_si128(reinterpret_cast<const __m128i*>(aAt + 8)));
}

// The bytes of aBytes from aLow to aLow + aCount - 1, with one comparison:
// moved by 0x80 - aLow - aCount, those are the highest aCount signed values.
inline __m128i InRange(__m128i aBytes, char aLow, int aCount) {
  return _mm_cmpgt_epi8(_mm_add_epi8(aBytes, _mm_set1_epi8(static_cast<char>(0x80 - aLow - aCount))),
                        _mm_set1_epi8(static_cast<char>(0x7F - aCount)));
}

inline __m128i Is(__m128i aBytes, char aCharacter) {
  return _mm_cmpeq_epi8(aBytes, _mm_set1_epi8(aCharacter));
}

// The index of the lowest bit of aStop (16 bits), 16 for none.
inline size_t FirstOf(unsigned aStop) { return static_cast<unsigned>(__builtin_ctz(aStop | 0x10000)); }
#endif

// ASCII characters of a name at aAt copied to aOut, both moved past them.
inline void TakeNameChars(const char16_t*& aAt, const char16_t* aEnd, char*& aOut) {
  const char16_t* at = aAt;
  char* out = aOut;
#if defined(__SSE2__)
  // Most names are letters alone: those are taken with the letter test
  // only, and the rest of a name that goes on (a digit, "-", "." or "_",
  // or a seventeenth letter) as below.
  if (aEnd - at >= 16) {
    const __m128i bytes = Bytes(at);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
    const __m128i letter = InRange(_mm_or_si128(bytes, _mm_set1_epi8(0x20)), 'a', 26);
    const size_t kept = FirstOf(~static_cast<unsigned>(_mm_movemask_epi8(letter)));
    at += kept;
    out += kept;
    if (kept < 16 && !IsNameChar(*at)) {
      aAt = at;
      aOut = out;
      return;
    }
  }
  while (aEnd - at >= 16) {
    const __m128i bytes = Bytes(at);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
    // Letters of either case (0x20 set makes the capitals small ones and
    // no other byte a letter); "-", "." and the digits, which are the bytes
    // from "-" to "9" but "/"; and "_".
    const __m128i letter = InRange(_mm_or_si128(bytes, _mm_set1_epi8(0x20)), 'a', 26);
    const __m128i digitOrMark = _mm_andnot_si128(Is(bytes, '/'), InRange(bytes, '-', '9' - '-' + 1));
    const __m128i name = _mm_or_si128(_mm_or_si128(letter, digitOrMark), Is(bytes, '_'));
    const size_t kept = FirstOf(~static_cast<unsigned>(_mm_movemask_epi8(name)));
    at += kept;
    out += kept;
    if (kept < 16) {
      aAt = at;
      aOut = out;
      return;
    }
  }
#endif
  for (; at < aEnd && IsNameChar(*at); ++at) *out++ = static_cast<char>(*at);
  aAt = at;
  aOut = out;
}

// ASCII text at aAt that stands for itself copied to aOut, both moved past
// it (where it takes sixteen units at a time; it may stop before a control
// character that stands for itself, which the caller then takes).
inline void TakePlainText(const char16_t*& aAt, const char16_t* aEnd, char*& aOut) {
#if defined(__SSE2__)
  const char16_t* at = aAt;
  char* out = aOut;
  while (aEnd - at >= 16) {
    const __m128i bytes = Bytes(at);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
    // The copy stops at "<" or "&", or at a byte below "\x0E" as a signed
    // one: CR, U+0000 and a unit that is not ASCII (a byte with its high bit
    // set) among them; the caller passes the other control characters.
    const __m128i low = _mm_cmpgt_epi8(_mm_set1_epi8(0x0E), bytes);
    const __m128i special = _mm_or_si128(_mm_or_si128(Is(bytes, '<'), Is(bytes, '&')), low);
    const size_t kept = FirstOf(static_cast<unsigned>(_mm_movemask_epi8(special)));
    at += kept;
    out += kept;
    if (kept < 16) break;
  }
  aAt = at;
  aOut = out;
#else
  (void)aAt, (void)aEnd, (void)aOut;
#endif
}

// Whether the units at aAt are the ASCII name aName.
inline bool IsNameAt(const char16_t* aAt, const char16_t* aEnd, std::string_view aName) {
  const size_t available = static_cast<size_t>(aEnd - aAt);
  if (available < aName.size()) return false;
  size_t i = 0;
#if defined(__SSE2__)
  // Eight bytes of the name are read at a time: the tree's text has room
  // past its end for that. The usual name takes one step.
  if (aName.size() <= 8 && available >= 8) {
    const __m128i name = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(aName.data())),
                                           _mm_setzero_si128());
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(aAt));
    const unsigned same = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(name, units)));
    const unsigned wanted = (1u << (2 * aName.size())) - 1;
    return (same & wanted) == wanted;
  }
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

// Whether the units at aAt are the ASCII name aName, then white space if
// any and ">"; aAt at the ">".
inline bool IsEndTagAt(const char16_t*& aAt, const char16_t* aEnd, std::string_view aName) {
  const char16_t* at = aAt;
#if defined(__SSE2__)
  // The usual name is compared in one step, with ">" right after it.
  if (aEnd - at > 8 && aName.size() <= 8) {
    static constexpr uint16_t kFirst[] = {0, 0x3, 0xF, 0x3F, 0xFF, 0x3FF, 0xFFF, 0x3FFF, 0xFFFF};
    const __m128i name = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(aName.data())),
                                           _mm_setzero_si128());
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    const unsigned same = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(name, units)));
    const unsigned wanted = kFirst[aName.size()];
    if ((same & wanted) != wanted) return false;
    at += aName.size();
    if (*at != u'>') {
      at = SkipSpace(at, aEnd);
      if (at == aEnd || *at != u'>') return false;  // a longer name too
    }
    aAt = at;
    return true;
  }
#endif
  if (!IsNameAt(at, aEnd, aName)) return false;
  at = SkipSpace(at + aName.size(), aEnd);
  if (at == aEnd || *at != u'>') return false;  // a longer name too
  aAt = at;
  return true;
}

// The units at aAt before the first "?", U+0000 or surrogate, sixteen at a
// time; as bytes those from U+8000 up stop it too, which the caller then
// passes.
inline size_t SkipToQuestionMark(const char16_t* aAt, const char16_t* aEnd) {
  const char16_t* at = aAt;
#if defined(__SSE2__)
  while (aEnd - at >= 16) {
    const __m128i bytes = Bytes(at);
    const size_t skipped = FirstOf(static_cast<unsigned>(
        _mm_movemask_epi8(_mm_or_si128(Is(bytes, '?'), _mm_cmpeq_epi8(bytes, _mm_setzero_si128())))));
    at += skipped;
    if (skipped < 16) break;
  }
#else
  (void)aEnd;
#endif
  return static_cast<size_t>(at - aAt);
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

// The declaration most requests begin with, passed in one comparison (the
// loop over processing instructions passes it the same way otherwise).
constexpr char16_t kUsualDeclaration[] = u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
constexpr size_t kUsualDeclarationSize = std::size(kUsualDeclaration) - 1;
static_assert(kUsualDeclarationSize >= 32 && kUsualDeclarationSize <= 40);

inline const char16_t* PassUsualDeclaration(const char16_t* aAt, const char16_t* aEnd) {
  if (static_cast<size_t>(aEnd - aAt) < kUsualDeclarationSize) return aAt;
#if defined(__SSE2__)
  // Four blocks of eight units and the last eight (which overlap them).
  const auto differ = [aAt](size_t aFrom) {
    return _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(aAt + aFrom)),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(kUsualDeclaration + aFrom)));
  };
  const __m128i all =
      _mm_or_si128(_mm_or_si128(_mm_or_si128(differ(0), differ(8)), _mm_or_si128(differ(16), differ(24))),
                   differ(kUsualDeclarationSize - 8));
  if (_mm_movemask_epi8(_mm_cmpeq_epi8(all, _mm_setzero_si128())) != 0xFFFF) return aAt;
#else
  if (!std::equal(aAt, aAt + kUsualDeclarationSize, kUsualDeclaration)) return aAt;
#endif
  return aAt + kUsualDeclarationSize;
}

// "<?" name ... "?>" at aAt, with nothing in it that the full way must
// report; aAt past it.
inline bool SkipProcessingInstruction(const char16_t*& aAt, const char16_t* aEnd) {
  const char16_t* at = aAt + 2;
  if (at == aEnd || !IsNameStart(*at)) return false;
  for (; at + 1 < aEnd; ++at) {
    at += SkipToQuestionMark(at, aEnd);
    if (at + 1 >= aEnd) break;
    const char16_t c = *at;
    if (c == u'\0' || (c >= 0xD800 && c <= 0xDFFF)) return false;
    if (c == u'?' && at[1] == u'>') {
      aAt = at + 2;
      return true;
    }
  }
  return false;
}

// name = "value" (or 'value') at aAt, at its name, as an attribute of
// aElement written at aText + aUsed; aAt and aUsed past it. White space in
// the value becomes blanks (CR LF one), the five entities their characters.
inline bool Attribute(const char16_t*& aAt, const char16_t* aEnd, char* aText, size_t& aUsed, XmlTree& aTree,
                      uint32_t aElement) {
  const char16_t* at = aAt;
  const char16_t* const end = aEnd;
  const size_t nameAt = aUsed;
  char* out = aText + nameAt;
  size_t size = 0;
  for (; at < end && IsNameChar(*at); ++at) out[size++] = static_cast<char>(*at);
  at = SkipSpace(at, end);
  if (at == end || *at != u'=') return false;
  at = SkipSpace(at + 1, end);
  if (at == end || (*at != u'"' && *at != u'\'')) return false;
  const char16_t quote = *at++;
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
  aAt = at + 1;
  const size_t valueSize = static_cast<size_t>(out - value);
  aTree.AppendAttributeRange(aElement, nameAt, size, nameAt + size, valueSize);
  aUsed = nameAt + size + valueSize;
  return true;
}

// Text at aAt up to the next "<", written at aOut; both moved past it.
inline bool Text(const char16_t*& aAt, const char16_t* aEnd, char*& aOut) {
  const char16_t* at = aAt;
  const char16_t* const end = aEnd;
  char* out = aOut;
  for (;;) {
    TakePlainText(at, end, out);
    if (at == end) return false;  // an element left open
    const char16_t c = *at;
    if (c == u'<') break;  // where the copy above stops most often
    if (c < 0x80) {
      if (kPlainText[c]) {
        *out++ = static_cast<char>(c);
        ++at;
        continue;
      }
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
  aAt = at;
  aOut = out;
  return true;
}

// aXml into aTree (empty but for its document node). The positions are kept
// in locals throughout: a store through a char pointer could change any
// member or anything a pointer reaches, which would then be read again.
bool Read(std::u16string_view aXml, XmlTree& aTree) {
  const char16_t* at = aXml.data();
  const char16_t* const end = at + aXml.size();
  // A unit gives at most three bytes (a surrogate pair four for two units);
  // sixteen bytes more let a copy of sixteen units write past the end.
  char* const text = aTree.ReserveText(aXml.size() * 3 + 16);
  size_t used = aTree.TextSize();
  if (at < end && *at == u'\xFEFF') ++at;
  at = PassUsualDeclaration(at, end);
  // Before the root: white space and processing instructions (the
  // declaration among them), which the full parser passes over.
  for (;;) {
    at = SkipSpace(at, end);
    if (!StartsWith(at, end, "<?")) break;
    if (!SkipProcessingInstruction(at, end)) return false;
  }
  if (at == end || *at != u'<') return false;
  // A round of the loop below reads a tag, and the text before it if any:
  // it appends at most two nodes and reads at least three units (a tag)
  // and one more for a text; so at most one node for every two units. The
  // tree's node count stays within its limit (a text of at most kMaxUnits),
  // and the rounds that begin before stop have room for their nodes.
  const auto roomUntil = [&aTree, end](const char16_t* aAt) {
    if (aTree.NodeRoomLeft() < 3) aTree.GrowNodes(3);
    const size_t units = 2 * (aTree.NodeRoomLeft() - 2);
    return static_cast<size_t>(end - aAt) <= units ? end : aAt + units;
  };
  const char16_t* stop = roomUntil(at);
  // Whether another round follows (one is due): not at the end, room made.
  const auto nextRound = [&] {
    if (at < stop) return true;
    if (at == end) return false;  // an element left open
    stop = roomUntil(at);
    return true;
  };
  if (at + 1 < end && at[1] == u'/') return false;  // an end tag first
  uint32_t cursor = XmlTree::kDocument;             // the open element
  uint32_t last = 0;                                // its last child so far
  for (;;) {
    // Here at < end.
    if (*at != u'<') {
      // Text up to the next "<", as a text node of the open element (there
      // is one here: text before or after the root ends the loop below),
      // unless it is white space alone.
      if (IsSpace(*at)) {
        const char16_t* const spaced = SkipSpace(at, end);
        if (spaced == end) return false;  // an element left open
        if (*spaced == u'<') at = spaced;
      }
      if (*at != u'<') {
        char* const first = text + used;
        char* out = first;
        if (!Text(at, end, out)) return false;
        const size_t size = static_cast<size_t>(out - first);
        last = aTree.AppendNodeAfter(cursor, last, XmlNodeType::Text, used, size);
        used += size;
      }
    }
    // A tag at "<".
    ++at;
    if (at == end) return false;
    if (*at == u'/') {  // the end tag of the open element (there is one)
      ++at;
      const std::string_view name = aTree.TextOf(cursor);
      if (!IsEndTagAt(at, end, name)) return false;
      ++at;
      aTree.SetLastChild(cursor, last);
      last = cursor;
      cursor = aTree.ParentOf(cursor);
      if (cursor == XmlTree::kDocument) break;
      if (!nextRound()) return false;
      continue;
    }
    char* const name = text + used;
    char* out = name;
    TakeNameChars(at, end, out);
    const size_t size = static_cast<size_t>(out - name);
    // A name begins with a letter or "_", the characters of a name above "9".
    if (size == 0 || name[0] <= '9' || at == end) return false;
    const uint32_t element = aTree.AppendNodeAfter(cursor, last, XmlNodeType::Element, used, size);
    used += size;
    // Attributes, each after white space.
    while (*at != u'>') {
      const bool spaced = IsSpace(*at);
      at = SkipSpace(at, end);
      if (at == end) return false;
      if (!IsNameStart(*at)) break;
      if (!spaced || !Attribute(at, end, text, used, aTree, element)) return false;
      if (at == end) return false;
    }
    if (*at == u'>') {
      ++at;
      if (!nextRound()) return false;
      cursor = element;
      last = 0;
      continue;
    }
    if (*at == u'/' && at + 1 < end && at[1] == u'>') {
      at += 2;
      last = element;
      if (cursor == XmlTree::kDocument) break;
      if (!nextRound()) return false;
      continue;
    }
    return false;  // a character the full way must judge
  }
  // After the root: white space only.
  if (SkipSpace(at, end) != end) return false;
  aTree.SetLastChild(XmlTree::kDocument, last);
  aTree.CommitText(used);
  return true;
}

// Texts beyond this go the full way (whose tree then refuses what it cannot
// place): the offsets of the tree's texts must stay within 32 bits.
constexpr size_t kMaxUnits = std::numeric_limits<uint32_t>::max() / 4;
// The most nodes room is made for at once (about 150 kB).
constexpr size_t kNodesAtOnce = 4096;

}  // namespace

XmlTreeHandle ReadPlainXml(std::u16string_view aXml) {
  if (aXml.size() > kMaxUnits) return nullptr;
  XmlTreeHandle tree = NewXmlTree();
  // Room for as many nodes as the text can hold (one for every two units,
  // see Read), so that a usual request is read without looking for room
  // again; a large one makes room as it goes.
  tree->Reserve(std::min(aXml.size() / 2 + 3, kNodesAtOnce), 0);
  if (!Read(aXml, *tree)) return nullptr;
  return tree;
}

}  // namespace korvane
