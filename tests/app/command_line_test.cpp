#include "app/command_line.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace tsl {
namespace {

AppConfig Parse(std::vector<std::wstring> args) {
  args.insert(args.begin(), L"C:\\Tessaline\\tessaline.exe");
  return ParseCommandLine(args);
}

TEST(CommandLineTest, NoArgumentsGiveTheDefaults) {
  const AppConfig c = Parse({});
  EXPECT_EQ(c.senderName, "Larkmoor Weft Output");
  EXPECT_EQ(c.fps, 60.0);
  EXPECT_EQ(c.width, 1280);
  EXPECT_EQ(c.height, 720);
  EXPECT_EQ(c.monitor, -1);
  EXPECT_TRUE(c.vsync);
  EXPECT_TRUE(c.letterbox);
  EXPECT_FALSE(c.topmost || c.hideCursor || c.realtime || c.noActivate);
  EXPECT_EQ(c.parentPid, 0u);
  EXPECT_EQ(ParseCommandLine({}).fps, 60.0);  // not even a program path
}

TEST(CommandLineTest, ValuesFlagsAndTheirOddCases) {
  EXPECT_EQ(Parse({L"--fps", L"30", L"--fps", L"50"}).fps, 50.0);
  const AppConfig swallowed = Parse({L"--sender", L"--fps", L"30"});
  EXPECT_EQ(swallowed.senderName, "--fps");
  EXPECT_EQ(swallowed.fps, 60.0);
  EXPECT_EQ(Parse({L"--fps"}).fps, 60.0);  // a value option last matches nothing
  EXPECT_EQ(Parse({L"--fps", L"abc"}).fps, 0.0);
  EXPECT_EQ(Parse({L"--fps", L"0"}).fps, 0.0);
  EXPECT_EQ(Parse({L"--fps", L"59.94"}).fps, 59.94);
  EXPECT_EQ(Parse({L"--width", L"800x600"}).width, 800);
  EXPECT_EQ(Parse({L"--monitor", L"-5"}).monitor, -5);
  const AppConfig named = Parse({L"--monitor", L" LED Wall"});
  EXPECT_EQ(named.monitorName, L"LED Wall");
  EXPECT_EQ(named.monitor, 0);
  EXPECT_EQ(Parse({L"--monitor", L"Wall", L"--monitor", L"2"}).monitorName, L"");
  EXPECT_TRUE(Parse({L"--List-Monitors"}).listMonitors);
  EXPECT_TRUE(Parse({L"--diagnose"}).diagnose);
  EXPECT_EQ(Parse({L"--diagnose", L"report.txt"}).diagnoseFile, L"report.txt");
  const AppConfig then_option = Parse({L"--diagnose", L"--fps", L"30"});
  EXPECT_EQ(then_option.diagnoseFile, L"");
  EXPECT_EQ(then_option.fps, 30.0);
  EXPECT_EQ(Parse({L"--parent-pid", L"0"}).parentPid, 0u);
  EXPECT_EQ(Parse({L"--parent-pid", L"-1"}).parentPid, 0xFFFFFFFFu);
  EXPECT_EQ(Parse({L"--fps=30"}).fps, 60.0);  // joined with "=": not an option
  EXPECT_EQ(Parse({L"--sender", L""}).senderName, "");

  const AppConfig flags = Parse({L"--STRETCH", L"--No-VSync", L"--topmost", L"--Hide-Cursor",
                                 L"--REALTIME", L"--no-activate", L"stray", L"--HEIGHT", L"480"});
  EXPECT_FALSE(flags.letterbox);
  EXPECT_FALSE(flags.vsync);
  EXPECT_TRUE(flags.topmost && flags.hideCursor && flags.realtime && flags.noActivate);
  EXPECT_EQ(flags.height, 480);
}

// What is ignored or cannot be used is said, a line each, and the parse goes on as before.
TEST(CommandLineTest, IgnoredOrUnusableArgumentsAreNamedInWarnings) {
  struct Case {
    std::vector<std::wstring> args;
    std::vector<std::string> warnings;
  };
  const Case cases[] = {
      {{L"--fps", L"30", L"--width", L"800"}, {}},
      {{L"--bogus", L"stray\t"},
       {"warning: unknown option \"--bogus\" (ignored)",
        "warning: unknown option \"stray\\x09\" (ignored)"}},
      {{L"--width", L"0", L"--height", L"99999"},
       {"warning: --width 0: expected 1 to 16384 pixels",
        "warning: --height 99999: expected 1 to 16384 pixels"}},
      {{L"--latency", L"3"}, {"warning: --latency 3: expected 1 or 2; using the default"}},
      {{L"--monitor"}, {"warning: --monitor without a value (ignored)"}},
      {{L"--fps=30"}, {"warning: unknown option \"--fps=30\" (ignored)"}},
  };
  for (const Case& c : cases) EXPECT_EQ(Parse(c.args).warnings, c.warnings) << c.args.size();
  EXPECT_EQ(Parse({L"--fps", L"abc"}).fpsText, "abc");
}

TEST(CommandLineTest, SenderNamesKeepTheLow8BitsOfEachUnit) {
  EXPECT_EQ(Parse({L"--sender", L"Camera 1"}).senderName, "Camera 1");
  EXPECT_EQ(Parse({L"--sender", L"\u00DCber"}).senderName,
            "\xDC"
            "ber");
  EXPECT_EQ(Parse({L"--sender", L"\u65E5"}).senderName, "\xE5");  // U+65E5 does not survive
}

TEST(CommandLineTest, NumberConversionFollowsTheRuntimeRules) {
  struct IntCase {
    const wchar_t* text;
    int32_t value;
  };
  for (const IntCase& c :
       {IntCase{L"  42", 42}, IntCase{L"+7", 7}, IntCase{L"-12abc", -12}, IntCase{L"abc", 0},
        IntCase{L"", 0}, IntCase{L"- 5", 0}, IntCase{L"99999999999", 2147483647},
        IntCase{L"-99999999999", -2147483647 - 1}}) {
    EXPECT_EQ(WideToInt(c.text), c.value) << std::wstring(c.text).size();
  }
  struct DoubleCase {
    const wchar_t* text;
    double value;
  };
  for (const DoubleCase& c :
       {DoubleCase{L"59.94", 59.94}, DoubleCase{L" -2.5", -2.5}, DoubleCase{L".5", 0.5},
        DoubleCase{L"5.", 5.0}, DoubleCase{L"1e2", 100.0}, DoubleCase{L"1e", 1.0},
        DoubleCase{L"1e+x", 1.0}, DoubleCase{L"2.5E-1fps", 0.25}, DoubleCase{L"inf", 0.0},
        DoubleCase{L"0x10", 0.0}, DoubleCase{L".", 0.0}, DoubleCase{L"30,5", 30.0}}) {
    EXPECT_EQ(WideToDouble(c.text), c.value);
  }
  EXPECT_TRUE(std::isinf(WideToDouble(L"1e999")));
}

TEST(CommandLineTest, HelpAndVersionAreAskedForAndOtherArgumentsKeepTheirMeaning) {
  for (const wchar_t* help : {L"--help", L"-h", L"/?", L"--HELP"}) {
    EXPECT_TRUE(Parse({help}).showHelp) << help;
  }
  EXPECT_TRUE(Parse({L"--version"}).showVersion);
  EXPECT_FALSE(Parse({L"--helpme", L"-?"}).showHelp);  // unknown: ignored as before
  const AppConfig named = Parse({L"--sender", L"--help"});
  EXPECT_FALSE(named.showHelp);
  EXPECT_EQ(named.senderName, "--help");
  EXPECT_NE(HelpText().find("--parent-pid PID"), std::string::npos);
  EXPECT_EQ(Parse({L"--latency", L"1"}).frameLatency, 1u);
  EXPECT_EQ(Parse({L"--latency", L"2"}).frameLatency, 2u);
  EXPECT_EQ(Parse({L"--latency", L"3"}).frameLatency, 0u);  // one or two frames are offered
  EXPECT_EQ(Parse({}).frameLatency, 0u);
  EXPECT_EQ(Parse({}).cadence, Cadence::kLocked);
  EXPECT_EQ(Parse({L"--cadence", L"Every-Refresh"}).cadence, Cadence::kEveryRefresh);
  EXPECT_EQ(Parse({L"--cadence", L"locked"}).cadence, Cadence::kLocked);
  const AppConfig odd = Parse({L"--cadence", L"vsync"});
  EXPECT_EQ(odd.cadence, Cadence::kLocked);
  EXPECT_TRUE(odd.unknownCadence);
  EXPECT_TRUE(Parse({L"--LIST-SENDERS"}).listSenders);
  EXPECT_TRUE(Parse({L"--overlay"}).overlay);
  EXPECT_FALSE(Parse({}).overlay);
  EXPECT_FALSE(Parse({}).listSenders);
}

}  // namespace
}  // namespace tsl
