#include "measure/pace_log.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "base/qpc.h"
#include "base/utf8.h"

namespace tsl {

namespace {

// Longest row: four 20-digit counts, two doubles (a 64-bit count difference in milliseconds
// with 4 decimals stays below 40 characters each), a flag, a count, separators and CR LF.
constexpr size_t kMaxRowBytes = 4 * 20 + 2 * 40 + 1 + 20 + 7 + 2;

char* PutUnsigned(char* out, char* end, uint64_t value) {
  return std::to_chars(out, end, value).ptr;
}

// std::to_chars with a precision rounds exactly like printf's "%.4f" and never looks at the
// locale, which keeps the decimal point a "." whatever the user's settings.
char* PutFixed4(char* out, char* end, double value) {
  return std::to_chars(out, end, value, std::chars_format::fixed, 4).ptr;
}

}  // namespace

std::string FormatPaceLog(const std::vector<PaceSample>& samples, uint64_t qpc_frequency) {
  std::string text;
  const size_t header_len = std::strlen(kPaceLogHeader);
  text.resize(header_len + 2 + samples.size() * kMaxRowBytes);
  char* out = text.data();
  char* const end = text.data() + text.size();
  std::memcpy(out, kPaceLogHeader, header_len);
  out += header_len;
  *out++ = '\r';
  *out++ = '\n';
  for (const PaceSample& s : samples) {
    out = PutUnsigned(out, end, s.tick);
    *out++ = ',';
    out = PutUnsigned(out, end, s.target_qpc);
    *out++ = ',';
    out = PutUnsigned(out, end, s.wake_qpc);
    *out++ = ',';
    out = PutUnsigned(out, end, s.done_qpc);
    *out++ = ',';
    out = PutFixed4(out, end, base::QpcDeltaMs(s.target_qpc, s.wake_qpc, qpc_frequency));
    *out++ = ',';
    out = PutFixed4(out, end, base::QpcDeltaMs(s.wake_qpc, s.done_qpc, qpc_frequency));
    *out++ = ',';
    *out++ = s.hold ? '1' : '0';
    *out++ = ',';
    out = PutUnsigned(out, end, s.src_version);
    *out++ = '\r';
    *out++ = '\n';
  }
  text.resize(static_cast<size_t>(out - text.data()));
  return text;
}

namespace {

// The path a UTF-8 path names; false for bytes that name none (Windows paths are UTF-16, and
// the library's own conversion would throw).
bool PathOf(const std::string& utf8_path, std::filesystem::path& path) {
#ifdef _WIN32
  std::wstring wide_path;
  if (!base::Utf8ToWide(utf8_path, wide_path)) return false;
  path = std::filesystem::path(wide_path);
#else
  path = std::filesystem::path(utf8_path);
#endif
  return true;
}

std::string PartOf(const std::string& utf8_path) { return utf8_path + ".part"; }

// Something other than a file is there (a device, a pipe, a folder): nothing is moved over it.
bool NotAFile(const std::string& utf8_path) {
  std::filesystem::path path;
  if (!PathOf(utf8_path, path)) return false;
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  return !error && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status);
}

// Writes `bytes` to the file at `utf8_path` as it is (created or truncated).
bool WriteInPlace(const std::string& utf8_path, const std::string& bytes) {
  // Binary mode with explicit CR LF gives the same bytes on every platform.
#ifdef _WIN32
  std::wstring wide_path;
  if (!base::Utf8ToWide(utf8_path, wide_path)) return false;
  FILE* file = _wfopen(wide_path.c_str(), L"wb");
#else
  FILE* file = std::fopen(utf8_path.c_str(), "wb");
#endif
  if (file == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const bool closed = std::fclose(file) == 0;
  return written && closed;
}

}  // namespace

bool WritePartUtf8Path(const std::string& utf8_path, const std::string& bytes) {
  if (NotAFile(utf8_path)) return false;
  if (WriteInPlace(PartOf(utf8_path), bytes)) return true;
  RemovePart(utf8_path);
  return false;
}

bool ReplaceWithPart(const std::string& utf8_path) {
  std::filesystem::path part;
  std::filesystem::path path;
  std::error_code error;
  if (!PathOf(PartOf(utf8_path), part) || !PathOf(utf8_path, path) || NotAFile(utf8_path)) {
    error = std::make_error_code(std::errc::not_supported);
  } else {
    std::filesystem::rename(part, path, error);
  }
  if (error) RemovePart(utf8_path);
  return !error;
}

void RemovePart(const std::string& utf8_path) {
  std::filesystem::path part;
  std::error_code ignored;
  if (PathOf(PartOf(utf8_path), part)) std::filesystem::remove(part, ignored);
}

bool WriteFileUtf8Path(const std::string& utf8_path, const std::string& bytes) {
  // Written beside it first and moved over it only when whole: a full disk or a file held open
  // elsewhere leaves the log before it as it was. What is not a file (a device) is written as
  // it is.
  if (NotAFile(utf8_path)) return WriteInPlace(utf8_path, bytes);
  return WritePartUtf8Path(utf8_path, bytes) && ReplaceWithPart(utf8_path);
}

bool PaceStats::WriteCsv(const std::string& utf8_path) const {
  // Copy first: the lock is never held across file input/output.
  const std::vector<PaceSample> window = Window();
  return WriteFileUtf8Path(utf8_path, FormatPaceLog(window, qpcFrequency_));
}

}  // namespace tsl
