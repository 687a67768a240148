#include "pace_report/display_log_reader.h"

#include <charconv>
#include <cmath>

#include "render/display_log.h"

namespace tsl::report {

namespace {

constexpr size_t kFields = 9;

bool Unsigned(std::string_view field, uint64_t& out) {
  if (field.empty()) {
    out = 0;
    return true;
  }
  const auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), out);
  return ec == std::errc() && end == field.data() + field.size();
}

bool Milliseconds(std::string_view field, double& out) {
  if (field.empty()) {
    out = std::nan("");
    return true;
  }
  if (field.front() == '+') return false;
  const auto [end, ec] =
      std::from_chars(field.data(), field.data() + field.size(), out, std::chars_format::fixed);
  return ec == std::errc() && end == field.data() + field.size() && std::isfinite(out);
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
  size_t line = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) {
      error = name + ":" + std::to_string(line + 1) + ": the last line has no line end";
      return false;
    }
    std::string_view row = text.substr(pos, end - pos);
    pos = end + 1;
    ++line;
    if (!row.empty() && row.back() == '\r') row.remove_suffix(1);
    const std::string at = name + ":" + std::to_string(line) + ": ";
    if (line == 1) {
      if (row != kDisplayLogHeader) {
        error = at + "not a display log: the first line must be \"" + kDisplayLogHeader + "\"";
        return false;
      }
      continue;
    }
    std::string_view fields[kFields];
    size_t count = 0;
    for (size_t start = 0;;) {
      const size_t comma = row.find(',', start);
      if (count < kFields) fields[count] = row.substr(start, comma - start);
      ++count;
      if (comma == std::string_view::npos) break;
      start = comma + 1;
    }
    DisplayRow r;
    uint64_t id = 0;
    bool ok = count == kFields && !fields[0].empty() && Unsigned(fields[0], r.tick) &&
              Unsigned(fields[1], r.published_qpc) && Unsigned(fields[2], r.present_done_qpc) &&
              Milliseconds(fields[3], r.age_present_ms) && Unsigned(fields[4], id) &&
              Unsigned(fields[5], r.display_qpc) && Milliseconds(fields[6], r.age_display_ms) &&
              Unsigned(fields[7], r.refreshes);
    ok = ok && ParseDisplayState(fields[8], r.state);
    if (!ok) {
      error = at + "not a row of 9 fields (counts, milliseconds and a state)";
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
