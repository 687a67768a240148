#include "support/cadence_judge.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace tsl::sim {

namespace {

double Ms(uint64_t from, uint64_t to) {
  return static_cast<double>(static_cast<int64_t>(to - from)) * 1000.0 / kFrequency;
}

}  // namespace

double Percentile(std::vector<double> v, double q) {
  if (v.empty()) return std::nan("");
  std::sort(v.begin(), v.end());
  return v[static_cast<size_t>(static_cast<double>(v.size() - 1) * q)];
}

CadenceFigures Judge(const DisplaySim& sim, double fps, double minutes) {
  const double refresh_hz = sim.Display().refresh_hz;
  const double display_ppm = sim.Display().ppm;
  CadenceFigures f;
  // The refreshes a source frame is meant to stay: the ratio, or the two whole numbers around it.
  const double ratio = refresh_hz / fps;
  const double nearest = std::round(ratio);
  const bool whole = std::fabs(ratio - nearest) < 0.05 * ratio;
  const auto shortest = static_cast<uint32_t>(whole ? nearest : std::floor(ratio));
  const auto longest = static_cast<uint32_t>(whole ? nearest : std::ceil(ratio));

  // Runs of one source frame on the glass, from the first frame shown.
  struct Run {
    uint64_t version;
    uint32_t length;
    uint64_t first_blank_qpc;
  };
  std::vector<Run> runs;
  for (const Glass& g : sim.Oracle()) {
    if (g.version == 0) continue;
    if (!runs.empty() && runs.back().version == g.version) {
      ++runs.back().length;
    } else {
      runs.push_back({g.version, 1, g.blank_qpc});
    }
  }
  if (runs.size() < 3) return f;
  runs.pop_back();  // the last run is cut by the end
  size_t off = 0;
  size_t errors = 0;
  std::vector<uint64_t> error_times;
  std::vector<double> ages;
  for (size_t i = 0; i < runs.size(); ++i) {
    const Run& r = runs[i];
    ages.push_back(Ms(sim.SignalTime(r.version), r.first_blank_qpc));
    if (i == 0) continue;  // the first run may be cut by the start
    if (r.length < shortest || r.length > longest) ++off;
    const uint64_t skipped =
        r.version > runs[i - 1].version + 1 ? r.version - runs[i - 1].version - 1 : 0;
    const bool held_too_long = r.length > longest;
    if (skipped > 0 || held_too_long) {
      errors += skipped + (held_too_long ? 1 : 0);
      error_times.push_back(r.first_blank_qpc);
    }
  }
  const uint64_t source_frames = runs.back().version - runs.front().version + 1;
  f.off_pattern_per_10k = 1e4 * static_cast<double>(off) / static_cast<double>(runs.size() - 1);
  f.errors_per_10k = 1e4 * static_cast<double>(errors) / static_cast<double>(source_frames);
  // The beat: source frames made a second against those the display's pattern takes, each
  // rate as its own clock runs.
  const double source_hz = 1.0 / sim.SourcePeriodS();
  const double refresh_true_hz = refresh_hz * (1.0 + display_ppm * 1e-6);
  const double taken_hz = refresh_true_hz / (whole ? nearest : ratio);
  f.beat_per_10k = 1e4 * std::fabs(source_hz - taken_hz) / source_hz;
  size_t events = 0;
  uint64_t last_event = 0;
  for (const uint64_t t : error_times) {
    if (events == 0 || t - last_event > kFrequency / 2) ++events;
    last_event = t;
  }
  f.judder_per_minute = static_cast<double>(events) / minutes;

  std::vector<double> takes;
  for (const PresentFate& p : sim.Presents()) {
    if (p.shown) takes.push_back(Ms(p.taken_qpc, p.first_blank_qpc));
  }
  f.take_p50_ms = Percentile(takes, 0.5);
  f.take_p99_ms = Percentile(takes, 0.99);
  f.age_p50_ms = Percentile(ages, 0.5);
  f.age_p99_ms = Percentile(ages, 0.99);
  return f;
}

}  // namespace tsl::sim
