// POSIX hosts have no message boxes, no notification area and no windows: a
// message goes to standard error, icons and the wait window to nowhere.
#include <cstdio>

#include "platform/ui.h"
#include "platform/ui_system.h"

namespace korvane::platform {

void ui_system::ShowMessageBox(const std::string& aText, MessageBoxIcon aIcon) {
  const char* kind = aIcon == MessageBoxIcon::Error ? "Error" : "Information";
  std::fprintf(stderr, "[%s] %s\n", kind, aText.c_str());
}

void ui_system::AddNotifyIcon(int, int) {}

void ui_system::RemoveNotifyIcon(int) {}

void ui_system::ShowWaitWindow(const WaitWindowView&) {}

void ui_system::HideWaitWindow() {}

void ui_system::DestroyWaitWindow() {}

void ProcessMessages() {}

}  // namespace korvane::platform
