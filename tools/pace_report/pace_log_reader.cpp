#include "pace_report/pace_log_reader.h"

#include "measure/pace_log.h"
#include "pace_report/csv_lines.h"

namespace tsl::report {

namespace {

constexpr size_t kFields = kPaceLogColumnCount;

// The row's fields into `r`; false, with what is wrong in `why`, for a field that does not read.
bool ParseRow(const std::string_view (&fields)[kFields], PaceLogRow& r, std::string& why) {
  uint64_t hold = 0;
  uint64_t* counts[] = {&r.sample.tick, &r.sample.target_qpc, &r.sample.wake_qpc,
                        &r.sample.done_qpc};
  for (size_t i = 0; i < kFields; ++i) {
    bool ok = false;
    if (i < 4) {
      ok = ParseCount(fields[i], *counts[i]);
    } else if (i == 4) {
      ok = ParseFixed(fields[i], r.jitter_ms);
    } else if (i == 5) {
      ok = ParseFixed(fields[i], r.cb_ms);
    } else if (i == 6) {
      ok = ParseCount(fields[i], hold) && hold <= 1;
    } else {
      ok = ParseCount(fields[i], r.sample.src_version);
    }
    if (!ok) {
      why = std::string(kPaceLogColumns[i]) + " \"" + std::string(fields[i]) + "\" is not " +
            (i == 6             ? "0 or 1"
             : i == 4 || i == 5 ? "a finite decimal number"
                                : "an unsigned count");
      return false;
    }
  }
  r.sample.hold = hold == 1;
  return true;
}

// Whether `r` may follow the log's last row: ticks only go up and the clocks never go back; a
// tick that skips some is a gap, warned about, across which no interval is measured.
bool FollowsOn(PaceLog& log, PaceLogRow& r, std::string& why) {
  if (log.rows.empty()) return true;
  const PaceSample& before = log.rows.back().sample;
  if (r.sample.tick <= before.tick) {
    why = "tick " + std::to_string(r.sample.tick) + " follows tick " + std::to_string(before.tick) +
          ": ticks only go up";
    return false;
  }
  if (r.sample.target_qpc < before.target_qpc || r.sample.wake_qpc < before.wake_qpc) {
    const bool target = r.sample.target_qpc < before.target_qpc;
    why = std::string(target ? "target_qpc " : "wake_qpc ") +
          std::to_string(target ? r.sample.target_qpc : r.sample.wake_qpc) + " goes back from " +
          std::to_string(target ? before.target_qpc : before.wake_qpc);
    return false;
  }
  if (r.sample.tick != before.tick + 1) {
    r.after_gap = true;
    ++log.gaps;
    log.warnings.push_back(At(log.name, r.line) + "tick " + std::to_string(r.sample.tick) +
                           " follows tick " + std::to_string(before.tick) +
                           ": the interval across the gap is left out");
  }
  return true;
}

}  // namespace

bool ParsePaceLog(std::string_view text, const std::string& name, PaceLog& log,
                  std::string& error) {
  log = PaceLog{};
  log.name = name;
  // Room for every line at once: the file's size over the shortest possible row.
  log.rows.reserve(text.size() / 32 + 1);
  CsvLines lines(text);
  std::string_view row;
  bool terminated = false;
  bool header_seen = false;
  while (lines.Next(row, terminated)) {
    const size_t line = lines.Line();

    if (!header_seen) {
      if (row != kPaceLogHeader) {
        error =
            At(name, line) + "not a pace log: the first line must be \"" + kPaceLogHeader + "\"";
        return false;
      }
      header_seen = true;
      continue;
    }
    if (row.empty() && !terminated) break;  // nothing after the last line end
    if (row.empty()) {
      error = At(name, line) + "empty line";
      return false;
    }
    // The writer ends every line: a last line without its end was cut short, whatever its
    // fields look like.
    if (!terminated) {
      error = At(name, line) + "the last line has no line end: the file was cut short";
      return false;
    }

    std::string_view fields[kFields];
    const size_t count = SplitFields(row, fields, kFields);
    if (count != kFields) {
      error =
          At(name, line) + std::to_string(count) + " fields, a row has " + std::to_string(kFields);
      return false;
    }

    PaceLogRow r;
    r.line = line;
    if (!ParseRow(fields, r, error) || !FollowsOn(log, r, error)) {
      error = At(name, line) + error;
      return false;
    }
    log.rows.push_back(r);
  }
  if (!header_seen) {
    error = name + ": empty file, not a pace log";
    return false;
  }
  return true;
}

bool ReadPaceLog(const std::filesystem::path& path, const std::string& name, PaceLog& log,
                 std::string& error) {
  std::string text;
  return ReadWholeFile(path, name, "a pace log", text, error) &&
         ParsePaceLog(text, name, log, error);
}

}  // namespace tsl::report
