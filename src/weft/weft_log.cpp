#include "weft/weft_log.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>

namespace weft {

namespace {

constexpr size_t kMessageBytes = 1024;
constexpr unsigned short kColourYellow = 14;
constexpr unsigned short kColourGrey = 7;

struct LogState {
  std::mutex mutex;
  bool enabled = true;
  int level = kLogNotice;
  bool console_enabled = false;
  bool console_shown = false;  // both console switches must be on
  bool file_enabled = false;
  std::string file_path;
  std::ofstream file;
  char last[kMessageBytes] = {};
};

LogState& State() {
  static LogState state;
  return state;
}

}  // namespace

const char* LogLevelName(int level) {
  switch (level) {
    case kLogSilent:
      return "silent";
    case kLogVerbose:
      return "verbose";
    case kLogNotice:
      return "notice";
    case kLogWarning:
      return "warning";
    case kLogError:
      return "error";
    case kLogFatal:
      return "fatal";
    default:
      return "";
  }
}

void LogMessage(int level, const char* format, va_list args) {
  if (format == nullptr) return;

  // The console sink formats again from the arguments, so keep a copy of the list.
  va_list console_args;
  va_copy(console_args, args);
  char text[kMessageBytes] = {};
  std::vsnprintf(text, sizeof text, format, args);

  LogState& s = State();
  std::lock_guard<std::mutex> guard(s.mutex);
  if (!s.enabled || level == kLogSilent || s.level == kLogSilent || level < s.level) {
    va_end(console_args);
    return;
  }
  if (std::strcmp(text, s.last) == 0) {
    va_end(console_args);
    return;
  }
  std::memcpy(s.last, text, sizeof s.last);

  if (s.console_enabled && s.console_shown) {
    if (level == kLogWarning || level == kLogError) SetLogConsoleColour(kColourYellow);
    std::printf("[%s] ", LogLevelName(level));
    std::vprintf(format, console_args);
    std::printf("\n");
    SetLogConsoleColour(kColourGrey);
  }
  va_end(console_args);

  if (s.file_enabled && !s.file_path.empty() && level != kLogVerbose) {
    s.file.open(s.file_path, std::ios::out | std::ios::app);
    if (s.file.is_open()) {
      s.file.clear();
      s.file << "[" << LogLevelName(level) << "] " << text << std::endl;
      s.file.close();
    }
  }
}

void LogNotice(const char* format, ...) {
  va_list args;
  va_start(args, format);
  LogMessage(kLogNotice, format, args);
  va_end(args);
}

void LogWarning(const char* format, ...) {
  SetLogConsoleColour(kColourYellow);
  va_list args;
  va_start(args, format);
  LogMessage(kLogWarning, format, args);
  va_end(args);
  SetLogConsoleColour(kColourGrey);
}

void LogError(const char* format, ...) {
  va_list args;
  va_start(args, format);
  LogMessage(kLogError, format, args);
  va_end(args);
}

void LogFatal(const char* format, ...) {
  va_list args;
  va_start(args, format);
  LogMessage(kLogFatal, format, args);
  va_end(args);
}

void EnableLogConsole(bool enabled) {
  LogState& s = State();
  std::lock_guard<std::mutex> guard(s.mutex);
  s.console_enabled = enabled;
  s.console_shown = enabled;
}

void EnableLogFile(bool enabled, const std::string& path) {
  LogState& s = State();
  std::lock_guard<std::mutex> guard(s.mutex);
  s.file_enabled = enabled;
  s.file_path = path;
}

void SetLogLevel(int level) {
  LogState& s = State();
  std::lock_guard<std::mutex> guard(s.mutex);
  s.level = level;
}

std::string LastLogMessage() {
  LogState& s = State();
  std::lock_guard<std::mutex> guard(s.mutex);
  return s.last;
}

}  // namespace weft
