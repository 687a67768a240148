#include "pace_report/csv_lines.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <iterator>
#include <system_error>

namespace tsl::report {

bool CsvLines::Next(std::string_view& row, bool& terminated) {
  if (pos_ >= text_.size()) return false;
  size_t end = text_.find('\n', pos_);
  terminated = end != std::string_view::npos;
  if (!terminated) end = text_.size();
  row = text_.substr(pos_, end - pos_);
  pos_ = terminated ? end + 1 : end;
  ++line_;
  if (!row.empty() && row.back() == '\r') row.remove_suffix(1);
  return true;
}

size_t SplitFields(std::string_view row, std::string_view* fields, size_t capacity) {
  size_t count = 0;
  for (size_t start = 0;;) {
    const size_t comma = row.find(',', start);
    if (count < capacity) {
      fields[count] = row.substr(
          start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
    }
    ++count;
    if (comma == std::string_view::npos) return count;
    start = comma + 1;
  }
}

bool ParseCount(std::string_view field, uint64_t& out) {
  if (field.empty() || field.front() == '+' || field.front() == '-') return false;
  const auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), out);
  return ec == std::errc() && end == field.data() + field.size();
}

bool ParseFixed(std::string_view field, double& out) {
  if (field.empty() || field.front() == '+') return false;
  const auto [end, ec] =
      std::from_chars(field.data(), field.data() + field.size(), out, std::chars_format::fixed);
  return ec == std::errc() && end == field.data() + field.size() && std::isfinite(out);
}

std::string At(const std::string& name, size_t line) {
  return name + ":" + std::to_string(line) + ": ";
}

bool ReadWholeFile(const std::filesystem::path& path, const std::string& name, const char* what,
                   std::string& text, std::string& error) {
  std::error_code ignored;
  if (std::filesystem::is_directory(path, ignored)) {
    error = name + ": is a directory, not " + what;
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = name + ": cannot be read";
    return false;
  }
  text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) {
    error = name + ": cannot be read";
    return false;
  }
  return true;
}

}  // namespace tsl::report
