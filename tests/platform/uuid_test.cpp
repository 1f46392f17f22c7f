#include "platform/uuid.h"

#include <gtest/gtest.h>

#include <set>

using namespace korvane;
using namespace korvane::platform;

TEST(Uuid, IsRandomAndWrittenInRegistryForm) {
  std::set<std::string> seen;
  for (int i = 0; i < 100; ++i) seen.insert(FormatUuid(NewUuid()));
  EXPECT_EQ(seen.size(), 100u);
  EXPECT_EQ(FormatUuid(Uuid{0x78, 0x56, 0x34, 0x12, 0xBC, 0x9A, 0xF0, 0xDE, 1, 2, 3, 4, 5, 6, 7, 8}),
            "{12345678-9ABC-DEF0-0102-030405060708}");
}
