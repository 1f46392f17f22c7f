// The receipt vocabulary codecs.
#include <gtest/gtest.h>

#include <string>

#include "device/receipt_util.h"
#include "platform/error.h"
#include "support/test_support.h"

namespace korvane {
namespace {

using korvane::testing::ErrorOf;

// Every value of an enumeration encodes to a text that decodes back to it.
template <class E>
void ExpectRoundTrip(int aCount, std::string (*aEncode)(E), E (*aDecode)(std::string_view), int aSkip = -1) {
  for (int i = 0; i < aCount; ++i) {
    if (i == aSkip) continue;
    const E value = static_cast<E>(i);
    EXPECT_EQ(aDecode(aEncode(value)), value) << aEncode(value);
  }
}

TEST(ReceiptCodecs, EveryEncodedValueDecodesBack) {
  ExpectRoundTrip<tkReceiptLineType>(18, krptUtil::EncodeLineType, krptUtil::DecodeLineType);
  ExpectRoundTrip<tkReceiptPaymentType>(12, krptUtil::EncodePaymentType, krptUtil::DecodePaymentType);
  ExpectRoundTrip<tkReceiptType>(5, krptUtil::EncodeReceiptType, krptUtil::DecodeReceiptType);
  ExpectRoundTrip<tkReceiptReferenceType>(4, krptUtil::EncodeReferenceType, krptUtil::DecodeReferenceType);
  ExpectRoundTrip<tkReceiptTaxType>(2, krptUtil::EncodeTaxType, krptUtil::DecodeTaxType);
  ExpectRoundTrip<tkReceiptMessageLineAlignment>(4, krptUtil::EncodeAlignment, krptUtil::DecodeAlignment,
                                                 la_none);
  ExpectRoundTrip<tkReceiptMessageBarcodeType>(8, krptUtil::EncodeBarcodeType, krptUtil::DecodeBarcodeType);
  ExpectRoundTrip<tkReceiptMessageLineEffect>(8, krptUtil::EncodeEffect, krptUtil::DecodeEffect);
  ExpectRoundTrip<tkReceiptMessageImageSource>(2, krptUtil::EncodeImageSource, krptUtil::DecodeImageSource);
  ExpectRoundTrip<tkReceiptCustomerIdType>(3, krptUtil::EncodeCustomerIdType, krptUtil::DecodeCustomerIdType);
}

TEST(ReceiptCodecs, EncodesTheTableTexts) {
  EXPECT_EQ(krptUtil::EncodeLineType(rlt_DiscountPercentageOnSubTotal), "discountpercentageonsubtotal");
  EXPECT_EQ(krptUtil::EncodePaymentType(Rpt_NHSCard), "nhscard");
  EXPECT_EQ(krptUtil::EncodeReceiptType(rt_InvoiceSaleFromReceipt), "InvoiceSaleFromReceipt");
  EXPECT_EQ(krptUtil::EncodeReferenceType(rrt_EFTReceipt), "EFTReceipt");
  EXPECT_EQ(krptUtil::EncodeReferenceType(rrt_OriginalReceipt), "OriginalReceipt");
  EXPECT_EQ(krptUtil::EncodeTaxType(tt_VAT), "VAT");
  EXPECT_EQ(krptUtil::EncodeAlignment(la_none), "");
  EXPECT_EQ(krptUtil::EncodeBarcodeType(bt_Interleaved2Of5), "interleaved2of5");
  EXPECT_EQ(krptUtil::EncodeImageSource(is_FileSystem), "filesystem");
  EXPECT_EQ(krptUtil::EncodeCustomerIdType(cid_NA), "");
}

TEST(ReceiptCodecs, DecodesWholeTextsIgnoringCaseOnly) {
  EXPECT_EQ(krptUtil::DecodeLineType("ProductSale"), rlt_ProductSale);
  EXPECT_EQ(krptUtil::DecodePaymentType("CREDIT"), rpt_Credit);
  EXPECT_EQ(krptUtil::DecodePaymentType("creditcard"), rpt_CreditCard);
  EXPECT_EQ(krptUtil::DecodeReferenceType("original"), rrt_OriginalReceipt);
  EXPECT_EQ(krptUtil::DecodeReferenceType(""), rrt_OriginalReceipt);
  EXPECT_EQ(krptUtil::DecodeReferenceType("Empties"), rrt_Empties);
  EXPECT_EQ(krptUtil::DecodeLineAttribute("goods"), rla_Service);
  EXPECT_EQ(krptUtil::DecodeLineAttribute("PRODUCT"), rla_Product);
  EXPECT_EQ(krptUtil::DecodeLineAttribute(""), rla_Service);
  EXPECT_EQ(krptUtil::DecodeCustomerIdType(""), cid_NA);
  EXPECT_EQ(krptUtil::DecodeCustomerIdType("NA"), cid_NA);
  EXPECT_EQ(krptUtil::DecodeImageSource(""), is_FileSystem);
  EXPECT_EQ(krptUtil::DecodeEJReportType("ZReport"), ejrt_ZReport);
  EXPECT_EQ(krptUtil::DecodeEJReportType("invoice"), ejrt_Invoice);
  EXPECT_EQ(krptUtil::DecodeEJReportDestination("Memory"), rd_Memory);
  EXPECT_EQ(krptUtil::DecodeEJRequestType("XML"), ej_xml);
}

TEST(ReceiptCodecs, FailsWithTheVocabularysMessageOnLowerCasedText) {
  auto err = [](auto f) { return ErrorOf(f); };
  EXPECT_EQ(err([] { krptUtil::DecodeLineType(" productsale"); }), "LineType  productsale is invalid");
  EXPECT_EQ(err([] { krptUtil::DecodePaymentType("Credit Card"); }), "PaymentType credit card is invalid");
  EXPECT_EQ(err([] { krptUtil::DecodeReceiptType("Sales"); }), "ReceiptType sales is invalid");
  EXPECT_EQ(err([] { krptUtil::DecodeTaxType("GST"); }), "TaxType gst is invalid");
  EXPECT_EQ(err([] { krptUtil::DecodeAlignment("Middle"); }), "Alignment middle is invalid");
  EXPECT_EQ(err([] { krptUtil::DecodeAlignment("none"); }), "Alignment none is invalid");
  EXPECT_EQ(err([] { krptUtil::DecodeAlignment(""); }), "Alignment  is invalid");
  EXPECT_EQ(err([] { krptUtil::DecodeBarcodeType("EAN-13"); }), "BarcodeType ean-13 is invalid");
  EXPECT_EQ(err([] { krptUtil::DecodeEffect("Blink"); }), "Effect blink is invalid");
  EXPECT_EQ(err([] { krptUtil::DecodeImageSource("URL"); }), "Image Source url is invalid");
  EXPECT_EQ(err([] { krptUtil::DecodeCustomerIdType("Licence"); }), "CustomerIdType licence is invalid");
  EXPECT_EQ(err([] { krptUtil::DecodeEJReportType("XReport"); }), "ReportType xreport is invalid");
  EXPECT_EQ(err([] { krptUtil::DecodeEJReportDestination("Disk"); }), "ReportDestination disk is invalid");
  EXPECT_EQ(err([] { krptUtil::DecodeEJRequestType("JSON"); }), "ReferenceType json is invalid");
}

TEST(ReceiptCodecs, EffectSetsSplitAtCommasAndStopAtAnEmptyField) {
  using Set = tkReceiptMessageLineEffectSet;
  EXPECT_EQ(krptUtil::DecodeEffects("bold,italic"), (Set{le_bold, le_italic}));
  EXPECT_EQ(krptUtil::DecodeEffects(""), Set{});
  EXPECT_EQ(krptUtil::DecodeEffects("bold,,italic"), Set{le_bold});
  EXPECT_EQ(krptUtil::DecodeEffects("Condensed,BOLD,"), (Set{le_bold, le_condensed}));
  EXPECT_EQ(krptUtil::DecodeEffects(",bold"), Set{});
  EXPECT_EQ(ErrorOf([] { krptUtil::DecodeEffects("bold, italic"); }), "Effect  italic is invalid");
  EXPECT_EQ(krptUtil::EncodeEffects(Set{le_underline, le_bold}), "bold,underline");
  EXPECT_EQ(krptUtil::EncodeEffects(Set{}), "");
  const Set all = Set::FromBits(0xFF);
  EXPECT_EQ(krptUtil::DecodeEffects(krptUtil::EncodeEffects(all)), all);
}

}  // namespace
}  // namespace korvane
