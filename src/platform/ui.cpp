// The user interface as the library asks for it: every request recorded (for
// tests), then shown by the system's half unless tests asked for the record
// only; the exception hook. The same on every system.
#include "platform/ui.h"

#include <cstdio>
#include <mutex>
#include <vector>

#include "platform/ui_system.h"
#include "platform/ui_testing.h"

namespace korvane::platform {
namespace {

struct UiState {
  std::mutex lock;
  std::vector<std::string> requests;
  ExceptionHook hook;
  bool recordOnly = false;
};

UiState& State() {
  // Destroyed with the module, after the library's own shut-down code ran.
  static UiState state;
  return state;
}

// Records the request; false when it is to be recorded only.
bool Record(std::string aLine) {
  std::lock_guard<std::mutex> guard(State().lock);
  State().requests.push_back(std::move(aLine));
  return !State().recordOnly;
}

}  // namespace

void ShowMessageBox(const std::string& aText, MessageBoxIcon aIcon) {
  const char* kind = aIcon == MessageBoxIcon::Error ? "Error" : "Information";
  if (Record(std::string("MessageBox:") + kind + ":" + aText)) ui_system::ShowMessageBox(aText, aIcon);
}

void RequestTerminate() { Record("Terminate"); }

void AddNotifyIcon(int aCallbackMessage, int aIconId) {
  if (Record("NotifyIcon:Add:" + std::to_string(aCallbackMessage) + ":" + std::to_string(aIconId)))
    ui_system::AddNotifyIcon(aCallbackMessage, aIconId);
}

void RemoveNotifyIcon(int aIconId) {
  if (Record("NotifyIcon:Remove:" + std::to_string(aIconId))) ui_system::RemoveNotifyIcon(aIconId);
}

void ShowWaitWindow(const WaitWindowView& aView) {
  char colors[32];
  std::snprintf(colors, sizeof colors, "%06X:%06X", static_cast<unsigned>(aView.color & 0xFFFFFFu),
                static_cast<unsigned>(aView.fontColor & 0xFFFFFFu));
  const auto n = [](int aValue) { return std::to_string(aValue); };
  if (Record("WaitWindow:Show:" + n(aView.clientWidth) + "x" + n(aView.clientHeight) + ":" +
             n(aView.labelLeft) + "," + n(aView.labelTop) + "," + n(aView.labelWidth) + "x" +
             n(aView.labelHeight) + ":" + colors + ":" + n(aView.fontSize) +
             (aView.fontBold ? ":bold:" : ":plain:") + aView.text))
    ui_system::ShowWaitWindow(aView);
}

void HideWaitWindow() {
  if (Record("WaitWindow:Hide")) ui_system::HideWaitWindow();
}

void DestroyWaitWindow() {
  if (Record("WaitWindow:Destroy")) ui_system::DestroyWaitWindow();
}

void SetExceptionHook(ExceptionHook aHook) {
  std::lock_guard<std::mutex> guard(State().lock);
  State().hook = std::move(aHook);
}

void RaiseUnhandledException(const std::string& aMessage) {
  ExceptionHook hook;
  {
    std::lock_guard<std::mutex> guard(State().lock);
    hook = State().hook;
  }
  if (hook) hook(aMessage);
}

std::vector<std::string> UiRequests() {
  std::lock_guard<std::mutex> guard(State().lock);
  return State().requests;
}

void ClearUiRequests() {
  std::lock_guard<std::mutex> guard(State().lock);
  State().requests.clear();
}

void RecordUiRequestsOnly() {
  std::lock_guard<std::mutex> guard(State().lock);
  State().recordOnly = true;
}

}  // namespace korvane::platform
