// The display messages built from the request documents.
#include <gtest/gtest.h>

#include <string>

#include "display/korvane/display_driver.h"
#include "display/korvane/json_writer.h"

using namespace korvane;

namespace {

// The frame and the logged text of a text message, member by member.
std::string FrameByMembers(kJsonName aName, const kMessage& aMessage, bool aForLog) {
  kJsonObject o(aName, std::string(), aForLog ? "" : "\x02");
  if (!aMessage.fText1.empty()) o.AddString("Text1", aMessage.fText1);
  if (!aMessage.fText2.empty()) o.AddString("Text2", aMessage.fText2);
  if (!aMessage.fImage.empty()) o.AddString("Image", aForLog ? "..." : aMessage.fImage);
  return o.TakeText() + (aForLog ? "" : "\x03");
}

}  // namespace

TEST(KorvaneMessages, TextMessagesAreWhatTheirMembersMakeWhateverTheirTexts) {
  struct Case {
    std::string text1, text2, image;
  } cases[] = {
      {"", "", ""},
      {"a", "", ""},
      {"", "b", ""},
      {"Organic whole milk 1 L", "1 x 1.29 EUR", ""},
      {"a/b", "", ""},                                     // escaped
      {"plain", "q\"b\\", ""},                             // escaped in the second
      {"\x01\x1f", "tab\there", ""},                       // control characters
      {"Milch 1 \xE2\x82\xAC", "\xC3\xBC", ""},            // UTF-8 as it is
      {std::string(200, 'x'), std::string(200, 'y'), ""},  // long, in one piece
      {std::string(240, 'x'), std::string(240, 'y'), ""},  // longer than the short way takes
      {"with", "image", "abc"},                            // an image: logged as "..."
  };
  for (const kJsonName name : {kJsonName("Message"), kJsonName("Thankyou"), kJsonName("Idle")}) {
    for (const Case& c : cases) {
      kMessage m;
      m.fText1 = c.text1;
      m.fText2 = c.text2;
      m.fImage = c.image;
      std::string buffer = "left over from the last message";
      const kKorvaneMessage message = BuildTextMessage(name, m, std::move(buffer));
      EXPECT_EQ(message.fFrame, FrameByMembers(name, m, false)) << name.Text() << " " << c.text1;
      EXPECT_EQ(message.Logged(), FrameByMembers(name, m, true)) << name.Text() << " " << c.text1;
    }
  }
}
