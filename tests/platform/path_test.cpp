#include <gtest/gtest.h>

#include "platform/error.h"
#include "platform/filesystem.h"

using namespace korvane;
using namespace korvane::platform;

TEST(Paths, CombineAndSplitNames) {
  EXPECT_EQ(CombinePath("", "a.log"), "a.log");
  EXPECT_EQ(CombinePath("/x/", "a.log"), "/x/a.log");
  EXPECT_EQ(CombinePath("/x", "a.log"), std::string("/x") + kPathDelim + "a.log");
  EXPECT_EQ(CombinePath("C:\\x\\", "a.log"), "C:\\x\\a.log");
  EXPECT_EQ(ExtractFileName("/a/b\\c.log"), "c.log");
  EXPECT_EQ(ExtractFileName("c.log"), "c.log");
  EXPECT_EQ(ExtractFileName("/a/"), "");
  EXPECT_EQ(ChangeFileExt("/a.b/c.log", ""), "/a.b/c");
  EXPECT_EQ(ChangeFileExt("/a.b/c", ".txt"), "/a.b/c.txt");
  for (const char* bad : {"a|b", "a<b", "a>b", "a\"b", "a\tb"})
    EXPECT_THROW(CombinePath("/x", bad), Error) << bad;
  EXPECT_THROW(CombinePath("/x|y", "a"), Error);
}
