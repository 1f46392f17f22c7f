// The message, idle, thank-you and receipt documents.
#include "display/display_documents.h"

#include "device/device_handler.h"
#include "device/receipt_util.h"
#include "platform/error.h"

namespace korvane {

void kMessage::Deserialize(std::string_view aTag, const pugi::xml_document& aXmlDocument) {
  if (!DeserializeOptional(aTag, aXmlDocument)) throw Error(std::string(aTag) + " node not found");
}

bool kMessage::DeserializeOptional(std::string_view aTag, const pugi::xml_document& aXmlDocument,
                                   std::vector<std::string>* aLeftOut) {
  const pugi::xml_node node = XmlFindChild(aXmlDocument.document_element(), aTag);
  if (!node) return false;
  Read(node, aTag, aLeftOut);
  return true;
}

void kMessage::Read(pugi::xml_node aNode, std::string_view aTag, std::vector<std::string>* aLeftOut) {
  struct Text {
    const char* name;
    std::string kMessage::*field;
  };
  static constexpr Text kTexts[] = {{"Image", &kMessage::fImage},
                                    {"Text1", &kMessage::fText1},
                                    {"Text2", &kMessage::fText2},
                                    {"ImageUrl", &kMessage::fImageUrl}};
  for (const Text& t : kTexts) {
    if (!aLeftOut) {
      this->*t.field = krptUtil::GetNodeValueAsString(aNode, t.name);
      continue;
    }
    try {
      const pugi::xml_node child = XmlFindChild(aNode, t.name);
      this->*t.field = child ? XmlNodeText(child) : std::string();
    } catch (const std::exception& e) {
      (this->*t.field).clear();
      NoteLeftOutText(*aLeftOut, std::string(aTag) + "/" + t.name, e.what());
    }
  }
}

Currency kCDReceiptPayments::Total() const {
  Currency total;
  for (size_t i = 0; i < Count(); ++i) total += (*this)[i].fAmount;
  return total;
}

void kCDReceipt::Deserialize(const pugi::xml_document& aXmlDocument) {
  using U = krptUtil;
  const pugi::xml_node receipt = XmlFindChild(aXmlDocument.document_element(), "Receipt");
  if (!receipt) throw Error("Receipt node not found");
  fCurrency = U::GetNodeValueAsString(receipt, "Currency");
  fSubtotal = U::GetNodeValueAsCurrency(receipt, "Subtotal");
  fTaxes = U::GetNodeValueAsCurrency(receipt, "Taxes");
  fTotal = U::GetNodeValueAsCurrency(receipt, "Total");
  fImage = U::GetNodeValueAsString(receipt, "Image");
  fText1 = U::GetNodeValueAsString(receipt, "Text1");
  fText2 = U::GetNodeValueAsString(receipt, "Text2");
  fImageUrl = U::GetNodeValueAsString(receipt, "ImageUrl");
  fShowPayments = U::GetNodeValueAsBoolean(receipt, "ShowPayments", false);

  // Every child node counts, whatever its name or kind.
  if (const pugi::xml_node lines = XmlFindChild(receipt, "Lines")) {
    for (pugi::xml_node child = lines.first_child(); child; child = child.next_sibling()) {
      auto line = std::make_unique<kCDReceiptLine>();
      line->fType = U::GetNodeValueAsString(child, "Type");
      line->fCode = U::GetNodeValueAsString(child, "Code");
      line->fDescription = U::GetNodeValueAsString(child, "Description");
      line->fQuantity = U::GetNodeValueAsCurrency(child, "Quantity");
      line->fPrice = U::GetNodeValueAsCurrency(child, "Price");
      line->fAmount = U::GetNodeValueAsCurrency(child, "Amount");
      fLines.Add(std::move(line));
    }
  }
  if (const pugi::xml_node payments = XmlFindChild(receipt, "Payments")) {
    for (pugi::xml_node child = payments.first_child(); child; child = child.next_sibling()) {
      auto payment = std::make_unique<kCDReceiptPayment>();
      payment->fType = U::GetNodeValueAsString(child, "Type");
      payment->fText1 = U::GetNodeValueAsString(child, "Text1");
      payment->fText2 = U::GetNodeValueAsString(child, "Text2");
      payment->fAmount = U::GetNodeValueAsCurrency(child, "Amount");
      fPayments.Add(std::move(payment));
    }
  }
}

}  // namespace korvane
