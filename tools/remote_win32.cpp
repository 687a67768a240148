// Talks to a running Tessaline window from a script:
//   tessaline_remote title            print the window title (UTF-8)
//   tessaline_remote key P|V|ESC|...  press a hotkey (a letter, ESC, F11 or F12)
//   tessaline_remote dismiss          close the pace log message box, if one is open
//   tessaline_remote stats            print the program's process id, handle count and private
//                                     bytes ("pid=N handles=N private_bytes=N"), for soak runs
//   tessaline_remote sender NAME      switch to the sender NAME ("" follows the active sender)
//   tessaline_remote menu             open the window's sender menu (as a right-click does)
// Exit code 0 on success, 1 when no Tessaline window (or box) was found.
#include <windows.h>
// After windows.h.
#include <psapi.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "base/unique_handle_win32.h"
#include "tsl_version.h"
#include "window/main_window_win32.h"

namespace {

HWND TessalineWindow() { return FindWindowW(L"TessalineWnd", nullptr); }

int PrintTitle() {
  HWND window = TessalineWindow();
  if (window == nullptr) return 1;
  wchar_t title[1100] = {};
  GetWindowTextW(window, title, 1100);
  char utf8[4400] = {};
  WideCharToMultiByte(CP_UTF8, 0, title, -1, utf8, sizeof utf8, nullptr, nullptr);
  std::printf("%s\n", utf8);
  return 0;
}

int PressKey(const char* name) {
  WPARAM key = 0;
  if (std::strcmp(name, "ESC") == 0) {
    key = VK_ESCAPE;
  } else if (std::strcmp(name, "F11") == 0) {
    key = VK_F11;
  } else if (std::strcmp(name, "F12") == 0) {
    key = VK_F12;
  } else if (std::strlen(name) == 1 && name[0] >= 'A' && name[0] <= 'Z') {
    key = static_cast<WPARAM>(name[0]);
  } else {
    return 2;
  }
  HWND window = TessalineWindow();
  if (window == nullptr) return 1;
  return PostMessageW(window, WM_KEYDOWN, key, 0) ? 0 : 1;
}

// Handles another process holds. Windows answers GetProcessHandleCount for any process; Wine 8
// answers 0, and reading its system handle table (SystemExtendedHandleInformation) while
// processes start and end crashes wineserver (a churning soak did so within a minute). So where
// the count is missing it comes from probing the process's handle values: handles are handed
// out from the lowest free slot, so the values in use are dense, and a long run of values that
// are not handles ends the table.
unsigned long CountHandles(HANDLE process) {
  DWORD reported = 0;
  if (GetProcessHandleCount(process, &reported) && reported > 0) return reported;
  constexpr unsigned kEndGap = 1024;  // consecutive invalid values taken as the table's end
  unsigned long found = 0;
  unsigned gap = 0;
  for (ULONG_PTR value = 4; gap < kEndGap; value += 4) {
    HANDLE copy = nullptr;
    const bool copied =
        DuplicateHandle(process, reinterpret_cast<HANDLE>(value), GetCurrentProcess(), &copy, 0,
                        FALSE, DUPLICATE_SAME_ACCESS) != FALSE;
    const DWORD error = copied ? 0 : GetLastError();
    const base::UniqueHandle owned(copied ? copy : nullptr);
    // A handle that exists but may not be copied fails with another error than this one.
    if (copied || error != ERROR_INVALID_HANDLE) {
      ++found;
      gap = 0;
    } else {
      ++gap;
    }
  }
  return found;
}

int PrintStats() {
  HWND window = TessalineWindow();
  if (window == nullptr) return 1;
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  const base::UniqueHandle process(
      OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_DUP_HANDLE, FALSE, pid));
  if (!process) return 1;
  PROCESS_MEMORY_COUNTERS_EX memory{};
  memory.cb = sizeof memory;
  GetProcessMemoryInfo(process.get(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                       sizeof memory);
  const unsigned long handles = CountHandles(process.get());
  if (handles == 0) return 1;
  // Wine reports no memory figures for another process (private_bytes=0 there).
  std::printf("pid=%lu handles=%lu private_bytes=%llu\n", static_cast<unsigned long>(pid), handles,
              static_cast<unsigned long long>(memory.PrivateUsage));
  return 0;
}

int Dismiss() {
  for (const wchar_t* caption : {L"Pace log written", L"Error"}) {
    if (HWND box = FindWindowW(L"#32770", caption)) {
      return PostMessageW(box, WM_COMMAND, IDOK, 0) ? 0 : 1;
    }
  }
  return 1;
}

int PickSender(const char* name) {
  HWND window = TessalineWindow();
  if (window == nullptr) return 1;
  COPYDATASTRUCT data{};
  data.dwData = tsl::kPickSenderCopyData;
  data.cbData = static_cast<DWORD>(std::strlen(name));
  data.lpData = const_cast<char*>(name);
  return SendMessageW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data)) == TRUE ? 0 : 1;
}

int OpenMenu() {
  HWND window = TessalineWindow();
  if (window == nullptr) return 1;
  RECT rect{};
  GetWindowRect(window, &rect);
  return PostMessageW(window, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(window),
                      MAKELPARAM(rect.left + 20, rect.top + 40))
             ? 0
             : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0 ||
                    std::strcmp(argv[1], "/?") == 0)) {
    std::printf(
        "tessaline_remote %s: talks to a running Tessaline window from a script.\n"
        "  title        prints the window's title\n"
        "  key K        presses a key: P, V, ESC, F11, F12 or a letter\n"
        "  dismiss      closes the pace log's message box\n"
        "  stats        prints the process id, handle count and private bytes\n"
        "  sender NAME  switches to the sender NAME (\"\" follows the active sender)\n"
        "  menu         opens the window's sender menu\n",
        TSL_VERSION);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("tessaline_remote %s\n", TSL_VERSION);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "title") == 0) return PrintTitle();
  if (argc == 3 && std::strcmp(argv[1], "key") == 0) return PressKey(argv[2]);
  if (argc == 2 && std::strcmp(argv[1], "dismiss") == 0) return Dismiss();
  if (argc == 2 && std::strcmp(argv[1], "stats") == 0) return PrintStats();
  if (argc == 3 && std::strcmp(argv[1], "sender") == 0) return PickSender(argv[2]);
  if (argc == 2 && std::strcmp(argv[1], "menu") == 0) return OpenMenu();
  std::fprintf(stderr,
               "usage: tessaline_remote title | key P|V|ESC|F11|F12|<letter> | dismiss | stats | "
               "sender NAME | menu\n");
  return 2;
}
