#include "display/korvane/json_writer.h"

#include <gtest/gtest.h>

#include <climits>

#include "display/korvane/image_sources.h"
#include "helpers/base64.h"

using namespace korvane;

TEST(KorvaneJson, WritesStringsWithTheProtocolsEscapes) {
  struct Case {
    std::string text, json;
  } cases[] = {
      {"", "\"\""},
      {"plain", "\"plain\""},
      {"a/b", "\"a\\/b\""},
      {"http://x/y", "\"http:\\/\\/x\\/y\""},
      {"q\"b\\", "\"q\\\"b\\\\\""},
      {"\b\t\n\f\r", "\"\\b\\t\\n\\f\\r\""},
      {std::string("\x01\x1f\0z", 4), "\"\\u0001\\u001f\\u0000z\""},
      {"\xE2\x82\xAC \xC3\xA0", "\"\xE2\x82\xAC \xC3\xA0\""},  // non-ASCII as it is
  };
  for (const auto& c : cases) {
    std::string out;
    AppendJsonString(out, c.text);
    EXPECT_EQ(out, c.json) << c.text;
  }
}

TEST(KorvaneJson, WritesAmountsInShortestFormWithOneFractionDigit) {
  struct Case {
    int64_t value;
    std::string text;
  } cases[] = {{100000, "10.0"},
               {125000, "12.5"},
               {1, "0.0001"},
               {0, "0.0"},
               {-32500, "-3.25"},
               {12345678, "1234.5678"},
               {-1, "-0.0001"},
               {10000, "1.0"},
               {INT64_MIN, "-922337203685477.5808"},
               {INT64_MAX, "922337203685477.5807"}};
  for (const auto& c : cases) {
    EXPECT_EQ(FormatJsonAmount(c.value), c.text) << c.value;
    kJsonObject member;  // the same as a member, after another
    member.AddBool("B", true);
    member.AddAmount("Amount", c.value);
    EXPECT_EQ(member.Text(), "{\"B\":true,\"Amount\":" + c.text + "}") << c.value;
  }
}

TEST(KorvaneJson, KeepsMemberOrderAndDuplicates) {
  kJsonObject line;
  line.AddString("Type", "Sale");
  line.AddAmount("Amount", 15000);
  kJsonObject message("Receipt");
  EXPECT_TRUE(message.Empty());
  message.AddString("Image", "first");
  message.AddBool("Show", false);
  message.AddInteger("N", -12);
  message.AddArray("Lines", {line, line});
  message.AddArray("Payments", {});
  message.AddString("Image", "second");
  EXPECT_FALSE(message.Empty());
  const std::string expected =
      "{\"Receipt\":{\"Image\":\"first\",\"Show\":false,\"N\":-12,\"Lines\":[{\"Type\":\"Sale\",\"Amount\":1."
      "5},"
      "{\"Type\":\"Sale\",\"Amount\":1.5}],\"Payments\":[],\"Image\":\"second\"}}";
  EXPECT_EQ(message.Text(), expected);
  EXPECT_EQ(message.TakeText(), expected);
}

TEST(KorvaneJson, WrapsAnEmptyObject) {
  kJsonObject close("Close");
  EXPECT_EQ(close.TakeText(), "{\"Close\":{}}");
  kJsonObject plain;
  plain.AddObject("Inner", kJsonObject());
  EXPECT_EQ(plain.Text(), "{\"Inner\":{}}");
}

TEST(KorvaneJson, WritesBase64StraightIntoTheText) {
  std::string bytes;
  for (unsigned i = 0; i < 700000; ++i) bytes += static_cast<char>(i * 7919u % 256u);
  // Mixed bytes, and bytes whose every character is a "/" (twice the room
  // the text takes for mixed ones), with slices of every remainder.
  for (const std::string& image : {bytes, std::string(40001, '\xff'), bytes.substr(0, 12290)}) {
    kJsonObject plain;
    plain.AddBase64("Image", image);
    // The same text as escaping the Base64 text as a string.
    std::string expected = "{\"Image\":";
    AppendJsonString(expected, Base64Encode(image));
    EXPECT_EQ(plain.Text(), expected + "}");
  }
  kJsonObject small;
  small.AddBase64("A", "\xff\xfe\xfd");
  small.AddBase64("B", "");
  EXPECT_EQ(small.Text(), "{\"A\":\"\\/\\/79\",\"B\":\"\"}");
}

TEST(KorvaneJson, WritesIntoAGivenBufferAfterALead) {
  std::string buffer = "left over from the last message";
  buffer.reserve(4096);
  const char* const room = buffer.data();
  kJsonObject message("Message", std::move(buffer), "\x02");
  EXPECT_TRUE(message.Empty());
  message.AddString("Text1", "a/b");
  kJsonObject copy = message;
  copy.DropLead();
  copy.AddString("Image", "...");
  EXPECT_EQ(copy.Text(), "{\"Message\":{\"Text1\":\"a\\/b\",\"Image\":\"...\"}}");
  const std::string text = message.TakeText();
  EXPECT_EQ(text, "\x02{\"Message\":{\"Text1\":\"a\\/b\"}}");
  EXPECT_EQ(text.data(), room);  // the buffer's own room
  EXPECT_EQ(message.TakeText(), "{}");

  kJsonObject empty("Idle", std::string(), "");
  EXPECT_EQ(empty.TakeText(), "{\"Idle\":{}}");
}

TEST(KorvaneJson, WritesArraysOfObjectsInPlaceAsAddArrayDoes) {
  for (const size_t count : {0, 1, 3}) {
    kJsonObject item;
    item.AddString("Type", "Sale");
    item.AddAmount("Amount", 15000);
    kJsonObject expected("Receipt");
    expected.AddString("Currency", "EUR");
    expected.AddArray("Lines", std::vector<kJsonObject>(count, item));
    expected.AddBool("Show", true);

    kJsonObject streamed("Receipt");
    streamed.AddString("Currency", "EUR");
    const size_t from = streamed.Size();
    streamed.BeginArray("Lines");
    for (size_t i = 0; i < count; ++i) {
      streamed.BeginItem();
      streamed.AddString("Type", "Sale");
      streamed.AddAmount("Amount", 15000);
      streamed.EndItem();
    }
    streamed.EndArray();
    // A copy with members of its own takes the array's text after them;
    // one without, without the comma before it.
    kJsonObject copy("Receipt");
    copy.AddString("Currency", "EUR");
    copy.AppendMembers(streamed.TextFrom(from));
    kJsonObject bare("Receipt");
    bare.AppendMembers(streamed.TextFrom(from));
    streamed.AddBool("Show", true);
    copy.AddBool("Show", true);
    EXPECT_EQ(streamed.Text(), expected.Text()) << count;
    EXPECT_EQ(copy.Text(), expected.Text()) << count;
    kJsonObject expectedBare("Receipt");
    expectedBare.AddArray("Lines", std::vector<kJsonObject>(count, item));
    EXPECT_EQ(bare.Text(), expectedBare.Text()) << count;
  }
}
