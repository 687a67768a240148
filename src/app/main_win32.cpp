// The program's entry point: a GUI-subsystem program without a console.
#include <windows.h>
// After windows.h.
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/application_win32.h"
#include "app/command_line.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Start-up messages end in a bare line feed, as a controlling program reading them expects.
  _setmode(_fileno(stderr), _O_BINARY);
  std::vector<std::wstring> args;
  int count = 0;
  if (LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count)) {
    args.assign(argv, argv + count);
    LocalFree(argv);
  }
  const tsl::AppConfig cfg = tsl::ParseCommandLine(args);
  tsl::Application app;
  return app.Run(cfg);
}
