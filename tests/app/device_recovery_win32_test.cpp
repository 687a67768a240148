// A lost GPU device in a running Application, through the device platform seam: the device
// reports itself removed, and the first four attempts to make a new one fail. Tessaline must
// rebuild what depends on the device, receive again from the sender in another process, show its
// frames again, and keep its title and pace log counting.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "app/application_win32.h"
#include "emulation/frame_code.h"
#include "support/app_driver_win32.h"
#include "support/device_faults_win32.h"
#include "support/peer_process_win32.h"
#include "support/weft_test_env_win32.h"

namespace tsl {
namespace {

HWND OwnWindow(const wchar_t* class_name, const wchar_t* caption) {
  return testing::WaitForWindowOf(GetCurrentProcessId(), class_name, caption);
}

// This process's visible top-level windows of a class.
int VisibleWindowsOf(const wchar_t* class_name) {
  struct Count {
    const wchar_t* class_name;
    int visible;
  } count{class_name, 0};
  EnumWindows(
      [](HWND hwnd, LPARAM data) -> BOOL {
        auto* c = reinterpret_cast<Count*>(data);
        DWORD pid = 0;
        GetWindowThreadProcessId(hwnd, &pid);
        wchar_t name[64] = {};
        GetClassNameW(hwnd, name, 64);
        if (pid == GetCurrentProcessId() && std::wstring(name) == c->class_name &&
            IsWindowVisible(hwnd)) {
          ++c->visible;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&count));
  return count.visible;
}

// An Application run on a thread of this process, windowed at 320x180 without vsync, receiving
// `sender`, as the program's entry point runs it.
class RunningApp {
 public:
  explicit RunningApp(const std::string& sender) {
    cfg_.senderName = sender;
    cfg_.width = 320;
    cfg_.height = 180;
    cfg_.vsync = false;
    runner_ = std::thread([this] { code_ = app_.Run(cfg_); });
    window_ = OwnWindow(L"TessalineWnd", nullptr);
  }
  ~RunningApp() {
    if (runner_.joinable()) Close();
  }
  HWND Window() const { return window_; }
  // Closes the window and returns Run's exit code.
  int Close() {
    PostMessageW(window_, WM_CLOSE, 0, 0);
    runner_.join();
    return code_;
  }

 private:
  AppConfig cfg_;
  Application app_;
  int code_ = -1;
  std::thread runner_;
  HWND window_ = nullptr;
};

// The presented count of "hold N% (repeats / presents)".
long long Presents(HWND window) {
  const std::wstring t = testing::WindowTitle(window);
  const size_t slash = t.find(L" / ");
  return slash == std::wstring::npos ? -1 : std::stoll(t.substr(slash + 3));
}

TEST(DeviceRecoveryTest, AfterALostDevicePresentingResumesAndTheCountsGoOn) {
  testing::ScopedWeftSetting frame_count(weft::kFrameCountValue, 1);
  testing::PeerProcess sender;
  ASSERT_TRUE(sender.Started());
  ASSERT_EQ(sender.Send("publish 7101 64 36 87 ff000000"), "ok");
  ASSERT_EQ(sender.Send("register TslRecovery 7101 64 36 87"), "ok");

  RunningApp app("TslRecovery");
  HWND window = app.Window();
  ASSERT_NE(window, nullptr);

  const auto shows = [window](uint32_t frame) {
    return [window, frame] {
      uint32_t w = 0;
      uint32_t h = 0;
      const std::vector<uint32_t> pixels = testing::CaptureClientArea(window, w, h);
      return !pixels.empty() && emulation::DecodeFrameCode(pixels, w, w, h / 2) == frame;
    };
  };
  ASSERT_EQ(sender.Send("frame TslRecovery 7101 1"), "ok");
  EXPECT_TRUE(testing::WaitUntil(shows(1)));
  ASSERT_TRUE(testing::WaitUntil([&] { return Presents(window) > 0; }));
  const long long presents_before = Presents(window);

  // The pace log's report box stays open through the outage: the recovery must not wait for
  // it. Four refused attempts make an outage of 100 + 200 + 400 + 800 ms, long enough for the
  // title to show it: no pace and no source, not the last figures over a black window.
  PostMessageW(window, WM_KEYDOWN, 'P', 0);
  HWND box = OwnWindow(L"#32770", L"Pace log written");
  ASSERT_NE(box, nullptr);
  Sleep(1'100);  // the title says "[CSV WRITTEN]" for a second
  const uint32_t devices_before = testing::DevicesCreated();
  testing::RefuseDeviceCreations(4);
  testing::LoseDevices();
  EXPECT_TRUE(testing::WaitUntil([&] {
    const std::wstring title = testing::WindowTitle(window);
    return title.find(L"pace 0.00 fps") != std::wstring::npos &&
           title.find(L"NO SOURCE") != std::wstring::npos;
  })) << "the title during the outage";
  EXPECT_TRUE(testing::WaitUntil([&] { return testing::DevicesCreated() == devices_before + 1; }))
      << "the recovery waited for the message box";
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  ASSERT_TRUE(testing::WaitUntil([&] { return !IsWindow(box); }));
  ASSERT_EQ(sender.Send("frame TslRecovery 7101 2"), "ok");
  EXPECT_TRUE(testing::WaitUntil(shows(2))) << "the new device does not show the sender's frames";
  EXPECT_TRUE(testing::WaitUntil([&] { return Presents(window) > presents_before + 10; }))
      << "the title stopped counting";

  // The pace log goes on across the recovery: consecutive ticks, with one long interval where
  // the device was rebuilt (four refused attempts: at least 1.5 s).
  const std::filesystem::path log = testing::BesideTestExecutable(L"pace_log.csv");
  std::filesystem::remove(log);
  PostMessageW(window, WM_KEYDOWN, 'P', 0);
  box = OwnWindow(L"#32770", L"Pace log written");
  ASSERT_NE(box, nullptr);
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  std::ifstream in(log, std::ios::binary);
  ASSERT_TRUE(in.is_open());
  std::string line;
  std::getline(in, line);
  long long previous_tick = -1;
  unsigned long long previous_wake = 0;
  double longest_ms = 0.0;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    long long tick = 0;
    unsigned long long target = 0, wake = 0;
    char comma = 0;
    fields >> tick >> comma >> target >> comma >> wake;
    if (previous_tick >= 0) {
      ASSERT_EQ(tick, previous_tick + 1);
      longest_ms = std::max(longest_ms, static_cast<double>(wake - previous_wake) / 1e4);
    }
    previous_tick = tick;
    previous_wake = wake;
  }
  EXPECT_GT(longest_ms, 1'500.0);
  in.close();
  std::filesystem::remove(log);

  EXPECT_EQ(app.Close(), 0);
  sender.Send("unlist TslRecovery");
}

// A sender picked while running (here by WM_COPYDATA, as the menu and a controlling program do)
// is the one received again after the device is rebuilt, not the command line's.
TEST(DeviceRecoveryTest, ASenderPickedWhileRunningIsKeptThroughTheRecovery) {
  testing::PeerProcess sender;
  ASSERT_TRUE(sender.Started());
  ASSERT_EQ(sender.Send("publish 7111 64 36 87 ff000000"), "ok");
  ASSERT_EQ(sender.Send("register TslRecoveryA 7111 64 36 87"), "ok");
  ASSERT_EQ(sender.Send("publish 7112 64 36 87 ff00ff00"), "ok");
  ASSERT_EQ(sender.Send("register TslRecoveryB 7112 64 36 87"), "ok");

  RunningApp app("TslRecoveryA");
  HWND window = app.Window();
  ASSERT_NE(window, nullptr);
  const auto receiving = [window](const wchar_t* name) {
    return [window, name] {
      const std::wstring title = testing::WindowTitle(window);
      return title.find(std::wstring(L"src \"") + name + L"\"") != std::wstring::npos &&
             title.find(L"connected") != std::wstring::npos;
    };
  };
  ASSERT_TRUE(testing::WaitUntil(receiving(L"TslRecoveryA"))) << "the command line's sender";

  ASSERT_TRUE(testing::PickSender(window, "TslRecoveryB"));
  ASSERT_TRUE(testing::WaitUntil(receiving(L"TslRecoveryB"))) << "the pick";

  const uint32_t devices_before = testing::DevicesCreated();
  testing::LoseDevices();
  ASSERT_TRUE(testing::WaitUntil([&] { return testing::DevicesCreated() == devices_before + 1; }));
  EXPECT_TRUE(testing::WaitUntil(receiving(L"TslRecoveryB")))
      << testing::WindowTitle(window).size();
  Sleep(1'000);  // and stays: nothing switches back to the command line's sender
  const std::wstring title = testing::WindowTitle(window);
  EXPECT_NE(title.find(L"src \"TslRecoveryB\""), std::wstring::npos);

  EXPECT_EQ(app.Close(), 0);
  sender.Send("unlist TslRecoveryA");
  sender.Send("unlist TslRecoveryB");
}

// Another program can send the window a right-click or a P while the menu's own loop runs. One
// modal at a time: neither opens anything inside the menu, and the menu's service timer (the
// recovery, the title) is not ended by them.
TEST(DeviceRecoveryTest, WhileTheMenuIsOpenNoSecondModalOpensAndRecoveryRuns) {
  testing::PeerProcess sender;
  ASSERT_TRUE(sender.Started());
  ASSERT_EQ(sender.Send("publish 7121 64 36 87 ff000000"), "ok");
  ASSERT_EQ(sender.Send("register TslModal 7121 64 36 87"), "ok");
  RunningApp app("TslModal");
  HWND window = app.Window();
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(testing::WaitUntil([&] { return Presents(window) > 0; }));

  SendNotifyMessageW(window, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(window), MAKELPARAM(20, 20));
  HWND menu = OwnWindow(L"#32768", nullptr);
  ASSERT_NE(menu, nullptr);
  ASSERT_TRUE(testing::WaitUntil([&] { return IsWindowVisible(menu) != FALSE; }));
  SendNotifyMessageW(window, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(window), MAKELPARAM(40, 40));
  const uint32_t devices_before = testing::DevicesCreated();
  testing::LoseDevices();
  EXPECT_TRUE(testing::WaitUntil([&] { return testing::DevicesCreated() == devices_before + 1; }))
      << "no recovery while the menu is open";
  const long long presents = Presents(window);
  EXPECT_TRUE(testing::WaitUntil([&] { return Presents(window) > presents + 10; }))
      << "the title stopped while the menu is open";

  // Sent, not posted: a posted key would be the menu's own, a sent one reaches the window.
  SendNotifyMessageW(window, WM_KEYDOWN, 'P', 0);
  EXPECT_EQ(testing::WaitForWindowOf(GetCurrentProcessId(), L"#32770", nullptr, 1'000), nullptr)
      << "a box opened inside the menu";
  EXPECT_EQ(VisibleWindowsOf(L"#32768"), 1) << "a menu opened inside the menu";

  SendNotifyMessageW(window, WM_CANCELMODE, 0, 0);
  EXPECT_TRUE(testing::WaitUntil([&] { return !IsWindowVisible(menu); }));
  EXPECT_EQ(app.Close(), 0);
  sender.Send("unlist TslModal");
}

}  // namespace
}  // namespace tsl
