// krptUtil: reading typed values out of request XML (through the XML view of
// xml_view.h), and the text codes of the receipt vocabulary
// (receipt_vocabulary.h), as static operations.
#pragma once

#include <cstdint>
#include <pugixml.hpp>
#include <string>
#include <string_view>

#include "base/currency.h"
#include "base/shared_types.h"
#include "device/byte_set.h"
#include "device/receipt_vocabulary.h"
#include "device/xml_view.h"

namespace korvane {

class krptUtil {
 public:
  krptUtil() = delete;

  // Typed getters: the first child of aParentNode named aNodeName, read as a
  // type. An absent child gives the value for "absent"; any failure in
  // reading or converting a present child fails with "Error in processing
  // node <name> as <type>." CR LF and the failure's own message.
  static std::string GetNodeValueAsString(XmlNode aParentNode, std::string_view aNodeName);
  static int32_t GetNodeValueAsInteger(XmlNode aParentNode, std::string_view aNodeName);
  static Currency GetNodeValueAsCurrency(XmlNode aParentNode, std::string_view aNodeName);
  static bool GetNodeValueAsBoolean(XmlNode aParentNode, std::string_view aNodeName, bool aDefaultValue);
  // The currency and boolean getters for a child already found (null:
  // absent), aNodeName naming it in the errors.
  static Currency ChildAsCurrency(XmlNode aChild, std::string_view aNodeName);
  static bool ChildAsBoolean(XmlNode aChild, std::string_view aNodeName, bool aDefaultValue);
  static TDateTime GetNodeValueAsDate(XmlNode aParentNode, std::string_view aNodeName);
  static TDateTime GetNodeValueAsDateTime(XmlNode aParentNode, std::string_view aNodeName);
  // As GetNodeValueAsDateTime, but every failure gives 0.0.
  static TDateTime TryGetNodeValueAsDateTime(XmlNode aParentNode, std::string_view aNodeName);
  static bool HasNode(XmlNode aParentNode, std::string_view aNodeName);
  static std::string GetAttributeValueAsString(XmlNode aNode, std::string_view aAttrName);
  // Appends an element aNodeName holding the text aNodeValue to aParentNode.
  static pugi::xml_node AddNode(pugi::xml_node aParentNode, std::string_view aNodeName,
                                std::string_view aNodeValue);
  // Brings a text into a narrow printable range (accented capitals to plain
  // letters, "TOTALE" to "TOT.", other characters outside 32..128 but the
  // euro sign to blanks).
  static std::string NormalizeText(std::string_view aText);
  // Re-reads the text of every leaf below aNode as bytes of the ANSI code
  // page, decoded as Windows-1253 for the charset "gr", else as ANSI.
  static void ChangeXMLEncoding(XmlNode aNode, std::string_view aCharset);

  // The value conversions behind the getters.
  // Integer text: leading blanks, sign, decimal digits or hexadecimal after
  // "$", "x", "X", "0x", "0X"; must fit in 32 bits. Fails with
  // "'<text>' is not a valid integer value".
  static int32_t StrToInt(std::string_view aText);
  static bool TryStrToInt(std::string_view aText, int32_t& aValue);
  // Currency text ("." separator); fails with "'<text>' is not a valid
  // floating point value".
  static Currency StrToCurr(std::string_view aText);
  // Boolean text: a number (zero false, else true) or True/False in any
  // case; fails with "'<text>' is not a valid boolean value".
  static bool StrToBool(std::string_view aText);

  // Receipt vocabulary: Decode (text, any letter case) and Encode.
  static tkReceiptLineType DecodeLineType(std::string_view aLineType);
  static std::string EncodeLineType(tkReceiptLineType aLineType);
  static tkReceiptPaymentType DecodePaymentType(std::string_view aPaymentType);
  static std::string EncodePaymentType(tkReceiptPaymentType aPaymentType);
  static tkReceiptType DecodeReceiptType(std::string_view aReceiptType);
  static std::string EncodeReceiptType(tkReceiptType aReceiptType);
  static tkReceiptReferenceType DecodeReferenceType(std::string_view aReferenceType);
  static std::string EncodeReferenceType(tkReceiptReferenceType aReferenceType);
  static tkReceiptTaxType DecodeTaxType(std::string_view aTaxType);
  static std::string EncodeTaxType(tkReceiptTaxType aTaxType);
  static tkReceiptMessageLineAlignment DecodeAlignment(std::string_view aAlignment);
  static std::string EncodeAlignment(tkReceiptMessageLineAlignment aAlignment);
  static tkReceiptMessageBarcodeType DecodeBarcodeType(std::string_view aBarcodeType);
  static std::string EncodeBarcodeType(tkReceiptMessageBarcodeType aBarcodeType);
  static tkReceiptMessageLineEffect DecodeEffect(std::string_view aEffect);
  static std::string EncodeEffect(tkReceiptMessageLineEffect aEffect);
  static tkReceiptMessageLineEffectSet DecodeEffects(std::string_view aEffects);
  static std::string EncodeEffects(tkReceiptMessageLineEffectSet aEffects);
  static tkReceiptMessageImageSource DecodeImageSource(std::string_view aSource);
  static std::string EncodeImageSource(tkReceiptMessageImageSource aSource);
  static tkReceiptCustomerIdType DecodeCustomerIdType(std::string_view aCustomerIdType);
  static std::string EncodeCustomerIdType(tkReceiptCustomerIdType aCustomerIdType);
  static tkEJReportType DecodeEJReportType(std::string_view aReportType);
  static tkEJReportDestination DecodeEJReportDestination(std::string_view aReportDestination);
  static tkEJFilesRequestType DecodeEJRequestType(std::string_view aReferenceType);
  static tkReceiptLineAttribute DecodeLineAttribute(std::string_view aAttribute);
};

}  // namespace korvane
