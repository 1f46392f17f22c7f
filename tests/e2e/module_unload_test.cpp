// Unloading the library, as a host does when it is done with it or ends.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>

#include "e2e/requests.h"
#include "support/display_peer.h"
#include "support/library_under_test.h"
#include "support/process_census.h"
#include "support/test_support.h"

namespace {

using namespace korvane::testing;

const std::string kStopLine = "*************************** STOP ****************************";

// What the process holds, before and after a test's rounds.
struct Census {
  size_t threads = ProcessThreadCount();
  size_t handles = ProcessHandleCount();
  uint64_t space = AddressSpaceInUse();
};

std::string ToString(const Census& aCensus) {
  return std::to_string(aCensus.threads) + " threads, " + std::to_string(aCensus.handles) + " handles, " +
         std::to_string(aCensus.space / (1024 * 1024)) + " MiB of address space";
}

std::ostream& operator<<(std::ostream& aOut, const Census& aCensus) { return aOut << ToString(aCensus); }

// Waits, a few seconds at most, for the library's threads to have ended once
// idle (and, when it is not pinned, for the library to be gone with them);
// the census then.
Census AfterAnIdleMoment(size_t aThreadsBefore, bool aUnloads) {
  WaitFor([&] { return !aUnloads || !Library::IsLoaded(KORVANE_LIBRARY_PATH); }, std::chrono::seconds(20));
  WaitFor([&] { return ProcessThreadCount() <= aThreadsBefore; }, std::chrono::seconds(20));
  return Census();
}

// Wine's print spooler client leaves a named mutex behind each time it is
// unloaded; the library brings it in, so a host that does not hold it
// already (one that prints does) would count one more handle a round.
void KeepTheSpoolerClientLoaded() {
#ifdef _WIN32
  static const HMODULE spooler = LoadLibraryW(L"winspool.drv");
  static_cast<void>(spooler);
#endif
}

constexpr int kRounds = 1000;
// Beyond the census before: what the process may hold more of after the
// rounds without anything of the library staying (the system's own caches);
// one thread or one log thread's stack per round would be far more.
constexpr size_t kHandleSlack = 16;
constexpr uint64_t kSpaceSlack = 16 * 1024 * 1024;
// A sanitizer keeps memory freed aside and maps its own as it goes: there the
// address space tells nothing of the library.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSpaceTells = false;
#else
constexpr bool kSpaceTells = true;
#endif

}  // namespace

// A host that loads the library, asks its VERSION and unloads it, a thousand
// times: once idle, the process holds no more threads than before, and the
// library is gone (its log thread ends when idle, and the module with it).
// The census before is taken after a first round, which brings in what the
// system keeps of the libraries the library uses.
TEST(ModuleUnload, AThousandRoundsOfLoadVersionUnloadLeaveNothingBehind) {
  if (Library::IsLoaded(KORVANE_LIBRARY_PATH))
    GTEST_SKIP() << "an earlier test of this process made a device, which keeps the library loaded";
  KeepTheSpoolerClientLoaded();
  { EXPECT_THAT(Library().VersionText("QORD_KORVANE_10"), ::testing::StartsWith("Version ")); }
  const Census before = AfterAnIdleMoment(ProcessThreadCount(), true);
  for (int round = 0; round < kRounds; ++round) {
    const Library lib;
    ASSERT_THAT(lib.VersionText("QORD_KORVANE_10"), ::testing::StartsWith("Version ")) << "round " << round;
  }
  const Census after = AfterAnIdleMoment(before.threads, true);
  std::printf("before: %s\nafter %d rounds: %s\n", ToString(before).c_str(), kRounds,
              ToString(after).c_str());
  EXPECT_FALSE(Library::IsLoaded(KORVANE_LIBRARY_PATH));
  EXPECT_LE(after.threads, before.threads) << before << " / " << after;
  EXPECT_LE(after.handles, before.handles + kHandleSlack) << before << " / " << after;
  if (kSpaceTells) {
    EXPECT_LE(after.space, before.space + kSpaceSlack) << before << " / " << after;
  }
}

// The same with a device opened and closed in each round. The first device
// keeps the library loaded until the process ends; each device's log thread
// and connection go with the device.
TEST(ModuleUnload, AThousandRoundsWithADeviceOpenedAndClosedLeaveNothingBehind) {
  KeepTheSpoolerClientLoaded();
  DisplayPeer peer;
  auto round = [&peer](int aRound) {
    const Library lib;
    const CallResult open = lib.Call("OPEN", OpenRequest(peer.Port()));
    ASSERT_EQ(open.fResult, 0) << "round " << aRound << ": " << open.fErrorText;
    const int handle = std::atoi(EnvelopeField(open.fEnvelope, "Handle").c_str());
    const CallResult close = lib.Call("CLOSE", CallRequest("CLOSE", handle, ""));
    ASSERT_EQ(close.fResult, 0) << "round " << aRound << ": " << close.fErrorText;
  };
  round(-1);
  const Census before = AfterAnIdleMoment(ProcessThreadCount(), false);
  for (int i = 0; i < kRounds; ++i) {
    round(i);
    if (::testing::Test::HasFatalFailure()) return;
  }
  const Census after = AfterAnIdleMoment(before.threads, false);
  std::printf("before: %s\nafter %d rounds: %s\n", ToString(before).c_str(), kRounds,
              ToString(after).c_str());
  EXPECT_LE(after.threads, before.threads) << before << " / " << after;
  EXPECT_LE(after.handles, before.handles + kHandleSlack) << before << " / " << after;
  if (kSpaceTells) {
    EXPECT_LE(after.space, before.space + kSpaceSlack) << before << " / " << after;
  }
}

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
