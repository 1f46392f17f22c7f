#include "display_message.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "helpers/ascii.h"
#include "helpers/base64.h"

namespace korvane::simulator {

using nlohmann::json;

namespace {

// The library writes control characters other than \b \t \n \f \r into its
// strings unescaped, which JSON does not allow. A display has to read them
// anyway: escape every control byte that stands inside a string.
std::string EscapeControlsInStrings(std::string_view aText) {
  std::string out;
  out.reserve(aText.size());
  bool inString = false;
  for (std::size_t i = 0; i < aText.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(aText[i]);
    if (!inString) {
      if (c == '"') inString = true;
      out += static_cast<char>(c);
    } else if (c == '\\' && i + 1 < aText.size()) {
      out += aText[i];
      out += aText[++i];
    } else if (c == '"') {
      inString = false;
      out += '"';
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

const char* TypeName(const json& aValue) {
  switch (aValue.type()) {
    case json::value_t::string: return "a string";
    case json::value_t::boolean: return "a boolean";
    case json::value_t::number_integer:
    case json::value_t::number_unsigned:
    case json::value_t::number_float: return "a number";
    case json::value_t::object: return "an object";
    case json::value_t::array: return "an array";
    default: return "null";
  }
}

// Typed access to the members of one object; fPath names it in errors.
class Members {
 public:
  Members(const json& aObject, std::string aPath, std::vector<std::string>& aWarnings)
      : fObject(aObject), fPath(std::move(aPath)), fWarnings(aWarnings) {}

  const json* Find(const char* aName, const char* aWanted, bool (json::*aIsType)() const noexcept) const {
    const auto it = fObject.find(aName);
    if (it == fObject.end() || it->is_null()) return nullptr;
    if (!((*it).*aIsType)())
      throw ProtocolError(fPath + "." + aName + " must be " + aWanted + ", not " + TypeName(*it));
    return &*it;
  }
  std::optional<std::string> OptString(const char* aName) const {
    const json* value = Find(aName, "a string", &json::is_string);
    if (!value) return std::nullopt;
    return value->get<std::string>();
  }
  std::string String(const char* aName) const { return OptString(aName).value_or(""); }
  bool Bool(const char* aName, bool aDefault = false) const {
    const json* value = Find(aName, "a boolean", &json::is_boolean);
    return value ? value->get<bool>() : aDefault;
  }
  std::optional<double> OptNumber(const char* aName) const {
    const json* value = Find(aName, "a number", &json::is_number);
    if (!value) return std::nullopt;
    return value->get<double>();
  }
  Amount AmountOf(const char* aName) const { return Amount::FromDouble(OptNumber(aName).value_or(0.0)); }
  ImagePtr Picture(const char* aName) const {
    const auto text = OptString(aName);
    if (!text || text->empty()) return nullptr;
    auto image = DecodeImage(*text);
    if (!image->fError.empty()) fWarnings.push_back(fPath + "." + aName + ": " + image->fError);
    return image;
  }
  template <typename F>
  void EachObject(const char* aName, F aRead) const {
    const json* list = Find(aName, "an array", &json::is_array);
    if (!list) return;
    for (std::size_t i = 0; i < list->size(); ++i) {
      const std::string path = fPath + "." + aName + "[" + std::to_string(i) + "]";
      const json& item = (*list)[i];
      if (!item.is_object()) throw ProtocolError(path + " must be an object, not " + TypeName(item));
      aRead(Members(item, path, fWarnings));
    }
  }

 private:
  const json& fObject;
  std::string fPath;
  std::vector<std::string>& fWarnings;
};

void ReadOpen(const Members& aIn, OpenMessage& aOut) {
  aOut.fMode = aIn.OptString("Mode");
  aOut.fLayout = aIn.OptString("Layout");
  aOut.fContentRatio = aIn.OptString("ContentRatio");
  aOut.fLanguage = aIn.OptString("Language");
  aOut.fFontName = aIn.OptString("FontName");
  aOut.fShowTaxes = aIn.Bool("ShowTaxes");
  aOut.fLogoDark = aIn.Picture("LogoImage_Dark");
  aOut.fLogoLight = aIn.Picture("LogoImage_Light");
  aOut.fIdleImage = aIn.Picture("IdleImage");
  aOut.fReceiptImage = aIn.Picture("ReceiptImage");
  aOut.fThankyouImage = aIn.Picture("ThankyouImage");
  if (const auto timeout = aIn.OptNumber("IdleTimeout"))
    aOut.fIdleTimeout = static_cast<std::int64_t>(std::llround(std::max(0.0, std::min(*timeout, 1e9))));
  aOut.fIdleText1 = aIn.String("IdleText1");
  aOut.fIdleText2 = aIn.String("IdleText2");
  aOut.fThankyouText1 = aIn.String("ThankyouText1");
  aOut.fThankyouText2 = aIn.String("ThankyouText2");
  aOut.fCloseText1 = aIn.String("CloseText1");
  aOut.fCloseText2 = aIn.String("CloseText2");
  aOut.fShowOnlyVideo = aIn.Bool("ShowOnlyVideo");
  aOut.fIdleVideoUrl = aIn.String("IdleVideoUrl");
  for (int i = 0; i < 10; ++i) aOut.fColors[i] = aIn.String(kColorRoles[i]);
}

void ReadText(const Members& aIn, TextMessage& aOut) {
  aOut.fText1 = aIn.String("Text1");
  aOut.fText2 = aIn.String("Text2");
  aOut.fImage = aIn.Picture("Image");
}

void ReadReceipt(const Members& aIn, ReceiptMessage& aOut) {
  aOut.fCurrency = aIn.String("Currency");
  aOut.fSubtotal = aIn.AmountOf("Subtotal");
  aOut.fTaxes = aIn.AmountOf("Taxes");
  aOut.fTotal = aIn.AmountOf("Total");
  aOut.fText1 = aIn.String("Text1");
  aOut.fText2 = aIn.String("Text2");
  aOut.fImage = aIn.Picture("Image");
  aIn.EachObject("Lines", [&](const Members& line) {
    aOut.fLines.push_back({line.String("Type"), line.String("Code"), line.String("Description"),
                           line.AmountOf("Quantity"), line.AmountOf("Price"), line.AmountOf("Amount")});
  });
  aOut.fShowPayments = aIn.Bool("ShowPayments");
  aIn.EachObject("Payments", [&](const Members& payment) {
    aOut.fPayments.push_back({payment.String("Type"), payment.String("Text1"), payment.String("Text2"),
                              payment.AmountOf("Amount")});
  });
}

bool IsHex(std::string_view aText) {
  return !aText.empty() && aText.find_first_not_of("0123456789abcdefABCDEF") == std::string_view::npos;
}

std::string Quote(const std::string& aText) {
  std::string shown = aText;
  if (shown.size() > 40) {
    std::size_t cut = 37;
    while (cut > 0 && (static_cast<unsigned char>(shown[cut]) & 0xC0) == 0x80) --cut;  // whole characters
    shown = shown.substr(0, cut) + "...";
  }
  for (auto& c : shown)
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  return "\"" + shown + "\"";
}

}  // namespace

const char* KindName(MessageKind aKind) {
  switch (aKind) {
    case MessageKind::Open: return "Open";
    case MessageKind::Close: return "Close";
    case MessageKind::Message: return "Message";
    case MessageKind::Thankyou: return "Thankyou";
    case MessageKind::Idle: return "Idle";
    case MessageKind::Receipt: return "Receipt";
  }
  return "?";
}

std::string SniffImageType(std::string_view aBytes) {
  auto starts = [&](std::string_view aMagic) { return aBytes.substr(0, aMagic.size()) == aMagic; };
  if (starts("\x89PNG\r\n\x1a\n")) return "image/png";
  if (starts("\xFF\xD8\xFF")) return "image/jpeg";
  if (starts("GIF87a") || starts("GIF89a")) return "image/gif";
  if (starts("RIFF") && aBytes.substr(8, 4) == "WEBP") return "image/webp";
  if (starts("BM")) return "image/bmp";
  return "";
}

ImagePtr DecodeImage(std::string_view aBase64) {
  auto image = std::make_shared<Image>();
  auto bytes = Base64Decode(aBase64);
  if (!bytes) {
    image->fError = "not Base64 text";
  } else if (bytes->empty()) {
    image->fError = "no picture data";
  } else {
    image->fMime = SniffImageType(*bytes);
    if (image->fMime.empty())
      image->fError = "not a PNG or JPEG picture";
    else
      image->fBytes = std::move(*bytes);
  }
  return image;
}

Amount Amount::FromDouble(double aValue) {
  if (!std::isfinite(aValue)) return {};
  const double units = std::round(aValue * 10000.0);
  if (units >= 9.2e18 || units <= -9.2e18) return {};
  return {static_cast<std::int64_t>(units)};
}

std::string Amount::Format(int aMinDecimals, char aDecimalPoint) const {
  const bool negative = fUnits < 0;
  const std::uint64_t magnitude =
      negative ? std::uint64_t(0) - static_cast<std::uint64_t>(fUnits) : static_cast<std::uint64_t>(fUnits);
  std::string fraction = std::to_string(magnitude % 10000);
  fraction.insert(0, 4 - fraction.size(), '0');
  while (static_cast<int>(fraction.size()) > aMinDecimals && fraction.back() == '0') fraction.pop_back();
  std::string text = negative ? "-" : "";
  text += std::to_string(magnitude / 10000);
  if (!fraction.empty()) text += aDecimalPoint + fraction;
  return text;
}

std::optional<std::string> NormalizeColor(std::string_view aText) {
  while (!aText.empty() && aText.front() == ' ') aText.remove_prefix(1);
  while (!aText.empty() && aText.back() == ' ') aText.remove_suffix(1);
  std::string text = AsciiLower(aText);
  std::string hex;
  if (text.rfind('#', 0) == 0)
    hex = text.substr(1);
  else if (text.rfind("0x", 0) == 0)
    hex = text.substr(2);
  else if (text.size() == 6 || text.size() == 8)
    hex = text;
  if (IsHex(hex)) {
    if (hex.size() == 3) hex = {hex[0], hex[0], hex[1], hex[1], hex[2], hex[2]};
    if (hex.size() == 6) return "#" + hex;
    if (hex.size() == 8) {  // alpha first
      if (hex.substr(0, 2) == "ff") return "#" + hex.substr(2);
      const auto byte = [&](int at) { return std::stoi(hex.substr(at, 2), nullptr, 16); };
      char css[48];
      std::snprintf(css, sizeof css, "rgba(%d,%d,%d,%.3f)", byte(2), byte(4), byte(6), byte(0) / 255.0);
      return std::string(css);
    }
  }
  if ((text.rfind("rgb(", 0) == 0 || text.rfind("rgba(", 0) == 0) && text.back() == ')' &&
      text.find_first_not_of("rgba(0123456789., %)") == std::string::npos)
    return text;
  if (text.size() >= 3 && text.size() <= 30 &&
      text.find_first_not_of("abcdefghijklmnopqrstuvwxyz") == std::string::npos)
    return text;
  return std::nullopt;
}

DisplayMessage ParseDisplayMessage(std::string_view aText) {
  json document;
  try {
    const bool controls = std::any_of(aText.begin(), aText.end(), [](char c) {
      return static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\r' && c != '\t';
    });
    document = controls ? json::parse(EscapeControlsInStrings(aText)) : json::parse(aText);
  } catch (const json::parse_error& e) {
    const std::string what = e.what();
    const auto at = what.find("parse error");
    throw ProtocolError("malformed JSON: " + (at == std::string::npos ? what : what.substr(at)));
  }
  if (!document.is_object())
    throw ProtocolError(std::string("the message must be an object, not ") + TypeName(document));
  if (document.size() != 1)
    throw ProtocolError("the message must have exactly one member, not " + std::to_string(document.size()));
  const auto member = document.begin();
  const std::string name = member.key();
  const json& body = member.value();
  DisplayMessage message;
  static const std::pair<const char*, MessageKind> kKinds[] = {
      {"Open", MessageKind::Open},         {"Close", MessageKind::Close}, {"Message", MessageKind::Message},
      {"Thankyou", MessageKind::Thankyou}, {"Idle", MessageKind::Idle},   {"Receipt", MessageKind::Receipt}};
  bool known = false;
  for (const auto& [kindName, kind] : kKinds)
    if (name == kindName) message.fKind = kind, known = true;
  if (!known) throw ProtocolError("unknown message \"" + name + "\"");
  if (!body.is_object()) throw ProtocolError(name + " must be an object, not " + TypeName(body));
  const Members members(body, name, message.fWarnings);
  switch (message.fKind) {
    case MessageKind::Open: ReadOpen(members, message.fOpen); break;
    case MessageKind::Receipt: ReadReceipt(members, message.fReceipt); break;
    default: ReadText(members, message.fText); break;
  }
  return message;
}

std::string Summarize(const DisplayMessage& aMessage) {
  std::string text = KindName(aMessage.fKind);
  switch (aMessage.fKind) {
    case MessageKind::Open: {
      const auto& open = aMessage.fOpen;
      text += " mode " + open.fMode.value_or("-") + ", layout " + open.fLayout.value_or("-");
      if (open.fIdleTimeout) text += ", idle time-out " + std::to_string(*open.fIdleTimeout) + " s";
      if (open.fLogoDark || open.fLogoLight) text += ", logo";
      int colours = 0;
      for (const auto& colour : open.fColors) colours += colour.empty() ? 0 : 1;
      if (colours) text += ", " + std::to_string(colours) + " colours";
      break;
    }
    case MessageKind::Receipt: {
      const auto& receipt = aMessage.fReceipt;
      text += " " + std::to_string(receipt.fLines.size()) + (receipt.fLines.size() == 1 ? " line" : " lines");
      text +=
          ", total " + receipt.fTotal.Format() + (receipt.fCurrency.empty() ? "" : " " + receipt.fCurrency);
      if (!receipt.fPayments.empty()) text += ", " + std::to_string(receipt.fPayments.size()) + " payment(s)";
      break;
    }
    default:
      if (!aMessage.fText.fText1.empty()) text += " " + Quote(aMessage.fText.fText1);
      if (!aMessage.fText.fText2.empty()) text += " / " + Quote(aMessage.fText.fText2);
      if (aMessage.fText.fImage) text += " + picture";
      break;
  }
  return text;
}

}  // namespace korvane::simulator
