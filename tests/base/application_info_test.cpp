#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

#include "base/application.h"
#include "platform/error.h"
#include "support/test_support.h"

using namespace korvane;
using ::testing::ElementsAre;

namespace {

tTK_ApplicationInfo LoadTable(const std::map<int, std::string>& aTable) {
  tTK_ApplicationInfo info;
  info.Load([&](int aId) -> std::optional<std::string> {
    auto found = aTable.find(aId);
    if (found == aTable.end()) return std::nullopt;
    return found->second;
  });
  return info;
}

}  // namespace

TEST(ApplicationInfo, ReadsTheLibrarysOwnVersionRecords) {
  korvane::testing::ScopedEnv lcAll("LC_ALL", "C");
  tTK_ApplicationInfo info;
  info.Load();
  EXPECT_EQ(info.Description(), "QEL Driver - Korvane Customer Display");
  EXPECT_EQ(info.Copyright().rfind("\xC2\xA9 2023 ", 0), 0u);
  EXPECT_EQ(info.Version(), "1.01");
  EXPECT_EQ(info.ReleaseDate(), EncodeDate(2024, 9, 17));
#ifdef _WIN32
  EXPECT_EQ(info.VersionString(), "[1.01 - 09/17/2024]");  // the en-US short date form of Wine
#else
  EXPECT_EQ(info.VersionString(), "[1.01 - 17/09/2024]");
#endif
  ASSERT_EQ(info.History().size(), 2u);
  EXPECT_EQ(info.History()[0]->Version(), "1.00");
  EXPECT_EQ(info.History()[0]->ReleaseDate(), EncodeDate(2023, 9, 28));
  EXPECT_THAT(info.History()[0]->Text(), ElementsAre("Rilascio Iniziale"));
  EXPECT_FALSE(info.History()[0]->Author().empty());
  EXPECT_EQ(info.History()[1]->Version(), "1.01");
  EXPECT_THAT(info.History()[1]->Text(),
              ElementsAre("Aggiunta possibilit\xC3\xA0 di selezionare i colori singolarmente"));
}

TEST(ApplicationInfo, BridgesGapsOfTenAndStopsAtEleven) {
  std::map<int, std::string> table = {{10000, "$VERSION=1"}, {10011, "$VERSION=2"}, {10023, "$VERSION=3"}};
  const auto info = LoadTable(table);
  EXPECT_EQ(info.Version(), "2");  // 10012..10022 are eleven misses in a row
  EXPECT_EQ(info.History().size(), 2u);
}

TEST(ApplicationInfo, CountsEmptyStringsAsMisses) {
  std::map<int, std::string> table;
  for (int id = 10000; id < 10011; ++id) table[id] = "";
  table[10011] = "$VERSION=never read";
  EXPECT_EQ(LoadTable(table).Version(), "");
}

TEST(ApplicationInfo, MatchesKeysAfterUpperCasing) {
  const auto info = LoadTable({{10000, "$author=early"},
                               {10001, "$version=2.00"},
                               {10002, "$ReleaseDate=xx/09/2024"},
                               {10003, "$PTEXT=a=b"},
                               {10004, "$TEXT=second"},
                               {10005, "$AUTHOR=KDP"},
                               {10006, "no key at all"},
                               {10007, "$APPDESCRIPTION="}});
  EXPECT_EQ(info.Version(), "2.00");
  ASSERT_EQ(info.History().size(), 1u);
  const auto& release = *info.History()[0];
  EXPECT_EQ(release.Author(), "KDP");                        // the earlier $author had no release to go to
  EXPECT_EQ(release.ReleaseDate(), EncodeDate(2024, 9, 1));  // day not a number: 1
  EXPECT_EQ(info.ReleaseDate(), release.ReleaseDate());
  EXPECT_THAT(release.Text(), ElementsAre("a=b", "second"));
  EXPECT_EQ(info.Description(), "");
}

TEST(ApplicationInfo, LeavesEverythingEmptyForAnEmptyTable) {
  const auto info = LoadTable({});
  EXPECT_EQ(info.Version(), "");
  EXPECT_EQ(info.ReleaseDate(), 0.0);
  EXPECT_TRUE(info.History().empty());
}

TEST(ApplicationInfo, FailsOnAReleaseDateOutsideTheCalendar) {
  try {
    LoadTable({{10000, "$VERSION=1"}, {10001, "$RELEASEDATE=31/02/2024"}});
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "Invalid argument to date encode");
  }
}

TEST(ApplicationInfo, CutsRecordsAt1024Characters) {
  const auto info = LoadTable({{10000, "$VERSION=" + std::string(2000, 'v')}});
  EXPECT_EQ(info.Version().size(), 1024u - 9u);
}

TEST(ExtractField, PicksFieldsOrTheRestOfTheText) {
  struct Case {
    std::string text;
    int index;
    bool toEnd;
    std::string expected;
  } cases[] = {
      {"a:b:c", 2, false, "b"},     {"a:b:c", 2, true, "b:c"}, {"a:b:c", 4, false, ""},
      {"a:b:c", 4, true, ""},       {"a:b:c", 0, false, ""},   {"a:b:c", 0, true, "a:b:c"},
      {"a:b:c", -1, true, "a:b:c"}, {"a:b:c", 1, false, "a"},  {"a:b:c", 3, false, "c"},
      {"abc", 1, false, "abc"},     {"abc", 2, true, ""},      {"a::c", 2, false, ""},
      {"", 1, false, ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ExtractField(c.text, c.index, ':', c.toEnd), c.expected)
        << c.text << " " << c.index << " " << c.toEnd;
}
