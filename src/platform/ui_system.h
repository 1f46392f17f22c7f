// The system's half of the user interface, one file per system behind this
// header; ui.cpp records every request and then hands it here unless tests
// asked for the record only. Internal to the platform layer.
#pragma once

#include <string>

#include "platform/ui.h"

namespace korvane::platform::ui_system {

void ShowMessageBox(const std::string& aText, MessageBoxIcon aIcon);
void AddNotifyIcon(int aCallbackMessage, int aIconId);
void RemoveNotifyIcon(int aIconId);
void ShowWaitWindow(const WaitWindowView& aView);
void HideWaitWindow();
void DestroyWaitWindow();

}  // namespace korvane::platform::ui_system
