#include "window/main_window_win32.h"

#include "window/monitors_win32.h"

namespace tsl {

namespace {

constexpr wchar_t kClassName[] = L"TessalineWnd";

}  // namespace

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
