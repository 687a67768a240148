#include "pace_report/pace_report_run.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
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

// What the command line asks for: the logs (as given, and as paths) and the report's path.
struct Request {
  std::vector<fs::path> paths;
  std::vector<std::string> names;
  fs::path report;
};

// "--help" or "--version" alone: its text into `out`, and true.
bool HelpOrVersion(const std::vector<std::string>& args, std::string& out) {
  if (args.size() != 1) return false;
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "/?") {
    out += std::string("tessaline_pace_report ") + TSL_VERSION +
           ": the figures and pictures of one or two pace logs.\n"
           "usage: tessaline_pace_report LOG [LOG2] [-o REPORT.html]\n"
           "  Prints the summary of each log (and, for two, the figures side by side) and writes\n"
           "  a self-contained HTML report, beside the first log unless -o names it.\n"
           "  Exit code 0: the report was written; 2: bad input or usage, nothing written;\n"
           "  1: the report could not be written.\n";
    return true;
  }
  if (args[0] == "--version") {
    out += std::string("tessaline_pace_report ") + TSL_VERSION + "\n";
    return true;
  }
  return false;
}

// The logs and the report from the arguments; false, with the message in `err`, when they are
// not usable: a usage error, a report path that is a folder or one of the logs.
bool ReadRequest(const std::vector<std::string>& args, Request& r, std::string& err) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "-o" && i + 1 < args.size()) {
      r.report = fs::path(args[++i]);
    } else if (!arg.empty() && arg[0] == '-') {
      Usage(err);
      return false;
    } else {
      r.paths.emplace_back(arg);
      r.names.push_back(arg);
    }
  }
  if (r.paths.empty() || r.paths.size() > 2) {
    Usage(err);
    return false;
  }
  if (r.report.empty()) r.report = DefaultReportPath(r.paths);
  std::error_code ignored;
  if (fs::is_directory(r.report, ignored)) {
    err += kProgram + r.report.string() + ": is a directory; name the report file\n";
    return false;
  }
  for (size_t i = 0; i < r.paths.size(); ++i) {
    if (SameFile(r.report, r.paths[i])) {
      err += kProgram + r.report.string() + ": is the log " + r.names[i] +
             "; the report would overwrite it\n";
      return false;
    }
  }
  return true;
}

// Both logs are written from the same ticks, so a display log's present_done_qpc is the pace
// log's done_qpc for the same tick. One that is not (left from another run, because only one of
// the two could be written) belongs to another pace log: false, with both names in `error`.
bool DisplayLogBelongs(const PaceLog& log, const std::vector<DisplayRow>& display,
                       const std::string& log_name, const std::string& display_name,
                       std::string& error) {
  size_t r = 0;
  for (const DisplayRow& d : display) {
    while (r < log.rows.size() && log.rows[r].sample.tick < d.tick) ++r;
    const bool same_tick = r < log.rows.size() && log.rows[r].sample.tick == d.tick;
    if (same_tick && log.rows[r].sample.done_qpc == d.present_done_qpc) continue;
    error = display_name + ": does not belong to " + log_name + ": tick " + std::to_string(d.tick) +
            (same_tick ? " was done at " + std::to_string(d.present_done_qpc) +
                             " in the display log and at " +
                             std::to_string(log.rows[r].sample.done_qpc) + " in the pace log"
                       : " is not in the pace log") +
            " (a display log left from another run?)";
    return false;
  }
  return true;
}

// Reads one log and the display log beside it (when there is one; a missing one is no error)
// and summarises them; false, with the message in `err`, for a log no report can be made of.
// Its tick gaps are warned about in `err` (the first few).
bool SummariseLog(const fs::path& path, const std::string& name, PaceLog& log,
                  PaceReportSummary& summary, std::string& err) {
  std::string error;
  CounterFrequency frequency;
  if (!ReadPaceLog(path, name, log, error) ||
      (log.rows.size() >= 2 && !DeriveCounterFrequency(log, frequency, error))) {
    err += kProgram + error + "\n";
    return false;
  }
  if (log.rows.size() < 2) {
    err += kProgram + name + ": holds " + std::to_string(log.rows.size()) +
           " ticks; a report needs at least 2\n";
    return false;
  }
  for (size_t w = 0; w < log.warnings.size() && w < kWarningsShown; ++w) {
    err += std::string(kProgram) + "warning: " + log.warnings[w] + "\n";
  }
  if (log.warnings.size() > kWarningsShown) {
    err += std::string(kProgram) + "warning: " + name + ": " +
           std::to_string(log.warnings.size() - kWarningsShown) + " more tick gaps\n";
  }
  summary = Summarise(log, frequency);
  const fs::path display_path = DisplayLogBeside(path);
  std::error_code ignored;
  if (fs::is_regular_file(display_path, ignored)) {
    std::string text;
    std::vector<DisplayRow> display;
    if (!ReadWholeFile(display_path, display_path.string(), "a display log", text, error) ||
        !ParseDisplayLog(text, display_path.string(), display, error) ||
        !DisplayLogBelongs(log, display, name, display_path.string(), error)) {
      err += kProgram + error + "\n";
      return false;
    }
    AddDisplay(summary, log, display);
  }
  if (summary.intervals == 0) {
    err += kProgram + name + ": no two neighbouring ticks: no interval to measure\n";
    return false;
  }
  return true;
}

}  // namespace

int RunPaceReport(const std::vector<std::string>& args, std::string& out, std::string& err) {
  if (HelpOrVersion(args, out)) return kReportWritten;
  Request request;
  if (!ReadRequest(args, request, err)) return kBadInput;
  const size_t n = request.paths.size();
  std::vector<PaceLog> logs(n);
  std::vector<PaceReportSummary> summaries(n);
  for (size_t i = 0; i < n; ++i) {
    if (!SummariseLog(request.paths[i], request.names[i], logs[i], summaries[i], err)) {
      return kBadInput;
    }
  }
  std::vector<NamedSummary> named;
  for (size_t i = 0; i < n; ++i) {
    if (i > 0) out += "\n";
    out += FormatSummary(request.names[i], summaries[i]);
    named.push_back({request.names[i], &summaries[i]});
  }
  if (n == 2) {
    out += '\n';
    out += FormatComparison(request.names[0], summaries[0], request.names[1], summaries[1]);
  }
  if (!WriteReport(request.report, RenderHtmlReport(named))) {
    err += kProgram + request.report.string() + ": the report cannot be written\n";
    return kReportNotWritten;
  }
  out += "report: " + request.report.string() + "\n";
  return kReportWritten;
}

}  // namespace tsl::report
