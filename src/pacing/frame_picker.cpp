#include "pacing/frame_picker.h"

#include <algorithm>
#include <cmath>

#include "base/qpc.h"

namespace tsl {

namespace {
constexpr double kSkipAge = 1.05;  // source periods
// The guard is at most 1 ms, and at most half the skip's excess over a period: after a skip the
// next frame is predicted 0.05 periods old, and it must not be too fresh at once, or the two
// rules would take turns (a skip, a hold, a skip) where they are meant to hold still.
constexpr double kGuardUs = 1000.0;
constexpr double kGuardPeriods = 0.025;
// A frame this many periods off the line is a new history (a pause, a new sender): the fit
// starts over from it.
constexpr double kBreakPeriods = 2.0;
}  // namespace

double FramePicker::Arrival(uint64_t version) const {
  const auto x = static_cast<double>(static_cast<int64_t>(version - originVersion_));
  return static_cast<double>(originQpc_) + line_.intercept + line_.slope * x;
}

void FramePicker::Seen(uint64_t version, uint64_t seen_qpc) {
  if (version == 0 || seen_qpc == 0) return;
  if (haveOrigin_ && version <= lastVersion_) return;
  if (haveLine_ &&
      std::fabs(static_cast<double>(seen_qpc) - Arrival(version)) > kBreakPeriods * line_.slope) {
    fit_.Clear();
    haveOrigin_ = false;
    haveLine_ = false;
  }
  if (!haveOrigin_) {
    haveOrigin_ = true;
    originVersion_ = version;
    originQpc_ = seen_qpc;
  }
  lastVersion_ = version;
  fit_.Add(static_cast<double>(version - originVersion_),
           static_cast<double>(static_cast<int64_t>(seen_qpc - originQpc_)));
  if (fit_.Size() < kEnough || fit_.Span() < static_cast<double>(kEnough)) return;
  LineFit::Line first;
  if (!fit_.Fit(1e300, first) || !(first.slope > 0.0)) return;
  LineFit::Line line;
  if (fit_.Fit(first.slope / 4.0, line) && line.slope > 0.0) {
    line_ = line;
    haveLine_ = true;
  }
}

uint64_t FramePicker::Pick(uint64_t sample_qpc, uint64_t shown, uint64_t newest) const {
  if (!haveLine_ || shown == 0 || newest == 0) return kNewest;
  const double period = line_.slope;
  const auto sample = static_cast<double>(sample_qpc);
  const double guard = std::min(base::QpcFromUs(kGuardUs, frequency_), kGuardPeriods * period);
  uint64_t next = shown + 1;
  while (next < newest && sample - Arrival(next) > kSkipAge * period) ++next;
  if (Arrival(next) > sample - guard) return shown;
  return std::min(next, newest);
}

}  // namespace tsl
