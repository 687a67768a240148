#include "app/output_win32.h"

#include <cmath>
#include <cstdio>

#include "app/pace_log_path.h"
#include "base/tick_rate.h"
#include "measure/display_log.h"
#include "measure/frame_age.h"
#include "window/display_timing_win32.h"

namespace tsl {

namespace {

// The overlay's frame age is over the presents of about the last ten seconds at 60 ticks/s.
constexpr size_t kOverlayAgedPresents = 600;
// How often the window's display timing is looked at again (a move to another monitor, a mode
// change).
constexpr ULONGLONG kTimingCheckMs = 1000;
constexpr DWORD kModulePathUnits = 260;

// The display-locked cadence's frames in flight: --latency's, else two. With one, any cost
// past the lead (a slow draw, the GPU, a compositor or wake hiccup) shows as a repeat; with two,
// as a refresh of latency (the cadence benchmark's adversarial rows: docs/measuring.md).
uint32_t LockedFrameLatency(const AppConfig& cfg) { return cfg.frameLatency == 1 ? 1 : 2; }

}  // namespace

bool Output::Create(const AppConfig& cfg, const std::function<void(MainWindow&)>& wire) {
  if (!window.Create(L"Tessaline", cfg.width, cfg.height, cfg.noActivate)) return false;
  wire(window);
  presentStage.Bind(&presenter, &frameSlot_);
  tickPath_.Bind(&presentStage);
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
  if (cfg.cadence != Cadence::kLocked) return true;
  displayLock_ =
      std::make_unique<DisplayLock>(base::QpcFrequency(), cfg.fps, LockedFrameLatency(cfg));
  tickPath_.BindLock(displayLock_.get());
  paceController_.SetSchedule(displayLock_.get());
  RestateDisplayTiming(true);
  if (statedGrid_.Valid() && cfg.vsync) {
    const double refresh_hz = static_cast<double>(base::QpcFrequency()) / statedGrid_.period_qpc;
    if (cfg.fps > refresh_hz * (1.0 + RefreshPattern::kSnapTolerance)) {
      std::fprintf(stderr,
                   "warning: --fps %.3f is above the display's %.3f Hz: one frame a refresh "
                   "under vsync\n",
                   cfg.fps, refresh_hz);
      std::fflush(stderr);
    }
  }
  return true;
}

bool Output::StartPresenter(GpuDevice* device, const AppConfig& cfg) {
  // The display-locked cadence keeps its frames in flight (two unless --latency 1), so a present
  // lands at the blank it was timed for instead of queueing behind others.
  const uint32_t latency =
      cfg.cadence == Cadence::kLocked ? LockedFrameLatency(cfg) : cfg.frameLatency;
  return presenter.Initialize(device, window.hwnd, latency);
}

void Output::SayLatencyFallback(const AppConfig& cfg) const {
  if (cfg.frameLatency == 0 || presenter.LatencyWaitable()) return;
  std::fprintf(stderr,
               "warning: --latency %u: this platform has no waitable swap chain; the device's "
               "frame latency is %u instead\n",
               static_cast<unsigned>(cfg.frameLatency), static_cast<unsigned>(cfg.frameLatency));
  std::fflush(stderr);
}

void Output::ReleaseDeviceParts() {
  overlayText.Release();  // made on the device that goes; no tick runs now
  statusText.Release();
  presenter.Release();
}

bool Output::StartPacing(const AppConfig& cfg, BeforeTake before_take) {
  beforeTake_ = std::move(before_take);
  // Everything a tick uses is up: the first tick of the new controller is recorded.
  counted_ = false;
  running_ = true;
  running_ = paceController_.Start(
      cfg.fps, [this](uint64_t tick, uint64_t target, uint64_t wake) { Tick(tick, target, wake); },
      cfg.realtime, [this] { return presentStage.vsync.load(); });
  return running_;
}

void Output::StopPacing() {
  // Ticks run on (and fail harmlessly on a lost device) until the controller has stopped, so
  // every tick it issued was recorded and the next controller's ticks continue the count.
  paceController_.Stop();
  running_ = false;
  if (counted_) return;  // not started since its counts were added
  counted_ = true;
  tickBase_ += paceController_.TicksIssued();
  missedBase_ += paceController_.MissedTicks();
}

void Output::Tick(uint64_t tick, uint64_t target_qpc, uint64_t wake_qpc) {
  if (!running_) return;
  // A window always keeps the source's aspect ratio; stretching applies only in fullscreen.
  presenter.letterbox = !window.fullscreen || letterbox;
  const uint32_t sync_interval = presentStage.vsync ? 1 : 0;
  tickPath_.Run(tickBase_ + tick, target_qpc, wake_qpc, sync_interval, beforeTake_);
}

void Output::FollowDisplay() {
  // A disjoint on the pace thread (a mode change, a new swap chain) or a move to another
  // monitor: the display's timing is asked again at once, not at the next check.
  const bool restate =
      displayLock_ && (displayLock_->TakeRestateRequest() ||
                       MonitorFromWindow(window.hwnd, MONITOR_DEFAULTTONEAREST) != statedMonitor_);
  if (restate || GetTickCount64() >= nextTimingCheckMs_) RestateDisplayTiming(restate);
}

void Output::RestateDisplayTiming(bool force) {
  nextTimingCheckMs_ = GetTickCount64() + kTimingCheckMs;
  if (!displayLock_) return;
  const HMONITOR monitor = MonitorFromWindow(window.hwnd, MONITOR_DEFAULTTONEAREST);
  const BlankGrid grid = StatedGrid(ReadStatedTiming(window.hwnd), base::QpcFrequency());
  // The compositor's phase moves with every reading; only a new monitor, source or rate is news.
  const bool same = monitor == statedMonitor_ && grid.source == statedGrid_.source &&
                    std::fabs(grid.period_qpc - statedGrid_.period_qpc) <= 1e-4 * grid.period_qpc;
  if (same && !force) return;
  statedMonitor_ = monitor;
  statedGrid_ = grid;
  displayLock_->SetStated(grid);
}

void Output::AddFigures(bool paced, TitleFigures& f) const {
  // While the device is being rebuilt nothing is paced: the title says so rather than keep the
  // last rate.
  f.measured_fps = paced ? paceController_.MeasuredFps() : 0.0;
  f.missed = missedBase_ + paceController_.MissedTicks();
  if (displayLock_) {
    const CadenceStatus status = displayLock_->Status();
    // Presents that landed later than their blank are misses too.
    f.missed += status.slips;
    f.pattern = status.pattern;
    f.refresh_hz = status.refresh_hz;
    f.clock_source = BlankSourceName(status.source);
    f.smooth = status.frame_latency > 1;
    f.above_refresh = status.above_refresh;
  }
  f.cadence = paceController_.Mode();
  f.repeated = tickPath_.RepeatCount();
  f.presented = tickPath_.PresentCount();
  f.vsync = presentStage.vsync;
  f.pace = paceStats.Snapshot();
}

void Output::UpdateOverlay(GpuDevice& device, TitleFigures& f) {
  presentTracker.Recent(kOverlayAgedPresents, overlayPresents_);
  const FrameAge age = FrameAgeAtPresent(overlayPresents_, paceStats.QpcFrequency());
  f.aged_frames = age.frames;
  f.frame_age_p50_ms = age.p50_ms;
  f.frame_age_p99_ms = age.p99_ms;
  f.dithered = presenter.Dithering();
  if (static_cast<int64_t>(base::QpcNow()) < overlayNoticeUntil) f.notice = overlayNotice;
  overlayText.Update(device.device.Get(), OverlayLines(f), presenter.DpiScale());
}

bool Output::WriteLogs(std::wstring& wide_path, std::string& utf8_path) const {
  wchar_t module_path[kModulePathUnits] = {};
  const DWORD length = GetModuleFileNameW(nullptr, module_path, kModulePathUnits);
  // A path that filled the whole buffer was cut short: writing beside it would miss the
  // executable's directory, so that counts as a failure too.
  if (length >= kModulePathUnits ||
      !PaceLogPath(std::wstring(module_path, length), wide_path, utf8_path)) {
    return false;
  }
  // Both files from the same ticks: the display log holds what pace_log.csv has no room for.
  return WriteTickLogs(utf8_path, paceStats.Window(), presentTracker.Records(),
                       paceStats.QpcFrequency());
}

void Output::ShowStatus(GpuDevice& device, const std::vector<std::string>& lines) {
  std::vector<std::wstring> wide;
  for (const std::string& line : lines) wide.emplace_back(line.begin(), line.end());
  statusText.Update(device.device.Get(), wide, presenter.DpiScale());
}

}  // namespace tsl
