// krptUtil's typed getters and XML operations, on request texts.
#include <gtest/gtest.h>

#include <functional>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "device/receipt_util.h"
#include "helpers/utf.h"
#include "platform/error.h"
#include "support/test_support.h"

namespace korvane {
namespace {

using testing::ErrorOf;

XmlNode Root(const kXmlDocument& aDoc) { return aDoc->DocumentElement(); }

TEST(XmlView, AbsentAndEmptyChildrenPerGetter) {
  auto doc = ParseXmlDocumentUtf8("<R><I/><C></C><B/><D/><T/></R>");
  const XmlNode r = Root(doc);
  EXPECT_EQ(krptUtil::GetNodeValueAsInteger(r, "Missing"), 0);
  EXPECT_EQ(krptUtil::GetNodeValueAsInteger(r, "I"), 0);
  EXPECT_EQ(krptUtil::GetNodeValueAsCurrency(r, "Missing"), Currency());
  EXPECT_EQ(krptUtil::GetNodeValueAsCurrency(r, "C"), Currency());
  EXPECT_TRUE(krptUtil::GetNodeValueAsBoolean(r, "Missing", true));
  EXPECT_FALSE(krptUtil::GetNodeValueAsBoolean(r, "Missing", false));
  EXPECT_EQ(ErrorOf([&] { krptUtil::GetNodeValueAsBoolean(r, "B", true); }),
            "Error in processing node B as boolean.\r\n'' is not a valid boolean value");
  EXPECT_EQ(krptUtil::GetNodeValueAsDate(r, "Missing"), 0.0);
  EXPECT_EQ(ErrorOf([&] { krptUtil::GetNodeValueAsDate(r, "D"); }),
            "Error in processing node D as date.\r\nDate Format invalid: []");
  EXPECT_EQ(krptUtil::GetNodeValueAsDateTime(r, "Missing"), 0.0);
  EXPECT_EQ(ErrorOf([&] { krptUtil::GetNodeValueAsDateTime(r, "T"); }),
            "Error in processing node T as datetime.\r\nDateTime Format invalid: []");
  EXPECT_EQ(krptUtil::TryGetNodeValueAsDateTime(r, "T"), 0.0);
}

TEST(XmlView, TypedGettersConvertAndWrapErrors) {
  auto doc = ParseXmlDocumentUtf8(
      "<R><Port>80a</Port><Handle> 12</Handle><Hex>$1F</Hex><Amount>12,50</Amount><Total>12.5</Total>"
      "<When>2024-03-15T10:20:30.250</When><Day>2024-03-15</Day><Flag>TRUE</Flag></R>");
  const XmlNode r = Root(doc);
  EXPECT_EQ(ErrorOf([&] { krptUtil::GetNodeValueAsInteger(r, "Port"); }),
            "Error in processing node Port as integer.\r\n'80a' is not a valid integer value");
  EXPECT_EQ(krptUtil::GetNodeValueAsInteger(r, "Handle"), 12);
  EXPECT_EQ(krptUtil::GetNodeValueAsInteger(r, "Hex"), 31);
  EXPECT_EQ(ErrorOf([&] { krptUtil::GetNodeValueAsCurrency(r, "Amount"); }),
            "Error in processing node Amount as currency.\r\n'12,50' is not a valid floating point value");
  EXPECT_EQ(krptUtil::GetNodeValueAsCurrency(r, "Total"), Currency::FromRaw(125000));
  EXPECT_TRUE(krptUtil::GetNodeValueAsBoolean(r, "Flag", false));
  EXPECT_DOUBLE_EQ(krptUtil::GetNodeValueAsDate(r, "Day"), EncodeDate(2024, 3, 15));
  EXPECT_DOUBLE_EQ(krptUtil::GetNodeValueAsDateTime(r, "When"),
                   EncodeDate(2024, 3, 15) + EncodeTime(10, 20, 30, 250));
  EXPECT_DOUBLE_EQ(krptUtil::TryGetNodeValueAsDateTime(r, "When"),
                   EncodeDate(2024, 3, 15) + EncodeTime(10, 20, 30, 250));
}

TEST(XmlView, AddNodeAppendsElementWithText) {
  pugi::xml_document doc;
  const pugi::xml_node root = doc.append_child("R");
  krptUtil::AddNode(root, "A", "");
  const pugi::xml_node added = krptUtil::AddNode(root, "B", "two & <three>");
  EXPECT_STREQ(added.name(), "B");
  EXPECT_EQ(root.last_child(), added);
  EXPECT_STREQ(added.child_value(), "two & <three>");
  EXPECT_FALSE(root.first_child().first_child());  // no text for an empty value
}

TEST(XmlView, ChangeXmlEncodingRereadsLeavesAsGreekOrAnsi) {
  // "\xC1" in Windows-1252 is Á; the same byte in Windows-1253 is Α (alpha).
  auto doc = ParseXmlDocumentUtf8("<R><A>\xC3\x81 b</A><N><M>\xC3\x81</M><!--\xC3\x81--></N><E/></R>");
  krptUtil::ChangeXMLEncoding(Root(doc), "GR");
  EXPECT_EQ(krptUtil::GetNodeValueAsString(Root(doc), "A"), "\xCE\x91 b");
  EXPECT_EQ(krptUtil::GetNodeValueAsString(XmlFindChild(Root(doc), "N"), "M"), "\xCE\x91");
  EXPECT_EQ(XmlFindChild(Root(doc), "N").LastChild().Value(), "\xCE\x91");
  auto ansi = ParseXmlDocumentUtf8("<R><A>\xC3\x81\xE2\x82\xAC</A></R>");
  krptUtil::ChangeXMLEncoding(Root(ansi), "it");
  EXPECT_EQ(krptUtil::GetNodeValueAsString(Root(ansi), "A"), "\xC3\x81\xE2\x82\xAC");
}

TEST(XmlView, ChangeXmlEncodingWalksDeepTreesWithoutRecursion) {
  std::string text;
  const int depth = 100000;
  for (int i = 0; i < depth; ++i) text += "<a>";
  text += "\xC3\x81";
  for (int i = 0; i < depth; ++i) text += "</a>";
  auto doc = ParseXmlDocumentUtf8(text);
  krptUtil::ChangeXMLEncoding(Root(doc), "gr");
  XmlNode n = Root(doc);
  while (n.FirstChild()) n = n.FirstChild();
  EXPECT_EQ(n.Value(), "\xCE\x91");
}

}  // namespace
}  // namespace korvane
