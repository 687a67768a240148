#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tsl {

// How ticks follow the display while vsync is on.
enum class Cadence : uint8_t {
  kLocked,        // timed against the display's blanks, --fps as a pattern of refreshes
  kEveryRefresh,  // back to back, each blocking present setting the pace
};

// The start-up configuration, from the command line only.
struct AppConfig {
  std::string senderName = "Larkmoor Weft Output";  // empty: pick a sender automatically
  double fps = 60.0;
  int32_t width = 1280;
  int32_t height = 720;
  int32_t monitor = -1;  // below 0: start windowed
  // --monitor with a name rather than an index (what the system calls the monitor, any case, or
  // a unique start of it): found at start-up; empty when an index was given.
  std::wstring monitorName;
  bool vsync = true;
  bool letterbox = true;
  bool topmost = false;
  bool hideCursor = false;
  bool realtime = false;
  bool noActivate = false;
  uint32_t parentPid = 0;  // 0: no parent to watch
  // --latency N: frames in flight under vsync, 1 or 2 (a waitable swap chain with N queued);
  // 0: not given (the locked cadence then keeps one, the every-refresh cadence the platform's)
  uint32_t frameLatency = 0;
  Cadence cadence = Cadence::kLocked;
  bool unknownCadence = false;  // --cadence with a value that names none (the default is kept)
  bool showHelp = false;        // --help, -h or /?: show the options and keys, then exit 0
  bool showVersion = false;     // --version: show the version, then exit 0
  bool overlay = false;         // --overlay: start with the overlay graph shown (G toggles it)
  bool listSenders = false;     // --list-senders: print the listed senders, then exit 0
  bool listMonitors = false;    // --list-monitors: print the monitors, then exit 0
  bool diagnose = false;        // --diagnose [FILE]: print (and write) the report, then exit 0
  std::wstring diagnoseFile;    // empty: printed only
  std::string fpsText;          // --fps's value as given (for a refusal that names it)
  // What the command line asked for that is ignored or replaced, a line each ("warning: ...",
  // no line feed); printed at start-up, before anything else.
  std::vector<std::string> warnings;
};

}  // namespace tsl
