// The JSON messages of the display protocol, read into typed records.
//
// A message is an object with one member whose name says what to show:
// "Open", "Close", "Message", "Thankyou", "Idle" or "Receipt". Members of
// the inner object may be missing (the display then uses its defaults) and
// may occur twice (the later one wins); members it does not know are
// ignored. A member of the wrong JSON type makes the whole message invalid.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::simulator {

// A message the display cannot use: the text says why.
class ProtocolError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A picture sent inline as Base64 text. An image whose text is not Base64
// keeps the reason in fError and has no bytes.
struct Image {
  std::string fMime;  // "image/png", "image/jpeg", ... from the first bytes
  std::string fBytes;
  std::string fError;
};
using ImagePtr = std::shared_ptr<const Image>;

// Decodes Base64 text (standard or URL alphabet, padding optional, white
// space ignored: korvane::Base64Decode) and recognises the picture type.
ImagePtr DecodeImage(std::string_view aBase64);
std::string SniffImageType(std::string_view aBytes);

// An amount as sent: a JSON number, kept as a count of 1/10000 units.
struct Amount {
  std::int64_t fUnits = 0;
  static Amount FromDouble(double aValue);
  // At least aMinDecimals fraction digits, more (up to four) when needed;
  // aDecimalPoint between the whole part and the fraction.
  std::string Format(int aMinDecimals = 2, char aDecimalPoint = '.') const;
};

// The ten colour roles of an Open message, in their protocol order.
inline constexpr const char* kColorRoles[10] = {
    "ColorSurface",     "ColorOnSurface",        "ColorOnSurfaceVariant",   "ColorPrimary",
    "ColorOnPrimary",   "ColorPrimaryContainer", "ColorOnPrimaryContainer", "ColorSecondary",
    "ColorOnSecondary", "ColorOutlineVariant"};

// A colour text turned into a CSS colour: "#RGB", "#RRGGBB", "#AARRGGBB" and
// "0xAARRGGBB" (alpha first), "rgb(...)"/"rgba(...)" and plain colour names.
// Anything else gives nothing.
std::optional<std::string> NormalizeColor(std::string_view aText);

struct OpenMessage {
  std::optional<std::string> fMode, fLayout, fContentRatio, fLanguage, fFontName;
  bool fShowTaxes = false;
  ImagePtr fLogoDark, fLogoLight, fIdleImage, fReceiptImage, fThankyouImage;
  std::optional<std::int64_t> fIdleTimeout;  // seconds
  std::string fIdleText1, fIdleText2, fThankyouText1, fThankyouText2, fCloseText1, fCloseText2;
  bool fShowOnlyVideo = false;
  std::string fIdleVideoUrl;
  std::string fColors[10];  // as sent, in the order of kColorRoles; "" when absent
};

// Message, Thankyou, Idle and Close: two texts and a picture.
struct TextMessage {
  std::string fText1, fText2;
  ImagePtr fImage;
};

struct ReceiptLine {
  std::string fType, fCode, fDescription;
  Amount fQuantity, fPrice, fAmount;
};

struct ReceiptPayment {
  std::string fType, fText1, fText2;
  Amount fAmount;
};

struct ReceiptMessage {
  std::string fCurrency;
  Amount fSubtotal, fTaxes, fTotal;
  std::string fText1, fText2;
  ImagePtr fImage;
  std::vector<ReceiptLine> fLines;
  bool fShowPayments = false;
  std::vector<ReceiptPayment> fPayments;
};

enum class MessageKind { Open, Close, Message, Thankyou, Idle, Receipt };
const char* KindName(MessageKind aKind);

struct DisplayMessage {
  MessageKind fKind = MessageKind::Message;
  OpenMessage fOpen;                   // Open
  TextMessage fText;                   // Close, Message, Thankyou, Idle
  ReceiptMessage fReceipt;             // Receipt
  std::vector<std::string> fWarnings;  // pictures that did not decode, ...
};

// Reads one message; throws ProtocolError for text that is not JSON, not
// one of the six messages, or has a member of the wrong type.
DisplayMessage ParseDisplayMessage(std::string_view aText);

// A one-line description of a message for the log.
std::string Summarize(const DisplayMessage& aMessage);

}  // namespace korvane::simulator
