// The wait window: a small borderless window asking the user to wait.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvane {

// A small borderless window asking the user to wait. Its content, size,
// colours and placement are computed here and can be read; the platform's
// user interface shows it (a real top-most window on Windows, nothing on
// POSIX). The window is made on the first Start, by the calling thread, and
// ended with this object.
class tTK_Wait {
 public:
  // Label metrics of this platform: bold 10-point text, 8 px per character,
  // 16 px per line.
  static constexpr int kCharWidth = 8;
  static constexpr int kLineHeight = 16;
  static constexpr int kClientHeight = 50;
  static constexpr uint32_t kColor = 0x75190C;  // RGB(12, 25, 117) as blue-green-red

  tTK_Wait();
  ~tTK_Wait();
  tTK_Wait(const tTK_Wait&) = delete;
  tTK_Wait& operator=(const tTK_Wait&) = delete;

  void Start(const std::string& aText);
  void Stop();
  void SetText(const std::string& aValue);

  bool Started() const { return fStarted; }
  bool Visible() const { return fVisible; }
  const std::string& LabelText() const { return fLabelText; }
  int ClientWidth() const { return fClientWidth; }
  int ClientHeight() const { return fClientHeight; }
  int LabelWidth() const { return fLabelWidth; }
  int LabelHeight() const { return fLabelHeight; }
  int LabelLeft() const { return fLabelLeft; }
  int LabelTop() const { return fLabelTop; }
  uint32_t Color() const { return kColor; }
  uint32_t FontColor() const { return 0xFFFFFF; }
  int FontSize() const { return 10; }
  bool FontBold() const { return true; }
  bool StaysOnTop() const { return true; }
  bool Bordered() const { return false; }

  const std::string fText_IT = "Attendere prego ...";
  const std::string fText_EN = "Wait please ...";
  const std::string fText_ES = "Espere, por favor ...";
  const std::string fText_PT = "Aguarde, por favor ...";
  const std::string fText_FR = "Veuillez patienter ...";

 private:
  // Hands the model to the platform's wait window.
  void Show();

  bool fShownOnce = false;  // the platform made its window
  bool fStarted = false;
  bool fVisible = false;
  std::string fLabelText;
  int fClientWidth = 100;
  int fClientHeight = kClientHeight;
  int fLabelWidth = 0;
  int fLabelHeight = 0;
  int fLabelLeft = 0;
  int fLabelTop = 0;
};

}  // namespace korvane
