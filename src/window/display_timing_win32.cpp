#include "window/display_timing_win32.h"

#include <dwmapi.h>

#include <cwchar>
#include <vector>

namespace tsl {

namespace {

// The nominal refresh of the display configuration path whose source is `device` (a monitor's
// GDI name); false when there is none or the configuration cannot be read.
bool NominalRefresh(const wchar_t* device, uint32_t& numerator, uint32_t& denominator) {
  UINT32 path_count = 0;
  UINT32 mode_count = 0;
  if (GetDisplayConfigBufferSizes(QDC_ONLY_ACTIVE_PATHS, &path_count, &mode_count) !=
      ERROR_SUCCESS) {
    return false;
  }
  std::vector<DISPLAYCONFIG_PATH_INFO> paths(path_count);
  std::vector<DISPLAYCONFIG_MODE_INFO> modes(mode_count);
  if (QueryDisplayConfig(QDC_ONLY_ACTIVE_PATHS, &path_count, paths.data(), &mode_count,
                         modes.data(), nullptr) != ERROR_SUCCESS) {
    return false;
  }
  for (UINT32 i = 0; i < path_count; ++i) {
    DISPLAYCONFIG_SOURCE_DEVICE_NAME source{};
    source.header.type = DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME;
    source.header.size = sizeof(source);
    source.header.adapterId = paths[i].sourceInfo.adapterId;
    source.header.id = paths[i].sourceInfo.id;
    if (DisplayConfigGetDeviceInfo(&source.header) != ERROR_SUCCESS) continue;
    if (std::wcscmp(source.viewGdiDeviceName, device) != 0) continue;
    numerator = paths[i].targetInfo.refreshRate.Numerator;
    denominator = paths[i].targetInfo.refreshRate.Denominator;
    return true;
  }
  return false;
}

}  // namespace

StatedTiming ReadStatedTiming(HWND window) {
  StatedTiming timing;
  MONITORINFOEXW monitor{};
  monitor.cbSize = sizeof(monitor);
  if (GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor)) {
    NominalRefresh(monitor.szDevice, timing.nominal_numerator, timing.nominal_denominator);
  }
  DWM_TIMING_INFO info{};
  info.cbSize = sizeof(info);
  if (SUCCEEDED(DwmGetCompositionTimingInfo(nullptr, &info))) {
    timing.compositor = true;
    timing.compositor_period_qpc = info.qpcRefreshPeriod;
    timing.compositor_blank_qpc = info.qpcVBlank;
    timing.compositor_rate_numerator = info.rateRefresh.uiNumerator;
    timing.compositor_rate_denominator = info.rateRefresh.uiDenominator;
  }
  return timing;
}

}  // namespace tsl
