// The OPOS transport on Windows: the registered control (the tests' own, see
// fake_control/) is reached by automation on the library's own apartment
// thread, whatever the host's calling thread has done about COM.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <objbase.h>
#include <windows.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/automation.h"
#include "support/test_support.h"
#include "transport/opos_automation.h"
#include "transport/opos_handler.h"
#include "transport/opos_simulator.h"
#include "transport_opos/fake_control/fake_control.h"

namespace korvane {
namespace {

using ::testing::ElementsAre;
using testing::ErrorOf;
using testing::TempDir;

Currency Amount(const char* aText) { return Currency::Parse(aText); }

struct Opos {
  explicit Opos(const std::string& aDevice = kOPOSFiscalPrinterSim::kDefaultDeviceName) {
    kConnection connection;
    connection.SetConnectionType(tkConnectionType::OPOS);
    connection.SetDeviceName(aDevice);
    handler = std::make_unique<kIOHandler_OPOS>(connection, dir.Path(), "Opos_apartment");
    control = LastFakeOposInstance();
  }
  TempDir dir;
  std::unique_ptr<kIOHandler_OPOS> handler;
  FakeOposInstance* control = nullptr;
};

// A receipt of one item, paid, from opening to closing the device.
bool SellOneItem(const std::string& aDevice, FakeOposInstance*& aControl) {
  Opos opos(aDevice);
  aControl = opos.control;
  kIOHandler_OPOS& h = *opos.handler;
  return h.Connect() && h.BeginFiscalReceipt() &&
         h.PrintRecItem("A1", "Pane d'oro", Amount("2.5"), "pz", 1, Amount("4"), Amount("10")) &&
         h.PrintRecTotal(Amount("10"), Amount("10"), "Cash") && h.EndFiscalReceipt() && h.Disconnect();
}

const std::vector<std::string> kSaleCalls = {
    "Open(BSTR 'SimulatedFiscalPrinter')",
    "ClaimDevice(I4 1000)",
    "DeviceEnabled=BOOL true",
    "DeviceEnabled",
    "BeginFiscalReceipt(BOOL true)",
    "PrintRecItem(BSTR 'Pane d''oro', CY 100000, I4 2500, I4 1, CY 40000, BSTR 'pz')",
    "PrintRecTotal(CY 100000, CY 100000, BSTR 'Cash')",
    "EndFiscalReceipt(BOOL false)",
    "DeviceEnabled=BOOL false",
    "DeviceEnabled",
    "ReleaseDevice()",
    "Close()"};

// Waits at most 10 s for the thread aId to have ended.
bool ThreadEnds(unsigned long aId) {
  HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, aId);
  if (thread == nullptr) return true;  // gone already
  const bool ended = WaitForSingleObject(thread, 10000) == WAIT_OBJECT_0;
  CloseHandle(thread);
  return ended;
}

TEST(OposAutomation, HostThreadsOfEveryKindReachTheControlInTheLibrarysApartment) {
  struct Case {
    const char* name;
    bool initialise;
    DWORD model;
  };
  const Case cases[] = {{"single-threaded", true, COINIT_APARTMENTTHREADED},
                        {"multi-threaded", true, COINIT_MULTITHREADED},
                        {"without COM", false, 0}};
  for (const Case& c : cases) {
    bool sold = false;
    FakeOposInstance* control = nullptr;
    unsigned long host = 0;
    std::thread thread([&] {
      host = GetCurrentThreadId();
      const bool initialised = c.initialise && SUCCEEDED(CoInitializeEx(nullptr, c.model));
      sold = SellOneItem(kOPOSFiscalPrinterSim::kDefaultDeviceName, control);
      if (initialised) CoUninitialize();
    });
    thread.join();
    EXPECT_TRUE(sold) << c.name;
    ASSERT_NE(control, nullptr) << c.name;
    EXPECT_TRUE(control->createdInSta) << c.name;
    EXPECT_NE(control->thread, host) << c.name;
    EXPECT_EQ(control->wrongThreadCalls, 0) << c.name;
    EXPECT_EQ(control->calls, kSaleCalls) << c.name;
    EXPECT_EQ(control->nameLookups, 9) << c.name;  // each name once, however often it was called
    EXPECT_EQ(control->simulator->DailyTotal(), Amount("10")) << c.name;
    // With its last control gone, the apartment's thread ends.
    EXPECT_TRUE(ThreadEnds(control->thread)) << c.name;
  }
}

TEST(OposAutomation, TwoHostThreadsShareTheApartmentAndOneHandlerServesBoth) {
  // Two printers at once, one per host thread.
  Opos keeper;  // keeps the apartment for the whole test
  FakeOposInstance* first = nullptr;
  FakeOposInstance* second = nullptr;
  bool firstSold = false, secondSold = false;
  std::thread a([&] { firstSold = SellOneItem(kOPOSFiscalPrinterSim::kDefaultDeviceName, first); });
  std::thread b([&] { secondSold = SellOneItem("SecondFiscalPrinter", second); });
  a.join();
  b.join();
  EXPECT_TRUE(firstSold);
  EXPECT_TRUE(secondSold);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(first->thread, keeper.control->thread);
  EXPECT_EQ(second->thread, keeper.control->thread);
  EXPECT_EQ(first->wrongThreadCalls + second->wrongThreadCalls, 0);
  EXPECT_EQ(second->calls.front(), "Open(BSTR 'SecondFiscalPrinter')");

  // One handler, called from one thread and then from another.
  std::thread([&] { EXPECT_TRUE(keeper.handler->Connect()); }).join();
  std::thread([&] { EXPECT_TRUE(keeper.handler->PrintXReport()); }).join();
  EXPECT_EQ(keeper.control->wrongThreadCalls, 0);
  EXPECT_EQ(keeper.control->calls.back(), "PrintXReport()");
}

TEST(OposAutomation, AnAutomationExceptionOfTheControlIsAnErrorWithItsText) {
  Opos opos;
  ASSERT_TRUE(opos.handler->Connect());
  opos.control->simulator->SimulateLinkFailure("Paper jam in the service object");
  EXPECT_EQ(ErrorOf([&] { opos.handler->PrintXReport(); }), "Paper jam in the service object");
  EXPECT_EQ(opos.control->calls.back(), "PrintXReport() - raised 'Paper jam in the service object'");
  EXPECT_TRUE(opos.handler->PrintXReport());  // the link works again
}

TEST(OposAutomation, ByReferenceArgumentsComeBack) {
  Opos opos;
  ASSERT_TRUE(opos.handler->Connect());
  ASSERT_TRUE(opos.handler->SetDate(EncodeDate(2024, 9, 17) + EncodeTime(14, 5, 0, 0)));
  TDateTime date = 0;
  EXPECT_TRUE(opos.handler->GetDate(date));
  const TDateTimeParts parts = DecodeDateTime(date);
  EXPECT_EQ(parts.day, 17);
  EXPECT_EQ(parts.month, 9);
  EXPECT_EQ(parts.year, 2024);
  std::string output;
  EXPECT_TRUE(opos.handler->GetData(FPTR_GD_PRINTER_ID, 5, output));
  EXPECT_EQ(output, kOPOSFiscalPrinterSim::kPrinterId);
  int32_t data = 3;
  std::string text = "caf\xC3\xA9";
  EXPECT_TRUE(opos.handler->DirectIO(1, data, text));
  EXPECT_EQ(data, 4);
  EXPECT_EQ(text, "caf\xC3\xA9");
  const std::vector<std::string>& calls = opos.control->calls;
  ASSERT_GE(calls.size(), 3u);
  EXPECT_THAT(std::vector<std::string>(calls.end() - 3, calls.end()),
              ElementsAre("GetDate(BSTR& '')", "GetData(I4 9, I4& 5, BSTR& '')",
                          "DirectIO(I4 1, I4& 3, BSTR& 'caf\xC3\xA9')"));
}

TEST(OposAutomation, PropertiesArePutAndRead) {
  Opos opos;
  ASSERT_TRUE(opos.handler->Connect());
  EXPECT_TRUE(opos.handler->SetAdditionalTrailerLine("a", false));
  EXPECT_TRUE(opos.handler->SetPreLine("Table 4"));
  EXPECT_TRUE(opos.handler->SetFiscalReceiptType(5));
  bool cover = true;
  EXPECT_TRUE(opos.handler->GetCoverOpen(cover));
  EXPECT_FALSE(cover);
  const std::vector<std::string>& calls = opos.control->calls;
  ASSERT_GE(calls.size(), 5u);
  EXPECT_THAT(std::vector<std::string>(calls.end() - 5, calls.end()),
              ElementsAre("AdditionalTrailer", "AdditionalTrailer=BSTR 'a\r\n'", "PreLine=BSTR 'Table 4'",
                          "FiscalReceiptType=I4 5", "CoverOpen"));
  EXPECT_EQ(opos.control->simulator->PreLine(), "Table 4");
}

// The automation layer on its own, with bounds of the test's choosing.
TEST(Automation, AnObjectThatDoesNotAnswerInTimeIsAnErrorAndTheNextCallIsServedAfterIt) {
  using platform::AutomationValue;
  platform::AutomationObject object(kOPOSFiscalPrinterClassId, kOPOSFiscalPrinterProgId, 30000);
  std::vector<AutomationValue> hang{AutomationValue::Int(kHangCommand), AutomationValue::Int(3000, true),
                                    AutomationValue::Text("", true)};
  EXPECT_EQ(ErrorOf([&] { object.Call("DirectIO", hang, 100); }), "DirectIO: no answer within 100 ms");
  // The next call waits its turn behind the one still running.
  std::vector<AutomationValue> open{AutomationValue::Text("NoSuchPrinter")};
  EXPECT_EQ(object.Call("Open", open, 30000).AsInt("Open"), OPOS_E_NOEXIST);
}

TEST(Automation, UnknownMembersAndWrongTypesAreErrorsWithTheirHresult) {
  using platform::AutomationValue;
  platform::AutomationObject object(kOPOSFiscalPrinterClassId, kOPOSFiscalPrinterProgId, 30000);
  std::vector<AutomationValue> none;
  EXPECT_EQ(ErrorOf([&] { object.Call("PrintRecFoodStamp", none, 30000); }),
            "PrintRecFoodStamp: the object has no such member (0x80020006)");
  std::vector<AutomationValue> wrong{AutomationValue::Int(1)};  // Open takes a text
  EXPECT_THAT(ErrorOf([&] { object.Call("Open", wrong, 30000); }),
              ::testing::AllOf(::testing::StartsWith("Open: "), ::testing::EndsWith("(0x80020005)")));
  EXPECT_FALSE(object.Get("DeviceEnabled", 30000).AsBool("DeviceEnabled"));
}

}  // namespace
}  // namespace korvane
