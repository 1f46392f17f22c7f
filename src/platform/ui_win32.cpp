// The user interface of a Windows host: real message boxes and the
// notification-area icon. Every request is recorded as well, as on POSIX.
#include <windows.h>
// (the system headers below need <windows.h> first)
#include <shellapi.h>

#include <mutex>
#include <vector>

#include "platform/ui.h"
#include "platform/ui_testing.h"
#include "platform/wide_win32.h"

namespace korvane::platform {
namespace {

struct UiState {
  std::mutex lock;
  std::vector<std::string> requests;
  ExceptionHook hook;
  HWND iconWindow = nullptr;
  bool recordOnly = false;
};

UiState& State() {
  static UiState state;
  return state;
}

// Records the request; false when it is to be recorded only.
bool Record(std::string aLine) {
  std::lock_guard<std::mutex> guard(State().lock);
  State().requests.push_back(std::move(aLine));
  return !State().recordOnly;
}

// A message-only window that receives the icon's notifications; made on
// first use by the thread that adds the icon.
HWND IconWindow() {
  std::lock_guard<std::mutex> guard(State().lock);
  if (State().iconWindow == nullptr)
    State().iconWindow = CreateWindowExW(0, L"STATIC", L"QORD_KORVANE_10", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                         nullptr, GetModuleHandleW(nullptr), nullptr);
  return State().iconWindow;
}

}  // namespace

void ShowMessageBox(const std::string& aText, MessageBoxIcon aIcon) {
  const bool error = aIcon == MessageBoxIcon::Error;
  if (!Record(std::string("MessageBox:") + (error ? "Error" : "Information") + ":" + aText)) return;
  MessageBoxW(nullptr, Widen(aText).c_str(), L"QORD_KORVANE_10",
              MB_OK | MB_TASKMODAL | MB_SETFOREGROUND | (error ? MB_ICONERROR : MB_ICONINFORMATION));
}

void ProcessMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // Not ours to take: put it back for the host's own loop.
      PostQuitMessage(static_cast<int>(message.wParam));
      break;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

void RequestTerminate() { Record("Terminate"); }

void AddNotifyIcon(int aCallbackMessage, int aIconId) {
  if (!Record("NotifyIcon:Add:" + std::to_string(aCallbackMessage) + ":" + std::to_string(aIconId))) return;
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof data;
  data.hWnd = IconWindow();
  data.uID = static_cast<UINT>(aIconId);
  data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  data.uCallbackMessage = static_cast<UINT>(aCallbackMessage);
  data.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
  lstrcpynW(data.szTip, L"QORD_KORVANE_10", ARRAYSIZE(data.szTip));
  if (data.hWnd != nullptr) Shell_NotifyIconW(NIM_ADD, &data);
}

void RemoveNotifyIcon(int aIconId) {
  if (!Record("NotifyIcon:Remove:" + std::to_string(aIconId))) return;
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof data;
  data.hWnd = IconWindow();
  data.uID = static_cast<UINT>(aIconId);
  if (data.hWnd != nullptr) Shell_NotifyIconW(NIM_DELETE, &data);
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
