// The OPOS fiscal printer transport: opens, claims and enables the device
// named in the connection settings and offers the fiscal printer operations,
// each logged before the call and checked against the control's result code
// after it. The stream operations are refused.
#pragma once

#include <memory>

#include "base/shared_types.h"
#include "base/currency.h"
#include "transport/io_handler.h"
#include "transport/opos_control.h"

namespace korvane {

class kIOHandler_OPOS : public kIOHandler {
 public:
  // The control is made for aConnection.DeviceName() (CreateOPOSFiscalPrinter).
  kIOHandler_OPOS(const kConnection& aConnection, const std::string& aDirectory,
                  const std::string& aFileName);
  ~kIOHandler_OPOS() override;  // disconnects first when connected

  bool Connected() override { return fConnected; }
  bool Connect() override;
  bool Disconnect() override;
  void ClearBuffers() override {}
  bool Write(const std::string& aMessage) override;                      // fails: "Write Unsupported"
  std::string ReadUpTo(std::vector<uint8_t> aChars) override;            // fails: "ReadUpto Unsupported"
  std::string ReadChars(int32_t aCharsNum) override;                     // fails: "ReadChars Unsupported"
  std::string ReadAll() override;                                        // fails: "ReadAll Unsupported"
  std::string DecodeError(int32_t aErrorCode) override;                  // empty
  bool InputBufferContainsData() override;                               // fails
  void SetParameter(const std::string&, const std::string&) override {}  // nothing

  // Fiscal operations: true when the control answered success; otherwise the
  // error slot holds the code and its text.
  bool BeginFiscalReceipt();
  bool EndFiscalReceipt();
  bool BeginNonFiscal();
  bool EndNonFiscal();
  bool BeginTraining();
  bool EndTraining();
  bool ResetPrinter();
  bool PrintXReport();
  bool PrintZReport();
  bool PrintNormal(const std::string& aText);
  bool PrintRecMessage(const std::string& aText);
  bool PrintRecTaxid(const std::string& aTaxId);
  // The quantity goes to the control in thousandths, cut toward zero; fails
  // with "Quantity out of range" when that does not fit 32 bits.
  bool PrintRecItem(const std::string& aCode, const std::string& aDescription, Currency aQuantity,
                    const std::string& aUOM, int32_t aVatCode, Currency aPrice, Currency aAmount);
  bool PrintRecItemVoid(const std::string& aCode, const std::string& aDescription, Currency aQuantity,
                        const std::string& aUOM, int32_t aVatCode, Currency aPrice, Currency aAmount);
  bool PrintRecRefund(const std::string& aCode, const std::string& aDescription, Currency aQuantity,
                      const std::string& aUOM, int32_t aVatCode, Currency aPrice, Currency aAmount);
  bool PrintRecItemAdjustment(int32_t aAdjType, const std::string& aDescription, Currency aAmount,
                              int32_t aVatCode);
  bool PrintRecSubtotal(Currency aAmount);
  bool PrintRecSubtotalAdjustment(int32_t aAdjType, const std::string& aDescription, Currency aAmount);
  bool PrintRecTotal(Currency aTotalAmount, Currency aPaymentAmount, const std::string& aDescription);
  bool PrintRecNotPaid(Currency aAmount, const std::string& aDescription);
  bool SetDate(TDateTime aDateTime);
  // On failure aDate is the current local date-time. Fails with the
  // conversion error when the answer is not twelve digits of a date.
  bool GetDate(TDateTime& aDate);
  bool GetData(int32_t aDataItem, int32_t aOptArgs, std::string& aOutput);
  bool DirectIO(int32_t aCommand, int32_t& aData, std::string& aString);

  // Property operations: each logs and answers true.
  bool SetAdditionalTrailerLine(const std::string& aDescription, bool aClear);
  bool SetPreLine(const std::string& aDescription);
  bool SetFiscalReceiptType(int32_t aReceiptType);
  bool GetCoverOpen(bool& aResult);
  bool GetDayOpened(bool& aResult);
  bool GetRecEmpty(bool& aResult);
  bool GetRecNearEnd(bool& aResult);
  bool GetTrainingModeActive(bool& aResult);
  bool PrinterState(int32_t& aPrinterState);
  bool RemainingFiscalMemory(int32_t& aRemainingFiscalMemory);

  const std::string& DeviceName() const { return fDeviceName; }
  // While not connected, the control is chosen anew for the new name.
  void SetDeviceName(const std::string& aValue);
  IOPOSFiscalPrinter& Control() { return *fOPOS; }

  // The text of a result code: "[code] NAME", with " [extended] NAME" when
  // aExtended is not 0, then " - " and aErrorString; names outside the
  // standard's ranges read UNKNOWN.
  static std::string ResultText(int32_t aCode, int32_t aExtended, const std::string& aErrorString);
  // The log forms of a text ('...' with inner quotes doubled) and an amount.
  static std::string Q(const std::string& aText);
  static std::string A(Currency aAmount);

 private:
  bool CheckResult(int32_t aCode);
  void Log(const std::string& aLine) { Debug(let_info, aLine); }

  std::unique_ptr<IOPOSFiscalPrinter> fOPOS;
  std::string fDeviceName;
  bool fConnected = false;
};

}  // namespace korvane
