#include "pace_report/pace_report_run.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "pace_report/counter_frequency.h"
#include "pace_report/csv_lines.h"
#include "pace_report/display_log_reader.h"
#include "pace_report/pace_log_reader.h"
#include "pace_report/pace_report_html.h"
#include "pace_report/pace_report_summary.h"
#include "pace_report/pace_report_text.h"
#include "tsl_version.h"

namespace tsl::report {

namespace fs = std::filesystem;

namespace {

constexpr size_t kWarningsShown = 10;

constexpr char kProgram[] = "tessaline_pace_report: ";

int Usage(std::string& err) {
  err += "usage: tessaline_pace_report LOG [LOG2] [-o REPORT.html]\n";
  return kBadInput;
}

// True when the two paths name the same file (or, for one that does not exist yet, the same
// place).
bool SameFile(const fs::path& a, const fs::path& b) {
  std::error_code error;
  if (fs::exists(a, error) && fs::exists(b, error)) return fs::equivalent(a, b, error);
  return fs::weakly_canonical(a, error) == fs::weakly_canonical(b, error);
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
  if (error) {
    // The clean-up has an error of its own: the rename's must not be lost with it.
    std::error_code ignored;
    fs::remove(partial, ignored);
    return false;
  }
  return true;
}

}  // namespace

int RunPaceReport(const std::vector<std::string>& args, std::string& out, std::string& err) {
  std::vector<fs::path> paths;
  std::vector<std::string> names;
  fs::path report;
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h" || args[0] == "/?")) {
    out += std::string("tessaline_pace_report ") + TSL_VERSION +
           ": the figures and pictures of one or two pace logs.\n"
           "usage: tessaline_pace_report LOG [LOG2] [-o REPORT.html]\n"
           "  Prints the summary of each log (and, for two, the figures side by side) and writes\n"
           "  a self-contained HTML report, beside the first log unless -o names it.\n"
           "  Exit code 0: the report was written; 2: bad input or usage, nothing written;\n"
           "  1: the report could not be written.\n";
    return kReportWritten;
  }
  if (args.size() == 1 && args[0] == "--version") {
    out += std::string("tessaline_pace_report ") + TSL_VERSION + "\n";
    return kReportWritten;
  }
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "-o" && i + 1 < args.size()) {
      report = fs::path(args[++i]);
    } else if (!arg.empty() && arg[0] == '-') {
      return Usage(err);
    } else {
      paths.emplace_back(arg);
      names.push_back(arg);
    }
  }
  if (paths.empty() || paths.size() > 2) return Usage(err);
  if (report.empty()) report = DefaultReportPath(paths);
  std::error_code ignored;
  if (fs::is_directory(report, ignored)) {
    err += kProgram + report.string() + ": is a directory; name the report file\n";
    return kBadInput;
  }
  for (size_t i = 0; i < paths.size(); ++i) {
    if (SameFile(report, paths[i])) {
      err += kProgram + report.string() + ": is the log " + names[i] +
             "; the report would overwrite it\n";
      return kBadInput;
    }
  }

  std::vector<PaceLog> logs(paths.size());
  std::vector<PaceReportSummary> summaries(paths.size());
  for (size_t i = 0; i < paths.size(); ++i) {
    std::string error;
    CounterFrequency frequency;
    if (!ReadPaceLog(paths[i], names[i], logs[i], error) ||
        (logs[i].rows.size() >= 2 && !DeriveCounterFrequency(logs[i], frequency, error))) {
      err += kProgram + error + "\n";
      return kBadInput;
    }
    if (logs[i].rows.size() < 2) {
      err += kProgram + names[i] + ": holds " + std::to_string(logs[i].rows.size()) +
             " ticks; a report needs at least 2\n";
      return kBadInput;
    }
    const std::vector<std::string>& warnings = logs[i].warnings;
    for (size_t w = 0; w < warnings.size() && w < kWarningsShown; ++w) {
      err += std::string(kProgram) + "warning: " + warnings[w] + "\n";
    }
    if (warnings.size() > kWarningsShown) {
      err += std::string(kProgram) + "warning: " + names[i] + ": " +
             std::to_string(warnings.size() - kWarningsShown) + " more tick gaps\n";
    }
    summaries[i] = Summarise(logs[i], frequency);
    // The display log beside it, when there is one; a missing one is no error.
    const fs::path display_path = DisplayLogBeside(paths[i]);
    if (fs::is_regular_file(display_path, ignored)) {
      std::string text;
      std::vector<DisplayRow> display;
      if (!ReadWholeFile(display_path, display_path.string(), "a display log", text, error) ||
          !ParseDisplayLog(text, display_path.string(), display, error)) {
        err += kProgram + error + "\n";
        return kBadInput;
      }
      AddDisplay(summaries[i], logs[i], display);
    }
    if (summaries[i].intervals == 0) {
      err += kProgram + names[i] + ": no two neighbouring ticks: no interval to measure\n";
      return kBadInput;
    }
  }

  std::vector<NamedSummary> named;
  for (size_t i = 0; i < paths.size(); ++i) {
    if (i > 0) out += "\n";
    out += FormatSummary(names[i], summaries[i]);
    named.push_back({names[i], &summaries[i]});
  }
  if (paths.size() == 2) {
    out += "\n" + FormatComparison(names[0], summaries[0], names[1], summaries[1]);
  }

  if (!WriteReport(report, RenderHtmlReport(named))) {
    err += kProgram + report.string() + ": the report cannot be written\n";
    return kReportNotWritten;
  }
  out += "report: " + report.string() + "\n";
  return kReportWritten;
}

}  // namespace tsl::report
