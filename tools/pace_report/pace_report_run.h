#pragma once

#include <string>
#include <vector>

namespace tsl::report {

// Exit codes of tessaline_pace_report.
inline constexpr int kReportWritten = 0;
inline constexpr int kReportNotWritten = 1;  // the input was good; the report could not be written
inline constexpr int kBadInput = 2;          // bad input or usage: nothing was written

// The whole program on its arguments (without the program name): reads the logs, prints the
// summaries to `out` and messages to `err`, writes the HTML report, and returns the exit code.
int RunPaceReport(const std::vector<std::string>& args, std::string& out, std::string& err);

}  // namespace tsl::report
