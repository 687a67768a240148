#include "pace_report/display_log_reader.h"

#include <cmath>

#include "measure/display_log.h"
#include "pace_report/csv_lines.h"

namespace tsl::report {

namespace {

constexpr size_t kFieldsWithoutAim = 9;
constexpr size_t kFields = 12;

// A count, or empty: not known (0).
bool CountOrUnknown(std::string_view field, uint64_t& out) {
  out = 0;
  return field.empty() || ParseCount(field, out);
}

// Milliseconds, or empty: not known (NaN).
bool MillisecondsOrUnknown(std::string_view field, double& out) {
  out = std::nan("");
  return field.empty() || ParseFixed(field, out);
}

}  // namespace

std::filesystem::path DisplayLogBeside(const std::filesystem::path& pace_log) {
  const std::u8string utf8 = pace_log.u8string();
  const std::string beside = DisplayLogPathFor(std::string(utf8.begin(), utf8.end()));
  return std::filesystem::path(std::u8string(beside.begin(), beside.end()));
}

bool ParseDisplayLog(std::string_view text, const std::string& name, std::vector<DisplayRow>& rows,
                     std::string& error) {
  rows.clear();
  uint64_t last_display_qpc = 0;  // the latest screen time so far, and its tick
  uint64_t last_display_tick = 0;
  CsvLines lines(text);
  std::string_view row;
  bool terminated = false;
  size_t line = 0;
  size_t fields_per_row = kFields;
  while (lines.Next(row, terminated)) {
    line = lines.Line();
    const std::string at = At(name, line);
    if (!terminated) {
      error = at + "the last line has no line end";
      return false;
    }
    if (line == 1) {
      if (row == kDisplayLogHeaderWithoutAim) {
        fields_per_row = kFieldsWithoutAim;
      } else if (row != kDisplayLogHeader) {
        error = at + "not a display log: the first line must be \"" + kDisplayLogHeader + "\"";
        return false;
      }
      continue;
    }
    std::string_view fields[kFields];
    const size_t count = SplitFields(row, fields, fields_per_row);
    DisplayRow r;
    uint64_t id = 0;
    bool ok = count == fields_per_row && ParseCount(fields[0], r.tick) &&
              CountOrUnknown(fields[1], r.published_qpc) &&
              CountOrUnknown(fields[2], r.present_done_qpc) &&
              MillisecondsOrUnknown(fields[3], r.age_present_ms) && CountOrUnknown(fields[4], id) &&
              CountOrUnknown(fields[5], r.display_qpc) &&
              MillisecondsOrUnknown(fields[6], r.age_display_ms) &&
              CountOrUnknown(fields[7], r.refreshes);
    ok = ok && ParseDisplayState(fields[8], r.state);
    if (ok && fields_per_row == kFields) {
      ok = CountOrUnknown(fields[9], r.meant_blank_qpc) &&
           MillisecondsOrUnknown(fields[10], r.lead_ms) &&
           CountOrUnknown(fields[11], r.pattern_refreshes);
    }
    if (!ok) {
      error = at + "not a row of " + std::to_string(fields_per_row) +
              " fields (counts, milliseconds and a state)";
      return false;
    }
    if (!rows.empty() && r.tick <= rows.back().tick) {
      error = at + "tick " + std::to_string(r.tick) + " follows tick " +
              std::to_string(rows.back().tick) + ": ticks only go up";
      return false;
    }
    // Images reach the screen in the order they were presented, on one monotonic clock.
    if (r.display_qpc != 0 && r.display_qpc < last_display_qpc) {
      error = at + "display_qpc " + std::to_string(r.display_qpc) + " is before " +
              std::to_string(last_display_qpc) + " of tick " + std::to_string(last_display_tick) +
              ": screen times only go forward";
      return false;
    }
    if (r.display_qpc != 0) {
      last_display_qpc = r.display_qpc;
      last_display_tick = r.tick;
    }
    rows.push_back(r);
  }
  if (line == 0) {
    error = name + ": empty file, not a display log";
    return false;
  }
  return true;
}

}  // namespace tsl::report
