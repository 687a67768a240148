#include "app/application_win32.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "app/hotkeys.h"
#include "app/pace_log_path.h"
#include "app/sender_menu.h"
#include "app/status_title.h"
#include "app/waiting_status.h"
#include "base/qpc.h"
#include "base/tick_rate.h"
#include "measure/display_log.h"
#include "window/display_timing_win32.h"
#include "window/monitor_order.h"

namespace tsl {

namespace {

constexpr DWORD kMainLoopSleepMs = 50;
constexpr double kTitleIntervalMs = 250.0;
// The overlay's frame age is over the presents of about the last ten seconds at 60 ticks/s.
constexpr size_t kOverlayAgedPresents = 600;
constexpr DWORD kModulePathUnits = 260;
constexpr DWORD kFirstRetryMs = 100;
constexpr DWORD kLongestRetryMs = 2000;
constexpr UINT_PTR kServiceTimerId = 1;
// How often the window's display timing is looked at again (a move to another monitor, a mode
// change).
constexpr ULONGLONG kTimingCheckMs = 1000;

// The display-locked cadence's frames in flight: --latency's, else two. With one, any cost
// past the lead (a slow draw, the GPU, a compositor or wake hiccup) shows as a repeat; with two,
// as a refresh of latency (the cadence benchmark's adversarial rows: docs/measuring.md).
uint32_t LockedFrameLatency(const AppConfig& cfg) { return cfg.frameLatency == 1 ? 1 : 2; }

// Standard error goes somewhere: a console, a pipe or a file. Started from a shortcut it goes
// nowhere, and a start-up failure is shown in a box instead.
bool StandardErrorIsSeen() {
  const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  return error != nullptr && error != INVALID_HANDLE_VALUE &&
         GetFileType(error) != FILE_TYPE_UNKNOWN;
}

// The warnings said so far, for a box that may have to show them.
std::string& StartupWarnings() {
  static std::string said;
  return said;
}

void Warn(const std::string& line) {
  std::fputs((line + "\n").c_str(), stderr);
  std::fflush(stderr);
  StartupWarnings() += line + "\n";
}

// The monitor to start fullscreen on (-1: windowed): the one --monitor names or numbers; one
// that is not there is said, and the primary is used.
int32_t StartMonitor(const AppConfig& cfg) {
  if (cfg.monitor < 0 && cfg.monitorName.empty()) return -1;
  const std::vector<MonitorInfo> monitors = EnumerateMonitors();
  if (!cfg.monitorName.empty()) {
    std::vector<std::wstring> names;
    for (const MonitorInfo& m : monitors) names.push_back(m.name);
    bool ambiguous = false;
    const int32_t found = MonitorByName(names, cfg.monitorName, ambiguous);
    if (found >= 0) return found;
    const std::string name(cfg.monitorName.begin(), cfg.monitorName.end());
    Warn("warning: --monitor " + EscapedName(name) +
         (ambiguous ? ": more than one monitor's name begins so" : ": no monitor has that name") +
         "; using the primary (--list-monitors lists them)");
    return 0;
  }
  if (static_cast<size_t>(cfg.monitor) < monitors.size()) return cfg.monitor;
  Warn("warning: --monitor " + std::to_string(cfg.monitor) + ": there " +
       (monitors.size() == 1 ? "is 1 monitor"
                             : "are " + std::to_string(monitors.size()) + " monitors") +
       "; using the primary");
  return 0;
}

int StartupFailure(const char* message) {
  std::fputs(message, stderr);
  std::fflush(stderr);
  if (!StandardErrorIsSeen()) {
    const std::string text = StartupWarnings() + message;
    MessageBoxA(nullptr, text.c_str(), "Tessaline", MB_OK | MB_ICONERROR);
  }
  return 1;
}

}  // namespace

Application::Application() = default;

Application::~Application() { watchdog.Stop(); }

int Application::Run(const AppConfig& cfg) {
  config = cfg;
  for (const std::string& warning : cfg.warnings) Warn(warning);
  // Nothing is computed from the rate before it is known to be one the pace controller takes;
  // the refusal is the controller's own line, named first.
  if (!PaceController::RateAccepted(cfg.fps, base::QpcFrequency())) {
    char line[160];
    std::snprintf(line, sizeof line, "warning: --fps %s: expected a rate from %g to %g",
                  cfg.fpsText.empty() ? "60" : EscapedName(cfg.fpsText).substr(0, 60).c_str(),
                  PaceController::kMinFps, PaceController::kMaxFps);
    Warn(line);
    return StartupFailure("Failed to start pace controller\n");
  }
  takeWait = WeftReceiveThread::TakeWaitFor(cfg.fps);
  const int32_t start_monitor = StartMonitor(cfg);
  monitorIndex = start_monitor >= 0 ? start_monitor : 0;

  if (!window.Create(L"Tessaline", cfg.width, cfg.height, cfg.noActivate)) {
    return StartupFailure("Failed to create window\n");
  }
  window.SetKeyCallback([this](uint64_t key) { OnKey(key); });
  window.SetTimerCallback([this] { Service(); });
  window.SetDisplayChangeCallback([this] { RestateDisplayTiming(true); });
  window.SetContextMenuCallback([this](POINT at) { ShowSenderMenu(at); });
  window.SetCommandCallback([this](uint32_t command) { OnMenuCommand(command); });
  window.SetPickSenderCallback([this](const std::string& name) { PickSender(name); });
  presentStage.Bind(&presenter, &frameSlot);
  tickPath.Bind(&presentStage);
  presentStage.vsync = cfg.vsync;
  presentStage.overlay = cfg.overlay;
  presentStage.SetOverlaySource(&paceStats, &presentTracker, base::TickRate(cfg.fps).PeriodMs());
  presentStage.SetOverlayText(&overlayText);
  presentStage.SetStatusText(&statusText);
  letterbox = cfg.letterbox;
  if (cfg.unknownCadence) {
    std::fputs("warning: --cadence: expected locked or every-refresh; using locked\n", stderr);
    std::fflush(stderr);
  }
  if (cfg.cadence == Cadence::kLocked) {
    displayLock =
        std::make_unique<DisplayLock>(base::QpcFrequency(), cfg.fps, LockedFrameLatency(cfg));
    tickPath.BindLock(displayLock.get());
    paceController.SetSchedule(displayLock.get());
    RestateDisplayTiming(true);
    if (statedGrid.Valid() && cfg.vsync) {
      const double refresh_hz = static_cast<double>(base::QpcFrequency()) / statedGrid.period_qpc;
      if (cfg.fps > refresh_hz * (1.0 + RefreshPattern::kSnapTolerance)) {
        std::fprintf(stderr,
                     "warning: --fps %.3f is above the display's %.3f Hz: one frame a refresh "
                     "under vsync\n",
                     cfg.fps, refresh_hz);
        std::fflush(stderr);
      }
    }
  }
  if (const char* failure = StartDeviceUsers(cfg)) return StartupFailure(failure);

  if (cfg.frameLatency > 0 && !presenter.LatencyWaitable()) {
    std::fprintf(stderr,
                 "warning: --latency %u: this platform has no waitable swap chain; the device's "
                 "frame latency is %u instead\n",
                 static_cast<unsigned>(cfg.frameLatency), static_cast<unsigned>(cfg.frameLatency));
    std::fflush(stderr);
  }
  if (cfg.topmost) window.SetTopmost(true);
  if (cfg.hideCursor) window.SetCursorHidden(true);
  if (start_monitor >= 0) window.EnterFullscreen(start_monitor);

  if (cfg.parentPid != 0) watchdog.Start(cfg.parentPid);

  if (!StartPacing(cfg)) {
    watchdog.Stop();
    return StartupFailure("Failed to start pace controller\n");
  }
  running = true;

  while (window.PumpMessages()) {
    Service();
    Sleep(kMainLoopSleepMs);
  }

  running = false;
  watchdog.Stop();
  paceController.Stop();
  ReleaseDeviceUsers();
  window.Destroy();
  return 0;
}

void Application::Service() {
  if (!recovering && device.IsLost()) BeginRecovery();
  if (recovering && GetTickCount64() >= nextRetryMs) TryRecovery(config);
  // A disjoint on the pace thread (a mode change, a new swap chain) or a move to another
  // monitor: the display's timing is asked again at once, not at the next check.
  const bool restate =
      displayLock && (displayLock->TakeRestateRequest() ||
                      MonitorFromWindow(window.hwnd, MONITOR_DEFAULTTONEAREST) != statedMonitor);
  if (restate || GetTickCount64() >= nextTimingCheckMs) RestateDisplayTiming(restate);
  RefreshTitle();
}

void Application::RestateDisplayTiming(bool force) {
  nextTimingCheckMs = GetTickCount64() + kTimingCheckMs;
  if (!displayLock) return;
  const HMONITOR monitor = MonitorFromWindow(window.hwnd, MONITOR_DEFAULTTONEAREST);
  const BlankGrid grid = StatedGrid(ReadStatedTiming(window.hwnd), base::QpcFrequency());
  // The compositor's phase moves with every reading; only a new monitor, source or rate is news.
  const bool same = monitor == statedMonitor && grid.source == statedGrid.source &&
                    std::fabs(grid.period_qpc - statedGrid.period_qpc) <= 1e-4 * grid.period_qpc;
  if (same && !force) return;
  statedMonitor = monitor;
  statedGrid = grid;
  displayLock->SetStated(grid);
}

bool Application::StartPacing(const AppConfig& cfg) {
  return paceController.Start(
      cfg.fps,
      [this](uint64_t tick, uint64_t target, uint64_t wake) { OnTick(tick, target, wake); },
      cfg.realtime, [this] { return presentStage.vsync.load(); });
}

const char* Application::StartDeviceUsers(const AppConfig& cfg) {
  if (!device.Create()) return "Failed to create D3D11 device\n";
  // The display-locked cadence keeps its frames in flight (two unless --latency 1), so a present
  // lands at the blank it was timed for instead of queueing behind others.
  const uint32_t latency =
      cfg.cadence == Cadence::kLocked ? LockedFrameLatency(cfg) : cfg.frameLatency;
  if (!presenter.Initialize(&device, window.hwnd, latency)) {
    return "Failed to init renderer\n";
  }
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
  overlayText.Release();  // made on the device that goes; no tick runs now
  statusText.Release();
  frameSlot.Clear();  // its texture belongs to the device that goes
  presenter.Release();
  device.Release();
}

void Application::BeginRecovery() {
  // The order of the shutdown: both threads that use the device end before it is released.
  // Ticks run on (and fail harmlessly on the lost device) until the controller has stopped, so
  // every tick it issued was recorded and the next controller's ticks continue the count.
  paceController.Stop();
  running = false;
  tickBase += paceController.TicksIssued();
  missedBase += paceController.MissedTicks();
  ReleaseDeviceUsers();
  // No swap chain: the window's own black background shows until a device is back.
  InvalidateRect(window.hwnd, nullptr, TRUE);
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
    presentTracker.OnNewSwapChain();
    RestateDisplayTiming(true);
    // Everything a tick uses is up: the first tick of the new controller is recorded.
    running = true;
    up = StartPacing(cfg);
    running = up;
  }
  if (up) {
    recovering = false;
    return;
  }
  paceController.Stop();
  ReleaseDeviceUsers();
  InvalidateRect(window.hwnd, nullptr, TRUE);
  nextRetryMs = GetTickCount64() + retryWaitMs;
  retryWaitMs = std::min(retryWaitMs * 2, kLongestRetryMs);
}

void Application::OnTick(uint64_t tick, uint64_t target_qpc, uint64_t wake_qpc) {
  if (!running) return;
  // A window always keeps the source's aspect ratio; stretching applies only in fullscreen.
  presenter.letterbox = !window.fullscreen || letterbox;
  const uint32_t sync_interval = presentStage.vsync ? 1 : 0;
  tickPath.Run(tickBase + tick, target_qpc, wake_qpc, sync_interval, [this] {
    receiver.TakeFrameForTick(takeWait);
    // A frame taken for this tick is the one to show: no source clock to pick by.
    return receiver.TakesOnRequest();
  });
}

void Application::RefreshTitle() {
  const auto now = static_cast<int64_t>(base::QpcNow());
  if (titleHoldUntil != 0 && now < titleHoldUntil) return;
  if (lastTitleRefresh != 0 && static_cast<double>(now - lastTitleRefresh) /
                                       static_cast<double>(base::QpcFrequency()) * 1000.0 <
                                   kTitleIntervalMs) {
    return;
  }
  lastTitleRefresh = now;

  TitleFigures f;
  f.adapter = device.adapterName;
  // While the device is being rebuilt nothing is paced and nothing received: the title says so
  // rather than keep the last rate.
  f.measured_fps = recovering ? 0.0 : paceController.MeasuredFps();
  f.missed = missedBase + paceController.MissedTicks();
  if (displayLock) {
    const CadenceStatus status = displayLock->Status();
    // Presents that landed later than their blank are misses too.
    f.missed += status.slips;
    f.pattern = status.pattern;
    f.refresh_hz = status.refresh_hz;
    f.clock_source = BlankSourceName(status.source);
    f.smooth = status.frame_latency > 1;
    f.above_refresh = status.above_refresh;
  }
  f.cadence = paceController.Mode();
  f.repeated = tickPath.RepeatCount();
  f.presented = tickPath.PresentCount();
  f.received = receiver.receivedCount;
  f.connected = receiver.connected;
  f.senders = receiver.senderCount;
  f.vsync = presentStage.vsync;
  f.monitor = monitorIndex;
  f.format = frameSlot.Format();
  f.sender = receiver.SenderNameSnapshot();
  f.pace = paceStats.Snapshot();
  SetWindowTextW(window.hwnd, FormatTitle(f).c_str());
  if (!recovering) UpdateWaitingStatus();
  if (presentStage.overlay && !recovering) {
    presentTracker.Recent(kOverlayAgedPresents, overlayPresents);
    const FrameAge age = FrameAgeAtPresent(overlayPresents, paceStats.QpcFrequency());
    f.aged_frames = age.frames;
    f.frame_age_p50_ms = age.p50_ms;
    f.frame_age_p99_ms = age.p99_ms;
    f.dithered = presenter.Dithering();
    if (static_cast<int64_t>(base::QpcNow()) < overlayNoticeUntil) f.notice = overlayNotice;
    overlayText.Update(device.device.Get(), OverlayLines(f), presenter.DpiScale());
  }
}

void Application::UpdateWaitingStatus() {
  SlotFrame shown;
  if (frameSlot.Latest(shown)) {
    waitingSinceMs = 0;
    return;
  }
  WaitingFacts facts;
  facts.wanted = pickedSender ? *pickedSender : config.senderName;
  facts.following_active = receiver.FollowingActive();
  WeftReceiveThread::Waiting seen = receiver.WaitingSnapshot();
  facts.listed = std::move(seen.listed);
  facts.active = std::move(seen.active);
  facts.open_error = seen.open_error;
  const std::vector<std::string> lines = WaitingLines(facts);
  std::vector<std::wstring> wide;
  for (const std::string& line : lines) wide.emplace_back(line.begin(), line.end());
  statusText.Update(device.device.Get(), wide, presenter.DpiScale());

  const ULONGLONG now = GetTickCount64();
  if (waitingSinceMs == 0) waitingSinceMs = now;
  if (waitingSaid || now - waitingSinceMs < 2'000) return;
  waitingSaid = true;
  std::string said = "waiting:";
  for (size_t i = 0; i < lines.size(); ++i) {
    said.append(i == 0 ? " " : "; ");
    said.append(lines[i]);
  }
  std::fprintf(stderr, "%s\n", said.c_str());
  std::fflush(stderr);
}

void Application::OnKey(uint64_t virtual_key) {
  switch (HotkeyFor(virtual_key)) {
    case Hotkey::kEscape:
      if (window.fullscreen) {
        window.ExitFullscreen();
      } else {
        PostMessageW(window.hwnd, WM_CLOSE, 0, 0);
      }
      break;
    case Hotkey::kToggleLetterbox:
      letterbox = !letterbox;
      break;
    case Hotkey::kToggleCursor:
      window.SetCursorHidden(!window.cursorHidden);
      break;
    case Hotkey::kToggleOverlay:
      presentStage.overlay = !presentStage.overlay;
      break;
    case Hotkey::kWritePaceLog:
      WritePaceLog();
      break;
    case Hotkey::kToggleTopmost:
      window.SetTopmost(!window.topmost);
      break;
    case Hotkey::kToggleVsync:
      presentStage.vsync = !presentStage.vsync;
      break;
    case Hotkey::kToggleFullscreen:
      window.ToggleFullscreen(monitorIndex);
      break;
    case Hotkey::kNextMonitor: {
      const std::vector<MonitorInfo> monitors = EnumerateMonitors();
      if (monitors.empty()) break;
      monitorIndex = NextMonitorIndex(monitorIndex, static_cast<int32_t>(monitors.size()));
      if (window.fullscreen) {
        window.ExitFullscreen();
        window.EnterFullscreen(monitorIndex);
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
  wchar_t module_path[kModulePathUnits] = {};
  const DWORD length = GetModuleFileNameW(nullptr, module_path, kModulePathUnits);
  std::wstring wide_path;
  std::string utf8_path;
  // A path that filled the whole buffer was cut short: writing beside it would miss the
  // executable's directory, so that counts as a failure too.
  bool ok = length < kModulePathUnits &&
            PaceLogPath(std::wstring(module_path, length), wide_path, utf8_path);
  // Both files from the same ticks: the display log holds what pace_log.csv has no room for.
  ok = ok && WriteTickLogs(utf8_path, paceStats.Window(), presentTracker.Records(),
                           paceStats.QpcFrequency());

  SetWindowTextW(window.hwnd, ok ? (L"[CSV WRITTEN] " + wide_path).c_str() : L"[CSV WRITE FAILED]");
  titleHoldUntil = static_cast<int64_t>(base::QpcNow() + base::QpcFrequency());
  // In fullscreen the output is a show: no box over it. The title, the overlay and standard
  // error say what happened instead.
  if (window.fullscreen) {
    const std::string notice = ok ? "pace log written: " + utf8_path : "pace log write failed";
    std::fprintf(stderr, "%s\n", notice.c_str());
    std::fflush(stderr);
    overlayNotice.assign(notice.begin(), notice.end());
    overlayNoticeUntil = static_cast<int64_t>(base::QpcNow() + 5 * base::QpcFrequency());
    return;
  }

  RunModal([&] {
    if (ok) {
      MessageBoxW(window.hwnd, wide_path.c_str(), L"Pace log written", MB_OK | MB_ICONINFORMATION);
    } else {
      MessageBoxW(window.hwnd, L"Failed to write pace_log.csv", L"Error", MB_OK | MB_ICONERROR);
    }
  });
}

bool Application::RunModal(const std::function<void()>& show) {
  if (modalOpen) return false;
  modalOpen = true;
  // While a box or a menu waits for the user, its modal loop runs instead of the main loop: a
  // timer keeps the main loop's work (the title, a device recovery) going meanwhile. One modal
  // at a time, so nothing inside can end the timer before the loop that needs it.
  SetTimer(window.hwnd, kServiceTimerId, kMainLoopSleepMs, nullptr);
  show();
  KillTimer(window.hwnd, kServiceTimerId);
  modalOpen = false;
  return true;
}

void Application::ShowSenderMenu(POINT at) {
  // Refused before the list is read: the open menu's commands name its own list by position.
  if (modalOpen) return;
  // The choice arrives as a WM_COMMAND (OnMenuCommand).
  senderMenu.Show(window.hwnd, at, receiver.SenderNameSnapshot(), receiver.FollowingActive(),
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
