#include "support/app_driver_win32.h"

#include <cstring>
#include <vector>

#include "window/main_window_win32.h"

namespace tsl::testing {

namespace {

struct FindArgs {
  DWORD pid;
  const wchar_t* class_name;
  const wchar_t* caption;  // null: any
  HWND found;
};

BOOL CALLBACK FindTopLevel(HWND hwnd, LPARAM data) {
  auto* args = reinterpret_cast<FindArgs*>(data);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid != args->pid) return TRUE;
  wchar_t class_name[64] = {};
  GetClassNameW(hwnd, class_name, 64);
  if (std::wstring(class_name) != args->class_name) return TRUE;
  if (args->caption != nullptr) {
    wchar_t caption[256] = {};
    GetWindowTextW(hwnd, caption, 256);
    if (std::wstring(caption) != args->caption) return TRUE;
  }
  args->found = hwnd;
  return FALSE;
}

HWND FindWindowOf(DWORD pid, const wchar_t* class_name, const wchar_t* caption) {
  FindArgs args{pid, class_name, caption, nullptr};
  EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&args));
  return args.found;
}

}  // namespace

HWND WaitForWindowOf(DWORD pid, const wchar_t* class_name, const wchar_t* caption,
                     DWORD timeout_ms) {
  HWND found = nullptr;
  WaitUntil([&] { return (found = FindWindowOf(pid, class_name, caption)) != nullptr; },
            timeout_ms);
  return found;
}

std::wstring WindowTitle(HWND window) {
  if (window == nullptr) return std::wstring();
  wchar_t title[1100] = {};
  GetWindowTextW(window, title, 1100);
  return title;
}

AppProcess::~AppProcess() {
  if (app_.process && WaitForSingleObject(app_.process.get(), 0) == WAIT_TIMEOUT) {
    TerminateProcess(app_.process.get(), 99);
  }
}

bool AppProcess::Start(const std::wstring& exe_name, const std::wstring& arguments,
                       unsigned pipes) {
  if (!StartBesideTest(exe_name, arguments, pipes, app_)) return false;
  pid_ = GetProcessId(app_.process.get());
  return true;
}

HWND AppProcess::WaitForWindow(DWORD timeout_ms) {
  if (window_ == nullptr) window_ = WaitForWindowOf(pid_, L"TessalineWnd", nullptr, timeout_ms);
  return window_;
}

std::wstring AppProcess::Title() { return WindowTitle(window_); }

bool AppProcess::WaitForTitleContaining(const std::wstring& text, DWORD timeout_ms) {
  return WaitUntil([&] { return Title().find(text) != std::wstring::npos; }, timeout_ms, 50);
}

void AppProcess::PostKey(WPARAM virtual_key) { PostMessageW(window_, WM_KEYDOWN, virtual_key, 0); }

std::vector<uint32_t> AppProcess::CaptureClient(uint32_t& width, uint32_t& height) {
  return CaptureClientArea(window_, width, height);
}

std::vector<uint32_t> CaptureClientArea(HWND window, uint32_t& width, uint32_t& height) {
  width = height = 0;
  RECT client{};
  POINT origin{0, 0};
  if (window == nullptr || !GetClientRect(window, &client) || !ClientToScreen(window, &origin)) {
    return {};
  }
  const int w = client.right - client.left;
  const int h = client.bottom - client.top;
  if (w <= 0 || h <= 0) return {};
  std::vector<uint32_t> pixels(static_cast<size_t>(w) * h);
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = -h;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = false;
  if (bitmap != nullptr) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    ok = BitBlt(memory, 0, 0, w, h, screen, origin.x, origin.y, SRCCOPY) != 0;
    GdiFlush();
    if (ok) std::memcpy(pixels.data(), bits, pixels.size() * 4);
    SelectObject(memory, old);
    DeleteObject(bitmap);
  }
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  if (!ok) return {};
  width = static_cast<uint32_t>(w);
  height = static_cast<uint32_t>(h);
  return pixels;
}

HWND AppProcess::WaitForDialog(const std::wstring& caption, DWORD timeout_ms) {
  return WaitForWindowOf(pid_, L"#32770", caption.c_str(), timeout_ms);
}

DWORD AppProcess::WaitForExit(DWORD timeout_ms) {
  const ULONGLONG deadline = GetTickCount64() + timeout_ms;
  // Keep reading standard error while waiting, so a chatty program never blocks on the pipe.
  while (WaitForSingleObject(app_.process.get(), 20) == WAIT_TIMEOUT) {
    DrainStandardError();
    if (GetTickCount64() >= deadline) {
      TerminateProcess(app_.process.get(), 99);
      WaitForSingleObject(app_.process.get(), 5'000);
      return STILL_ACTIVE;
    }
  }
  DrainStandardError();
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(app_.process.get(), &code);
  return code;
}

void AppProcess::DrainStandardError() {
  DWORD available = 0;
  while (PeekNamedPipe(app_.errors_from.get(), nullptr, 0, nullptr, &available, nullptr) &&
         available > 0) {
    char buffer[512];
    DWORD read = 0;
    if (!ReadFile(app_.errors_from.get(), buffer, sizeof buffer, &read, nullptr) || read == 0)
      break;
    stderrText_.append(buffer, read);
  }
}

std::string AppProcess::StandardError() {
  DrainStandardError();
  return stderrText_;
}

bool PickSender(HWND window, const std::string& name) {
  COPYDATASTRUCT data{};
  data.dwData = kPickSenderCopyData;
  data.cbData = static_cast<DWORD>(name.size());
  data.lpData = const_cast<char*>(name.data());
  return SendMessageW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data)) == TRUE;
}

}  // namespace tsl::testing
