// Loading and unloading the library as a host program does.
#include <dlfcn.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "e2e/display_peer.h"
#include "e2e/requests.h"
#include "support/host_library.h"
#include "support/test_support.h"

namespace {

std::filesystem::path HostPath() { return std::filesystem::canonical("/proc/self/exe"); }

}  // namespace

// Runs only inside the copy of this program that the next test starts.
TEST(LibraryLoad, ChildLoadsAndUnloadsTwice) {
  if (!std::getenv("KORVANE_CHILD_LOAD"))
    GTEST_SKIP() << "runs as the host copy of CreatesTheLogFolderBesideTheHost";
  for (int round = 0; round < 2; ++round) {
    void* library = dlopen(KORVANE_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    EXPECT_TRUE(std::filesystem::is_directory(HostPath().parent_path() / "LogFiles"));
    EXPECT_EQ(dlclose(library), 0);
  }
}

TEST(LibraryLoad, CreatesTheLogFolderBesideTheHost) {
  // A host in a folder of its own, loading the library from the build folder.
  const korvane::testing::TempDir temp;
  const std::filesystem::path folder = temp.Path();
  const auto host = folder / "PosHost";
  std::filesystem::copy_file(HostPath(), host, std::filesystem::copy_options::overwrite_existing);
  const std::string command = "KORVANE_CHILD_LOAD=1 '" + host.string() +
                              "' --gtest_filter=LibraryLoad.ChildLoadsAndUnloadsTwice >/dev/null 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0);
  EXPECT_TRUE(std::filesystem::is_directory(folder / "LogFiles"));
  EXPECT_FALSE(
      std::filesystem::exists(std::filesystem::path(KORVANE_LIBRARY_PATH).parent_path() / "LogFiles"));
}

TEST(LibraryLoad, ExportsNothingButItsCalls) {
  void* library = dlopen(KORVANE_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  for (const char* hidden :
       {"_ZN7korvane5TKAppE", "TKApp", "CreateApplication", "_ZN7korvane17CreateApplicationEv"})
    EXPECT_EQ(dlsym(library, hidden), nullptr) << hidden;
  for (const char* name : {"OPEN", "CLOSE", "MESSAGE", "CLOSEMESSAGE", "RECEIPT", "THANKYOU", "IDLE",
                           "VERSION", "SysAllocStringLen", "SysAllocString", "SysFreeString", "SysStringLen"})
    EXPECT_NE(dlsym(library, name), nullptr) << name;
  dlclose(library);
}

// Runs only inside the copy of this program that the next test starts.
TEST(LibraryLoad, ChildCallsTheExportsFromItsFolder) {
  const char* library = std::getenv("KORVANE_CHILD_LIBRARY");
  if (!library) GTEST_SKIP() << "runs as the host copy of WorksFromAFolderWithAnyLegalName";
  using namespace korvane::testing;
  const Library lib(library);
  DisplayPeer peer;
  EXPECT_THAT(lib.Version("QORD_KORVANE_10"), ::testing::StartsWith("Version "));
  const CallResult open = lib.Call("OPEN", OpenRequest(peer.Port()));
  ASSERT_EQ(open.result, 0) << open.errorText;
  const std::string folder = HostPath().parent_path().parent_path().string() + "/pos|2 &lt;till&gt;";
  EXPECT_THAT(open.envelope,
              ::testing::HasSubstr("<LogFileName>" + folder + "/LogFiles/CustomerDisplay/QORD_KORVANE_10_"));
  EXPECT_EQ(lib.Call("MESSAGE", CallRequest("MESSAGE", 1, "<Message><Text1>Hi</Text1></Message>")).result, 0);
  EXPECT_EQ(lib.Call("CLOSE", CallRequest("CLOSE", 1, "")).result, 0);
  EXPECT_EQ(peer.Frames().size(), 3u);
  // A name from a request is still held to the characters valid on every system.
  RequestSpec bad;
  bad.method = "OPEN";
  bad.logId = "till|1";
  bad.connection = TcpConnection(peer.Port());
  const CallResult refused = lib.Call("OPEN", Request(bad));
  EXPECT_EQ(refused.result, -1);
  EXPECT_EQ(refused.errorText, "Invalid characters in path");
}

TEST(LibraryLoad, WorksFromAFolderWithAnyLegalName) {
  // "|" is not allowed in a Windows path, but is in a POSIX one: a host and
  // its library installed in such a folder work as anywhere else.
  const korvane::testing::TempDir temp;
  const std::filesystem::path folder = std::filesystem::path(temp.Path()) / "pos|2 <till>";
  std::filesystem::create_directory(folder);
  const auto host = folder / "PosHost";
  const auto library = folder / std::filesystem::path(KORVANE_LIBRARY_PATH).filename();
  std::filesystem::copy_file(HostPath(), host);
  std::filesystem::copy_file(KORVANE_LIBRARY_PATH, library);
  const korvane::testing::ScopedEnv env("KORVANE_CHILD_LIBRARY", library.c_str());
  const korvane::testing::ProgramRun run = korvane::testing::RunProgram(
      {host.string(), "--gtest_filter=LibraryLoad.ChildCallsTheExportsFromItsFolder"}, "",
      std::chrono::seconds(60));
  EXPECT_EQ(run.fStatus, 0) << run.fOut << run.fErr;
  EXPECT_NE(run.fOut.find("[  PASSED  ] 1 test"), std::string::npos) << run.fOut;
  EXPECT_TRUE(std::filesystem::is_directory(folder / "LogFiles" / "CustomerDisplay"));
}
