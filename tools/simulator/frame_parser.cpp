#include "frame_parser.h"

#include <algorithm>

namespace korvane::simulator {

std::string MakeFrame(std::string_view aText) {
  std::string frame;
  frame.reserve(aText.size() + 2);
  frame += kSTX;
  frame += aText;
  frame += kETX;
  return frame;
}

bool FrameParser::Feed(std::string_view aData, std::vector<std::string>& aFrames) {
  bool ok = true;
  while (!aData.empty()) {
    if (!fInFrame) {
      const auto stx = aData.find(kSTX);
      if (stx == std::string_view::npos) {
        fSkipped += aData.size();
        return ok;
      }
      fSkipped += stx;
      aData.remove_prefix(stx + 1);
      fInFrame = true;
      continue;
    }
    // Inside a frame: take everything up to ETX, leaving out further STX bytes.
    const auto etx = aData.find(kETX);
    const auto part = aData.substr(0, etx);
    if (fBuffer.size() + part.size() > fMaxFrameSize) {
      fBuffer.clear();
      fBuffer.shrink_to_fit();
      fInFrame = false;
      ok = false;
      if (etx == std::string_view::npos) return ok;
      aData.remove_prefix(etx + 1);
      continue;
    }
    std::remove_copy(part.begin(), part.end(), std::back_inserter(fBuffer), kSTX);
    if (etx == std::string_view::npos) return ok;
    aFrames.push_back(std::move(fBuffer));
    fBuffer.clear();
    fInFrame = false;
    aData.remove_prefix(etx + 1);
  }
  return ok;
}

}  // namespace korvane::simulator
