// Framing of the display protocol: every message travels as the byte STX
// (0x02), its UTF-8 text and the byte ETX (0x03). One connection may carry
// several frames, and a frame may arrive in any number of TCP segments.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::simulator {

inline constexpr char kSTX = '\x02';
inline constexpr char kETX = '\x03';

// STX, aText, ETX.
std::string MakeFrame(std::string_view aText);

// Collects frames from a byte stream. Bytes before an STX are skipped and
// counted; an STX inside a frame is dropped (the frame goes on), as the
// library drops STX from the replies it reads.
class FrameParser {
 public:
  explicit FrameParser(std::size_t aMaxFrameSize = 64u << 20) : fMaxFrameSize(aMaxFrameSize) {}

  // Appends the text of every frame that aData completes to aFrames. Returns
  // false when a frame grows beyond the maximum size; the parser then drops
  // what it holds and waits for the next STX.
  bool Feed(std::string_view aData, std::vector<std::string>& aFrames);

  bool InFrame() const { return fInFrame; }
  std::size_t PendingBytes() const { return fBuffer.size(); }
  std::size_t SkippedBytes() const { return fSkipped; }

 private:
  std::size_t fMaxFrameSize;
  bool fInFrame = false;
  std::string fBuffer;
  std::size_t fSkipped = 0;
};

}  // namespace korvane::simulator
