// The parsed form of a request: a tree of elements, texts, CDATA sections
// and comments, held in three arrays (nodes, attributes, their texts in
// UTF-8). Both readers of request text build it: the plain reader for the
// usual request and the full XML parser for everything else.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

enum class XmlNodeType : uint8_t { Document, Element, Text, CData, Comment };

class XmlTree;

class XmlAttribute {
 public:
  XmlAttribute() = default;
  explicit operator bool() const { return fTree != nullptr; }
  std::string_view Name() const;
  std::string_view Value() const;
  XmlAttribute NextAttribute() const;

 private:
  friend class XmlNode;
  XmlAttribute(const XmlTree* aTree, uint32_t aIndex) : fTree(aIndex ? aTree : nullptr), fIndex(aIndex) {}
  const XmlTree* fTree = nullptr;
  uint32_t fIndex = 0;
};

// A node of a tree, or none (false). Valid while its tree lives; the views
// it gives are valid until the tree is changed.
class XmlNode {
 public:
  XmlNode() = default;
  explicit operator bool() const { return fTree != nullptr; }
  inline XmlNodeType Type() const;
  // An element's name; empty for the other kinds.
  inline std::string_view Name() const;
  // The part of an element's name after its last ":" (the whole name
  // without one); empty for the other kinds.
  inline std::string_view LocalName() const;
  // The text of a text, CDATA or comment node; empty for the other kinds.
  inline std::string_view Value() const;
  XmlNode Parent() const;
  inline XmlNode FirstChild() const;
  XmlNode LastChild() const;
  inline XmlNode NextSibling() const;
  XmlAttribute FirstAttribute() const;
  // Replaces the text of a text, CDATA or comment node.
  void SetValue(std::string_view aValue) const;

  friend bool operator==(const XmlNode&, const XmlNode&) = default;

 private:
  friend class XmlTree;
  friend class XmlNameSet;
  XmlNode(XmlTree* aTree, uint32_t aIndex) : fTree(aTree), fIndex(aIndex) {}
  XmlTree* fTree = nullptr;
  uint32_t fIndex = 0;
};

class XmlTree {
 public:
  // The index of the document node, the parent of the top level.
  static constexpr uint32_t kDocument = 0;

  XmlTree();

  XmlNode Document() { return {this, kDocument}; }
  // The first element at the top level; none when there is none.
  XmlNode DocumentElement();

  // Building. A node goes after the last child of aParent; texts are
  // appended to the tree's text (AppendText) or given whole.
  uint32_t AppendNode(uint32_t aParent, XmlNodeType aType) {
    if (fNodeCount >= kMaxNodes) TooLarge();
    if (fNodeCount == fNodeRoom) GrowNodes(1);
    const uint32_t index = static_cast<uint32_t>(fNodeCount++);
    Node& node = fNodes[index];
    node = Node();
    node.fType = aType;
    node.fParent = aParent;
    Node& parent = fNodes[aParent];
    (parent.fLastChild ? fNodes[parent.fLastChild].fNextSibling : parent.fFirstChild) = index;
    parent.fLastChild = index;
    return index;
  }
  // How many nodes can be appended without the tree growing; room for
  // aMore of them at least.
  size_t NodeRoomLeft() const { return fNodeRoom - fNodeCount; }
  void GrowNodes(size_t aMore);
  // The same as AppendNode where there is room, for a reader that keeps the
  // links itself and gives the text at once: aPrevious is the last child of
  // aParent so far (0: none, the new node is its first). Such a reader notes
  // each element's last child once the element is complete (SetLastChild),
  // keeps within kMaxNodes and gives offsets within 32 bits.
  uint32_t AppendNodeAfter(uint32_t aParent, uint32_t aPrevious, XmlNodeType aType, size_t aTextAt,
                           size_t aTextSize) {
    Node* const nodes = fNodes.get();
    const uint32_t index = static_cast<uint32_t>(fNodeCount++);
    nodes[index] = Node{.fTextAt = static_cast<uint32_t>(aTextAt),
                        .fTextSize = static_cast<uint32_t>(aTextSize),
                        .fParent = aParent,
                        .fType = aType};
    (aPrevious ? nodes[aPrevious].fNextSibling : nodes[aParent].fFirstChild) = index;
    return index;
  }
  void SetLastChild(uint32_t aNode, uint32_t aChild) { fNodes[aNode].fLastChild = aChild; }
  void SetText(uint32_t aNode, std::string_view aText);
  // Notes where the local part of the element aNode's name begins (after
  // its last ":"); a name without one needs no note.
  void SetLocalNameFrom(uint32_t aNode, size_t aFrom) {
    fNodes[aNode].fLocalFrom = aFrom <= 255 ? static_cast<uint8_t>(aFrom) : 0;
  }
  // aAt and aSize within the text written (ReserveText).
  void SetTextRange(uint32_t aNode, size_t aAt, size_t aSize) {
    fNodes[aNode].fTextAt = static_cast<uint32_t>(aAt);
    fNodes[aNode].fTextSize = static_cast<uint32_t>(aSize);
  }
  void AppendAttribute(uint32_t aNode, std::string_view aName, std::string_view aValue);
  // The same with name and value within the text written (ReserveText).
  void AppendAttributeRange(uint32_t aNode, size_t aNameAt, size_t aNameSize, size_t aValueAt,
                            size_t aValueSize);
  uint32_t ParentOf(uint32_t aNode) const { return fNodes[aNode].fParent; }
  // An element's name, the text of the other kinds.
  std::string_view TextOf(uint32_t aNode) const {
    return TextAt(fNodes[aNode].fTextAt, fNodes[aNode].fTextSize);
  }
  // The texts of all nodes, for a reader that writes them in place: at most
  // aMore bytes are written after TextSize() before the next Commit, whose
  // size is at most 2^32 - 1.
  char* ReserveText(size_t aMore) {
    if (fText.size() < fTextSize + aMore) GrowText(aMore);
    return fText.data();
  }
  size_t TextSize() const { return fTextSize; }
  void CommitText(size_t aSize) { fTextSize = aSize; }
  std::string_view TextAt(size_t aAt, size_t aSize) const { return {fText.data() + aAt, aSize}; }
  void Reserve(size_t aNodes, size_t aTextBytes) {
    if (aNodes > fNodeRoom) GrowNodes(aNodes - fNodeCount);
    if (aTextBytes > fText.capacity()) fText.reserve(aTextBytes);
  }
  // Back to the document node alone, keeping the room taken.
  void Clear();
  // The bytes the tree holds room for.
  size_t Capacity() const;

  // Every node in document order, one per line with its depth, kind, name,
  // attributes and text (escaped): a form to compare two trees by.
  std::string Outline();

 private:
  friend class XmlNode;
  friend class XmlAttribute;
  friend class XmlNameSet;
  struct Node {
    uint32_t fTextAt = 0;  // the name of an element, the text of the others
    uint32_t fTextSize = 0;
    uint32_t fParent = 0;
    uint32_t fFirstChild = 0;  // 0: none (the document is nobody's child)
    uint32_t fLastChild = 0;
    uint32_t fNextSibling = 0;
    uint32_t fFirstAttribute = 0;  // 0: none (entry 0 is not an attribute)
    uint32_t fLastAttribute = 0;
    XmlNodeType fType = XmlNodeType::Document;
    uint8_t fLocalFrom = 0;  // where the local part of an element's name begins (0: none past 255)
  };
  struct Attribute {
    uint32_t fNameAt = 0, fNameSize = 0, fValueAt = 0, fValueSize = 0;
    uint32_t fNext = 0;
  };
  static constexpr size_t kMaxNodes = UINT32_MAX;
  [[noreturn]] static void TooLarge();
  void GrowText(size_t aMore);
  uint32_t Store(std::string_view aText);

  std::unique_ptr<Node[]> fNodes;  // fNodeCount in use, room for fNodeRoom
  size_t fNodeCount = 0;
  size_t fNodeRoom = 0;
  std::vector<Attribute> fAttributes;
  std::string fText;  // of which the first fTextSize bytes are in use
  size_t fTextSize = 0;
};

// ---- the node's accessors, used in every search of a request ------------------

inline XmlNodeType XmlNode::Type() const { return fTree->fNodes[fIndex].fType; }

inline std::string_view XmlNode::Name() const {
  const XmlTree::Node& n = fTree->fNodes[fIndex];
  return n.fType == XmlNodeType::Element ? fTree->TextAt(n.fTextAt, n.fTextSize) : std::string_view();
}

inline std::string_view XmlNode::LocalName() const {
  const XmlTree::Node& n = fTree->fNodes[fIndex];
  if (n.fType != XmlNodeType::Element) return {};
  if (n.fLocalFrom != 0) return fTree->TextAt(n.fTextAt + n.fLocalFrom, n.fTextSize - n.fLocalFrom);
  const std::string_view name = fTree->TextAt(n.fTextAt, n.fTextSize);
  // A ":" past the first 255 bytes is looked for here (such names are rare).
  if (n.fTextSize > 255) {
    const size_t colon = name.rfind(':');
    if (colon != std::string_view::npos) return name.substr(colon + 1);
  }
  return name;
}

inline std::string_view XmlNode::Value() const {
  const XmlTree::Node& n = fTree->fNodes[fIndex];
  return n.fType == XmlNodeType::Element || n.fType == XmlNodeType::Document
             ? std::string_view()
             : fTree->TextAt(n.fTextAt, n.fTextSize);
}

inline XmlNode XmlNode::FirstChild() const {
  const uint32_t child = fTree->fNodes[fIndex].fFirstChild;
  return child ? XmlNode(fTree, child) : XmlNode();
}

inline XmlNode XmlNode::NextSibling() const {
  const uint32_t next = fTree->fNodes[fIndex].fNextSibling;
  return next ? XmlNode(fTree, next) : XmlNode();
}

// The owner of a tree. A tree let go is kept for the next request to fill
// (one at a time, and only a small one), so that reading the usual request
// takes no room of its own.
struct XmlTreeRelease {
  void operator()(XmlTree* aTree) const;
};
using XmlTreeHandle = std::unique_ptr<XmlTree, XmlTreeRelease>;

// An empty tree: the one kept, or a new one.
XmlTreeHandle NewXmlTree();
// Frees the tree kept, if any (when the library is unloaded).
void ReleaseKeptXmlTree();

}  // namespace korvane
