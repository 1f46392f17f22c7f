// What the library asks of a user interface. A process without one (every
// process on this platform) gets honest stand-ins: message boxes are written
// to standard error, and every request is recorded so that it can be seen.
#pragma once

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

// The handler of exceptions that reach the user interface's message loop.
using ExceptionHook = std::function<void(const std::string& aMessage)>;
void SetExceptionHook(ExceptionHook aHook);
// Runs the registered hook, as the message loop would for an unhandled error.
void RaiseUnhandledException(const std::string& aMessage);

}  // namespace korvane::platform
