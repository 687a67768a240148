// Any file given to the pace report: it is read, or refused with a message naming a line, and a
// log that is read is summarised and rendered without fault.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "pace_report/counter_frequency.h"
#include "pace_report/pace_log_reader.h"
#include "pace_report/pace_report_html.h"
#include "pace_report/pace_report_summary.h"
#include "pace_report/pace_report_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  tsl::report::PaceLog log;
  std::string error;
  if (!tsl::report::ParsePaceLog(text, "fuzz.csv", log, error)) {
    if (error.rfind("fuzz.csv:", 0) != 0) std::abort();
    return 0;
  }
  tsl::report::CounterFrequency frequency;
  if (log.rows.size() < 2 || !tsl::report::DeriveCounterFrequency(log, frequency, error)) return 0;
  if (frequency.hz == 0 || static_cast<double>(frequency.hz) + 1.0 < frequency.low_hz) std::abort();
  const tsl::report::PaceReportSummary summary = tsl::report::Summarise(log, frequency);
  const std::string summary_text = tsl::report::FormatSummary("fuzz.csv", summary);
  const std::string html = tsl::report::RenderHtmlReport({{"fuzz.csv", &summary}});
  if (summary_text.empty() || html.find("</html>") == std::string::npos) std::abort();
  return 0;
}
