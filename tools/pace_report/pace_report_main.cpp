// tessaline_pace_report: the figures and pictures of one or two pace logs.
//
//   tessaline_pace_report LOG [LOG2] [-o REPORT.html]
//
// Prints the summary of each log (and, for two, the figures side by side with the differences)
// and writes a self-contained HTML report, by default beside the first log. Exit code 0 when
// the report was written, 2 for bad input or usage (nothing is written), 1 when the report
// cannot be written.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "pace_report/counter_frequency.h"
#include "pace_report/pace_log_reader.h"
#include "pace_report/pace_report_html.h"
#include "pace_report/pace_report_summary.h"
#include "pace_report/pace_report_text.h"

namespace fs = std::filesystem;
using namespace tsl::report;

namespace {

constexpr size_t kWarningsShown = 10;

int Usage() {
  std::fputs("usage: tessaline_pace_report LOG [LOG2] [-o REPORT.html]\n", stderr);
  return 2;
}

fs::path DefaultReportPath(const std::vector<fs::path>& logs) {
  std::string stem = logs[0].stem().string();
  if (logs.size() == 2) stem += "_vs_" + logs[1].stem().string();
  return logs[0].parent_path() / (stem + "_report.html");
}

// Writes beside the target first and renames, so that a failed write leaves no half report.
bool WriteReport(const fs::path& path, const std::string& html) {
  fs::path partial = path;
  partial += ".partial";
  {
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    out.write(html.data(), static_cast<std::streamsize>(html.size()));
    out.close();
    if (!out) {
      std::error_code ignored;
      fs::remove(partial, ignored);
      return false;
    }
  }
  std::error_code error;
  fs::rename(partial, path, error);
  if (error) fs::remove(partial, error);
  return !error;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<fs::path> paths;
  std::vector<std::string> names;
  fs::path report;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "-o" && i + 1 < argc) {
      report = fs::path(argv[++i]);
    } else if (!arg.empty() && arg[0] == '-') {
      return Usage();
    } else {
      paths.emplace_back(argv[i]);
      names.push_back(arg);
    }
  }
  if (paths.empty() || paths.size() > 2) return Usage();
  if (report.empty()) report = DefaultReportPath(paths);

  std::vector<PaceLog> logs(paths.size());
  std::vector<PaceReportSummary> summaries(paths.size());
  for (size_t i = 0; i < paths.size(); ++i) {
    std::string error;
    CounterFrequency frequency;
    if (!ReadPaceLog(paths[i], names[i], logs[i], error) ||
        (logs[i].rows.size() >= 2 && !DeriveCounterFrequency(logs[i], frequency, error))) {
      std::fprintf(stderr, "tessaline_pace_report: %s\n", error.c_str());
      return 2;
    }
    if (logs[i].rows.size() < 2) {
      std::fprintf(stderr,
                   "tessaline_pace_report: %s: holds %zu ticks; a report needs at least 2\n",
                   names[i].c_str(), logs[i].rows.size());
      return 2;
    }
    const std::vector<std::string>& warnings = logs[i].warnings;
    for (size_t w = 0; w < warnings.size() && w < kWarningsShown; ++w) {
      std::fprintf(stderr, "tessaline_pace_report: warning: %s\n", warnings[w].c_str());
    }
    if (warnings.size() > kWarningsShown) {
      std::fprintf(stderr, "tessaline_pace_report: warning: %s: %zu more tick gaps\n",
                   names[i].c_str(), warnings.size() - kWarningsShown);
    }
    summaries[i] = Summarise(logs[i], frequency);
  }

  std::string text;
  std::vector<NamedSummary> named;
  for (size_t i = 0; i < paths.size(); ++i) {
    if (i > 0) text += "\n";
    text += FormatSummary(names[i], summaries[i]);
    named.push_back({names[i], &summaries[i]});
  }
  if (paths.size() == 2) {
    text += "\n" + FormatComparison(names[0], summaries[0], names[1], summaries[1]);
  }
  std::fputs(text.c_str(), stdout);

  if (!WriteReport(report, RenderHtmlReport(named))) {
    std::fprintf(stderr, "tessaline_pace_report: %s: the report cannot be written\n",
                 report.string().c_str());
    return 1;
  }
  std::printf("report: %s\n", report.string().c_str());
  return 0;
}
