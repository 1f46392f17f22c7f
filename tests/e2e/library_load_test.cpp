// Loading the library as a host program does, from the host's own folder and
// others.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "e2e/requests.h"
#include "support/display_peer.h"
#include "support/library_under_test.h"
#include "support/test_support.h"

namespace {

using korvane::testing::ThisProgramPath;

// A copy of this program named aName, in aFolder (with the ".exe" Windows
// wants).
std::filesystem::path CopyOfThisProgram(const std::filesystem::path& aFolder, const std::string& aName) {
  const auto host = aFolder / (aName + ThisProgramPath().extension().string());
  std::filesystem::copy_file(ThisProgramPath(), host, std::filesystem::copy_options::overwrite_existing);
  return host;
}

}  // namespace

// Runs only inside the copy of this program that the next test starts.
TEST(LibraryLoad, ChildLoadsAndUnloadsTwice) {
  if (!std::getenv("KORVANE_CHILD_LOAD"))
    GTEST_SKIP() << "runs as the host copy of CreatesTheLogFolderBesideTheHost";
  using namespace korvane::testing;
  const std::string folder = ThisProgramPath().parent_path().string();
  DisplayPeer peer;
  for (int round = 0; round < 2; ++round) {
    const Library lib;
    // Here the library starts when it is loaded; on Windows on its first call
    // (nothing may wait under the loader's lock).
    if (kLibraryStartsOnLoad) {
      EXPECT_TRUE(std::filesystem::is_directory(JoinPath(folder, {"LogFiles"})));
    }
    if (round == 0) continue;  // unloaded unused, then loaded again
    const CallResult open = lib.Call("OPEN", OpenRequest(peer.Port()));
    EXPECT_EQ(open.fResult, 0) << open.fErrorText;
    EXPECT_THAT(open.fEnvelope,
                ::testing::HasSubstr("<LogFileName>" +
                                     JoinPath(folder, {"LogFiles", "CustomerDisplay", "QORD_KORVANE_10_"})));
    EXPECT_TRUE(std::filesystem::is_directory(JoinPath(folder, {"LogFiles"})));
  }
}

TEST(LibraryLoad, CreatesTheLogFolderBesideTheHost) {
  // A host in a folder of its own, loading the library from the build folder.
  const korvane::testing::TempDir temp;
  const std::filesystem::path folder = temp.Path();
  const auto host = CopyOfThisProgram(folder, "PosHost");
  const korvane::testing::ScopedEnv child("KORVANE_CHILD_LOAD", "1");
  const korvane::testing::ProgramRun run = korvane::testing::RunProgram(
      {host.string(), "--gtest_filter=LibraryLoad.ChildLoadsAndUnloadsTwice"}, "", std::chrono::seconds(60));
  EXPECT_EQ(run.fStatus, 0) << run.fOut << run.fErr;
  EXPECT_NE(run.fOut.find("[  PASSED  ] 1 test"), std::string::npos) << run.fOut;
  EXPECT_TRUE(std::filesystem::is_directory(folder / "LogFiles"));
  EXPECT_FALSE(
      std::filesystem::exists(std::filesystem::path(KORVANE_LIBRARY_PATH).parent_path() / "LogFiles"));
}

TEST(LibraryLoad, ExportsNothingButItsCalls) {
  const korvane::testing::Library lib;
  for (const char* hidden :
       {"_ZN7korvane5TKAppE", "TKApp", "CreateApplication", "_ZN7korvane17CreateApplicationEv"})
    EXPECT_FALSE(lib.Exports(hidden)) << hidden;
  for (const char* name :
       {"OPEN", "CLOSE", "MESSAGE", "CLOSEMESSAGE", "RECEIPT", "THANKYOU", "IDLE", "VERSION"})
    EXPECT_TRUE(lib.Exports(name)) << name;
  // The BSTR functions are the library's own here; on Windows OleAut32's.
  for (const char* name : {"SysAllocStringLen", "SysAllocString", "SysFreeString", "SysStringLen"})
    EXPECT_EQ(lib.Exports(name), korvane::testing::kLibraryExportsStrings) << name;
}

// Runs only inside the copy of this program that the next test starts.
TEST(LibraryLoad, ChildCallsTheExportsFromItsFolder) {
  if (!std::getenv("KORVANE_CHILD_LIBRARY"))
    GTEST_SKIP() << "runs as the host copy of WorksFromAFolderWithAnyLegalName";
  using namespace korvane::testing;
  // The library copied beside this program.
  const Library lib(
      (ThisProgramPath().parent_path() / std::filesystem::path(KORVANE_LIBRARY_PATH).filename()).string());
  DisplayPeer peer;
  EXPECT_THAT(lib.VersionText("QORD_KORVANE_10"), ::testing::StartsWith("Version "));
  const CallResult open = lib.Call("OPEN", OpenRequest(peer.Port()));
  ASSERT_EQ(open.fResult, 0) << open.fErrorText;
  std::string folder;  // XML-escaped in the envelope
  for (const char c : ThisProgramPath().parent_path().string())
    folder += c == '<' ? "&lt;" : c == '>' ? "&gt;" : c == '&' ? "&amp;" : std::string(1, c);
  EXPECT_THAT(open.fEnvelope,
              ::testing::HasSubstr("<LogFileName>" +
                                   JoinPath(folder, {"LogFiles", "CustomerDisplay", "QORD_KORVANE_10_"})));
  EXPECT_EQ(lib.Call("MESSAGE", CallRequest("MESSAGE", 1, "<Message><Text1>Hi</Text1></Message>")).fResult,
            0);
  EXPECT_EQ(lib.Call("CLOSE", CallRequest("CLOSE", 1, "")).fResult, 0);
  EXPECT_EQ(peer.Frames().size(), 3u);
  // A name from a request is still held to the characters valid on every system.
  RequestSpec bad;
  bad.method = "OPEN";
  bad.logId = "till|1";
  bad.connection = TcpConnection(peer.Port());
  const CallResult refused = lib.Call("OPEN", Request(bad));
  EXPECT_EQ(refused.fResult, -1);
  EXPECT_EQ(refused.fErrorText, "Invalid characters in path");
}

TEST(LibraryLoad, WorksFromAFolderWithAnyLegalName) {
  // A host and its library installed in a folder of a name few have work as
  // anywhere else.
  const korvane::testing::TempDir temp;
  const std::filesystem::path folder =
      std::filesystem::path(temp.Path()) / korvane::testing::kUnusualFolderName;
  std::filesystem::create_directory(folder);
  const auto host = CopyOfThisProgram(folder, "PosHost");
  const auto library = folder / std::filesystem::path(KORVANE_LIBRARY_PATH).filename();
  std::filesystem::copy_file(KORVANE_LIBRARY_PATH, library);
  const korvane::testing::ScopedEnv env("KORVANE_CHILD_LIBRARY", "1");
  const korvane::testing::ProgramRun run = korvane::testing::RunProgram(
      {host.string(), "--gtest_filter=LibraryLoad.ChildCallsTheExportsFromItsFolder"}, "",
      std::chrono::seconds(60));
  EXPECT_EQ(run.fStatus, 0) << run.fOut << run.fErr;
  EXPECT_NE(run.fOut.find("[  PASSED  ] 1 test"), std::string::npos) << run.fOut;
  EXPECT_TRUE(std::filesystem::is_directory(folder / "LogFiles" / "CustomerDisplay"));
}
