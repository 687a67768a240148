// The present tracker against the display simulator's oracle: the program's pace controller and
// tick path run for simulated seconds, and every present the tracker places must sit where the
// oracle saw it, every one it calls never shown must never have been on the glass, and most must
// be placed where the statistics allow knowing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "measure/present_tracker.h"
#include "support/display_sim.h"

namespace tsl {
namespace {

using sim::DisplayParams;
using sim::PaceParams;
using sim::SourceParams;

struct Scenario {
  const char* what = "";
  DisplayParams display;
  SourceParams source;
  PaceParams pace;
  double fps = 60.0;
  bool vsync = true;
  uint32_t sync_interval = 1;
  double seconds = 10.0;
  double min_resolved = 0.95;  // placed or known never shown, of the presents that left the queue
  PresentCountReading reading = PresentCountReading::kUnknown;  // kUnknown: not checked
};

DisplayParams Display(double hz, bool composed) {
  DisplayParams d;
  d.refresh_hz = hz;
  d.composed = composed;
  return d;
}

std::vector<Scenario> Scenarios() {
  std::vector<Scenario> all;
  {
    Scenario s;
    s.what = "vsync at 60 Hz, black presents before the first frame";
    s.display = Display(60.0, true);
    s.source.start_s = 0.5;
    all.push_back(s);
  }
  {
    Scenario s;
    s.what = "vsync at 59.94 Hz, a drifting display, wake outliers";
    s.display = Display(60000.0 / 1001.0, true);
    s.display.ppm = 30.0;
    s.display.ppm_walk = 0.05;
    s.source.ppm = -20.0;
    s.source.jitter_us = 800.0;
    s.pace.outlier_rate = 2e-4;
    all.push_back(s);
  }
  {
    Scenario s;
    s.what = "sync 0 at 240 ticks/s, independent flip, PresentCount as ids";
    s.display = Display(60.0, false);
    s.fps = 240.0;
    s.vsync = false;
    s.sync_interval = 0;
    s.reading = PresentCountReading::kPresentId;
    all.push_back(s);
  }
  {
    Scenario s;
    s.what = "sync 0 at 240 ticks/s, composed, PresentCount counting images";
    s.display = Display(60.0, true);
    s.display.present_count_is_id = false;
    s.fps = 240.0;
    s.vsync = false;
    s.sync_interval = 0;
    s.min_resolved = 0.0;  // nothing can be placed once the counts are known to be images
    s.reading = PresentCountReading::kImagesShown;
    all.push_back(s);
  }
  {
    Scenario s;
    s.what = "sync 2 at 30 ticks/s on 60 Hz";
    s.display = Display(60.0, false);
    s.fps = 30.0;
    s.vsync = false;
    s.sync_interval = 2;
    s.min_resolved = 0.9;
    all.push_back(s);
  }
  {
    Scenario s;
    s.what = "a mode change writes off queued presents";
    s.display = Display(60.0, true);
    s.display.disjoint_at_s = 3.0;
    all.push_back(s);
  }
  {
    Scenario s;
    s.what = "minimised for a second: no presents, nothing shifted";
    s.display = Display(120.0, true);
    s.pace.minimised_from_s = 2.0;
    s.pace.minimised_to_s = 3.0;
    s.fps = 120.0;
    all.push_back(s);
  }
  {
    Scenario s;
    s.what = "ids and refresh counts wrap at 2^32, statistics all zero now and then";
    s.display = Display(143.98, false);
    s.display.first_refresh = 0xFFFFFF00;
    s.display.first_present_id = 0xFFFFFF80;
    s.display.zero_statistics_rate = 0.05;
    s.fps = 144.0;
    all.push_back(s);
  }
  {
    Scenario s;
    s.what = "timer mode with wakes late as a replayed log's, outliers of 2.5 ms included";
    s.display = Display(60.0, true);
    s.pace.wake_late_replay_us = {12.0, 2500.0, 30.0, 7.0, 900.0, 18.0};
    s.vsync = false;
    s.sync_interval = 1;
    all.push_back(s);
  }
  {
    Scenario s;
    s.what = "one frame in flight through the waitable wait";
    s.display = Display(60.0, true);
    s.display.waitable = true;
    all.push_back(s);
  }
  return all;
}

TEST(PresentTrackerSimTest, TheTrackerAgreesWithWhatTheGlassShowed) {
  for (const Scenario& s : Scenarios()) {
    SCOPED_TRACE(s.what);
    sim::DisplaySim display(s.display, s.source, s.pace, 7, s.seconds);
    PaceStats stats(kPaceRingCapacity);
    PresentTracker tracker(1 << 16);
    sim::RunTicks(display, s.fps, s.vsync, s.sync_interval, stats, tracker);

    size_t retired = 0;
    size_t resolved = 0;
    size_t wrong = 0;
    const uint64_t after_first_second = display.Oracle().front().blank_qpc + sim::kFrequency;
    for (const DisplayRecord& r : tracker.Records()) {
      const sim::PresentFate* fate = display.Fate(r.present_id);
      ASSERT_NE(fate, nullptr) << r.present_id;
      EXPECT_EQ(fate->present_qpc, r.present_qpc) << "the record of another present";
      if (r.state == DisplayState::kPending || r.state == DisplayState::kNotMeasured) continue;
      ++retired;
      std::string why;
      if (r.state == DisplayState::kShown || r.state == DisplayState::kLate) {
        ++resolved;
        if (!fate->shown) {
          why = "placed but never on the glass";
        } else if (r.refresh != fate->first_refresh) {
          why = "placed at refresh " + std::to_string(r.refresh) + ", the glass showed it at " +
                std::to_string(fate->first_refresh);
        } else if (r.display_qpc != 0 && std::llabs(static_cast<long long>(
                                             r.display_qpc - fate->first_blank_qpc)) > 500) {
          why = "screen time off by " +
                std::to_string(static_cast<long long>(r.display_qpc - fate->first_blank_qpc));
        } else if (r.refreshes_on_screen != 0 && r.refreshes_on_screen != fate->refreshes) {
          why = "on the glass " + std::to_string(fate->refreshes) + " refreshes, not " +
                std::to_string(r.refreshes_on_screen);
        }
      } else if (r.state == DisplayState::kNeverShown) {
        ++resolved;
        if (fate->shown) why = "called never shown, but the glass showed it";
      }
      // Counts read as ids until the data shows they are images: what is placed before that
      // may be wrong, and is not held against it; after that, nothing is placed.
      if (s.reading == PresentCountReading::kImagesShown) {
        if (r.present_qpc > after_first_second && r.state != DisplayState::kUnplaced) {
          why = "placed though PresentCount counts images";
        } else if (r.present_qpc <= after_first_second) {
          why.clear();
        }
      }
      if (!why.empty() && ++wrong <= 5) {
        ADD_FAILURE() << "present " << r.present_id << ": " << why;
      }
    }
    EXPECT_EQ(wrong, 0u);
    ASSERT_GT(retired, 100u);
    EXPECT_GE(static_cast<double>(resolved) / static_cast<double>(retired), s.min_resolved)
        << resolved << " of " << retired << " placed or known never shown";
    if (s.reading != PresentCountReading::kUnknown) {
      EXPECT_EQ(tracker.Reading(), s.reading);
    }
  }
}

}  // namespace
}  // namespace tsl
