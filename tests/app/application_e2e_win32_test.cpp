// The real tessaline.exe, driven from outside as a controlling program would: exit codes,
// standard error, the parent watchdog, keys, the title and the pace log. The connection test
// uses tessaline_emulated.exe, the same program linked with the test-emulation texture opener,
// because this platform cannot share textures between processes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cwchar>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "emulation/frame_code.h"
#include "support/app_driver_win32.h"
#include "support/peer_process_win32.h"
#include "support/weft_test_env_win32.h"
#include "window/main_window_win32.h"

namespace tsl {
namespace {

using testing::AppProcess;
using testing::BesideTestExecutable;
using testing::PeerProcess;
using testing::PickSender;

constexpr wchar_t kProgram[] = L"tessaline.exe";

const std::wregex& TitlePattern() {
  static const std::wregex pattern(
      L"Tessaline  \\|  GPU: .+  \\|  src \"[^\"]*\"  \\|  pace [0-9]+\\.[0-9]{2} fps  \\|  "
      L"jitter p99=[0-9]+\\.[0-9]{2}ms max=[0-9]+\\.[0-9]{2}ms  \\|  "
      L"interval \\[[0-9]+\\.[0-9]{2}\\.\\.[0-9]+\\.[0-9]{2}\\]ms \u03C3=[0-9]+\\.[0-9]{3}ms  \\|  "
      L"cb p99=-?[0-9]+\\.[0-9]{2}ms  \\|  hold [0-9]+% \\([0-9]+ / [0-9]+\\)  \\|  "
      L"missed [0-9]+  \\|  recv [0-9]+  \\|  (connected|NO SOURCE) \\([0-9]+ avail\\)  \\|  "
      L"fmt [A-Za-z0-9_]+  \\|  vsync (on|off)  \\|  mon[0-9]+  \\|  "
      L"cadence (every refresh( \\(no display clock\\))?|timer|[0-9]+(-[0-9]+)? @ "
      L"[0-9]+\\.[0-9]{2} Hz \\((statistics|nominal|compositor|synthetic)(, smooth)?"
      L"(, fps above refresh)?\\))  "
      L"\\[F11=fs F12=mon V=vsync P=dump-csv ESC=exit\\]");
  return pattern;
}

// The number after `label` in the title (-1 when absent).
long long TitleFigure(const std::wstring& title, const std::wstring& label) {
  const size_t at = title.find(label);
  return at == std::wstring::npos ? -1LL : std::stoll(title.substr(at + label.size()));
}

// "hold N% (repeated / presented)": the two counts.
std::pair<long long, long long> HoldCounts(const std::wstring& title) {
  const size_t at = title.find(L"% (", title.find(L"hold "));
  if (at == std::wstring::npos) return {-1, -1};
  const long long repeated = std::stoll(title.substr(at + 3));
  return {repeated, std::stoll(title.substr(title.find(L" / ", at) + 3))};
}

// A sender in the peer process: a 64 x 36 emulated texture under the share-handle value
// `handle`, registered as `name`.
::testing::AssertionResult StartSender(PeerProcess& sender, const std::string& name,
                                       const std::string& handle) {
  if (!sender.Started()) return ::testing::AssertionFailure() << "the peer did not start";
  for (const std::string& command : {"publish " + handle + " 64 36 87 ff000000",
                                     "register " + name + " " + handle + " 64 36 87"}) {
    const std::string reply = sender.Send(command);
    if (reply != "ok") return ::testing::AssertionFailure() << command << ": " << reply;
  }
  return ::testing::AssertionSuccess();
}

// The refusal is the failure line controlling programs read, last, after a warning naming the
// value; nothing is computed from the rate before (at 0 the take wait was once an infinity cast to
// an integer).
TEST(ApplicationTest, ARateOutOfRangeOrNotANumberEndsStartUpWithExitCode1) {
  struct Case {
    const wchar_t* fps;
    const char* warning;
  };
  for (const Case& c :
       {Case{L"0", "warning: --fps 0: expected a rate from 0.01 to 1000\n"},
        Case{L"abc", "warning: --fps abc: expected a rate from 0.01 to 1000\n"},
        Case{L"-30", "warning: --fps -30: expected a rate from 0.01 to 1000\n"},
        Case{L"0.000000001", "warning: --fps 0.000000001: expected a rate from 0.01 to 1000\n"}}) {
    AppProcess app;
    ASSERT_TRUE(app.Start(kProgram, std::wstring(L"--fps ") + c.fps));
    EXPECT_EQ(app.WaitForExit(), 1u) << c.fps;
    EXPECT_EQ(app.StandardError(), std::string(c.warning) + "Failed to start pace controller\n");
  }
}

// Started as from a shortcut (no standard streams, no console), what would go to them shows in
// a box: the option list in a fixed-pitch one that keeps its columns, a refusal with its warning.
TEST(ApplicationTest, WithoutAConsoleHelpAndRefusalsShowInBoxes) {
  struct Case {
    const wchar_t* arguments;
    const wchar_t* control;  // the class of the box's child that holds the text
    const wchar_t* text;
    DWORD exit_code;
  };
  for (const Case& c :
       {Case{L"--help", L"Edit", L"  --monitor I|NAME   start fullscreen on monitor I", 0},
        Case{L"--fps 0", L"Static",
             L"warning: --fps 0: expected a rate from 0.01 to 1000\nFailed to start pace "
             L"controller",
             1}}) {
    SCOPED_TRACE(c.arguments);
    AppProcess app;
    ASSERT_TRUE(app.Start(kProgram, c.arguments, tsl::testing::kNoStandardStreams));
    HWND box = app.WaitForDialog(L"Tessaline");
    ASSERT_NE(box, nullptr);
    std::wstring text;
    for (HWND child = FindWindowExW(box, nullptr, c.control, nullptr); child != nullptr;
         child = FindWindowExW(box, child, c.control, nullptr)) {
      // WM_GETTEXT, not GetWindowText: across processes that reads only a window's caption.
      wchar_t held[8192] = {};
      SendMessageW(child, WM_GETTEXT, 8192, reinterpret_cast<LPARAM>(held));
      text += held;
    }
    EXPECT_NE(text.find(c.text), std::wstring::npos) << std::string(text.begin(), text.end());
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(app.WaitForExit(), c.exit_code);
  }
}

// Standard error without the line that says, after two seconds without a frame, what the window
// waits for (when it comes depends on how fast the machine is).
std::string WithoutWaitingLine(std::string text) {
  const size_t at = text.find("waiting: ");
  if (at != std::string::npos) text.erase(at, text.find('\n', at) + 1 - at);
  return text;
}

// A sender name nobody lists: the window says in its middle what it waits for and what else
// could be picked, and standard error says the same once, after two seconds.
TEST(ApplicationTest, AWindowWithoutAFrameSaysWhatItWaitsFor) {
  PeerProcess sender;
  ASSERT_TRUE(sender.Started());
  ASSERT_EQ(sender.Send("publish 6301 64 36 87 ff00ff00"), "ok");
  ASSERT_EQ(sender.Send("register TslE2E_Other 6301 64 36 87"), "ok");
  AppProcess app;
  ASSERT_TRUE(app.Start(kProgram, L"--sender TslE2E_Misspelt --width 640 --height 360"));
  ASSERT_NE(app.WaitForWindow(), nullptr);
  // Light text in the middle of a black window.
  const auto lit_in_the_middle = [&app] {
    uint32_t width = 0;
    uint32_t height = 0;
    const std::vector<uint32_t> pixels = app.CaptureClient(width, height);
    int lit = 0;
    for (uint32_t y = height / 2 - 20; !pixels.empty() && y < height / 2 + 20; ++y) {
      for (uint32_t x = width / 4; x < width * 3 / 4; ++x)
        lit += (pixels[y * width + x] & 0x80) != 0;
    }
    return lit > 20;
  };
  EXPECT_TRUE(testing::WaitUntil(lit_in_the_middle, 10'000));
  Sleep(2'500);
  app.PostKey(VK_ESCAPE);
  EXPECT_EQ(app.WaitForExit(), 0u);
  EXPECT_TRUE(std::regex_search(
      app.StandardError(),
      std::regex("waiting: waiting for \"TslE2E_Misspelt\"; \"TslE2E_Misspelt\" is not listed "
                 "\\(not started, or misspelt\\?\\); [0-9]+ other senders? listed: right-click to "
                 "pick\n")))
      << app.StandardError();
  sender.Send("unlist TslE2E_Other");
}

// An unknown option is named before anything else, and the program goes on.
TEST(ApplicationTest, AParentThatDoesNotExistIsWarnedAboutAndEscapeEndsTheProgram) {
  AppProcess app;
  ASSERT_TRUE(app.Start(kProgram, L"--parent-pid 4000004 --bogus --width 320 --height 200"));
  ASSERT_NE(app.WaitForWindow(), nullptr);
  RECT client{};
  GetClientRect(app.WaitForWindow(), &client);
  EXPECT_EQ(client.right, 320);
  EXPECT_EQ(client.bottom, 200);
  app.PostKey(VK_ESCAPE);
  EXPECT_EQ(app.WaitForExit(), 0u);
  EXPECT_TRUE(std::regex_match(
      WithoutWaitingLine(app.StandardError()),
      std::regex("warning: unknown option \"--bogus\" \\(ignored\\)\n"
                 "warning: --parent-pid 4000004 OpenProcess failed \\(err=[0-9]+\\)\n")))
      << app.StandardError();
}

TEST(ApplicationTest, TheEndOfTheParentProcessEndsTheProgramWithExitCode0) {
  PeerProcess parent;  // any process will do as the controlling program
  ASSERT_TRUE(parent.Started());
  ASSERT_EQ(parent.Send("active TslE2E_Unused"), "ok");  // proves it is up and answering
  AppProcess app;
  const DWORD parent_pid = GetProcessId(parent.Handle());
  ASSERT_TRUE(app.Start(kProgram, L"--parent-pid " + std::to_wstring(parent_pid)));
  ASSERT_NE(app.WaitForWindow(), nullptr);
  parent.Send("quit");
  ASSERT_EQ(parent.WaitForExit(), 0u);
  const ULONGLONG ended = GetTickCount64();
  EXPECT_EQ(app.WaitForExit(10'000), 0u);
  EXPECT_LT(GetTickCount64() - ended, 5'000u);  // within about half a second; generous here
  EXPECT_EQ(WithoutWaitingLine(app.StandardError()), "");
}

TEST(ApplicationTest, TheTitleShowsTheFiguresAndTheVsyncWordFlipsOnV) {
  AppProcess app;
  ASSERT_TRUE(app.Start(kProgram, L"--sender TslE2E_Nobody --width 400 --height 300"));
  ASSERT_NE(app.WaitForWindow(), nullptr);
  ASSERT_TRUE(app.WaitForTitleContaining(L"vsync on")) << app.Title();
  const std::wstring title = app.Title();
  EXPECT_TRUE(std::regex_match(title, TitlePattern())) << std::string(title.begin(), title.end());
  EXPECT_NE(title.find(L"NO SOURCE"), std::wstring::npos);
  EXPECT_NE(title.find(L"fmt unknown"), std::wstring::npos);
  EXPECT_NE(title.find(L"src \"(none)\""), std::wstring::npos);
  // The emulator's compositor makes up a 60 Hz grid: the display-locked cadence runs on it, and
  // says so.
  EXPECT_NE(title.find(L"mon0  |  cadence 1 @ 60.00 Hz (synthetic, smooth)  [F11"),
            std::wstring::npos);

  app.PostKey('V');
  ASSERT_TRUE(app.WaitForTitleContaining(L"vsync off  |  mon0  |  cadence timer")) << app.Title();
  app.PostKey('V');
  ASSERT_TRUE(app.WaitForTitleContaining(L"vsync on")) << app.Title();
  app.PostKey(VK_ESCAPE);
  EXPECT_EQ(app.WaitForExit(), 0u);
}

TEST(ApplicationTest, PWritesThePaceLogBesideTheProgramAndReportsIt) {
  const std::filesystem::path log = BesideTestExecutable(L"pace_log.csv");
  std::filesystem::remove(log);
  AppProcess app;
  ASSERT_TRUE(app.Start(kProgram, L"--no-vsync --fps 120 --width 320 --height 200"));
  ASSERT_NE(app.WaitForWindow(), nullptr);
  ASSERT_TRUE(app.WaitForTitleContaining(L"vsync off"));
  Sleep(500);  // some ticks to log
  app.PostKey('P');
  HWND box = app.WaitForDialog(L"Pace log written");
  ASSERT_NE(box, nullptr);
  EXPECT_NE(app.Title().find(L"[CSV WRITTEN] "), std::wstring::npos);
  EXPECT_NE(app.Title().find(L"pace_log.csv"), std::wstring::npos);
  // A second P while the box is open (a controlling program may send one) does nothing: a box
  // opened inside the first would stop the timer that keeps the program's work going.
  app.PostKey('P');
  Sleep(300);
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  ASSERT_TRUE(testing::WaitUntil([&] { return !IsWindow(box); }, 5'000));
  EXPECT_EQ(app.WaitForDialog(L"Pace log written", 500), nullptr);

  std::string text;
  {
    std::ifstream in(log, std::ios::binary);
    ASSERT_TRUE(in.is_open());
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  ASSERT_EQ(text.rfind("tick,target_qpc,wake_qpc,done_qpc,jitter_ms,cb_ms,hold,src_version\r\n", 0),
            0u);
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
  std::istringstream lines(text);
  std::string line;
  std::getline(lines, line);
  long long previous = -1;
  int rows = 0;
  while (std::getline(lines, line)) {
    ASSERT_EQ(line.back(), '\r');
    const long long tick = std::stoll(line.substr(0, line.find(',')));
    if (previous >= 0) {
      ASSERT_EQ(tick, previous + 1);
    }
    previous = tick;
    ++rows;
  }
  EXPECT_GE(rows, 10);

  // In fullscreen no box covers the show: the log is written, and the title and standard error
  // say so.
  std::filesystem::remove(log);
  app.PostKey(VK_F11);
  Sleep(500);
  app.PostKey('P');
  EXPECT_TRUE(testing::WaitUntil([&] { return std::filesystem::exists(log); }, 5'000));
  EXPECT_TRUE(app.WaitForTitleContaining(L"[CSV WRITTEN] ", 2'000));
  EXPECT_EQ(app.WaitForDialog(L"Pace log written", 1'000), nullptr);

  app.PostKey(VK_ESCAPE);  // leaves fullscreen
  app.PostKey(VK_ESCAPE);
  EXPECT_EQ(app.WaitForExit(), 0u);
  EXPECT_NE(app.StandardError().find("pace log written: "), std::string::npos)
      << app.StandardError();
  std::filesystem::remove(log);
}

// Presses P, closes the box and reads the pace log's rows: (target, wake) of each tick.
std::vector<std::pair<long long, long long>> WriteAndReadPaceLog(AppProcess& app) {
  const std::filesystem::path log = BesideTestExecutable(L"pace_log.csv");
  std::filesystem::remove(log);
  app.PostKey('P');
  HWND box = app.WaitForDialog(L"Pace log written");
  EXPECT_NE(box, nullptr);
  if (box != nullptr) PostMessageW(box, WM_COMMAND, IDOK, 0);
  std::vector<std::pair<long long, long long>> rows;
  std::ifstream in(log, std::ios::binary);
  std::string line;
  std::getline(in, line);  // the header
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string tick, target, wake;
    std::getline(fields, tick, ',');
    std::getline(fields, target, ',');
    std::getline(fields, wake, ',');
    rows.emplace_back(std::stoll(target), std::stoll(wake));
  }
  in.close();
  std::filesystem::remove(log);
  return rows;
}

// With vsync on, the display-locked cadence times each tick against the display's blanks (here
// the emulator's made-up 60 Hz grid, 166,666 counts a refresh): --fps 30 is a tick every two
// refreshes, 60 one every refresh (with one frame in flight as with two), and every-refresh
// keeps the back-to-back ticks whose target is their wake.
TEST(ApplicationTest, UnderVsyncTicksFollowTheDisplaysGridAtTheRequestedRate) {
  constexpr long long kRefresh = 166'666;
  struct Case {
    const wchar_t* args;
    int refreshes;  // per tick; 0: back to back
  };
  for (const Case& c :
       {Case{L"--fps 30", 2}, Case{L"--fps 60", 1}, Case{L"--fps 30 --latency 1", 2},
        Case{L"--fps 30 --cadence every-refresh", 0}}) {
    SCOPED_TRACE(std::string(c.args, c.args + std::wcslen(c.args)));
    AppProcess app;
    ASSERT_TRUE(app.Start(kProgram, std::wstring(c.args) + L" --width 320 --height 200"));
    ASSERT_NE(app.WaitForWindow(), nullptr);
    Sleep(c.refreshes == 0 ? 1500 : 7000);
    const auto rows = WriteAndReadPaceLog(app);
    app.PostKey(VK_ESCAPE);
    EXPECT_EQ(app.WaitForExit(), 0u);
    ASSERT_GE(rows.size(), 30u);
    if (c.refreshes == 0) {
      for (const auto& [target, wake] : rows) EXPECT_EQ(target, wake);
      continue;
    }
    // After the first three seconds: the first ticks learn the timer and the lead.
    std::vector<std::pair<long long, long long>> tail;
    for (const auto& row : rows) {
      if (row.first - rows.front().first > 30'000'000) tail.push_back(row);
    }
    ASSERT_GE(tail.size(), 60u);
    // The schedule's rate is the requested one exactly: targets lie a lead before a blank, and
    // the lead moves only in steps of 50 us (shorter after a clean stretch) or 0.5 ms (after a
    // miss), so nearly every step between two targets is the pattern's whole number of
    // refreshes, to the count. A slot given up on this shared machine (the tick woke too late
    // for its blank) lowers the achieved rate a little; it never rises above the request.
    std::vector<long long> steps;
    for (size_t i = 1; i < tail.size(); ++i) steps.push_back(tail[i].first - tail[i - 1].first);
    const size_t on_grid =
        static_cast<size_t>(std::count_if(steps.begin(), steps.end(), [&](long long step) {
          return std::llabs(step - c.refreshes * kRefresh) <= 1;
        }));
    EXPECT_GE(on_grid * 10, steps.size() * 9) << on_grid << " of " << steps.size();
    const double seconds = static_cast<double>(tail.back().first - tail.front().first) / 1e7;
    const double rate = static_cast<double>(steps.size()) / seconds;
    EXPECT_LE(rate, 1.01 * 60.0 / c.refreshes);
    EXPECT_GE(rate, 0.9 * 60.0 / c.refreshes);
  }
}

// Runs a program beside the test to its end and returns what it printed on standard output.
std::string OutputOf(const std::wstring& exe_name, const std::wstring& arguments, DWORD& code) {
  testing::ChildProcess child;
  code = STILL_ACTIVE;
  if (!testing::StartBesideTest(exe_name, arguments, testing::kPipeOutput, child)) return "";
  std::string text;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(child.from_child.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
    text.append(buffer, got);
  }
  WaitForSingleObject(child.process.get(), 20'000);
  GetExitCodeProcess(child.process.get(), &code);
  return text;
}

// --diagnose prints the report for a bug report, writes the same into a file, and exits 0; a
// listed sender is named with its record and whether its texture opens.
TEST(ApplicationTest, TheDiagnosticReportSaysWhatTheMachineOffers) {
  PeerProcess sender;
  ASSERT_TRUE(sender.Started());
  ASSERT_EQ(sender.Send("publish 6401 64 36 87 ff00ff00"), "ok");
  ASSERT_EQ(sender.Send("register TslE2E_Diag 6401 64 36 87"), "ok");
  const std::filesystem::path file = BesideTestExecutable(L"diagnose.txt");
  std::filesystem::remove(file);
  DWORD code = 1;
  const std::string report =
      OutputOf(L"tessaline_emulated.exe", L"--diagnose \"" + file.wstring() + L"\"", code);
  EXPECT_EQ(code, 0u);
  for (const char* line :
       {"^Tessaline [0-9.]+ diagnostic report\n", "\nadapter 0: \"[^\n]+\n",
        "\ndisplay 0 \"[^\n]+ primary\n",
        "\ntimer: 1 ms waits for 2 s: [0-9]+, late by p50 [0-9.]+ ms, p99 [0-9.]+ ms, max [0-9.]+ "
        "ms\n",
        "\nswap chain: waitable (yes|no), tearing (yes|no)\n", "\nframe statistics: ",
        "\nsender \"TslE2E_Diag\": 64x36 format 87 share handle 0x00006401; its texture opens on "
        "this adapter\n"}) {
    EXPECT_TRUE(std::regex_search(report, std::regex(line))) << line << "\n" << report;
  }
  std::ifstream in(file, std::ios::binary);
  const std::string written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(written, report);
  in.close();
  std::filesystem::remove(file);
  sender.Send("unlist TslE2E_Diag");
}

// --list-monitors names the monitors; --monitor takes an index or a name (a start of it in any
// case will do), and one that is not there is said while the primary is used, as the title says.
TEST(ApplicationTest, MonitorsAreListedAndPickedByIndexOrName) {
  DWORD code = 1;
  const std::string listed = OutputOf(kProgram, L"--list-monitors", code);
  EXPECT_EQ(code, 0u);
  std::smatch first;
  ASSERT_TRUE(
      std::regex_search(listed, first, std::regex("^0 \"([^\"]+)\" [0-9]+x[0-9]+ .* primary\n")))
      << listed;
  const std::string name = first[1];
  std::wstring start(name.begin(), name.begin() + static_cast<std::ptrdiff_t>(name.size() / 2 + 1));
  for (wchar_t& c : start) c = static_cast<wchar_t>(std::towlower(c));
  struct Case {
    std::wstring monitor;
    std::string warning;
  };
  for (const Case& c : {Case{start, ""},
                        Case{L"5", "warning: --monitor 5: there is 1 monitor; using the primary\n"},
                        Case{L"Nonesuch",
                             "warning: --monitor Nonesuch: no monitor has that name; using the "
                             "primary (--list-monitors lists them)\n"}}) {
    AppProcess app;
    ASSERT_TRUE(app.Start(kProgram, L"--width 320 --height 200 --monitor \"" + c.monitor + L"\""));
    HWND window = app.WaitForWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(app.WaitForTitleContaining(L"|  mon0  |")) << app.Title().size();
    RECT client{};
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, GetSystemMetrics(SM_CXSCREEN)) << "not fullscreen on the primary";
    app.PostKey(VK_ESCAPE);
    app.PostKey(VK_ESCAPE);
    EXPECT_EQ(app.WaitForExit(), 0u);
    EXPECT_EQ(WithoutWaitingLine(app.StandardError()), c.warning);
  }
}

TEST(ApplicationTest, ListsTheSendersAndSwitchesBetweenThemWithoutARestart) {
  PeerProcess sender;
  ASSERT_TRUE(sender.Started());
  ASSERT_EQ(sender.Send("publish 6301 64 48 87 ff00ff00"), "ok");
  ASSERT_EQ(sender.Send("register TslE2E_PickA 6301 64 48 87"), "ok");
  ASSERT_EQ(sender.Send("publish 6302 32 16 28 ff0000ff"), "ok");
  ASSERT_EQ(sender.Send("register TslE2E_PickB 6302 32 16 28"), "ok");
  ASSERT_EQ(sender.Send("active TslE2E_PickA"), "ok");

  DWORD code = 0;
  const std::string listed = OutputOf(kProgram, L"--list-senders", code);
  EXPECT_EQ(code, 0u);
  EXPECT_NE(listed.find("\"TslE2E_PickA\" 64x48 BGRA8, active\n"), std::string::npos) << listed;
  EXPECT_NE(listed.find("\"TslE2E_PickB\" 32x16 RGBA8\n"), std::string::npos) << listed;

  AppProcess app;
  ASSERT_TRUE(
      app.Start(L"tessaline_emulated.exe", L"--sender TslE2E_PickA --width 320 --height 240"));
  HWND window = app.WaitForWindow();
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(app.WaitForTitleContaining(L"src \"TslE2E_PickA\"")) << app.Title().size();
  // A pick switches the receive thread to the other sender, as the menu's choice does.
  ASSERT_TRUE(PickSender(window, "TslE2E_PickB"));
  EXPECT_TRUE(app.WaitForTitleContaining(L"src \"TslE2E_PickB\""));
  EXPECT_TRUE(app.WaitForTitleContaining(L"fmt RGBA8"));
  // "Follow the active sender".
  ASSERT_TRUE(PickSender(window, ""));
  EXPECT_TRUE(app.WaitForTitleContaining(L"src \"TslE2E_PickA\""));
  EXPECT_FALSE(PickSender(window, std::string(256, 'n')));  // no name the protocol can hold

  // A right-click opens the menu; the program's work goes on while it is open.
  PostMessageW(window, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(window), MAKELPARAM(10, 10));
  EXPECT_NE(testing::WaitForWindowOf(app.Pid(), L"#32768", nullptr, 5'000), nullptr);
  const long long received = TitleFigure(app.Title(), L"recv ");
  EXPECT_TRUE(
      testing::WaitUntil([&] { return TitleFigure(app.Title(), L"recv ") > received; }, 5'000));
  PostMessageW(window, WM_CANCELMODE, 0, 0);
  app.PostKey(VK_ESCAPE);
  EXPECT_EQ(app.WaitForExit(), 0u);
  sender.Send("unlist TslE2E_PickA");
  sender.Send("unlist TslE2E_PickB");
}

TEST(ApplicationTest, ASenderNameTooLongForTheProtocolEndsStartUpWithExitCode1) {
  AppProcess app;
  ASSERT_TRUE(app.Start(kProgram, L"--sender " + std::wstring(256, L's')));
  EXPECT_EQ(app.WaitForExit(), 1u);
  EXPECT_EQ(app.StandardError(), "Failed to start Weft receive thread\n");
}

// With frame counting, "recv" counts the frames the sender sent and the hold the ticks that
// showed no new one: a silent sender holds every tick, and while frames come slower than the
// ticks, every frame is shown on exactly one tick that is not a hold.
TEST(ApplicationTest, RecvAndHoldCountTheSendersFrames) {
  testing::ScopedWeftSetting frame_count(weft::kFrameCountValue, 1);
  PeerProcess sender;
  ASSERT_TRUE(StartSender(sender, "TslE2E_Counted", "7101"));
  ASSERT_EQ(sender.Send("frame TslE2E_Counted 7101 1"), "ok");
  AppProcess app;
  ASSERT_TRUE(app.Start(L"tessaline_emulated.exe",
                        L"--sender TslE2E_Counted --no-vsync --fps 60 --width 320 --height 180"));
  ASSERT_NE(app.WaitForWindow(), nullptr);
  ASSERT_TRUE(app.WaitForTitleContaining(L"connected")) << app.Title().size();
  Sleep(1'000);

  // Silent: nothing arrives, every tick holds.
  std::wstring before = app.Title();
  Sleep(1'500);
  std::wstring after = app.Title();
  EXPECT_EQ(TitleFigure(after, L"recv "), TitleFigure(before, L"recv "));
  auto [held0, shown0] = HoldCounts(before);
  auto [held1, shown1] = HoldCounts(after);
  ASSERT_GT(shown1 - shown0, 30);
  EXPECT_GE(static_cast<double>(held1 - held0), 0.99 * static_cast<double>(shown1 - shown0));

  // A frame every 50 ms, a third of the tick rate.
  before = app.Title();
  constexpr int kFrames = 40;
  for (int n = 2; n < 2 + kFrames; ++n) {
    ASSERT_EQ(sender.Send("frame TslE2E_Counted 7101 " + std::to_string(n)), "ok");
    Sleep(50);
  }
  Sleep(300);
  after = app.Title();
  EXPECT_EQ(TitleFigure(after, L"recv ") - TitleFigure(before, L"recv "), kFrames);
  std::tie(held0, shown0) = HoldCounts(before);
  std::tie(held1, shown1) = HoldCounts(after);
  const long long new_ticks = (shown1 - shown0) - (held1 - held0);
  EXPECT_NEAR(static_cast<double>(new_ticks), kFrames, 2.0);
  EXPECT_GT(shown1 - shown0, 2 * kFrames);  // the ticks did outrun the frames

  // P writes pace_log_display.csv beside the pace log, from the same ticks. A frame is presented
  // only while it is the newest, so its age at present lies between 0 and the time until the
  // next frame was published (a sender period, 50 ms, while frames come) plus a tick; a few late
  // ticks of a loaded machine are allowed more. This platform has no frame statistics, so no
  // display time is given and every state says not measured.
  const std::filesystem::path display = BesideTestExecutable(L"pace_log_display.csv");
  std::filesystem::remove(display);
  app.PostKey('P');
  HWND box = app.WaitForDialog(L"Pace log written");
  ASSERT_NE(box, nullptr);
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  std::ifstream in(display, std::ios::binary);
  ASSERT_TRUE(in.is_open());
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line,
            "tick,published_qpc,present_done_qpc,age_present_ms,present_id,display_qpc,"
            "age_display_ms,refreshes,state,meant_blank_qpc,lead_ms,pattern_refreshes\r");
  std::vector<std::pair<unsigned long long, double>> aged;  // publication, age at present
  while (std::getline(in, line)) {
    std::vector<std::string> fields(1);
    for (const char c : line.substr(0, line.size() - 1)) {
      if (c == ',') {
        fields.emplace_back();
      } else {
        fields.back() += c;
      }
    }
    ASSERT_EQ(fields.size(), 12u) << line;
    EXPECT_TRUE(fields[8] == "not measured" || fields[8] == "not presented") << line;
    EXPECT_EQ(fields[5], "") << "a display time on a platform without statistics";
    EXPECT_EQ(fields[9], "") << "an aimed blank in timer mode";
    if (!fields[1].empty()) aged.emplace_back(std::stoull(fields[1]), std::stod(fields[3]));
  }
  in.close();
  std::filesystem::remove(display);
  std::filesystem::remove(BesideTestExecutable(L"pace_log.csv"));
  size_t checked = 0;
  size_t beyond = 0;
  for (size_t i = 0; i < aged.size(); ++i) {
    EXPECT_GE(aged[i].second, 0.0);
    size_t next = i;
    while (next < aged.size() && aged[next].first == aged[i].first) ++next;
    if (next == aged.size()) break;  // the last frame: no next publication to bound it
    const double until_next_ms = static_cast<double>(aged[next].first - aged[i].first) / 1e4;
    ++checked;
    if (aged[i].second > until_next_ms + 16.7 + 5.0) ++beyond;
  }
  EXPECT_GT(checked, 100u);
  EXPECT_LE(beyond, checked / 20) << beyond << " of " << checked << " ages beyond the bound";

  app.PostKey(VK_ESCAPE);
  EXPECT_EQ(app.WaitForExit(), 0u);
  sender.Send("unlist TslE2E_Counted");
}

TEST(ApplicationTest, ConnectsToARegisteredSenderAndCountsReceivedFrames) {
  PeerProcess sender;
  ASSERT_TRUE(sender.Started());
  ASSERT_EQ(sender.Send("publish 6234 64 48 87 ff00ff00"), "ok");
  ASSERT_EQ(sender.Send("register TslE2E_Sender 6234 64 48 87"), "ok");
  AppProcess app;
  ASSERT_TRUE(
      app.Start(L"tessaline_emulated.exe", L"--sender TslE2E_Sender --width 320 --height 240"));
  ASSERT_NE(app.WaitForWindow(), nullptr);
  ASSERT_TRUE(app.WaitForTitleContaining(L"src \"TslE2E_Sender\"")) << app.Title().size();
  // The sender count follows within half a second of the connection.
  const std::wregex listed(L".*connected \\([1-9][0-9]* avail\\).*");
  EXPECT_TRUE(testing::WaitUntil([&] { return std::regex_match(app.Title(), listed); }, 5'000));
  const std::wstring title = app.Title();
  EXPECT_TRUE(std::regex_match(title, TitlePattern()));
  EXPECT_NE(title.find(L"fmt BGRA8"), std::wstring::npos);

  // Without frame counting a new frame cannot be told from an old one: the frame is taken
  // about once per output tick.
  const long long first = TitleFigure(app.Title(), L"recv ");
  EXPECT_GE(first, 1);
  Sleep(600);
  EXPECT_GT(TitleFigure(app.Title(), L"recv "), first);

  app.PostKey(VK_ESCAPE);
  EXPECT_EQ(app.WaitForExit(), 0u);
  sender.Send("unlist TslE2E_Sender");
}

// A second process sends frames whose picture spells their number; what the display shows of
// Tessaline's window must follow them, frame after frame. Frame counting is on, so a frame
// only reaches the window when the receiver saw the sender's count move after the pixels were
// written.
TEST(ApplicationTest, TheWindowShowsEachFrameTheSenderSends) {
  testing::ScopedWeftSetting frame_count(weft::kFrameCountValue, 1);
  PeerProcess sender;
  ASSERT_TRUE(StartSender(sender, "TslE2E_Pixels", "7001"));
  AppProcess app;
  // 320 x 180 holds the 64 x 36 picture exactly five times: no bands.
  ASSERT_TRUE(
      app.Start(L"tessaline_emulated.exe", L"--sender TslE2E_Pixels --width 320 --height 180"));
  ASSERT_NE(app.WaitForWindow(), nullptr);
  ASSERT_TRUE(app.WaitForTitleContaining(L"connected")) << app.Title().size();

  const auto shown = [&app]() -> std::optional<uint32_t> {
    uint32_t width = 0;
    uint32_t height = 0;
    const std::vector<uint32_t> pixels = app.CaptureClient(width, height);
    if (pixels.empty()) return std::nullopt;
    return emulation::DecodeFrameCode(pixels, width, width, height / 2);
  };
  uint32_t previous_seen = 0;
  for (uint32_t frame : {1u, 2u, 3u, 100u, 101u, 170u, 255u}) {
    ASSERT_EQ(sender.Send("frame TslE2E_Pixels 7001 " + std::to_string(frame)), "ok");
    std::optional<uint32_t> seen;
    bool only_the_frame_before = true;
    testing::WaitUntil(
        [&] {
          seen = shown();
          // Until it changes, the window may only show the frame before.
          if (seen && *seen != frame && *seen != previous_seen) only_the_frame_before = false;
          return seen == frame || !only_the_frame_before;
        },
        5'000);
    ASSERT_TRUE(only_the_frame_before) << "frame " << frame << " after " << previous_seen
                                       << ": the window showed " << seen.value_or(0);
    ASSERT_EQ(seen, frame);
    previous_seen = frame;
  }

  app.PostKey(VK_ESCAPE);
  EXPECT_EQ(app.WaitForExit(), 0u);
  sender.Send("unlist TslE2E_Pixels");
}

}  // namespace
}  // namespace tsl
