// libFuzzer target: the library's text parsers and codecs, linked from kcore.
// The first byte chooses the parser; the rest is its text. Each result is
// checked against an oracle written from the documented rule, or by a round
// trip; a mismatch aborts with both sides printed.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "api/driver_api.h"
#include "base/currency.h"
#include "base/shared_types.h"
#include "device/receipt_util.h"
#include "device/xml_view.h"
#include "display/korvane/json_writer.h"
#include "helpers/ascii.h"
#include "helpers/base64.h"
#include "helpers/utf.h"
#include "platform/code_page.h"
#include "platform/error.h"

using namespace korvane;

namespace {

[[noreturn]] void Mismatch(const char* aWhat, std::string_view aInput, const std::string& aGot,
                           const std::string& aExpected) {
  std::fprintf(stderr, "fuzz_text_parsers: %s\n  input:    [%.*s]\n  got:      [%s]\n  expected: [%s]\n",
               aWhat, static_cast<int>(aInput.size()), aInput.data(), aGot.c_str(), aExpected.c_str());
  std::abort();
}

void Check(bool aOk, const char* aWhat, std::string_view aInput, const std::string& aGot = "",
           const std::string& aExpected = "") {
  if (!aOk) Mismatch(aWhat, aInput, aGot, aExpected);
}

bool IsValidUtf8(std::string_view aText) {
  return platform::InvalidUtf8Offset(aText) == std::string_view::npos;
}

// ---- integers ----------------------------------------------------------------

// Leading blanks, an optional sign, an optional hexadecimal mark ("$", "x",
// "X", "0x", "0X"), then at least one digit of the base and nothing else;
// the value within the 32-bit range.
std::optional<int32_t> IntegerOracle(std::string_view aText) {
  size_t i = aText.find_first_not_of(' ');
  if (i == std::string_view::npos) return std::nullopt;
  bool negative = false;
  if (aText[i] == '+' || aText[i] == '-') negative = aText[i++] == '-';
  std::string_view rest = aText.substr(i);
  int base = 10;
  if (!rest.empty() && (rest[0] == '$' || rest[0] == 'x' || rest[0] == 'X')) {
    base = 16;
    rest.remove_prefix(1);
  } else if (rest.size() >= 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X')) {
    base = 16;
    rest.remove_prefix(2);
  }
  if (rest.empty()) return std::nullopt;
  long long magnitude = 0;
  for (char c : rest) {
    const char* digits = "0123456789abcdef0123456789ABCDEF";
    const char* found = c == '\0' ? nullptr : std::strchr(digits, c);
    if (!found) return std::nullopt;
    const int digit = static_cast<int>(found - digits) % 16;
    if (digit >= base) return std::nullopt;
    magnitude = magnitude * base + digit;
    if (magnitude > (1LL << 31)) return std::nullopt;
  }
  const long long value = negative ? -magnitude : magnitude;
  if (value > INT32_MAX || value < INT32_MIN) return std::nullopt;
  return static_cast<int32_t>(value);
}

void Integers(std::string_view aText) {
  int32_t value = 0;
  const bool ok = krptUtil::TryStrToInt(aText, value);
  const std::optional<int32_t> expected = IntegerOracle(aText);
  Check(ok == expected.has_value() && (!ok || value == *expected), "TryStrToInt against its rule", aText,
        ok ? std::to_string(value) : "(invalid)", expected ? std::to_string(*expected) : "(invalid)");
  if (!ok) return;
  int32_t again = 0;
  Check(krptUtil::TryStrToInt(std::to_string(value), again) && again == value, "TryStrToInt round trip",
        aText);
}

// ---- amounts ---------------------------------------------------------------------

// The amount of a taken-apart decimal text in 1/10000 units, rounded half to
// even, by 128-bit arithmetic; nothing when it does not fit 64 bits; unset
// (aKnown false) where the text is beyond this oracle's reach.
std::optional<int64_t> AmountOracle(const tTK_DecimalText& aNumber, bool& aKnown) {
  aKnown = false;
  if (aNumber.digits.size() > 30) return std::nullopt;
  const int64_t shift = aNumber.exponent + 4;  // power of ten of the last digit, in 1/10000 units
  if (shift < -60 || shift > 60) return std::nullopt;
  aKnown = true;
  __int128 value = 0;
  for (char c : aNumber.digits) value = value * 10 + (c - '0');
  const __int128 limit = static_cast<__int128>(INT64_MAX) + (aNumber.negative ? 1 : 0);
  if (shift >= 0) {
    for (int64_t i = 0; i < shift && value != 0; ++i) {
      value *= 10;
      if (value > limit) return std::nullopt;
    }
  } else {
    if (-shift > 38) {
      value = 0;  // far below half a unit: every digit string here is below 10^30
    } else {
      __int128 divisor = 1;
      for (int64_t i = 0; i < -shift; ++i) divisor *= 10;
      const __int128 quotient = value / divisor;
      const __int128 remainder = value % divisor;
      value = quotient;
      if (remainder * 2 > divisor || (remainder * 2 == divisor && (quotient & 1) != 0)) ++value;
    }
  }
  if (value > limit) return std::nullopt;
  return static_cast<int64_t>(aNumber.negative ? -value : value);
}

void Amounts(std::string_view aText) {
  Currency value;
  const bool ok = Currency::TryParse(aText, value);
  tTK_DecimalText number;
  const bool decimal = ParseDecimalText(aText, '.', number);
  Check(!ok || decimal, "Currency::TryParse accepts only decimal texts", aText);
  if (decimal) {
    bool known = false;
    const std::optional<int64_t> expected = AmountOracle(number, known);
    // The most negative amount may or may not be accepted.
    const bool edge = expected && *expected == INT64_MIN;
    if (known && !edge)
      Check(ok == expected.has_value() && (!ok || value.Raw() == *expected),
            "Currency::TryParse against 128 bits", aText, ok ? std::to_string(value.Raw()) : "(invalid)",
            expected ? std::to_string(*expected) : "(invalid)");
  }
  if (!ok) return;
  const std::string printed = value.ToString();
  Currency again;
  Check(Currency::TryParse(printed, again) && again == value, "Currency round trip", aText, printed);
  Check(again.ToString() == printed, "Currency prints one form", aText, again.ToString(), printed);
}

void RawAmounts(std::string_view aBytes) {
  if (aBytes.size() < 8) return;
  int64_t raw;
  std::memcpy(&raw, aBytes.data(), 8);
  const Currency value = Currency::FromRaw(raw);
  const std::string printed = value.ToString();
  Currency again;
  Check(Currency::TryParse(printed, again) && again == value, "Currency::ToString parses back", printed,
        std::to_string(again.Raw()), std::to_string(raw));
  Check(FormatJsonAmount(raw) == printed, "FormatJsonAmount and Currency::ToString agree", printed,
        FormatJsonAmount(raw), printed);
}

// ---- booleans ----------------------------------------------------------------------

void Booleans(std::string_view aText) {
  std::optional<bool> expected;
  tTK_DecimalText number;
  if (ParseDecimalText(aText, '.', number))
    expected = !number.digits.empty();
  else if (AsciiLower(aText) == "true")
    expected = true;
  else if (AsciiLower(aText) == "false")
    expected = false;
  std::optional<bool> got;
  try {
    got = krptUtil::StrToBool(aText);
  } catch (const Error&) {
  }
  Check(got == expected, "StrToBool against its rule", aText, got ? (*got ? "true" : "false") : "(invalid)",
        expected ? (*expected ? "true" : "false") : "(invalid)");
}

// ---- dates -------------------------------------------------------------------------

std::string Formatted(const TDateTimeParts& p) {
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", p.year, p.month, p.day, p.hour,
                p.minute, p.second, p.millisecond);
  return text;
}

void Dates(std::string_view aText) {
  if (!IsValidUtf8(aText)) return;
  try {
    const TDateTime date = XmlStrToDate(aText);
    const TDateTimeParts p = DecodeDateTime(date);
    Check(p.hour == 0 && p.minute == 0 && p.second == 0 && p.millisecond == 0, "XmlStrToDate has no time",
          aText, Formatted(p));
    Check(XmlStrToDate(Formatted(p)) == date, "XmlStrToDate round trip", aText, Formatted(p));
  } catch (const Error&) {
  }
  try {
    const TDateTime value = XmlStrToDateTime(aText);
    const TDateTimeParts p = DecodeDateTime(value);
    const TDateTime again = XmlStrToDateTime(Formatted(p));
    Check(again == value, "XmlStrToDateTime round trip", aText, Formatted(DecodeDateTime(again)),
          Formatted(p));
    // The date part of a date-time text is the date text.
    Check(XmlStrToDate(aText) == EncodeDate(p.year, p.month, p.day), "XmlStrToDateTime's date", aText,
          Formatted(p));
  } catch (const Error&) {
  }
}

// ---- codecs ------------------------------------------------------------------------

void Codecs(std::string_view aBytes) {
  // Base64 both ways.
  const std::string encoded = Base64Encode(aBytes);
  Check(encoded.size() == Base64Length(aBytes.size()), "Base64Length", aBytes, encoded);
  const std::optional<std::string> decoded = Base64Decode(encoded);
  Check(decoded && *decoded == aBytes, "Base64 round trip", aBytes, decoded ? *decoded : "(invalid)");
  if (const std::optional<std::string> bytes = Base64Decode(aBytes)) {
    const std::optional<std::string> again = Base64Decode(Base64Encode(*bytes));
    Check(again && *again == *bytes, "Base64 decoded bytes round trip", aBytes);
  }
  // UTF-8 and UTF-16 both ways.
  if (IsValidUtf8(aBytes)) {
    const std::u16string wide = platform::Utf8ToUtf16(aBytes);
    Check(platform::Utf16ToUtf8(wide) == aBytes, "UTF-8 round trip", aBytes);
    Check(platform::Utf16Length(aBytes) == wide.size(), "Utf16Length", aBytes);
  } else {
    Check(IsValidUtf8(platform::Utf16ToUtf8(platform::Utf8ToUtf16(aBytes))), "bad UTF-8 becomes valid text",
          aBytes);
  }
  std::u16string units(aBytes.size() / 2, u'\0');
  std::memcpy(units.data(), aBytes.data(), units.size() * 2);
  try {
    const std::string utf8 = platform::Utf16ToUtf8(units);
    Check(platform::Utf8ToUtf16(utf8) == units, "UTF-16 round trip", aBytes, utf8);
  } catch (const Error&) {
    Check(IsValidUtf8(platform::Utf16ToUtf8Replacing(units)), "lone surrogates replaced", aBytes);
  }
  // The receipt vocabulary: a text read as a value is written back as a
  // text that reads as the same value.
#define KORVANE_ROUND_TRIP(NAME)                                                          \
  try {                                                                                   \
    const auto value = krptUtil::Decode##NAME(aBytes);                                    \
    Check(krptUtil::Decode##NAME(krptUtil::Encode##NAME(value)) == value, #NAME, aBytes); \
  } catch (const Error&) {                                                                \
  }
  KORVANE_ROUND_TRIP(LineType)
  KORVANE_ROUND_TRIP(PaymentType)
  KORVANE_ROUND_TRIP(ReceiptType)
  KORVANE_ROUND_TRIP(ReferenceType)
  KORVANE_ROUND_TRIP(TaxType)
  KORVANE_ROUND_TRIP(Alignment)
  KORVANE_ROUND_TRIP(BarcodeType)
  KORVANE_ROUND_TRIP(Effect)
  KORVANE_ROUND_TRIP(Effects)
  KORVANE_ROUND_TRIP(ImageSource)
  KORVANE_ROUND_TRIP(CustomerIdType)
#undef KORVANE_ROUND_TRIP
}

// ---- escaping ----------------------------------------------------------------------

// A JSON string's text (quotes included) read back; nothing when it is not
// a JSON string with every control character escaped.
std::optional<std::string> JsonStringValue(std::string_view aJson) {
  if (aJson.size() < 2 || aJson.front() != '"' || aJson.back() != '"') return std::nullopt;
  std::u16string out;
  const std::string_view body = aJson.substr(1, aJson.size() - 2);
  for (size_t i = 0; i < body.size();) {
    const char c = body[i];
    if (static_cast<unsigned char>(c) < 0x20 || c == '"') return std::nullopt;
    if (c != '\\') {
      size_t end = body.find_first_of("\\\"", i);
      if (end == std::string_view::npos) end = body.size();
      for (char16_t u : platform::Utf8ToUtf16(body.substr(i, end - i))) out += u;
      i = end;
      continue;
    }
    if (i + 1 >= body.size()) return std::nullopt;
    const char e = body[i + 1];
    i += 2;
    switch (e) {
      case '"': out += u'"'; break;
      case '\\': out += u'\\'; break;
      case '/': out += u'/'; break;
      case 'b': out += u'\b'; break;
      case 'f': out += u'\f'; break;
      case 'n': out += u'\n'; break;
      case 'r': out += u'\r'; break;
      case 't': out += u'\t'; break;
      case 'u': {
        if (i + 4 > body.size()) return std::nullopt;
        char16_t unit = 0;
        for (int k = 0; k < 4; ++k) {
          const char h = body[i + k];
          unit = static_cast<char16_t>(unit * 16 + (h >= '0' && h <= '9'   ? h - '0'
                                                    : h >= 'a' && h <= 'f' ? h - 'a' + 10
                                                    : h >= 'A' && h <= 'F' ? h - 'A' + 10
                                                                           : 99));
          if (!std::strchr("0123456789abcdefABCDEF", h)) return std::nullopt;
        }
        out += unit;
        i += 4;
        break;
      }
      default: return std::nullopt;
    }
  }
  try {
    return platform::Utf16ToUtf8(out);
  } catch (const Error&) {
    return std::nullopt;
  }
}

void Escaping(std::string_view aText) {
  // Texts reach the JSON writer and the envelope as UTF-8 (requests are
  // checked when they are parsed).
  if (!IsValidUtf8(aText)) return;
  std::string json;
  AppendJsonString(json, aText);
  const std::optional<std::string> back = JsonStringValue(json);
  Check(back && *back == aText, "JSON string round trip", aText, back ? *back : "(not a JSON string)", json);

  // The envelope's escaping, read back by the request parser.
  if (aText.find('\0') != std::string_view::npos) return;
  const std::string escaped = kCustomerDisplayWrapper::EscapeXml(std::string(aText));
  std::string expected;  // line ends as XML reads them: CR LF and CR become LF
  for (size_t i = 0; i < aText.size(); ++i) {
    if (aText[i] != '\r') {
      expected += aText[i];
      continue;
    }
    expected += '\n';
    if (i + 1 < aText.size() && aText[i + 1] == '\n') ++i;
  }
  if (expected.find_first_not_of(" \t\n") == std::string::npos)
    expected.clear();  // white space only: no text
  std::string got;
  try {
    got = XmlNodeText(ParseXmlDocumentUtf8("<R>" + escaped + "</R>")->DocumentElement());
  } catch (const Error& e) {
    Mismatch("escaped text does not parse", aText, e.what(), expected);
  }
  Check(got == expected, "XML escaping round trip", aText, got, expected);
}

// Any request text: when it parses, it is one element with no text beside
// it, and every text in it is UTF-8 without U+0000.
void XmlTexts(std::string_view aText) {
  kXmlDocument doc;
  try {
    doc = ParseXmlDocumentUtf8(aText);
  } catch (const Error&) {
    return;
  }
  int elements = 0;
  for (XmlNode child = doc->Document().FirstChild(); child; child = child.NextSibling()) {
    Check(child.Type() != XmlNodeType::Text && child.Type() != XmlNodeType::CData, "text beside the root",
          aText, std::string(child.Value()));
    if (child.Type() == XmlNodeType::Element) ++elements;
  }
  Check(elements == 1, "one root element", aText, std::to_string(elements));
  for (XmlNode node = doc->Document().FirstChild(); node;) {
    const std::string_view value = node.Value();
    Check(IsValidUtf8(value) && value.find('\0') == std::string_view::npos, "a text that is not UTF-8", aText,
          std::string(value));
    for (XmlAttribute a = node.FirstAttribute(); a; a = a.NextAttribute())
      Check(IsValidUtf8(a.Value()), "an attribute that is not UTF-8", aText, std::string(a.Value()));
    if (node.FirstChild()) {
      node = node.FirstChild();
      continue;
    }
    while (node && !node.NextSibling()) node = node.Parent();
    if (node) node = node.NextSibling();
  }
}

// ---- code pages ------------------------------------------------------------------

void CodePages(std::string_view aInput) {
  if (aInput.empty()) return;
  // Single-byte code pages whose characters map one to one. (Windows-1255
  // and 1258 are not among them: iconv composes their combining marks.)
  static constexpr int kSingleByte[] = {1250, 1251, 1252, 1253, 1254, 1256, 1257, 437, 850, 866};
  const int codePage = kSingleByte[static_cast<uint8_t>(aInput[0]) % std::size(kSingleByte)];
  const std::string_view bytes = aInput.substr(1);
  std::string text;
  try {
    text = platform::DecodeCodePage(bytes, codePage);
  } catch (const Error&) {
    return;  // a code page this system does not have
  }
  Check(IsValidUtf8(text), "decoded text is UTF-8", bytes, text);
  Check(platform::Utf16Length(text) == bytes.size(), "one character per byte", bytes, text);
  // A byte without a character decodes to U+FFFD; any other comes back.
  if (text.find("\xEF\xBF\xBD") == std::string::npos)
    Check(platform::EncodeCodePage(text, codePage) == bytes, "code page round trip", bytes, text);
  // UTF-8 text encodes to one byte per character, "?" where the page lacks it.
  if (IsValidUtf8(bytes)) {
    const std::string encoded = platform::EncodeCodePage(bytes, codePage);
    size_t characters = 0;
    for (char32_t c : platform::Utf8ToUtf16(bytes))
      if (c < 0xDC00 || c > 0xDFFF) ++characters;
    Check(encoded.size() == characters, "one byte per character", bytes, encoded);
    const std::string back = platform::DecodeCodePage(encoded, codePage);
    Check(platform::EncodeCodePage(back, codePage) == encoded, "encoded text round trip", bytes, back);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  if (aSize == 0) return 0;
  const std::string_view text(reinterpret_cast<const char*>(aData + 1), aSize - 1);
  switch (aData[0] % 9) {
    case 0: Integers(text); break;
    case 1: Amounts(text); break;
    case 2: RawAmounts(text); break;
    case 3: Booleans(text); break;
    case 4: Dates(text); break;
    case 5: Codecs(text); break;
    case 6: Escaping(text); break;
    case 7: XmlTexts(text); break;
    case 8: CodePages(text); break;
  }
  return 0;
}
