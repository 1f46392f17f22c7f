// Unloading the library, as a host does when it is done with it or ends.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "e2e/requests.h"
#include "support/display_peer.h"
#include "support/library_under_test.h"
#include "support/test_support.h"

namespace {

using namespace korvane::testing;

const std::string kStopLine = "*************************** STOP ****************************";

}  // namespace

// Started, used and unloaded again and again: every unload returns, and the
// library is really gone each time (it keeps itself loaded only once it has
// made a device).
TEST(ModuleUnload, UnloadingAfterVersionReturnsAndUnloadsEveryTime) {
  if (Library::IsLoaded(KORVANE_LIBRARY_PATH))
    GTEST_SKIP() << "an earlier test of this process made a device, which keeps the library loaded";
  for (int round = 0; round < 12; ++round) {
    {
      const Library lib;
      EXPECT_THAT(lib.VersionText("QORD_KORVANE_10"), ::testing::StartsWith("Version ")) << "round " << round;
      EXPECT_EQ(lib.VersionText("NO_SUCH_DRIVER"), "<null>") << "round " << round;
    }
    ASSERT_FALSE(Library::IsLoaded(KORVANE_LIBRARY_PATH)) << "round " << round;
  }
}

// Runs only inside the copy of this program that the next test starts: opens
// a device, logs through it and ends without closing it or unloading the
// library.
TEST(ModuleUnload, ChildEndsWithADeviceOpen) {
  const char* port = std::getenv("KORVANE_CHILD_PORT");
  if (!port) GTEST_SKIP() << "runs as the host copy of AProcessEndingWithADeviceOpenWritesItsWholeLog";
  static Library* const lib = new Library();  // never unloaded: the process ends with it
  const CallResult open = lib->Call("OPEN", OpenRequest(std::atoi(port)));
  ASSERT_EQ(open.fResult, 0) << open.fErrorText;
  const std::string logFile = open.fEnvelope.substr(open.fEnvelope.find("<LogFileName>") + 13);
  std::printf("LOGFILE=%s\n", logFile.substr(0, logFile.find("</LogFileName>")).c_str());
  for (int i = 0; i < 50; ++i) {
    const CallResult message = lib->Call(
        "MESSAGE",
        CallRequest("MESSAGE", 1, "<Message><Text1>line " + std::to_string(i) + "</Text1></Message>"));
    ASSERT_EQ(message.fResult, 0) << message.fErrorText;
  }
  std::fflush(stdout);
}

TEST(ModuleUnload, AProcessEndingWithADeviceOpenWritesItsWholeLog) {
  const TempDir temp;
  const auto host = std::filesystem::path(temp.Path()) / ("PosHost" + ThisProgramPath().extension().string());
  std::filesystem::copy_file(ThisProgramPath(), host);
  DisplayPeer peer;
  const std::string port = std::to_string(peer.Port());
  const ScopedEnv child("KORVANE_CHILD_PORT", port.c_str());
  const ProgramRun run = RunProgram({host.string(), "--gtest_filter=ModuleUnload.ChildEndsWithADeviceOpen"},
                                    "", std::chrono::seconds(60));
  ASSERT_EQ(run.fStatus, 0) << run.fOut << run.fErr;
  const size_t at = run.fOut.find("LOGFILE=");
  ASSERT_NE(at, std::string::npos) << run.fOut;
  const std::string logFile = run.fOut.substr(at + 8, run.fOut.find_first_of("\r\n", at) - at - 8);
  const std::vector<std::string> lines = SplitCrLf(ReadFile(logFile));
  ASSERT_FALSE(lines.empty()) << logFile;
  // Every message's line, and the device's last line.
  int messages = 0;
  for (const std::string& line : lines)
    if (line.find("\"line ") != std::string::npos) ++messages;
  EXPECT_EQ(messages, 50) << ReadFile(logFile);
  EXPECT_THAT(lines.back(), ::testing::EndsWith(kStopLine)) << ReadFile(logFile);
  EXPECT_EQ(peer.Frames().size(), 51u);
}
