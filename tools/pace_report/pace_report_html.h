#pragma once

#include <string>
#include <vector>

#include "pace_report/pace_report_summary.h"

namespace tsl::report {

struct NamedSummary {
  std::string name;
  const PaceReportSummary* summary;
};

// A self-contained HTML page (inline SVG and CSS, no scripts, nothing fetched) with, for one or
// two logs: the interval of every tick over time with the median marked, a histogram of the
// intervals, the lateness over time, the summary figures (with the differences for two), and
// the resync ticks.
std::string RenderHtmlReport(const std::vector<NamedSummary>& logs);

}  // namespace tsl::report
