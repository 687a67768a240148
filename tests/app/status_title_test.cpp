#include "app/status_title.h"

#include <gtest/gtest.h>

#include <string>

#include "app/hotkeys.h"
#include "app/pace_log_path.h"
#include "weft/weft_protocol.h"

namespace tsl {
namespace {

TEST(StatusTitleTest, TheTitleForAGivenSetOfFigures) {
  TitleFigures f;
  f.adapter = L"NVIDIA GeForce GTX 470";
  f.sender = "Larkmoor Weft Output";
  f.measured_fps = 60.00024;
  f.pace.jitter_p99_ms = 0.0123;
  f.pace.jitter_max_ms = 1.5;
  f.pace.interval_min_ms = 16.5;
  f.pace.interval_max_ms = 16.8349;
  f.pace.interval_stddev_ms = 0.01234;
  f.pace.cb_p99_ms = 2.345;
  f.pace.hold_ratio = 0.505;
  f.repeated = 101;
  f.presented = 200;
  f.missed = 2;
  f.received = 99;
  f.connected = true;
  f.senders = 3;
  f.format = weft::kFormatBgra8;
  f.vsync = false;
  f.monitor = 1;
  f.cadence = CadenceMode::kLocked;
  f.pattern = "2-3";
  f.refresh_hz = 59.9401;
  f.clock_source = "statistics";
  EXPECT_EQ(FormatTitle(f),
            L"Tessaline  |  GPU: NVIDIA GeForce GTX 470  |  src \"Larkmoor Weft Output\"  |  "
            L"pace 60.00 fps  |  jitter p99=0.01ms max=1.50ms  |  interval [16.50..16.83]ms "
            L"\u03C3=0.012ms  |  cb p99=2.35ms  |  hold 50% (101 / 200)  |  missed 2  |  recv 99"
            L"  |  connected (3 avail)  |  fmt BGRA8  |  vsync off  |  mon1  |  cadence 2-3 @ "
            L"59.94 Hz (statistics)  [F11=fs F12=mon V=vsync P=dump-csv ESC=exit]");
  // The overlay shows the same figures, a line each, without the name, adapter and keys, and
  // the frame age (which the title has no room for) after recv: a dash until a frame is aged.
  std::vector<std::wstring> lines = OverlayLines(f);
  ASSERT_EQ(lines.size(), 14u);
  EXPECT_EQ(lines.front(), L"src \"Larkmoor Weft Output\"");
  EXPECT_EQ(lines[1], L"pace 60.00 fps");
  EXPECT_EQ(lines[5], L"hold 50% (101 / 200)");
  EXPECT_EQ(lines[8], L"frame age -");
  EXPECT_EQ(lines.back(), L"cadence 2-3 @ 59.94 Hz (statistics)");
  f.aged_frames = 30;
  f.frame_age_p50_ms = 4.5;
  f.frame_age_p99_ms = 21.126;
  lines = OverlayLines(f);
  ASSERT_EQ(lines.size(), 14u);
  EXPECT_EQ(lines[7], L"recv 99");
  EXPECT_EQ(lines[8], L"frame age p50=4.50ms p99=21.13ms");
  f.format = 10;
  f.dithered = true;
  EXPECT_EQ(OverlayLines(f)[10], L"fmt RGBA16F, dithered to 8 bits");
  f.notice = L"pace log written: C:\\show\\pace_log.csv";
  EXPECT_EQ(OverlayLines(f).front(), f.notice);
  // The other ways ticks can follow the display.
  struct Case {
    CadenceMode shown;
    bool smooth;
    bool above_refresh;
    const wchar_t* text;
  };
  for (const Case c :
       {Case{CadenceMode::kLocked, true, false,
             L"  |  cadence 2-3 @ 59.94 Hz (statistics, smooth)  ["},
        Case{CadenceMode::kLocked, false, true,
             L"  |  cadence 2-3 @ 59.94 Hz (statistics, fps above refresh)  ["},
        Case{CadenceMode::kEveryRefresh, false, false, L"  |  cadence every refresh  ["},
        Case{CadenceMode::kNoClock, false, false,
             L"  |  cadence every refresh (no display clock)  ["},
        Case{CadenceMode::kTimer, false, false, L"  |  cadence timer  ["}}) {
    f.cadence = c.shown;
    f.smooth = c.smooth;
    f.above_refresh = c.above_refresh;
    EXPECT_NE(FormatTitle(f).find(c.text), std::wstring::npos) << c.text;
  }
}

TEST(StatusTitleTest, BeforeAnySenderAndWithOverlongNames) {
  TitleFigures f;
  f.adapter = L"A";
  const std::wstring title = FormatTitle(f);
  EXPECT_NE(title.find(L"src \"(none)\""), std::wstring::npos);
  EXPECT_NE(title.find(L"hold 0% (0 / 0)"), std::wstring::npos);
  EXPECT_NE(title.find(L"NO SOURCE (0 avail)  |  fmt unknown  |  vsync on  |  mon0"),
            std::wstring::npos);

  f.sender = std::string(255, '\xE9');  // 8-bit bytes become the units of the same value
  f.adapter = std::wstring(700, L'g');
  const std::wstring cut = FormatTitle(f);
  EXPECT_EQ(cut.size(), 1023u);
  EXPECT_NE(cut.find(std::wstring(255, L'\u00E9')), std::wstring::npos);
}

TEST(StatusTitleTest, PixelFormatNames) {
  struct Case {
    int32_t format;
    const char* name;
  };
  for (const Case& c :
       {Case{0, "unknown"}, Case{2, "RGBA32F"}, Case{10, "RGBA16F"}, Case{11, "RGBA16"},
        Case{24, "R10G10B10A2"}, Case{27, "RGBA8_typeless"}, Case{28, "RGBA8"},
        Case{29, "RGBA8_sRGB"}, Case{87, "BGRA8"}, Case{90, "BGRA8_typeless"},
        Case{91, "BGRA8_sRGB"}, Case{1, "other"}, Case{-1, "other"}, Case{88, "other"}}) {
    EXPECT_STREQ(PixelFormatName(c.format), c.name) << c.format;
  }
}

TEST(HotkeysTest, KeysAndTheNextMonitor) {
  EXPECT_EQ(HotkeyFor(0x1B), Hotkey::kEscape);
  EXPECT_EQ(HotkeyFor('A'), Hotkey::kToggleLetterbox);
  EXPECT_EQ(HotkeyFor('C'), Hotkey::kToggleCursor);
  EXPECT_EQ(HotkeyFor('G'), Hotkey::kToggleOverlay);
  EXPECT_EQ(HotkeyFor('P'), Hotkey::kWritePaceLog);
  EXPECT_EQ(HotkeyFor('T'), Hotkey::kToggleTopmost);
  EXPECT_EQ(HotkeyFor('V'), Hotkey::kToggleVsync);
  EXPECT_EQ(HotkeyFor(0x7A), Hotkey::kToggleFullscreen);
  EXPECT_EQ(HotkeyFor(0x7B), Hotkey::kNextMonitor);
  EXPECT_EQ(HotkeyFor('v'), Hotkey::kNone);  // virtual keys are upper case; 'v' is VK_F7
  EXPECT_EQ(HotkeyFor(0x7C), Hotkey::kNone);

  EXPECT_EQ(NextMonitorIndex(0, 1), 0);
  EXPECT_EQ(NextMonitorIndex(5, 1), 0);  // an index given for a monitor that does not exist
  EXPECT_EQ(NextMonitorIndex(0, 2), 1);
  EXPECT_EQ(NextMonitorIndex(1, 2), 0);
  EXPECT_EQ(NextMonitorIndex(2147483647, 3), 2);  // no overflow
}

TEST(PaceLogPathTest, BesideTheExecutableInUtf8OrRefused) {
  std::wstring wide;
  std::string utf8;
  ASSERT_TRUE(PaceLogPath(L"C:\\Program Files\\Tessaline\\tessaline.exe", wide, utf8));
  EXPECT_EQ(wide, L"C:\\Program Files\\Tessaline\\pace_log.csv");
  EXPECT_EQ(utf8, "C:\\Program Files\\Tessaline\\pace_log.csv");

  ASSERT_TRUE(PaceLogPath(L"D:\\\u00DCbertragung\\\u65E5\\tessaline.exe", wide, utf8));
  EXPECT_EQ(utf8,
            "D:\\\xC3\x9C"
            "bertragung\\\xE6\x97\xA5\\pace_log.csv");
  ASSERT_TRUE(PaceLogPath(L"", wide, utf8));  // the module path could not be read
  EXPECT_EQ(utf8, "pace_log.csv");

  // 259 units of CJK text need three bytes each: the UTF-8 path would not fit 520 bytes.
  const std::wstring deep = L"C:\\" + std::wstring(170, L'\u65E5') + L"\\tessaline.exe";
  EXPECT_FALSE(PaceLogPath(deep, wide, utf8));
  const std::wstring fits = L"C:\\" + std::wstring(160, L'\u65E5') + L"\\tessaline.exe";
  EXPECT_TRUE(PaceLogPath(fits, wide, utf8));  // 3 + 480 + 1 + 12 bytes and the terminator
}

}  // namespace
}  // namespace tsl
