#include <cstdio>
#include <mutex>
#include <vector>

#include "platform/ui.h"
#include "platform/ui_testing.h"

namespace korvane::platform {
namespace {

struct UiState {
  std::mutex lock;
  std::vector<std::string> requests;
  ExceptionHook hook;
};

UiState& State() {
  // Destroyed with the module, after the library's own shut-down code ran.
  static UiState state;
  return state;
}

void Record(std::string aLine) {
  std::lock_guard<std::mutex> guard(State().lock);
  State().requests.push_back(std::move(aLine));
}

}  // namespace

void ShowMessageBox(const std::string& aText, MessageBoxIcon aIcon) {
  const char* kind = aIcon == MessageBoxIcon::Error ? "Error" : "Information";
  std::fprintf(stderr, "[%s] %s\n", kind, aText.c_str());
  Record(std::string("MessageBox:") + kind + ":" + aText);
}

void ProcessMessages() {}

void RequestTerminate() { Record("Terminate"); }

void AddNotifyIcon(int aCallbackMessage, int aIconId) {
  Record("NotifyIcon:Add:" + std::to_string(aCallbackMessage) + ":" + std::to_string(aIconId));
}

void RemoveNotifyIcon(int aIconId) { Record("NotifyIcon:Remove:" + std::to_string(aIconId)); }

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

void RecordUiRequestsOnly() {}

}  // namespace korvane::platform
