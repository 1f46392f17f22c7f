#include "transport/opos_handler.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

#include "platform/error.h"
#include "support/test_support.h"
#include "transport/opos_simulator.h"
#include "transport/transport_table.h"
#include "transport_opos/fake_control/fake_control.h"

namespace korvane {
namespace {

using testing::ErrorOf;

using ::testing::ElementsAre;
using testing::Err;
using testing::Info;
using testing::LogLine;
using testing::TempDir;

Currency Amount(const char* aText) { return Currency::Parse(aText); }

// An OPOS handler on the simulated printer, with a log read back once it is
// gone. Under Windows the printer is behind the registered control (the
// tests' own, reached by automation), unless a control was registered for
// the device name in the library.
class OposHandler {
 public:
  explicit OposHandler(const std::string& aDevice = kOPOSFiscalPrinterSim::kDefaultDeviceName) {
    kConnection connection;
    connection.SetConnectionType(tkConnectionType::OPOS);
    connection.SetDeviceName(aDevice);
    fHandler = std::make_unique<kIOHandler_OPOS>(connection, fDir.Path(), "Opos_test");
    fLogPath = fHandler->GetLogFileName();
#ifdef KORVANE_FAKE_OPOS_CONTROL
    if (dynamic_cast<kOPOSFiscalPrinterSim*>(&fHandler->Control()) == nullptr)
      fSim = LastFakeOposInstance()->simulator;
#endif
  }
  kIOHandler_OPOS* operator->() { return fHandler.get(); }
  kOPOSFiscalPrinterSim& Sim() {
    return fSim != nullptr ? *fSim : dynamic_cast<kOPOSFiscalPrinterSim&>(fHandler->Control());
  }

  std::vector<LogLine> Log() {
    fHandler.reset();
    return testing::ReadLog(fLogPath);
  }
  // Everything after the banner, STOP left out.
  std::vector<LogLine> AfterBanner() { return testing::AfterBanner(Log()); }

 private:
  TempDir fDir;
  std::unique_ptr<kIOHandler_OPOS> fHandler;
  std::string fLogPath;
  kOPOSFiscalPrinterSim* fSim = nullptr;  // behind the registered control
};

// The connect lines of the simulated printer.
const std::vector<LogLine> kConnectLines = {
    Info("DeviceName=SimulatedFiscalPrinter"), Info("[Connect]->Open(SimulatedFiscalPrinter)"),
    Info("[Connect]->ClaimDevice(1000)"), Info("[Connect]->DeviceEnabled:=true")};
const std::vector<LogLine> kDisconnectLines = {Info("[Disconnect]->DeviceEnabled:=false"),
                                               Info("[Disconnect]->ReleaseDevice"),
                                               Info("[Disconnect]->Close")};

// The lines between the connect lines and the disconnect lines of the
// destruction.
std::vector<LogLine> Between(const std::vector<LogLine>& aLog) {
  EXPECT_GE(aLog.size(), kConnectLines.size() + kDisconnectLines.size());
  return std::vector<LogLine>(aLog.begin() + static_cast<long>(kConnectLines.size()),
                              aLog.end() - static_cast<long>(kDisconnectLines.size()));
}

// ---- texts --------------------------------------------------------------------

TEST(OposTransport, QuotesDoubleInnerQuotesAndAmountsArePlainDecimals) {
  EXPECT_EQ(kIOHandler_OPOS::Q("Pane d'oro"), "'Pane d''oro'");
  EXPECT_EQ(kIOHandler_OPOS::Q(""), "''");
  EXPECT_EQ(kIOHandler_OPOS::Q("''"), "''''''");
  const std::pair<Currency, std::string> amounts[] = {
      {Amount("12.5"), "12.5"},     {Amount("3"), "3"},
      {Amount("-0.25"), "-0.25"},   {Amount("0"), "0"},
      {Amount("0.0001"), "0.0001"}, {Amount("-1234.5678"), "-1234.5678"},
      {Amount("100.10"), "100.1"},  {Currency::FromRaw(INT64_MIN), "-922337203685477.5808"}};
  for (const auto& [amount, text] : amounts) EXPECT_EQ(kIOHandler_OPOS::A(amount), text);
}

TEST(OposTransport, ResultTextNamesCodesAndExtendedCodes) {
  struct Case {
    int32_t code, extended;
    std::string text;
  };
  const Case cases[] = {
      {114, 201, "[114] OPOS_E_EXTENDED [201] OPOS_EFPTR_COVER_OPEN - err"},
      {113, 0, "[113] OPOS_E_BUSY - err"},
      {101, 0, "[101] OPOS_E_CLOSED - err"},
      {115, 0, "[115] OPOS_E_DEPRECATED - err"},
      {109, 0, "[109] OPOS_E_NOEXIST - err"},
      {999, 0, "[999] UNKNOWN - err"},
      {100, 0, "[100] UNKNOWN - err"},
      {116, 0, "[116] UNKNOWN - err"},
      {114, 250, "[114] OPOS_E_EXTENDED [250] UNKNOWN - err"},
      {114, 224, "[114] OPOS_E_EXTENDED [224] OPOS_EFPTR_DAY_END_REQUIRED - err"},
      {114, 211, "[114] OPOS_E_EXTENDED [211] OPOS_EFPTR_FISCAL_MEMORY_DISCONNECTED - err"},
      {114, 200, "[114] OPOS_E_EXTENDED [200] UNKNOWN - err"},
  };
  for (const Case& c : cases) EXPECT_EQ(kIOHandler_OPOS::ResultText(c.code, c.extended, "err"), c.text);
}

// ---- connect and disconnect --------------------------------------------------------

TEST(OposTransport, ConnectOpensClaimsEnablesAndDisconnectUndoes) {
  OposHandler handler;
  EXPECT_FALSE(handler->Connected());
  EXPECT_TRUE(handler->Connect());
  EXPECT_TRUE(handler->Connected());
  EXPECT_TRUE(handler.Sim().IsOpen());
  EXPECT_TRUE(handler.Sim().Claimed());
  EXPECT_TRUE(handler.Sim().DeviceEnabled());
  EXPECT_TRUE(handler->Disconnect());
  EXPECT_FALSE(handler->Connected());
  EXPECT_FALSE(handler.Sim().IsOpen());
  std::vector<LogLine> expected = kConnectLines;
  expected.insert(expected.end(), kDisconnectLines.begin(), kDisconnectLines.end());
  EXPECT_EQ(handler.AfterBanner(), expected);
}

TEST(OposTransport, UnknownDeviceFailsAtOpenButCountsAsConnected) {
  OposHandler handler("NoSuchPrinter");
  EXPECT_FALSE(handler->Connect());
  EXPECT_TRUE(handler->Connected());
  EXPECT_TRUE(handler->ErrorFound());
  EXPECT_EQ(handler->ErrorCode(), 109);
  EXPECT_EQ(handler->ErrorMessage(), "[109] OPOS_E_NOEXIST - Device NoSuchPrinter does not exist");
  // The destruction runs the release steps, which fail on the closed device.
  EXPECT_THAT(handler.AfterBanner(),
              ElementsAre(Info("DeviceName=NoSuchPrinter"), Info("[Connect]->Open(NoSuchPrinter)"),
                          Err("[109] OPOS_E_NOEXIST - Device NoSuchPrinter does not exist"),
                          Info("[Disconnect]->DeviceEnabled:=false"), Info("[Disconnect]->ReleaseDevice"),
                          Err("[101] OPOS_E_CLOSED - Device is closed")));
}

TEST(OposTransport, DeviceClaimedByAnotherHandlerCannotBeClaimed) {
  OposHandler first;
  ASSERT_TRUE(first->Connect());
  OposHandler second;
  second->SetConnectTimeout(250);
  EXPECT_FALSE(second->Connect());
  EXPECT_EQ(second->ErrorCode(), 112);
  EXPECT_THAT(
      second.AfterBanner(),
      ElementsAre(Info("DeviceName=SimulatedFiscalPrinter"), Info("[Connect]->Open(SimulatedFiscalPrinter)"),
                  Info("[Connect]->ClaimDevice(250)"),
                  Err("[112] OPOS_E_TIMEOUT - Device is claimed by another application"),
                  Info("[Disconnect]->DeviceEnabled:=false"), Info("[Disconnect]->ReleaseDevice"),
                  Err("[103] OPOS_E_NOTCLAIMED - Device is not claimed")));
}

TEST(OposTransport, ConnectAgainDisconnectsFirst) {
  OposHandler handler;
  ASSERT_TRUE(handler->Connect());
  ASSERT_TRUE(handler->Connect());
  const std::vector<LogLine> log = handler.AfterBanner();
  // After the second banner: the disconnect, then the connect lines again,
  // then the disconnect of the destruction.
  ASSERT_EQ(log.size(), 1u + 3u + 3u + 3u);
  EXPECT_EQ(log[1], Info("[Disconnect]->DeviceEnabled:=false"));
  EXPECT_EQ(log[3], Info("[Disconnect]->Close"));
  EXPECT_EQ(log[4], Info("[Connect]->Open(SimulatedFiscalPrinter)"));
}

TEST(OposTransport, ErrorsOfTheControlAreCaughtInConnectAndDisconnect) {
  OposHandler handler;
  handler.Sim().SimulateLinkFailure("Automation error");
  EXPECT_FALSE(handler->Connect());
  EXPECT_FALSE(handler->Connected());
  ASSERT_TRUE(handler->Connect());
  handler.Sim().SimulateLinkFailure("Link lost");
  EXPECT_FALSE(handler->Disconnect());
  EXPECT_TRUE(handler->Connected());
  const std::vector<LogLine> log = handler.Log();
  EXPECT_NE(std::find(log.begin(), log.end(), Err("[Connect]:Automation error")), log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), Err("[Disconnect]:Link lost")), log.end());
}

// ---- a receipt ----------------------------------------------------------------------------

TEST(OposTransport, FiscalReceiptIsLoggedAndReachesThePrinter) {
  OposHandler handler;
  ASSERT_TRUE(handler->Connect());
  EXPECT_TRUE(handler->SetPreLine("Table 4"));
  EXPECT_TRUE(handler->BeginFiscalReceipt());
  EXPECT_TRUE(handler->PrintRecTaxid("IT0123"));
  EXPECT_TRUE(handler->PrintRecItem("A1", "Pane d'oro", Amount("2.5"), "pz", 1, Amount("4"), Amount("10")));
  EXPECT_TRUE(handler->PrintRecItem("B2", "Latte", Amount("1"), "l", 2, Amount("1.25"), Amount("1.25")));
  EXPECT_TRUE(handler->PrintRecItemVoid("B2", "Latte", Amount("1"), "l", 2, Amount("1.25"), Amount("1.25")));
  EXPECT_TRUE(handler->PrintRecItemAdjustment(1, "Sconto", Amount("0.5"), 1));
  EXPECT_TRUE(handler->PrintRecRefund("C3", "Reso", Amount("1"), "pz", 1, Amount("0.5"), Amount("0.5")));
  EXPECT_TRUE(handler->PrintRecSubtotal(Amount("9")));
  EXPECT_TRUE(handler->PrintRecSubtotalAdjustment(2, "Servizio", Amount("1")));
  EXPECT_TRUE(handler->PrintRecMessage("Grazie"));
  EXPECT_TRUE(handler->PrintRecTotal(Amount("10"), Amount("5"), "Contanti"));
  EXPECT_TRUE(handler->PrintRecNotPaid(Amount("5"), "Buono"));
  EXPECT_TRUE(handler->EndFiscalReceipt());
  EXPECT_FALSE(handler->ErrorFound());

  kOPOSFiscalPrinterSim& sim = handler.Sim();
  EXPECT_EQ(sim.DailyTotal(), Amount("10"));
  EXPECT_EQ(sim.ReceiptNumber(), 1);
  EXPECT_TRUE(sim.DayOpened());
  ASSERT_GE(sim.Journal().size(), 4u);
  EXPECT_EQ(sim.Journal()[1], "Table 4");
  EXPECT_EQ(sim.Journal()[3], "Pane d'oro 2500 pz x 4.0 = 10.0");  // quantity in thousandths

  std::string output;
  EXPECT_TRUE(handler->GetData(FPTR_GD_DAILY_TOTAL, 0, output));
  EXPECT_EQ(output, "100000");

  EXPECT_THAT(Between(handler.AfterBanner()),
              ElementsAre(Info("[SetPreLine]->PreLine='Table 4'"),
                          Info("[BeginFiscalReceipt]->BeginFiscalReceipt(true)"),
                          Info("[PrintRecTaxid]->PrintRecTaxid('IT0123')"),
                          Info("[PrintRecItem]->PrintRecItem('Pane d''oro',10,2,1,4,'pz')"),
                          Info("[PrintRecItem]->PrintRecItem('Latte',1.25,1,2,1.25,'l')"),
                          Info("[PrintRecItemVoid]->PrintRecItemVoid('Latte',1.25,2,1.25,'l')"),
                          Info("[PrintRecItemAdjustment]->PrintRecItemAdjustment(1,'Sconto',0.5,1)"),
                          Info("[PrintRecRefund]->PrintRecRefund('Reso',0.5,1)"),
                          Info("[PrintRecSubtotal]->PrintRecSubTotal(9)"),
                          Info("[PrintRecSubtotalAdjustment]->PrintRecSubtotalAdjustment(2,'Servizio',1)"),
                          Info("[PrintRecMessage]->PrintRecMessage('Grazie')"),
                          Info("[PrintRecTotal]->PrintRecTotal(10,5,'Contanti')"),
                          Info("[PrintRecNotPaid]->PrintRecNotPaid('Buono',5)"),
                          Info("[EndFiscalReceipt]->EndFiscalReceipt(false)"),
                          Info("[GetData]->GetData(2,0,aOutput)"), Info("[GetData]->aOutput=100000")));
}

TEST(OposTransport, QuantityIsPassedInThousandthsCutTowardZero) {
  OposHandler handler;
  ASSERT_TRUE(handler->Connect());
  ASSERT_TRUE(handler->BeginFiscalReceipt());
  EXPECT_TRUE(handler->PrintRecItem("", "a", Amount("1.5"), "", 1, Amount("1"), Amount("1")));
  EXPECT_TRUE(handler->PrintRecItem("", "b", Amount("0.0015"), "", 1, Amount("1"), Amount("1")));
  EXPECT_FALSE(handler->PrintRecItem("", "c", Amount("0.0009"), "", 1, Amount("1"), Amount("1")));
  EXPECT_EQ(handler->ErrorMessage(),
            "[114] OPOS_E_EXTENDED [213] OPOS_EFPTR_BAD_ITEM_QUANTITY - Bad quantity");
  EXPECT_EQ(
      ErrorOf([&] { handler->PrintRecItem("", "d", Amount("3000000"), "", 1, Amount("1"), Amount("1")); }),
      "Quantity out of range");
  EXPECT_EQ(handler.Sim().Journal()[1], "a 1500  x 1.0 = 1.0");
  EXPECT_EQ(handler.Sim().Journal()[2], "b 1  x 1.0 = 1.0");
}

// ---- calls in the wrong state --------------------------------------------------------------

TEST(OposTransport, CallsInTheWrongStateFillTheErrorSlot) {
  OposHandler handler;
  struct Step {
    std::function<bool()> call;
    int32_t code;
    std::string message;
  };
  kOPOSFiscalPrinterSim* sim = &handler.Sim();
  const std::vector<Step> steps = {
      {[&] { return handler->BeginFiscalReceipt(); }, 101, "[101] OPOS_E_CLOSED - Device is closed"},
      {[&] { return handler->Connect(); }, 0, ""},
      {[&] { return handler->PrintRecItem("", "x", Amount("1"), "", 1, Amount("1"), Amount("1")); }, 114,
       "[114] OPOS_E_EXTENDED [207] OPOS_EFPTR_WRONG_STATE - Printer is in the wrong state"},
      {[&] { return handler->EndNonFiscal(); }, 114,
       "[114] OPOS_E_EXTENDED [207] OPOS_EFPTR_WRONG_STATE - Printer is in the wrong state"},
      {[&] {
         sim->SimulateCoverOpen(true);
         return handler->BeginFiscalReceipt();
       },
       114, "[114] OPOS_E_EXTENDED [201] OPOS_EFPTR_COVER_OPEN - Cover is open"},
      {[&] {
         sim->SimulateCoverOpen(false);
         return handler->BeginFiscalReceipt();
       },
       0, ""},
      {[&] { return handler->BeginFiscalReceipt(); }, 114,
       "[114] OPOS_E_EXTENDED [207] OPOS_EFPTR_WRONG_STATE - Printer is in the wrong state"},
      {[&] { return handler->PrintRecItem("", "x", Amount("1"), "", 9, Amount("1"), Amount("1")); }, 114,
       "[114] OPOS_E_EXTENDED [217] OPOS_EFPTR_BAD_VAT - Bad VAT code"},
      {[&] { return handler->PrintRecItem("", "x", Amount("1"), "", 1, Amount("2"), Amount("2")); }, 0, ""},
      {[&] { return handler->EndFiscalReceipt(); }, 114,
       "[114] OPOS_E_EXTENDED [207] OPOS_EFPTR_WRONG_STATE - Receipt is not paid"},
      {[&] { return handler->PrintRecTotal(Amount("3"), Amount("3"), "Cash"); }, 114,
       "[114] OPOS_E_EXTENDED [212] OPOS_EFPTR_FISCAL_TOTALS_ERROR - Total does not match the receipt"},
      {[&] { return handler->PrintRecItemVoid("", "x", Amount("1"), "", 1, Amount("5"), Amount("5")); }, 114,
       "[114] OPOS_E_EXTENDED [220] OPOS_EFPTR_NEGATIVE_TOTAL - Receipt total would be negative"},
      {[&] { return handler->PrintZReport(); }, 114,
       "[114] OPOS_E_EXTENDED [207] OPOS_EFPTR_WRONG_STATE - Printer is in the wrong state"},
      {[&] { return handler->ResetPrinter(); }, 0, ""},
      {[&] { return handler->SetDate(EncodeDate(2024, 9, 17)); }, 114,
       "[114] OPOS_E_EXTENDED [224] OPOS_EFPTR_DAY_END_REQUIRED - Day end required"},
      {[&] { return handler->PrintNormal("x"); }, 114,
       "[114] OPOS_E_EXTENDED [207] OPOS_EFPTR_WRONG_STATE - Printer is in the wrong state"},
      {[&] { return handler->EndTraining(); }, 106, "[106] OPOS_E_ILLEGAL - Training mode is not active"},
      {[&] {
         sim->SimulateRecEmpty(true);
         return handler->PrintXReport();
       },
       114, "[114] OPOS_E_EXTENDED [203] OPOS_EFPTR_REC_EMPTY - Receipt paper is empty"},
  };
  for (size_t i = 0; i < steps.size(); ++i) {
    const Step& step = steps[i];
    EXPECT_EQ(step.call(), step.code == 0) << "step " << i;
    EXPECT_EQ(handler->ErrorFound(), step.code != 0) << "step " << i;
    EXPECT_EQ(handler->ErrorCode(), step.code) << "step " << i;
    EXPECT_EQ(handler->ErrorMessage(), step.message) << "step " << i;
  }
  // Each failure wrote its text as an error line.
  const std::vector<LogLine> log = handler.Log();
  for (const Step& step : steps)
    if (step.code != 0) {
      EXPECT_NE(std::find(log.begin(), log.end(), Err(step.message)), log.end());
    }
}

TEST(OposTransport, DisabledDeviceAnswersDisabled) {
  OposHandler handler;
  ASSERT_TRUE(handler->Connect());
  handler->Control().SetDeviceEnabled(false);
  EXPECT_FALSE(handler->PrintXReport());
  EXPECT_EQ(handler->ErrorMessage(), "[105] OPOS_E_DISABLED - Device is disabled");
}

// ---- non-fiscal, training, reports ------------------------------------------------------------

TEST(OposTransport, NonFiscalTrainingAndReports) {
  OposHandler handler;
  ASSERT_TRUE(handler->Connect());
  EXPECT_TRUE(handler->BeginNonFiscal());
  EXPECT_TRUE(handler->PrintNormal("It's free"));
  EXPECT_TRUE(handler->EndNonFiscal());
  EXPECT_TRUE(handler->BeginTraining());
  bool training = false;
  EXPECT_TRUE(handler->GetTrainingModeActive(training));
  EXPECT_TRUE(training);
  EXPECT_TRUE(handler->EndTraining());
  EXPECT_TRUE(handler->BeginFiscalReceipt());
  EXPECT_TRUE(handler->EndFiscalReceipt());  // nothing sold
  bool dayOpened = false;
  EXPECT_TRUE(handler->GetDayOpened(dayOpened));
  EXPECT_TRUE(dayOpened);
  EXPECT_TRUE(handler->PrintXReport());
  EXPECT_TRUE(handler->PrintZReport());
  EXPECT_TRUE(handler->GetDayOpened(dayOpened));
  EXPECT_FALSE(dayOpened);
  int32_t memory = 0;
  EXPECT_TRUE(handler->RemainingFiscalMemory(memory));
  EXPECT_EQ(memory, 999);
  EXPECT_EQ(handler.Sim().Journal().front(), "It's free");
  EXPECT_THAT(Between(handler.AfterBanner()),
              ElementsAre(Info("[BeginNonFiscal]->BeginNonFiscal"),
                          Info("[PrintNormal]->PrintNormal(2,'It''s free')"),
                          Info("[EndNonFiscal]->EndNonFiscal"), Info("[BeginTraining]->BeginTraining"),
                          Info("[GetTrainingModeActive]->TrainingModeActive(aResult)"),
                          Info("[GetTrainingModeActive]->aResult=True"), Info("[EndTraining]->EndTraining"),
                          Info("[BeginFiscalReceipt]->BeginFiscalReceipt(true)"),
                          Info("[EndFiscalReceipt]->EndFiscalReceipt(false)"),
                          Info("[GetDayOpened]->DayOpened(aResult)"), Info("[GetDayOpened]->aResult=True"),
                          Info("[PrintXReport]->PrintXReport"), Info("[PrintZReport]->PrintZReport"),
                          Info("[GetDayOpened]->DayOpened(aResult)"), Info("[GetDayOpened]->aResult=False"),
                          Info("[RemainingFiscalMemory]->RemainingFiscalMemory(aRemainingFiscalMemory)"),
                          Info("[RemainingFiscalMemory]->aRemainingFiscalMemory=999")));
}

// ---- properties -------------------------------------------------------------------------------

TEST(OposTransport, PropertyOperationsLogAndPassValues) {
  OposHandler handler;
  ASSERT_TRUE(handler->Connect());
  kOPOSFiscalPrinterSim& sim = handler.Sim();
  EXPECT_TRUE(handler->SetAdditionalTrailerLine("a", false));
  EXPECT_TRUE(handler->SetAdditionalTrailerLine("b", false));
  EXPECT_EQ(sim.AdditionalTrailer(), "a\r\nb\r\n");
  EXPECT_TRUE(handler->SetAdditionalTrailerLine("it's", true));
  EXPECT_EQ(sim.AdditionalTrailer(), "it's");
  EXPECT_TRUE(handler->SetFiscalReceiptType(5));
  EXPECT_EQ(sim.FiscalReceiptType(), 5);
  sim.SimulateCoverOpen(true);
  sim.SimulateRecNearEnd(true);
  bool value = false;
  EXPECT_TRUE(handler->GetCoverOpen(value));
  EXPECT_TRUE(value);
  EXPECT_TRUE(handler->GetRecEmpty(value));
  EXPECT_FALSE(value);
  EXPECT_TRUE(handler->GetRecNearEnd(value));
  EXPECT_TRUE(value);
  int32_t state = 0;
  EXPECT_TRUE(handler->PrinterState(state));
  EXPECT_EQ(state, FPTR_PS_MONITOR);
  EXPECT_THAT(
      Between(handler.AfterBanner()),
      ElementsAre(Info("[SetAdditionalTrailerLine]->AdditionalTrailer=+'a'"),
                  Info("[SetAdditionalTrailerLine]->AdditionalTrailer=+'b'"),
                  Info("[SetAdditionalTrailerLine]->AdditionalTrailer='it''s'"),
                  Info("[SetFiscalReceiptType]->FiscalReceiptType=5"),
                  Info("[GetCoverOpen]->CoverOpen(aResult)"), Info("[GetCoverOpen]->CoverOpen=True"),
                  Info("[GetRecEmpty]->RecEmpty(aResult)"), Info("[GetRecEmpty]->aResult=False"),
                  Info("[GetRecNearEmpty]->RecNearEmpty(aResult)"), Info("[GetRecNearEmpty]->aResult=True"),
                  Info("[PrinterState]->PrinterState(aPrinterState)"),
                  Info("[PrinterState]->aPrinterState=1")));
}

// ---- date, data, vendor commands ----------------------------------------------------------------

TEST(OposTransport, SetDateAndGetDateUseTwelveDigits) {
  OposHandler handler;
  ASSERT_TRUE(handler->Connect());
  EXPECT_TRUE(handler->SetDate(EncodeDate(2024, 9, 17) + EncodeTime(14, 5, 33, 0)));
  TDateTime date = 0;
  EXPECT_TRUE(handler->GetDate(date));
  const TDateTimeParts parts = DecodeDateTime(date);
  EXPECT_EQ(parts.year, 2024);
  EXPECT_EQ(parts.month, 9);
  EXPECT_EQ(parts.day, 17);
  EXPECT_EQ(parts.hour, 14);
  EXPECT_EQ(parts.second, 0);
  const std::vector<LogLine> between = Between(handler.AfterBanner());
  ASSERT_EQ(between.size(), 3u);
  EXPECT_EQ(between[0], Info("[SetDate]->SetDate('170920241405')"));
  EXPECT_EQ(between[1], Info("[GetDate]->GetDate"));
  EXPECT_THAT(between[2].message, ::testing::StartsWith("[GetDate]->aDate=1709202414"));
}

// A printer whose clock answers what it is told to.
class FixedClockPrinter : public kOPOSFiscalPrinterSim {
 public:
  explicit FixedClockPrinter(std::string aAnswer) : kOPOSFiscalPrinterSim({"FixedClock"}), fAnswer(aAnswer) {}
  int32_t GetDate(std::string& Date) override {
    const int32_t code = kOPOSFiscalPrinterSim::GetDate(Date);
    if (code == 0) Date = fAnswer;
    return code;
  }

 private:
  std::string fAnswer;
};

TEST(OposTransport, GetDateReadsTheAnswerByPosition) {
  std::string answer;
  RegisterOPOSControl("FixedClock", [&] { return std::make_unique<FixedClockPrinter>(answer); });
  struct Case {
    std::string answer;
    std::string error;
  };
  for (const Case& c : {Case{"170920241405", ""}, Case{"1709202414", "'' is not a valid integer value"},
                        Case{"1709202414ab", "'ab' is not a valid integer value"},
                        Case{"310220241405", "Invalid argument to date encode"},
                        Case{"", "'' is not a valid integer value"}}) {
    answer = c.answer;
    OposHandler handler("FixedClock");
    ASSERT_TRUE(handler->Connect());
    TDateTime date = 0;
    if (c.error.empty()) {
      EXPECT_TRUE(handler->GetDate(date));
      EXPECT_DOUBLE_EQ(date, EncodeDate(2024, 9, 17) + EncodeTime(14, 5, 0, 0));
    } else {
      EXPECT_EQ(ErrorOf([&] { handler->GetDate(date); }), c.error) << c.answer;
    }
  }
  RegisterOPOSControl("FixedClock", nullptr);
}

TEST(OposTransport, FailedGetDateGivesNowAndFailedGetDataGivesEmpty) {
  OposHandler handler;
  TDateTime date = 0;
  const TDateTime before = NowDateTime();
  EXPECT_FALSE(handler->GetDate(date));
  EXPECT_GE(date, before);
  EXPECT_EQ(handler->ErrorCode(), 101);
  ASSERT_TRUE(handler->Connect());
  std::string output = "old";
  EXPECT_FALSE(handler->GetData(999, 3, output));
  EXPECT_EQ(output, "");
  EXPECT_EQ(handler->ErrorMessage(), "[106] OPOS_E_ILLEGAL - Data item not supported");
  EXPECT_TRUE(handler->GetData(FPTR_GD_PRINTER_ID, 0, output));
  EXPECT_EQ(output, kOPOSFiscalPrinterSim::kPrinterId);
  EXPECT_FALSE(handler->ErrorFound());
}

TEST(OposTransport, DirectIOLogsItsOutputEvenWhenItFails) {
  OposHandler handler;
  ASSERT_TRUE(handler->Connect());
  int32_t data = 3;
  std::string text = "x'y";
  EXPECT_FALSE(handler->DirectIO(7, data, text));
  EXPECT_EQ(handler->ErrorCode(), 106);
  text = "abc\xE2\x82\xAC";
  EXPECT_TRUE(handler->DirectIO(1, data, text));
  EXPECT_EQ(data, 4);
  EXPECT_THAT(Between(handler.AfterBanner()),
              ElementsAre(Info("[DirectIO]->DirectIO(7,3,'x''y')"),
                          Err("[106] OPOS_E_ILLEGAL - Command not supported"),
                          Info("[DirectIO]->Output(Data:=3, Obj:='x''y')"),
                          Info("[DirectIO]->DirectIO(1,3,'abc\xE2\x82\xAC')"),
                          Info("[DirectIO]->Output(Data:=4, Obj:='abc\xE2\x82\xAC')")));
}

// ---- the rest of the interface -----------------------------------------------------------------

TEST(OposTransport, StreamOperationsAreRefusedWithoutLogging) {
  OposHandler handler;
  EXPECT_EQ(ErrorOf([&] { handler->Write("x"); }), "Write Unsupported");
  EXPECT_EQ(ErrorOf([&] { handler->ReadUpTo({13}); }), "ReadUpto Unsupported");
  EXPECT_EQ(ErrorOf([&] { handler->ReadChars(1); }), "ReadChars Unsupported");
  EXPECT_EQ(ErrorOf([&] { handler->ReadAll(); }), "ReadAll Unsupported");
  EXPECT_EQ(ErrorOf([&] { handler->InputBufferContainsData(); }), "InputBufferContainsData Unsupported");
  handler->ClearBuffers();
  handler->SetParameter("a", "b");
  EXPECT_EQ(handler->DecodeError(101), "");
  EXPECT_THAT(handler.Log(), ElementsAre(Info(testing::kStart), Info(testing::kStop)));
}

TEST(OposTransport, TransportTableMakesTheOposHandler) {
  kConnection connection;  // a connection never filled in is an OPOS one
  std::unique_ptr<kIOHandler> handler = TransportTable::Create(connection, "", "");
  EXPECT_EQ(handler->ClassName(), "kIOHandler_OPOS");
  EXPECT_FALSE(handler->Connect());  // no device name
}

TEST(OposTransport, DeviceNameChosenBeforeConnectPicksTheControl) {
  OposHandler handler("NoSuchPrinter");
  handler->SetDeviceName(kOPOSFiscalPrinterSim::kDefaultDeviceName);
  EXPECT_TRUE(handler->Connect());
}

}  // namespace
}  // namespace korvane
