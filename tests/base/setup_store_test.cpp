// The settings store: named values, names matched without regard to case.
#include "base/setup_store.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <variant>

using namespace korvane;

TEST(Setup, MatchesNamesWithoutCaseAndKeepsTheFirstSpelling) {
  tTK_Setup setup;
  setup.Define("Port");
  setup.SetValue("PORT", int64_t{5});
  ASSERT_EQ(setup.Count(), 1u);
  EXPECT_EQ(setup.Entry(0).Name(), "Port");
  EXPECT_EQ(std::get<int64_t>(setup.GetValue("port")), 5);
  EXPECT_TRUE(std::holds_alternative<std::monostate>(setup.GetValue("never")));
  setup.SetValue("Speed", std::string("fast"));
  setup.Define("PORT");  // empties the value again
  EXPECT_TRUE(std::holds_alternative<std::monostate>(setup.GetValue("Port")));
  EXPECT_EQ(setup.Count(), 2u);
}
