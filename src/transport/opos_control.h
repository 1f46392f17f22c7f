// The OPOS fiscal printer control as the OPOS transport sees it: the methods
// and properties it calls, with the standard's names and result codes. A
// control is made by CreateOPOSFiscalPrinter (see below).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/currency.h"

namespace korvane {

// Result codes of every method (ResultCode).
enum : int32_t {
  OPOS_SUCCESS = 0,
  OPOS_E_CLOSED = 101,
  OPOS_E_CLAIMED = 102,
  OPOS_E_NOTCLAIMED = 103,
  OPOS_E_NOSERVICE = 104,
  OPOS_E_DISABLED = 105,
  OPOS_E_ILLEGAL = 106,
  OPOS_E_NOHARDWARE = 107,
  OPOS_E_OFFLINE = 108,
  OPOS_E_NOEXIST = 109,
  OPOS_E_EXISTS = 110,
  OPOS_E_FAILURE = 111,
  OPOS_E_TIMEOUT = 112,
  OPOS_E_BUSY = 113,
  OPOS_E_EXTENDED = 114,
  OPOS_E_DEPRECATED = 115,
};

// Extended result codes of the fiscal printer (ResultCodeExtended after
// OPOS_E_EXTENDED).
enum : int32_t {
  OPOS_EFPTR_COVER_OPEN = 201,
  OPOS_EFPTR_JRN_EMPTY = 202,
  OPOS_EFPTR_REC_EMPTY = 203,
  OPOS_EFPTR_SLP_EMPTY = 204,
  OPOS_EFPTR_SLP_FORM = 205,
  OPOS_EFPTR_MISSING_DEVICES = 206,
  OPOS_EFPTR_WRONG_STATE = 207,
  OPOS_EFPTR_TECHNICAL_ASSISTANCE = 208,
  OPOS_EFPTR_CLOCK_ERROR = 209,
  OPOS_EFPTR_FISCAL_MEMORY_FULL = 210,
  OPOS_EFPTR_FISCAL_MEMORY_DISCONNECTED = 211,
  OPOS_EFPTR_FISCAL_TOTALS_ERROR = 212,
  OPOS_EFPTR_BAD_ITEM_QUANTITY = 213,
  OPOS_EFPTR_BAD_ITEM_AMOUNT = 214,
  OPOS_EFPTR_BAD_ITEM_DESCRIPTION = 215,
  OPOS_EFPTR_RECEIPT_TOTAL_OVERFLOW = 216,
  OPOS_EFPTR_BAD_VAT = 217,
  OPOS_EFPTR_BAD_PRICE = 218,
  OPOS_EFPTR_BAD_DATE = 219,
  OPOS_EFPTR_NEGATIVE_TOTAL = 220,
  OPOS_EFPTR_WORD_NOT_ALLOWED = 221,
  OPOS_EFPTR_BAD_LENGTH = 222,
  OPOS_EFPTR_MISSING_SET_CURRENCY = 223,
  OPOS_EFPTR_DAY_END_REQUIRED = 224,
};

// PrinterState values.
enum : int32_t {
  FPTR_PS_MONITOR = 1,
  FPTR_PS_FISCAL_RECEIPT = 2,
  FPTR_PS_FISCAL_RECEIPT_TOTAL = 3,
  FPTR_PS_FISCAL_RECEIPT_ENDING = 4,
  FPTR_PS_NONFISCAL = 9,
};

// GetData items.
enum : int32_t {
  FPTR_GD_CURRENT_TOTAL = 1,
  FPTR_GD_DAILY_TOTAL = 2,
  FPTR_GD_RECEIPT_NUMBER = 3,
  FPTR_GD_Z_REPORT = 7,
  FPTR_GD_GRAND_TOTAL = 8,
  FPTR_GD_PRINTER_ID = 9,
  FPTR_GD_FIRMWARE = 10,
};

inline constexpr int32_t FPTR_S_RECEIPT = 2;  // the receipt station

// Adjustment types of PrintRecItemAdjustment and PrintRecSubtotalAdjustment.
enum : int32_t {
  FPTR_AT_AMOUNT_DISCOUNT = 1,
  FPTR_AT_AMOUNT_SURCHARGE = 2,
  FPTR_AT_PERCENTAGE_DISCOUNT = 3,
  FPTR_AT_PERCENTAGE_SURCHARGE = 4,
};

// Every method answers its result code, OPOS_SUCCESS (0) for success; after a
// failure ResultCodeExtended and ErrorString tell more. A property write that
// the device refuses leaves the property as it was. A control may also raise
// an Error for a failure of its own (as an automation layer does).
class IOPOSFiscalPrinter {
 public:
  virtual ~IOPOSFiscalPrinter() = default;

  virtual int32_t Open(const std::string& DeviceName) = 0;
  virtual int32_t ClaimDevice(int32_t Timeout) = 0;
  virtual int32_t ReleaseDevice() = 0;
  virtual int32_t Close() = 0;

  virtual int32_t BeginFiscalReceipt(bool PrintHeader) = 0;
  virtual int32_t EndFiscalReceipt(bool PrintHeader) = 0;
  virtual int32_t BeginNonFiscal() = 0;
  virtual int32_t EndNonFiscal() = 0;
  virtual int32_t BeginTraining() = 0;
  virtual int32_t EndTraining() = 0;
  virtual int32_t ResetPrinter() = 0;
  virtual int32_t PrintXReport() = 0;
  virtual int32_t PrintZReport() = 0;
  virtual int32_t PrintNormal(int32_t Station, const std::string& Data) = 0;
  virtual int32_t PrintRecMessage(const std::string& Message) = 0;
  virtual int32_t PrintRecTaxID(const std::string& TaxID) = 0;
  // Quantity in thousandths.
  virtual int32_t PrintRecItem(const std::string& Description, Currency Price, int32_t Quantity,
                               int32_t VatInfo, Currency UnitPrice, const std::string& UnitName) = 0;
  virtual int32_t PrintRecItemVoid(const std::string& Description, Currency Price, int32_t Quantity,
                                   int32_t VatInfo, Currency UnitPrice, const std::string& UnitName) = 0;
  virtual int32_t PrintRecRefund(const std::string& Description, Currency Amount, int32_t VatInfo) = 0;
  virtual int32_t PrintRecItemAdjustment(int32_t AdjustmentType, const std::string& Description,
                                         Currency Amount, int32_t VatInfo) = 0;
  virtual int32_t PrintRecSubtotal(Currency Amount) = 0;
  virtual int32_t PrintRecSubtotalAdjustment(int32_t AdjustmentType, const std::string& Description,
                                             Currency Amount) = 0;
  virtual int32_t PrintRecTotal(Currency Total, Currency Payment, const std::string& Description) = 0;
  virtual int32_t PrintRecNotPaid(const std::string& Description, Currency Amount) = 0;
  // Date as "ddmmyyyyhhnn".
  virtual int32_t SetDate(const std::string& Date) = 0;
  virtual int32_t GetDate(std::string& Date) = 0;
  virtual int32_t GetData(int32_t DataItem, int32_t& OptArgs, std::string& Data) = 0;
  virtual int32_t DirectIO(int32_t Command, int32_t& pData, std::string& pString) = 0;

  virtual bool DeviceEnabled() = 0;
  virtual void SetDeviceEnabled(bool aValue) = 0;
  virtual int32_t ResultCode() = 0;
  virtual int32_t ResultCodeExtended() = 0;
  virtual std::string ErrorString() = 0;
  virtual bool CoverOpen() = 0;
  virtual bool DayOpened() = 0;
  virtual bool RecEmpty() = 0;
  virtual bool RecNearEnd() = 0;
  virtual bool TrainingModeActive() = 0;
  virtual int32_t PrinterState() = 0;
  virtual int32_t RemainingFiscalMemory() = 0;
  virtual std::string AdditionalTrailer() = 0;
  virtual void SetAdditionalTrailer(const std::string& aValue) = 0;
  virtual void SetPreLine(const std::string& aValue) = 0;
  virtual void SetFiscalReceiptType(int32_t aValue) = 0;
};

using OPOSControlFactory = std::function<std::unique_ptr<IOPOSFiscalPrinter>()>;

// The control for aDeviceName: the one registered for that name (letter case
// ignored); else, where there is automation (Windows), the OPOS control
// installed on the machine (opos_automation.h), which fails when there is
// none; else a simulated fiscal printer. The simulator serves the device
// names it knows (kOPOSFiscalPrinterSim::kDefaultDeviceName and those
// registered for it) and answers Open of any other with OPOS_E_NOEXIST, as a
// real control does for a device name that is not configured.
std::unique_ptr<IOPOSFiscalPrinter> CreateOPOSFiscalPrinter(const std::string& aDeviceName);

// Registers the control of a device name for every later handler; an empty
// factory removes the entry.
void RegisterOPOSControl(const std::string& aDeviceName, OPOSControlFactory aFactory);

}  // namespace korvane
