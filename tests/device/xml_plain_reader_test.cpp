// The plain reader: which texts it takes itself, and that what it takes is
// the tree the full parser makes of the same text.
#include "device/xml_plain_reader.h"

#include <gtest/gtest.h>

#include <string>

#include "device/xml_view.h"
#include "helpers/utf.h"

namespace korvane {
namespace {

TEST(XmlPlainReader, TakesTheUsualRequestsAndLeavesTheRestToTheParser) {
  struct Case {
    const char* text;
    bool taken;
  };
  const Case cases[] = {
      // As hosts send them: a declaration, CR LF between elements, a version
      // attribute, entities, accented and non-BMP text, empty elements.
      {"<?xml version=\"1.0\" encoding=\"utf-16\"?>\r\n<ReceiptPrinterManager Version=\"1.0\">\r\n"
       "  <Type>CustomerDisplay</Type>\r\n  <Method>MESSAGE</Method>\r\n  <Parameters />\r\n"
       "  <Message><Text1>Caf\xC3\xA9 &amp; cr\xC3\xA8me &lt;1&gt;</Text1><Text2>\xF0\x9F\x98\x80</Text2>"
       "</Message>\r\n</ReceiptPrinterManager>\r\n",
       true},
      {"<Request><Type>CustomerDisplay</Type><Parameters></Parameters></Request>", true},
      // The usual declaration (passed in one comparison), and others like
      // it that are passed the longer way.
      {"<?xml version=\"1.0\" encoding=\"UTF-8\"?><R/>", true},
      {"\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<?pi x?> <R/>", true},
      {"<?xml version=\"1.0\" encoding=\"UTF-8\"?><?xml-stylesheet href=\"a\"?><R/>", true},
      {"<?xml version=\"1.0\" encoding=\"UTF-8\" ?><R/>", true},
      {"<?xml version=\"1.0\" encoding=\"utf-8\"?><R/>", true},
      {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>", false},
      {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>x<R/>", false},
      {"<?xml version=\"1.0\" encoding=\"UTF-8\"?</R>", false},

      {"<R a='1' b = \"2\"><A/><B\t/></R>", true},
      {"<_R><_a-.9/><z.-_0 /></_R\r\n>", true},
      {"<R><T>line\r\nnext\rlast</T></R>", true},
      // Names and texts read sixteen units at a time: ends just before, at
      // and after a block, other characters right after one, and blocks
      // that reach the end of the text.
      {"<ABCDEFGHIJKLMNO>0123456789abcde</ABCDEFGHIJKLMNO>", true},
      {"<ABCDEFGHIJKLMNOP>0123456789abcdef</ABCDEFGHIJKLMNOP>", true},
      {"<ABCDEFGHIJKLMNOPQ>0123456789abcdefg</ABCDEFGHIJKLMNOPQ>", true},
      {"<A_b-c.9_d-e.f_g-h><Z0123456789abcde/></A_b-c.9_d-e.f_g-h>", true},
      {"<R>0123456789abcdef\xC3\xA9\xC4\x80\xE8\x80\x80\xEF\xBF\xBD</R>", true},
      {"<R>0123456789abcdef&amp;x</R>", true},
      {"<R>0123456789abcdef\r\nx</R>", true},
      {"<R>0123\t456789abcdef\n0123456789\x01\x0B\x0C\x0E\x1F~ ab\tc</R>", true},
      {"<R><ABCDEFGHIJKLMNO1>x</ABCDEFGHIJKLMNO1><Ab-c.d_e/><A1/><a_/></R>", true},
      {"<R><Ab\xC3\xA9/></R>", false},
      {"<R><Ab:c/></R>", false},
      {"<R><ABCDEFGHIJKLMNOP\xC3\xA9/></R>", false},
      {"<R><ABCDEFGHIJKLMNOP\xE8\x81\x81/></R>", false},
      {"<R><ABCDEFGHIJKLMNOP:Q/></R>", false},
      {"<R>0123456789abcdef<", false},
      // Left to the parser: what the plain form does not hold, and errors.
      {"<R><!-- c --></R>", false},
      {"<R><![CDATA[x]]></R>", false},
      {"<R>&#65;</R>", false},
      {"<R>&nbsp;</R>", false},
      {"<R><p:A/></R>", false},
      {"<R><\xC3\xA9/></R>", false},
      {"<R><9A/></R>", false},
      {"<R><-A/></R>", false},
      {"<R><.A/></R>", false},
      {"<R></R ></R>", false},
      {"</R>", false},
      {"<!DOCTYPE R><R/>", false},
      {"<R/><S/>", false},
      {"<R/>x", false},
      {"<R><A></B></R>", false},
      {"<R><A>", false},
      {"<R a=\"<\"/>", false},
      {"<R a=\"1\"b=\"2\"/>", false},
      {"", false},
  };
  for (const Case& c : cases) {
    const std::u16string text = platform::Utf8ToUtf16(c.text);
    const XmlTreeHandle tree = ReadPlainXml(text);
    EXPECT_EQ(static_cast<bool>(tree), c.taken) << c.text;
    if (tree) {
      EXPECT_EQ(tree->Outline(), ParseXmlDocumentUtf8(c.text)->Outline()) << c.text;
    }
  }
  // Requests with more nodes than the room made at first, as densely packed
  // as nodes come: texts between empty elements, and texts in nested ones.
  std::string flat = "<R>", nested;
  for (int i = 0; i < 20000; ++i) flat += "x<a/>";
  flat += "</R>";
  for (int i = 0; i < 2500; ++i) nested += "<a>x";
  for (int i = 0; i < 2500; ++i) nested += "</a>";
  for (const std::string& text : {flat, nested}) {
    const XmlTreeHandle tree = ReadPlainXml(platform::Utf8ToUtf16(text));
    ASSERT_TRUE(tree);
    EXPECT_EQ(tree->Outline(), ParseXmlDocumentUtf8(text)->Outline());
  }
  // A lone surrogate and U+0000 are for the parser to report.
  EXPECT_FALSE(ReadPlainXml(u"<R>\xD800</R>"));
  EXPECT_FALSE(ReadPlainXml(std::u16string(u"<R>\0</R>", 8)));
}

TEST(XmlPlainReader, TreesInUseAreNeverShared) {
  // The tree given back is reused for the next request; one still held is not.
  XmlTreeHandle first = ReadPlainXml(u"<R><A>one</A></R>");
  const XmlTreeHandle second = ReadPlainXml(u"<R><A>two</A></R>");
  ASSERT_TRUE(first && second);
  EXPECT_NE(first.get(), second.get());
  EXPECT_EQ(XmlNodeText(XmlFindChild(first->DocumentElement(), "A")), "one");
  first.reset();
  const XmlTreeHandle third = ReadPlainXml(u"<S><B>three</B></S>");
  ASSERT_TRUE(third);
  EXPECT_EQ(third->Outline(), "document \"\"\n  element \"S\"\n    element \"B\"\n      text \"three\"\n");
  EXPECT_EQ(XmlNodeText(XmlFindChild(second->DocumentElement(), "A")), "two");
}

}  // namespace
}  // namespace korvane
