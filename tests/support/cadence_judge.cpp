#include "support/cadence_judge.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <vector>

#include "base/qpc.h"

namespace tsl::sim {

namespace {

// Refreshes within which two instants are the same one.
constexpr double kSameInstant = 1e-3;

// How many runs from `from` on follow the pattern from its frame `phase`.
size_t Following(const std::vector<GlassRun>& runs, size_t from, const IntendedPattern& pattern,
                 uint64_t phase) {
  size_t n = 0;
  const size_t most = std::min(runs.size(), from + 2 * pattern.q + 2);
  for (size_t i = from; i < most && runs[i].length == pattern.Length(phase + n); ++i) ++n;
  return n;
}

// The most runs from `from` on that follow the pattern from one of its frames, and (with
// `phase`) that frame.
size_t BestFollowing(const std::vector<GlassRun>& runs, size_t from, const IntendedPattern& pattern,
                     uint64_t* phase = nullptr) {
  size_t best = 0;
  for (uint64_t m = 0; m < pattern.q; ++m) {
    const size_t n = Following(runs, from, pattern, m);
    if (n > best) {
      best = n;
      if (phase != nullptr) *phase = m;
    }
  }
  return best;
}

// The first blanks of the runs on the glass at `instants` (one run each), sorted.
std::vector<uint64_t> RunsOnGlassAt(const std::vector<GlassRun>& runs,
                                    const std::vector<uint64_t>& instants) {
  std::vector<uint64_t> held;
  for (const uint64_t at : instants) {
    const auto it =
        std::upper_bound(runs.begin(), runs.end(), at,
                         [](uint64_t t, const GlassRun& r) { return t < r.first_blank_qpc; });
    if (it != runs.begin()) held.push_back(std::prev(it)->first_blank_qpc);
  }
  std::sort(held.begin(), held.end());
  held.erase(std::unique(held.begin(), held.end()), held.end());
  return held;
}

// The runs the display held whatever the program did, among those judged off (`off_at`, their
// first blanks, in order): the one on the glass at the refresh after a compositor's hiccup, and
// the one on the glass when a mode change wrote off what was queued to replace it. Each is
// counted once, with the compositor's first.
void HeldByDisplay(const DisplaySim& sim, const std::vector<GlassRun>& runs,
                   const std::vector<uint64_t>& off_at, size_t& by_compositor,
                   size_t& by_write_off) {
  std::vector<uint64_t> after_hiccup;
  for (const uint64_t h : sim.Hiccups()) {
    const double period = kFrequency / sim.RefreshHzAt(h);
    after_hiccup.push_back(static_cast<uint64_t>(static_cast<double>(h) + 1.5 * period));
  }
  const std::vector<uint64_t> hiccup = RunsOnGlassAt(runs, after_hiccup);
  const std::vector<uint64_t> write_off = RunsOnGlassAt(runs, sim.WrittenOff());
  by_compositor = 0;
  by_write_off = 0;
  for (const uint64_t t : off_at) {
    if (std::binary_search(hiccup.begin(), hiccup.end(), t)) {
      ++by_compositor;
    } else if (std::binary_search(write_off.begin(), write_off.end(), t)) {
      ++by_write_off;
    }
  }
}

}  // namespace

IntendedPattern::IntendedPattern(double refresh_hz, double fps) {
  ratio = std::max(1.0, refresh_hz / fps);
  for (uint64_t d = 1; d <= 6 && !snapped; ++d) {
    const auto n = static_cast<uint64_t>(std::llround(ratio * static_cast<double>(d)));
    if (n >= d &&
        std::fabs(static_cast<double>(n) / static_cast<double>(d) - ratio) <= 0.005 * ratio) {
      snapped = true;
      p = n;
      q = d;
    }
  }
  const double per_frame = snapped ? static_cast<double>(p) / static_cast<double>(q) : ratio;
  shortest = static_cast<uint32_t>(std::floor(per_frame));
  longest = static_cast<uint32_t>(std::ceil(per_frame));
}

uint32_t IntendedPattern::Length(uint64_t n) const {
  if (!snapped) return 0;
  return static_cast<uint32_t>((n + 1) * p / q - n * p / q);
}

size_t OffPattern(const std::vector<GlassRun>& runs,
                  const std::function<IntendedPattern(uint64_t blank_qpc)>& pattern_at,
                  std::vector<uint64_t>* off_at) {
  size_t off = 0;
  bool anchored = false;
  uint64_t phase = 0;  // the pattern's frame the next run is meant to be
  double ratio = 0.0;
  for (size_t i = 1; i + 1 < runs.size(); ++i) {
    const IntendedPattern pattern = pattern_at(runs[i].first_blank_qpc);
    if (pattern.ratio != ratio) anchored = false;  // a new rate: its pattern starts anywhere
    ratio = pattern.ratio;
    if (!pattern.snapped) {
      // The carried remainder has no period to be in phase with: each run is judged on its own.
      if (runs[i].length < pattern.shortest || runs[i].length > pattern.longest) {
        ++off;
        if (off_at != nullptr) off_at->push_back(runs[i].first_blank_qpc);
      }
      continue;
    }
    if (!anchored) {
      BestFollowing(runs, i, pattern, &phase);
      anchored = true;
    }
    if (runs[i].length == pattern.Length(phase)) {
      phase = (phase + 1) % pattern.q;
    } else {
      ++off;
      if (off_at != nullptr) off_at->push_back(runs[i].first_blank_qpc);
      // One frame displaced by a refresh or more (the run before it held long or cut short,
      // its own run giving the refreshes back): only that frame's first blank is off, and the
      // frames after it start where the pattern meant. It is one frame off, not two runs. A
      // pattern that moved instead is anchored afresh, whichever the runs after follow longer.
      const bool displaced_one =
          i + 2 < runs.size() && pattern_at(runs[i + 1].first_blank_qpc).ratio == ratio &&
          runs[i].length + runs[i + 1].length ==
              pattern.Length(phase) + pattern.Length(phase + 1) &&
          Following(runs, i + 2, pattern, phase + 2) + 1 >= BestFollowing(runs, i + 1, pattern);
      if (displaced_one) {
        phase = (phase + 2) % pattern.q;
        ++i;
      } else {
        anchored = false;
      }
    }
  }
  return off;
}

double Percentile(std::vector<double> v, double q) {
  if (v.empty()) return std::nan("");
  std::sort(v.begin(), v.end());
  return v[static_cast<size_t>(static_cast<double>(v.size() - 1) * q)];
}

CadenceFigures Judge(const DisplaySim& sim, double fps, double minutes, uint32_t on_time_refreshes,
                     double settle_s) {
  CadenceFigures f;
  const uint64_t judged_from = sim.Start() + static_cast<uint64_t>(settle_s * kFrequency);
  std::vector<GlassRun> runs;
  for (const Glass& g : sim.Oracle()) {
    if (g.version == 0 || g.blank_qpc < judged_from) continue;
    if (!runs.empty() && runs.back().version == g.version) {
      ++runs.back().length;
    } else {
      runs.push_back({g.version, 1, g.blank_qpc});
    }
  }
  if (runs.size() < 3) return f;
  std::vector<uint64_t> off_at;
  const size_t off = OffPattern(
      runs,
      [&sim, fps](uint64_t blank_qpc) { return IntendedPattern(sim.RefreshHzAt(blank_qpc), fps); },
      &off_at);
  size_t by_compositor = 0;
  size_t by_write_off = 0;
  HeldByDisplay(sim, runs, off_at, by_compositor, by_write_off);
  const uint64_t change = sim.ModeChangeQpc();
  if (change != UINT64_MAX) {
    // The change's disturbance: the runs off the pattern after it, each within half a second
    // of the one before (or of the change). Half a second on the new pattern is a lock on it;
    // a run off it later (a wake milliseconds late, at the row's rate of such) is no part of
    // relocking.
    uint64_t last = change;
    for (const uint64_t t : off_at) {
      if (t < change) continue;
      if (t - last > kFrequency / 2) break;
      last = t;
    }
    f.relock_ms = base::QpcDeltaMs(change, last, kFrequency);
  }
  size_t errors = 0;
  std::vector<uint64_t> error_times;
  std::vector<double> ages;
  for (size_t i = 0; i + 1 < runs.size(); ++i) {  // the last run is cut by the end
    const GlassRun& r = runs[i];
    ages.push_back(base::QpcDeltaMs(sim.SignalTime(r.version), r.first_blank_qpc, kFrequency));
    if (i == 0) continue;  // the first run may be cut by the start
    const uint32_t longest = IntendedPattern(sim.RefreshHzAt(r.first_blank_qpc), fps).longest;
    const uint64_t skipped =
        r.version > runs[i - 1].version + 1 ? r.version - runs[i - 1].version - 1 : 0;
    const bool held_too_long = r.length > longest;
    if (skipped > 0 || held_too_long) {
      errors += skipped + (held_too_long ? 1 : 0);
      error_times.push_back(r.first_blank_qpc);
    }
  }
  const size_t judged = runs.size() - 2;
  const uint64_t source_frames = runs[runs.size() - 2].version - runs.front().version + 1;
  f.off_pattern_per_10k =
      1e4 * static_cast<double>(off - by_compositor - by_write_off) / static_cast<double>(judged);
  f.compositor_per_10k = 1e4 * static_cast<double>(by_compositor) / static_cast<double>(judged);
  f.written_off_per_10k = 1e4 * static_cast<double>(by_write_off) / static_cast<double>(judged);
  f.errors_per_10k = 1e4 * static_cast<double>(errors) / static_cast<double>(source_frames);
  // The beat: source frames made a second against those the display's pattern takes, each
  // rate as its own clock runs (at the rate the run started with).
  const IntendedPattern start(sim.Display().refresh_hz, fps);
  const double source_hz = 1.0 / sim.SourcePeriodS();
  const double refresh_true_hz = sim.Display().refresh_hz * (1.0 + sim.Display().ppm * 1e-6);
  const double per_frame =
      start.snapped ? static_cast<double>(start.p) / static_cast<double>(start.q) : start.ratio;
  f.beat_per_10k = 1e4 * std::fabs(source_hz - refresh_true_hz / per_frame) / source_hz;
  size_t events = 0;
  uint64_t last_event = 0;
  for (const uint64_t t : error_times) {
    if (events == 0 || t - last_event > kFrequency / 2) ++events;
    last_event = t;
  }
  f.judder_per_minute = static_cast<double>(events) / minutes;

  std::vector<double> takes;
  bool slipped = false;
  uint64_t slipped_at = 0;
  size_t late_in_slip = 0;  // presents shown late since the slip began
  for (const PresentFate& p : sim.Presents()) {
    if (!p.shown || p.taken_qpc < judged_from) continue;
    takes.push_back(base::QpcDeltaMs(p.taken_qpc, p.first_blank_qpc, kFrequency));
    const double period = kFrequency / sim.RefreshHzAt(p.first_blank_qpc);
    // Refreshes from the first blank after the take to the one it reached the glass at. A take
    // at the very instant of a blank (a wait that returned with it) cannot make that blank: the
    // next one is the first after it, and the counter's rounding of the blank times (a tenth of
    // a microsecond) must not make a present taken there one refresh late.
    const double after_take = static_cast<double>(p.first_blank_qpc - p.taken_qpc) / period;
    const bool late = after_take > static_cast<double>(on_time_refreshes) + 1.0 + kSameInstant;
    if (late && !slipped) {
      slipped = true;
      slipped_at = p.first_blank_qpc;
      late_in_slip = 0;
      ++f.slips;
    }
    if (late) ++late_in_slip;
    if (!late && slipped) {
      slipped = false;
      f.recovered_at_next += late_in_slip == 1 ? 1 : 0;
      f.recovery_refreshes.push_back(
          std::round(static_cast<double>(p.first_blank_qpc - slipped_at) / period));
    }
  }
  f.take_p50_ms = Percentile(takes, 0.5);
  f.take_p99_ms = Percentile(takes, 0.99);
  f.age_p50_ms = Percentile(ages, 0.5);
  f.age_p99_ms = Percentile(ages, 0.99);
  return f;
}

}  // namespace tsl::sim
