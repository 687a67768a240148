#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "pacing/pace_stats.h"

namespace tsl::report {

// One row of a pace log: the sample it was written from, and the two millisecond columns as
// printed (they are what the counter frequency is derived from).
struct PaceLogRow {
  PaceSample sample;
  double jitter_ms = 0.0;
  double cb_ms = 0.0;
  size_t line = 0;  // 1-based line number in the file
};

struct PaceLog {
  std::string name;  // as given on the command line, for messages
  std::vector<PaceLogRow> rows;
  std::vector<std::string> warnings;  // "NAME:LINE: ..." (non-consecutive ticks)
};

// Reads the text of a pace log: the exact header, then rows of eight comma-separated fields
// (tick, three counts, two fixed-point numbers, a 0/1 flag, a count). Lines end in CR LF or LF.
// On the first bad line, returns false with `error` = "NAME:LINE: what is wrong".
bool ParsePaceLog(std::string_view text, const std::string& name, PaceLog& log, std::string& error);

// Reads the file at `path` and parses it, naming it `name` in messages; a file that cannot be
// read is an error too.
bool ReadPaceLog(const std::filesystem::path& path, const std::string& name, PaceLog& log,
                 std::string& error);

}  // namespace tsl::report
