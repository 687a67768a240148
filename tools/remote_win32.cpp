// Talks to a running Tessaline window from a script:
//   tessaline_remote title            print the window title (UTF-8)
//   tessaline_remote key P|V|ESC|...  press a hotkey (a letter, ESC, F11 or F12)
//   tessaline_remote dismiss          close the pace log message box, if one is open
//   tessaline_remote stats            print the program's process id, handle count and private
//                                     bytes ("pid=N handles=N private_bytes=N"), for soak runs
// Exit code 0 on success, 1 when no Tessaline window (or box) was found.
#include <windows.h>
// After windows.h.
#include <psapi.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

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

// Handles the process holds, from the system's handle table: GetProcessHandleCount answers 0
// for other processes under Wine 8, while the table (SystemExtendedHandleInformation) is
// filled on Windows and Wine alike. 0 when the table cannot be read.
unsigned long CountHandles(DWORD pid) {
  struct Entry {
    PVOID object;
    ULONG_PTR pid;
    ULONG_PTR handle;
    ULONG access;
    USHORT creator_back_trace;
    USHORT type;
    ULONG attributes;
    ULONG reserved;
  };
  struct Table {
    ULONG_PTR count;
    ULONG_PTR reserved;
    Entry entries[1];
  };
  constexpr ULONG kSystemExtendedHandleInformation = 64;
  constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004L);
  using QueryFn = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
  const auto query = reinterpret_cast<QueryFn>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
  if (query == nullptr) return 0;
  std::vector<unsigned char> buffer(1 << 16);
  LONG status = 0;
  ULONG needed = 0;
  while ((status = query(kSystemExtendedHandleInformation, buffer.data(),
                         static_cast<ULONG>(buffer.size()), &needed)) == kInfoLengthMismatch &&
         buffer.size() < (256u << 20)) {
    buffer.resize(buffer.size() * 2);
  }
  if (status != 0) return 0;
  const auto* table = reinterpret_cast<const Table*>(buffer.data());
  const size_t fit = (buffer.size() - offsetof(Table, entries)) / sizeof(Entry);
  unsigned long count = 0;
  for (ULONG_PTR i = 0; i < table->count && i < fit; ++i) {
    if (table->entries[i].pid == pid) ++count;
  }
  return count;
}

int PrintStats() {
  HWND window = TessalineWindow();
  if (window == nullptr) return 1;
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
  if (process == nullptr) return 1;
  PROCESS_MEMORY_COUNTERS_EX memory{};
  memory.cb = sizeof memory;
  GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory);
  CloseHandle(process);
  const unsigned long handles = CountHandles(pid);
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

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "title") == 0) return PrintTitle();
  if (argc == 3 && std::strcmp(argv[1], "key") == 0) return PressKey(argv[2]);
  if (argc == 2 && std::strcmp(argv[1], "dismiss") == 0) return Dismiss();
  if (argc == 2 && std::strcmp(argv[1], "stats") == 0) return PrintStats();
  std::fprintf(stderr,
               "usage: tessaline_remote title | key P|V|ESC|F11|F12|<letter> | dismiss | stats\n");
  return 2;
}
