#include "window/main_window_win32.h"

#include "window/monitor_order.h"

namespace tsl {

namespace {

constexpr wchar_t kClassName[] = L"TessalineWnd";

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

bool MainWindow::Create(const std::wstring& title, int32_t width, int32_t height,
                        bool no_activate) {
  noActivate = no_activate;
  const HINSTANCE module = GetModuleHandleW(nullptr);

  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_OWNDC;
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = module;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  wc.lpszClassName = kClassName;
  RegisterClassExW(&wc);  // already registered is fine; a real failure fails the creation below

  RECT rect{0, 0, width, height};
  AdjustWindowRectEx(&rect, WS_OVERLAPPEDWINDOW, FALSE, 0);
  hwnd = CreateWindowExW(no_activate ? WS_EX_NOACTIVATE : 0, kClassName, title.c_str(),
                         WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, rect.right - rect.left,
                         rect.bottom - rect.top, nullptr, nullptr, module, this);
  if (hwnd == nullptr) return false;
  ShowWindow(hwnd, no_activate ? SW_SHOWNOACTIVATE : SW_SHOW);
  UpdateWindow(hwnd);
  return true;
}

void MainWindow::Destroy() {
  if (hwnd != nullptr) {
    DestroyWindow(hwnd);  // fails harmlessly when the user already closed it
    hwnd = nullptr;
  }
  UnregisterClassW(kClassName, GetModuleHandleW(nullptr));
}

LRESULT CALLBACK MainWindow::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(hwnd, message, wparam, lparam);

  switch (message) {
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    case WM_CLOSE:
      self->quitRequested = true;
      DestroyWindow(hwnd);
      return 0;
    case WM_SETCURSOR:
      if (self->cursorHidden && LOWORD(lparam) == HTCLIENT) {
        SetCursor(nullptr);
        return TRUE;
      }
      break;
    case WM_MOUSEACTIVATE:
      if (self->noActivate) return MA_NOACTIVATEANDEAT;
      break;
    case WM_KEYDOWN:
      if (self->onKey) self->onKey(static_cast<uint64_t>(wparam));
      return 0;
    case WM_TIMER:
      if (self->onTimer) self->onTimer();
      return 0;
    case WM_DISPLAYCHANGE:
      if (self->onDisplayChange) self->onDisplayChange();
      break;
    case WM_CONTEXTMENU:
      if (self->onContextMenu) {
        POINT at{static_cast<int16_t>(LOWORD(lparam)), static_cast<int16_t>(HIWORD(lparam))};
        // From the keyboard (the menu key) there is no point: the window's corner.
        if (lparam == -1) {
          at = POINT{0, 0};
          ClientToScreen(hwnd, &at);
        }
        self->onContextMenu(at);
        return 0;
      }
      break;
    case WM_COMMAND:
      if (HIWORD(wparam) == 0 && lparam == 0 && self->onCommand) {
        self->onCommand(LOWORD(wparam));
        return 0;
      }
      break;
    case WM_COPYDATA: {
      const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lparam);
      if (data == nullptr || data->dwData != kPickSenderCopyData || !self->onPickSender) break;
      // No name the protocol cannot hold: 255 bytes at most, and no terminator inside.
      const auto* bytes = static_cast<const char*>(data->lpData);
      if (data->cbData > 255 || (bytes == nullptr && data->cbData != 0)) return FALSE;
      const std::string name(bytes != nullptr ? bytes : "", data->cbData);
      if (name.find('\0') != std::string::npos) return FALSE;
      self->onPickSender(name);
      return TRUE;
    }
    default:
      break;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

bool MainWindow::PumpMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      quitRequested = true;
      return false;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return !quitRequested;
}

void MainWindow::SetTopmost(bool on) {
  topmost = on;
  if (hwnd != nullptr) {
    SetWindowPos(hwnd, on ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
  }
}

void MainWindow::SetCursorHidden(bool on) {
  cursorHidden = on;
  if (hwnd != nullptr) {
    // Setting the cursor where it already is makes the system send WM_SETCURSOR now, so the
    // change shows without waiting for the next mouse move.
    POINT point;
    if (GetCursorPos(&point)) SetCursorPos(point.x, point.y);
  }
}

bool MainWindow::EnterFullscreen(int32_t index) {
  const std::vector<MonitorInfo> monitors = EnumerateMonitors();
  if (index < 0 || static_cast<size_t>(index) >= monitors.size() || hwnd == nullptr) return false;
  if (!fullscreen) {
    // Moving between monitors keeps the placement saved on the first entry.
    GetWindowRect(hwnd, &savedRect);
    savedStyle = GetWindowLongPtrW(hwnd, GWL_STYLE);
    savedExStyle = GetWindowLongPtrW(hwnd, GWL_EXSTYLE);
  }
  SetWindowLongPtrW(hwnd, GWL_STYLE, static_cast<LONG_PTR>(WS_POPUP | WS_VISIBLE));
  SetWindowLongPtrW(hwnd, GWL_EXSTYLE, WS_EX_APPWINDOW);
  const RECT& r = monitors[static_cast<size_t>(index)].rect;
  SetWindowPos(hwnd, topmost ? HWND_TOPMOST : HWND_TOP, r.left, r.top, r.right - r.left,
               r.bottom - r.top, SWP_SHOWWINDOW | SWP_FRAMECHANGED);
  fullscreen = true;
  return true;
}

void MainWindow::ExitFullscreen() {
  if (!fullscreen || hwnd == nullptr) return;
  SetWindowLongPtrW(hwnd, GWL_STYLE, savedStyle);
  SetWindowLongPtrW(hwnd, GWL_EXSTYLE, savedExStyle);
  SetWindowPos(hwnd, topmost ? HWND_TOPMOST : HWND_NOTOPMOST, savedRect.left, savedRect.top,
               savedRect.right - savedRect.left, savedRect.bottom - savedRect.top,
               SWP_SHOWWINDOW | SWP_FRAMECHANGED);
  fullscreen = false;
}

bool MainWindow::ToggleFullscreen(int32_t index) {
  if (fullscreen) {
    ExitFullscreen();
    return false;
  }
  return EnterFullscreen(index);
}

}  // namespace tsl
