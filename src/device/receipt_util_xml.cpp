// krptUtil's XML operations: the typed getters of request XML (through the
// XML view), attributes, adding nodes and re-reading leaf texts in another
// code page.
#include <string>

#include "device/receipt_util.h"
#include "helpers/ascii.h"
#include "helpers/error.h"
#include "platform/code_page.h"

namespace korvane {

std::string krptUtil::GetNodeValueAsString(XmlNode aParentNode, std::string_view aNodeName) {
  return XmlChildAsString(XmlFindChild(aParentNode, aNodeName), aNodeName);
}

int32_t krptUtil::GetNodeValueAsInteger(XmlNode aParentNode, std::string_view aNodeName) {
  return XmlChildAsInteger(XmlFindChild(aParentNode, aNodeName), aNodeName);
}

Currency krptUtil::GetNodeValueAsCurrency(XmlNode aParentNode, std::string_view aNodeName) {
  return ChildAsCurrency(XmlFindChild(aParentNode, aNodeName), aNodeName);
}

Currency krptUtil::ChildAsCurrency(XmlNode aChild, std::string_view aNodeName) {
  if (!aChild) return {};
  // The usual amount, an element holding one text that reads as one, in
  // line; anything else the way below, which gives the same value or error.
  if (aChild.Type() == XmlNodeType::Element) {
    const XmlNode first = aChild.FirstChild();
    Currency value;
    if (first && first.Type() == XmlNodeType::Text && !first.NextSibling() &&
        Currency::TryParse(first.Value(), value))
      return value;
  }
  return XmlReadWrapped("currency", aNodeName, [&] {
    const std::string_view text = XmlNodeTextView(aChild);
    return text.empty() ? Currency() : StrToCurr(text);
  });
}

bool krptUtil::GetNodeValueAsBoolean(XmlNode aParentNode, std::string_view aNodeName, bool aDefaultValue) {
  return ChildAsBoolean(XmlFindChild(aParentNode, aNodeName), aNodeName, aDefaultValue);
}

bool krptUtil::ChildAsBoolean(XmlNode aChild, std::string_view aNodeName, bool aDefaultValue) {
  if (!aChild) return aDefaultValue;
  return XmlReadWrapped("boolean", aNodeName, [&] { return StrToBool(XmlNodeTextView(aChild)); });
}

TDateTime krptUtil::GetNodeValueAsDate(XmlNode aParentNode, std::string_view aNodeName) {
  const XmlNode child = XmlFindChild(aParentNode, aNodeName);
  if (!child) return 0.0;
  return XmlReadWrapped("date", aNodeName, [&] { return XmlStrToDate(XmlNodeText(child)); });
}

TDateTime krptUtil::GetNodeValueAsDateTime(XmlNode aParentNode, std::string_view aNodeName) {
  const XmlNode child = XmlFindChild(aParentNode, aNodeName);
  if (!child) return 0.0;
  return XmlReadWrapped("datetime", aNodeName, [&] { return XmlStrToDateTime(XmlNodeText(child)); });
}

TDateTime krptUtil::TryGetNodeValueAsDateTime(XmlNode aParentNode, std::string_view aNodeName) {
  try {
    return GetNodeValueAsDateTime(aParentNode, aNodeName);
  } catch (const std::exception&) {
    return 0.0;
  }
}

bool krptUtil::HasNode(XmlNode aParentNode, std::string_view aNodeName) {
  return static_cast<bool>(XmlFindChild(aParentNode, aNodeName));
}

std::string krptUtil::GetAttributeValueAsString(XmlNode aNode, std::string_view aAttrName) {
  for (XmlAttribute a = aNode.FirstAttribute(); a; a = a.NextAttribute())
    if (std::string_view(a.Name()) == aAttrName) return std::string(a.Value());
  return {};
}

pugi::xml_node krptUtil::AddNode(pugi::xml_node aParentNode, std::string_view aNodeName,
                                 std::string_view aNodeValue) {
  pugi::xml_node node = aParentNode.append_child(std::string(aNodeName).c_str());
  if (!node) throw Error("Cannot add the node \"" + std::string(aNodeName) + "\"");
  if (!aNodeValue.empty()) node.append_child(pugi::node_pcdata).set_value(std::string(aNodeValue).c_str());
  return node;
}

void krptUtil::ChangeXMLEncoding(XmlNode aNode, std::string_view aCharset) {
  const int target = AsciiLower(aCharset) == "gr" ? 1253 : platform::kAnsiCodePage;
  // Depth first, children in order, without recursion.
  XmlNode node = aNode.FirstChild();
  while (node) {
    if (XmlNode child = node.FirstChild()) {
      node = child;
      continue;
    }
    const std::string_view value = node.Value();
    if (!value.empty()) {
      const std::string bytes = platform::EncodeCodePage(value, platform::kAnsiCodePage);
      node.SetValue(platform::DecodeCodePage(bytes, target).c_str());
    }
    while (node && node != aNode && !node.NextSibling()) node = node.Parent();
    if (!node || node == aNode) break;
    node = node.NextSibling();
  }
}

}  // namespace korvane
