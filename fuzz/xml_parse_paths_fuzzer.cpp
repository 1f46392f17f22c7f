// libFuzzer target: one answer from every path of the request parse, linked
// from kcore. A request from UTF-16 is parsed in place when it can be; the
// UTF-8 entry takes the path that copies, as does a text the in-place parse
// leaves to it. The input is the text (made valid UTF-8 first: its bad
// sequences become U+FFFD); the first byte, when it is 0x01 to 0x03, puts a
// well-formed request before the rest instead (the rest then follows its
// root element), so that the fuzzer spends its time at the edges of one.
// Both entries must accept the text with the same document or refuse it
// with the same message, with and without a leading byte order mark, which
// changes nothing; a difference aborts with the input and both answers.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sstream>
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
};

// The document written out, or "error: " and the message.
std::string Outcome(const std::function<kXmlDocument()>& aParse) {
  try {
    const kXmlDocument doc = aParse();
    std::ostringstream out;
    doc->save(out, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
    return out.str();
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
  std::string text;
  if (!input.empty() && input[0] >= 1 && input[0] <= 3) {
    text = kRequests[input[0] - 1];
    input.remove_prefix(1);
  }
  const std::u16string rest16 = platform::Utf8ToUtf16(input);  // bad sequences: U+FFFD
  text += platform::Utf16ToUtf8(rest16);
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
