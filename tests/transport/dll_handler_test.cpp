#include "transport/dll_handler.h"

#include <gtest/gtest.h>

#include "platform/error.h"
#include "support/test_support.h"
#include "transport/com_handler.h"
#include "transport/transport_table.h"

namespace korvane {
namespace {

using testing::ErrorOf;

using testing::Info;
using testing::kStart;
using testing::kStop;
using testing::LogLine;
using testing::ReadLog;
using testing::TempDir;

kConnection LibraryConnection(const std::string& aName) {
  kConnection connection;
  connection.SetConnectionType(tkConnectionType::DLL);
  connection.SetLibraryName(aName);
  return connection;
}

TEST(DllTransport, LoadsTheLibraryAndGivesExportsByExactName) {
  TempDir dir;
  std::string path;
  {
    const kConnection connection = LibraryConnection(TRANSPORT_SAMPLE_LIBRARY);
    auto handler = TransportTable::Create(connection, dir.Path(), "Dll_test");
    auto* dll = dynamic_cast<kIOHandler_Dll*>(handler.get());
    ASSERT_NE(dll, nullptr);
    path = dll->GetLogFileName();

    auto add = reinterpret_cast<int (*)(int, int)>(dll->GetAddress("SampleAdd"));
    EXPECT_EQ(add(2, 3), 5);
    EXPECT_EQ(ErrorOf([&] { dll->GetAddress("sampleadd"); }),
              "Unable to get address for procedure sampleadd");
    EXPECT_EQ(ErrorOf([&] { dll->GetAddress("Missing"); }), "Unable to get address for procedure Missing");
  }
  EXPECT_EQ(
      ReadLog(path),
      (std::vector<LogLine>{
          Info(kStart), Info(std::string("kIOHandler_Dll.Create:Loading DLL ") + TRANSPORT_SAMPLE_LIBRARY),
          Info("kIOHandler_Dll.Create:DLL Loaded successfully"), Info("kIOHandler_Dll.Destroy:Unloading DLL"),
          Info("kIOHandler_Dll.Destroy:DLL Unloaded Successfully"), Info(kStop)}));
}

TEST(DllTransport, MissingLibraryFailsConstructionAndEndsTheLog) {
  TempDir dir;
  const std::string name = dir.Path() + "/libnothing.so";
  const kConnection connection = LibraryConnection(name);
  EXPECT_EQ(ErrorOf([&] { kIOHandler_Dll handler(connection, dir.Path(), "Dll_missing"); }),
#ifdef _WIN32
            "Unable to Load Library " + name + ". " + platform::OsErrorText(126) + " [126]");
#else
            "Unable to Load Library " + name + ". " + name +
                ": cannot open shared object file: No such file or directory [2]");
#endif
  std::vector<std::filesystem::path> logs;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
    if (entry.path().extension() == ".log") logs.push_back(entry.path());
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_EQ(
      ReadLog(logs[0].string()),
      (std::vector<LogLine>{Info(kStart), Info("kIOHandler_Dll.Create:Loading DLL " + name), Info(kStop)}));
}

TEST(DllTransport, FileThatIsNoLibraryFailsWithTheLoadersText) {
  TempDir dir;
  const std::string name = dir.Path() + "/not_a_library.so";
  std::ofstream(name) << "plain text";
  const std::string message = ErrorOf([&] { kIOHandler_Dll handler(LibraryConnection(name), "", ""); });
#ifdef _WIN32  // the loader names no file
  EXPECT_TRUE(message.starts_with("Unable to Load Library " + name + ". ")) << message;
#else
  EXPECT_TRUE(message.starts_with("Unable to Load Library " + name + ". " + name + ": ")) << message;
#endif
  EXPECT_TRUE(message.ends_with("]")) << message;
}

TEST(DllAndComTransports, StreamOperationsMoveNothing) {
  const kConnection connection = LibraryConnection(TRANSPORT_SAMPLE_LIBRARY);
  TempDir dir;
  std::string dllLog;
  std::string comLog;
  {
    kIOHandler_Dll dll(connection, dir.Path(), "Dll_stream");
    kIOHandler_Com com(connection, dir.Path(), "Com_stream");
    dllLog = dll.GetLogFileName();
    comLog = com.GetLogFileName();
    for (kIOHandler* h : std::vector<kIOHandler*>{&dll, &com}) {
      EXPECT_TRUE(h->Connected());
      EXPECT_TRUE(h->Disconnect());
      h->ClearBuffers();
      EXPECT_EQ(h->ReadUpTo({3}), "");
      EXPECT_EQ(h->ReadChars(4), "");
      EXPECT_EQ(h->DecodeError(5), "");
      h->SetParameter("a", "b");
      EXPECT_EQ(ErrorOf([&] { h->ReadAll(); }), "ReadAll Unsupported");
      EXPECT_EQ(ErrorOf([&] { h->InputBufferContainsData(); }), "InputBufferContainsData Unsupported");
    }
    EXPECT_TRUE(dll.Write("hello"));
    EXPECT_FALSE(com.Write("hello"));
  }
  const std::vector<LogLine> dllLines = ReadLog(dllLog);
  EXPECT_EQ(dllLines.size(), 6u);  // START, two loading, two unloading lines, STOP: no data line
  EXPECT_EQ(ReadLog(comLog), (std::vector<LogLine>{Info(kStart), Info(kStop)}));
}

}  // namespace
}  // namespace korvane
