// The user interface of a Windows host: real message boxes, the
// notification-area icon and the wait window.
#include <windows.h>
// (the system headers below need <windows.h> first)
#include <shellapi.h>

#include <mutex>
#include <string>
#include <utility>

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

// ---- the wait window ---------------------------------------------------------
// A WS_POPUP window (top-most, a tool window: no taskbar button) with one
// STATIC child for the label. Its class's procedure is the system's own; the
// window is subclassed with ours while it lives, so that nothing of this
// module is called once the window is given back to the system. Every call
// from a thread other than the window's own is one that does not wait for
// that thread (which may not be reading its messages), or waits a bounded
// time.

constexpr wchar_t kWaitClass[] = L"QORD_KORVANE_10.Wait";
constexpr UINT kWaitMessageTimeoutMs = 1000;

struct WaitWindow {
  std::mutex lock;
  HWND window = nullptr;
  HWND label = nullptr;
  DWORD thread = 0;  // the thread that made the window
  HFONT font = nullptr;
  int fontSize = 0;
  bool fontBold = false;
  HBRUSH brush = nullptr;
  COLORREF color = 0;
  COLORREF fontColor = 0;
};

WaitWindow& Wait() {
  static WaitWindow wait;
  return wait;
}

HINSTANCE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

LRESULT CALLBACK WaitWindowProc(HWND aWindow, UINT aMessage, WPARAM aWParam, LPARAM aLParam) {
  switch (aMessage) {
    case WM_ERASEBKGND: {
      RECT client;
      GetClientRect(aWindow, &client);
      std::lock_guard<std::mutex> guard(Wait().lock);
      FillRect(reinterpret_cast<HDC>(aWParam), &client, Wait().brush);
      return 1;
    }
    case WM_CTLCOLORSTATIC: {  // the label: white on the window's colour
      std::lock_guard<std::mutex> guard(Wait().lock);
      HDC dc = reinterpret_cast<HDC>(aWParam);
      SetTextColor(dc, Wait().fontColor);
      SetBkColor(dc, Wait().color);
      return reinterpret_cast<LRESULT>(Wait().brush);
    }
    case WM_MOUSEACTIVATE: return MA_NOACTIVATE;  // a click does not take the focus either
    default: return DefWindowProcW(aWindow, aMessage, aWParam, aLParam);
  }
}

// Makes the window on this thread; false when the system refuses.
bool MakeWaitWindow(WaitWindow& aWait) {
  WNDCLASSEXW type{};
  type.cbSize = sizeof type;
  type.lpfnWndProc = DefWindowProcW;
  type.hInstance = ThisModule();
  type.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT));
  type.lpszClassName = kWaitClass;
  if (!RegisterClassExW(&type) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
  aWait.window = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kWaitClass, L"", WS_POPUP, 0, 0, 0, 0,
                                 nullptr, nullptr, type.hInstance, nullptr);
  if (aWait.window == nullptr) return false;
  aWait.label = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_CENTER | SS_NOPREFIX, 0, 0, 0,
                                0, aWait.window, nullptr, type.hInstance, nullptr);
  SetWindowLongPtrW(aWait.window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WaitWindowProc));
  aWait.thread = GetCurrentThreadId();
  return true;
}

// The label's font: bold (or not) at aPoints points on this screen.
HFONT MakeFont(int aPoints, bool aBold) {
  HDC screen = GetDC(nullptr);
  const int height = -MulDiv(aPoints, GetDeviceCaps(screen, LOGPIXELSY), 72);
  ReleaseDC(nullptr, screen);
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  LOGFONTW face{};
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
    face = metrics.lfMessageFont;
  face.lfHeight = height;
  face.lfWidth = 0;
  face.lfWeight = aBold ? FW_BOLD : FW_NORMAL;
  return CreateFontIndirectW(&face);
}

}  // namespace

void ui_system::ShowWaitWindow(const WaitWindowView& aView) {
  WaitWindow& wait = Wait();
  HWND window;
  HWND label;
  HFONT font;
  HFONT oldFont = nullptr;  // deleted once the label holds the new one
  bool foreign;
  {
    std::lock_guard<std::mutex> guard(wait.lock);
    if (wait.window == nullptr && !MakeWaitWindow(wait)) return;  // no window: the wait is only not shown
    foreign = wait.thread != GetCurrentThreadId();
    if (wait.font == nullptr || wait.fontSize != aView.fontSize || wait.fontBold != aView.fontBold) {
      if (HFONT made = MakeFont(aView.fontSize, aView.fontBold)) {
        oldFont = wait.font;
        wait.font = made;
        wait.fontSize = aView.fontSize;
        wait.fontBold = aView.fontBold;
      }
    }
    if (wait.brush == nullptr || wait.color != aView.color) {
      if (HBRUSH brush = CreateSolidBrush(aView.color)) {
        if (wait.brush) DeleteObject(wait.brush);
        wait.brush = brush;
        wait.color = aView.color;
      }
    }
    wait.fontColor = aView.fontColor;
    window = wait.window;
    label = wait.label;
    font = wait.font;
  }
  // (outside the lock: the window's procedure takes it)
  const UINT async = foreign ? SWP_ASYNCWINDOWPOS : 0;
  DWORD_PTR ignored;
  if (SendMessageTimeoutW(label, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE, SMTO_ABORTIFHUNG,
                          kWaitMessageTimeoutMs, &ignored) &&
      oldFont)
    DeleteObject(oldFont);
  const std::wstring text = Widen(aView.text);
  SendMessageTimeoutW(label, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG,
                      kWaitMessageTimeoutMs, &ignored);
  // The client area is the whole window (no border, no caption), centred on
  // the primary screen.
  const int left = (GetSystemMetrics(SM_CXSCREEN) - aView.clientWidth) / 2;
  const int top = (GetSystemMetrics(SM_CYSCREEN) - aView.clientHeight) / 2;
  SetWindowPos(window, HWND_TOPMOST, left, top, aView.clientWidth, aView.clientHeight,
               SWP_NOACTIVATE | async);
  SetWindowPos(label, nullptr, aView.labelLeft, aView.labelTop, aView.labelWidth, aView.labelHeight,
               SWP_NOZORDER | SWP_NOACTIVATE | async);
  ShowWindowAsync(window, SW_SHOWNOACTIVATE);  // (on the window's own thread: at once)
  InvalidateRect(window, nullptr, TRUE);
}

void ui_system::HideWaitWindow() {
  HWND window;
  {
    std::lock_guard<std::mutex> guard(Wait().lock);
    window = Wait().window;
  }
  if (window) ShowWindowAsync(window, SW_HIDE);
}

void ui_system::DestroyWaitWindow() {
  WaitWindow& wait = Wait();
  WaitWindow ended;
  {
    std::lock_guard<std::mutex> guard(wait.lock);
    if (wait.window == nullptr) return;
    ended.window = std::exchange(wait.window, nullptr);
    ended.label = std::exchange(wait.label, nullptr);
    ended.font = std::exchange(wait.font, nullptr);
    ended.brush = std::exchange(wait.brush, nullptr);
    ended.thread = wait.thread;
  }
  // Given back to the system's procedure first: nothing of this module runs
  // for the window from here on.
  SetWindowLongPtrW(ended.window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&DefWindowProcW));
  if (ended.thread == GetCurrentThreadId()) {
    DestroyWindow(ended.window);  // the label with it
    UnregisterClassW(kWaitClass, ThisModule());
    if (ended.font) DeleteObject(ended.font);
  } else {
    // Only the window's own thread may end it: hidden, and closed when that
    // thread next reads its messages; the label keeps its font until then.
    ShowWindowAsync(ended.window, SW_HIDE);
    PostMessageW(ended.window, WM_CLOSE, 0, 0);
  }
  if (ended.brush) DeleteObject(ended.brush);  // (the system's procedure paints nothing with it)
}

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
