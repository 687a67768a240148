#include "support/app_driver_win32.h"

#include <cstring>
#include <vector>

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

std::wstring BesideTestExecutable(const std::wstring& file_name) {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path, length);
  return dir.substr(0, dir.find_last_of(L"\\/") + 1) + file_name;
}

AppProcess::~AppProcess() {
  if (process_ != nullptr) {
    if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) TerminateProcess(process_, 99);
    CloseHandle(process_);
  }
  if (stderr_read_ != nullptr) CloseHandle(stderr_read_);
}

bool AppProcess::Start(const std::wstring& exe_name, const std::wstring& arguments) {
  const std::wstring exe = BesideTestExecutable(exe_name);
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE stderr_write = nullptr;
  if (!CreatePipe(&stderr_read_, &stderr_write, &inherit, 0)) return false;
  SetHandleInformation(stderr_read_, HANDLE_FLAG_INHERIT, 0);
  HANDLE null_out =
      CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nullptr;
  startup.hStdOutput = null_out;
  startup.hStdError = stderr_write;
  PROCESS_INFORMATION info{};
  std::wstring command_line = L"\"" + exe + L"\" " + arguments;
  const BOOL created = CreateProcessW(exe.c_str(), command_line.data(), nullptr, nullptr, TRUE, 0,
                                      nullptr, nullptr, &startup, &info);
  CloseHandle(stderr_write);
  if (null_out != INVALID_HANDLE_VALUE) CloseHandle(null_out);
  if (!created) return false;
  process_ = info.hProcess;
  pid_ = info.dwProcessId;
  CloseHandle(info.hThread);
  return true;
}

HWND AppProcess::WaitForWindow(DWORD timeout_ms) {
  const ULONGLONG deadline = GetTickCount64() + timeout_ms;
  while (window_ == nullptr && GetTickCount64() < deadline) {
    window_ = FindWindowOf(pid_, L"TessalineWnd", nullptr);
    if (window_ == nullptr) Sleep(20);
  }
  return window_;
}

std::wstring AppProcess::Title() {
  if (window_ == nullptr) return std::wstring();
  wchar_t title[1100] = {};
  GetWindowTextW(window_, title, 1100);
  return title;
}

bool AppProcess::WaitForTitleContaining(const std::wstring& text, DWORD timeout_ms) {
  const ULONGLONG deadline = GetTickCount64() + timeout_ms;
  while (GetTickCount64() < deadline) {
    if (Title().find(text) != std::wstring::npos) return true;
    Sleep(50);
  }
  return false;
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
  const ULONGLONG deadline = GetTickCount64() + timeout_ms;
  while (GetTickCount64() < deadline) {
    if (HWND dialog = FindWindowOf(pid_, L"#32770", caption.c_str())) return dialog;
    Sleep(20);
  }
  return nullptr;
}

DWORD AppProcess::WaitForExit(DWORD timeout_ms) {
  const ULONGLONG deadline = GetTickCount64() + timeout_ms;
  // Keep reading standard error while waiting, so a chatty program never blocks on the pipe.
  while (WaitForSingleObject(process_, 20) == WAIT_TIMEOUT) {
    DrainStandardError();
    if (GetTickCount64() >= deadline) {
      TerminateProcess(process_, 99);
      WaitForSingleObject(process_, 5'000);
      return STILL_ACTIVE;
    }
  }
  DrainStandardError();
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(process_, &code);
  return code;
}

void AppProcess::DrainStandardError() {
  DWORD available = 0;
  while (PeekNamedPipe(stderr_read_, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
    char buffer[512];
    DWORD read = 0;
    if (!ReadFile(stderr_read_, buffer, sizeof buffer, &read, nullptr) || read == 0) break;
    stderr_text_.append(buffer, read);
  }
}

std::string AppProcess::StandardError() {
  DrainStandardError();
  return stderr_text_;
}

}  // namespace tsl::testing
