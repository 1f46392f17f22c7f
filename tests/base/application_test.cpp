#include "base/application.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "base/application_fixture.h"
#include "platform/clock_testing.h"
#include "platform/error.h"
#include "platform/filesystem.h"
#include "platform/process.h"
#include "platform/ui_testing.h"
#include "support/test_support.h"

using namespace korvane;
using korvane::testing::ApplicationTest;
using korvane::testing::ReadFile;
using korvane::testing::WaitFor;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

void SetClock(int aHour, int aMinute, int aSecond, int aMs) {
  platform::SetNowForTesting([=] { return platform::LocalTime{2024, 9, 17, aHour, aMinute, aSecond, aMs}; });
}

}  // namespace

TEST_F(ApplicationTest, PutsTheProcessLogBesideTheHostProgram) {
  const std::string folder = platform::ExecutableFolder() + "LogFiles";
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  EXPECT_EQ(App().GetLogDirectory(), folder);
  EXPECT_EQ(App().GetLogFileName(), folder + platform::kPathDelim + platform::ExecutableBaseName() + ".log");
  EXPECT_EQ(platform::ExecutableBaseName(), "tests_base");
  EXPECT_EQ(App().Info().Version(), "1.01");
  EXPECT_TRUE(App().TerminateOnExceptionIfBatch());
  EXPECT_FALSE(App().IsBatch());  // the test runner gives no switches
  EXPECT_FALSE(App().Wait().Started());
}

TEST_F(ApplicationTest, ChangesTheLogDirectoryRelativeToLogFiles) {
  korvane::testing::TempDir dir;
  App().ChangeLogDirectory("Extra");
  EXPECT_EQ(App().GetLogDirectory(),
            platform::ExecutableFolder() + "LogFiles" + platform::kPathDelim + "Extra");
  EXPECT_TRUE(std::filesystem::is_directory(App().GetLogDirectory()));
  App().ChangeLogDirectory(dir.Path());
  EXPECT_EQ(App().GetLogFileName(), dir.Path() + platform::kPathDelim + "tests_base.log");
  App().ChangeLogFilename("/somewhere/Renamed.txt");
  EXPECT_EQ(App().GetLogFileName(), dir.Path() + platform::kPathDelim + "Renamed.txt");
  App().Log(let_error, "it broke");
  App().Log(let_info, "all well");
  EXPECT_EQ(App().LastError(), "it broke");
  ASSERT_TRUE(WaitFor([&] { return App().Logger().Counter() == 2; }));
  EXPECT_THAT(ReadFile(dir.Path() + "/Renamed.txt"), HasSubstr(" - ERROR - it broke\r\n"));
  std::filesystem::remove_all(platform::ExecutableFolder() + "LogFiles/Extra");
}

TEST_F(ApplicationTest, LooksMessagesUpByLanguageThenDefaultLanguage) {
  EXPECT_EQ(App().GetMessage("MSG1"), "MSG1");  // keys ".MSG1" and "MSG1." are absent
  App().Messages()["MSG1."] = "fallback";
  EXPECT_EQ(App().GetMessage("MSG1"), "fallback");
  App().Messages()[".MSG1"] = "first";
  EXPECT_EQ(App().GetMessage("MSG1"), "first");
  App().SetLanguage("it");
  App().SetDefaultLanguage("en");
  App().Messages()["it.GREET"] = "Ciao %s, hai %d anni\\nriga";
  App().Messages()["BYE.en"] = "Bye\\r\\nnow\\nthen";
  EXPECT_EQ(App().GetMessage("GREET", {std::string("Ada"), int64_t{36}}), "Ciao Ada, hai 36 anni\r\nriga");
  EXPECT_EQ(App().GetMessage("BYE"), "Bye\r\nnow\r\nthen");
  EXPECT_THROW(App().GetMessage("GREET", {int64_t{1}}), Error);
}

TEST_F(ApplicationTest, LoadsMessageLinesFirstKeyWins) {
  App().LoadMessageLines("it.A:one\r\nit.B:two:with colon\nit.A:ignored\n");
  App().SetLanguage("it");
  EXPECT_EQ(App().GetMessage("A", {}), "one");
  EXPECT_EQ(App().GetMessage("B"), "two:with colon");
  EXPECT_EQ(App().Messages().size(), 2u);
}

TEST_F(ApplicationTest, TimersCountTimeOfDayAndGoNegativeAcrossMidnight) {
  SetClock(23, 59, 59, 500);
  App().StartTimer();
  SetClock(0, 0, 0, 250);
  EXPECT_EQ(App().GetTimerCount(), 1);
  EXPECT_EQ(App().GetTimerValue(), -86399250);
  SetClock(10, 0, 0, 0);
  App().StartTimer();
  SetClock(10, 0, 1, 5);
  EXPECT_EQ(App().StopTimer(), 1005);
  EXPECT_EQ(App().StopTimer(), 10 * 3600000 + 1005 - (23 * 3600000 + 59 * 60000 + 59500));
  EXPECT_EQ(App().GetTimerCount(), 0);
  EXPECT_THROW(App().StopTimer(), Error);
}

TEST_F(ApplicationTest, ShowsMessagesOrLogsThemInBatchMode) {
  ShowOrLogMessage(let_info, "hello");
  ShowOrLogMessage(let_error, "bad");
  ShowOrLogMessage(static_cast<tTK_MessageType>(5), "ignored");
  EXPECT_THAT(platform::UiRequests(), ElementsAre("MessageBox:Information:hello", "MessageBox:Error:bad"));
  platform::ClearUiRequests();
  App().ForceIsBatch();
  ShowOrLogMessage(let_error, "quiet");
  EXPECT_TRUE(platform::UiRequests().empty());
  EXPECT_EQ(App().LastError(), "quiet");
}

TEST_F(ApplicationTest, HidesTheWaitWindowAroundAMessage) {
  App().Wait().Start("Loading");
  ShowMessageAroundWait(let_info, "note");
  EXPECT_THAT(
      platform::UiRequests(),
      ElementsAre("WaitWindow:Show:197x50:22,9,152x32:75190C:FFFFFF:10:bold:Attendere prego ...\r\nLoading",
                  "WaitWindow:Hide", "MessageBox:Information:note",
                  "WaitWindow:Show:197x50:22,17,152x16:75190C:FFFFFF:10:bold:Attendere prego ..."));
  EXPECT_TRUE(App().Wait().Started());
  EXPECT_EQ(App().Wait().LabelText(), "Attendere prego ...");  // shown again without the extra text
}

TEST_F(ApplicationTest, ExceptionHookShowsTheMessageAndEndsBatchRuns) {
  platform::RaiseUnhandledException("");
  platform::RaiseUnhandledException("unhandled");
  EXPECT_THAT(platform::UiRequests(), ElementsAre("MessageBox:Error:unhandled"));
  platform::ClearUiRequests();
  App().ForceIsBatch();
  platform::RaiseUnhandledException("in batch");
  EXPECT_THAT(platform::UiRequests(), ElementsAre("Terminate"));
  EXPECT_EQ(App().LastError(), "in batch");
}

TEST_F(ApplicationTest, NotifyIconIsAddedAndRemovedOnce) {
  App().DeleteNotifyIcon();  // none shown: nothing to do
  App().CreateNotifyIcon();
  EXPECT_TRUE(App().NotifyIcon());
  EXPECT_EQ(App().IconData().cbSize, 956);
  EXPECT_EQ(App().IconData().uCallbackMessage, 1124);
  EXPECT_EQ(App().IconData().uFlags, 3);
  DestroyApplication(false);  // removes it
  EXPECT_THAT(platform::UiRequests(), ElementsAre("NotifyIcon:Add:1124:1", "NotifyIcon:Remove:1"));
  CreateApplication();
}

TEST_F(ApplicationTest, SingleInstanceRefusesASecondHolder) {
  App().SetSingleInstance(true);
  EXPECT_TRUE(App().SingleInstance());
  {
    tTK_Application second;
    second.SetSingleInstance(true);
    EXPECT_THAT(platform::UiRequests(),
                ElementsAre("MessageBox:Error:Impossible to enter single instance mode.", "Terminate"));
  }
  platform::ClearUiRequests();
  App().SetSingleInstance(false);
  tTK_Application third;
  third.SetSingleInstance(true);
  EXPECT_TRUE(platform::UiRequests().empty());
  third.SetSingleInstance(false);
}

TEST(Switches, MatchWithColonEqualsOrAlone) {
  const std::vector<std::string> program = {"/opt/pos/Pos"};
  struct Case {
    std::string param;
    bool set;
  } cases[] = {
      {"/batch:yes", true}, {"/BATCH=1", true}, {"/Batch", true}, {"/BATCHX", false}, {"batch", false}};
  for (const auto& c : cases) {
    auto params = program;
    params.push_back(c.param);
    EXPECT_EQ(!GetSwitchValue("/BATCH", true, params).empty(), c.set) << c.param;
  }
  EXPECT_EQ(GetSwitchValue("/PORT", false, {"Pos", "/other", "/port=COM3", "/PORT=COM4"}), "COM3");
  EXPECT_EQ(GetSwitchValue("/PORT", true, {"Pos", "/port:COM3"}), "/port:COM3");
  EXPECT_EQ(GetSwitchValue("/PORT", false, {"Pos", "/PORT"}), "");
  EXPECT_EQ(GetSwitchValue("/Pos", true, {"/Pos"}), "");  // the program itself is not a switch
}

TEST(TimeOfDay, CountsMillisecondsSinceMidnight) {
  EXPECT_EQ(TimeOfDayToMs(EncodeDate(2024, 9, 17) + EncodeTime(14, 3, 59, 123)), 50639123);
  EXPECT_EQ(TimeOfDayToMs(EncodeDate(2024, 9, 17)), 0);
  EXPECT_EQ(TimeOfDayToMs(EncodeTime(23, 59, 59, 999)), 86399999);
}
