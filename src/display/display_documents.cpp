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
  static constexpr std::string_view kNames[] = {"Image", "Text1", "Text2", "ImageUrl"};
  std::string kMessage::*const fields[] = {&kMessage::fImage, &kMessage::fText1, &kMessage::fText2,
                                           &kMessage::fImageUrl};
  pugi::xml_node found[std::size(kNames)];
  XmlFindChildren(aNode, kNames, found);  // in one pass
  for (size_t i = 0; i < std::size(kNames); ++i) {
    std::string& field = this->*fields[i];
    if (!aLeftOut) {
      field = XmlChildAsString(found[i], kNames[i]);
      continue;
    }
    try {
      field = found[i] ? XmlNodeText(found[i]) : std::string();
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
