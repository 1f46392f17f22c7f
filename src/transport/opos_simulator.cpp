#include "transport/opos_simulator.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <mutex>

#include "base/checked_math.h"
#include "helpers/ascii.h"
#include "helpers/utf.h"
#include "platform/error.h"

namespace korvane {
namespace {

// Which simulated control holds the claim of a device name: a claim keeps
// every other control of the process out, as the service object would.
std::mutex gClaimLock;
std::map<std::string, const void*>& Claims() {
  static std::map<std::string, const void*> claims;
  return claims;
}

std::string TwoDigits(int aValue) { return (aValue < 10 ? "0" : "") + std::to_string(aValue); }

// aPercent percent of aBase, rounded half away from zero to 1/10000.
Currency Percentage(Currency aBase, Currency aPercent) {
  return Currency::FromRaw(MulDivRoundHalfAway(aBase.Raw(), aPercent.Raw(), 100 * Currency::kScale));
}

}  // namespace

kOPOSFiscalPrinterSim::kOPOSFiscalPrinterSim(std::vector<std::string> aKnownDevices)
    : fKnownDevices(std::move(aKnownDevices)) {}

kOPOSFiscalPrinterSim::~kOPOSFiscalPrinterSim() {
  if (fClaimed) {
    std::lock_guard lock(gClaimLock);
    Claims().erase(AsciiLower(fDeviceName));
  }
}

int32_t kOPOSFiscalPrinterSim::Succeed() {
  fResultCode = OPOS_SUCCESS;
  fResultCodeExtended = 0;
  fErrorString.clear();
  return OPOS_SUCCESS;
}

int32_t kOPOSFiscalPrinterSim::Fail(int32_t aCode, const std::string& aText) {
  fResultCode = aCode;
  fResultCodeExtended = 0;
  fErrorString = aText;
  return aCode;
}

int32_t kOPOSFiscalPrinterSim::FailExtended(int32_t aExtended, const std::string& aText) {
  Fail(OPOS_E_EXTENDED, aText);
  fResultCodeExtended = aExtended;
  return OPOS_E_EXTENDED;
}

void kOPOSFiscalPrinterSim::CheckLink() {
  if (fLinkFailure.empty()) return;
  const std::string message = fLinkFailure;
  fLinkFailure.clear();
  throw Error(message);
}

int32_t kOPOSFiscalPrinterSim::CheckUsable() {
  if (!fOpen) return Fail(OPOS_E_CLOSED, "Device is closed");
  if (!fClaimed) return Fail(OPOS_E_NOTCLAIMED, "Device is not claimed");
  if (!fEnabled) return Fail(OPOS_E_DISABLED, "Device is disabled");
  return OPOS_SUCCESS;
}

int32_t kOPOSFiscalPrinterSim::CheckPrinting(std::initializer_list<int32_t> aStates) {
  if (const int32_t code = CheckUsable()) return code;
  if (std::find(aStates.begin(), aStates.end(), fPrinterState) == aStates.end())
    return FailExtended(OPOS_EFPTR_WRONG_STATE, "Printer is in the wrong state");
  if (fCoverOpen) return FailExtended(OPOS_EFPTR_COVER_OPEN, "Cover is open");
  if (fRecEmpty) return FailExtended(OPOS_EFPTR_REC_EMPTY, "Receipt paper is empty");
  return OPOS_SUCCESS;
}

void kOPOSFiscalPrinterSim::Print(const std::string& aLine) { fJournal.push_back(aLine); }

bool kOPOSFiscalPrinterSim::InReceipt() const {
  return fPrinterState == FPTR_PS_FISCAL_RECEIPT || fPrinterState == FPTR_PS_FISCAL_RECEIPT_TOTAL ||
         fPrinterState == FPTR_PS_FISCAL_RECEIPT_ENDING;
}

int32_t kOPOSFiscalPrinterSim::AddToReceipt(Currency aAmount, const std::string& aLine) {
  Currency total;
  try {
    total = fReceiptTotal + aAmount;
  } catch (const Error&) {
    return FailExtended(OPOS_EFPTR_RECEIPT_TOTAL_OVERFLOW, "Receipt total overflow");
  }
  if (total < Currency()) return FailExtended(OPOS_EFPTR_NEGATIVE_TOTAL, "Receipt total would be negative");
  fReceiptTotal = total;
  Print(aLine);
  return Succeed();
}

// ---- device ------------------------------------------------------------------

int32_t kOPOSFiscalPrinterSim::Open(const std::string& DeviceName) {
  CheckLink();
  if (fOpen) return Fail(OPOS_E_ILLEGAL, "Device is already open");
  if (std::none_of(fKnownDevices.begin(), fKnownDevices.end(),
                   [&](const std::string& known) { return AsciiEqualsIgnoreCase(known, DeviceName); }))
    return Fail(OPOS_E_NOEXIST, "Device " + DeviceName + " does not exist");
  fOpen = true;
  fDeviceName = DeviceName;
  return Succeed();
}

int32_t kOPOSFiscalPrinterSim::ClaimDevice(int32_t) {
  CheckLink();
  if (!fOpen) return Fail(OPOS_E_CLOSED, "Device is closed");
  if (fClaimed) return Succeed();
  {
    std::lock_guard lock(gClaimLock);
    const std::string key = AsciiLower(fDeviceName);
    if (Claims().count(key) != 0) return Fail(OPOS_E_TIMEOUT, "Device is claimed by another application");
    Claims()[key] = this;
  }
  fClaimed = true;
  return Succeed();
}

int32_t kOPOSFiscalPrinterSim::ReleaseDevice() {
  CheckLink();
  if (!fOpen) return Fail(OPOS_E_CLOSED, "Device is closed");
  if (!fClaimed) return Fail(OPOS_E_NOTCLAIMED, "Device is not claimed");
  fEnabled = false;
  {
    std::lock_guard lock(gClaimLock);
    Claims().erase(AsciiLower(fDeviceName));
  }
  fClaimed = false;
  return Succeed();
}

int32_t kOPOSFiscalPrinterSim::Close() {
  CheckLink();
  if (!fOpen) return Fail(OPOS_E_CLOSED, "Device is closed");
  if (fClaimed) ReleaseDevice();
  fOpen = false;
  return Succeed();
}

void kOPOSFiscalPrinterSim::SetDeviceEnabled(bool aValue) {
  CheckLink();
  if (!fOpen) {
    Fail(OPOS_E_CLOSED, "Device is closed");
  } else if (!fClaimed) {
    Fail(OPOS_E_NOTCLAIMED, "Device is not claimed");
  } else {
    fEnabled = aValue;
    Succeed();
  }
}

// ---- receipts and documents --------------------------------------------------

int32_t kOPOSFiscalPrinterSim::BeginFiscalReceipt(bool PrintHeader) {
  CheckLink();
  if (const int32_t code = CheckPrinting({FPTR_PS_MONITOR})) return code;
  if (fRemainingFiscalMemory <= 0)
    return FailExtended(OPOS_EFPTR_FISCAL_MEMORY_FULL, "Fiscal memory is full");
  fPrinterState = FPTR_PS_FISCAL_RECEIPT;
  fReceiptTotal = fPaid = fLastItemPrice = Currency();
  if (!fTraining) fDayOpened = true;
  if (PrintHeader) Print("HEADER");
  if (!fPreLine.empty()) Print(fPreLine);
  return Succeed();
}

int32_t kOPOSFiscalPrinterSim::EndFiscalReceipt(bool) {
  CheckLink();
  if (const int32_t code = CheckPrinting({FPTR_PS_FISCAL_RECEIPT, FPTR_PS_FISCAL_RECEIPT_ENDING}))
    return code;
  // A receipt ends once it is paid, or when nothing was sold on it.
  if (fPrinterState == FPTR_PS_FISCAL_RECEIPT && fReceiptTotal != Currency())
    return FailExtended(OPOS_EFPTR_WRONG_STATE, "Receipt is not paid");
  if (!fAdditionalTrailer.empty()) Print(fAdditionalTrailer);
  Print("END FISCAL RECEIPT");
  if (!fTraining) {
    fDailyTotal += fReceiptTotal;
    ++fReceiptNumber;
  }
  fReceiptTotal = fPaid = Currency();
  fPrinterState = FPTR_PS_MONITOR;
  return Succeed();
}

int32_t kOPOSFiscalPrinterSim::BeginNonFiscal() {
  CheckLink();
  if (const int32_t code = CheckPrinting({FPTR_PS_MONITOR})) return code;
  fPrinterState = FPTR_PS_NONFISCAL;
  return Succeed();
}

int32_t kOPOSFiscalPrinterSim::EndNonFiscal() {
  CheckLink();
  if (const int32_t code = CheckPrinting({FPTR_PS_NONFISCAL})) return code;
  fPrinterState = FPTR_PS_MONITOR;
  return Succeed();
}

int32_t kOPOSFiscalPrinterSim::BeginTraining() {
  CheckLink();
  if (const int32_t code = CheckUsable()) return code;
  if (fTraining) return Fail(OPOS_E_ILLEGAL, "Training mode is already active");
  if (fPrinterState != FPTR_PS_MONITOR)
    return FailExtended(OPOS_EFPTR_WRONG_STATE, "Printer is in the wrong state");
  fTraining = true;
  return Succeed();
}

int32_t kOPOSFiscalPrinterSim::EndTraining() {
  CheckLink();
  if (const int32_t code = CheckUsable()) return code;
  if (!fTraining) return Fail(OPOS_E_ILLEGAL, "Training mode is not active");
  if (fPrinterState != FPTR_PS_MONITOR)
    return FailExtended(OPOS_EFPTR_WRONG_STATE, "Printer is in the wrong state");
  fTraining = false;
  return Succeed();
}

int32_t kOPOSFiscalPrinterSim::ResetPrinter() {
  CheckLink();
  if (const int32_t code = CheckUsable()) return code;
  if (InReceipt()) Print("RECEIPT CANCELLED");
  fReceiptTotal = fPaid = Currency();
  fPrinterState = FPTR_PS_MONITOR;
  return Succeed();
}

int32_t kOPOSFiscalPrinterSim::PrintXReport() {
  CheckLink();
  if (const int32_t code = CheckPrinting({FPTR_PS_MONITOR})) return code;
  Print("X REPORT " + fDailyTotal.ToString());
  return Succeed();
}

int32_t kOPOSFiscalPrinterSim::PrintZReport() {
  CheckLink();
  if (const int32_t code = CheckPrinting({FPTR_PS_MONITOR})) return code;
  if (fRemainingFiscalMemory <= 0)
    return FailExtended(OPOS_EFPTR_FISCAL_MEMORY_FULL, "Fiscal memory is full");
  Print("Z REPORT " + std::to_string(fZReportNumber + 1) + " " + fDailyTotal.ToString());
  ++fZReportNumber;
  --fRemainingFiscalMemory;
  fGrandTotal += fDailyTotal;
  fDailyTotal = Currency();
  fDayOpened = false;
  return Succeed();
}

int32_t kOPOSFiscalPrinterSim::PrintNormal(int32_t Station, const std::string& Data) {
  CheckLink();
  if (const int32_t code = CheckPrinting({FPTR_PS_NONFISCAL})) return code;
  if (Station != FPTR_S_RECEIPT) return Fail(OPOS_E_ILLEGAL, "Station not supported");
  Print(Data);
  return Succeed();
}

int32_t kOPOSFiscalPrinterSim::PrintRecMessage(const std::string& Message) {
  CheckLink();
  if (const int32_t code = CheckPrinting(
          {FPTR_PS_FISCAL_RECEIPT, FPTR_PS_FISCAL_RECEIPT_TOTAL, FPTR_PS_FISCAL_RECEIPT_ENDING}))
    return code;
  Print(Message);
  return Succeed();
}

int32_t kOPOSFiscalPrinterSim::PrintRecTaxID(const std::string& TaxID) {
  CheckLink();
  if (const int32_t code = CheckPrinting({FPTR_PS_FISCAL_RECEIPT})) return code;
  if (TaxID.empty()) return FailExtended(OPOS_EFPTR_BAD_LENGTH, "Tax id is empty");
  Print("TAX ID " + TaxID);
  return Succeed();
}

// ---- items -------------------------------------------------------------------

int32_t kOPOSFiscalPrinterSim::PrintRecItem(const std::string& Description, Currency Price, int32_t Quantity,
                                            int32_t VatInfo, Currency UnitPrice,
                                            const std::string& UnitName) {
  CheckLink();
  if (const int32_t code = CheckPrinting({FPTR_PS_FISCAL_RECEIPT})) return code;
  if (platform::Utf16Length(Description) > static_cast<size_t>(kMaxDescription))
    return FailExtended(OPOS_EFPTR_BAD_ITEM_DESCRIPTION, "Description too long");
  if (Quantity <= 0) return FailExtended(OPOS_EFPTR_BAD_ITEM_QUANTITY, "Bad quantity");
  if (Price < Currency()) return FailExtended(OPOS_EFPTR_BAD_ITEM_AMOUNT, "Bad amount");
  if (UnitPrice < Currency()) return FailExtended(OPOS_EFPTR_BAD_PRICE, "Bad unit price");
  if (VatInfo < 1 || VatInfo > kVatRates) return FailExtended(OPOS_EFPTR_BAD_VAT, "Bad VAT code");
  const int32_t code = AddToReceipt(Price, Description + " " + std::to_string(Quantity) + " " + UnitName +
                                               " x " + UnitPrice.ToString() + " = " + Price.ToString());
  if (code == OPOS_SUCCESS) fLastItemPrice = Price;
  return code;
}

int32_t kOPOSFiscalPrinterSim::PrintRecItemVoid(const std::string& Description, Currency Price,
                                                int32_t Quantity, int32_t VatInfo, Currency UnitPrice,
                                                const std::string&) {
  CheckLink();
  if (const int32_t code = CheckPrinting({FPTR_PS_FISCAL_RECEIPT})) return code;
  if (Quantity <= 0) return FailExtended(OPOS_EFPTR_BAD_ITEM_QUANTITY, "Bad quantity");
  if (Price < Currency()) return FailExtended(OPOS_EFPTR_BAD_ITEM_AMOUNT, "Bad amount");
  if (UnitPrice < Currency()) return FailExtended(OPOS_EFPTR_BAD_PRICE, "Bad unit price");
  if (VatInfo < 1 || VatInfo > kVatRates) return FailExtended(OPOS_EFPTR_BAD_VAT, "Bad VAT code");
  return AddToReceipt(-Price, "VOID " + Description + " -" + Price.ToString());
}

int32_t kOPOSFiscalPrinterSim::PrintRecRefund(const std::string& Description, Currency Amount,
                                              int32_t VatInfo) {
  CheckLink();
  if (const int32_t code = CheckPrinting({FPTR_PS_FISCAL_RECEIPT})) return code;
  if (Amount < Currency()) return FailExtended(OPOS_EFPTR_BAD_ITEM_AMOUNT, "Bad amount");
  if (VatInfo < 1 || VatInfo > kVatRates) return FailExtended(OPOS_EFPTR_BAD_VAT, "Bad VAT code");
  return AddToReceipt(-Amount, "REFUND " + Description + " -" + Amount.ToString());
}

int32_t kOPOSFiscalPrinterSim::PrintRecItemAdjustment(int32_t AdjustmentType, const std::string& Description,
                                                      Currency Amount, int32_t VatInfo) {
  CheckLink();
  if (const int32_t code = CheckPrinting({FPTR_PS_FISCAL_RECEIPT})) return code;
  if (Amount < Currency()) return FailExtended(OPOS_EFPTR_BAD_ITEM_AMOUNT, "Bad amount");
  if (VatInfo < 1 || VatInfo > kVatRates) return FailExtended(OPOS_EFPTR_BAD_VAT, "Bad VAT code");
  Currency change;
  switch (AdjustmentType) {
    case FPTR_AT_AMOUNT_DISCOUNT: change = -Amount; break;
    case FPTR_AT_AMOUNT_SURCHARGE: change = Amount; break;
    case FPTR_AT_PERCENTAGE_DISCOUNT: change = -Percentage(fLastItemPrice, Amount); break;
    case FPTR_AT_PERCENTAGE_SURCHARGE: change = Percentage(fLastItemPrice, Amount); break;
    default: return Fail(OPOS_E_ILLEGAL, "Adjustment type not supported");
  }
  return AddToReceipt(change, Description + " " + change.ToString());
}

int32_t kOPOSFiscalPrinterSim::PrintRecSubtotal(Currency Amount) {
  CheckLink();
  if (const int32_t code = CheckPrinting({FPTR_PS_FISCAL_RECEIPT})) return code;
  if (Amount != Currency() && Amount != fReceiptTotal)
    return FailExtended(OPOS_EFPTR_FISCAL_TOTALS_ERROR, "Subtotal does not match the receipt");
  Print("SUBTOTAL " + fReceiptTotal.ToString());
  return Succeed();
}

int32_t kOPOSFiscalPrinterSim::PrintRecSubtotalAdjustment(int32_t AdjustmentType,
                                                          const std::string& Description, Currency Amount) {
  CheckLink();
  if (const int32_t code = CheckPrinting({FPTR_PS_FISCAL_RECEIPT})) return code;
  if (Amount < Currency()) return FailExtended(OPOS_EFPTR_BAD_ITEM_AMOUNT, "Bad amount");
  Currency change;
  switch (AdjustmentType) {
    case FPTR_AT_AMOUNT_DISCOUNT: change = -Amount; break;
    case FPTR_AT_AMOUNT_SURCHARGE: change = Amount; break;
    case FPTR_AT_PERCENTAGE_DISCOUNT: change = -Percentage(fReceiptTotal, Amount); break;
    case FPTR_AT_PERCENTAGE_SURCHARGE: change = Percentage(fReceiptTotal, Amount); break;
    default: return Fail(OPOS_E_ILLEGAL, "Adjustment type not supported");
  }
  return AddToReceipt(change, Description + " " + change.ToString());
}

int32_t kOPOSFiscalPrinterSim::PrintRecTotal(Currency Total, Currency Payment,
                                             const std::string& Description) {
  CheckLink();
  if (const int32_t code = CheckPrinting({FPTR_PS_FISCAL_RECEIPT, FPTR_PS_FISCAL_RECEIPT_TOTAL})) return code;
  if (Total != fReceiptTotal)
    return FailExtended(OPOS_EFPTR_FISCAL_TOTALS_ERROR, "Total does not match the receipt");
  if (Payment < Currency()) return FailExtended(OPOS_EFPTR_BAD_ITEM_AMOUNT, "Bad payment");
  fPaid += Payment;
  Print("TOTAL " + Total.ToString() + " " + Description + " " + Payment.ToString());
  fPrinterState = fPaid >= fReceiptTotal ? FPTR_PS_FISCAL_RECEIPT_ENDING : FPTR_PS_FISCAL_RECEIPT_TOTAL;
  return Succeed();
}

int32_t kOPOSFiscalPrinterSim::PrintRecNotPaid(const std::string& Description, Currency Amount) {
  CheckLink();
  if (const int32_t code = CheckPrinting({FPTR_PS_FISCAL_RECEIPT_TOTAL})) return code;
  if (Amount < Currency()) return FailExtended(OPOS_EFPTR_BAD_ITEM_AMOUNT, "Bad amount");
  fPaid += Amount;
  Print("NOT PAID " + Description + " " + Amount.ToString());
  if (fPaid >= fReceiptTotal) fPrinterState = FPTR_PS_FISCAL_RECEIPT_ENDING;
  return Succeed();
}

// ---- date, data, vendor commands ----------------------------------------------

int32_t kOPOSFiscalPrinterSim::SetDate(const std::string& Date) {
  CheckLink();
  if (const int32_t code = CheckUsable()) return code;
  if (fPrinterState != FPTR_PS_MONITOR)
    return FailExtended(OPOS_EFPTR_WRONG_STATE, "Printer is in the wrong state");
  if (fDayOpened) return FailExtended(OPOS_EFPTR_DAY_END_REQUIRED, "Day end required");
  const bool digits =
      Date.size() == 12 && std::all_of(Date.begin(), Date.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (!digits) return FailExtended(OPOS_EFPTR_BAD_DATE, "Bad date");
  const auto field = [&](size_t aAt, size_t aLength) { return std::stoi(Date.substr(aAt, aLength)); };
  const int day = field(0, 2), month = field(2, 2), year = field(4, 4), hour = field(8, 2),
            minute = field(10, 2);
  if (!IsValidDate(year, month, day) || hour > 23 || minute > 59)
    return FailExtended(OPOS_EFPTR_BAD_DATE, "Bad date");
  fClockOffset = EncodeDate(year, month, day) + EncodeTime(hour, minute, 0, 0) - NowDateTime();
  return Succeed();
}

int32_t kOPOSFiscalPrinterSim::GetDate(std::string& Date) {
  CheckLink();
  if (const int32_t code = CheckUsable()) return code;
  const TDateTimeParts now = DecodeDateTime(NowDateTime() + fClockOffset);
  Date = TwoDigits(now.day) + TwoDigits(now.month) + std::to_string(now.year) + TwoDigits(now.hour) +
         TwoDigits(now.minute);
  return Succeed();
}

int32_t kOPOSFiscalPrinterSim::GetData(int32_t DataItem, int32_t&, std::string& Data) {
  CheckLink();
  if (const int32_t code = CheckUsable()) return code;
  // Amounts as the standard's currency strings: the count of 1/10000.
  switch (DataItem) {
    case FPTR_GD_CURRENT_TOTAL: Data = std::to_string(fReceiptTotal.Raw()); break;
    case FPTR_GD_DAILY_TOTAL: Data = std::to_string(fDailyTotal.Raw()); break;
    case FPTR_GD_RECEIPT_NUMBER: Data = std::to_string(fReceiptNumber); break;
    case FPTR_GD_Z_REPORT: Data = std::to_string(fZReportNumber); break;
    case FPTR_GD_GRAND_TOTAL: Data = std::to_string((fGrandTotal + fDailyTotal).Raw()); break;
    case FPTR_GD_PRINTER_ID: Data = kPrinterId; break;
    case FPTR_GD_FIRMWARE: Data = kFirmware; break;
    default: return Fail(OPOS_E_ILLEGAL, "Data item not supported");
  }
  return Succeed();
}

int32_t kOPOSFiscalPrinterSim::DirectIO(int32_t Command, int32_t& pData, std::string& pString) {
  CheckLink();
  if (const int32_t code = CheckUsable()) return code;
  if (Command != 1) return Fail(OPOS_E_ILLEGAL, "Command not supported");
  pData = static_cast<int32_t>(platform::Utf16Length(pString));
  return Succeed();
}

}  // namespace korvane
