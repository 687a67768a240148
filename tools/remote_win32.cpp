// Talks to a running Tessaline window from a script:
//   tessaline_remote title            print the window title (UTF-8)
//   tessaline_remote key P|V|ESC|...  press a hotkey (a letter, ESC, F11 or F12)
//   tessaline_remote dismiss          close the pace log message box, if one is open
// Exit code 0 on success, 1 when no Tessaline window (or box) was found.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

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
  std::fprintf(stderr, "usage: tessaline_remote title | key P|V|ESC|F11|F12|<letter> | dismiss\n");
  return 2;
}
