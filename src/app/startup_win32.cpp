#include "app/startup_win32.h"

#include <windows.h>

#include <cstdio>
#include <vector>

#include "app/sender_menu.h"
#include "base/qpc.h"
#include "pacing/pace_controller.h"
#include "window/main_window_win32.h"
#include "window/monitor_order.h"
#include "window/monitors_win32.h"

namespace tsl {

namespace {

// Standard error goes somewhere: a console, a pipe or a file. Started from a shortcut it goes
// nowhere, and a start-up failure is shown in a box instead.
bool StandardErrorIsSeen() {
  const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  return error != nullptr && error != INVALID_HANDLE_VALUE &&
         GetFileType(error) != FILE_TYPE_UNKNOWN;
}

// The warnings said so far, for a box that may have to show them.
std::string& StartupWarnings() {
  static std::string said;
  return said;
}

}  // namespace

void Warn(const std::string& line) {
  std::fputs((line + "\n").c_str(), stderr);
  std::fflush(stderr);
  StartupWarnings() += line + "\n";
}

int32_t StartMonitor(const AppConfig& cfg) {
  if (cfg.monitor < 0 && cfg.monitorName.empty()) return -1;
  const std::vector<MonitorInfo> monitors = EnumerateMonitors();
  if (!cfg.monitorName.empty()) {
    std::vector<std::wstring> names;
    for (const MonitorInfo& m : monitors) names.push_back(m.name);
    bool ambiguous = false;
    const int32_t found = MonitorByName(names, cfg.monitorName, ambiguous);
    if (found >= 0) return found;
    const std::string name(cfg.monitorName.begin(), cfg.monitorName.end());
    Warn("warning: --monitor " + EscapedName(name) +
         (ambiguous ? ": more than one monitor's name begins so" : ": no monitor has that name") +
         "; using the primary (--list-monitors lists them)");
    return 0;
  }
  if (static_cast<size_t>(cfg.monitor) < monitors.size()) return cfg.monitor;
  Warn("warning: --monitor " + std::to_string(cfg.monitor) + ": there " +
       (monitors.size() == 1 ? "is 1 monitor"
                             : "are " + std::to_string(monitors.size()) + " monitors") +
       "; using the primary");
  return 0;
}

int StartupFailure(const char* message) {
  std::fputs(message, stderr);
  std::fflush(stderr);
  if (!StandardErrorIsSeen()) {
    const std::string text = StartupWarnings() + message;
    MessageBoxA(nullptr, text.c_str(), "Tessaline", MB_OK | MB_ICONERROR);
  }
  return 1;
}

bool RateRefused(const AppConfig& cfg) {
  if (PaceController::RateAccepted(cfg.fps, base::QpcFrequency())) return false;
  // The refusal is the controller's own line, named first.
  char line[160];
  std::snprintf(line, sizeof line, "warning: --fps %s: expected a rate from %g to %g",
                cfg.fpsText.empty() ? "60" : EscapedName(cfg.fpsText).substr(0, 60).c_str(),
                PaceController::kMinFps, PaceController::kMaxFps);
  Warn(line);
  return true;
}

}  // namespace tsl
