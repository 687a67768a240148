#pragma once

#include <cstdint>
#include <string>

namespace tsl {

// How many refreshes each output frame stays on a display: the refresh rate over the requested
// rate, snapped to a fraction p/q with q at most 6 where one lies within 0.5% (72 on 143.98 Hz:
// 2 each; 24 on 60: 2, 3, 2, 3; 60 on 59.94: 1 each), frame n starting p n / q refreshes (rounded
// down) after the first. Where no small fraction fits, each frame gets the rounded number of
// refreshes and the remainder carries to the next. A display slower than the requested rate
// shows every frame for one refresh: a frame can stay no less.
class RefreshPattern {
 public:
  static constexpr uint32_t kMostDenominator = 6;
  static constexpr double kSnapTolerance = 0.005;

  RefreshPattern() = default;
  RefreshPattern(double refresh_hz, double fps);

  // The refresh frame `n` starts at, counted from frame 0's.
  uint64_t StartOf(uint64_t n) const;
  uint32_t RefreshesOf(uint64_t n) const {
    return static_cast<uint32_t>(StartOf(n + 1) - StartOf(n));
  }
  // How far frame n's evenly spaced moment (n times the average) lies after its start, in
  // refreshes, and the most it can: evenly spaced moments at least that much before the starts
  // are never after them.
  double EvenOffsetOf(uint64_t n) const;
  double EvenOffsetMost() const { return snapped_ ? double(q_ - 1) / double(q_) : 0.5; }
  // Refreshes per frame on average: p / q, or the unsnapped ratio.
  double RefreshesPerFrame() const { return snapped_ ? double(p_) / double(q_) : ratio_; }
  bool Snapped() const { return snapped_; }
  // Frames of two lengths in a fixed order (2-3): where a frame stands in it is a phase that a
  // schedule keeps, or the order breaks.
  bool Phased() const { return snapped_ && q_ > 1; }
  uint32_t Shortest() const { return shortest_; }
  uint32_t Longest() const { return longest_; }
  // "2", or "2-3" for a pattern that mixes the two.
  std::string Label() const;

 private:
  double ratio_ = 1.0;
  bool snapped_ = true;
  uint64_t p_ = 1;
  uint64_t q_ = 1;
  uint32_t shortest_ = 1;
  uint32_t longest_ = 1;
};

// The pattern a schedule follows on a grid that is refined as it runs: made again only when the
// grid's period moves by more than 0.1% (another mode), not at every refinement, so that a rate
// near the snap's edge does not change its pattern under running frames.
class GridPattern {
 public:
  GridPattern(uint64_t frequency, double fps) : frequency_(frequency), fps_(fps) {}

  // For a grid of `period_qpc`: the pattern in use, or a new one when the period moved.
  void Follow(double period_qpc);
  // One refresh each until a grid was followed.
  const RefreshPattern& Pattern() const { return pattern_; }
  // The pattern in use ("2", "2-3"), or before any grid the one `refresh_hz` gives.
  std::string Label(double refresh_hz) const;
  // --fps is above `refresh_hz` (beyond the snap): frames are shown one a refresh, some never.
  bool AboveRefresh(double refresh_hz) const {
    return fps_ > refresh_hz * (1.0 + RefreshPattern::kSnapTolerance);
  }

 private:
  static constexpr double kRefit = 0.001;

  uint64_t frequency_;
  double fps_;
  RefreshPattern pattern_;
  double periodQpc_ = 0.0;  // the grid period the pattern was made for (0: none yet)
};

}  // namespace tsl
