// Loading and unloading the library as a host program does.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

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
