#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "measure/pace_stats.h"

namespace tsl::report {

// One row of a pace log: the sample it was written from, and the two millisecond columns as
// printed (they are what the counter frequency is derived from).
struct PaceLogRow {
  PaceSample sample;
  double jitter_ms = 0.0;
  double cb_ms = 0.0;
  size_t line = 0;         // 1-based line number in the file
  bool after_gap = false;  // ticks are missing before this row: no interval ends here
};

struct PaceLog {
  std::string name;  // as given on the command line, for messages
  std::vector<PaceLogRow> rows;
  std::vector<std::string> warnings;  // "NAME:LINE: ..." (gaps in the ticks)
  size_t gaps = 0;                    // rows with after_gap
};

// Reads the text of a pace log: the exact header, then rows of eight comma-separated fields
// (tick, three counts, two finite fixed-point numbers, a 0/1 flag, a count), every line ended by
// CR LF or LF. Ticks go up; a tick more than one after the one before is a gap (two exports in
// one file), noted, not an error. Target and wake times never go back. On the first bad line,
// returns false with `error` = "NAME:LINE: what is wrong".
bool ParsePaceLog(std::string_view text, const std::string& name, PaceLog& log, std::string& error);

// Reads the file at `path` and parses it, naming it `name` in messages; a file that cannot be
// read (a directory, say) is an error too.
bool ReadPaceLog(const std::filesystem::path& path, const std::string& name, PaceLog& log,
                 std::string& error);

}  // namespace tsl::report
