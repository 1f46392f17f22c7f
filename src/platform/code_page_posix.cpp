// Code-page conversions through iconv.
#include <iconv.h>

#include <cerrno>
#include <string>

#include "platform/code_page.h"
#include "platform/error.h"
#include "platform/utf.h"

namespace korvane::platform {
namespace {

std::string IconvName(int aCodePage) {
  switch (aCodePage) {
    case 65001: return "UTF-8";
    case 1200: return "UTF-16LE";
    case 1201: return "UTF-16BE";
    case 20127: return "ASCII";
    case 65000: return "UTF-7";
    case 28591: return "ISO-8859-1";
    default: return "CP" + std::to_string(aCodePage);
  }
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
  // aReplacement (converted input) and skipped by aSkip bytes.
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
      // EILSEQ or EINVAL: one character that cannot be converted.
      out += aReplacement;
      size_t skip = 1;
      if (aSkipCharacter) {
        // Skip one whole UTF-8 character.
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
  Converter c(IconvName(aCodePage), "UTF-8", aCodePage);
  return c.Run(aText, "?", true);
}

std::string DecodeCodePage(std::string_view aBytes, int aCodePage) {
  if (aCodePage == 65001) return Utf16ToUtf8(Utf8ToUtf16(aBytes));
  Converter c("UTF-8", IconvName(aCodePage), aCodePage);
  return c.Run(aBytes, "\xEF\xBF\xBD", false);
}

}  // namespace korvane::platform
