#include "pacing/vblank_clock.h"

#include <cmath>

#include "base/qpc.h"

namespace tsl {

namespace {
// A regression whose period is this far from the stated one is not believed: a report of the
// wrong output, or a history that jumped without saying so.
constexpr double kMostPeriodError = 0.02;
// The compositor's phase is taken for a nominal rate only when its period agrees this well.
constexpr double kPhaseAgreement = 0.005;
// Rates outside these are no display's: a misread.
constexpr double kLeastStatedHz = 20.0;
constexpr double kMostStatedHz = 1000.0;
}  // namespace

const char* BlankSourceName(BlankSource source) {
  switch (source) {
    case BlankSource::kSynthetic:
      return "synthetic";
    case BlankSource::kCompositor:
      return "compositor";
    case BlankSource::kNominal:
      return "nominal";
    case BlankSource::kStatistics:
      return "statistics";
    case BlankSource::kNone:
      break;
  }
  return "none";
}

double BlankGrid::Nearest(double t) const {
  return anchor_qpc + std::round((t - anchor_qpc) / period_qpc) * period_qpc;
}

double BlankGrid::AtOrAfter(double t) const {
  return anchor_qpc + std::ceil((t - anchor_qpc) / period_qpc) * period_qpc;
}

BlankGrid StatedGrid(const StatedTiming& t, uint64_t frequency) {
  BlankGrid grid;
  const auto freq = static_cast<double>(frequency);
  const double comp_period = t.compositor ? static_cast<double>(t.compositor_period_qpc) : 0.0;
  if (t.nominal_numerator > 0 && t.nominal_denominator > 0) {
    const double hz =
        static_cast<double>(t.nominal_numerator) / static_cast<double>(t.nominal_denominator);
    if (hz >= kLeastStatedHz && hz <= kMostStatedHz) {
      grid.source = BlankSource::kNominal;
      grid.period_qpc = freq / hz;
      if (comp_period > 0.0 && std::fabs(comp_period / grid.period_qpc - 1.0) <= kPhaseAgreement) {
        grid.anchor_qpc = static_cast<double>(t.compositor_blank_qpc);
      }
      return grid;
    }
  }
  if (comp_period <= 0.0 || freq / comp_period < kLeastStatedHz ||
      freq / comp_period > kMostStatedHz) {
    return grid;
  }
  const bool whole_rate = t.compositor_rate_denominator != 0 &&
                          t.compositor_rate_numerator % t.compositor_rate_denominator == 0;
  const bool on_multiple = t.compositor_blank_qpc % t.compositor_period_qpc == 0;
  grid.source = whole_rate && on_multiple ? BlankSource::kSynthetic : BlankSource::kCompositor;
  grid.period_qpc = comp_period;
  grid.anchor_qpc = static_cast<double>(t.compositor_blank_qpc);
  return grid;
}

void VblankClock::SetStated(const BlankGrid& stated) {
  stated_ = stated;
  RestartReports();
}

void VblankClock::RestartReports() {
  fit_.Clear();
  haveOrigin_ = false;
  backwards_ = 0;
  grid_ = stated_;
}

void VblankClock::AddReport(uint32_t refresh_count, uint64_t sync_qpc) {
  if (sync_qpc == 0) return;
  if (!haveOrigin_) {
    haveOrigin_ = true;
    originRefresh_ = refresh_count;
    originQpc_ = sync_qpc;
    lastRefresh_ = refresh_count;
    fit_.Add(0.0, 0.0);
    return;
  }
  const auto step = static_cast<int32_t>(refresh_count - lastRefresh_);
  if (step == 0) return;
  if (step < 0) {
    // One count that went back is a misreport and is dropped; several in a row belong to
    // another history, though none was announced.
    if (++backwards_ < kBackwardsToRestart) return;
    RestartReports();
    AddReport(refresh_count, sync_qpc);
    return;
  }
  backwards_ = 0;
  lastRefresh_ = refresh_count;
  fit_.Add(static_cast<double>(refresh_count - originRefresh_),
           static_cast<double>(static_cast<int64_t>(sync_qpc - originQpc_)));
  Refit();
}

void VblankClock::Refit() {
  if (fit_.Size() < kEnoughReports || fit_.Span() < static_cast<double>(kEnoughRefreshes)) return;
  // The tolerance needs a period: the stated one, else a first fit's own.
  double period = stated_.Valid() ? stated_.period_qpc : 0.0;
  LineFit::Line line;
  if (period <= 0.0) {
    if (!fit_.Fit(1e300, line)) return;
    period = line.slope;
  }
  if (!(period > 0.0) || !fit_.Fit(period / 4.0, line) || !(line.slope > 0.0)) return;
  if (stated_.Valid() && std::fabs(line.slope / stated_.period_qpc - 1.0) > kMostPeriodError) {
    return;
  }
  if (frequency_ > 0) {
    const double hz = base::QpcHz(line.slope, frequency_);
    if (!(hz >= kLeastStatedHz && hz <= kMostStatedHz)) return;  // no display's
  }
  grid_.source = BlankSource::kStatistics;
  grid_.period_qpc = line.slope;
  grid_.anchor_qpc = static_cast<double>(originQpc_) + line.intercept;
}

}  // namespace tsl
