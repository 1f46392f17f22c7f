// Code-page conversions through iconv; Windows-1252 by a table of its own.
#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <string>

#include "platform/code_page.h"
#include "platform/error.h"
#include "helpers/utf.h"
#include "platform/windows_1252_posix.h"

namespace korvane::platform {
namespace {

struct CodePageName {
  int codePage;
  const char* iconvName;
};

// The Windows code pages that iconv has a converter for, by the name iconv
// knows it by; sorted by number.
constexpr CodePageName kCodePageNames[] = {
    {37, "IBM037"},
    {437, "CP437"},
    {500, "IBM500"},
    {708, "ISO-8859-6"},  // ASMO-708
    {737, "CP737"},
    {775, "CP775"},
    {850, "CP850"},
    {852, "CP852"},
    {855, "CP855"},
    {857, "CP857"},
    {858, "CP858"},
    {860, "CP860"},
    {861, "CP861"},
    {862, "CP862"},
    {863, "CP863"},
    {864, "CP864"},
    {865, "CP865"},
    {866, "CP866"},
    {869, "CP869"},
    {870, "IBM870"},
    {874, "CP874"},
    {875, "IBM875"},
    {932, "CP932"},
    {936, "CP936"},
    {949, "CP949"},
    {950, "CP950"},
    {1026, "IBM1026"},
    {1047, "IBM1047"},
    {1140, "IBM1140"},
    {1141, "IBM1141"},
    {1142, "IBM1142"},
    {1143, "IBM1143"},
    {1144, "IBM1144"},
    {1145, "IBM1145"},
    {1146, "IBM1146"},
    {1147, "IBM1147"},
    {1148, "IBM1148"},
    {1149, "IBM1149"},
    {1200, "UTF-16LE"},
    {1201, "UTF-16BE"},
    {1250, "CP1250"},
    {1251, "CP1251"},
    {1252, "CP1252"},  // converted by a table of its own, see Encode and Decode
    {1253, "CP1253"},
    {1254, "CP1254"},
    {1255, "CP1255"},
    {1256, "CP1256"},
    {1257, "CP1257"},
    {1258, "CP1258"},
    {1361, "JOHAB"},
    {10000, "MACINTOSH"},
    {10007, "MAC-CYRILLIC"},
    {10017, "MACUKRAINIAN"},
    {10029, "MAC-CENTRALEUROPE"},
    {10079, "MAC-IS"},
    {12000, "UTF-32LE"},
    {12001, "UTF-32BE"},
    {20127, "US-ASCII"},
    {20273, "IBM273"},
    {20277, "IBM277"},
    {20278, "IBM278"},
    {20280, "IBM280"},
    {20284, "IBM284"},
    {20285, "IBM285"},
    {20290, "IBM290"},
    {20297, "IBM297"},
    {20420, "IBM420"},
    {20423, "IBM423"},
    {20424, "IBM424"},
    {20866, "KOI8-R"},
    {20871, "IBM871"},
    {20880, "IBM880"},
    {20905, "IBM905"},
    {20932, "EUC-JP"},
    {20936, "GB2312"},
    {21025, "IBM1025"},
    {21866, "KOI8-U"},
    {28591, "ISO-8859-1"},
    {28592, "ISO-8859-2"},
    {28593, "ISO-8859-3"},
    {28594, "ISO-8859-4"},
    {28595, "ISO-8859-5"},
    {28596, "ISO-8859-6"},
    {28597, "ISO-8859-7"},
    {28598, "ISO-8859-8"},
    {28599, "ISO-8859-9"},
    {28600, "ISO-8859-10"},
    {28601, "ISO-8859-11"},
    {28603, "ISO-8859-13"},
    {28604, "ISO-8859-14"},
    {28605, "ISO-8859-15"},
    {38598, "ISO-8859-8"},  // logical order: the same bytes
    {50220, "ISO-2022-JP"},
    {50221, "ISO-2022-JP"},
    {50222, "ISO-2022-JP"},
    {50225, "ISO-2022-KR"},
    {50227, "ISO-2022-CN"},
    {50930, "IBM930"},
    {50933, "IBM933"},
    {50935, "IBM935"},
    {50937, "IBM937"},
    {50939, "IBM939"},
    {51932, "EUC-JP"},
    {51936, "EUC-CN"},
    {51949, "EUC-KR"},
    {54936, "GB18030"},
    {65000, "UTF-7"},
    {65001, "UTF-8"},
};

static_assert(std::is_sorted(std::begin(kCodePageNames), std::end(kCodePageNames),
                             [](const CodePageName& a, const CodePageName& b) {
                               return a.codePage < b.codePage;
                             }));

// The iconv name of aCodePage: the table's, else iconv's own "CP<n>" (which
// iconv_open then accepts or refuses).
std::string IconvName(int aCodePage) {
  const auto found =
      std::lower_bound(std::begin(kCodePageNames), std::end(kCodePageNames), aCodePage,
                       [](const CodePageName& a, int aNumber) { return a.codePage < aNumber; });
  if (found == std::end(kCodePageNames) || found->codePage != aCodePage)
    return "CP" + std::to_string(aCodePage);
  return found->iconvName;
}

class Converter {
 public:
  Converter(const std::string& aTo, const std::string& aFrom, int aCodePage)
      : fHandle(::iconv_open(aTo.c_str(), aFrom.c_str())) {
    if (fHandle == reinterpret_cast<iconv_t>(-1))
      throw Error("Code page " + std::to_string(aCodePage) + " is not supported");
  }
  ~Converter() { ::iconv_close(fHandle); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts aIn; an input sequence that cannot be converted is replaced by
  // aReplacement (converted input) and skipped: one whole UTF-8 character
  // with aSkipCharacter, else one byte.
  std::string Run(std::string_view aIn, const std::string& aReplacement, bool aSkipCharacter) {
    std::string out;
    char buffer[4096];
    char* in = const_cast<char*>(aIn.data());
    size_t inLeft = aIn.size();
    while (inLeft > 0) {
      char* outPtr = buffer;
      size_t outLeft = sizeof buffer;
      const size_t rc = ::iconv(fHandle, &in, &inLeft, &outPtr, &outLeft);
      out.append(buffer, static_cast<size_t>(outPtr - buffer));
      if (rc != static_cast<size_t>(-1)) continue;
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL: one character that cannot be converted. A character
      // iconv holds back (to compose it with an accent that may follow) is
      // written out first.
      outPtr = buffer;
      outLeft = sizeof buffer;
      ::iconv(fHandle, nullptr, nullptr, &outPtr, &outLeft);
      out.append(buffer, static_cast<size_t>(outPtr - buffer));
      out += aReplacement;
      size_t skip = 1;
      if (aSkipCharacter) {
        const unsigned char c = static_cast<unsigned char>(*in);
        skip = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
      }
      if (skip > inLeft) skip = inLeft;
      in += skip;
      inLeft -= skip;
      ::iconv(fHandle, nullptr, nullptr, nullptr, nullptr);
    }
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    ::iconv(fHandle, nullptr, nullptr, &outPtr, &outLeft);
    out.append(buffer, static_cast<size_t>(outPtr - buffer));
    return out;
  }

 private:
  iconv_t fHandle;
};

}  // namespace

std::string EncodeCodePage(std::string_view aText, int aCodePage) {
  if (aCodePage == 65001) return std::string(aText);
  if (aCodePage == 1252) return EncodeWindows1252(aText);
  Converter c(IconvName(aCodePage), "UTF-8", aCodePage);
  // "?" in the code page's own bytes (two in UTF-16, another byte in EBCDIC).
  const std::string replacement = c.Run("?", "", true);
  return c.Run(aText, replacement, true);
}

std::string DecodeCodePage(std::string_view aBytes, int aCodePage) {
  if (aCodePage == 65001) return Utf16ToUtf8(Utf8ToUtf16(aBytes));
  if (aCodePage == 1252) return DecodeWindows1252(aBytes);
  Converter c("UTF-8", IconvName(aCodePage), aCodePage);
  return c.Run(aBytes, "\xEF\xBF\xBD", false);
}

}  // namespace korvane::platform
