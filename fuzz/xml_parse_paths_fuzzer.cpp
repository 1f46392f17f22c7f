// libFuzzer target: one answer from every path of the request parse, linked
// from kcore. A request from UTF-16 is read by the plain reader when it is of
// the usual form, else parsed in place when it can be; the UTF-8 entry takes
// the path that copies, as does a text the in-place parse leaves to it. The
// input is the text (made valid UTF-8 first: its bad sequences become
// U+FFFD); the first byte, when it is 0x01 to 0x05, puts a well-formed
// request before the rest instead (the rest then follows its root element),
// and when it is 0x06 to 0x0A puts the rest inside that request's root,
// before its end tag, so that the fuzzer spends its time at the edges of one
// and inside one. Both entries must accept the text with the same tree or
// refuse it with the same message, with and without a leading byte order
// mark, which changes nothing; a difference aborts with the input and both
// answers.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <string>
#include <string_view>

#include "device/xml_view.h"
#include "helpers/utf.h"
#include "platform/error.h"

using namespace korvane;

namespace {

const char* const kRequests[] = {
    "<?xml version=\"1.0\" "
    "encoding=\"utf-8\"?>\n<Request><Type>CustomerDisplay</Type><Method>MESSAGE</Method>"
    "<Handle>1</Handle><Parameters/><Message><Text1>Almond croissant</Text1></Message></Request>",
    "<R/>",
    "<!-- c --><R a=\"1\">t<![CDATA[c]]></R>",
    ("<Request>\r\n  <Message><Text1>Caf\xC3\xA9 &amp; cr\xC3\xA8me &lt;1&gt;\r\n</Text1>"
     "<Text2/></Message>\r\n</Request>"),
    "<?xml version=\"1.0\"?><R><A><B>x</B></A><C>y</C></R>",
};

// The tree in outline, or "error: " and the message.
std::string Outcome(const std::function<kXmlDocument()>& aParse) {
  try {
    const kXmlDocument doc = aParse();
    return doc->Outline();
  } catch (const Error& e) {
    return std::string("error: ") + e.what();
  }
}

void Same(const char* aPath, const std::string& aText, const std::string& aGot,
          const std::string& aExpected) {
  if (aGot == aExpected) return;
  std::fprintf(stderr,
               "fuzz_xml_parse_paths: %s differs\n  input:    [%s]\n  got:      [%s]\n  expected: [%s]\n",
               aPath, aText.c_str(), aGot.c_str(), aExpected.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  std::string_view input(reinterpret_cast<const char*>(aData), aSize);
  constexpr int kCount = static_cast<int>(std::size(kRequests));
  const int choice = input.empty() ? 0 : input[0];
  std::string text, end;
  if (choice >= 1 && choice <= 2 * kCount) {
    text = kRequests[(choice - 1) % kCount];
    if (choice > kCount) {  // inside the root: its end tag after the rest
      const size_t at = text.rfind("</");
      end = at == std::string::npos ? "" : text.substr(at);
      text.resize(at == std::string::npos ? text.size() : at);
    }
    input.remove_prefix(1);
  }
  const std::u16string rest16 = platform::Utf8ToUtf16(input);  // bad sequences: U+FFFD
  text += platform::Utf16ToUtf8(rest16) + end;
  const std::u16string text16 = platform::Utf8ToUtf16(text);
  const std::string inPlace = Outcome([&] { return ParseXmlDocument(text16); });
  Same("UTF-8", text, Outcome([&] { return ParseXmlDocumentUtf8(text); }), inPlace);
  // With a leading byte order mark: the same answer from both entries, and
  // the answer without it when the text had none.
  const std::string marked = Outcome([&] { return ParseXmlDocument(u"\xFEFF" + text16); });
  Same("UTF-8 after a byte order mark", text,
       Outcome([&] { return ParseXmlDocumentUtf8("\xEF\xBB\xBF" + text); }), marked);
  if (text16.empty() || text16[0] != u'\xFEFF') Same("UTF-16 after a byte order mark", text, marked, inPlace);
  return 0;
}
