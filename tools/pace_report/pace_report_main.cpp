// tessaline_pace_report: the figures and pictures of one or two pace logs.
//
//   tessaline_pace_report LOG [LOG2] [-o REPORT.html]
//
// Prints the summary of each log (and, for two, the figures side by side with the differences)
// and writes a self-contained HTML report, by default beside the first log. Exit code 0 when
// the report was written, 2 for bad input or usage (nothing is written), 1 when the report
// cannot be written.
#include <cstdio>
#include <string>
#include <vector>

#include "pace_report/pace_report_run.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  std::string out;
  std::string err;
  const int code = tsl::report::RunPaceReport(args, out, err);
  std::fputs(out.c_str(), stdout);
  std::fputs(err.c_str(), stderr);
  return code;
}
