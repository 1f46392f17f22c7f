// Loading and unloading the library as a host program does.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

namespace {

std::filesystem::path HostFolder() { return std::filesystem::canonical("/proc/self/exe").parent_path(); }

}  // namespace

TEST(LibraryLoad, CreatesTheLogFolderBesideTheHostAndUnloadsCleanly) {
  const auto logFolder = HostFolder() / "LogFiles";
  std::filesystem::remove_all(logFolder);
  for (int round = 0; round < 2; ++round) {
    void* library = dlopen(KORVANE_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    EXPECT_TRUE(std::filesystem::is_directory(logFolder));
    EXPECT_EQ(dlclose(library), 0);
  }
}

TEST(LibraryLoad, ExportsNothingButItsCalls) {
  void* library = dlopen(KORVANE_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  for (const char* hidden :
       {"_ZN7korvane6TKAppE", "TKApp", "CreateApplication", "_ZN7korvane17CreateApplicationEv"})
    EXPECT_EQ(dlsym(library, hidden), nullptr) << hidden;
  dlclose(library);
}
