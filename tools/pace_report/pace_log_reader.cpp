#include "pace_report/pace_log_reader.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <iterator>
#include <system_error>

#include "pacing/pace_log.h"

namespace tsl::report {

namespace {

constexpr size_t kFields = 8;
constexpr const char* kFieldNames[kFields] = {"tick",      "target_qpc", "wake_qpc", "done_qpc",
                                              "jitter_ms", "cb_ms",      "hold",     "src_version"};

bool ParseUnsigned(std::string_view field, uint64_t& out) {
  if (field.empty() || field.front() == '+' || field.front() == '-') return false;
  const auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), out);
  return ec == std::errc() && end == field.data() + field.size();
}

// Fixed point as the log writes it: an optional "-", digits, and a fraction. "nan" and "inf"
// parse as numbers but are none a log holds.
bool ParseFixed(std::string_view field, double& out) {
  if (field.empty() || field.front() == '+') return false;
  const auto [end, ec] =
      std::from_chars(field.data(), field.data() + field.size(), out, std::chars_format::fixed);
  return ec == std::errc() && end == field.data() + field.size() && std::isfinite(out);
}

std::string At(const std::string& name, size_t line) {
  return name + ":" + std::to_string(line) + ": ";
}

}  // namespace

bool ParsePaceLog(std::string_view text, const std::string& name, PaceLog& log,
                  std::string& error) {
  log = PaceLog{};
  log.name = name;
  // Room for every line at once: the file's size over the shortest possible row.
  log.rows.reserve(text.size() / 32 + 1);
  size_t line = 0;
  size_t pos = 0;
  bool header_seen = false;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    const bool terminated = end != std::string_view::npos;
    if (!terminated) end = text.size();
    std::string_view row = text.substr(pos, end - pos);
    pos = terminated ? end + 1 : end;
    ++line;
    if (!row.empty() && row.back() == '\r') row.remove_suffix(1);

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
    size_t count = 0;
    size_t start = 0;
    for (;;) {
      const size_t comma = row.find(',', start);
      if (count < kFields) {
        fields[count] = row.substr(
            start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
      }
      ++count;
      if (comma == std::string_view::npos) break;
      start = comma + 1;
    }
    if (count != kFields) {
      error =
          At(name, line) + std::to_string(count) + " fields, a row has " + std::to_string(kFields);
      return false;
    }

    PaceLogRow r;
    r.line = line;
    uint64_t hold = 0;
    uint64_t* counts[] = {&r.sample.tick, &r.sample.target_qpc, &r.sample.wake_qpc,
                          &r.sample.done_qpc};
    for (size_t i = 0; i < kFields; ++i) {
      bool ok = false;
      if (i < 4) {
        ok = ParseUnsigned(fields[i], *counts[i]);
      } else if (i == 4) {
        ok = ParseFixed(fields[i], r.jitter_ms);
      } else if (i == 5) {
        ok = ParseFixed(fields[i], r.cb_ms);
      } else if (i == 6) {
        ok = ParseUnsigned(fields[i], hold) && hold <= 1;
      } else {
        ok = ParseUnsigned(fields[i], r.sample.src_version);
      }
      if (!ok) {
        error = At(name, line) + kFieldNames[i] + " \"" + std::string(fields[i]) + "\" is not " +
                (i == 6             ? "0 or 1"
                 : i == 4 || i == 5 ? "a finite decimal number"
                                    : "an unsigned count");
        return false;
      }
    }
    r.sample.hold = hold == 1;
    if (!log.rows.empty()) {
      const PaceSample& before = log.rows.back().sample;
      if (r.sample.tick <= before.tick) {
        error = At(name, line) + "tick " + std::to_string(r.sample.tick) + " follows tick " +
                std::to_string(before.tick) + ": ticks only go up";
        return false;
      }
      if (r.sample.target_qpc < before.target_qpc || r.sample.wake_qpc < before.wake_qpc) {
        const bool target = r.sample.target_qpc < before.target_qpc;
        error = At(name, line) + (target ? "target_qpc " : "wake_qpc ") +
                std::to_string(target ? r.sample.target_qpc : r.sample.wake_qpc) +
                " goes back from " + std::to_string(target ? before.target_qpc : before.wake_qpc);
        return false;
      }
      if (r.sample.tick != before.tick + 1) {
        r.after_gap = true;
        ++log.gaps;
        log.warnings.push_back(At(name, line) + "tick " + std::to_string(r.sample.tick) +
                               " follows tick " + std::to_string(before.tick) +
                               ": the interval across the gap is left out");
      }
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
  std::error_code ignored;
  if (std::filesystem::is_directory(path, ignored)) {
    error = name + ": is a directory, not a pace log";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = name + ": cannot be read";
    return false;
  }
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) {
    error = name + ": cannot be read";
    return false;
  }
  return ParsePaceLog(text, name, log, error);
}

}  // namespace tsl::report
