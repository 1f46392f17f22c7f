// The XML view used by every request parser: a document parsed with comments
// and CDATA sections kept and white-space-only text dropped, as a tree
// (xml_tree.h); children found by their exact name; the text of an element is
// its single text (or CDATA) child.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "base/shared_types.h"
#include "device/xml_tree.h"
#include "helpers/error.h"

namespace korvane {

// Equality of two names, rejecting most unequal pairs before comparing bytes.
inline bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && (a.empty() || (a.front() == b.front() && a.back() == b.back() && a == b));
}

using kXmlDocument = XmlTreeHandle;

// Parses a request text: the usual request by the plain reader
// (xml_plain_reader.h), any other by the full parser, with one result. The
// text is read as it is given (a declaration
// inside it does not change how it is read); comments and CDATA sections are
// kept, white-space-only text between elements is dropped, DOCTYPE
// declarations are skipped and no entity beyond the five predefined ones and
// character references is ever replaced. Fails with "XML parse error: ..."
// (with line and column) on text that is not one well-formed document (text
// outside the root element included), that holds a lone surrogate, or that
// refers to U+0000, a surrogate or a value above U+10FFFF by a character
// reference (inside CDATA and comments such text is no reference).
kXmlDocument ParseXmlDocument(std::u16string_view aXml);
// The same for a UTF-8 text; fails with "XML parse error: Invalid UTF-8
// text at byte <n>" on bad bytes.
kXmlDocument ParseXmlDocumentUtf8(std::string_view aXml);

// The node's name as the node view names it: the element's name, or
// "#text", "#cdata-section", "#comment" for the other kinds.
std::string XmlNodeName(XmlNode aNode);
// The same, without a copy (valid while the document lives).
std::string_view XmlNodeNameView(XmlNode aNode);
// Whether a node named aNodeName is found by aName: the whole name, or the
// part after its last ":", equals aName.
bool XmlNameMatches(std::string_view aNodeName, std::string_view aName);

// The first child of aParent whose name (or the part of it after a ":")
// equals aName exactly, letter case included; a null node when none does.
XmlNode XmlFindChild(XmlNode aParent, std::string_view aName);

// The text of a node: an element without children gives "", an element with
// exactly one text or CDATA child gives that child's text, any other element
// fails with "Element "<name>" does not contain a single text node". Text,
// CDATA and comment nodes give their own text.
std::string XmlNodeText(XmlNode aNode);
// The same, without a copy (valid while the document lives).
std::string_view XmlNodeTextView(XmlNode aNode);

// Finds, in one pass over the children of aParent, the first child for each
// of aNames (as XmlFindChild does); aFound[i] is null where none is found.
void XmlFindChildren(XmlNode aParent, std::span<const std::string_view> aNames, std::span<XmlNode> aFound);

// A fixed set of names (at most 32, all different) to find among the
// children of elements, as XmlFindChildren finds them, with the look-up of a
// name prepared once: a request's readers keep one per kind of element.
class XmlNameSet {
 public:
  explicit XmlNameSet(std::span<const std::string_view> aNames);
  size_t Size() const { return fCount; }
  // Finds, in one pass over the children of aParent, the first child for
  // each name; aFound (of Size() nodes) is null where none is found.
  void Find(XmlNode aParent, std::span<XmlNode> aFound) const;

 private:
  // Where a search stands: a bit for each name found, and the index of the
  // name expected next.
  struct Progress {
    uint32_t fTaken;
    uint32_t fNext;
  };
  // The child aChild looked up by its name (and the part after its prefix):
  // the search's slow way, kept out of its loop.
  [[gnu::noinline]] Progress TakeByLookUp(XmlTree* aTree, uint32_t aChild, XmlNode* aFound,
                                          Progress aProgress) const;
  // Whether aName is the name at aIndex: the test of the name expected next
  // (the children of an element mostly come in the order of the set), made
  // before the look-up below with the name's words prepared.
  bool IsNameAt(size_t aIndex, std::string_view aName) const {
    const size_t n = aName.size();
    if (n != fSizes[aIndex]) return false;
    if (n - 4 <= 4)
      return Word<uint32_t>(aName, 0) == fHeads[aIndex] && Word<uint32_t>(aName, n - 4) == fTails[aIndex];
    if (n - 8 <= 8)
      return Word<uint64_t>(aName, 0) == fHeads[aIndex] && Word<uint64_t>(aName, n - 8) == fTails[aIndex];
    return aName == fNames[aIndex];
  }
  // The index of aName, or -1. A name is looked up by its key (its size,
  // first and last byte), and only a name of the same key is compared.
  int IndexOf(std::string_view aName) const {
    const uint32_t key = KeyOf(aName);
    for (size_t slot = SlotOf(key);; slot = (slot + 1) % kSlots) {
      const uint8_t entry = fSlots[slot];
      if (entry == 0) return -1;
      if (fKeys[entry - 1] == key && SameWithKey(fNames[entry - 1], aName)) return entry - 1;
    }
  }
  static uint32_t KeyOf(std::string_view aName) {
    if (aName.empty()) return 0;
    return static_cast<uint32_t>(std::min<size_t>(aName.size(), 255)) |
           uint32_t{static_cast<unsigned char>(aName.front())} << 8 |
           uint32_t{static_cast<unsigned char>(aName.back())} << 16;
  }
  static size_t SlotOf(uint32_t aKey) { return (aKey * 0x9E3779B1u) >> 26; }  // of the 64 slots
  // Whether two names of the same key are the same; a short name is
  // compared as two words that overlap where it is shorter than both.
  static bool SameWithKey(std::string_view a, std::string_view b) {
    const size_t n = a.size();
    if (n != b.size()) return false;
    if (n > 16) return a == b;
    if (n >= 8)
      return Word<uint64_t>(a, 0) == Word<uint64_t>(b, 0) &&
             Word<uint64_t>(a, n - 8) == Word<uint64_t>(b, n - 8);
    if (n >= 4)
      return Word<uint32_t>(a, 0) == Word<uint32_t>(b, 0) &&
             Word<uint32_t>(a, n - 4) == Word<uint32_t>(b, n - 4);
    return n < 3 || a[1] == b[1];  // the first and last byte are in the key
  }
  template <class T>
  static T Word(std::string_view aText, size_t aAt) {
    T word;
    std::memcpy(&word, aText.data() + aAt, sizeof word);
    return word;
  }
  static constexpr size_t kMaxNames = 32;
  static constexpr size_t kSlots = 64;
  std::string_view fNames[kMaxNames];
  // Each name's size for the test of the name expected (none for an unused
  // entry or a name of more than 255 bytes) and its first and last four
  // bytes (of a name of 4 to 8 bytes) or eight (of 8 to 16).
  size_t fSizes[kMaxNames];
  uint64_t fHeads[kMaxNames] = {};
  uint64_t fTails[kMaxNames] = {};
  uint8_t fNext[kMaxNames] = {};  // the index after each (the first after the last)
  uint32_t fKeys[kMaxNames] = {};
  uint8_t fSlots[kSlots] = {};  // index + 1 into fNames; 0: free
  size_t fCount = 0;
  uint32_t fAll = 0;  // a bit for each name
};

// A child node as read once: the node, its name as the node view names it
// and, for an element, the part of it after its last ":" (otherwise the
// name). The views are valid while the document lives.
struct kXmlChild {
  XmlNode fNode;
  std::string_view fName;
  std::string_view fLocalName;
};
// The same search over the children of a node as read before, in their
// order: no call into the document.
void XmlFindChildren(std::span<const kXmlChild> aChildren, std::span<const std::string_view> aNames,
                     std::span<XmlNode> aFound);

// Runs aRead (the reading of the node aNodeName as aKind) and answers what
// it gives; a failure in it fails with "Error in processing node <name> as
// <kind>." CR LF and the failure's own message.
template <class F>
auto XmlReadWrapped(const char* aKind, std::string_view aNodeName, F&& aRead) {
  try {
    return aRead();
  } catch (const std::exception& e) {
    throw Error("Error in processing node " + std::string(aNodeName) + " as " + aKind + ".\r\n" + e.what());
  }
}

// A child already found (null: absent), read as krptUtil's string and
// integer getters read it, with their wrapped errors.
inline std::string XmlChildAsString(XmlNode aChild, std::string_view aNodeName);
// The same string without a copy (valid while the document lives).
inline std::string_view XmlChildAsStringView(XmlNode aChild, std::string_view aNodeName);
int32_t XmlChildAsInteger(XmlNode aChild, std::string_view aNodeName);

// Date texts of the request layer (fixed positions, see the .cpp). They fail
// with "Date Format invalid: [<text>]" / "DateTime Format invalid: [<text>]".
TDateTime XmlStrToDate(std::string_view aText);
TDateTime XmlStrToDateTime(std::string_view aText);

// The common case in line: an absent child, or an element holding one text.
std::string_view XmlChildAsStringViewWrapped(XmlNode aChild, std::string_view aNodeName);
inline std::string_view XmlChildAsStringView(XmlNode aChild, std::string_view aNodeName) {
  if (!aChild) return {};
  if (aChild.Type() == XmlNodeType::Element) {
    const XmlNode first = aChild.FirstChild();
    if (!first) return {};
    const XmlNodeType type = first.Type();
    if ((type == XmlNodeType::Text || type == XmlNodeType::CData) && !first.NextSibling())
      return first.Value();
  }
  return XmlChildAsStringViewWrapped(aChild, aNodeName);
}
inline std::string XmlChildAsString(XmlNode aChild, std::string_view aNodeName) {
  return std::string(XmlChildAsStringView(aChild, aNodeName));
}

}  // namespace korvane
