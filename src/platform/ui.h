// What the library asks of a user interface. A process without one (every
// process on this platform) gets honest stand-ins: message boxes are written
// to standard error, and every request is recorded so that it can be seen.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace korvane::platform {

enum class MessageBoxIcon { Information, Error };

// A modal message box with one OK button; here a line on standard error.
void ShowMessageBox(const std::string& aText, MessageBoxIcon aIcon);

// Processes the pending messages of the user interface (nothing to do here).
void ProcessMessages();

// Asks the user interface to end the application; recorded, not acted on: a
// library never ends its host.
void RequestTerminate();

// The notification-area icon.
void AddNotifyIcon(int aCallbackMessage, int aIconId);
void RemoveNotifyIcon(int aIconId);

// The wait window: a small borderless window that stays on top of the
// others, filled with one colour, with one label of bold text in it, placed
// in the middle of the screen. Shown without taking the focus; made on the
// first show by the thread that shows it; nothing is drawn where there is no
// user interface.
struct WaitWindowView {
  std::string text;  // the label's text, lines split by CR LF
  int clientWidth = 0;
  int clientHeight = 0;
  int labelLeft = 0;  // the label's place in the client area
  int labelTop = 0;
  int labelWidth = 0;
  int labelHeight = 0;
  uint32_t color = 0;      // the background, as 0xBBGGRR
  uint32_t fontColor = 0;  // the text, as 0xBBGGRR
  int fontSize = 0;        // in points
  bool fontBold = false;
};
// Shows the wait window as aView says (making it first), or brings a shown
// one to aView (a new text, size and place).
void ShowWaitWindow(const WaitWindowView& aView);
void HideWaitWindow();
// Ends the window made by ShowWaitWindow, if any.
void DestroyWaitWindow();

// The handler of exceptions that reach the user interface's message loop.
using ExceptionHook = std::function<void(const std::string& aMessage)>;
void SetExceptionHook(ExceptionHook aHook);
// Runs the registered hook, as the message loop would for an unhandled error.
void RaiseUnhandledException(const std::string& aMessage);

}  // namespace korvane::platform
