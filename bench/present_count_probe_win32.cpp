// Settles how the platform reads PresentCount: presents black at 240 ticks a second with sync
// interval 0 for five seconds through the program's own tick path and prints, every half
// second, GetLastPresentCount minus the statistics' PresentCount (bounded while PresentCount is
// the id of the last present shown; growing when it counts images shown, as replaced presents
// pile up), what the tracker concluded, and at the end how many presents came to each display
// state. Where the platform gives no statistics it says so.
//
//   tessaline_present_count_probe.exe
#include <windows.h>

#include <cstdio>
#include <map>
#include <string>

#include "base/qpc.h"
#include "gpu/frame_slot_win32.h"
#include "gpu/gpu_device_win32.h"
#include "measure/pace_stats.h"
#include "measure/present_tracker.h"
#include "render/present_stage_win32.h"
#include "render/presenter_win32.h"
#include "tick/tick_path.h"
#include "window/main_window_win32.h"

namespace {

const char* ReadingName(tsl::PresentCountReading reading) {
  switch (reading) {
    case tsl::PresentCountReading::kPresentId:
      return "the id of the last present shown";
    case tsl::PresentCountReading::kImagesShown:
      return "the number of images shown";
    case tsl::PresentCountReading::kUnknown:
      break;
  }
  return "not told apart yet";
}

}  // namespace

int main() {
  tsl::MainWindow window;
  tsl::GpuDevice gpu;
  tsl::Presenter presenter;
  if (!window.Create(L"Tessaline present count probe", 640, 360, true) || !gpu.Create() ||
      !presenter.Initialize(&gpu, window.hwnd)) {
    std::fprintf(stderr, "probe: no window, device or swap chain\n");
    return 1;
  }
  tsl::FrameSlot slot;  // stays empty: every present is black
  tsl::PresentStage stage;
  stage.Bind(&presenter, &slot);
  tsl::PaceStats stats(tsl::kPaceRingCapacity);
  tsl::PresentTracker tracker(1 << 16);
  tsl::TickPath path(stats, tracker, base::QpcNow);
  path.Bind(&stage);

  const uint64_t frequency = base::QpcFrequency();
  const uint64_t start = base::QpcNow();
  const uint64_t period = frequency / 240;
  uint64_t next_print = start + frequency / 2;
  bool any_statistics = false;
  for (uint64_t tick = 0;; ++tick) {
    const uint64_t target = start + tick * period;
    while (base::QpcNow() < target) Sleep(0);
    if (target - start >= 5 * frequency) break;
    window.PumpMessages();
    path.Run(tick, target, base::QpcNow(), 0);
    if (base::QpcNow() < next_print) continue;
    next_print += frequency / 2;
    tsl::FrameStatistics s;
    uint32_t last = 0;
    const tsl::StatisticsRead read = presenter.ReadStatistics(s);
    presenter.LastPresentId(last);
    const double seconds = static_cast<double>(base::QpcNow() - start) / frequency;
    if (read == tsl::StatisticsRead::kOk) {
      any_statistics = true;
      std::printf("probe: %.1f s  GetLastPresentCount %u - PresentCount %u = %d\n", seconds, last,
                  s.present_count, static_cast<int>(last - s.present_count));
    } else {
      std::printf("probe: %.1f s  GetLastPresentCount %u, statistics %s\n", seconds, last,
                  read == tsl::StatisticsRead::kDisjoint ? "disjoint" : "unavailable");
    }
    std::fflush(stdout);
  }
  std::map<std::string, size_t> states;
  for (const tsl::DisplayRecord& r : tracker.Records()) ++states[DisplayStateName(r.state)];
  std::printf("probe: PresentCount reads as %s%s\n", ReadingName(tracker.Reading()),
              any_statistics ? "" : " (this platform gives no frame statistics)");
  std::printf("probe: display states:");
  for (const auto& [state, count] : states) std::printf("  %s %zu", state.c_str(), count);
  std::printf("\n");
  presenter.Release();
  gpu.Release();
  window.Destroy();
  return 0;
}
