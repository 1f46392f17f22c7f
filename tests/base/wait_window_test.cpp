// The wait window: its texts by language, its size and place, and the model
// it hands to the platform's user interface.
#include "base/wait_window.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/application.h"
#include "base/application_fixture.h"
#include "platform/ui_testing.h"

using namespace korvane;
using korvane::testing::ApplicationTest;
using ::testing::ElementsAre;

TEST(WaitWindow, ShowsTheItalianTextWithoutAnApplication) {
  ASSERT_EQ(TKApp, nullptr);
  tTK_Wait wait;
  EXPECT_EQ(wait.LabelText(), "");  // without an application the label keeps its text
  EXPECT_FALSE(wait.Started());
  EXPECT_EQ(wait.Color(), 0x75190Cu);
  EXPECT_EQ(wait.ClientHeight(), 50);
}

TEST_F(ApplicationTest, WaitWindowTextsFollowTheLanguage) {
  tTK_Wait& wait = App().Wait();
  wait.Start("");
  EXPECT_EQ(wait.LabelText(), "Attendere prego ...");
  struct Case {
    std::string language, text;
  } cases[] = {{"EN", "Wait please ..."},       {"fr", "Veuillez patienter ..."},
               {"Es", "Espere, por favor ..."}, {"pt", "Aguarde, por favor ..."},
               {"de", "Attendere prego ..."},   {"", "Attendere prego ..."}};
  for (const auto& c : cases) {
    App().SetLanguage(c.language);
    wait.Start("Loading");
    EXPECT_EQ(wait.LabelText(), c.text + "\r\nLoading") << c.language;
  }
  wait.Stop();
  EXPECT_FALSE(wait.Started());
  EXPECT_FALSE(wait.Visible());
  wait.Start("again");
  EXPECT_TRUE(wait.Started());
  EXPECT_TRUE(wait.Visible());
}

// What the platform's window is asked: shown by Start with the model's
// values, brought to a new text while shown only, hidden by Stop, ended with
// the object once it was made.
TEST_F(ApplicationTest, WaitWindowHandsItsModelToThePlatform) {
  App().SetLanguage("en");
  {
    tTK_Wait wait;
    wait.SetText("not shown");
    wait.Stop();
    EXPECT_TRUE(platform::UiRequests().empty());  // never shown: nothing asked, nothing to end
  }
  const std::string shown = "WaitWindow:Show:156x50:18,17,120x16:75190C:FFFFFF:10:bold:Wait please ...";
  {
    tTK_Wait wait;
    wait.Start("");
    EXPECT_THAT(platform::UiRequests(), ElementsAre(shown));
    EXPECT_EQ(wait.ClientWidth(), 156);
    EXPECT_EQ(wait.LabelLeft(), 18);
    wait.SetText("Step 2");
    wait.Start("");  // shown again: one request, with the new text
    wait.Stop();
    wait.SetText("while hidden");
    wait.Stop();
    EXPECT_THAT(
        platform::UiRequests(),
        ElementsAre(shown,
                    "WaitWindow:Show:156x50:18,9,120x32:75190C:FFFFFF:10:bold:Wait please ...\r\nStep 2",
                    shown, "WaitWindow:Hide"));
    platform::ClearUiRequests();
  }
  EXPECT_THAT(platform::UiRequests(), ElementsAre("WaitWindow:Destroy"));
}

TEST_F(ApplicationTest, WaitWindowFitsItsClientAreaAroundTheLabel) {
  tTK_Wait& wait = App().Wait();
  App().SetLanguage("en");
  wait.Start("");  // "Wait please ..." : 15 characters, one line
  EXPECT_EQ(wait.LabelWidth(), 15 * tTK_Wait::kCharWidth);
  EXPECT_EQ(wait.ClientWidth(), 156);  // 120 * 1.3
  EXPECT_EQ(wait.LabelLeft(), 18);
  EXPECT_EQ(wait.LabelTop(), (50 - 16) / 2);
  wait.Start("A somewhat longer second line");  // 29 characters, two lines
  EXPECT_EQ(wait.LabelWidth(), 29 * 8);
  EXPECT_EQ(wait.ClientWidth(), static_cast<int>(232 * 1.3));
  EXPECT_EQ(wait.LabelLeft(), (301 - 232) / 2);
  EXPECT_EQ(wait.LabelTop(), (50 - 32) / 2);
  EXPECT_EQ(wait.ClientHeight(), 50);
  EXPECT_EQ(wait.FontColor(), 0xFFFFFFu);
  EXPECT_TRUE(wait.FontBold());
  EXPECT_EQ(wait.FontSize(), 10);
}
