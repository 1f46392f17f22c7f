// The receipt vocabulary: the enumerations whose text codes krptUtil reads
// and writes.
#pragma once

#include <cstdint>

#include "device/byte_set.h"

namespace korvane {

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

}  // namespace korvane
