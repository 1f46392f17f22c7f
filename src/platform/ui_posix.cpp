// POSIX hosts have no message boxes and no notification area: a message goes
// to standard error, icons to nowhere.
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

void ProcessMessages() {}

}  // namespace korvane::platform
