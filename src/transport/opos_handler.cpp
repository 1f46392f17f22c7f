#include "transport/opos_handler.h"

#include <limits>

#include "platform/error.h"

namespace korvane {
namespace {

const char* const kResultNames[] = {
    "OPOS_E_CLOSED",  "OPOS_E_CLAIMED",    "OPOS_E_NOTCLAIMED", "OPOS_E_NOSERVICE", "OPOS_E_DISABLED",
    "OPOS_E_ILLEGAL", "OPOS_E_NOHARDWARE", "OPOS_E_OFFLINE",    "OPOS_E_NOEXIST",   "OPOS_E_EXISTS",
    "OPOS_E_FAILURE", "OPOS_E_TIMEOUT",    "OPOS_E_BUSY",       "OPOS_E_EXTENDED",  "OPOS_E_DEPRECATED"};

const char* const kExtendedNames[] = {"OPOS_EFPTR_COVER_OPEN",
                                      "OPOS_EFPTR_JRN_EMPTY",
                                      "OPOS_EFPTR_REC_EMPTY",
                                      "OPOS_EFPTR_SLP_EMPTY",
                                      "OPOS_EFPTR_SLP_FORM",
                                      "OPOS_EFPTR_MISSING_DEVICES",
                                      "OPOS_EFPTR_WRONG_STATE",
                                      "OPOS_EFPTR_TECHNICAL_ASSISTANCE",
                                      "OPOS_EFPTR_CLOCK_ERROR",
                                      "OPOS_EFPTR_FISCAL_MEMORY_FULL",
                                      "OPOS_EFPTR_FISCAL_MEMORY_DISCONNECTED",
                                      "OPOS_EFPTR_FISCAL_TOTALS_ERROR",
                                      "OPOS_EFPTR_BAD_ITEM_QUANTITY",
                                      "OPOS_EFPTR_BAD_ITEM_AMOUNT",
                                      "OPOS_EFPTR_BAD_ITEM_DESCRIPTION",
                                      "OPOS_EFPTR_RECEIPT_TOTAL_OVERFLOW",
                                      "OPOS_EFPTR_BAD_VAT",
                                      "OPOS_EFPTR_BAD_PRICE",
                                      "OPOS_EFPTR_BAD_DATE",
                                      "OPOS_EFPTR_NEGATIVE_TOTAL",
                                      "OPOS_EFPTR_WORD_NOT_ALLOWED",
                                      "OPOS_EFPTR_BAD_LENGTH",
                                      "OPOS_EFPTR_MISSING_SET_CURRENCY",
                                      "OPOS_EFPTR_DAY_END_REQUIRED"};

const char* BoolText(bool aValue) { return aValue ? "True" : "False"; }

std::string TwoDigits(int aValue) { return (aValue < 10 ? "0" : "") + std::to_string(aValue); }

// Characters aFrom (1-based) to aFrom + aCount - 1 of aText as a decimal
// integer, as the runtime reads one.
int ReadField(const std::string& aText, size_t aFrom, size_t aCount) {
  const std::string field = aFrom - 1 < aText.size() ? aText.substr(aFrom - 1, aCount) : std::string();
  size_t i = 0;
  bool negative = false;
  if (i < field.size() && (field[i] == '+' || field[i] == '-')) negative = field[i++] == '-';
  int value = 0;
  const size_t digitsFrom = i;
  for (; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i) value = value * 10 + (field[i] - '0');
  if (i == digitsFrom || i != field.size()) throw Error("'" + field + "' is not a valid integer value");
  return negative ? -value : value;
}

}  // namespace

kIOHandler_OPOS::kIOHandler_OPOS(const kConnection& aConnection, const std::string& aDirectory,
                                 const std::string& aFileName)
    : kIOHandler(&aConnection, aDirectory, aFileName),
      fOPOS(CreateOPOSFiscalPrinter(aConnection.DeviceName())),
      fDeviceName(aConnection.DeviceName()) {}

void kIOHandler_OPOS::SetDeviceName(const std::string& aValue) {
  if (!fConnected && aValue != fDeviceName) fOPOS = CreateOPOSFiscalPrinter(aValue);
  fDeviceName = aValue;
}

kIOHandler_OPOS::~kIOHandler_OPOS() {
  if (fConnected) Disconnect();  // catches what the control raises
  fOPOS.reset();
}

// ---- result codes ---------------------------------------------------------------

std::string kIOHandler_OPOS::Q(const std::string& aText) {
  std::string quoted = "'";
  for (const char c : aText) {
    quoted += c;
    if (c == '\'') quoted += '\'';
  }
  return quoted + "'";
}

std::string kIOHandler_OPOS::A(Currency aAmount) {
  const int64_t raw = aAmount.Raw();
  // The magnitude without overflow for the most negative amount.
  const uint64_t magnitude = raw < 0 ? 0 - static_cast<uint64_t>(raw) : static_cast<uint64_t>(raw);
  std::string text = (raw < 0 ? "-" : "") + std::to_string(magnitude / Currency::kScale);
  uint64_t fraction = magnitude % Currency::kScale;
  if (fraction != 0) {
    std::string digits = std::to_string(fraction);
    digits.insert(0, 4 - digits.size(), '0');
    while (digits.back() == '0') digits.pop_back();
    text += "." + digits;
  }
  return text;
}

std::string kIOHandler_OPOS::ResultText(int32_t aCode, int32_t aExtended, const std::string& aErrorString) {
  std::string text = "[" + std::to_string(aCode) + "]";
  text += aCode >= 101 && aCode <= 115 ? std::string(" ") + kResultNames[aCode - 101] : " UNKNOWN";
  if (aExtended != 0) {
    text += " [" + std::to_string(aExtended) + "]";
    text += aExtended >= 201 && aExtended <= 224 ? std::string(" ") + kExtendedNames[aExtended - 201]
                                                 : " UNKNOWN";
  }
  return text + " - " + aErrorString;
}

bool kIOHandler_OPOS::CheckResult(int32_t aCode) {
  ResetCustomError();
  if (aCode == OPOS_SUCCESS) return true;
  const int32_t extended = aCode == OPOS_E_EXTENDED ? fOPOS->ResultCodeExtended() : 0;
  const std::string text = ResultText(aCode, extended, fOPOS->ErrorString());
  Debug(let_error, text);
  SetCustomError(aCode, text);
  return false;
}

// ---- link ---------------------------------------------------------------------------

bool kIOHandler_OPOS::Connect() {
  kIOHandler::Connect();
  Log("DeviceName=" + fDeviceName);
  try {
    if (Connected()) Disconnect();
    Log("[Connect]->Open(" + fDeviceName + ")");
    bool result = CheckResult(fOPOS->Open(fDeviceName));
    if (result) {
      Log("[Connect]->ClaimDevice(" + std::to_string(ConnectTimeout()) + ")");
      result = CheckResult(fOPOS->ClaimDevice(ConnectTimeout()));
      if (result) {
        Log("[Connect]->DeviceEnabled:=true");
        fOPOS->SetDeviceEnabled(true);
        result = fOPOS->DeviceEnabled();
      }
    }
    fConnected = true;
    return result;
  } catch (const std::exception& e) {
    Debug(let_error, std::string("[Connect]:") + e.what());
    return false;
  }
}

bool kIOHandler_OPOS::Disconnect() {
  try {
    Log("[Disconnect]->DeviceEnabled:=false");
    fOPOS->SetDeviceEnabled(false);
    bool result = false;
    if (!fOPOS->DeviceEnabled()) {
      Log("[Disconnect]->ReleaseDevice");
      result = CheckResult(fOPOS->ReleaseDevice());
      if (result) {
        Log("[Disconnect]->Close");
        result = CheckResult(fOPOS->Close());
      }
    }
    fConnected = false;
    return result;
  } catch (const std::exception& e) {
    Debug(let_error, std::string("[Disconnect]:") + e.what());
    return false;
  }
}

bool kIOHandler_OPOS::Write(const std::string&) { throw Error("Write Unsupported"); }
std::string kIOHandler_OPOS::ReadUpTo(std::vector<uint8_t>) { throw Error("ReadUpto Unsupported"); }
std::string kIOHandler_OPOS::ReadChars(int32_t) { throw Error("ReadChars Unsupported"); }
std::string kIOHandler_OPOS::ReadAll() { throw Error("ReadAll Unsupported"); }
std::string kIOHandler_OPOS::DecodeError(int32_t) { return ""; }
bool kIOHandler_OPOS::InputBufferContainsData() { throw Error("InputBufferContainsData Unsupported"); }

// ---- documents ------------------------------------------------------------------------

bool kIOHandler_OPOS::BeginFiscalReceipt() {
  Log("[BeginFiscalReceipt]->BeginFiscalReceipt(true)");
  return CheckResult(fOPOS->BeginFiscalReceipt(true));
}

bool kIOHandler_OPOS::EndFiscalReceipt() {
  Log("[EndFiscalReceipt]->EndFiscalReceipt(false)");
  return CheckResult(fOPOS->EndFiscalReceipt(false));
}

bool kIOHandler_OPOS::BeginNonFiscal() {
  Log("[BeginNonFiscal]->BeginNonFiscal");
  return CheckResult(fOPOS->BeginNonFiscal());
}

bool kIOHandler_OPOS::EndNonFiscal() {
  Log("[EndNonFiscal]->EndNonFiscal");
  return CheckResult(fOPOS->EndNonFiscal());
}

bool kIOHandler_OPOS::BeginTraining() {
  Log("[BeginTraining]->BeginTraining");
  return CheckResult(fOPOS->BeginTraining());
}

bool kIOHandler_OPOS::EndTraining() {
  Log("[EndTraining]->EndTraining");
  return CheckResult(fOPOS->EndTraining());
}

bool kIOHandler_OPOS::ResetPrinter() {
  Log("[ResetPrinter]->ResetPrinter");
  return CheckResult(fOPOS->ResetPrinter());
}

bool kIOHandler_OPOS::PrintXReport() {
  Log("[PrintXReport]->PrintXReport");
  return CheckResult(fOPOS->PrintXReport());
}

bool kIOHandler_OPOS::PrintZReport() {
  Log("[PrintZReport]->PrintZReport");
  return CheckResult(fOPOS->PrintZReport());
}

bool kIOHandler_OPOS::PrintNormal(const std::string& aText) {
  Log("[PrintNormal]->PrintNormal(" + std::to_string(FPTR_S_RECEIPT) + "," + Q(aText) + ")");
  return CheckResult(fOPOS->PrintNormal(FPTR_S_RECEIPT, aText));
}

bool kIOHandler_OPOS::PrintRecMessage(const std::string& aText) {
  Log("[PrintRecMessage]->PrintRecMessage(" + Q(aText) + ")");
  return CheckResult(fOPOS->PrintRecMessage(aText));
}

bool kIOHandler_OPOS::PrintRecTaxid(const std::string& aTaxId) {
  Log("[PrintRecTaxid]->PrintRecTaxid(" + Q(aTaxId) + ")");
  return CheckResult(fOPOS->PrintRecTaxID(aTaxId));
}

// ---- items ----------------------------------------------------------------------------

namespace {

// The quantity in thousandths, cut toward zero.
int32_t Thousandths(Currency aQuantity) {
  const int64_t thousandths = aQuantity.Raw() / (Currency::kScale / 1000);
  if (thousandths > std::numeric_limits<int32_t>::max() || thousandths < std::numeric_limits<int32_t>::min())
    throw Error("Quantity out of range");
  return static_cast<int32_t>(thousandths);
}

}  // namespace

bool kIOHandler_OPOS::PrintRecItem(const std::string&, const std::string& aDescription, Currency aQuantity,
                                   const std::string& aUOM, int32_t aVatCode, Currency aPrice,
                                   Currency aAmount) {
  const int32_t quantity = Thousandths(aQuantity);
  Log("[PrintRecItem]->PrintRecItem(" + Q(aDescription) + "," + A(aAmount) + "," +
      std::to_string(aQuantity.Raw() / Currency::kScale) + "," + std::to_string(aVatCode) + "," + A(aPrice) +
      "," + Q(aUOM) + ")");
  return CheckResult(fOPOS->PrintRecItem(aDescription, aAmount, quantity, aVatCode, aPrice, aUOM));
}

bool kIOHandler_OPOS::PrintRecItemVoid(const std::string&, const std::string& aDescription,
                                       Currency aQuantity, const std::string& aUOM, int32_t aVatCode,
                                       Currency aPrice, Currency aAmount) {
  const int32_t quantity = Thousandths(aQuantity);
  Log("[PrintRecItemVoid]->PrintRecItemVoid(" + Q(aDescription) + "," + A(aAmount) + "," +
      std::to_string(aVatCode) + "," + A(aPrice) + "," + Q(aUOM) + ")");
  return CheckResult(fOPOS->PrintRecItemVoid(aDescription, aAmount, quantity, aVatCode, aPrice, aUOM));
}

bool kIOHandler_OPOS::PrintRecRefund(const std::string&, const std::string& aDescription, Currency,
                                     const std::string&, int32_t aVatCode, Currency, Currency aAmount) {
  Log("[PrintRecRefund]->PrintRecRefund(" + Q(aDescription) + "," + A(aAmount) + "," +
      std::to_string(aVatCode) + ")");
  return CheckResult(fOPOS->PrintRecRefund(aDescription, aAmount, aVatCode));
}

bool kIOHandler_OPOS::PrintRecItemAdjustment(int32_t aAdjType, const std::string& aDescription,
                                             Currency aAmount, int32_t aVatCode) {
  Log("[PrintRecItemAdjustment]->PrintRecItemAdjustment(" + std::to_string(aAdjType) + "," + Q(aDescription) +
      "," + A(aAmount) + "," + std::to_string(aVatCode) + ")");
  return CheckResult(fOPOS->PrintRecItemAdjustment(aAdjType, aDescription, aAmount, aVatCode));
}

bool kIOHandler_OPOS::PrintRecSubtotal(Currency aAmount) {
  Log("[PrintRecSubtotal]->PrintRecSubTotal(" + A(aAmount) + ")");
  return CheckResult(fOPOS->PrintRecSubtotal(aAmount));
}

bool kIOHandler_OPOS::PrintRecSubtotalAdjustment(int32_t aAdjType, const std::string& aDescription,
                                                 Currency aAmount) {
  Log("[PrintRecSubtotalAdjustment]->PrintRecSubtotalAdjustment(" + std::to_string(aAdjType) + "," +
      Q(aDescription) + "," + A(aAmount) + ")");
  return CheckResult(fOPOS->PrintRecSubtotalAdjustment(aAdjType, aDescription, aAmount));
}

bool kIOHandler_OPOS::PrintRecTotal(Currency aTotalAmount, Currency aPaymentAmount,
                                    const std::string& aDescription) {
  Log("[PrintRecTotal]->PrintRecTotal(" + A(aTotalAmount) + "," + A(aPaymentAmount) + "," + Q(aDescription) +
      ")");
  return CheckResult(fOPOS->PrintRecTotal(aTotalAmount, aPaymentAmount, aDescription));
}

bool kIOHandler_OPOS::PrintRecNotPaid(Currency aAmount, const std::string& aDescription) {
  Log("[PrintRecNotPaid]->PrintRecNotPaid(" + Q(aDescription) + "," + A(aAmount) + ")");
  return CheckResult(fOPOS->PrintRecNotPaid(aDescription, aAmount));
}

// ---- date, data, vendor commands ---------------------------------------------------------

bool kIOHandler_OPOS::SetDate(TDateTime aDateTime) {
  const TDateTimeParts p = DecodeDateTime(aDateTime);
  std::string year = std::to_string(p.year);
  year.insert(0, year.size() < 4 ? 4 - year.size() : 0, '0');
  const std::string t =
      TwoDigits(p.day) + TwoDigits(p.month) + year + TwoDigits(p.hour) + TwoDigits(p.minute);
  Log("[SetDate]->SetDate(" + Q(t) + ")");
  return CheckResult(fOPOS->SetDate(t));
}

bool kIOHandler_OPOS::GetDate(TDateTime& aDate) {
  Log("[GetDate]->GetDate");
  std::string date;
  const bool result = CheckResult(fOPOS->GetDate(date));
  if (!result) {
    aDate = NowDateTime();
    return false;
  }
  Log("[GetDate]->aDate=" + date);
  const int day = ReadField(date, 1, 2), month = ReadField(date, 3, 2), year = ReadField(date, 5, 4);
  const int hour = ReadField(date, 9, 2), minute = ReadField(date, 11, 2);
  aDate = EncodeDate(year, month, day) + EncodeTime(hour, minute, 0, 0);
  return true;
}

bool kIOHandler_OPOS::GetData(int32_t aDataItem, int32_t aOptArgs, std::string& aOutput) {
  Log("[GetData]->GetData(" + std::to_string(aDataItem) + "," + std::to_string(aOptArgs) + ",aOutput)");
  int32_t optArgs = aOptArgs;
  std::string data;
  const bool result = CheckResult(fOPOS->GetData(aDataItem, optArgs, data));
  if (result) {
    Log("[GetData]->aOutput=" + data);
    aOutput = data;
  } else {
    aOutput.clear();
  }
  return result;
}

bool kIOHandler_OPOS::DirectIO(int32_t aCommand, int32_t& aData, std::string& aString) {
  Log("[DirectIO]->DirectIO(" + std::to_string(aCommand) + "," + std::to_string(aData) + "," + Q(aString) +
      ")");
  int32_t pData = aData;
  std::string pString = aString;
  const bool result = CheckResult(fOPOS->DirectIO(aCommand, pData, pString));
  Log("[DirectIO]->Output(Data:=" + std::to_string(pData) + ", Obj:=" + Q(pString) + ")");
  aData = pData;
  aString = pString;
  return result;
}

// ---- properties ---------------------------------------------------------------------------

bool kIOHandler_OPOS::SetAdditionalTrailerLine(const std::string& aDescription, bool aClear) {
  if (aClear) {
    Log("[SetAdditionalTrailerLine]->AdditionalTrailer=" + Q(aDescription));
    fOPOS->SetAdditionalTrailer(aDescription);
  } else {
    Log("[SetAdditionalTrailerLine]->AdditionalTrailer=+" + Q(aDescription));
    fOPOS->SetAdditionalTrailer(fOPOS->AdditionalTrailer() + aDescription + "\r\n");
  }
  return true;
}

bool kIOHandler_OPOS::SetPreLine(const std::string& aDescription) {
  Log("[SetPreLine]->PreLine=" + Q(aDescription));
  fOPOS->SetPreLine(aDescription);
  return true;
}

bool kIOHandler_OPOS::SetFiscalReceiptType(int32_t aReceiptType) {
  Log("[SetFiscalReceiptType]->FiscalReceiptType=" + std::to_string(aReceiptType));
  fOPOS->SetFiscalReceiptType(aReceiptType);
  return true;
}

bool kIOHandler_OPOS::GetCoverOpen(bool& aResult) {
  Log("[GetCoverOpen]->CoverOpen(aResult)");
  aResult = fOPOS->CoverOpen();
  Log(std::string("[GetCoverOpen]->CoverOpen=") + BoolText(aResult));
  return true;
}

bool kIOHandler_OPOS::GetDayOpened(bool& aResult) {
  Log("[GetDayOpened]->DayOpened(aResult)");
  aResult = fOPOS->DayOpened();
  Log(std::string("[GetDayOpened]->aResult=") + BoolText(aResult));
  return true;
}

bool kIOHandler_OPOS::GetRecEmpty(bool& aResult) {
  Log("[GetRecEmpty]->RecEmpty(aResult)");
  aResult = fOPOS->RecEmpty();
  Log(std::string("[GetRecEmpty]->aResult=") + BoolText(aResult));
  return true;
}

bool kIOHandler_OPOS::GetRecNearEnd(bool& aResult) {
  Log("[GetRecNearEmpty]->RecNearEmpty(aResult)");
  aResult = fOPOS->RecNearEnd();
  Log(std::string("[GetRecNearEmpty]->aResult=") + BoolText(aResult));
  return true;
}

bool kIOHandler_OPOS::GetTrainingModeActive(bool& aResult) {
  Log("[GetTrainingModeActive]->TrainingModeActive(aResult)");
  aResult = fOPOS->TrainingModeActive();
  Log(std::string("[GetTrainingModeActive]->aResult=") + BoolText(aResult));
  return true;
}

bool kIOHandler_OPOS::PrinterState(int32_t& aPrinterState) {
  Log("[PrinterState]->PrinterState(aPrinterState)");
  aPrinterState = fOPOS->PrinterState();
  Log("[PrinterState]->aPrinterState=" + std::to_string(aPrinterState));
  return true;
}

bool kIOHandler_OPOS::RemainingFiscalMemory(int32_t& aRemainingFiscalMemory) {
  Log("[RemainingFiscalMemory]->RemainingFiscalMemory(aRemainingFiscalMemory)");
  aRemainingFiscalMemory = fOPOS->RemainingFiscalMemory();
  Log("[RemainingFiscalMemory]->aRemainingFiscalMemory=" + std::to_string(aRemainingFiscalMemory));
  return true;
}

}  // namespace korvane
