// The XML node view, read from request texts: parsing, children, texts, dates.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
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

TEST(XmlView, FindsFirstChildByExactNameOnly) {
  auto doc = ParseXmlDocumentUtf8("<R><text>a</text><Text>b</Text><Text>c</Text><x:Local>d</x:Local></R>");
  EXPECT_EQ(krptUtil::GetNodeValueAsString(Root(doc), "Text"), "b");
  EXPECT_EQ(krptUtil::GetNodeValueAsString(Root(doc), "text"), "a");
  EXPECT_EQ(krptUtil::GetNodeValueAsString(Root(doc), "TEXT"), "");
  EXPECT_FALSE(krptUtil::HasNode(Root(doc), "TEXT"));
  EXPECT_TRUE(krptUtil::HasNode(Root(doc), "Text"));
  // A prefixed element is also found by its local name.
  EXPECT_EQ(krptUtil::GetNodeValueAsString(Root(doc), "Local"), "d");
  EXPECT_EQ(krptUtil::GetNodeValueAsString(Root(doc), "x:Local"), "d");
}

TEST(XmlView, MatchesWholeNamesAndTheirLastLocalPart) {
  struct Case {
    const char* nodeName;
    std::string_view name;
    bool matches;
  };
  const Case cases[] = {
      {"Local", "Local", true},   {"x:Local", "Local", true}, {"x:Local", "x:Local", true},
      {"a:b:c", "c", true},       {"a:b:c", "b:c", false},    {"a:b:c", "a:b:c", true},
      {"xLocal", "Local", false}, {"Local", "cal", false},    {"Local", "Locale", false},
      {"x:", "", true},           {"abc", "", false},         {":Local", "Local", true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(XmlNameMatches(c.nodeName, c.name), c.matches) << c.nodeName << " " << c.name;
}

TEST(XmlView, FindsChildrenInOnePassAsOneByOne) {
  auto doc = ParseXmlDocumentUtf8(
      "<R><A>1</A><a>2</a><x:B>3</x:B><B>4</B><!--c--><y:A>5</y:A><Long_Name_Of_Many_Letters>6"
      "</Long_Name_Of_Many_Letters><C/></R>");
  const std::vector<std::string_view> base = {
      "A", "a", "B", "x:B", "#comment", "y:A", "C", "missing", "Long_Name_Of_Many_Letters", "A", ""};
  // Up to 16 names, up to 64 and more than 64 (each found another way): the
  // same children.
  for (const size_t count : {base.size(), size_t{16}, size_t{17}, size_t{64}, size_t{70}}) {
    std::vector<std::string_view> names;
    for (size_t i = 0; i < count; ++i) names.push_back(base[i % base.size()]);
    std::vector<XmlNode> found(names.size());
    XmlFindChildren(Root(doc), names, found);
    for (size_t i = 0; i < names.size(); ++i)
      EXPECT_EQ(found[i], XmlFindChild(Root(doc), names[i])) << count << " names, " << names[i];
  }
}

TEST(XmlView, NameSetsFindWhatTheSearchOneByOneFinds) {
  // Names of every length up to 18 that agree in size, first and last byte
  // and differ in one byte between (each position in turn), some prefixed,
  // some only in the set, some only in the document.
  std::vector<std::string> setNames;
  std::string xml = "<R><!--c-->";
  for (size_t size = 1; size <= 18; ++size) {
    const std::string base = "N" + std::string(size > 2 ? size - 2 : 0, 'm') + (size > 1 ? "Z" : "");
    const std::string name = base.substr(0, size);
    if (setNames.size() < 31) setNames.push_back(name);
    for (size_t at = 1; at + 1 < size; ++at) {
      std::string other = name;
      other[at] = 'q';
      xml += "<" + other + ">" + other + "</" + other + ">";
      if (at == size / 2) xml += "<p:" + other + "/>";
    }
    if (size % 3 == 0) xml += "<x:" + name + ">" + name + "</x:" + name + ">";
    if (size % 4 == 0) xml += "<" + name + "/>";
  }
  xml += "</R>";
  setNames.push_back("#comment");
  const std::vector<std::string_view> views(setNames.begin(), setNames.end());
  const XmlNameSet set(views);
  auto doc = ParseXmlDocumentUtf8(xml);
  std::vector<XmlNode> found(views.size());
  set.Find(Root(doc), found);
  for (size_t i = 0; i < views.size(); ++i)
    EXPECT_EQ(found[i], XmlFindChild(Root(doc), views[i])) << views[i];
  EXPECT_THROW(XmlNameSet(std::vector<std::string_view>{"Ab", "Ab"}), Error);
}

TEST(XmlView, NameSetsFindTheFirstChildWhateverTheOrder) {
  // A set tries the name after the one it found last, then the one after
  // that, before it looks a name up: children in the set's order, with
  // names left out, reversed, repeated (where the repeat is the name
  // expected next too), prefixed, of other kinds, unknown, and names that
  // agree with the expected one in size, first or last bytes.
  const std::vector<std::string_view> names = {"Type",  "Driver",           "Method",     "Handle",
                                               "LogId", "Connection",       "Parameters", "Message",
                                               "ab",    "Abcdefghijklmnopq"};
  const char* const cases[] = {
      "<R><Type>1</Type><Driver>2</Driver><Method>3</Method><Handle>4</Handle><LogId>5</LogId>"
      "<Parameters/><Message>6</Message></R>",
      "<R><Message/><Parameters/><LogId/><Handle/><Method/><Driver/><Type/></R>",
      "<R><Driver/><Type/><Method/><Method>2</Method><Handle/><Handle>2</Handle><LogId/></R>",
      "<R><Type/><Type>2</Type><Driver/><Driver>2</Driver><Connection/><Connection>2</Connection></R>",
      "<R><Type/><Handle/><Message/><Type>2</Type><Driver/><LogId/><ab/><ab>2</ab></R>",
      "<R><x:Type/><Type>2</Type><y:Driver>1</y:Driver><Driver>2</Driver><x:Method/><Method/></R>",
      "<R><Type/><!--c-->x<Driver/><![CDATA[d]]><Unknown/><Method/><Typo/><Handle/></R>",
      "<R><Type/><Drivex/><xriver/><Driver/><Metho/><Methodd/><Method/><a:Handle/><Handle/></R>",
      "<R><Abcdefghijklmnopq/><ab/><Type/><Abcdefghijklmnopx/><aB/><Abcdefghijklmnopq>2</Abcdefghijklmnopq></"
      "R>",
      "<R><Message/><ab/><Abcdefghijklmnopq/><Type/><Driver/><Message>2</Message><ab>2</ab></R>",
      "<R/>",
  };
  const XmlNameSet set(names);
  for (const char* text : cases) {
    // As both readers build the tree (the plain one takes most of these).
    const kXmlDocument docs[] = {ParseXmlDocumentUtf8(text), ParseXmlDocument(platform::Utf8ToUtf16(text))};
    for (const kXmlDocument& doc : docs) {
      // The room past the set's names gets no node either.
      std::vector<XmlNode> found(names.size() + 2, Root(doc));
      set.Find(Root(doc), found);
      for (size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ(found[i], XmlFindChild(Root(doc), names[i])) << text << " " << names[i];
      EXPECT_FALSE(found[names.size()]) << text;
      EXPECT_FALSE(found[names.size() + 1]) << text;
    }
  }
  // A name of more than 255 bytes with a ":" past those bytes, expected
  // first: also found by the part after the ":".
  const std::string longName = std::string(260, 'p') + ":Type";
  const std::vector<std::string_view> withLong = {longName, "Type"};
  auto longDoc = ParseXmlDocumentUtf8("<R><" + longName + "/></R>");
  XmlNode longFound[2];
  XmlNameSet(withLong).Find(Root(longDoc), longFound);
  EXPECT_EQ(longFound[0], Root(longDoc).FirstChild());
  EXPECT_EQ(longFound[1], Root(longDoc).FirstChild());
  // A set of one name, and of none.
  const std::vector<std::string_view> one = {"Type"};
  auto doc = ParseXmlDocumentUtf8("<R><Driver/><Type>1</Type><Type>2</Type></R>");
  XmlNode found[1];
  XmlNameSet(one).Find(Root(doc), found);
  EXPECT_EQ(found[0], XmlFindChild(Root(doc), "Type"));
  XmlNameSet(std::vector<std::string_view>{}).Find(Root(doc), std::span<XmlNode>());
}

TEST(XmlView, KeepsCommentsAndCdataAndDropsWhiteSpaceText) {
  auto doc = ParseXmlDocumentUtf8(
      "<R>\n  <!-- c -->\n  <A><![CDATA[<raw> & text]]></A>\n  <B>  padded  </B>\n  <C>   </C>\n</R>");
  std::vector<std::string> names;
  for (XmlNode n = Root(doc).FirstChild(); n; n = n.NextSibling()) names.push_back(XmlNodeName(n));
  EXPECT_EQ(names, (std::vector<std::string>{"#comment", "A", "B", "C"}));
  EXPECT_EQ(krptUtil::GetNodeValueAsString(Root(doc), "A"), "<raw> & text");
  EXPECT_EQ(krptUtil::GetNodeValueAsString(Root(doc), "B"), "  padded  ");  // never trimmed
  EXPECT_EQ(krptUtil::GetNodeValueAsString(Root(doc), "C"), "");            // white space only: no child
}

TEST(XmlView, TextNeedsExactlyOneTextChild) {
  auto doc = ParseXmlDocumentUtf8(
      "<R><Type><Sub>x</Sub></Type><Mixed>a<!--c--></Mixed><Two>a<![CDATA[b]]></Two><Empty/>"
      "<Attr v=\"1\"/></R>");
  const std::string wrapped =
      "Error in processing node Type as string.\r\nElement \"Type\" does not contain a single text node";
  EXPECT_EQ(ErrorOf([&] { krptUtil::GetNodeValueAsString(Root(doc), "Type"); }), wrapped);
  EXPECT_EQ(
      ErrorOf([&] { krptUtil::GetNodeValueAsString(Root(doc), "Mixed"); }),
      "Error in processing node Mixed as string.\r\nElement \"Mixed\" does not contain a single text node");
  EXPECT_EQ(
      ErrorOf([&] { krptUtil::GetNodeValueAsInteger(Root(doc), "Two"); }),
      "Error in processing node Two as integer.\r\nElement \"Two\" does not contain a single text node");
  EXPECT_EQ(krptUtil::GetNodeValueAsString(Root(doc), "Empty"), "");
  EXPECT_EQ(krptUtil::GetNodeValueAsString(Root(doc), "Attr"), "");
  EXPECT_EQ(krptUtil::GetAttributeValueAsString(XmlFindChild(Root(doc), "Attr"), "v"), "1");
  EXPECT_EQ(krptUtil::GetAttributeValueAsString(XmlFindChild(Root(doc), "Attr"), "V"), "");
}

// ---- request text and bad input -----------------------------------------

TEST(XmlParse, ReadsUtf16TextWhateverTheDeclarationSays) {
  const std::u16string text =
      u"\xFEFF<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><R><T>\u20AC \u00E9 \U0001F600</T></R>";
  auto doc = ParseXmlDocument(text);
  EXPECT_EQ(krptUtil::GetNodeValueAsString(Root(doc), "T"), "\xE2\x82\xAC \xC3\xA9 \xF0\x9F\x98\x80");
}

TEST(XmlParse, FailsClearlyOnBadInput) {
  struct Case {
    std::u16string text;
    std::string message;
  };
  const Case cases[] = {
      {u"", "XML parse error: No document element found (line 1, column 1)"},
      {u"   ", "XML parse error: No document element found (line 1, column 4)"},
      {u"<R><A></R>", "XML parse error: Start-end tags mismatch (line 1, column 9)"},
      {u"<R>\n<A x=1/></R>", "XML parse error: Error parsing element attribute (line 2, column 6)"},
      {u"<R/><S/>", "XML parse error: Only one top level element is allowed (line 1, column 5)"},
      {std::u16string(u"<R>a\0b</R>", 10), "XML parse error: Invalid character U+0000 (line 1, column 5)"},
      {u"<R>\xD800</R>", "XML parse error: Invalid UTF-16 text: unpaired surrogate (line 1, column 4)"},
      {u"<R>\n\U0001F600\xDC00x</R>",
       "XML parse error: Invalid UTF-16 text: unpaired surrogate (line 2, column 3)"},
  };
  for (const Case& c : cases) EXPECT_EQ(ErrorOf([&] { ParseXmlDocument(c.text); }), c.message);
  EXPECT_EQ(ErrorOf([] { ParseXmlDocumentUtf8("<R>\xC3</R>"); }),
            "XML parse error: Invalid UTF-8 text at byte 3");
}

TEST(XmlParse, RefusesReferencesToCharactersXmlHasNot) {
  struct Case {
    std::string text;
    std::string message;  // empty: accepted
  };
  const Case cases[] = {
      {"<R><T>12.5&#0;garbage</T></R>", "Invalid character reference to U+0000 (line 1, column 11)"},
      {"<R><T>abc&#x0000;</T></R>", "Invalid character reference to U+0000 (line 1, column 10)"},
      {"<R>\n <T>\xC3\xA9&#xD800;</T></R>", "Invalid character reference to U+D800 (line 2, column 6)"},
      {"<R><T>&#57343;</T></R>", "Invalid character reference to U+DFFF (line 1, column 7)"},
      {"<R><T>&#1114112;</T></R>", "Invalid character reference above U+10FFFF (line 1, column 7)"},
      {"<R><T>&#x110000;</T></R>", "Invalid character reference above U+10FFFF (line 1, column 7)"},
      // Wraps round to 'A' in 32 bits: still far above U+10FFFF.
      {"<R><T>&#4294967361;</T></R>", "Invalid character reference above U+10FFFF (line 1, column 7)"},
      {"<R><T a='x&#0;'/></R>", "Invalid character reference to U+0000 (line 1, column 11)"},
      {"<R><T a=\"'>&#0;\"/></R>", "Invalid character reference to U+0000 (line 1, column 12)"},
      {"<R><!-- c --><T>&#0;</T></R><!-- d -->", "Invalid character reference to U+0000 (line 1, column 17)"},
      // Not references: CDATA, comments, processing instructions, unreplaced forms.
      {"<R><T><![CDATA[&#0;]]></T><!-- &#xD800; --><?pi &#0;?></R>", ""},
      {"<!DOCTYPE R [<!ENTITY e \"x\">]><R><T>&#0</T><U>&#X0;</U><V>&#;</V></R>", ""},
      {"<R><T>&#x10FFFF;&#xD7FF;&#xE000;&#9;</T></R>", ""},
  };
  for (const Case& c : cases) {
    const std::string error = ErrorOf([&] { ParseXmlDocumentUtf8(c.text); });
    EXPECT_EQ(error, c.message.empty() ? testing::kNoError : "XML parse error: " + c.message) << c.text;
    // The same through the UTF-16 entry of the exports.
    EXPECT_EQ(ErrorOf([&] { ParseXmlDocument(platform::Utf8ToUtf16(c.text)); }), error) << c.text;
  }
  auto doc = ParseXmlDocumentUtf8("<R><T><![CDATA[&#0;]]></T><U>&#x10FFFF;</U></R>");
  EXPECT_EQ(krptUtil::GetNodeValueAsString(Root(doc), "T"), "&#0;");
  EXPECT_EQ(krptUtil::GetNodeValueAsString(Root(doc), "U"), "\xF4\x8F\xBF\xBF");
}

TEST(XmlParse, RefusesTextOutsideTheRootElement) {
  struct Case {
    std::string text;
    std::string message;  // empty: accepted
  };
  const Case cases[] = {
      {"junk<R/>", "Text outside the root element is not allowed (line 1, column 1)"},
      {"<R/>junk", "Text outside the root element is not allowed (line 1, column 5)"},
      {"<R>\n</R>\n  \n  x <!-- c -->", "Text outside the root element is not allowed (line 4, column 3)"},
      {"<R/><![CDATA[x]]>", "Text outside the root element is not allowed (line 1, column 5)"},
      {"<R/>&#0;", "Text outside the root element is not allowed (line 1, column 5)"},
      {"<R/>\n<S/>", "Only one top level element is allowed (line 2, column 1)"},
      {"<R>&#0;</R>junk", "Invalid character reference to U+0000 (line 1, column 4)"},
      {"<!-- only a comment -->", "No document element found (line 1, column 24)"},
      {"\xEF\xBB\xBF <?xml version=\"1.0\"?>\r\n<!-- c --><!DOCTYPE R>\t<R/> <?pi?>\n<!--e-->\n ", ""},
  };
  for (const Case& c : cases) {
    const std::string error = ErrorOf([&] { ParseXmlDocumentUtf8(c.text); });
    EXPECT_EQ(error, c.message.empty() ? testing::kNoError : "XML parse error: " + c.message) << c.text;
    // The same through the UTF-16 entry of the exports.
    EXPECT_EQ(ErrorOf([&] { ParseXmlDocument(platform::Utf8ToUtf16(c.text)); }), error) << c.text;
  }
}

// What a parse gives: the error's message, or the tree in outline.
std::string Outcome(const std::function<kXmlDocument()>& aParse) {
  kXmlDocument doc;
  const std::string error = ErrorOf([&] { doc = aParse(); });
  if (error != testing::kNoError) return "error: " + error;
  return doc->Outline();
}

TEST(XmlParse, EveryPathGivesTheSameAnswerForEveryText) {
  // A request from UTF-16 is read by the plain reader when it is of the
  // usual form, else parsed in place when it can be; the UTF-8 entry takes
  // the path that copies, and so does a text the in-place parse leaves to
  // it. Text around the root element (one stray character once got through
  // in place), byte order marks and every other generated variant: one
  // answer, and a leading byte order mark changes nothing.
  const std::string bases[] = {
      "<Request><Type>CustomerDisplay</Type><Method>MESSAGE</Method><Parameters/>"
      "<Message><Text1>Almond croissant</Text1><Text2>2 \xC3\x97 2.90 \xE2\x82\xAC "
      "5.80</Text2></Message></Request>",
      "<R/>",
      "<R a=\"1\">t<![CDATA[c]]></R>",
      // What the plain reader takes, and what it must leave to the parser.
      "<R><A>x &amp; &lt;y&gt; &quot;&apos; ]]> z</A><B>\r\nline\rnext\r\n</B><C> \t\r\n </C><D/><E />"
      "<F></F><G\n></G\r\n><H.b-c_1>1<I>2</I>3</H.b-c_1></R >",
      "<R>\r\n  <A>\xF0\x9F\x98\x80 \xC3\xA9 \xE2\x82\xAC \xEF\xBF\xBF\x01</A>\r\n</R>",
      "<R><A>&amp</A><B>&Amp;</B><C>&#65;</C></R>",
      "<R><A></B></R>",
      "<R><A></AB></A></R>",
      "<R><A>x</A></R></R>",
      "<R><p:A>x</p:A><A b='1'/><A:>y</A:></R>",
      "<R>\xC3\xA9<\xC3\xA9>x</\xC3\xA9></R>",
      "<R a=\"1\" b = 'x&amp;y\"' c=\"\r\n\tz\r \xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\"><A k=\"v\"/><B "
      "k='&#65;'>x</B></R>",
      "<R a=\"1\"b=\"2\"><A a=\"<\"/><B a=1/><C a=\"1/></R>",
  };
  const std::string bom = "\xEF\xBB\xBF";
  const std::string before[] = {"",         "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n",
                                " ",        "<!-- c -->\r\n",
                                "<?pi x?>", "<!DOCTYPE R>",
                                "x",        bom,
                                bom + bom,  bom + bom + bom};
  std::vector<std::string> after = {"",     "xy",   " x ",      "&amp;",        "&#65;",
                                    "&#0;", "<",    "<!",       "<!--",         "<?",
                                    "]]>",  "<S/>", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80",
                                    "x\n",  "\r\n", bom};
  for (int c = 1; c < 0x80; ++c) {
    const std::string one(1, static_cast<char>(c));
    for (const char* lead : {"", " ", "\n\t ", "<!-- c -->", "<?pi?>", "<!-- c --> "})
      after.push_back(lead + one);
  }
  size_t variants = 0, accepted = 0;
  for (const std::string& base : bases) {
    for (const std::string& head : before) {
      for (const std::string& tail : after) {
        const std::string text = head + base + tail;
        const std::u16string text16 = platform::Utf8ToUtf16(text);
        const std::string inPlace = Outcome([&] { return ParseXmlDocument(text16); });
        EXPECT_EQ(Outcome([&] { return ParseXmlDocumentUtf8(text); }), inPlace) << text;
        const std::string marked = Outcome([&] { return ParseXmlDocument(u"\xFEFF" + text16); });
        EXPECT_EQ(Outcome([&] { return ParseXmlDocumentUtf8(bom + text); }), marked) << text;
        if (head.empty() || head[0] != bom[0]) {
          EXPECT_EQ(marked, inPlace) << text;
        }
        ++variants;
        if (inPlace.rfind("error: ", 0) != 0) ++accepted;
      }
    }
  }
  // Both answers occur, many times over.
  EXPECT_GT(accepted, 100u);
  EXPECT_GT(variants - accepted, 1000u);
  // The case that was found: one character after the root element.
  EXPECT_EQ(ErrorOf([&] { ParseXmlDocument(platform::Utf8ToUtf16(bases[0] + "x")); }),
            "XML parse error: Text outside the root element is not allowed (line 1, column " +
                std::to_string(platform::Utf16Length(bases[0]) + 1) + ")");
}

TEST(XmlParse, NeverExpandsEntitiesNorReadsExternalResources) {
  // A billion-laughs definition and an external entity: the DOCTYPE is
  // skipped and the references stay as they are written.
  std::string laughs = "<!DOCTYPE R [<!ENTITY l0 \"lol\">";
  for (int i = 1; i < 10; ++i)
    laughs += "<!ENTITY l" + std::to_string(i) + " \"" + std::string(10, '&') + "\">";
  laughs +=
      "<!ENTITY ext SYSTEM \"file:///etc/passwd\"><!ENTITY % p SYSTEM \"http://127.0.0.1:9/x.dtd\">%p;]>";
  laughs += "<R><A>&l9;</A><B>&ext;</B><C>&amp;&#x41;</C></R>";
  auto doc = ParseXmlDocumentUtf8(laughs);
  EXPECT_EQ(krptUtil::GetNodeValueAsString(Root(doc), "A"), "&l9;");
  EXPECT_EQ(krptUtil::GetNodeValueAsString(Root(doc), "B"), "&ext;");
  EXPECT_EQ(krptUtil::GetNodeValueAsString(Root(doc), "C"), "&A");
}

TEST(XmlParse, HandlesDeepNestingLargeTextsAndDeepDoctypes) {
  {  // 10,000 and 200,000 levels parse and free without recursion.
    for (int depth : {10000, 200000}) {
      std::u16string text;
      for (int i = 0; i < depth; ++i) text += u"<a>";
      for (int i = 0; i < depth; ++i) text += u"</a>";
      auto doc = ParseXmlDocument(text);
      EXPECT_TRUE(Root(doc).FirstChild());
    }
  }
  {  // Several megabytes of text in one element.
    const std::string big(8 * 1024 * 1024, 'x');
    auto doc = ParseXmlDocumentUtf8("<R><T>" + big + "</T></R>");
    EXPECT_EQ(krptUtil::GetNodeValueAsString(Root(doc), "T").size(), big.size());
  }
  {  // A DOCTYPE nested far too deep fails.
    std::string text = "<!DOCTYPE a [";
    for (int i = 0; i < 200000; ++i) text += "<![";
    text += "]><a/>";
    EXPECT_EQ(ErrorOf([&] {
                ParseXmlDocumentUtf8(text);
              }).rfind("XML parse error: Error parsing document type declaration", 0),
              0u);
  }
}

TEST(DateText, ReadsFixedPositions) {
  EXPECT_DOUBLE_EQ(XmlStrToDate("2024-03-15"), EncodeDate(2024, 3, 15));
  EXPECT_DOUBLE_EQ(XmlStrToDate("2024/03/15T10:00"), EncodeDate(2024, 3, 15));  // the rest is ignored
  EXPECT_DOUBLE_EQ(XmlStrToDate("1899-12-30"), 0.0);
  for (const char* text : {"2024-3-15", "2024-02-30", "2024-03", "", "abcd-03-15", "0000-01-01"})
    EXPECT_EQ(ErrorOf([&] { XmlStrToDate(text); }), std::string("Date Format invalid: [") + text + "]");
}

TEST(DateTimeText, ReadsMillisecondsAndIgnoresZoneSuffix) {
  const TDateTime day = EncodeDate(2024, 3, 15);
  struct Case {
    const char* text;
    int ms;
  };
  const Case cases[] = {{"2024-03-15T10:20:30.250", 250}, {"2024-03-15 10:20:30", 0},
                        {"2024-03-15T10:20:30.5", 5},     {"2024-03-15T10:20:30Z", 0},
                        {"2024-03-15T10:20:30+01:00", 0}, {"2024-03-15T10:20:30.999Z", 999}};
  for (const Case& c : cases)
    EXPECT_DOUBLE_EQ(XmlStrToDateTime(c.text), day + EncodeTime(10, 20, 30, c.ms)) << c.text;
  // Before 1899-12-30 the time counts away from zero.
  EXPECT_DOUBLE_EQ(XmlStrToDateTime("1899-12-29T12:00:00"), -1.5);
  for (const char* text : {"2024-02-30T10:00:00", "2024-03-15", "2024-03-15T24:00:00", "2024-03-15T10:60:00",
                           "2024-03-15T10:00", "2024-03-15T10:00:61"})
    EXPECT_EQ(ErrorOf([&] { XmlStrToDateTime(text); }),
              std::string("DateTime Format invalid: [") + text + "]");
}

}  // namespace
}  // namespace korvane
