// For tests only: what the library asked of the user interface of
// platform/ui.h.
#pragma once

#include <string>
#include <vector>

#include "platform/ui.h"

namespace korvane::platform {

// What the user interface was asked, in order, one line a request
// ("MessageBox:Error:text", "Terminate", "NotifyIcon:Add:1124:1",
// "WaitWindow:Show:156x50:18,17,120x16:75190C:FFFFFF:10:bold:Wait please ...",
// "WaitWindow:Hide", "WaitWindow:Destroy" ...).
std::vector<std::string> UiRequests();
void ClearUiRequests();

// From now on requests are recorded only: no message box waits for a click,
// no icon or wait window appears (on POSIX nothing is shown in any case).
void RecordUiRequestsOnly();

}  // namespace korvane::platform
