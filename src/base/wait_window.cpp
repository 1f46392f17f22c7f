// The wait window: text, size and placement computed here, the window shown
// by the platform's user interface.
#include "base/wait_window.h"

#include <algorithm>
#include <cctype>

#include "base/application.h"
#include "helpers/ascii.h"
#include "platform/ui.h"
#include "helpers/utf.h"

namespace korvane {

tTK_Wait::tTK_Wait() { SetText(""); }

tTK_Wait::~tTK_Wait() {
  if (fShownOnce) platform::DestroyWaitWindow();
}

void tTK_Wait::Show() {
  platform::WaitWindowView view;
  view.text = fLabelText;
  view.clientWidth = fClientWidth;
  view.clientHeight = fClientHeight;
  view.labelLeft = fLabelLeft;
  view.labelTop = fLabelTop;
  view.labelWidth = fLabelWidth;
  view.labelHeight = fLabelHeight;
  view.color = Color();
  view.fontColor = FontColor();
  view.fontSize = FontSize();
  view.fontBold = FontBold();
  fShownOnce = true;
  platform::ShowWaitWindow(view);
}

void tTK_Wait::SetText(const std::string& aValue) {
  if (TKApp) {
    const std::string language = AsciiLower(TKApp->Language());
    if (language == "en")
      fLabelText = fText_EN;
    else if (language == "fr")
      fLabelText = fText_FR;
    else if (language == "es")
      fLabelText = fText_ES;
    else if (language == "pt")
      fLabelText = fText_PT;
    else
      fLabelText = fText_IT;
  }
  if (!aValue.empty()) fLabelText += "\r\n" + aValue;

  // Label size from its lines, then the window fitted around it.
  int lines = 0;
  size_t widest = 0;
  size_t start = 0;
  for (;;) {
    const size_t end = fLabelText.find("\r\n", start);
    const std::string line =
        fLabelText.substr(start, end == std::string::npos ? std::string::npos : end - start);
    widest = std::max(widest, platform::Utf16Length(line));
    ++lines;
    if (end == std::string::npos) break;
    start = end + 2;
  }
  fLabelWidth = static_cast<int>(widest) * kCharWidth;
  fLabelHeight = lines * kLineHeight;
  fClientWidth = static_cast<int>(fLabelWidth * 1.3);
  fClientHeight = kClientHeight;
  fLabelLeft = (fClientWidth - fLabelWidth) / 2;
  fLabelTop = (fClientHeight - fLabelHeight) / 2;
  if (fVisible) Show();  // a shown window takes the new text at once
}

void tTK_Wait::Start(const std::string& aText) {
  fVisible = false;  // shown once below, with the new text
  SetText(aText);
  fVisible = true;
  fStarted = true;
  Show();
  platform::ProcessMessages();
}

void tTK_Wait::Stop() {
  if (fVisible) platform::HideWaitWindow();
  fStarted = false;
  fVisible = false;
}

}  // namespace korvane
