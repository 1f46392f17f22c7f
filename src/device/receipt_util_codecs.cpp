// krptUtil's receipt codecs: the receipt vocabulary, one table per
// enumeration, read by one decoder and one encoder.
#include <optional>
#include <span>

#include "device/receipt_util.h"
#include "helpers/ascii.h"
#include "platform/error.h"

namespace korvane {
namespace {

template <class E>
struct Entry {
  E value;
  const char* decoded;  // the text that decodes to value; nullptr: none
  const char* encoded;  // the text value encodes to; nullptr: an alias row
};

template <class E>
struct Vocabulary {
  std::span<const Entry<E>> entries;
  const char* error;          // "<Name> %s is invalid" as prefix and suffix around the text
  std::optional<E> fallback;  // decoders that never fail
};

template <class E>
E Decode(const Vocabulary<E>& aVocabulary, std::string_view aText) {
  const std::string lower = AsciiLower(aText);
  for (const Entry<E>& e : aVocabulary.entries)
    if (e.decoded != nullptr && lower == e.decoded) return e.value;
  if (aVocabulary.fallback) return *aVocabulary.fallback;
  throw Error(std::string(aVocabulary.error) + " " + lower + " is invalid");
}

template <class E>
std::string Encode(const Vocabulary<E>& aVocabulary, E aValue) {
  for (const Entry<E>& e : aVocabulary.entries)
    if (e.value == aValue && e.encoded != nullptr) return e.encoded;
  return {};
}

constexpr Entry<tkReceiptLineType> kLineTypes[] = {
    {rlt_ProductSale, "productsale", "productsale"},
    {rlt_ProductReturn, "productreturn", "productreturn"},
    {rlt_WeightedProductSale, "weightedproductsale", "weightedproductsale"},
    {rlt_VoucherSale, "vouchersale", "vouchersale"},
    {rlt_VoucherRedeem, "voucherredeem", "voucherredeem"},
    {rlt_GiftCardSale, "giftcardsale", "giftcardsale"},
    {rlt_GiftCardRedeem, "giftcardredeem", "giftcardredeem"},
    {rlt_SubTotal, "subtotal", "subtotal"},
    {rlt_Text, "text", "text"},
    {rlt_DiscountAmount, "discountamount", "discountamount"},
    {rlt_DiscountPercentage, "discountpercentage", "discountpercentage"},
    {rlt_DiscountAmountOnSubtotal, "discountamountonsubtotal", "discountamountonsubtotal"},
    {rlt_DiscountPercentageOnSubTotal, "discountpercentageonsubtotal", "discountpercentageonsubtotal"},
    {rlt_MarkupAmount, "markupamount", "markupamount"},
    {rlt_MarkupPercentage, "markuppercentage", "markuppercentage"},
    {rlt_MarkupAmountOnSubtotal, "markupamountonsubtotal", "markupamountonsubtotal"},
    {rlt_MarkupPercentageOnSubTotal, "markuppercentageonsubtotal", "markuppercentageonsubtotal"},
    {rlt_CollectAmount, "collectamount", "collectamount"}};
constexpr Vocabulary<tkReceiptLineType> kLineType{kLineTypes, "LineType", std::nullopt};

constexpr Entry<tkReceiptPaymentType> kPaymentTypes[] = {
    {rpt_Cash, "cash", "cash"},
    {rpt_Cheque, "cheque", "cheque"},
    {rpt_CreditCard, "creditcard", "creditcard"},
    {rpt_DebitCard, "debitcard", "debitcard"},
    {rpt_Credit, "credit", "credit"},
    {rpt_CreditOnProducts, "creditonproducts", "creditonproducts"},
    {rpt_CreditOnServices, "creditonservices", "creditonservices"},
    {Rpt_GiftCard, "giftcard", "giftcard"},
    {Rpt_Voucher, "voucher", "voucher"},
    {Rpt_MealVoucher, "mealvoucher", "mealvoucher"},
    {Rpt_NHSCard, "nhscard", "nhscard"},
    {Rpt_Change, "change", "change"}};
constexpr Vocabulary<tkReceiptPaymentType> kPaymentType{kPaymentTypes, "PaymentType", std::nullopt};

constexpr Entry<tkReceiptType> kReceiptTypes[] = {
    {rt_Sale, "sale", "Sale"},
    {rt_Refund, "refund", "Refund"},
    {rt_Void, "void", "Void"},
    {rt_InvoiceSale, "invoicesale", "InvoiceSale"},
    {rt_InvoiceSaleFromReceipt, "invoicesalefromreceipt", "InvoiceSaleFromReceipt"}};
constexpr Vocabulary<tkReceiptType> kReceiptType{kReceiptTypes, "ReceiptType", std::nullopt};

constexpr Entry<tkReceiptReferenceType> kReferenceTypes[] = {
    {rrt_OriginalReceipt, nullptr, "OriginalReceipt"},
    {rrt_EFTReceipt, "eftreceipt", "EFTReceipt"},
    {rrt_NotAvailable, "notavailable", "NotAvailable"},
    {rrt_Empties, "empties", "Empties"}};
constexpr Vocabulary<tkReceiptReferenceType> kReferenceType{kReferenceTypes, "ReferenceType",
                                                            rrt_OriginalReceipt};

constexpr Entry<tkReceiptTaxType> kTaxTypes[] = {{tt_VAT, "vat", "VAT"},
                                                 {tt_SalesTax, "salestax", "SalesTax"}};
constexpr Vocabulary<tkReceiptTaxType> kTaxType{kTaxTypes, "TaxType", std::nullopt};

constexpr Entry<tkReceiptMessageLineAlignment> kAlignments[] = {{la_none, nullptr, ""},
                                                                {la_right, "right", "right"},
                                                                {la_center, "center", "center"},
                                                                {la_left, "left", "left"}};
constexpr Vocabulary<tkReceiptMessageLineAlignment> kAlignment{kAlignments, "Alignment", std::nullopt};

constexpr Entry<tkReceiptMessageBarcodeType> kBarcodeTypes[] = {
    {bt_EAN13, "ean13", "ean13"},    {bt_EAN8, "ean8", "ean8"},
    {bt_CODE39, "code39", "code39"}, {bt_CODE128, "code128", "code128"},
    {bt_QRCODE, "qrcode", "qrcode"}, {bt_UPCA, "upca", "upca"},
    {bt_UPCE, "upce", "upce"},       {bt_Interleaved2Of5, "interleaved2of5", "interleaved2of5"}};
constexpr Vocabulary<tkReceiptMessageBarcodeType> kBarcodeType{kBarcodeTypes, "BarcodeType", std::nullopt};

constexpr Entry<tkReceiptMessageLineEffect> kEffects[] = {{le_bold, "bold", "bold"},
                                                          {le_italic, "italic", "italic"},
                                                          {le_underline, "underline", "underline"},
                                                          {le_doubleheight, "doubleheight", "doubleheight"},
                                                          {le_doublewidth, "doublewidth", "doublewidth"},
                                                          {le_doublesize, "doublesize", "doublesize"},
                                                          {le_invertcolors, "invertcolors", "invertcolors"},
                                                          {le_condensed, "condensed", "condensed"}};
constexpr Vocabulary<tkReceiptMessageLineEffect> kEffect{kEffects, "Effect", std::nullopt};

constexpr Entry<tkReceiptMessageImageSource> kImageSources[] = {{is_Resource, "resource", "resource"},
                                                                {is_FileSystem, "filesystem", "filesystem"},
                                                                {is_FileSystem, "", nullptr}};
constexpr Vocabulary<tkReceiptMessageImageSource> kImageSource{kImageSources, "Image Source", std::nullopt};

constexpr Entry<tkReceiptCustomerIdType> kCustomerIdTypes[] = {{cid_NA, "na", ""},
                                                               {cid_NA, "", nullptr},
                                                               {cid_Passport, "passport", "passport"},
                                                               {cid_NationalId, "nationalid", "nationalid"}};
constexpr Vocabulary<tkReceiptCustomerIdType> kCustomerIdType{kCustomerIdTypes, "CustomerIdType",
                                                              std::nullopt};

constexpr Entry<tkEJReportType> kEJReportTypes[] = {{ejrt_ZReport, "zreport", nullptr},
                                                    {ejrt_FiscalReceipt, "fiscalreceipt", nullptr},
                                                    {ejrt_NonFiscalReceipt, "nonfiscalreceipt", nullptr},
                                                    {ejrt_CreditNote, "creditnote", nullptr},
                                                    {ejrt_Invoice, "invoice", nullptr}};
constexpr Vocabulary<tkEJReportType> kEJReportType{kEJReportTypes, "ReportType", std::nullopt};

constexpr Entry<tkEJReportDestination> kEJReportDestinations[] = {{rd_Printer, "printer", nullptr},
                                                                  {rd_Memory, "memory", nullptr}};
constexpr Vocabulary<tkEJReportDestination> kEJReportDestination{kEJReportDestinations, "ReportDestination",
                                                                 std::nullopt};

constexpr Entry<tkEJFilesRequestType> kEJRequestTypes[] = {{ej_xml, "xml", nullptr}};
constexpr Vocabulary<tkEJFilesRequestType> kEJRequestType{kEJRequestTypes, "ReferenceType", std::nullopt};

constexpr Entry<tkReceiptLineAttribute> kLineAttributes[] = {{rla_Product, "product", nullptr}};
constexpr Vocabulary<tkReceiptLineAttribute> kLineAttribute{kLineAttributes, "LineAttribute", rla_Service};

}  // namespace

// clang-format off
tkReceiptLineType krptUtil::DecodeLineType(std::string_view a) { return Decode(kLineType, a); }
std::string krptUtil::EncodeLineType(tkReceiptLineType a) { return Encode(kLineType, a); }
tkReceiptPaymentType krptUtil::DecodePaymentType(std::string_view a) { return Decode(kPaymentType, a); }
std::string krptUtil::EncodePaymentType(tkReceiptPaymentType a) { return Encode(kPaymentType, a); }
tkReceiptType krptUtil::DecodeReceiptType(std::string_view a) { return Decode(kReceiptType, a); }
std::string krptUtil::EncodeReceiptType(tkReceiptType a) { return Encode(kReceiptType, a); }
tkReceiptReferenceType krptUtil::DecodeReferenceType(std::string_view a) { return Decode(kReferenceType, a); }
std::string krptUtil::EncodeReferenceType(tkReceiptReferenceType a) { return Encode(kReferenceType, a); }
tkReceiptTaxType krptUtil::DecodeTaxType(std::string_view a) { return Decode(kTaxType, a); }
std::string krptUtil::EncodeTaxType(tkReceiptTaxType a) { return Encode(kTaxType, a); }
tkReceiptMessageLineAlignment krptUtil::DecodeAlignment(std::string_view a) { return Decode(kAlignment, a); }
std::string krptUtil::EncodeAlignment(tkReceiptMessageLineAlignment a) { return Encode(kAlignment, a); }
tkReceiptMessageBarcodeType krptUtil::DecodeBarcodeType(std::string_view a) { return Decode(kBarcodeType, a); }
std::string krptUtil::EncodeBarcodeType(tkReceiptMessageBarcodeType a) { return Encode(kBarcodeType, a); }
tkReceiptMessageLineEffect krptUtil::DecodeEffect(std::string_view a) { return Decode(kEffect, a); }
std::string krptUtil::EncodeEffect(tkReceiptMessageLineEffect a) { return Encode(kEffect, a); }
tkReceiptMessageImageSource krptUtil::DecodeImageSource(std::string_view a) { return Decode(kImageSource, a); }
std::string krptUtil::EncodeImageSource(tkReceiptMessageImageSource a) { return Encode(kImageSource, a); }
tkReceiptCustomerIdType krptUtil::DecodeCustomerIdType(std::string_view a) { return Decode(kCustomerIdType, a); }
std::string krptUtil::EncodeCustomerIdType(tkReceiptCustomerIdType a) { return Encode(kCustomerIdType, a); }
tkEJReportType krptUtil::DecodeEJReportType(std::string_view a) { return Decode(kEJReportType, a); }
tkEJReportDestination krptUtil::DecodeEJReportDestination(std::string_view a) { return Decode(kEJReportDestination, a); }
tkEJFilesRequestType krptUtil::DecodeEJRequestType(std::string_view a) { return Decode(kEJRequestType, a); }
tkReceiptLineAttribute krptUtil::DecodeLineAttribute(std::string_view a) { return Decode(kLineAttribute, a); }
// clang-format on

tkReceiptMessageLineEffectSet krptUtil::DecodeEffects(std::string_view aEffects) {
  tkReceiptMessageLineEffectSet effects;
  while (true) {
    const size_t comma = aEffects.find(',');
    const std::string_view field = aEffects.substr(0, comma);
    if (field.empty()) break;
    effects.Include(DecodeEffect(field));
    if (comma == std::string_view::npos) break;
    aEffects.remove_prefix(comma + 1);
  }
  return effects;
}

std::string krptUtil::EncodeEffects(tkReceiptMessageLineEffectSet aEffects) {
  std::string text;
  for (const Entry<tkReceiptMessageLineEffect>& e : kEffects) {
    if (!aEffects.Contains(e.value)) continue;
    if (!text.empty()) text += ',';
    text += e.encoded;
  }
  return text;
}

}  // namespace korvane
