// The parsed form of a request.
#include "device/xml_tree.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>

#include "helpers/error.h"

namespace korvane {
namespace {

constexpr size_t kMaxOffset = std::numeric_limits<uint32_t>::max();

uint32_t Offset(size_t aValue) {
  if (aValue > kMaxOffset) throw Error("The request is too large");
  return static_cast<uint32_t>(aValue);
}

}  // namespace

// ---- nodes and attributes ---------------------------------------------------

std::string_view XmlAttribute::Name() const {
  const XmlTree::Attribute& a = fTree->fAttributes[fIndex];
  return fTree->TextAt(a.fNameAt, a.fNameSize);
}

std::string_view XmlAttribute::Value() const {
  const XmlTree::Attribute& a = fTree->fAttributes[fIndex];
  return fTree->TextAt(a.fValueAt, a.fValueSize);
}

XmlAttribute XmlAttribute::NextAttribute() const { return {fTree, fTree->fAttributes[fIndex].fNext}; }

XmlNode XmlNode::Parent() const {
  if (fIndex == XmlTree::kDocument) return {};
  return {fTree, fTree->fNodes[fIndex].fParent};
}

XmlNode XmlNode::LastChild() const {
  const uint32_t child = fTree->fNodes[fIndex].fLastChild;
  return child ? XmlNode(fTree, child) : XmlNode();
}

XmlAttribute XmlNode::FirstAttribute() const { return {fTree, fTree->fNodes[fIndex].fFirstAttribute}; }

void XmlNode::SetValue(std::string_view aValue) const {
  const XmlNodeType type = Type();
  if (type == XmlNodeType::Element || type == XmlNodeType::Document)
    throw Error("Only a text, CDATA or comment node holds a value");
  fTree->SetText(fIndex, aValue);
}

// ---- the tree ---------------------------------------------------------------

XmlTree::XmlTree() : fNodes(new Node[1]), fNodeCount(1), fNodeRoom(1), fAttributes(1) {}

XmlNode XmlTree::DocumentElement() {
  for (uint32_t child = fNodes[kDocument].fFirstChild; child; child = fNodes[child].fNextSibling)
    if (fNodes[child].fType == XmlNodeType::Element) return {this, child};
  return {};
}

void XmlTree::Clear() {
  fNodeCount = 1;
  fNodes[kDocument] = Node();
  fAttributes.resize(1);
  fTextSize = 0;
}

size_t XmlTree::Capacity() const {
  return fNodeRoom * sizeof(Node) + fAttributes.capacity() * sizeof(Attribute) + fText.capacity();
}

void XmlTree::GrowNodes(size_t aMore) {
  const size_t room = std::max(fNodeRoom * 2, fNodeCount + aMore);
  std::unique_ptr<Node[]> nodes(new Node[room]);
  std::copy_n(fNodes.get(), fNodeCount, nodes.get());
  fNodes = std::move(nodes);
  fNodeRoom = room;
}

void XmlTree::TooLarge() { throw Error("The request is too large"); }

void XmlTree::GrowText(size_t aMore) { fText.resize(fTextSize + aMore); }

uint32_t XmlTree::Store(std::string_view aText) {
  const uint32_t at = Offset(fTextSize);
  Offset(fTextSize + aText.size());
  char* text = ReserveText(aText.size());
  if (!aText.empty()) std::memcpy(text + fTextSize, aText.data(), aText.size());
  fTextSize += aText.size();
  return at;
}

void XmlTree::SetText(uint32_t aNode, std::string_view aText) {
  const uint32_t at = Store(aText);
  fNodes[aNode].fTextAt = at;
  fNodes[aNode].fTextSize = static_cast<uint32_t>(aText.size());
}

void XmlTree::AppendAttribute(uint32_t aNode, std::string_view aName, std::string_view aValue) {
  const uint32_t nameAt = Store(aName);
  const uint32_t valueAt = Store(aValue);
  AppendAttributeRange(aNode, nameAt, aName.size(), valueAt, aValue.size());
}

void XmlTree::AppendAttributeRange(uint32_t aNode, size_t aNameAt, size_t aNameSize, size_t aValueAt,
                                   size_t aValueSize) {
  Attribute attribute;
  attribute.fNameAt = Offset(aNameAt);
  attribute.fNameSize = Offset(aNameSize);
  attribute.fValueAt = Offset(aValueAt);
  attribute.fValueSize = Offset(aValueSize);
  const uint32_t index = Offset(fAttributes.size());
  fAttributes.push_back(attribute);
  Node& node = fNodes[aNode];
  if (node.fLastAttribute)
    fAttributes[node.fLastAttribute].fNext = index;
  else
    node.fFirstAttribute = index;
  node.fLastAttribute = index;
}

namespace {

// The tree kept from one request to the next (a pointer with nothing to
// destroy, so that it serves until the module's very end; the library frees
// the tree it holds when it is unloaded).
constexpr size_t kMaxKeptBytes = 256 * 1024;
std::atomic<XmlTree*> gSpareTree{nullptr};

}  // namespace

void XmlTreeRelease::operator()(XmlTree* aTree) const {
  XmlTree* none = nullptr;
  if (aTree->Capacity() > kMaxKeptBytes || !gSpareTree.compare_exchange_strong(none, aTree)) delete aTree;
}

void ReleaseKeptXmlTree() { delete gSpareTree.exchange(nullptr); }

XmlTreeHandle NewXmlTree() {
  if (XmlTree* spare = gSpareTree.exchange(nullptr)) {
    spare->Clear();
    return XmlTreeHandle(spare);
  }
  return XmlTreeHandle(new XmlTree());
}

namespace {

void AppendEscaped(std::string& aOut, std::string_view aText) {
  for (const char c : aText) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || c == '\\' || c == '"') {
      static constexpr char kHex[] = "0123456789abcdef";
      aOut += "\\x";
      aOut += kHex[u >> 4];
      aOut += kHex[u & 15];
    } else {
      aOut += c;
    }
  }
}

}  // namespace

std::string XmlTree::Outline() {
  static constexpr const char* kKinds[] = {"document", "element", "text", "cdata", "comment"};
  std::string out;
  // Depth first, children in order, without recursion.
  uint32_t depth = 0;
  uint32_t node = kDocument;
  for (;;) {
    const Node& n = fNodes[node];
    out.append(depth * 2, ' ');
    out += kKinds[static_cast<size_t>(n.fType)];
    out += " \"";
    AppendEscaped(out, TextAt(n.fTextAt, n.fTextSize));
    out += '"';
    for (uint32_t a = n.fFirstAttribute; a; a = fAttributes[a].fNext) {
      out += " \"";
      AppendEscaped(out, TextAt(fAttributes[a].fNameAt, fAttributes[a].fNameSize));
      out += "\"=\"";
      AppendEscaped(out, TextAt(fAttributes[a].fValueAt, fAttributes[a].fValueSize));
      out += '"';
    }
    out += '\n';
    if (n.fFirstChild) {
      node = n.fFirstChild;
      ++depth;
      continue;
    }
    while (node != kDocument && !fNodes[node].fNextSibling) {
      node = fNodes[node].fParent;
      --depth;
    }
    if (node == kDocument) break;
    node = fNodes[node].fNextSibling;
  }
  return out;
}

}  // namespace korvane
