// The message, idle, thank-you and receipt documents.
#include "display/display_documents.h"

#include "device/receipt_util.h"
#include "platform/error.h"

namespace korvane {

void kMessage::Deserialize(std::string_view aTag, const pugi::xml_document& aXmlDocument) {
  if (!DeserializeOptional(aTag, aXmlDocument)) throw Error(std::string(aTag) + " node not found");
}

bool kMessage::DeserializeOptional(std::string_view aTag, const pugi::xml_document& aXmlDocument) {
  const pugi::xml_node node = XmlFindChild(aXmlDocument.document_element(), aTag);
  if (!node) return false;
  Read(node);
  return true;
}

void kMessage::Read(pugi::xml_node aNode) {
  fImage = krptUtil::GetNodeValueAsString(aNode, "Image");
  fText1 = krptUtil::GetNodeValueAsString(aNode, "Text1");
  fText2 = krptUtil::GetNodeValueAsString(aNode, "Text2");
  fImageUrl = krptUtil::GetNodeValueAsString(aNode, "ImageUrl");
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
