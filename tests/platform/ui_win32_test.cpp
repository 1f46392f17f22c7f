// The wait window as Windows shows it: a real top-most tool window without
// a border, centred on the screen, with its label, never taking the focus.
#include <windows.h>
// (after <windows.h>)
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "platform/ui.h"

using namespace korvane::platform;

namespace {

// This process's wait window (other test programs may show theirs meanwhile).
HWND FindWaitWindow() {
  for (HWND w = nullptr; (w = FindWindowExW(nullptr, w, L"QORD_KORVANE_10.Wait", nullptr)) != nullptr;) {
    DWORD process = 0;
    GetWindowThreadProcessId(w, &process);
    if (process == GetCurrentProcessId()) return w;
  }
  return nullptr;
}

std::wstring TextOf(HWND aWindow) {
  wchar_t text[256] = {};
  GetWindowTextW(aWindow, text, 256);
  return text;
}

// The window's rectangle relative to its parent's client area.
RECT PlaceOf(HWND aWindow) {
  RECT r;
  GetWindowRect(aWindow, &r);
  MapWindowPoints(nullptr, GetParent(aWindow), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

WaitWindowView View(const std::string& aText, int aLabelHeight) {
  WaitWindowView v;
  v.text = aText;
  v.clientWidth = 156;
  v.clientHeight = 50;
  v.labelLeft = 18;
  v.labelTop = (50 - aLabelHeight) / 2;
  v.labelWidth = 120;
  v.labelHeight = aLabelHeight;
  v.color = 0x75190C;  // RGB(12, 25, 117)
  v.fontColor = 0xFFFFFF;
  v.fontSize = 10;
  v.fontBold = true;
  return v;
}

}  // namespace

TEST(WaitWindowWin32, IsATopMostBorderlessCentredWindowWithItsLabel) {
  ASSERT_EQ(FindWaitWindow(), nullptr);  // made on the first show, not before
  const HWND foreground = GetForegroundWindow();
  ShowWaitWindow(View("Wait please ...", 16));
  const HWND window = FindWaitWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(GetWindowThreadProcessId(window, nullptr), GetCurrentThreadId());
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_EQ(GetForegroundWindow(), foreground);  // shown without taking the focus
  EXPECT_NE(GetActiveWindow(), window);

  const LONG style = GetWindowLongW(window, GWL_STYLE);
  const LONG extended = GetWindowLongW(window, GWL_EXSTYLE);
  EXPECT_TRUE(style & WS_POPUP);
  EXPECT_FALSE(style & (WS_CAPTION | WS_BORDER | WS_THICKFRAME | WS_DLGFRAME));
  EXPECT_TRUE(extended & WS_EX_TOPMOST);
  EXPECT_TRUE(extended & WS_EX_TOOLWINDOW);

  RECT client;
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, 156);
  EXPECT_EQ(client.bottom, 50);
  RECT outer;
  GetWindowRect(window, &outer);
  EXPECT_EQ(outer.left, (GetSystemMetrics(SM_CXSCREEN) - 156) / 2);
  EXPECT_EQ(outer.top, (GetSystemMetrics(SM_CYSCREEN) - 50) / 2);
  EXPECT_EQ(outer.right - outer.left, 156);  // no frame around the client area

  const HWND label = GetWindow(window, GW_CHILD);
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(TextOf(label), L"Wait please ...");
  const RECT place = PlaceOf(label);
  EXPECT_EQ(place.left, 18);
  EXPECT_EQ(place.top, 17);
  EXPECT_EQ(place.right - place.left, 120);
  EXPECT_EQ(place.bottom - place.top, 16);
  EXPECT_TRUE(GetWindowLongW(label, GWL_STYLE) & SS_CENTER);

  // The label's colours, as the window answers the label's question, and its font.
  HDC dc = CreateCompatibleDC(nullptr);
  const auto brush = reinterpret_cast<HBRUSH>(
      SendMessageW(window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(label)));
  EXPECT_EQ(GetTextColor(dc), RGB(255, 255, 255));
  EXPECT_EQ(GetBkColor(dc), RGB(12, 25, 117));
  LOGBRUSH fill{};
  ASSERT_EQ(GetObjectW(brush, sizeof fill, &fill), static_cast<int>(sizeof fill));
  EXPECT_EQ(fill.lbColor, RGB(12, 25, 117));
  LOGFONTW font{};
  ASSERT_EQ(GetObjectW(reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0)), sizeof font, &font),
            static_cast<int>(sizeof font));
  EXPECT_EQ(font.lfWeight, FW_BOLD);
  EXPECT_EQ(font.lfHeight, -MulDiv(10, GetDeviceCaps(dc, LOGPIXELSY), 72));
  DeleteDC(dc);

  // A new text while shown: the same window, its label and size brought along.
  ShowWaitWindow(View("Wait please ...\r\nStep 2", 32));
  EXPECT_EQ(FindWaitWindow(), window);
  EXPECT_EQ(TextOf(label), L"Wait please ...\r\nStep 2");
  EXPECT_EQ(PlaceOf(label).top, 9);
  EXPECT_EQ(PlaceOf(label).bottom - PlaceOf(label).top, 32);

  HideWaitWindow();
  EXPECT_FALSE(IsWindowVisible(window));
  ShowWaitWindow(View("Wait please ...", 16));
  EXPECT_TRUE(IsWindowVisible(window));
  DestroyWaitWindow();
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(FindWaitWindow(), nullptr);
  DestroyWaitWindow();  // nothing left to end
}

// A window made by a thread that is busy (not reading its messages) is
// shown, changed and ended from another thread without waiting for it; it
// closes once its thread reads its messages again.
TEST(WaitWindowWin32, CallsFromAnotherThreadNeverWaitForTheWindowsThread) {
  std::atomic<HWND> window{nullptr};
  std::atomic<bool> busy{true};
  std::atomic<bool> closed{false};
  std::atomic<bool> made{false};
  std::thread owner([&] {
    ShowWaitWindow(View("Wait please ...", 16));
    window = FindWaitWindow();
    made = true;
    while (busy) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    for (int i = 0; i < 500 && IsWindow(window); ++i) {  // reads its messages again, 5 s at most
      MSG message;
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    closed = !IsWindow(window);
  });
  for (int i = 0; i < 500 && !made; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  if (window == nullptr) {
    busy = false;
    owner.join();
    FAIL() << "no wait window was made";
  }

  const auto start = std::chrono::steady_clock::now();
  ShowWaitWindow(View("Wait please ...\r\nStep 2", 32));
  HideWaitWindow();
  DestroyWaitWindow();
  // (each call waits a second at most for the busy thread)
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  busy = false;
  owner.join();
  EXPECT_TRUE(closed);
}
