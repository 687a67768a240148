// The real window under Wine on the test display.
#include "window/main_window_win32.h"

#include <gtest/gtest.h>

#include <vector>

#include "window/monitors_win32.h"

namespace tsl {
namespace {

RECT WindowRect(HWND hwnd) {
  RECT r{};
  GetWindowRect(hwnd, &r);
  return r;
}

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

LONG_PTR ExStyle(HWND hwnd) { return GetWindowLongPtrW(hwnd, GWL_EXSTYLE); }

class MainWindowTest : public ::testing::Test {
 protected:
  void TearDown() override {
    window_.Destroy();
    // Destroying the window posts a quit message to this thread; the program reads none after
    // its loop, but the next test in this process must not see it.
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
  }
  MainWindow window_;
};

TEST_F(MainWindowTest, ClientAreaHasExactlyTheRequestedSize) {
  ASSERT_TRUE(window_.Create(L"Tessaline", 1280, 720, false));
  RECT client{};
  ASSERT_TRUE(GetClientRect(window_.hwnd, &client));
  EXPECT_EQ(client.right - client.left, 1280);
  EXPECT_EQ(client.bottom - client.top, 720);
  EXPECT_TRUE(IsWindowVisible(window_.hwnd));
  wchar_t class_name[64] = {};
  GetClassNameW(window_.hwnd, class_name, 64);
  EXPECT_STREQ(class_name, L"TessalineWnd");
  EXPECT_EQ(GetWindowLongPtrW(window_.hwnd, GWL_STYLE) & WS_OVERLAPPEDWINDOW,
            static_cast<LONG_PTR>(WS_OVERLAPPEDWINDOW));
}

TEST_F(MainWindowTest, APostedCloseEndsPumpingOnTheSameCall) {
  ASSERT_TRUE(window_.Create(L"Tessaline", 320, 200, false));
  EXPECT_TRUE(window_.PumpMessages());
  PostMessageW(window_.hwnd, WM_CLOSE, 0, 0);
  EXPECT_FALSE(window_.PumpMessages());
  EXPECT_FALSE(IsWindow(window_.hwnd));  // the window procedure destroyed it
  EXPECT_FALSE(window_.PumpMessages());
}

TEST_F(MainWindowTest, KeyDownsReachTheCallbackAndSystemKeysDoNot) {
  ASSERT_TRUE(window_.Create(L"Tessaline", 320, 200, false));
  std::vector<uint64_t> keys;
  window_.SetKeyCallback([&](uint64_t key) { keys.push_back(key); });
  PostMessageW(window_.hwnd, WM_KEYDOWN, 'V', 0);
  PostMessageW(window_.hwnd, WM_KEYDOWN, 'V', 0x40000000);       // auto-repeat: once more
  PostMessageW(window_.hwnd, WM_SYSKEYDOWN, VK_F4, 0x20000000);  // with Alt
  PostMessageW(window_.hwnd, WM_SYSKEYDOWN, VK_F10, 0);
  PostMessageW(window_.hwnd, WM_KEYDOWN, VK_F11, 0);
  window_.PumpMessages();
  EXPECT_EQ(keys, (std::vector<uint64_t>{'V', 'V', VK_F11}));
}

TEST_F(MainWindowTest, TopmostAndNoActivateStyles) {
  ASSERT_TRUE(window_.Create(L"Tessaline", 320, 200, true));
  EXPECT_TRUE(ExStyle(window_.hwnd) & WS_EX_NOACTIVATE);
  EXPECT_EQ(SendMessageW(window_.hwnd, WM_MOUSEACTIVATE, 0, MAKELPARAM(HTCLIENT, WM_LBUTTONDOWN)),
            MA_NOACTIVATEANDEAT);
  window_.SetTopmost(true);
  EXPECT_TRUE(window_.topmost);
  EXPECT_TRUE(ExStyle(window_.hwnd) & WS_EX_TOPMOST);
  window_.SetTopmost(false);
  EXPECT_FALSE(ExStyle(window_.hwnd) & WS_EX_TOPMOST);

  MainWindow activating;
  ASSERT_TRUE(activating.Create(L"Other", 100, 100, false));
  EXPECT_FALSE(ExStyle(activating.hwnd) & WS_EX_NOACTIVATE);
  EXPECT_NE(SendMessageW(activating.hwnd, WM_MOUSEACTIVATE, 0, MAKELPARAM(HTCLIENT, 0)),
            MA_NOACTIVATEANDEAT);
  DestroyWindow(activating.hwnd);
  activating.hwnd = nullptr;
}

TEST_F(MainWindowTest, HiddenCursorOverTheClientAreaOnly) {
  ASSERT_TRUE(window_.Create(L"Tessaline", 320, 200, false));
  window_.SetCursorHidden(true);
  EXPECT_EQ(SendMessageW(window_.hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(window_.hwnd),
                         MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)),
            TRUE);
  EXPECT_EQ(GetCursor(), nullptr);
  // Over the caption the default handling applies and sets a cursor again.
  SendMessageW(window_.hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(window_.hwnd),
               MAKELPARAM(HTCAPTION, WM_MOUSEMOVE));
  EXPECT_NE(GetCursor(), nullptr);
}

TEST_F(MainWindowTest, FullscreenCoversTheMonitorAndExitRestoresTheFirstPlacement) {
  const std::vector<MonitorInfo> monitors = EnumerateMonitors();
  ASSERT_FALSE(monitors.empty());
  EXPECT_TRUE(monitors[0].primary);

  ASSERT_TRUE(window_.Create(L"Tessaline", 640, 360, true));
  window_.SetTopmost(true);
  const RECT before = WindowRect(window_.hwnd);
  const LONG_PTR style = GetWindowLongPtrW(window_.hwnd, GWL_STYLE);
  const LONG_PTR ex_style = ExStyle(window_.hwnd);

  // An index beyond the monitors changes nothing.
  EXPECT_FALSE(window_.EnterFullscreen(static_cast<int32_t>(monitors.size())));
  EXPECT_FALSE(window_.EnterFullscreen(-1));
  EXPECT_FALSE(window_.fullscreen);
  EXPECT_TRUE(SameRect(WindowRect(window_.hwnd), before));

  ASSERT_TRUE(window_.EnterFullscreen(0));
  EXPECT_TRUE(window_.fullscreen);
  EXPECT_TRUE(SameRect(WindowRect(window_.hwnd), monitors[0].rect));
  // The system adds WS_CLIPSIBLINGS to every top-level window.
  EXPECT_EQ(GetWindowLongPtrW(window_.hwnd, GWL_STYLE) & ~static_cast<LONG_PTR>(WS_CLIPSIBLINGS),
            static_cast<LONG_PTR>(WS_POPUP | WS_VISIBLE));
  EXPECT_EQ(ExStyle(window_.hwnd) & ~static_cast<LONG_PTR>(WS_EX_TOPMOST),
            static_cast<LONG_PTR>(WS_EX_APPWINDOW));
  EXPECT_TRUE(ExStyle(window_.hwnd) & WS_EX_TOPMOST);

  // A failed move to another index keeps the fullscreen window where it is.
  EXPECT_FALSE(window_.EnterFullscreen(static_cast<int32_t>(monitors.size())));
  EXPECT_TRUE(window_.fullscreen);
  ASSERT_TRUE(window_.EnterFullscreen(0));  // again: the first saved placement stays

  window_.ExitFullscreen();
  EXPECT_FALSE(window_.fullscreen);
  EXPECT_TRUE(SameRect(WindowRect(window_.hwnd), before));
  EXPECT_EQ(GetWindowLongPtrW(window_.hwnd, GWL_STYLE), style);
  EXPECT_EQ(ExStyle(window_.hwnd), ex_style);
  EXPECT_TRUE(ExStyle(window_.hwnd) & WS_EX_TOPMOST);

  window_.ExitFullscreen();  // windowed: nothing
  EXPECT_TRUE(SameRect(WindowRect(window_.hwnd), before));

  EXPECT_TRUE(window_.ToggleFullscreen(0));
  EXPECT_FALSE(window_.ToggleFullscreen(0));
  EXPECT_FALSE(window_.fullscreen);
}

TEST_F(MainWindowTest, OperationsWithoutAWindowOnlyStoreTheirFlags) {
  window_.SetTopmost(true);
  window_.SetCursorHidden(true);
  EXPECT_TRUE(window_.topmost);
  EXPECT_TRUE(window_.cursorHidden);
  EXPECT_FALSE(window_.EnterFullscreen(0));
  window_.ExitFullscreen();
  EXPECT_FALSE(window_.fullscreen);
}

}  // namespace
}  // namespace tsl
