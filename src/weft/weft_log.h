#pragma once

#include <cstdarg>
#include <string>

namespace weft {

enum LogLevel : int {
  kLogSilent = 0,
  kLogVerbose = 1,
  kLogNotice = 2,
  kLogWarning = 3,
  kLogError = 4,
  kLogFatal = 5,
};

// "silent", "verbose", "notice", "warning", "error", "fatal"; an empty text for other values.
const char* LogLevelName(int level);

// Formats the message (cut to 1,023 bytes), filters it by level, drops it when it repeats the
// previous message, and writes it to the console and file sinks that are switched on. The sinks
// are off unless the host program switches them on, so by default this only keeps the last
// message. Serialised by one process-wide mutex.
void LogMessage(int level, const char* format, va_list args);

void LogNotice(const char* format, ...);
// Also sets the console text colour to yellow around the call, whatever the sinks.
void LogWarning(const char* format, ...);
void LogError(const char* format, ...);
void LogFatal(const char* format, ...);

// Sink switches. The program never turns them on; a host or a test may.
void EnableLogConsole(bool enabled);
void EnableLogFile(bool enabled, const std::string& path);
void SetLogLevel(int level);
// The text of the last message that passed the level filter.
std::string LastLogMessage();

// Console text attribute of standard output (no effect without a console). Platform-specific.
void SetLogConsoleColour(unsigned short attribute);

}  // namespace weft
