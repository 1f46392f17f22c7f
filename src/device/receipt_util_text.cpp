// krptUtil's text conversions: integer, currency and boolean texts, and
// NormalizeText.
#include "device/receipt_util.h"
#include "helpers/ascii.h"
#include "helpers/utf.h"
#include "platform/error.h"

namespace korvane {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool krptUtil::TryStrToInt(std::string_view aText, int32_t& aValue) {
  size_t i = 0;
  const size_t n = aText.size();
  while (i < n && aText[i] == ' ') ++i;
  bool negative = false;
  if (i < n && (aText[i] == '+' || aText[i] == '-')) negative = aText[i++] == '-';
  int base = 10;
  if (i < n && (aText[i] == '$' || aText[i] == 'x' || aText[i] == 'X')) {
    base = 16;
    ++i;
  } else if (i + 1 < n && aText[i] == '0' && (aText[i + 1] == 'x' || aText[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= n) return false;
  const int64_t limit = negative ? int64_t{1} << 31 : (int64_t{1} << 31) - 1;
  int64_t value = 0;
  for (; i < n; ++i) {
    const int digit = HexDigit(aText[i]);
    if (digit < 0 || digit >= base) return false;
    value = value * base + digit;
    if (value > limit) return false;
  }
  aValue = static_cast<int32_t>(negative ? -value : value);
  return true;
}

int32_t krptUtil::StrToInt(std::string_view aText) {
  int32_t value = 0;
  if (!TryStrToInt(aText, value)) throw Error("'" + std::string(aText) + "' is not a valid integer value");
  return value;
}

Currency krptUtil::StrToCurr(std::string_view aText) { return Currency::Parse(aText); }

bool krptUtil::StrToBool(std::string_view aText) {
  // The process's decimal separator here is ".".
  tTK_DecimalText number;
  if (ParseDecimalText(aText, '.', number)) return !number.digits.empty();
  const std::string lower = AsciiLower(aText);
  if (lower == "true") return true;
  if (lower == "false") return false;
  throw Error("'" + std::string(aText) + "' is not a valid boolean value");
}

std::string krptUtil::NormalizeText(std::string_view aText) {
  std::u16string text = platform::Utf8ToUtf16(aText);
  static constexpr std::pair<char16_t, char16_t> kCapitals[] = {
      {u'\u00C0', u'A'}, {u'\u00D9', u'U'}, {u'\u00C8', u'E'}, {u'\u00C9', u'E'}, {u'\u00D2', u'O'},
      {u'\u00D6', u'O'}, {u'\u00C7', u'C'}, {u'\u00CF', u'I'}, {u'\u00CC', u'I'}};
  for (char16_t& c : text)
    for (const auto& [from, to] : kCapitals)
      if (c == from) c = to;
  std::u16string shortened;
  shortened.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    if (text.compare(i, 6, u"TOTALE") == 0) {
      shortened += u"TOT.";
      i += 6;
    } else {
      shortened += text[i++];
    }
  }
  // Surrogate halves fall in the replaced range, so no lone one survives.
  for (char16_t& c : shortened)
    if ((c < 32 || c > 128) && c != u'\u20AC') c = u' ';
  return platform::Utf16ToUtf8(shortened);
}

}  // namespace korvane
