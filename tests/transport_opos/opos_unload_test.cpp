// The library with an OPOS device, as a host loads it (Windows): the
// device's control lives on the library's apartment thread, which ends once
// the device is closed; a process that ends, the device closed or not, ends
// at once and with the device's whole log.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "e2e/requests.h"
#include "support/library_under_test.h"
#include "support/process_census.h"
#include "support/test_support.h"

namespace {

using namespace korvane::testing;

const std::string kStopLine = "*************************** STOP ****************************";

std::string OposOpenRequest() {
  RequestSpec r;
  r.method = "OPEN";
  r.connection = "<Type>OPOS</Type><DeviceName>SimulatedFiscalPrinter</DeviceName>";
  return Request(r);
}

// The device is made with its OPOS transport (and its control); the display
// driver then refuses the connection type, as it does every one but TCP.
int OpenOposDevice(const Library& aLib, std::string& aLogFile) {
  const CallResult open = aLib.Call("OPEN", OposOpenRequest());
  EXPECT_EQ(open.fErrorText, "Connection type not supported");
  aLogFile = EnvelopeField(open.fEnvelope, "LogFileName");
  return std::atoi(EnvelopeField(open.fEnvelope, "Handle").c_str());
}

TEST(OposUnload, ClosingTheOposDeviceEndsTheApartmentThread) {
  const Library lib;
  lib.VersionText("QORD_KORVANE_10");  // the library started, its own log thread running
  const size_t before = ProcessThreadCount();
  std::string log;
  const int handle = OpenOposDevice(lib, log);
  ASSERT_GT(handle, 0);
  EXPECT_GT(ProcessThreadCount(), before);  // the apartment's thread and the device log's
  lib.Call("CLOSE", CallRequest("CLOSE", handle, ""));
  EXPECT_TRUE(WaitFor([&] { return ProcessThreadCount() <= before; }, std::chrono::seconds(20)))
      << ProcessThreadCount() << " threads, " << before << " before";
}

// Runs only inside the copy of this program that the next test starts.
TEST(OposUnload, ChildEndsAfterAnOposDevice) {
  const char* mode = std::getenv("KORVANE_OPOS_CHILD");
  if (mode == nullptr) GTEST_SKIP() << "runs as the host copy of AProcessEndsAfterAnOposDevice";
  static Library* const lib = new Library();  // never unloaded: the process ends with it
  std::string log;
  const int handle = OpenOposDevice(*lib, log);
  ASSERT_GT(handle, 0);
  if (std::string(mode) == "closed") lib->Call("CLOSE", CallRequest("CLOSE", handle, ""));
  std::printf("LOGFILE=%s\n", log.c_str());
  std::fflush(stdout);
}

TEST(OposUnload, AProcessEndsAfterAnOposDeviceClosedOrOpen) {
  for (const char* mode : {"closed", "open"}) {
    const TempDir temp;
    const auto host =
        std::filesystem::path(temp.Path()) / ("PosHost" + ThisProgramPath().extension().string());
    std::filesystem::copy_file(ThisProgramPath(), host);
    const ScopedEnv child("KORVANE_OPOS_CHILD", mode);
    const ProgramRun run = RunProgram({host.string(), "--gtest_filter=OposUnload.ChildEndsAfterAnOposDevice"},
                                      "", std::chrono::seconds(60));
    ASSERT_EQ(run.fStatus, 0) << mode << ": " << run.fOut << run.fErr;
    const size_t at = run.fOut.find("LOGFILE=");
    ASSERT_NE(at, std::string::npos) << run.fOut;
    const std::string logFile = run.fOut.substr(at + 8, run.fOut.find_first_of("\r\n", at) - at - 8);
    const std::vector<std::string> lines = SplitCrLf(ReadFile(logFile));
    ASSERT_FALSE(lines.empty()) << mode;
    EXPECT_THAT(lines.back(), ::testing::EndsWith(kStopLine)) << mode << ": " << ReadFile(logFile);
  }
}

}  // namespace
