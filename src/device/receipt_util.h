// Reading typed values out of request XML, and the text codes of the receipt
// vocabulary.
//
// The XML view used by every request parser: a document parsed with comments
// and CDATA sections kept and white-space-only text dropped; children found by
// their exact name; the text of an element is its single text (or CDATA)
// child. krptUtil gathers the typed getters and the receipt codecs as static
// operations.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <pugixml.hpp>
#include <span>
#include <string>
#include <string_view>

#include "base/currency.h"
#include "base/shared_types.h"

namespace korvane {

// A set of the values of a small enumeration (values 0 to 7), one bit per
// value, stored in one byte.
template <class E>
class kByteSet {
 public:
  constexpr kByteSet() = default;
  constexpr kByteSet(std::initializer_list<E> aValues) {
    for (E v : aValues) Include(v);
  }
  static constexpr kByteSet FromBits(uint8_t aBits) {
    kByteSet s;
    s.fBits = aBits;
    return s;
  }
  constexpr bool Contains(E aValue) const { return (fBits >> static_cast<unsigned>(aValue)) & 1u; }
  constexpr void Include(E aValue) {
    fBits = static_cast<uint8_t>(fBits | (1u << static_cast<unsigned>(aValue)));
  }
  constexpr void Exclude(E aValue) {
    fBits = static_cast<uint8_t>(fBits & ~(1u << static_cast<unsigned>(aValue)));
  }
  constexpr bool Empty() const { return fBits == 0; }
  constexpr uint8_t Bits() const { return fBits; }
  constexpr bool operator==(const kByteSet&) const = default;

 private:
  uint8_t fBits = 0;
};

// Equality of two names, rejecting most unequal pairs before comparing bytes.
inline bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && (a.empty() || (a.front() == b.front() && a.back() == b.back() && a == b));
}

// ---- XML documents and the node view -------------------------------------

using kXmlDocument = std::shared_ptr<pugi::xml_document>;

// Parses a request text. The text is read as it is given (a declaration
// inside it does not change how it is read); comments and CDATA sections are
// kept, white-space-only text between elements is dropped, DOCTYPE
// declarations are skipped and no entity beyond the five predefined ones and
// character references is ever replaced. Fails with "XML parse error: ..."
// (with line and column) on text that is not one well-formed document or
// that holds a lone surrogate.
kXmlDocument ParseXmlDocument(std::u16string_view aXml);
// The same for a UTF-8 text; fails with "XML parse error: Invalid UTF-8
// text at byte <n>" on bad bytes.
kXmlDocument ParseXmlDocumentUtf8(std::string_view aXml);

// The node's name as the node view names it: the element's name, or
// "#text", "#cdata-section", "#comment" for the other kinds.
std::string XmlNodeName(pugi::xml_node aNode);
// The same, without a copy (valid while the document lives).
std::string_view XmlNodeNameView(pugi::xml_node aNode);
// Whether a node named aNodeName is found by aName: the whole name, or the
// part after its last ":", equals aName.
bool XmlNameMatches(const char* aNodeName, std::string_view aName);

// The first child of aParent whose name (or the part of it after a ":")
// equals aName exactly, letter case included; a null node when none does.
pugi::xml_node XmlFindChild(pugi::xml_node aParent, std::string_view aName);

// The text of a node: an element without children gives "", an element with
// exactly one text or CDATA child gives that child's text, any other element
// fails with "Element "<name>" does not contain a single text node". Text,
// CDATA and comment nodes give their own text.
std::string XmlNodeText(pugi::xml_node aNode);
// The same, without a copy (valid while the document lives).
std::string_view XmlNodeTextView(pugi::xml_node aNode);

// Finds, in one pass over the children of aParent, the first child for each
// of aNames (as XmlFindChild does); aFound[i] is null where none is found.
void XmlFindChildren(pugi::xml_node aParent, std::span<const std::string_view> aNames,
                     std::span<pugi::xml_node> aFound);

// A child already found (null: absent), read as krptUtil's string and
// integer getters read it, with their wrapped errors.
std::string XmlChildAsString(pugi::xml_node aChild, std::string_view aNodeName);
int32_t XmlChildAsInteger(pugi::xml_node aChild, std::string_view aNodeName);

// Date texts of the request layer (fixed positions, see the .cpp). They fail
// with "Date Format invalid: [<text>]" / "DateTime Format invalid: [<text>]".
TDateTime XmlStrToDate(std::string_view aText);
TDateTime XmlStrToDateTime(std::string_view aText);

// ---- receipt vocabulary ---------------------------------------------------

enum tkReceiptLineType : uint8_t {
  rlt_ProductSale,
  rlt_ProductReturn,
  rlt_WeightedProductSale,
  rlt_VoucherSale,
  rlt_VoucherRedeem,
  rlt_GiftCardSale,
  rlt_GiftCardRedeem,
  rlt_SubTotal,
  rlt_Text,
  rlt_DiscountAmount,
  rlt_DiscountPercentage,
  rlt_DiscountAmountOnSubtotal,
  rlt_DiscountPercentageOnSubTotal,
  rlt_MarkupAmount,
  rlt_MarkupPercentage,
  rlt_MarkupAmountOnSubtotal,
  rlt_MarkupPercentageOnSubTotal,
  rlt_CollectAmount
};

enum tkReceiptPaymentType : uint8_t {
  rpt_Cash,
  rpt_Cheque,
  rpt_CreditCard,
  rpt_DebitCard,
  rpt_Credit,
  rpt_CreditOnProducts,
  rpt_CreditOnServices,
  Rpt_GiftCard,
  Rpt_Voucher,
  Rpt_MealVoucher,
  Rpt_NHSCard,
  Rpt_Change
};

enum tkReceiptType : uint8_t { rt_Sale, rt_Refund, rt_Void, rt_InvoiceSale, rt_InvoiceSaleFromReceipt };

enum tkReceiptReferenceType : uint8_t { rrt_OriginalReceipt, rrt_EFTReceipt, rrt_NotAvailable, rrt_Empties };

enum tkReceiptTaxType : uint8_t { tt_VAT, tt_SalesTax };

enum tkReceiptMessageLineAlignment : uint8_t { la_none, la_right, la_center, la_left };

enum tkReceiptMessageBarcodeType : uint8_t {
  bt_EAN13,
  bt_EAN8,
  bt_CODE39,
  bt_CODE128,
  bt_QRCODE,
  bt_UPCA,
  bt_UPCE,
  bt_Interleaved2Of5
};

enum tkReceiptMessageLineEffect : uint8_t {
  le_bold,
  le_italic,
  le_underline,
  le_doubleheight,
  le_doublewidth,
  le_doublesize,
  le_invertcolors,
  le_condensed
};
using tkReceiptMessageLineEffectSet = kByteSet<tkReceiptMessageLineEffect>;

enum tkEJReportType : uint8_t {
  ejrt_ZReport,
  ejrt_FiscalReceipt,
  ejrt_NonFiscalReceipt,
  ejrt_CreditNote,
  ejrt_Invoice
};

enum tkEJReportDestination : uint8_t { rd_Printer, rd_Memory };

enum tkEJFilesRequestType : uint8_t { ej_xml };

enum tkReceiptMessageImageSource : uint8_t { is_Resource, is_FileSystem };

enum tkReceiptCustomerIdType : uint8_t { cid_NA, cid_Passport, cid_NationalId };

enum tkReceiptLineAttribute : uint8_t { rla_Product, rla_Service };

// ---- krptUtil ---------------------------------------------------------------

class krptUtil {
 public:
  krptUtil() = delete;

  // Typed getters: the first child of aParentNode named aNodeName, read as a
  // type. An absent child gives the value for "absent"; any failure in
  // reading or converting a present child fails with "Error in processing
  // node <name> as <type>." CR LF and the failure's own message.
  static std::string GetNodeValueAsString(pugi::xml_node aParentNode, std::string_view aNodeName);
  static int32_t GetNodeValueAsInteger(pugi::xml_node aParentNode, std::string_view aNodeName);
  static Currency GetNodeValueAsCurrency(pugi::xml_node aParentNode, std::string_view aNodeName);
  static bool GetNodeValueAsBoolean(pugi::xml_node aParentNode, std::string_view aNodeName,
                                    bool aDefaultValue);
  static TDateTime GetNodeValueAsDate(pugi::xml_node aParentNode, std::string_view aNodeName);
  static TDateTime GetNodeValueAsDateTime(pugi::xml_node aParentNode, std::string_view aNodeName);
  // As GetNodeValueAsDateTime, but every failure gives 0.0.
  static TDateTime TryGetNodeValueAsDateTime(pugi::xml_node aParentNode, std::string_view aNodeName);
  static bool HasNode(pugi::xml_node aParentNode, std::string_view aNodeName);
  static std::string GetAttributeValueAsString(pugi::xml_node aNode, std::string_view aAttrName);
  // Appends an element aNodeName holding the text aNodeValue to aParentNode.
  static pugi::xml_node AddNode(pugi::xml_node aParentNode, std::string_view aNodeName,
                                std::string_view aNodeValue);
  // Brings a text into a narrow printable range (accented capitals to plain
  // letters, "TOTALE" to "TOT.", other characters outside 32..128 but the
  // euro sign to blanks).
  static std::string NormalizeText(std::string_view aText);
  // Re-reads the text of every leaf below aNode as bytes of the ANSI code
  // page, decoded as Windows-1253 for the charset "gr", else as ANSI.
  static void ChangeXMLEncoding(pugi::xml_node aNode, std::string_view aCharset);

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
