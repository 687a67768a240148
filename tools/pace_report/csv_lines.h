#pragma once

// What both logs' readers share: their lines, their fields, their numbers and their errors.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace tsl::report {

// The lines of a log as its writer makes them, numbered from 1: each ends in LF, and a CR
// before it is dropped.
class CsvLines {
 public:
  explicit CsvLines(std::string_view text) : text_(text) {}
  // The next line into `row`, and whether it ended in LF (the last one may not); false when
  // there is none.
  bool Next(std::string_view& row, bool& terminated);
  // The number of the line Next gave last.
  size_t Line() const { return line_; }

 private:
  std::string_view text_;
  size_t pos_ = 0;
  size_t line_ = 0;
};

// Splits `row` at its commas into `fields` (at most `capacity` of them kept); returns how many
// fields the row has, which may be more than were kept.
size_t SplitFields(std::string_view row, std::string_view* fields, size_t capacity);

// An unsigned decimal count, digits only.
bool ParseCount(std::string_view field, uint64_t& out);
// Fixed point as the logs write it: an optional "-", digits, and a fraction; finite ("nan" and
// "inf" parse as numbers but are none a log holds).
bool ParseFixed(std::string_view field, double& out);

// "name:line: ", the start of an error about that line.
std::string At(const std::string& name, size_t line);

// The whole file at `path` into `text`; false, with the reason in `error` ("name: ..."), when it
// is a folder (not `what`, "a pace log") or cannot be read.
bool ReadWholeFile(const std::filesystem::path& path, const std::string& name, const char* what,
                   std::string& text, std::string& error);

}  // namespace tsl::report
