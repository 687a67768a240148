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
#include "app/diagnose_win32.h"
#include "app/sender_menu.h"
#include "receive/sender_list_win32.h"
#include "tsl_version.h"
#include "window/main_window_win32.h"
#include "window/monitor_order.h"
#include "window/monitors_win32.h"
#include "window/text_box_win32.h"

namespace {

// A controlling program that captures our output gets the text there; a person who typed the
// command in a console gets it in that console (the program has none of its own); one who
// started the program otherwise (a shortcut) gets a box whose fixed-pitch text keeps the
// columns of the option list and the reports.
void ShowText(const std::string& text) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out != nullptr && out != INVALID_HANDLE_VALUE && GetFileType(out) != FILE_TYPE_UNKNOWN) {
    DWORD written = 0;
    WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    return;
  }
  if (AttachConsole(ATTACH_PARENT_PROCESS)) {
    HANDLE console = CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    if (console != INVALID_HANDLE_VALUE) {
      DWORD written = 0;
      const std::string lines = "\n" + text;  // the prompt is already on the line
      const BOOL ok =
          WriteFile(console, lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr);
      CloseHandle(console);
      FreeConsole();
      if (ok) return;
    } else {
      FreeConsole();
    }
  }
  tsl::ShowFixedPitchText(L"Tessaline", text);
}

}  // namespace

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
  if (cfg.showHelp || cfg.showVersion) {
    ShowText(cfg.showHelp ? tsl::HelpText() : std::string("Tessaline ") + TSL_VERSION + "\n");
    return 0;
  }
  if (cfg.listSenders) {
    ShowText(tsl::SenderListText(tsl::ReadListedSenders()));
    return 0;
  }
  if (cfg.diagnose) {
    const std::string report = tsl::DiagnosticReport();
    if (!cfg.diagnoseFile.empty()) {
      FILE* file = _wfopen(cfg.diagnoseFile.c_str(), L"wb");
      bool written =
          file != nullptr && std::fwrite(report.data(), 1, report.size(), file) == report.size();
      if (file != nullptr) written = std::fclose(file) == 0 && written;
      if (!written) {
        ShowText("the report could not be written to that file\n" + report);
        return 1;
      }
    }
    ShowText(report);
    return 0;
  }
  if (cfg.listMonitors) {
    std::string text;
    const std::vector<tsl::MonitorInfo> monitors = tsl::EnumerateMonitors();
    for (size_t i = 0; i < monitors.size(); ++i) {
      const tsl::MonitorInfo& m = monitors[i];
      text += tsl::MonitorLine(static_cast<int32_t>(i), m.name, m.width, m.height, m.refresh_hz,
                               m.primary);
    }
    ShowText(text.empty() ? "no monitors\n" : text);
    return 0;
  }
  tsl::Application app;
  return app.Run(cfg);
}
