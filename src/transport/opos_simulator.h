// A simulated OPOS fiscal printer: keeps the state a real one keeps (device
// open, claimed, enabled; printer state; day opened; receipt and day totals;
// cover, paper, training mode) and answers the standard result codes when a
// call comes in the wrong state. What it prints goes to its journal.
#pragma once

#include <string>
#include <vector>

#include "base/shared_types.h"
#include "transport/opos_control.h"

namespace korvane {

class kOPOSFiscalPrinterSim : public IOPOSFiscalPrinter {
 public:
  static constexpr const char* kDefaultDeviceName = "SimulatedFiscalPrinter";
  static constexpr const char* kPrinterId = "SIM00000001";
  static constexpr const char* kFirmware = "SIM 1.0";
  static constexpr int32_t kMaxDescription = 40;  // characters of an item description
  static constexpr int32_t kVatRates = 4;         // VatInfo 1 to 4

  // Serves the device names aKnownDevices (letter case ignored).
  explicit kOPOSFiscalPrinterSim(std::vector<std::string> aKnownDevices = {kDefaultDeviceName});
  ~kOPOSFiscalPrinterSim() override;

  int32_t Open(const std::string& DeviceName) override;
  int32_t ClaimDevice(int32_t Timeout) override;
  int32_t ReleaseDevice() override;
  int32_t Close() override;
  int32_t BeginFiscalReceipt(bool PrintHeader) override;
  int32_t EndFiscalReceipt(bool PrintHeader) override;
  int32_t BeginNonFiscal() override;
  int32_t EndNonFiscal() override;
  int32_t BeginTraining() override;
  int32_t EndTraining() override;
  int32_t ResetPrinter() override;
  int32_t PrintXReport() override;
  int32_t PrintZReport() override;
  int32_t PrintNormal(int32_t Station, const std::string& Data) override;
  int32_t PrintRecMessage(const std::string& Message) override;
  int32_t PrintRecTaxID(const std::string& TaxID) override;
  int32_t PrintRecItem(const std::string& Description, Currency Price, int32_t Quantity, int32_t VatInfo,
                       Currency UnitPrice, const std::string& UnitName) override;
  int32_t PrintRecItemVoid(const std::string& Description, Currency Price, int32_t Quantity, int32_t VatInfo,
                           Currency UnitPrice, const std::string& UnitName) override;
  int32_t PrintRecRefund(const std::string& Description, Currency Amount, int32_t VatInfo) override;
  int32_t PrintRecItemAdjustment(int32_t AdjustmentType, const std::string& Description, Currency Amount,
                                 int32_t VatInfo) override;
  int32_t PrintRecSubtotal(Currency Amount) override;
  int32_t PrintRecSubtotalAdjustment(int32_t AdjustmentType, const std::string& Description,
                                     Currency Amount) override;
  int32_t PrintRecTotal(Currency Total, Currency Payment, const std::string& Description) override;
  int32_t PrintRecNotPaid(const std::string& Description, Currency Amount) override;
  int32_t SetDate(const std::string& Date) override;
  int32_t GetDate(std::string& Date) override;
  int32_t GetData(int32_t DataItem, int32_t& OptArgs, std::string& Data) override;
  // Command 1 echoes: pData becomes the length of pString, which comes back
  // unchanged. Any other command is OPOS_E_ILLEGAL.
  int32_t DirectIO(int32_t Command, int32_t& pData, std::string& pString) override;

  bool DeviceEnabled() override { return fEnabled; }
  void SetDeviceEnabled(bool aValue) override;
  int32_t ResultCode() override { return fResultCode; }
  int32_t ResultCodeExtended() override { return fResultCodeExtended; }
  std::string ErrorString() override { return fErrorString; }
  bool CoverOpen() override { return fCoverOpen; }
  bool DayOpened() override { return fDayOpened; }
  bool RecEmpty() override { return fRecEmpty; }
  bool RecNearEnd() override { return fRecNearEnd; }
  bool TrainingModeActive() override { return fTraining; }
  int32_t PrinterState() override { return fPrinterState; }
  int32_t RemainingFiscalMemory() override { return fRemainingFiscalMemory; }
  std::string AdditionalTrailer() override { return fAdditionalTrailer; }
  void SetAdditionalTrailer(const std::string& aValue) override { fAdditionalTrailer = aValue; }
  void SetPreLine(const std::string& aValue) override { fPreLine = aValue; }
  void SetFiscalReceiptType(int32_t aValue) override { fFiscalReceiptType = aValue; }

  // The hardware side, for whoever plays the device.
  void SimulateCoverOpen(bool aOpen) { fCoverOpen = aOpen; }
  void SimulateRecEmpty(bool aEmpty) { fRecEmpty = aEmpty; }
  void SimulateRecNearEnd(bool aNearEnd) { fRecNearEnd = aNearEnd; }
  void SimulateRemainingFiscalMemory(int32_t aCount) { fRemainingFiscalMemory = aCount; }
  // The next call of any method raises an Error with aMessage instead of
  // answering (a broken automation link).
  void SimulateLinkFailure(const std::string& aMessage) { fLinkFailure = aMessage; }

  // Every printed line, in order.
  const std::vector<std::string>& Journal() const { return fJournal; }
  Currency ReceiptTotal() const { return fReceiptTotal; }
  Currency Paid() const { return fPaid; }
  Currency DailyTotal() const { return fDailyTotal; }
  int32_t ReceiptNumber() const { return fReceiptNumber; }
  int32_t ZReportNumber() const { return fZReportNumber; }
  const std::string& PreLine() const { return fPreLine; }
  int32_t FiscalReceiptType() const { return fFiscalReceiptType; }
  bool Claimed() const { return fClaimed; }
  bool IsOpen() const { return fOpen; }

 private:
  int32_t Succeed();
  int32_t Fail(int32_t aCode, const std::string& aText);
  int32_t FailExtended(int32_t aExtended, const std::string& aText);
  // OPOS_SUCCESS when the device is open, claimed and enabled; else the code.
  int32_t CheckUsable();
  // CheckUsable, then the printer state among aStates, the cover closed and
  // paper in.
  int32_t CheckPrinting(std::initializer_list<int32_t> aStates);
  void CheckLink();
  void Print(const std::string& aLine);
  bool InReceipt() const;
  int32_t AddToReceipt(Currency aAmount, const std::string& aLine);

  std::vector<std::string> fKnownDevices;
  std::string fDeviceName;
  bool fOpen = false;
  bool fClaimed = false;
  bool fEnabled = false;
  int32_t fResultCode = OPOS_SUCCESS;
  int32_t fResultCodeExtended = 0;
  std::string fErrorString;
  std::string fLinkFailure;

  int32_t fPrinterState = FPTR_PS_MONITOR;
  bool fTraining = false;
  bool fDayOpened = false;
  bool fCoverOpen = false;
  bool fRecEmpty = false;
  bool fRecNearEnd = false;
  int32_t fRemainingFiscalMemory = 1000;
  std::string fAdditionalTrailer;
  std::string fPreLine;
  int32_t fFiscalReceiptType = 4;  // sales receipt
  TDateTime fClockOffset = 0;      // the printer's clock minus the system's

  Currency fReceiptTotal;
  Currency fPaid;
  Currency fLastItemPrice;
  Currency fDailyTotal;
  Currency fGrandTotal;
  int32_t fReceiptNumber = 0;
  int32_t fZReportNumber = 0;
  std::vector<std::string> fJournal;
};

}  // namespace korvane
