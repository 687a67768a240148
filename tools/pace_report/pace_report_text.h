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

// The summary of one log as a person reads it, every definition stated.
std::string FormatSummary(const std::string& name, const PaceReportSummary& s);

// The figures of two logs side by side with their differences (second minus first).
std::string FormatComparison(const std::string& first, const PaceReportSummary& a,
                             const std::string& second, const PaceReportSummary& b);

}  // namespace tsl::report
