// The JSON messages of the display protocol, built from the request
// documents: the text that is sent and the copy that is logged.
#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>

#include "display/korvane/display_driver.h"
#include "display/korvane/image_sources.h"
#include "display/korvane/json_writer.h"
#include "helpers/byte_scan.h"

namespace korvane {
namespace {

constexpr char kSTX = '\x02';
constexpr char kETX = '\x03';

// Builds the sent object and the logged copy side by side. The logged copy
// is a text of its own only from the first member where the two differ (an
// image); until then both are one text, copied once at the end.
class MessagePair {
 public:
  // aSize: room for a message larger than one of texts (a receipt's lines).
  // The frame is written into aBuffer, STX first.
  MessagePair(kJsonName aName, std::string aBuffer, size_t aSize = 0)
      : fSend(aName, std::move(aBuffer), std::string_view(&kSTX, 1)) {
    fSend.Reserve(std::max(aSize, kUsualSize));
  }

  void String(kJsonName aName, const std::string& aValue) {
    fSend.AddString(aName, aValue);
    if (fLog) fLog->AddString(aName, aValue);
  }
  void StringIfAny(kJsonName aName, const std::string& aValue) {
    if (!aValue.empty()) String(aName, aValue);
  }
  void Bool(kJsonName aName, bool aValue) {
    fSend.AddBool(aName, aValue);
    if (fLog) fLog->AddBool(aName, aValue);
  }
  void Integer(kJsonName aName, int64_t aValue) {
    fSend.AddInteger(aName, aValue);
    if (fLog) fLog->AddInteger(aName, aValue);
  }
  void Amount(kJsonName aName, const Currency& aValue) {
    fSend.AddAmount(aName, aValue.Raw());
    if (fLog) fLog->AddAmount(aName, aValue.Raw());
  }
  // An array of aCount objects, item i written by aItem(kJsonObject&, i)
  // straight into the text; the logged copy, if one of its own, takes the
  // same text.
  template <class TItem>
  void Array(kJsonName aName, size_t aCount, TItem&& aItem) {
    const size_t from = fSend.Size();
    fSend.BeginArray(aName);
    for (size_t i = 0; i < aCount; ++i) {
      fSend.BeginItem();
      aItem(fSend, i);
      fSend.EndItem();
    }
    fSend.EndArray();
    if (fLog) fLog->AppendMembers(fSend.TextFrom(from));
  }
  // Inline image text supplied by the request: sent as it is, logged as
  // "..." or in full.
  void InlineImage(kJsonName aName, const std::string& aValue, bool aLogInFull = false) {
    if (aValue.empty()) return;
    if (aLogInFull) return String(aName, aValue);
    Log().AddString(aName, "...");
    fSend.AddString(aName, aValue);
  }
  // An image loaded from a source: sent as Base64, logged as the source.
  // (The bytes are Base64-encoded straight into the message text.)
  void LoadedImage(kJsonName aName, const std::string& aSource) {
    if (aSource.empty()) return;
    const std::optional<std::string> bytes = OpenImageStream(aSource);
    if (!bytes || bytes->empty()) {
      Log().AddString(aName, aSource + " not valid");
      return;
    }
    Log().AddString(aName, aSource);
    fSend.AddBase64(aName, *bytes);
  }

  kKorvaneMessage Take() {
    kKorvaneMessage message{fSend.TakeText(), {}};  // the logged copy: the text itself, unless it differs
    message.fFrame += kETX;
    if (fLog) message.fLog = fLog->TakeText();
    return message;
  }

 private:
  // The logged copy as a text of its own, from what both hold so far.
  kJsonObject& Log() {
    if (!fLog) {
      fLog.emplace(fSend);
      fLog->DropLead();
    }
    return *fLog;
  }

  // Room taken at once for a message of texts, so that it does not grow
  // step by step.
  static constexpr size_t kUsualSize = 256;

  kJsonObject fSend;
  std::optional<kJsonObject> fLog;
};

}  // namespace

kKorvaneMessage BuildOpenMessage(const kOpen& o, std::string aBuffer) {
  MessagePair m("Open", std::move(aBuffer));
  m.String("Mode", o.fMode);
  m.String("Layout", o.fLayout);
  m.StringIfAny("ContentRatio", o.fContentRatio);
  m.StringIfAny("Language", o.fLanguage);
  m.StringIfAny("FontName", o.fFontName);
  m.Bool("ShowTaxes", o.fShowTaxes);
  m.InlineImage("LogoImage_Dark", o.fLogoImage_Dark);
  m.InlineImage("LogoImage_Light", o.fLogoImage_Light);
  m.InlineImage("IdleImage", o.fIdleImage);
  m.InlineImage("ReceiptImage", o.fReceiptImage);
  m.InlineImage("ThankyouImage", o.fThankyouImage);
  m.Integer("IdleTimeout", o.fIdleTimeout);
  m.StringIfAny("IdleText1", o.fIdleText1);
  m.StringIfAny("IdleText2", o.fIdleText2);
  m.StringIfAny("ThankyouText1", o.fThankyouText1);
  m.StringIfAny("ThankyouText2", o.fThankyouText2);
  m.StringIfAny("CloseText1", o.fCloseText1);
  m.StringIfAny("CloseText2", o.fCloseText2);
  m.LoadedImage("LogoImage_Dark", o.fLogoImage_DarkUrl);
  m.LoadedImage("LogoImage_Light", o.fLogoImage_LightUrl);
  m.LoadedImage("IdleImage", o.fIdleImageUrl);
  m.LoadedImage("ReceiptImage", o.fReceiptImageUrl);
  m.LoadedImage("ThankyouImage", o.fThankyouImageUrl);
  if (o.fShowOnlyVideo) m.Bool("ShowOnlyVideo", true);
  m.StringIfAny("IdleVideoUrl", o.fIdleVideoUrl);
  m.StringIfAny("ColorSurface", o.fColorSurface);
  m.StringIfAny("ColorOnSurface", o.fColorOnSurface);
  m.StringIfAny("ColorOnSurfaceVariant", o.fColorOnSurfaceVariant);
  m.StringIfAny("ColorPrimary", o.fColorPrimary);
  m.StringIfAny("ColorOnPrimary", o.fColorOnPrimary);
  m.StringIfAny("ColorPrimaryContainer", o.fColorPrimaryContainer);
  m.StringIfAny("ColorOnPrimaryContainer", o.fColorOnPrimaryContainer);
  m.StringIfAny("ColorSecondary", o.fColorSecondary);
  m.StringIfAny("ColorOnSecondary", o.fColorOnSecondary);
  m.StringIfAny("ColorOutlineVariant", o.fColorOutlineVariant);
  return m.Take();
}

kKorvaneMessage BuildCloseMessage(const kOpen& aOpen, std::string aBuffer) {
  MessagePair m("Close", std::move(aBuffer));
  m.StringIfAny("Text1", aOpen.fCloseText1);
  m.StringIfAny("Text2", aOpen.fCloseText2);
  return m.Take();
}

kKorvaneMessage BuildCloseMessage(const kMessage& aMessage, std::string aBuffer) {
  MessagePair m("Close", std::move(aBuffer));
  m.StringIfAny("Text1", aMessage.fText1);
  m.StringIfAny("Text2", aMessage.fText2);
  return m.Take();
}

namespace {

// The usual text message (a plain name, texts that need no escape, no image)
// written into aFrame in one step; false, with aFrame untouched, for any
// other, which MessagePair writes.
bool WritePlainTextMessage(kJsonName aName, const kMessage& aMessage, std::string& aFrame) {
  if (!aName.Plain() || !aMessage.fImage.empty() || !aMessage.fImageUrl.empty()) return false;
  const std::string_view name = aName.Text();
  const std::string_view texts[] = {aMessage.fText1, aMessage.fText2};
  static constexpr std::string_view kTextNames[] = {"\"Text1\":\"", "\"Text2\":\""};
  char buffer[512];
  size_t size = 1 + 5 + name.size() + 2 + 1;  // STX {"name":{ }} ETX
  for (const std::string_view text : texts) {
    if (text.empty()) continue;
    if (FindJsonEscaped(text, 0) != text.size()) return false;
    size += 1 + 9 + text.size() + 1;  // , "TextN":" text "
  }
  if (size > sizeof buffer) return false;
  char* at = buffer;
  *at++ = kSTX;
  *at++ = '{';
  *at++ = '"';
  std::memcpy(at, name.data(), name.size());
  at += name.size();
  *at++ = '"';
  *at++ = ':';
  *at++ = '{';
  bool first = true;
  for (size_t i = 0; i < std::size(texts); ++i) {
    if (texts[i].empty()) continue;
    if (!std::exchange(first, false)) *at++ = ',';
    std::memcpy(at, kTextNames[i].data(), kTextNames[i].size());
    at += kTextNames[i].size();
    std::memcpy(at, texts[i].data(), texts[i].size());
    at += texts[i].size();
    *at++ = '"';
  }
  *at++ = '}';
  *at++ = '}';
  *at++ = kETX;
  aFrame.assign(buffer, static_cast<size_t>(at - buffer));
  return true;
}

}  // namespace

kKorvaneMessage BuildTextMessage(kJsonName aName, const kMessage& aMessage, std::string aBuffer) {
  if (WritePlainTextMessage(aName, aMessage, aBuffer)) return {std::move(aBuffer), {}};
  MessagePair m(aName, std::move(aBuffer));
  m.StringIfAny("Text1", aMessage.fText1);
  m.StringIfAny("Text2", aMessage.fText2);
  m.InlineImage("Image", aMessage.fImage);
  m.LoadedImage("Image", aMessage.fImageUrl);
  return m.Take();
}

namespace {

// Room for the JSON text of a receipt line and a payment: the names, the
// punctuation and the amounts (up to 21 characters each), beside the texts.
constexpr size_t kLineRoom = 140;
constexpr size_t kPaymentRoom = 100;

size_t LineSize(const kCDReceiptLine& aLine) {
  return kLineRoom + aLine.fType.size() + aLine.fCode.size() + aLine.fDescription.size();
}

size_t PaymentSize(const kCDReceiptPayment& aPayment) {
  return kPaymentRoom + aPayment.fType.size() + aPayment.fText1.size() + aPayment.fText2.size();
}

}  // namespace

kKorvaneMessage BuildReceiptMessage(const kCDReceipt& r, std::string aBuffer) {
  // The message's room taken at once: texts without escapes take their own
  // size, so the text grows only for escaped characters.
  size_t size = 256 + r.fCurrency.size() + r.fText1.size() + r.fText2.size() + r.fImage.size();
  for (size_t i = 0; i < r.fLines.Count(); ++i) size += LineSize(r.fLines[i]);
  for (size_t i = 0; i < r.fPayments.Count(); ++i) size += PaymentSize(r.fPayments[i]);
  MessagePair m("Receipt", std::move(aBuffer), size);
  m.String("Currency", r.fCurrency);
  m.Amount("Subtotal", r.fSubtotal);
  m.Amount("Taxes", r.fTaxes);
  m.Amount("Total", r.fTotal);
  m.StringIfAny("Text1", r.fText1);
  m.StringIfAny("Text2", r.fText2);
  m.InlineImage("Image", r.fImage, /*aLogInFull=*/true);
  m.LoadedImage("Image", r.fImageUrl);
  m.Array("Lines", r.fLines.Count(), [&r](kJsonObject& aItem, size_t aIndex) {
    const kCDReceiptLine& line = r.fLines[aIndex];
    aItem.AddString("Type", line.fType);
    aItem.AddString("Code", line.fCode);
    aItem.AddString("Description", line.fDescription);
    aItem.AddAmount("Quantity", line.fQuantity.Raw());
    aItem.AddAmount("Price", line.fPrice.Raw());
    aItem.AddAmount("Amount", line.fAmount.Raw());
  });
  m.Bool("ShowPayments", r.fShowPayments);
  m.Array("Payments", r.fPayments.Count(), [&r](kJsonObject& aItem, size_t aIndex) {
    const kCDReceiptPayment& payment = r.fPayments[aIndex];
    aItem.AddString("Type", payment.fType);
    aItem.AddString("Text1", payment.fText1);
    aItem.AddString("Text2", payment.fText2);
    aItem.AddAmount("Amount", payment.fAmount.Raw());
  });
  return m.Take();
}

}  // namespace korvane
