// The message, idle, thank-you and receipt documents.
#include "display/display_documents.h"

#include "device/device_handler.h"
#include "device/receipt_util.h"
#include "platform/error.h"

namespace korvane {

void kMessage::Deserialize(std::string_view aTag, XmlTree& aXmlDocument) {
  if (!DeserializeOptional(aTag, aXmlDocument)) throw Error(std::string(aTag) + " node not found");
}

bool kMessage::DeserializeOptional(std::string_view aTag, XmlTree& aXmlDocument,
                                   std::vector<std::string>* aLeftOut) {
  return DeserializeOptional(aTag, XmlFindChild(aXmlDocument.DocumentElement(), aTag), aLeftOut);
}

void kMessage::Deserialize(std::string_view aTag, XmlNode aNode) {
  if (!DeserializeOptional(aTag, aNode)) throw Error(std::string(aTag) + " node not found");
}

bool kMessage::DeserializeOptional(std::string_view aTag, XmlNode aNode, std::vector<std::string>* aLeftOut) {
  if (!aNode) return false;
  Read(aNode, aTag, aLeftOut);
  return true;
}

void kMessage::Read(XmlNode aNode, std::string_view aTag, std::vector<std::string>* aLeftOut) {
  static constexpr std::string_view kNames[] = {"Image", "Text1", "Text2", "ImageUrl"};
  std::string kMessage::*const fields[] = {&kMessage::fImage, &kMessage::fText1, &kMessage::fText2,
                                           &kMessage::fImageUrl};
  static const XmlNameSet kNameSet(kNames);
  XmlNode found[std::size(kNames)];
  kNameSet.Find(aNode, found);  // in one pass
  for (size_t i = 0; i < std::size(kNames); ++i) {
    std::string& field = this->*fields[i];
    if (!aLeftOut) {
      const std::string_view text = XmlChildAsStringView(found[i], kNames[i]);
      if (text.empty())
        field.clear();  // (in line: the usual absent image)
      else
        field.assign(text);
      continue;
    }
    try {
      field.assign(found[i] ? XmlNodeTextView(found[i]) : std::string_view());
    } catch (const std::exception& e) {
      field.clear();
      NoteLeftOutText(*aLeftOut, std::string(aTag) + "/" + std::string(kNames[i]), e.what());
    }
  }
}

Currency kCDReceiptPayments::Total() const {
  Currency total;
  for (size_t i = 0; i < Count(); ++i) total += (*this)[i].fAmount;
  return total;
}

void kCDReceipt::Deserialize(XmlTree& aXmlDocument) {
  Deserialize(XmlFindChild(aXmlDocument.DocumentElement(), "Receipt"));
}

namespace {

size_t CountChildren(XmlNode aParent) {
  size_t count = 0;
  for (XmlNode child = aParent.FirstChild(); child; child = child.NextSibling()) ++count;
  return count;
}

}  // namespace

void kCDReceipt::Deserialize(XmlNode aReceipt) {
  using U = krptUtil;
  if (!aReceipt) throw Error("Receipt node not found");
  // Each element's children found in one pass, then read in the order that
  // gives the first failure.
  enum : size_t {
    kCurrency,
    kSubtotal,
    kTaxes,
    kTotal,
    kImage,
    kText1,
    kText2,
    kImageUrl,
    kShow,
    kLines,
    kPayments
  };
  static constexpr std::string_view kNames[] = {"Currency",     "Subtotal", "Taxes",   "Total",
                                                "Image",        "Text1",    "Text2",   "ImageUrl",
                                                "ShowPayments", "Lines",    "Payments"};
  static const XmlNameSet kNameSet(kNames);
  XmlNode found[std::size(kNames)];
  kNameSet.Find(aReceipt, found);
  fCurrency.assign(XmlChildAsStringView(found[kCurrency], kNames[kCurrency]));
  fSubtotal = U::ChildAsCurrency(found[kSubtotal], kNames[kSubtotal]);
  fTaxes = U::ChildAsCurrency(found[kTaxes], kNames[kTaxes]);
  fTotal = U::ChildAsCurrency(found[kTotal], kNames[kTotal]);
  fImage.assign(XmlChildAsStringView(found[kImage], kNames[kImage]));
  fText1.assign(XmlChildAsStringView(found[kText1], kNames[kText1]));
  fText2.assign(XmlChildAsStringView(found[kText2], kNames[kText2]));
  fImageUrl.assign(XmlChildAsStringView(found[kImageUrl], kNames[kImageUrl]));
  fShowPayments = U::ChildAsBoolean(found[kShow], kNames[kShow], false);

  // Every child node counts, whatever its name or kind.
  if (const XmlNode lines = found[kLines]) {
    enum : size_t { kType, kCode, kDescription, kQuantity, kPrice, kAmount };
    static constexpr std::string_view kLineNames[] = {"Type",     "Code",  "Description",
                                                      "Quantity", "Price", "Amount"};
    static const XmlNameSet kLineSet(kLineNames);
    fLines.Reserve(fLines.Count() + CountChildren(lines));
    for (XmlNode child = lines.FirstChild(); child; child = child.NextSibling()) {
      XmlNode field[std::size(kLineNames)];
      kLineSet.Find(child, field);
      fLines.Add([&](kCDReceiptLine& line) {
        line.fType.assign(XmlChildAsStringView(field[kType], kLineNames[kType]));
        line.fCode.assign(XmlChildAsStringView(field[kCode], kLineNames[kCode]));
        line.fDescription.assign(XmlChildAsStringView(field[kDescription], kLineNames[kDescription]));
        line.fQuantity = U::ChildAsCurrency(field[kQuantity], kLineNames[kQuantity]);
        line.fPrice = U::ChildAsCurrency(field[kPrice], kLineNames[kPrice]);
        line.fAmount = U::ChildAsCurrency(field[kAmount], kLineNames[kAmount]);
      });
    }
  }
  if (const XmlNode payments = found[kPayments]) {
    enum : size_t { kType, kText1, kText2, kAmount };
    static constexpr std::string_view kPaymentNames[] = {"Type", "Text1", "Text2", "Amount"};
    static const XmlNameSet kPaymentSet(kPaymentNames);
    fPayments.Reserve(fPayments.Count() + CountChildren(payments));
    for (XmlNode child = payments.FirstChild(); child; child = child.NextSibling()) {
      XmlNode field[std::size(kPaymentNames)];
      kPaymentSet.Find(child, field);
      fPayments.Add([&](kCDReceiptPayment& payment) {
        payment.fType.assign(XmlChildAsStringView(field[kType], kPaymentNames[kType]));
        payment.fText1.assign(XmlChildAsStringView(field[kText1], kPaymentNames[kText1]));
        payment.fText2.assign(XmlChildAsStringView(field[kText2], kPaymentNames[kText2]));
        payment.fAmount = U::ChildAsCurrency(field[kAmount], kPaymentNames[kAmount]);
      });
    }
  }
}

}  // namespace korvane
