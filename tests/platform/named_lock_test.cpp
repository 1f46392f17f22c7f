#include "platform/named_lock.h"

#include <gtest/gtest.h>

#include "platform/uuid.h"

using namespace korvane;
using namespace korvane::platform;

TEST(NamedLock, HasOneHolderAtATime) {
  const std::string name = "korvane-test-" + FormatUuid(NewUuid());
  auto first = CreateNamedLock(name);
  auto second = CreateNamedLock(name);
  EXPECT_TRUE(first->TryAcquire());
  EXPECT_FALSE(second->TryAcquire());
  first->Release();
  EXPECT_TRUE(second->TryAcquire());
}
