#include "app/command_line.h"

#include <cstddef>
#include <cstdlib>
#include <limits>

#include "app/sender_menu.h"
#include "tsl_version.h"

namespace tsl {

namespace {

bool IsSpace(wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); }
bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

wchar_t Lower(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c; }

bool SameIgnoringCase(const std::wstring& a, const wchar_t* b) {
  size_t i = 0;
  for (; i < a.size() && b[i] != L'\0'; ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return i == a.size() && b[i] == L'\0';
}

}  // namespace

int32_t WideToInt(const std::wstring& text) {
  size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
  int64_t value = 0;
  constexpr int64_t kLimit = static_cast<int64_t>(std::numeric_limits<int32_t>::max()) + 1;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    value = value * 10 + (text[i] - L'0');
    if (value > kLimit) value = kLimit;  // saturate; more digits change nothing
  }
  if (negative) return static_cast<int32_t>(-value);
  return static_cast<int32_t>(value >= kLimit ? kLimit - 1 : value);
}

double WideToDouble(const std::wstring& text) {
  size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  std::string number;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
    if (text[i] == L'-') number += '-';
    ++i;
  }
  size_t digits = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i, ++digits) number += static_cast<char>(text[i]);
  if (i < text.size() && text[i] == L'.') {
    number += '.';
    for (++i; i < text.size() && IsDigit(text[i]); ++i, ++digits) {
      number += static_cast<char>(text[i]);
    }
  }
  if (digits == 0) return 0.0;
  // An exponent counts only when at least one digit follows its optional sign.
  if (i < text.size() && (text[i] == L'e' || text[i] == L'E')) {
    size_t j = i + 1;
    std::string exponent = "e";
    if (j < text.size() && (text[j] == L'+' || text[j] == L'-')) {
      exponent += static_cast<char>(text[j]);
      ++j;
    }
    if (j < text.size() && IsDigit(text[j])) {
      for (; j < text.size() && IsDigit(text[j]); ++j) exponent += static_cast<char>(text[j]);
      number += exponent;
    }
  }
  // The text is now a plain decimal number; the program never changes the C locale, so strtod
  // reads "." as the decimal point. Overflow gives infinity and underflow zero, as _wtof does.
  return std::strtod(number.c_str(), nullptr);
}

std::string NarrowLow8(const std::wstring& text) {
  std::string narrow;
  narrow.reserve(text.size());
  for (wchar_t c : text) narrow.push_back(static_cast<char>(static_cast<unsigned>(c) & 0xFF));
  return narrow;
}

std::string HelpText() {
  return "Tessaline " TSL_VERSION
         ": shows the frames of a Weft sender at a steady rate and measures how even they are.\n"
         "\n"
         "usage: tessaline.exe [options]\n"
         "  --sender NAME      the sender to receive (default \"Larkmoor Weft Output\"; an empty\n"
         "                     name follows the first listed or the active sender)\n"
         "  --fps F            frames per second (default 60, from 0.01 to 1000); with vsync\n"
         "                     on, a pattern of whole refreshes of the display (24 on 60 Hz:\n"
         "                     2, 3, 2, 3)\n"
         "  --width W          window client width (default 1280)\n"
         "  --height H         window client height (default 720)\n"
         "  --monitor I|NAME   start fullscreen on monitor I (0 is the primary), or on the\n"
         "                     monitor of that name (any case; a unique start of it will do)\n"
         "  --no-vsync         present without waiting for the display\n"
         "  --stretch          fill the screen in fullscreen instead of keeping the aspect\n"
         "  --topmost          keep the window above others\n"
         "  --hide-cursor      hide the mouse cursor over the window\n"
         "  --realtime         pace thread at time-critical priority, Pro Audio class\n"
         "  --no-activate      never take the focus\n"
         "  --parent-pid PID   end when that process ends\n"
         "  --latency N        frames in flight under vsync, 1 or 2 (waitable swap chain).\n"
         "                     2 (\"smooth\", the locked cadence's default): each present\n"
         "                     made a refresh ahead of its blank, so a hiccup of up to about\n"
         "                     a refresh costs latency rather than a repeat; 1: the lowest\n"
         "                     latency, the newest frame taken just before its present\n"
         "  --cadence MODE     with vsync on: locked (the default: each frame timed against\n"
         "                     the display's blanks) or every-refresh\n"
         "                     (a frame every refresh, the blocking present setting the pace)\n"
         "  --overlay          start with the overlay graph of the recent ticks shown\n"
         "  --list-senders     print the senders in the machine's list (name, size, format,\n"
         "                     whether active), one a line, then exit\n"
         "  --list-monitors    print the monitors (index, name, mode, refresh rate, primary),\n"
         "                     one a line, then exit\n"
         "  --diagnose [FILE]  print a report for a bug report (system, adapters, displays,\n"
         "                     timer, swap chain, senders), also into FILE if given, then exit\n"
         "  --help, -h, /?     this text\n"
         "  --version          the version\n"
         "\n"
         "keys: F11 fullscreen, F12 next monitor, V vsync, A aspect, C cursor, T topmost,\n"
         "      G the overlay graph (tick intervals: green new, grey held, red late),\n"
         "      P write pace_log.csv beside the program, Escape leave fullscreen or quit;\n"
         "      right-click: a menu of the listed senders, to switch to one or to follow the\n"
         "      active sender\n"
         "\n"
         "Weft settings (HKEY_CURRENT_USER\\Software\\Weftworks\\Weft): Framecount = 1 counts\n"
         "frames, so that \"recv\" and the hold count the sender's frames.\n";
}

namespace {

constexpr const wchar_t* kValueOptions[] = {L"--sender",  L"--fps",     L"--width",
                                            L"--height",  L"--monitor", L"--parent-pid",
                                            L"--latency", L"--cadence"};

bool IsValueOption(const std::wstring& arg) {
  for (const wchar_t* option : kValueOptions) {
    if (SameIgnoringCase(arg, option)) return true;
  }
  return false;
}

// A size the window cannot have: named, and used as given.
void CheckSize(const char* option, const std::wstring& text, int32_t value, AppConfig& cfg) {
  if (value >= 1 && value <= 16384) return;
  cfg.warnings.push_back(std::string("warning: ") + option + " " + NarrowLow8(text) +
                         ": expected 1 to 16384 pixels");
}

}  // namespace

AppConfig ParseCommandLine(const std::vector<std::wstring>& argv) {
  AppConfig cfg;
  for (size_t i = 1; i < argv.size(); ++i) {
    const std::wstring& arg = argv[i];
    const bool has_value = i + 1 < argv.size();
    if (has_value && SameIgnoringCase(arg, L"--sender")) {
      cfg.senderName = NarrowLow8(argv[++i]);
    } else if (has_value && SameIgnoringCase(arg, L"--fps")) {
      cfg.fpsText = NarrowLow8(argv[++i]);
      cfg.fps = WideToDouble(argv[i]);
    } else if (has_value && SameIgnoringCase(arg, L"--width")) {
      cfg.width = WideToInt(argv[++i]);
      CheckSize("--width", argv[i], cfg.width, cfg);
    } else if (has_value && SameIgnoringCase(arg, L"--height")) {
      cfg.height = WideToInt(argv[++i]);
      CheckSize("--height", argv[i], cfg.height, cfg);
    } else if (has_value && SameIgnoringCase(arg, L"--monitor")) {
      const std::wstring& value = argv[++i];
      size_t first = 0;
      while (first < value.size() && IsSpace(value[first])) ++first;
      if (first < value.size() && value[first] != L'+' && value[first] != L'-' &&
          !IsDigit(value[first])) {
        cfg.monitorName = value.substr(first);  // a name: fullscreen on the monitor it names
        cfg.monitor = 0;
      } else {
        cfg.monitorName.clear();
        cfg.monitor = WideToInt(value);
      }
    } else if (SameIgnoringCase(arg, L"--no-vsync")) {
      cfg.vsync = false;
    } else if (SameIgnoringCase(arg, L"--stretch")) {
      cfg.letterbox = false;
    } else if (SameIgnoringCase(arg, L"--topmost")) {
      cfg.topmost = true;
    } else if (SameIgnoringCase(arg, L"--hide-cursor")) {
      cfg.hideCursor = true;
    } else if (SameIgnoringCase(arg, L"--realtime")) {
      cfg.realtime = true;
    } else if (SameIgnoringCase(arg, L"--no-activate")) {
      cfg.noActivate = true;
    } else if (has_value && SameIgnoringCase(arg, L"--parent-pid")) {
      cfg.parentPid = static_cast<uint32_t>(WideToInt(argv[++i]));
    } else if (SameIgnoringCase(arg, L"--help") || SameIgnoringCase(arg, L"-h") || arg == L"/?") {
      cfg.showHelp = true;
    } else if (SameIgnoringCase(arg, L"--version")) {
      cfg.showVersion = true;
    } else if (SameIgnoringCase(arg, L"--overlay")) {
      cfg.overlay = true;
    } else if (SameIgnoringCase(arg, L"--list-senders")) {
      cfg.listSenders = true;
    } else if (SameIgnoringCase(arg, L"--list-monitors")) {
      cfg.listMonitors = true;
    } else if (SameIgnoringCase(arg, L"--diagnose")) {
      cfg.diagnose = true;
      // The file is optional: a next argument that is no option names it.
      if (has_value && argv[i + 1].rfind(L"-", 0) != 0 && argv[i + 1] != L"/?") {
        cfg.diagnoseFile = argv[++i];
      }
    } else if (has_value && SameIgnoringCase(arg, L"--latency")) {
      const int latency = WideToInt(argv[++i]);
      if (latency == 1 || latency == 2) {
        cfg.frameLatency = static_cast<uint32_t>(latency);
      } else {
        cfg.warnings.push_back("warning: --latency " + NarrowLow8(argv[i]) +
                               ": expected 1 or 2; using the default");
      }
    } else if (has_value && SameIgnoringCase(arg, L"--cadence")) {
      const std::wstring& value = argv[++i];
      if (SameIgnoringCase(value, L"every-refresh")) {
        cfg.cadence = Cadence::kEveryRefresh;
      } else if (SameIgnoringCase(value, L"locked")) {
        cfg.cadence = Cadence::kLocked;
      } else {
        cfg.unknownCadence = true;
      }
    } else if (IsValueOption(arg)) {
      cfg.warnings.push_back("warning: " + NarrowLow8(arg) + " without a value (ignored)");
    } else {
      cfg.warnings.push_back("warning: unknown option \"" + EscapedName(NarrowLow8(arg)) +
                             "\" (ignored)");
    }
  }
  return cfg;
}

}  // namespace tsl
