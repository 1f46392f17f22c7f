// The XML view of the request parsers.
#include "device/xml_view.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <limits>
#include <pugixml.hpp>
#include <utility>
#include <vector>

#include "device/receipt_util.h"
#include "device/xml_plain_reader.h"
#include "helpers/utf.h"
#include "platform/error.h"

namespace korvane {
namespace {

// A fragment parse keeps text outside the root element as nodes of the
// document, so that it can be refused with its position.
constexpr unsigned kParseOptions = pugi::parse_default | pugi::parse_comments | pugi::parse_fragment;

// Line and column (both from 1, the column in characters) of a byte offset.
std::string Position(std::string_view aText, size_t aOffset) {
  if (aOffset > aText.size()) aOffset = aText.size();
  size_t line = 1, column = 1;
  for (size_t i = 0; i < aOffset; ++i) {
    const unsigned char c = static_cast<unsigned char>(aText[i]);
    if (c == '\n') {
      ++line;
      column = 1;
    } else if ((c & 0xC0) != 0x80) {
      ++column;
    }
  }
  return "(line " + std::to_string(line) + ", column " + std::to_string(column) + ")";
}

[[noreturn]] void Fail(std::string_view aXml, std::string_view aWhat, size_t aOffset) {
  throw Error("XML parse error: " + std::string(aWhat) + " " + Position(aXml, aOffset));
}

constexpr uint32_t kBeyondUnicode = 0x110000;

// Whether aText[aAt] starts a character reference the parser replaces
// ("&#" decimal digits ";" or "&#x" hexadecimal digits ";") naming U+0000, a
// surrogate or a value above U+10FFFF: XML has no such characters, and the
// parser would cut the text at the first or write ill-formed UTF-8 for the
// others. aCodePoint receives the value (kBeyondUnicode for any above).
bool IsForbiddenReference(std::string_view aText, size_t aAt, uint32_t& aCodePoint) {
  if (aText.compare(aAt, 2, "&#") != 0) return false;
  size_t i = aAt + 2;
  const bool hex = i < aText.size() && aText[i] == 'x';
  if (hex) ++i;
  uint32_t value = 0;
  const size_t first = i;
  for (; i < aText.size(); ++i) {
    const char c = aText[i];
    uint32_t digit;
    if (c >= '0' && c <= '9')
      digit = static_cast<uint32_t>(c - '0');
    else if (hex && (c | 0x20) >= 'a' && (c | 0x20) <= 'f')
      digit = static_cast<uint32_t>((c | 0x20) - 'a' + 10);
    else
      break;
    value = std::min(value * (hex ? 16 : 10) + digit, kBeyondUnicode);
  }
  if (i == first || i == aText.size() || aText[i] != ';') return false;  // kept as text
  aCodePoint = value;
  return value == 0 || (value >= 0xD800 && value <= 0xDFFF) || value >= kBeyondUnicode;
}

// The offset of the first forbidden character reference at or after aFrom
// (npos: none). References count in text and in quoted attribute values;
// comments, CDATA sections and processing instructions hold none.
size_t FirstForbiddenReference(std::string_view aText, size_t aFrom, uint32_t& aCodePoint) {
  const size_t n = aText.size();
  auto after = [&](size_t aStart, std::string_view aEnd) {
    const size_t end = aText.find(aEnd, aStart);
    return end == std::string_view::npos ? n : end + aEnd.size();
  };
  size_t i = aFrom;
  while ((i = aText.find_first_of("<&", i)) != std::string_view::npos) {
    if (aText[i] == '&') {
      if (IsForbiddenReference(aText, i, aCodePoint)) return i;
      ++i;
    } else if (aText.compare(i, 4, "<!--") == 0) {
      i = after(i + 4, "-->");
    } else if (aText.compare(i, 9, "<![CDATA[") == 0) {
      i = after(i + 9, "]]>");
    } else if (aText.compare(i, 2, "<?") == 0) {
      i = after(i + 2, "?>");
    } else {  // a tag, up to its ">" outside quotes
      for (++i; i < n && aText[i] != '>'; ++i) {
        const char quote = aText[i];
        if (quote != '"' && quote != '\'') continue;
        for (++i; i < n && aText[i] != quote; ++i)
          if (aText[i] == '&' && IsForbiddenReference(aText, i, aCodePoint)) return i;
        if (i == n) break;
      }
      if (i < n) ++i;
    }
  }
  return std::string_view::npos;
}

std::string ReferenceProblem(uint32_t aCodePoint) {
  if (aCodePoint >= kBeyondUnicode) return "Invalid character reference above U+10FFFF";
  char hex[8];
  std::snprintf(hex, sizeof hex, "%04X", static_cast<unsigned>(aCodePoint));
  return std::string("Invalid character reference to U+") + hex;
}

using PugiDocument = std::shared_ptr<pugi::xml_document>;

size_t NodeOffset(pugi::xml_node aNode) {
  const ptrdiff_t offset = aNode.offset_debug();
  return offset < 0 ? 0 : static_cast<size_t>(offset);
}

PugiDocument ParseValidUtf8(std::string_view aXml) {
  if (aXml.substr(0, 3) == "\xEF\xBB\xBF") aXml.remove_prefix(3);
  const size_t nul = aXml.find('\0');
  if (nul != std::string_view::npos) Fail(aXml, "Invalid character U+0000", nul);
  auto doc = std::make_shared<pugi::xml_document>();
  const pugi::xml_parse_result result =
      doc->load_buffer(aXml.data(), aXml.size(), kParseOptions, pugi::encoding_utf8);
  if (!result) Fail(aXml, result.description(), static_cast<size_t>(result.offset));

  // One element at the top, and beside it only white space, the declaration,
  // comments, processing instructions and a document type.
  pugi::xml_node root;
  size_t problemAt = std::string_view::npos;
  std::string problem;
  for (pugi::xml_node child : doc->children()) {
    if (child.type() == pugi::node_element) {
      if (!root) {
        root = child;
        continue;
      }
      problem = "Only one top level element is allowed";
      problemAt = NodeOffset(child) - 1;  // its "<"
      break;
    }
    if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) {
      problem = "Text outside the root element is not allowed";
      if (child.type() == pugi::node_cdata) {
        problemAt = NodeOffset(child) - 9;  // its "<![CDATA["
      } else {
        problemAt = aXml.find_first_not_of(" \t\r\n", NodeOffset(child));
        if (problemAt == std::string_view::npos) problemAt = NodeOffset(child);
      }
      break;
    }
  }
  if (!root && problemAt == std::string_view::npos) Fail(aXml, "No document element found", aXml.size());

  // Character references from the root element on (before it stand only
  // the prolog's parts, which the parser skips or keeps unreplaced).
  if (root && aXml.find("&#") != std::string_view::npos) {
    uint32_t codePoint = 0;
    const size_t at = FirstForbiddenReference(aXml.substr(0, problemAt), NodeOffset(root) - 1, codePoint);
    if (at != std::string_view::npos) Fail(aXml, ReferenceProblem(codePoint), at);
  }
  if (problemAt != std::string_view::npos) Fail(aXml, problem, problemAt);
  return doc;
}

// A document parsed in place from the text it keeps.
struct InPlaceDocument {
  std::string fText;
  pugi::xml_document fDocument;
};

// aText parsed in place, without a copy, when it is a well-formed document
// of one root element, free of what ParseValidUtf8 looks at in the text
// itself (U+0000, character references); nothing otherwise, and then the
// parse has changed aText's bytes and the text must be made again for
// ParseValidUtf8 to give the message. A byte order mark is passed over as
// ParseValidUtf8 passes over it.
PugiDocument ParseInPlace(std::string&& aText, bool& aTextChanged) {
  aTextChanged = false;
  const std::string_view text = aText;
  if (text.find('\0') != std::string_view::npos || text.find("&#") != std::string_view::npos) return nullptr;
  const size_t mark = text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
  auto owner = std::make_shared<InPlaceDocument>();
  owner->fText = std::move(aText);
  aTextChanged = true;
  // The parser takes the buffer's last byte for its own terminator: handed
  // the text alone, it would lose the text's last character, and with it a
  // one-character text after the root element. Handed the terminator too,
  // as the copying parse hands it, it sees every character of the text.
  owner->fText.push_back('\0');
  if (!owner->fDocument.load_buffer_inplace(owner->fText.data() + mark, owner->fText.size() - mark,
                                            kParseOptions, pugi::encoding_utf8))
    return nullptr;
  bool root = false;
  for (pugi::xml_node child = owner->fDocument.first_child(); child; child = child.next_sibling()) {
    const pugi::xml_node_type type = child.type();
    if (type == pugi::node_element) {
      if (root) return nullptr;  // a second one
      root = true;
    } else if (type == pugi::node_pcdata || type == pugi::node_cdata) {
      return nullptr;
    }
  }
  if (!root) return nullptr;
  return PugiDocument(owner, &owner->fDocument);
}

// The tree of a document the full parser read.
kXmlDocument TreeOf(const pugi::xml_document& aDocument) {
  kXmlDocument tree = NewXmlTree();
  // Depth first, children in order, without recursion.
  pugi::xml_node node = aDocument.first_child();
  uint32_t parent = XmlTree::kDocument;
  while (node) {
    XmlNodeType type;
    switch (node.type()) {
      case pugi::node_element: type = XmlNodeType::Element; break;
      case pugi::node_pcdata: type = XmlNodeType::Text; break;
      case pugi::node_cdata: type = XmlNodeType::CData; break;
      case pugi::node_comment: type = XmlNodeType::Comment; break;
      default: type = XmlNodeType::Document; break;  // a kind the options never make
    }
    if (type != XmlNodeType::Document) {
      const uint32_t index = tree->AppendNode(parent, type);
      const std::string_view text = type == XmlNodeType::Element ? node.name() : node.value();
      tree->SetText(index, text);
      if (type == XmlNodeType::Element) {
        const size_t colon = text.rfind(':');
        if (colon != std::string_view::npos) tree->SetLocalNameFrom(index, colon + 1);
      }
      for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute())
        tree->AppendAttribute(index, a.name(), a.value());
      if (type == XmlNodeType::Element && node.first_child()) {
        node = node.first_child();
        parent = index;
        continue;
      }
    }
    while (!node.next_sibling() && node.parent() != aDocument) {
      node = node.parent();
      parent = tree->ParentOf(parent);
    }
    node = node.next_sibling();
  }
  return tree;
}

}  // namespace

namespace {

// The full way for a text the plain reader leaves (apart, so that the usual
// request does not set up this one's locals).
[[gnu::noinline]] kXmlDocument ParseFullXml(std::u16string_view aXml) {
  // A byte order mark stays in the text: the parse passes over it as it does
  // in a UTF-8 text, so that both entries give one answer.
  std::string text;
  try {
    text = platform::Utf16ToUtf8(aXml);
  } catch (const Error& e) {
    // Where the first lone surrogate stands (line, and column in UTF-16 units
    // after a byte order mark).
    const std::u16string_view body = aXml.substr(!aXml.empty() && aXml.front() == u'\xFEFF' ? 1 : 0);
    size_t line = 1, column = 1;
    for (size_t i = 0; i < body.size(); ++i) {
      const char16_t c = body[i];
      const bool high = c >= 0xD800 && c <= 0xDBFF;
      if (high && i + 1 < body.size() && body[i + 1] >= 0xDC00 && body[i + 1] <= 0xDFFF) {
        ++i;
        column += 2;
        continue;
      }
      if (c >= 0xD800 && c <= 0xDFFF) break;
      if (c == u'\n') {
        ++line;
        column = 1;
      } else {
        ++column;
      }
    }
    throw Error(std::string("XML parse error: ") + e.what() + " (line " + std::to_string(line) + ", column " +
                std::to_string(column) + ")");
  }
  // The common case without a copy; anything to report goes the way that
  // finds and places it.
  bool textChanged = false;
  if (PugiDocument doc = ParseInPlace(std::move(text), textChanged)) return TreeOf(*doc);
  if (textChanged) text = platform::Utf16ToUtf8(aXml);
  return TreeOf(*ParseValidUtf8(text));
}

}  // namespace

kXmlDocument ParseXmlDocument(std::u16string_view aXml) {
  if (kXmlDocument tree = ReadPlainXml(aXml)) return tree;
  return ParseFullXml(aXml);
}

kXmlDocument ParseXmlDocumentUtf8(std::string_view aXml) {
  const size_t bad = platform::InvalidUtf8Offset(aXml);
  if (bad != std::string_view::npos)
    throw Error("XML parse error: Invalid UTF-8 text at byte " + std::to_string(bad));
  return TreeOf(*ParseValidUtf8(aXml));
}

std::string XmlNodeName(XmlNode aNode) { return std::string(XmlNodeNameView(aNode)); }

std::string_view XmlNodeNameView(XmlNode aNode) {
  switch (aNode.Type()) {
    case XmlNodeType::Text: return "#text";
    case XmlNodeType::CData: return "#cdata-section";
    case XmlNodeType::Comment: return "#comment";
    case XmlNodeType::Document: return "#document";
    default: return aNode.Name();
  }
}

bool XmlNameMatches(std::string_view aNodeName, std::string_view aName) {
  const std::string_view name = aNodeName;
  if (SameName(name, aName)) return true;
  // The part after the last ":": the name ends in ":" aName, and aName holds
  // no ":".
  if (name.size() <= aName.size() || name[name.size() - aName.size() - 1] != ':') return false;
  return name.substr(name.size() - aName.size()) == aName && aName.find(':') == std::string_view::npos;
}

XmlNode XmlFindChild(XmlNode aParent, std::string_view aName) {
  for (XmlNode child = aParent.FirstChild(); child; child = child.NextSibling()) {
    if (child.Type() == XmlNodeType::Element) {
      if (XmlNameMatches(child.Name(), aName)) return child;
    } else if (XmlNodeNameView(child) == aName) {
      return child;
    }
  }
  return {};
}

namespace {

// The search of XmlFindChildren over the children aForEach hands to the
// function it is given (the child, its name and the part of it after a ":",
// the same view when there is none); that function returns false once all
// are found.
template <class TForEach>
void FindChildren(TForEach&& aForEach, std::span<const std::string_view> aNames, std::span<XmlNode> aFound) {
  const XmlNode none;
  std::fill(aFound.begin(), aFound.end(), none);
  if (aNames.empty()) return;
  // A few names (the envelope's, a document's): each child is compared only
  // with the names still missing whose length (modulo 32) is its own.
  if (aNames.size() <= 16) {
    uint32_t byLength[32] = {};
    for (size_t i = 0; i < aNames.size(); ++i) byLength[aNames[i].size() & 31] |= uint32_t{1} << i;
    uint32_t missing = (uint32_t{1} << aNames.size()) - 1;
    auto take = [&](std::string_view aName, XmlNode aChild) {
      for (uint32_t candidates = byLength[aName.size() & 31] & missing; candidates != 0;
           candidates &= candidates - 1) {
        const size_t i = static_cast<size_t>(__builtin_ctz(candidates));
        if (SameName(aNames[i], aName)) {
          aFound[i] = aChild;
          missing &= ~(uint32_t{1} << i);
        }
      }
    };
    aForEach([&](XmlNode aChild, std::string_view aName, std::string_view aLocal) {
      take(aName, aChild);
      if (aLocal.size() != aName.size()) take(aLocal, aChild);
      return missing != 0;
    });
    return;
  }
  // Up to 64 names: each child is compared only with the names of its
  // length still missing, a set of bits per length (lengths from 63 on
  // share one set). Only the sets of the lengths present are filled.
  constexpr size_t kLastLength = 63;
  const bool bits = aNames.size() <= 64;
  uint64_t byLength[kLastLength + 1];
  uint64_t lengths = 0;  // bit n: byLength[n] holds names
  uint64_t missingBits = 0;
  std::vector<bool> found;
  if (bits) {
    for (size_t i = 0; i < aNames.size(); ++i) {
      const size_t length = std::min(aNames[i].size(), kLastLength);
      if ((lengths >> length & 1) == 0) byLength[length] = 0;
      lengths |= uint64_t{1} << length;
      byLength[length] |= uint64_t{1} << i;
      missingBits |= uint64_t{1} << i;
    }
  } else {
    found.assign(aNames.size(), false);
  }
  size_t missing = aNames.size();
  // Finds aName among the missing names; the first one that matches.
  auto take = [&](std::string_view aName, XmlNode aChild) {
    if (bits) {
      const size_t length = std::min(aName.size(), kLastLength);
      if ((lengths >> length & 1) == 0) return;
      for (uint64_t candidates = byLength[length] & missingBits; candidates != 0;
           candidates &= candidates - 1) {
        const size_t i = static_cast<size_t>(__builtin_ctzll(candidates));
        if (SameName(aNames[i], aName)) {
          aFound[i] = aChild;
          missingBits &= ~(uint64_t{1} << i);
          --missing;
        }
      }
      return;
    }
    for (size_t i = 0; i < aNames.size(); ++i)
      if (!found[i] && SameName(aNames[i], aName)) {
        aFound[i] = aChild;
        found[i] = true;
        --missing;
      }
  };
  if (missing == 0) return;
  aForEach([&](XmlNode aChild, std::string_view aName, std::string_view aLocal) {
    take(aName, aChild);
    if (aLocal.size() != aName.size()) take(aLocal, aChild);
    return missing > 0;
  });
}

}  // namespace

void XmlFindChildren(XmlNode aParent, std::span<const std::string_view> aNames, std::span<XmlNode> aFound) {
  auto forEach = [&](auto&& aVisit) {
    for (XmlNode child = aParent.FirstChild(); child; child = child.NextSibling()) {
      if (child.Type() == XmlNodeType::Element) {
        if (!aVisit(child, child.Name(), child.LocalName())) return;
      } else {
        const std::string_view name = XmlNodeNameView(child);
        if (!aVisit(child, name, name)) return;
      }
    }
  };
  FindChildren(forEach, aNames, aFound);
}

XmlNameSet::XmlNameSet(std::span<const std::string_view> aNames) : fCount(aNames.size()) {
  if (aNames.size() > kMaxNames) throw Error("Too many names for one set");
  std::fill(std::begin(fSizes), std::end(fSizes), std::numeric_limits<size_t>::max());
  fAll = fCount == kMaxNames ? ~uint32_t{0} : (uint32_t{1} << fCount) - 1;
  for (size_t i = 0; i < aNames.size(); ++i) {
    if (IndexOf(aNames[i]) >= 0) throw Error("The name " + std::string(aNames[i]) + " is in the set twice");
    const std::string_view name = aNames[i];
    const size_t n = name.size();
    fNames[i] = name;
    // A name of more than 255 bytes is never expected: it is looked up, as
    // its part after a ":" past those bytes is.
    if (n <= 255) fSizes[i] = n;
    if (n - 4 <= 4) {
      fHeads[i] = Word<uint32_t>(name, 0);
      fTails[i] = Word<uint32_t>(name, n - 4);
    } else if (n - 8 <= 8) {
      fHeads[i] = Word<uint64_t>(name, 0);
      fTails[i] = Word<uint64_t>(name, n - 8);
    }
    fNext[i] = static_cast<uint8_t>(i + 1 < fCount ? i + 1 : 0);
    fKeys[i] = KeyOf(name);
    size_t slot = SlotOf(fKeys[i]);
    while (fSlots[slot] != 0) slot = (slot + 1) % kSlots;
    fSlots[slot] = static_cast<uint8_t>(i + 1);
  }
}

XmlNameSet::Progress XmlNameSet::TakeByLookUp(XmlTree* aTree, uint32_t aChild, XmlNode* aFound,
                                              Progress aProgress) const {
  auto take = [&](size_t aIndex) {
    const uint32_t bit = uint32_t{1} << aIndex;
    if (aProgress.fTaken & bit) return;
    aProgress.fTaken |= bit;
    aFound[aIndex] = XmlNode(aTree, aChild);
  };
  const XmlTree::Node& node = aTree->fNodes[aChild];
  if (node.fType != XmlNodeType::Element) {
    const int i = IndexOf(XmlNodeNameView(XmlNode(aTree, aChild)));
    if (i >= 0) take(static_cast<size_t>(i));
    return aProgress;
  }
  const std::string_view name = aTree->TextOf(aChild);
  if (const int i = IndexOf(name); i >= 0) {
    take(static_cast<size_t>(i));
    aProgress.fNext = fNext[i];
  }
  if (node.fLocalFrom != 0 || node.fTextSize > 255) {
    const std::string_view local = XmlNode(aTree, aChild).LocalName();
    if (local.size() != name.size()) {
      const int i = IndexOf(local);
      if (i >= 0) take(static_cast<size_t>(i));
    }
  }
  return aProgress;
}

void XmlNameSet::Find(XmlNode aParent, std::span<XmlNode> aFound) const {
  XmlTree* const tree = aParent.fTree;
  XmlNode* const found = aFound.data();
  // In locals: a store to aFound could change any member as far as the
  // compiler knows.
  const uint32_t all = fAll;
  Progress progress{0, 0};
  // Straight over the tree's nodes: this runs for every element of every
  // request that is searched. An element named plainly (no prefix) is first
  // tried as the name after the one last found and the name after that
  // (children mostly come in the set's order); any other child is looked up
  // by its key, out of line.
  const XmlTree::Node* const nodes = tree->fNodes.get();
  const char* const text = tree->fText.data();
  for (uint32_t child = nodes[aParent.fIndex].fFirstChild; child != 0 && progress.fTaken != all;
       child = nodes[child].fNextSibling) {
    const XmlTree::Node& node = nodes[child];
    if (node.fType == XmlNodeType::Element && node.fLocalFrom == 0) {
      const std::string_view name(text + node.fTextAt, node.fTextSize);
      // The name expected, or the one after it (a name left out between).
      uint32_t i = progress.fNext;
      if (IsNameAt(i, name) || IsNameAt(i = fNext[i], name)) {
        const uint32_t bit = uint32_t{1} << i;
        if (!(progress.fTaken & bit)) {
          progress.fTaken |= bit;
          found[i] = XmlNode(tree, child);
        }
        progress.fNext = fNext[i];
        continue;
      }
    }
    progress = TakeByLookUp(tree, child, found, progress);
  }
  // The names not found, and any room past the set's names, get none.
  for (uint32_t missing = all & ~progress.fTaken; missing != 0; missing &= missing - 1)
    found[std::countr_zero(missing)] = XmlNode();
  for (size_t i = fCount; i < aFound.size(); ++i) found[i] = XmlNode();
}

void XmlFindChildren(std::span<const kXmlChild> aChildren, std::span<const std::string_view> aNames,
                     std::span<XmlNode> aFound) {
  auto forEach = [&](auto&& aVisit) {
    for (const kXmlChild& child : aChildren)
      if (!aVisit(child.fNode, child.fName, child.fLocalName)) return;
  };
  FindChildren(forEach, aNames, aFound);
}

std::string_view XmlNodeTextView(XmlNode aNode) {
  if (aNode.Type() != XmlNodeType::Element) return aNode.Value();
  const XmlNode first = aNode.FirstChild();
  if (!first) return {};
  if (!first.NextSibling()) {
    const XmlNodeType type = first.Type();
    if (type == XmlNodeType::Text || type == XmlNodeType::CData) return first.Value();
  }
  throw Error("Element \"" + std::string(aNode.Name()) + "\" does not contain a single text node");
}

std::string XmlNodeText(XmlNode aNode) { return std::string(XmlNodeTextView(aNode)); }

std::string_view XmlChildAsStringViewWrapped(XmlNode aChild, std::string_view aNodeName) {
  if (!aChild) return {};
  return XmlReadWrapped("string", aNodeName, [&] { return XmlNodeTextView(aChild); });
}

int32_t XmlChildAsInteger(XmlNode aChild, std::string_view aNodeName) {
  if (!aChild) return 0;
  // The usual number (a handle, a time-out): up to nine decimal digits, read
  // in line; anything else the way below, which reads these the same.
  if (aChild.Type() == XmlNodeType::Element) {
    const XmlNode first = aChild.FirstChild();
    if (first && first.Type() == XmlNodeType::Text && !first.NextSibling()) {
      const std::string_view text = first.Value();
      int32_t value = 0;
      size_t i = 0;
      for (; i < text.size() && i < 9 && text[i] >= '0' && text[i] <= '9'; ++i)
        value = value * 10 + (text[i] - '0');
      if (i == text.size() && i > 0) return value;
    }
  }
  return XmlReadWrapped("integer", aNodeName, [&] {
    const std::string_view text = XmlNodeTextView(aChild);
    return text.empty() ? 0 : krptUtil::StrToInt(text);
  });
}

namespace {

// Characters aFrom..aFrom+aCount-1 (counted from 1, in UTF-16 code units) of
// aText; shorter or empty where aText ends first.
std::string Copy(const std::u16string& aText, size_t aFrom, size_t aCount) {
  if (aFrom > aText.size()) return {};
  std::u16string_view part = std::u16string_view(aText).substr(aFrom - 1, aCount);
  // A surrogate cut in half cannot be a digit; a lone one fails as any bad text.
  for (char16_t c : part)
    if (c >= 0xD800 && c <= 0xDFFF) return "?";
  return platform::Utf16ToUtf8(part);
}

bool DatePart(const std::u16string& aText, int& aYear, int& aMonth, int& aDay) {
  int32_t y = 0, m = 0, d = 0;
  if (!krptUtil::TryStrToInt(Copy(aText, 1, 4), y) || !krptUtil::TryStrToInt(Copy(aText, 6, 2), m) ||
      !krptUtil::TryStrToInt(Copy(aText, 9, 2), d) || !IsValidDate(y, m, d))
    return false;
  aYear = y;
  aMonth = m;
  aDay = d;
  return true;
}

}  // namespace

// Year = characters 1-4, month = 6-7, day = 9-10 (integer texts); the
// characters between them may be anything, and what follows is ignored.
TDateTime XmlStrToDate(std::string_view aText) {
  const std::u16string text = platform::Utf8ToUtf16(aText);
  int y = 0, m = 0, d = 0;
  if (!DatePart(text, y, m, d)) throw Error("Date Format invalid: [" + std::string(aText) + "]");
  return EncodeDate(y, m, d);
}

// The date as XmlStrToDate, then hour = 12-13, minute = 15-16, second = 18-19
// and milliseconds = 21-23 (a missing or unreadable part gives 0). A zone
// suffix is not applied.
TDateTime XmlStrToDateTime(std::string_view aText) {
  const std::u16string text = platform::Utf8ToUtf16(aText);
  int y = 0, m = 0, d = 0;
  int32_t hour = 0, minute = 0, second = 0, ms = 0;
  if (!DatePart(text, y, m, d) || !krptUtil::TryStrToInt(Copy(text, 12, 2), hour) ||
      !krptUtil::TryStrToInt(Copy(text, 15, 2), minute) || !krptUtil::TryStrToInt(Copy(text, 18, 2), second))
    throw Error("DateTime Format invalid: [" + std::string(aText) + "]");
  if (!krptUtil::TryStrToInt(Copy(text, 21, 3), ms)) ms = 0;
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || ms < 0 || ms > 999)
    throw Error("DateTime Format invalid: [" + std::string(aText) + "]");
  const TDateTime date = EncodeDate(y, m, d);
  const TDateTime time = EncodeTime(hour, minute, second, ms);
  return date >= 0 ? date + time : date - time;
}

}  // namespace korvane
