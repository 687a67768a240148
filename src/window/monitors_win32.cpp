#include "window/monitors_win32.h"

#include "window/monitor_order.h"

namespace tsl {

namespace {

BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
  MONITORINFOEXW info{};
  info.cbSize = sizeof info;
  if (GetMonitorInfoW(monitor, &info)) {
    auto* list = reinterpret_cast<std::vector<MonitorInfo>*>(data);
    MonitorInfo m;
    m.rect = info.rcMonitor;
    m.primary = (info.dwFlags & MONITORINFOF_PRIMARY) != 0;
    m.device = info.szDevice;
    m.width = static_cast<uint32_t>(info.rcMonitor.right - info.rcMonitor.left);
    m.height = static_cast<uint32_t>(info.rcMonitor.bottom - info.rcMonitor.top);
    DEVMODEW mode{};
    mode.dmSize = sizeof mode;
    if (EnumDisplaySettingsW(info.szDevice, ENUM_CURRENT_SETTINGS, &mode)) {
      m.width = mode.dmPelsWidth;
      m.height = mode.dmPelsHeight;
      m.refresh_hz = mode.dmDisplayFrequency;
    }
    DISPLAY_DEVICEW monitor_device{};
    monitor_device.cb = sizeof monitor_device;
    if (EnumDisplayDevicesW(info.szDevice, 0, &monitor_device, 0)) {
      m.name = monitor_device.DeviceString;
    }
    list->push_back(m);
  }
  return TRUE;  // always ask for the next monitor
}

// The monitors' own names and exact refresh rates, from the display configuration: by device.
void AddDisplayConfigNames(std::vector<MonitorInfo>& monitors) {
  UINT32 path_count = 0;
  UINT32 mode_count = 0;
  if (GetDisplayConfigBufferSizes(QDC_ONLY_ACTIVE_PATHS, &path_count, &mode_count) !=
      ERROR_SUCCESS) {
    return;
  }
  std::vector<DISPLAYCONFIG_PATH_INFO> paths(path_count);
  std::vector<DISPLAYCONFIG_MODE_INFO> modes(mode_count);
  if (QueryDisplayConfig(QDC_ONLY_ACTIVE_PATHS, &path_count, paths.data(), &mode_count,
                         modes.data(), nullptr) != ERROR_SUCCESS) {
    return;
  }
  paths.resize(path_count);
  for (const DISPLAYCONFIG_PATH_INFO& path : paths) {
    DISPLAYCONFIG_SOURCE_DEVICE_NAME source{};
    source.header.type = DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME;
    source.header.size = sizeof source;
    source.header.adapterId = path.sourceInfo.adapterId;
    source.header.id = path.sourceInfo.id;
    if (DisplayConfigGetDeviceInfo(&source.header) != ERROR_SUCCESS) continue;
    DISPLAYCONFIG_TARGET_DEVICE_NAME target{};
    target.header.type = DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME;
    target.header.size = sizeof target;
    target.header.adapterId = path.targetInfo.adapterId;
    target.header.id = path.targetInfo.id;
    const bool named = DisplayConfigGetDeviceInfo(&target.header) == ERROR_SUCCESS &&
                       target.monitorFriendlyDeviceName[0] != L'\0';
    const DISPLAYCONFIG_RATIONAL rate = path.targetInfo.refreshRate;
    for (MonitorInfo& m : monitors) {
      if (m.device != source.viewGdiDeviceName) continue;
      if (named) m.name = target.monitorFriendlyDeviceName;
      if (rate.Denominator != 0 && rate.Numerator != 0) {
        m.refresh_hz = static_cast<double>(rate.Numerator) / rate.Denominator;
      }
    }
  }
}

}  // namespace

std::vector<MonitorInfo> EnumerateMonitors() {
  std::vector<MonitorInfo> monitors;
  EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&monitors));
  AddDisplayConfigNames(monitors);
  for (MonitorInfo& m : monitors) {
    if (m.name.empty()) m.name = m.device;
  }
  OrderPrimaryFirst(monitors);
  return monitors;
}

}  // namespace tsl
