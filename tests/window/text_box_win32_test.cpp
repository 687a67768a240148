// The fixed-pitch text box under Wine: opened on a thread of this process, read back, closed.
#include "window/text_box_win32.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "support/app_driver_win32.h"

namespace tsl {
namespace {

int ExtentOf(HDC dc, const wchar_t* text) {
  SIZE size{0, 0};
  GetTextExtentPoint32W(dc, text, static_cast<int>(wcslen(text)), &size);
  return size.cx;
}

TEST(FixedPitchTextBoxTest, ColumnsKeepTheirPlaceAndTheBoxStaysOnTheScreen) {
  const std::string columns =
      "  --fps F           ticks a second\n"
      "  --sender NAME     the sender to show\n"
      "  --list-monitors   index, name, mode, refresh rate, primary: 0 \"DELL\" 3840x2160\n";
  std::string tall;
  for (int i = 0; i < 400; ++i) tall += "line " + std::to_string(i) + "\n";
  for (const std::string& text : {columns, tall}) {
    SCOPED_TRACE(text.substr(0, 20));
    std::thread shower([&] { ShowFixedPitchText(L"Tessaline text", text); });
    HWND box =
        testing::WaitForWindowOf(GetCurrentProcessId(), L"#32770", L"Tessaline text", 10'000);
    if (box == nullptr) {
      ADD_FAILURE() << "no box opened";
      shower.detach();
      return;
    }
    HWND edit = FindWindowExW(box, nullptr, L"Edit", nullptr);
    ASSERT_NE(edit, nullptr);
    std::wstring shown(static_cast<size_t>(GetWindowTextLengthW(edit)) + 1, L'\0');
    shown.resize(
        static_cast<size_t>(GetWindowTextW(edit, shown.data(), static_cast<int>(shown.size()))));
    std::wstring expected;
    for (char c : text) {
      if (c == '\n') expected += L'\r';
      expected += static_cast<wchar_t>(c);
    }
    EXPECT_EQ(shown, expected);  // every line, in the line ends an edit control shows

    HDC dc = GetDC(edit);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(edit, WM_GETFONT, 0, 0)));
    // A proportional font (the message box's) draws "iiii" far narrower than "WWWW".
    EXPECT_EQ(ExtentOf(dc, L"iiii"), ExtentOf(dc, L"WWWW"));
    const int widest = ExtentOf(
        dc, L"  --list-monitors   index, name, mode, refresh rate, primary: 0 \"DELL\" 3840x2160");
    SelectObject(dc, old);
    ReleaseDC(edit, dc);
    RECT client{};
    GetClientRect(edit, &client);
    if (text == columns) {
      EXPECT_GE(client.right - client.left, widest);  // no line cut
    }

    RECT outer{};
    GetWindowRect(box, &outer);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(box, MONITOR_DEFAULTTOPRIMARY), &monitor);
    EXPECT_GE(outer.top, monitor.rcWork.top);
    EXPECT_LE(outer.bottom, monitor.rcWork.bottom);  // a tall text scrolls instead

    PostMessageW(box, WM_COMMAND, IDOK, 0);
    shower.join();
    EXPECT_FALSE(IsWindow(box));
  }
}

}  // namespace
}  // namespace tsl
