// The user interface of a Windows host: real message boxes and the
// notification-area icon.
#include <windows.h>
// (the system headers below need <windows.h> first)
#include <shellapi.h>

#include <mutex>

#include "platform/ui.h"
#include "platform/ui_system.h"
#include "platform/wide_win32.h"

namespace korvane::platform {
namespace {

// A message-only window that receives the icon's notifications; made on
// first use by the thread that adds the icon.
HWND IconWindow() {
  static std::mutex lock;
  static HWND window = nullptr;
  std::lock_guard<std::mutex> guard(lock);
  if (window == nullptr)
    window = CreateWindowExW(0, L"STATIC", L"QORD_KORVANE_10", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
  return window;
}

}  // namespace

void ui_system::ShowMessageBox(const std::string& aText, MessageBoxIcon aIcon) {
  const bool error = aIcon == MessageBoxIcon::Error;
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

void ui_system::AddNotifyIcon(int aCallbackMessage, int aIconId) {
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

void ui_system::RemoveNotifyIcon(int aIconId) {
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof data;
  data.hWnd = IconWindow();
  data.uID = static_cast<UINT>(aIconId);
  if (data.hWnd != nullptr) Shell_NotifyIconW(NIM_DELETE, &data);
}

}  // namespace korvane::platform
