#include "transport/opos_automation.h"

#include <algorithm>
#include <climits>
#include <vector>

#include "platform/automation.h"
#include "platform/error.h"

namespace korvane {
namespace {

using platform::AutomationValue;

const char* const kOwnBits = sizeof(void*) == 8 ? "64-bit" : "32-bit";
const char* const kOtherBits = sizeof(void*) == 8 ? "32-bit" : "64-bit";

AutomationValue Int(int32_t aValue) { return AutomationValue::Int(aValue); }
AutomationValue Bool(bool aValue) { return AutomationValue::Bool(aValue); }
AutomationValue Amount(Currency aValue) { return AutomationValue::Currency(aValue.Raw()); }
AutomationValue Text(const std::string& aValue) { return AutomationValue::Text(aValue); }

// The control's error when it cannot be created, in the integrator's words.
[[noreturn]] void ThrowCreationError(const platform::OsError& aError) {
  const int code = aError.Code();
  const std::string hresult = platform::HresultText(code);
  if (code == platform::kHresultClassNotRegistered &&
      platform::ClassRegisteredForOtherBitnessOnly(kOPOSFiscalPrinterClassId))
    throw platform::OsError(code, std::string("OPOS fiscal printer control is registered for ") + kOtherBits +
                                      " programs only, and this library is " + kOwnBits + " (HRESULT " +
                                      hresult + ")");
  if (code == platform::kHresultClassNotRegistered)
    throw platform::OsError(code, "OPOS fiscal printer control is not installed (HRESULT " + hresult + ")");
  if (code == platform::kHresultServerExecFailure)
    throw platform::OsError(code, "OPOS fiscal printer control is not installed for " +
                                      std::string(kOwnBits) + " programs: it may be registered for " +
                                      kOtherBits + " programs only (HRESULT " + hresult + ")");
  throw platform::OsError(code,
                          std::string("OPOS fiscal printer control is not installed: ") + aError.what());
}

class kOPOSAutomationControl final : public IOPOSFiscalPrinter {
 public:
  kOPOSAutomationControl() : fObject(Create()) {}

  int32_t Open(const std::string& DeviceName) override { return Method("Open", {Text(DeviceName)}); }
  int32_t ClaimDevice(int32_t Timeout) override {
    // The claim may take its time-out, and the call its own bound on top.
    const int64_t bound = std::min<int64_t>(INT_MAX, int64_t{std::max(Timeout, 0)} + kOPOSCallMs);
    return Method("ClaimDevice", {Int(Timeout)}, static_cast<int>(bound));
  }
  int32_t ReleaseDevice() override { return Method("ReleaseDevice"); }
  int32_t Close() override { return Method("Close"); }

  int32_t BeginFiscalReceipt(bool PrintHeader) override {
    return Method("BeginFiscalReceipt", {Bool(PrintHeader)});
  }
  int32_t EndFiscalReceipt(bool PrintHeader) override {
    return Method("EndFiscalReceipt", {Bool(PrintHeader)});
  }
  int32_t BeginNonFiscal() override { return Method("BeginNonFiscal"); }
  int32_t EndNonFiscal() override { return Method("EndNonFiscal"); }
  int32_t BeginTraining() override { return Method("BeginTraining"); }
  int32_t EndTraining() override { return Method("EndTraining"); }
  int32_t ResetPrinter() override { return Method("ResetPrinter"); }
  int32_t PrintXReport() override { return Method("PrintXReport"); }
  int32_t PrintZReport() override { return Method("PrintZReport"); }
  int32_t PrintNormal(int32_t Station, const std::string& Data) override {
    return Method("PrintNormal", {Int(Station), Text(Data)});
  }
  int32_t PrintRecMessage(const std::string& Message) override {
    return Method("PrintRecMessage", {Text(Message)});
  }
  int32_t PrintRecTaxID(const std::string& TaxID) override { return Method("PrintRecTaxID", {Text(TaxID)}); }
  int32_t PrintRecItem(const std::string& Description, Currency Price, int32_t Quantity, int32_t VatInfo,
                       Currency UnitPrice, const std::string& UnitName) override {
    return Method("PrintRecItem", {Text(Description), Amount(Price), Int(Quantity), Int(VatInfo),
                                   Amount(UnitPrice), Text(UnitName)});
  }
  int32_t PrintRecItemVoid(const std::string& Description, Currency Price, int32_t Quantity, int32_t VatInfo,
                           Currency UnitPrice, const std::string& UnitName) override {
    return Method("PrintRecItemVoid", {Text(Description), Amount(Price), Int(Quantity), Int(VatInfo),
                                       Amount(UnitPrice), Text(UnitName)});
  }
  int32_t PrintRecRefund(const std::string& Description, Currency Amount_, int32_t VatInfo) override {
    return Method("PrintRecRefund", {Text(Description), Amount(Amount_), Int(VatInfo)});
  }
  int32_t PrintRecItemAdjustment(int32_t AdjustmentType, const std::string& Description, Currency Amount_,
                                 int32_t VatInfo) override {
    return Method("PrintRecItemAdjustment",
                  {Int(AdjustmentType), Text(Description), Amount(Amount_), Int(VatInfo)});
  }
  int32_t PrintRecSubtotal(Currency Amount_) override {
    return Method("PrintRecSubtotal", {Amount(Amount_)});
  }
  int32_t PrintRecSubtotalAdjustment(int32_t AdjustmentType, const std::string& Description,
                                     Currency Amount_) override {
    return Method("PrintRecSubtotalAdjustment", {Int(AdjustmentType), Text(Description), Amount(Amount_)});
  }
  int32_t PrintRecTotal(Currency Total, Currency Payment, const std::string& Description) override {
    return Method("PrintRecTotal", {Amount(Total), Amount(Payment), Text(Description)});
  }
  int32_t PrintRecNotPaid(const std::string& Description, Currency Amount_) override {
    return Method("PrintRecNotPaid", {Text(Description), Amount(Amount_)});
  }
  int32_t SetDate(const std::string& Date) override { return Method("SetDate", {Text(Date)}); }
  int32_t GetDate(std::string& Date) override {
    std::vector<AutomationValue> args{AutomationValue::Text(Date, true)};
    const int32_t code = Call("GetDate", args, kOPOSCallMs);
    Date = args[0].textValue;
    return code;
  }
  int32_t GetData(int32_t DataItem, int32_t& OptArgs, std::string& Data) override {
    std::vector<AutomationValue> args{Int(DataItem), AutomationValue::Int(OptArgs, true),
                                      AutomationValue::Text(Data, true)};
    const int32_t code = Call("GetData", args, kOPOSCallMs);
    OptArgs = args[1].intValue;
    Data = args[2].textValue;
    return code;
  }
  int32_t DirectIO(int32_t Command, int32_t& pData, std::string& pString) override {
    std::vector<AutomationValue> args{Int(Command), AutomationValue::Int(pData, true),
                                      AutomationValue::Text(pString, true)};
    const int32_t code = Call("DirectIO", args, kOPOSCallMs);
    pData = args[1].intValue;
    pString = args[2].textValue;
    return code;
  }

  bool DeviceEnabled() override { return fObject->Get("DeviceEnabled", kOPOSCallMs).AsBool("DeviceEnabled"); }
  void SetDeviceEnabled(bool aValue) override { fObject->Put("DeviceEnabled", Bool(aValue), kOPOSCallMs); }
  int32_t ResultCode() override { return GetInt("ResultCode"); }
  int32_t ResultCodeExtended() override { return GetInt("ResultCodeExtended"); }
  std::string ErrorString() override {
    return fObject->Get("ErrorString", kOPOSCallMs).AsText("ErrorString");
  }
  bool CoverOpen() override { return GetBool("CoverOpen"); }
  bool DayOpened() override { return GetBool("DayOpened"); }
  bool RecEmpty() override { return GetBool("RecEmpty"); }
  bool RecNearEnd() override { return GetBool("RecNearEnd"); }
  bool TrainingModeActive() override { return GetBool("TrainingModeActive"); }
  int32_t PrinterState() override { return GetInt("PrinterState"); }
  int32_t RemainingFiscalMemory() override { return GetInt("RemainingFiscalMemory"); }
  std::string AdditionalTrailer() override {
    return fObject->Get("AdditionalTrailer", kOPOSCallMs).AsText("AdditionalTrailer");
  }
  void SetAdditionalTrailer(const std::string& aValue) override {
    fObject->Put("AdditionalTrailer", Text(aValue), kOPOSCallMs);
  }
  void SetPreLine(const std::string& aValue) override { fObject->Put("PreLine", Text(aValue), kOPOSCallMs); }
  void SetFiscalReceiptType(int32_t aValue) override {
    fObject->Put("FiscalReceiptType", Int(aValue), kOPOSCallMs);
  }

 private:
  static std::unique_ptr<platform::AutomationObject> Create() {
    try {
      return std::make_unique<platform::AutomationObject>(kOPOSFiscalPrinterClassId, kOPOSFiscalPrinterProgId,
                                                          kOPOSCallMs);
    } catch (const platform::OsError& e) {
      ThrowCreationError(e);
    }
  }

  int32_t Call(const char* aName, std::vector<AutomationValue>& aArgs, int aMaxMs) {
    return fObject->Call(aName, aArgs, aMaxMs).AsInt(aName);
  }
  int32_t Method(const char* aName, std::vector<AutomationValue> aArgs = {}, int aMaxMs = kOPOSCallMs) {
    return Call(aName, aArgs, aMaxMs);
  }
  int32_t GetInt(const char* aName) { return fObject->Get(aName, kOPOSCallMs).AsInt(aName); }
  bool GetBool(const char* aName) { return fObject->Get(aName, kOPOSCallMs).AsBool(aName); }

  std::unique_ptr<platform::AutomationObject> fObject;
};

}  // namespace

std::unique_ptr<IOPOSFiscalPrinter> CreateOPOSAutomationControl() {
  return std::make_unique<kOPOSAutomationControl>();
}

}  // namespace korvane
