// The device's log when the disk under it fails while the device runs: the
// calls never wait for the disk, CLOSE ends within its bound, and every line
// is either in the file whole or counted in a drop report.
//
// Each fault runs in a copy of this program in a folder of its own, so that
// the log folder it breaks (beside the host) is nobody else's.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "e2e/requests.h"
#include "support/display_peer.h"
#include "support/library_under_test.h"
#include "support/test_support.h"

namespace fs = std::filesystem;
using namespace korvane::testing;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

const char kFaultVariable[] = "KORVANE_LOG_FAULT";
const std::string kReport = "WARN - Log backpressure: dropped ";

// What happens to the disk after OPEN, and whether it is back before CLOSE.
struct Fault {
  const char* name;
  bool backBeforeClose;
  bool needsFileSizeLimit = false;  // not on Windows, which has none
};

const Fault kFaults[] = {
    {"file in the folder's place", true},
    {"file in the folder's place, never back", false},
    {"file size limit", true, true},  // every write stops part-way
    {"file size limit, never back", false, true},
    {"folder removed", true},  // the writer makes it again
};

fs::path HostPath() { return ThisProgramPath(); }

// One device of the library with a log id of its own.
class Device {
 public:
  Device(const Library& aLib, int aPort, std::string aLogId) : fLib(aLib), fLogId(std::move(aLogId)) {
    RequestSpec r;
    r.method = "OPEN";
    r.logId = fLogId;
    r.connection = TcpConnection(aPort);
    const CallResult opened = fLib.Call("OPEN", Request(r));
    EXPECT_EQ(opened.fResult, 0) << opened.fEnvelope;
    fHandle = std::atoi(EnvelopeField(opened.fEnvelope, "Handle").c_str());
    fLog = EnvelopeField(opened.fEnvelope, "LogFileName");
  }

  CallResult Call(const std::string& aMethod, const std::string& aBody) const {
    RequestSpec r;
    r.method = aMethod;
    r.handle = fHandle;
    r.logId = fLogId;
    r.body = aBody;
    return fLib.Call(aMethod.c_str(), Request(r));
  }
  void Sell() const {
    for (int i = 1; i <= 20; ++i)
      EXPECT_EQ(Call("MESSAGE", "<Message><Text1>Item " + std::to_string(i) + "</Text1></Message>").fResult,
                0);
  }
  const std::string& Log() const { return fLog; }

 private:
  const Library& fLib;
  std::string fLogId;
  int fHandle = 0;
  std::string fLog;
};

const Fault* FaultNamed(const std::string& aName) {
  for (const Fault& fault : kFaults)
    if (aName == fault.name) return &fault;
  return nullptr;
}

}  // namespace

// Runs only inside the copy of this program that the next test starts.
TEST(DeviceLogChild, RunsOneFault) {
  const char* name = std::getenv(kFaultVariable);
  if (!name) GTEST_SKIP() << "runs as the host copy that DeviceLog starts";
  const Fault* fault = FaultNamed(name);
  ASSERT_NE(fault, nullptr) << name;
  const std::string faultName = name;
  const fs::path folder = HostPath().parent_path() / "LogFiles" / "CustomerDisplay";
  const fs::path aside = HostPath().parent_path() / "LogFiles" / "Aside";
  Library lib;
  DisplayPeer peer;

  // The same calls on a healthy disk, for the lines they write.
  std::vector<LogLine> reference;
  {
    const Device device(lib, peer.Port(), "Reference");
    device.Sell();
    ASSERT_EQ(device.Call("CLOSE", "").fResult, 0);
    reference = ReadLog(device.Log());
  }
  ASSERT_EQ(reference.back(), Info(kStop));
  size_t afterOpen = 0;
  while (afterOpen < reference.size() && !reference[afterOpen++].message.starts_with("{\"Open\":")) {
  }

  const Device device(lib, peer.Port(), "Device");
  ASSERT_TRUE(WaitFor([&] { return ReadFile(device.Log()).find("{\"Open\":") != std::string::npos; }));
  const bool limited = faultName.starts_with("file size limit");
  const bool fileInPlace = faultName.starts_with("file in the folder's place");
  if (fileInPlace) {
    fs::rename(folder, aside);
    WriteFile(folder.string(), "not a folder");
  } else if (limited) {
    // Room for part of a line: the write stops part-way.
    ASSERT_TRUE(LimitFileSize(fs::file_size(device.Log()) + 40));
  } else {
    fs::remove_all(folder);
  }
  auto restore = [&] {
    if (fileInPlace) {
      fs::remove(folder);
      fs::rename(aside, folder);
    } else if (limited) {
      ASSERT_TRUE(RemoveFileSizeLimit());
    }
  };

  device.Sell();
  if (fault->backBeforeClose) {
    // Not before the writer has given up on the first line (eleven attempts
    // 50 ms apart).
    std::this_thread::sleep_for(std::chrono::seconds(2));
    restore();
  }
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(device.Call("CLOSE", "").fResult, 0);
  // 2 s by design beyond the lines that can be written.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  if (!fault->backBeforeClose) restore();

  const std::vector<LogLine> written = ReadLog(device.Log());
  for (const LogLine& line : written)
    EXPECT_FALSE(line.message.starts_with("<")) << line;  // whole lines only
  std::vector<std::string> reports;
  for (const LogLine& line : written)
    if (line.message.starts_with(kReport)) reports.push_back(line.message.substr(kReport.size()));

  if (faultName == "folder removed") {
    // Nothing lost: the lines after the removal are in the folder made again.
    EXPECT_EQ(written,
              std::vector<LogLine>(reference.begin() + static_cast<long>(afterOpen), reference.end()));
  } else if (fault->backBeforeClose) {
    // One report, before STOP, of exactly the lines missing from the file.
    ASSERT_EQ(reports.size(), 1u) << ::testing::PrintToString(written);
    const int dropped = std::atoi(reports[0].c_str());
    EXPECT_GT(dropped, 0);
    EXPECT_EQ(reports[0], std::to_string(dropped) + " lines (total=" + std::to_string(dropped) + ").");
    EXPECT_EQ(written.size() - 1 + static_cast<size_t>(dropped), reference.size());
    EXPECT_EQ(written.front(), Info(kStart));
    EXPECT_EQ(written.back(), Info(kStop));
  } else {
    // The lines from OPEN, and nothing after them: CLOSE did not wait for the disk.
    EXPECT_EQ(written,
              std::vector<LogLine>(reference.begin(), reference.begin() + static_cast<long>(afterOpen)));
    EXPECT_TRUE(reports.empty());
  }
}

TEST(DeviceLog, KeepsWholeLinesAndCountsTheRestWhenTheDiskFails) {
  for (const Fault& fault : kFaults) {
    SCOPED_TRACE(fault.name);
    if (fault.needsFileSizeLimit && !kHaveFileSizeLimit) continue;
    const TempDir temp;
    const fs::path host = fs::path(temp.Path()) / ("PosHost" + HostPath().extension().string());
    fs::copy_file(HostPath(), host);
    const ScopedEnv variable(kFaultVariable, fault.name);
    const ProgramRun run = RunProgram({host.string(), "--gtest_filter=DeviceLogChild.RunsOneFault"});
    EXPECT_EQ(run.fStatus, 0) << run.fOut << run.fErr;
    EXPECT_THAT(run.fOut, HasSubstr("[  PASSED  ] 1 test.")) << run.fOut;
  }
}

TEST(DeviceLog, ALogIdThatCannotNameALogFileOfItsOwnFailsOpen) {
  Library lib;
  DisplayPeer peer;
  const std::string folder = (HostPath().parent_path() / "LogFiles" / "CustomerDisplay").string();
  struct Case {
    std::string logId;
    std::string error;
  };
  const Case cases[] = {
      {"a/b", "LogId may not hold the character '/': it names the device's log file"},
      {"a\\b", "LogId may not hold the character '\\': it names the device's log file"},
      {"x:y", "LogId may not hold the character ':': it names the device's log file"},
      {std::string(300, 'z'),
       "LogId is too long to name the device's log file: 300 bytes, at most 200 (in UTF-8)"},
  };
  for (const Case& c : cases) {
    RequestSpec r;
    r.method = "OPEN";
    r.logId = c.logId;
    r.connection = TcpConnection(peer.Port());
    const CallResult open = lib.Call("OPEN", Request(r));
    EXPECT_EQ(open.fResult, -1) << c.logId;
    EXPECT_EQ(open.fErrorText, c.error);
    EXPECT_THAT(open.fEnvelope, StartsWith("<Handle>0</Handle>\r\n<Error>True</Error>"));
    EXPECT_EQ(EnvelopeField(open.fEnvelope, "LogFileName"), "");
  }
  // Nothing reached the display, and no log took the last part of a name.
  EXPECT_TRUE(peer.Frames().empty());
  if (fs::exists(folder)) {
    for (const auto& entry : fs::directory_iterator(folder))
      EXPECT_NE(entry.path().filename().string().rfind("b_", 0), 0u) << entry.path();
  }
}

TEST(DeviceLog, NotesCharactersOfTheSettingsFileThatItsEncodingDoesNotAllow) {
  // A settings file with an empty IdleTimeout and a lone surrogate: the
  // request that gives IdleTimeout opens, and the log says what was amiss.
  Library lib;
  DisplayPeer peer;
  TempDir dir;
  const fs::path settings = fs::path(dir.Path()) / "QORD_KORVANE_10.ini";
  WriteFile(settings.string(), std::string("\xFF\xFE"
                                           "I\0d\0l\0e\0T\0i\0m\0e\0o\0u\0t\0=\0\r\0\n\0"
                                           "F\0o\0n\0t\0N\0a\0m\0e\0=\0\x00\xD8",
                                           50));
  const fs::path before = fs::current_path();
  fs::current_path(dir.Path());
  RequestSpec r;
  r.method = "OPEN";
  r.connection = TcpConnection(peer.Port());
  r.parameters = "<IdleTimeout>20</IdleTimeout>";
  const CallResult open = lib.Call("OPEN", Request(r));
  r.parameters = "";
  const CallResult refused = lib.Call("OPEN", Request(r));
  fs::current_path(before);

  EXPECT_EQ(open.fResult, 0) << open.fErrorText;
  const std::string shown = (fs::path(dir.Path()) / "QORD_KORVANE_10.ini").string();
  const std::string note = "ERROR - Settings file " + shown +
                           ": characters that are not valid UTF-16 read as U+FFFD, the first on line 2";
  const std::string log = EnvelopeField(open.fEnvelope, "LogFileName");
  EXPECT_TRUE(WaitFor([&] { return ReadFile(log).find(note) != std::string::npos; })) << ReadFile(log);
  ASSERT_EQ(peer.Messages().size(), 1u);
  EXPECT_THAT(peer.Messages()[0], HasSubstr("\"IdleTimeout\":20"));
  EXPECT_THAT(peer.Messages()[0], HasSubstr("\"FontName\":\"\xEF\xBF\xBD\""));

  EXPECT_EQ(refused.fResult, -1);
  EXPECT_EQ(refused.fErrorText,
            "Settings file " + shown + ", key IdleTimeout: '' is not a valid integer value");
}
