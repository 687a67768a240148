#pragma once

#include <string>
#include <vector>

#include "pace_report/pace_report_summary.h"

namespace tsl::report {

// One figure of a summary, for the comparison table (text and HTML alike).
struct Figure {
  const char* label;
  const char* unit;
  double value;
  int decimals;
  bool measured = true;  // false: shown as "not measured", with `why` and no difference
  const char* why = "(vsync)";
};
inline constexpr char kNotMeasuredVsync[] = "not measured (vsync)";
std::vector<Figure> Figures(const PaceReportSummary& s);

// How a log was run and the rate it aimed at (the schedule's period, else the median interval),
// and a one-line judgement: even when at most 1 interval in 1,000 is over 1.5 x the median and
// the rate is within 1% of the aim; else what broke it.
struct Verdict {
  std::string settings;
  std::string verdict;  // "even: ..." or "uneven: ..."
  bool even = false;
};
Verdict JudgeLog(const PaceReportSummary& s);

// The summary of one log as a person reads it, every definition stated.
std::string FormatSummary(const std::string& name, const PaceReportSummary& s);

// The figures of two logs side by side with their differences (second minus first).
std::string FormatComparison(const std::string& first, const PaceReportSummary& a,
                             const std::string& second, const PaceReportSummary& b);

}  // namespace tsl::report
