// Framing of the display protocol: STX, text, ETX, in any split.
#include "frame_parser.h"

#include <gtest/gtest.h>

using korvane::simulator::FrameParser;
using korvane::simulator::MakeFrame;

namespace {

std::vector<std::string> FeedInPieces(FrameParser& aParser, const std::string& aBytes, std::size_t aPiece) {
  std::vector<std::string> frames;
  for (std::size_t at = 0; at < aBytes.size(); at += aPiece)
    EXPECT_TRUE(aParser.Feed(std::string_view(aBytes).substr(at, aPiece), frames));
  return frames;
}

}  // namespace

TEST(FrameParser, FindsTheSameFramesWhateverTheSplit) {
  const std::string stream =
      MakeFrame(R"({"Idle":{}})") + MakeFrame("{\"Message\":{\"Text1\":\"Crème brûlée\"}}") + MakeFrame("");
  for (std::size_t piece : {std::size_t(1), std::size_t(2), std::size_t(3), std::size_t(7), stream.size()}) {
    FrameParser parser;
    const auto frames = FeedInPieces(parser, stream, piece);
    ASSERT_EQ(frames.size(), 3u) << "pieces of " << piece;
    EXPECT_EQ(frames[0], R"({"Idle":{}})");
    EXPECT_EQ(frames[1], "{\"Message\":{\"Text1\":\"Crème brûlée\"}}");
    EXPECT_EQ(frames[2], "");
    EXPECT_FALSE(parser.InFrame());
  }
}

TEST(FrameParser, SkipsBytesOutsideFramesAndDropsStxInsideOne) {
  FrameParser parser;
  std::vector<std::string> frames;
  EXPECT_TRUE(parser.Feed("noise\x02{\"a\x02\":1}\x03trailing", frames));
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0], "{\"a\":1}");
  EXPECT_EQ(parser.SkippedBytes(), 5u + 8u);
}

TEST(FrameParser, KeepsAnUnfinishedFrameUntilItsEtx) {
  FrameParser parser;
  std::vector<std::string> frames;
  EXPECT_TRUE(parser.Feed("\x02{\"Close\"", frames));
  EXPECT_TRUE(frames.empty());
  EXPECT_TRUE(parser.InFrame());
  EXPECT_EQ(parser.PendingBytes(), 8u);
  EXPECT_TRUE(parser.Feed(":{}}\x03", frames));
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0], "{\"Close\":{}}");
}

TEST(FrameParser, DropsAFrameAboveTheLimitAndGoesOnWithTheNext) {
  FrameParser parser(10);
  std::vector<std::string> frames;
  EXPECT_FALSE(parser.Feed("\x02" + std::string(11, 'x') + "\x03\x02ok\x03", frames));
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0], "ok");
}
