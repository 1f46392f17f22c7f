#include "transport/io_handler.h"

#include <gtest/gtest.h>

#include <memory>

#include "platform/error.h"
#include "support/test_support.h"
#include "transport/com_handler.h"
#include "transport/dll_handler.h"
#include "transport/tcp_handler.h"
#include "transport/transport_table.h"

namespace korvane {
namespace {

using testing::Err;
using testing::Info;
using testing::kStart;
using testing::kStop;
using testing::LogLine;
using testing::ReadLog;
using testing::TempDir;

// The placeholder transport is the plainest handler: everything below is the
// base class at work.
class Probe : public kIOHandler_Com {
 public:
  using kIOHandler::HexDump;
  Probe(const kConnection* aConnection, const std::string& aDirectory, const std::string& aFileName)
      : kIOHandler_Com(aConnection, aDirectory, aFileName) {
    SetClassName("Probe");  // a class outside the transport table names itself
  }
};

// Runs aBody on a handler with a log, destroys the handler and gives its log.
std::vector<LogLine> LogOf(const std::function<void(Probe&)>& aBody,
                           const kConnection* aConnection = nullptr) {
  TempDir dir;
  std::string path;
  {
    Probe handler(aConnection, dir.Path(), "Probe_1");
    path = handler.GetLogFileName();
    aBody(handler);
  }
  return ReadLog(path);
}

TEST(IOHandler, LogFileIsNamedAfterFileNameAndDateWithStartFirstAndStopLast) {
  TempDir dir;
  std::string path;
  {
    Probe handler(nullptr, dir.Path(), "QORD_KORVANE_10_abc");
    path = handler.GetLogFileName();
    handler.Debug(let_info, "one");
    handler.Debug(let_error, "two");
  }
  const std::string name = std::filesystem::path(path).filename().string();
  EXPECT_EQ(std::filesystem::path(path).parent_path(), std::filesystem::path(dir.Path()));
  EXPECT_TRUE(name.starts_with("QORD_KORVANE_10_abc_")) << name;
  EXPECT_TRUE(name.ends_with(".log")) << name;
  EXPECT_EQ(name.size(), std::string("QORD_KORVANE_10_abc_yyyymmdd.log").size()) << name;
  EXPECT_EQ(ReadLog(path), (std::vector<LogLine>{Info(kStart), Info("one"), Err("two"), Info(kStop)}));
  EXPECT_EQ(kStart.size(), 61u);
  EXPECT_EQ(kStop.size(), 61u);
}

TEST(IOHandler, WithoutDirectoryOrFileNameThereIsNoLogAndNothingFails) {
  for (const auto& [directory, fileName] :
       std::vector<std::pair<bool, bool>>{{false, true}, {true, false}, {false, false}}) {
    TempDir dir;
    kConnection connection;
    {
      Probe handler(&connection, directory ? dir.Path() : "", fileName ? "Probe" : "");
      handler.SetHexLog(true);
      handler.Debug(let_info, "x");
      handler.WriteLog(let_error, "Write", "x");
      EXPECT_TRUE(handler.Connect());
      handler.SetTemporaryReadTimeout(5000);
      handler.ResetTemporaryReadTimeout();
      EXPECT_EQ(handler.ReadTimeout(), 1000);
      EXPECT_EQ(handler.GetLogFileName(), "");
      EXPECT_FALSE(handler.HasLogWriter());
    }
    EXPECT_TRUE(dir.IsEmpty());
  }
}

TEST(IOHandler, TimeoutsComeFromTheConnectionOrStayZero) {
  kConnection connection;
  connection.SetConnectTimeOut(1500);
  connection.SetReadTimeOut(250);
  const Probe withConnection(&connection, "", "");
  EXPECT_EQ(withConnection.ConnectTimeout(), 1500);
  EXPECT_EQ(withConnection.ReadTimeout(), 250);
  const Probe withoutConnection(nullptr, "", "");
  EXPECT_EQ(withoutConnection.ConnectTimeout(), 0);
  EXPECT_EQ(withoutConnection.ReadTimeout(), 0);
  EXPECT_FALSE(withoutConnection.HexLog());
  EXPECT_EQ(withoutConnection.CodePage(), 0);
  EXPECT_EQ(withoutConnection.Version(), "");
  EXPECT_FALSE(withoutConnection.ErrorFound());
}

TEST(IOHandler, HexDumpGivesEachUtf16CodeUnitInLowerCaseHex) {
  const std::pair<const char*, const char*> cases[] = {
      {"", ""},
      {"\x07", "07"},
      {"OK", "4f 4b"},
      {"AB\r", "41 42 0d"},
      {"\xE2\x82\xAC", "20ac"},           // euro sign
      {"A\xE2\x82\xAC", "41 20ac"},       // A and euro sign
      {"\xC3\xBF\xC4\x80", "ff 100"},     // U+00FF, U+0100
      {"\xF0\x9F\x98\x80", "d83d de00"},  // a surrogate pair is two units
  };
  for (const auto& [text, dump] : cases) EXPECT_EQ(Probe::HexDump(text), dump) << text;
  EXPECT_EQ(Probe::HexDump(std::string("\0A", 2)), "00 41");
}

TEST(IOHandler, WriteLogAppendsTheDumpOnlyWithHexLog) {
  const auto log = LogOf([](Probe& h) {
    h.WriteLog(let_info, "Read", "OK");
    h.SetHexLog(true);
    h.WriteLog(let_info, "Read", "OK");
    h.WriteLog(let_info, "Write", "AB\r");
    h.WriteLog(let_error, "Connect Timeout", "");
    h.WriteLog(let_info, "Write", "A\xE2\x82\xAC");
  });
  EXPECT_EQ(log, (std::vector<LogLine>{Info(kStart), Info("Read:OK"), Info("Read:OK [4f 4b]"),
                                       Info("Write:AB\r [41 42 0d]"), Err("Connect Timeout: []"),
                                       Info("Write:A\xE2\x82\xAC [41 20ac]"), Info(kStop)}));
}

TEST(IOHandler, ConnectWritesTheFiveLineBannerEveryTime) {
  kConnection connection;
  connection.SetConnectTimeOut(2000);
  connection.SetReadTimeOut(300);
  const auto log = LogOf(
      [](Probe& h) {
        EXPECT_TRUE(h.Connect());
        h.SetVersion("1.2.3 (2024-01-01)");
        EXPECT_TRUE(h.Connect());
      },
      &connection);
  const std::string stars(61, '*');
  EXPECT_EQ(log, (std::vector<LogLine>{Info(kStart), Info(stars), Info("Probe"), Info(""),
                                       Info("ConnectTimeout=2000"), Info("ReadTimeout=300"), Info(stars),
                                       Info("Probe"), Info("1.2.3 (2024-01-01)"), Info("ConnectTimeout=2000"),
                                       Info("ReadTimeout=300"), Info(kStop)}));
}

TEST(IOHandler, ClassNameIsTheHandlersOwnClass) {
  kConnection connection;
  EXPECT_EQ(kIOHandler_Com(&connection, "", "").ClassName(), "kIOHandler_Com");
  EXPECT_EQ(kIOHandler_TCP(connection, "", "").ClassName(), "kIOHandler_TCP");
}

TEST(IOHandler, ClassNameComesFromTheTransportTableRowOfTheClass) {
  class MadeFromTcp : public kIOHandler_TCP {
   public:
    using kIOHandler_TCP::kIOHandler_TCP;
  };
  kConnection connection;
  EXPECT_EQ(MadeFromTcp(connection, "", "").ClassName(), "kIOHandler_TCP");
  EXPECT_EQ(TransportTable::ClassNameOf(MadeFromTcp(connection, "", "")), "kIOHandler_TCP");
  EXPECT_EQ(TransportTable::ClassNameOf(kIOHandler_Com(&connection, "", "")), "kIOHandler_Com");
  // A class outside the table that names itself keeps its own name.
  Probe probe(&connection, "", "");
  EXPECT_EQ(probe.ClassName(), "Probe");
  EXPECT_EQ(TransportTable::ClassNameOf(probe), "kIOHandler_Com");
}

TEST(IOHandler, TemporaryReadTimeoutIsSavedAndRestoredWithoutNesting) {
  kConnection connection;  // read time-out 1000
  const auto log = LogOf(
      [](Probe& h) {
        h.SetTemporaryReadTimeout(5000);
        EXPECT_EQ(h.ReadTimeout(), 5000);
        h.ResetTemporaryReadTimeout();
        EXPECT_EQ(h.ReadTimeout(), 1000);
        h.SetTemporaryReadTimeout(0);
        h.SetTemporaryReadTimeout(-1);
        EXPECT_EQ(h.ReadTimeout(), 1000);
        h.SetTemporaryReadTimeout(5000);
        h.SetTemporaryReadTimeout(8000);
        h.ResetTemporaryReadTimeout();
        EXPECT_EQ(h.ReadTimeout(), 5000);
      },
      &connection);
  EXPECT_EQ(
      log,
      (std::vector<LogLine>{
          Info(kStart), Info("Set Read Timeout to 5000ms from 1000 ms"), Info("Reset Timeout to 1000 ms"),
          Info("Set Read Timeout to 0ms from 1000 ms"), Info("Set Read Timeout to -1ms from 1000 ms"),
          Info("Set Read Timeout to 5000ms from 1000 ms"), Info("Set Read Timeout to 8000ms from 5000 ms"),
          Info("Reset Timeout to 5000 ms"), Info(kStop)}));
}

TEST(IOHandler, ResetOnAFreshHandlerChangesNothing) {
  kConnection connection;
  connection.SetReadTimeOut(700);
  const auto log = LogOf(
      [](Probe& h) {
        h.ResetTemporaryReadTimeout();
        EXPECT_EQ(h.ReadTimeout(), 700);
      },
      &connection);
  EXPECT_EQ(log, (std::vector<LogLine>{Info(kStart), Info("Reset Timeout to 0 ms"), Info(kStop)}));
}

TEST(IOHandler, ErrorSlotStaysUntilReset) {
  Probe h(nullptr, "", "");
  h.SetCustomError(42, "broken");
  EXPECT_TRUE(h.ErrorFound());
  EXPECT_EQ(h.ErrorCode(), 42);
  EXPECT_EQ(h.ErrorMessage(), "broken");
  h.Debug(let_info, "anything");
  EXPECT_TRUE(h.ErrorFound());
  h.ResetCustomError();
  EXPECT_FALSE(h.ErrorFound());
  EXPECT_EQ(h.ErrorCode(), 0);
  EXPECT_EQ(h.ErrorMessage(), "");
}

}  // namespace
}  // namespace korvane
