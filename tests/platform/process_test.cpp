#include "platform/process.h"

#include <gtest/gtest.h>

#include "platform/filesystem.h"

using namespace korvane;
using namespace korvane::platform;

TEST(Process, KnowsTheHostExecutable) {
  EXPECT_EQ(ExecutableBaseName(), "tests_platform");
  EXPECT_EQ(ChangeFileExt(ExecutablePath(), ""), ExecutableFolder() + "tests_platform");
  ASSERT_FALSE(CommandLineParams().empty());
  EXPECT_EQ(ChangeFileExt(ExtractFileName(CommandLineParams()[0]), ""), "tests_platform");
  EXPECT_EQ(CurrentDirectory().back(), kPathDelim);
}
