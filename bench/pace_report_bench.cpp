// The pace report of a full pace log (8,192 rows) from its text: parse, derive the counter
// frequency, summarise, and render the text and the HTML report. The target is 10 ms.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "measure/pace_log.h"
#include "pace_report/counter_frequency.h"
#include "pace_report/pace_log_reader.h"
#include "pace_report/pace_report_html.h"
#include "pace_report/pace_report_summary.h"
#include "pace_report/pace_report_text.h"

namespace {

// A 60 Hz run at 10 MHz with some spread, a few resyncs and holds.
std::string FullLogText() {
  std::vector<tsl::PaceSample> samples;
  uint64_t t = 123'456'789'000ull;
  for (uint64_t i = 0; i < tsl::kPaceRingCapacity; ++i) {
    t += 166'666 + (i * 7919) % 4'000 + (i % 997 == 0 ? 300'000 : 0);
    samples.push_back(
        {i + 1000, t - (i * 31) % 900, t, t + 40'000 + (i * 104'729) % 20'000, i % 3 == 0, i / 3});
  }
  return tsl::FormatPaceLog(samples, 10'000'000);
}

void BM_ReportOfAFullLog(benchmark::State& state) {
  const std::string text = FullLogText();
  size_t html_bytes = 0;
  for (auto _ : state) {
    tsl::report::PaceLog log;
    std::string error;
    tsl::report::CounterFrequency frequency;
    if (!tsl::report::ParsePaceLog(text, "pace_log.csv", log, error) ||
        !tsl::report::DeriveCounterFrequency(log, frequency, error)) {
      state.SkipWithError(error.c_str());
      break;
    }
    const tsl::report::PaceReportSummary summary = tsl::report::Summarise(log, frequency);
    const std::string summary_text = tsl::report::FormatSummary("pace_log.csv", summary);
    const std::string html = tsl::report::RenderHtmlReport({{"pace_log.csv", &summary}});
    html_bytes = html.size();
    benchmark::DoNotOptimize(summary_text.data());
    benchmark::DoNotOptimize(html.data());
  }
  state.counters["rows"] = static_cast<double>(tsl::kPaceRingCapacity);
  state.counters["html_bytes"] = static_cast<double>(html_bytes);
}
BENCHMARK(BM_ReportOfAFullLog)->Unit(benchmark::kMillisecond);

void BM_ParseOnly(benchmark::State& state) {
  const std::string text = FullLogText();
  for (auto _ : state) {
    tsl::report::PaceLog log;
    std::string error;
    benchmark::DoNotOptimize(tsl::report::ParsePaceLog(text, "pace_log.csv", log, error));
  }
}
BENCHMARK(BM_ParseOnly)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
