// The parameter list: entries, look-ups whatever the ASCII letter case, names found at once.
#include "device/parameter_list.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include "platform/error.h"
#include "support/test_support.h"

namespace korvane {
namespace {

using korvane::testing::ErrorOf;

TEST(ParameterNames, FindAllAtOnceWhatTheListFindsOneByOne) {
  kParameterList list;
  for (const char* entry :
       {"Mode=a", "mode=b", "Colour=x", "noequals", "=empty", "LongParameterNameBeyondEight=1",
        "longparameternamebeyondeight=2", "a=1", "`=grave", "[=bracket"})
    list.AppendEntry(entry);
  for (int i = 0; i < 40; ++i) list.Append("p" + std::to_string(i), std::to_string(i));
  static constexpr std::string_view kNames[] = {
      "mode", "colour", "noequals", "",   "longparameternamebeyondeight", "a", "missing", "@", "{",
      "[",    "p0",     "p39",      "p40"};
  const kParameterNames names(kNames);
  std::vector<int> found(names.Count(), 7);
  names.Find(list, found);
  for (size_t k = 0; k < std::size(kNames); ++k)
    EXPECT_EQ(found[k], list.IndexOfName(kNames[k])) << kNames[k];
  names.Find(kParameterList(), found);
  EXPECT_EQ(found, std::vector<int>(names.Count(), -1));
}

TEST(ParameterList, AppendsLowerCaseNamesAtOnceAsOneByOne) {
  const kParameterList::NamedValue entries[] = {{"HexLog", "True"},
                                                {"", "no name"},
                                                {"x:Mode", ""},
                                                {"\xC3\x89t\xC3\xA9", "\xE2\x82\xAC"},
                                                {"ABCxyz[@`{", "="}};
  kParameterList together, oneByOne;
  together.AppendEntry("first=1");
  oneByOne.AppendEntry("first=1");
  together.AppendLowerCaseNames(entries);
  for (const auto& e : entries) oneByOne.AppendLowerCaseName(e.name, e.value);
  EXPECT_EQ(together.Entries(), oneByOne.Entries());
  EXPECT_EQ(together.Entries(), (std::vector<std::string>{"first=1", "hexlog=True", "=no name", "x:mode=",
                                                          "\xC3\x89t\xC3\xA9=\xE2\x82\xAC", "abcxyz[@`{=="}));
  for (size_t i = 0; i < together.Count(); ++i) EXPECT_EQ(together.ValueAt(i), oneByOne.ValueAt(i));
}

}  // namespace
}  // namespace korvane
