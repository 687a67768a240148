#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tsl {

struct MonitorInfo {
  RECT rect{};  // the whole monitor in virtual-screen coordinates, taskbar included
  bool primary = false;
  std::wstring device;  // the system's device name ("\\.\DISPLAY1")
  // What a person calls it: the monitor's own (friendly) name where the system has one, else
  // its description, else the device name.
  std::wstring name;
  uint32_t width = 0;  // the current mode
  uint32_t height = 0;
  double refresh_hz = 0.0;
};

// Every monitor, the primary one first, the rest in the system's order. Built anew per call.
std::vector<MonitorInfo> EnumerateMonitors();

}  // namespace tsl
