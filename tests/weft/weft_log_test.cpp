#include "weft/weft_log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace weft {
namespace {

namespace fs = std::filesystem;

// The log file is appended in text mode: a line ends in CR LF on Windows.
#ifdef _WIN32
const std::string kEol = "\r\n";
#else
const std::string kEol = "\n";
#endif

void Log(int level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  LogMessage(level, format, args);
  va_end(args);
}

// The logging state is process-wide: each test starts from the program's defaults (notice
// level, sinks off) and leaves them so.
class WeftLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetLogLevel(kLogNotice);
    EnableLogConsole(false);
    EnableLogFile(false, "");
    LogNotice("-- reset --");
    path_ = fs::temp_directory_path() /
            (std::string("tsl_weft_log_") +
             ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".txt");
    fs::remove(path_);
  }
  void TearDown() override {
    SetLogLevel(kLogNotice);
    EnableLogFile(false, "");
    fs::remove(path_);
  }
  std::string FileText() const {
    std::ifstream in(path_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  fs::path path_;
};

TEST_F(WeftLogTest, LevelNames) {
  const char* expected[] = {"silent", "verbose", "notice", "warning", "error", "fatal"};
  for (int level = 0; level <= 5; ++level) EXPECT_STREQ(LogLevelName(level), expected[level]);
  EXPECT_STREQ(LogLevelName(6), "");
  EXPECT_STREQ(LogLevelName(-1), "");
}

TEST_F(WeftLogTest, RepeatsAreWrittenOnceAndTheLevelFilterRunsFirst) {
  EnableLogFile(true, path_.string());
  LogWarning("same %d", 1);
  LogWarning("same %d", 1);
  EXPECT_EQ(LastLogMessage(), "same 1");
  LogError("A");
  LogError("B");
  LogError("A");
  // Below the current level: dropped before the repeat check, so "A" stays the last message
  // and a following "A" is still a repeat.
  Log(kLogVerbose, "verbose text");
  EXPECT_EQ(LastLogMessage(), "A");
  LogError("A");
  LogFatal("cut %s", std::string(2000, 'x').c_str());
  EXPECT_EQ(LastLogMessage().size(), 1023u);
  LogNotice(nullptr);  // ignored
  EXPECT_EQ(FileText(), "[warning] same 1" + kEol + "[error] A" + kEol + "[error] B" + kEol +
                            "[error] A" + kEol + "[fatal] cut " + std::string(1019, 'x') + kEol);
}

TEST_F(WeftLogTest, SilentLevelTurnsLoggingOffAndLevelZeroIsNeverLogged) {
  EnableLogFile(true, path_.string());
  SetLogLevel(kLogSilent);
  LogFatal("not written");
  SetLogLevel(kLogNotice);
  LogNotice("written");
  Log(kLogSilent, "never");
  EXPECT_EQ(FileText(), "[notice] written" + kEol);
  EXPECT_EQ(LastLogMessage(), "written");
}

TEST_F(WeftLogTest, SinksAreOffByDefault) {
  LogError("nobody sees this");
  EXPECT_FALSE(fs::exists(path_));
  EXPECT_EQ(LastLogMessage(), "nobody sees this");
}

}  // namespace
}  // namespace weft
