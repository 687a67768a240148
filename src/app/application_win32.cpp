#include "app/application_win32.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/hotkeys.h"
#include "app/startup_win32.h"
#include "base/qpc.h"
#include "window/monitors_win32.h"

namespace tsl {

namespace {

constexpr DWORD kMainLoopSleepMs = 50;
constexpr DWORD kFirstRetryMs = 100;
constexpr DWORD kLongestRetryMs = 2000;
constexpr UINT_PTR kServiceTimerId = 1;

}  // namespace

Application::~Application() { watchdog.Stop(); }

int Application::Run(const AppConfig& cfg) {
  config = cfg;
  for (const std::string& warning : cfg.warnings) Warn(warning);
  if (RateRefused(cfg)) return StartupFailure("Failed to start pace controller\n");
  takeWait = WeftReceiveThread::TakeWaitFor(cfg.fps);
  const int32_t start_monitor = StartMonitor(cfg);
  monitorIndex = start_monitor >= 0 ? start_monitor : 0;

  const bool created = output.Create(cfg, [this](MainWindow& window) {
    window.SetKeyCallback([this](uint64_t key) { OnKey(key); });
    window.SetTimerCallback([this] { Service(); });
    window.SetDisplayChangeCallback([this] { output.RestateDisplayTiming(true); });
    window.SetContextMenuCallback([this](POINT at) { ShowSenderMenu(at); });
    window.SetCommandCallback([this](uint32_t command) { OnMenuCommand(command); });
    window.SetPickSenderCallback([this](const std::string& name) { PickSender(name); });
  });
  if (!created) return StartupFailure("Failed to create window\n");
  MainWindow& window = output.window;
  if (const char* failure = StartDeviceUsers(cfg)) return StartupFailure(failure);

  output.SayLatencyFallback(cfg);
  if (cfg.topmost) window.SetTopmost(true);
  if (cfg.hideCursor) window.SetCursorHidden(true);
  if (start_monitor >= 0) window.EnterFullscreen(start_monitor);

  if (cfg.parentPid != 0) watchdog.Start(cfg.parentPid);

  if (!StartPacing(cfg)) {
    watchdog.Stop();
    return StartupFailure("Failed to start pace controller\n");
  }

  while (window.PumpMessages()) {
    Service();
    Sleep(kMainLoopSleepMs);
  }

  watchdog.Stop();
  output.StopPacing();
  ReleaseDeviceUsers();
  window.Destroy();
  return 0;
}

void Application::Service() {
  if (!recovering && device.IsLost()) BeginRecovery();
  if (recovering && GetTickCount64() >= nextRetryMs) TryRecovery(config);
  output.FollowDisplay();
  title.Refresh(!recovering, monitorIndex, pickedSender ? *pickedSender : config.senderName);
}

bool Application::StartPacing(const AppConfig& cfg) {
  return output.StartPacing(cfg, [this] {
    receiver.TakeFrameForTick(takeWait);
    // A frame taken for this tick is the one to show: no source clock to pick by.
    return receiver.TakesOnRequest();
  });
}

const char* Application::StartDeviceUsers(const AppConfig& cfg) {
  if (!device.Create()) return "Failed to create D3D11 device\n";
  if (!output.StartPresenter(&device, cfg)) return "Failed to init renderer\n";
  if (!receiver.Start(&device, &frameSlot, cfg.senderName)) {
    return "Failed to start Weft receive thread\n";
  }
  // A sender picked while running (the menu, WM_COPYDATA) outlives the receive thread: a
  // recovery does not fall back to the command line's.
  if (pickedSender) receiver.SwitchSender(*pickedSender);
  return nullptr;
}

void Application::ReleaseDeviceUsers() {
  receiver.Stop();
  output.ReleaseDeviceParts();  // no tick runs now
  frameSlot.Clear();            // its texture belongs to the device that goes
  device.Release();
}

void Application::BeginRecovery() {
  // The order of the shutdown: both threads that use the device end before it is released.
  output.StopPacing();
  ReleaseDeviceUsers();
  // No swap chain: the window's own black background shows until a device is back.
  InvalidateRect(output.window.hwnd, nullptr, TRUE);
  recovering = true;
  retryWaitMs = kFirstRetryMs;
  nextRetryMs = GetTickCount64();  // the first attempt at once
}

void Application::TryRecovery(const AppConfig& cfg) {
  bool up = StartDeviceUsers(cfg) == nullptr;
  if (up) {
    // A new swap chain: its ids and statistics have nothing to do with the old one's. Said
    // before the new pace thread starts, or its first presents would be taken for the old
    // chain's and dropped.
    output.presentTracker.OnNewSwapChain();
    output.RestateDisplayTiming(true);
    up = StartPacing(cfg);
  }
  if (up) {
    recovering = false;
    return;
  }
  output.StopPacing();
  ReleaseDeviceUsers();
  InvalidateRect(output.window.hwnd, nullptr, TRUE);
  nextRetryMs = GetTickCount64() + retryWaitMs;
  retryWaitMs = std::min(retryWaitMs * 2, kLongestRetryMs);
}

void Application::OnKey(uint64_t virtual_key) {
  switch (HotkeyFor(virtual_key)) {
    case Hotkey::kEscape:
      if (output.window.fullscreen) {
        output.window.ExitFullscreen();
      } else {
        PostMessageW(output.window.hwnd, WM_CLOSE, 0, 0);
      }
      break;
    case Hotkey::kToggleLetterbox:
      output.letterbox = !output.letterbox;
      break;
    case Hotkey::kToggleCursor:
      output.window.SetCursorHidden(!output.window.cursorHidden);
      break;
    case Hotkey::kToggleOverlay:
      output.presentStage.overlay = !output.presentStage.overlay;
      break;
    case Hotkey::kWritePaceLog:
      WritePaceLog();
      break;
    case Hotkey::kToggleTopmost:
      output.window.SetTopmost(!output.window.topmost);
      break;
    case Hotkey::kToggleVsync:
      output.presentStage.vsync = !output.presentStage.vsync;
      break;
    case Hotkey::kToggleFullscreen:
      output.window.ToggleFullscreen(monitorIndex);
      break;
    case Hotkey::kNextMonitor: {
      const std::vector<MonitorInfo> monitors = EnumerateMonitors();
      if (monitors.empty()) break;
      monitorIndex = NextMonitorIndex(monitorIndex, static_cast<int32_t>(monitors.size()));
      if (output.window.fullscreen) {
        output.window.ExitFullscreen();
        output.window.EnterFullscreen(monitorIndex);
      }
      break;
    }
    case Hotkey::kNone:
      break;
  }
}

void Application::WritePaceLog() {
  // A P that arrives while a box or the menu is open (its loop dispatches keys, and another
  // program can send one) is refused whole: its box would open inside the other loop.
  if (modalOpen) return;
  std::wstring wide_path;
  std::string utf8_path;
  const bool ok = output.WriteLogs(wide_path, utf8_path);

  title.Notice(ok ? (L"[CSV WRITTEN] " + wide_path).c_str() : L"[CSV WRITE FAILED]");
  // In fullscreen the output is a show: no box over it. The title, the overlay and standard
  // error say what happened instead.
  if (output.window.fullscreen) {
    const std::string notice = ok ? "pace log written: " + utf8_path : "pace log write failed";
    std::fprintf(stderr, "%s\n", notice.c_str());
    std::fflush(stderr);
    output.overlayNotice.assign(notice.begin(), notice.end());
    output.overlayNoticeUntil = static_cast<int64_t>(base::QpcNow() + 5 * base::QpcFrequency());
    return;
  }

  RunModal([&] {
    if (ok) {
      MessageBoxW(output.window.hwnd, wide_path.c_str(), L"Pace log written",
                  MB_OK | MB_ICONINFORMATION);
    } else {
      MessageBoxW(output.window.hwnd, L"Failed to write pace_log.csv", L"Error",
                  MB_OK | MB_ICONERROR);
    }
  });
}

bool Application::RunModal(const std::function<void()>& show) {
  if (modalOpen) return false;
  modalOpen = true;
  // While a box or a menu waits for the user, its modal loop runs instead of the main loop: a
  // timer keeps the main loop's work (the title, a device recovery) going meanwhile. One modal
  // at a time, so nothing inside can end the timer before the loop that needs it.
  SetTimer(output.window.hwnd, kServiceTimerId, kMainLoopSleepMs, nullptr);
  show();
  KillTimer(output.window.hwnd, kServiceTimerId);
  modalOpen = false;
  return true;
}

void Application::ShowSenderMenu(POINT at) {
  // Refused before the list is read: the open menu's commands name its own list by position.
  if (modalOpen) return;
  // The choice arrives as a WM_COMMAND (OnMenuCommand).
  senderMenu.Show(output.window.hwnd, at, receiver.SenderNameSnapshot(), receiver.FollowingActive(),
                  [this](const std::function<void()>& show) { return RunModal(show); });
}

void Application::OnMenuCommand(uint32_t command) {
  std::string name;
  if (senderMenu.Pick(command, name)) PickSender(name);
}

void Application::PickSender(const std::string& name) {
  // Kept for a receive thread started again after a device recovery (an empty name: follow the
  // active sender).
  if (receiver.SwitchSender(name)) pickedSender = name;
}

}  // namespace tsl
