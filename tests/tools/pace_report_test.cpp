// The arithmetic a person relies on in the pace report, on logs written by the program's own
// pace log writer: percentiles, lows, long intervals and holds, and the derived counter
// frequency; then, as data, small logs beside the output they must give (pace_report_cases/),
// and what the program refuses to overwrite.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "measure/pace_log.h"
#include "pace_report/counter_frequency.h"
#include "pace_report/pace_log_reader.h"
#include "pace_report/pace_report_run.h"
#include "pace_report/pace_report_summary.h"

namespace tsl::report {
namespace {

namespace fs = std::filesystem;

constexpr uint64_t k10MHz = 10'000'000;

// 301 ticks at 10 MHz: every interval 16 ms except three (23.9 ms ending at tick 20, 40 ms at
// tick 50, 24.1 ms at tick 80); lateness (tick mod 10 - 3) x 0.01 ms; callback 2 + tick/1000 ms;
// held ticks 10..14 and 100..102; no frame before tick 5, then version tick / 2.
std::vector<PaceSample> KnownRun(uint64_t frequency = k10MHz) {
  std::vector<PaceSample> samples;
  const uint64_t per_ms = frequency / 1000;
  uint64_t wake = 5'000'000'000;
  for (uint64_t tick = 0; tick <= 300; ++tick) {
    if (tick > 0) {
      const double ms = tick == 20 ? 23.9 : tick == 50 ? 40.0 : tick == 80 ? 24.1 : 16.0;
      wake += static_cast<uint64_t>(ms * static_cast<double>(per_ms) + 0.5);
    }
    const auto late = static_cast<int64_t>((static_cast<int64_t>(tick % 10) - 3) *
                                           static_cast<int64_t>(per_ms) / 100);
    PaceSample s;
    s.tick = tick;
    s.wake_qpc = wake;
    s.target_qpc = wake - static_cast<uint64_t>(late);
    s.done_qpc = wake + 2 * per_ms + tick * per_ms / 1000;
    s.hold = (tick >= 10 && tick <= 14) || (tick >= 100 && tick <= 102);
    s.src_version = tick < 5 ? 0 : tick / 2;
    samples.push_back(s);
  }
  return samples;
}

PaceLog Parse(const std::string& text) {
  PaceLog log;
  std::string error;
  EXPECT_TRUE(ParsePaceLog(text, "run.csv", log, error)) << error;
  return log;
}

TEST(PaceReportTest, TheSummaryOfAKnownRun) {
  const PaceLog log = Parse(FormatPaceLog(KnownRun(), k10MHz));
  CounterFrequency f;
  std::string error;
  ASSERT_TRUE(DeriveCounterFrequency(log, f, error)) << error;
  ASSERT_EQ(f.hz, k10MHz);
  const PaceReportSummary s = Summarise(log, f);

  EXPECT_EQ(s.ticks, 301u);
  EXPECT_NEAR(s.duration_s, 4.84, 1e-9);  // 297 x 16 + 23.9 + 40 + 24.1 ms
  EXPECT_NEAR(s.rate, 300 / 4.84, 1e-9);
  const Distribution& d = s.interval_ms;
  EXPECT_NEAR(d.mean, 4840.0 / 300, 1e-9);
  EXPECT_DOUBLE_EQ(d.min, 16.0);
  EXPECT_DOUBLE_EQ(d.p1, 16.0);
  EXPECT_DOUBLE_EQ(d.p50, 16.0);
  EXPECT_DOUBLE_EQ(d.p99, 16.0);   // position floor(299 x 0.99) = 296 of 300
  EXPECT_DOUBLE_EQ(d.p999, 24.1);  // position 298
  EXPECT_DOUBLE_EQ(d.max, 40.0);
  // 1% of 300 intervals: the slowest 3, 88 ms in all; 0.1%: at least one, the 40 ms.
  EXPECT_EQ(s.low_1.intervals, 3u);
  EXPECT_NEAR(s.low_1.rate, 3000.0 / 88.0, 1e-9);
  EXPECT_EQ(s.low_01.intervals, 1u);
  EXPECT_NEAR(s.low_01.rate, 25.0, 1e-9);
  // Over 1.5 x 16 = 24 ms: 24.1 and 40, not 23.9.
  EXPECT_EQ(s.long_interval_ticks, (std::vector<uint64_t>{50, 80}));
  // Lateness is signed: -0.03 .. 0.06 ms, 31 ticks at -0.03 and 30 at each other value.
  EXPECT_DOUBLE_EQ(s.jitter_p50_ms, 0.01);
  EXPECT_DOUBLE_EQ(s.jitter_p99_ms, 0.06);
  EXPECT_DOUBLE_EQ(s.jitter_max_ms, 0.06);
  EXPECT_DOUBLE_EQ(s.cb_p99_ms, 2.297);
  EXPECT_DOUBLE_EQ(s.cb_max_ms, 2.3);
  EXPECT_EQ(s.holds, 8u);
  EXPECT_NEAR(s.hold_percent, 800.0 / 301, 1e-9);
  EXPECT_EQ(s.longest_hold_run, 5u);
  EXPECT_EQ(s.distinct_versions, 149u);  // tick / 2 for ticks 5 .. 300: 2 .. 150
}

TEST(PaceReportTest, TheCounterFrequencyIsDerivedFromThePrintedMillisecondsOrRefused) {
  struct Case {
    const char* what;
    uint64_t frequency;
    const char* replace;  // text in the log to change, or null
    const char* with;
    const char* error;  // expected start of the message, or null when derived
  };
  const Case cases[] = {
      {"Windows' 10 MHz counter", k10MHz, nullptr, nullptr, nullptr},
      {"the Linux backend's 1 GHz", 1'000'000'000, nullptr, nullptr, nullptr},
      {"an old 3.579545 MHz counter", 3'579'545, nullptr, nullptr, nullptr},
      {"a callback time edited by hand", k10MHz, ",2.0500,", ",2.0600,",
       "run.csv:52: cb_ms 2.0600 does not fit"},
      {"a lateness with the wrong sign", k10MHz, ",-0.0300,", ",0.0300,",
       "run.csv:2: jitter_ms 0.0300 does not fit"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string text = FormatPaceLog(KnownRun(c.frequency), c.frequency);
    if (c.replace != nullptr) {
      const size_t at = text.find(c.replace);
      ASSERT_NE(at, std::string::npos);
      text.replace(at, std::string(c.replace).size(), c.with);
    }
    const PaceLog log = Parse(text);
    CounterFrequency f;
    std::string error;
    const bool derived = DeriveCounterFrequency(log, f, error);
    if (c.error == nullptr) {
      ASSERT_TRUE(derived) << error;
      EXPECT_LE(f.low_hz, static_cast<double>(c.frequency));
      EXPECT_GE(f.high_hz, static_cast<double>(c.frequency));
      // Within the allowed interval; the millisecond figures then differ by under 1e-5.
      EXPECT_NEAR(static_cast<double>(f.hz), static_cast<double>(c.frequency),
                  static_cast<double>(c.frequency) * 1e-5);
    } else {
      EXPECT_FALSE(derived);
      EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
    }
  }

  // A vsync log whose callbacks all printed 0.0000 holds nothing to derive from.
  std::vector<PaceSample> flat = KnownRun();
  for (PaceSample& s : flat) s.target_qpc = s.done_qpc = s.wake_qpc;
  CounterFrequency f;
  std::string error;
  EXPECT_FALSE(DeriveCounterFrequency(Parse(FormatPaceLog(flat, k10MHz)), f, error));
  EXPECT_NE(error.find("cannot be derived"), std::string::npos) << error;

  // Ten counts printed as seven minutes: a 0.02 Hz counter, which no pace log comes from.
  const std::string slow =
      "tick,target_qpc,wake_qpc,done_qpc,jitter_ms,cb_ms,hold,src_version\r\n"
      "0,100,100,110,0.0000,420390.0000,0,0\r\n1,200,200,210,0.0000,420390.0000,0,0\r\n";
  EXPECT_FALSE(DeriveCounterFrequency(Parse(slow), f, error));
  EXPECT_NE(error.find("which no pace log comes from"), std::string::npos) << error;
}

// Every NAME.csv in the cases folder beside NAME.expected: its first line the exit code
// ("exit N"), then what the program prints (standard error, then standard output without the
// line naming the report). Bad input, the resync count, gaps and vsync lateness live there.
TEST(PaceReportTest, EveryCaseInTheFolderGivesItsExpectedOutput) {
  const fs::path cases = TSL_PACE_REPORT_CASES_DIR;
  const fs::path report = fs::temp_directory_path() / "tsl_pace_report_case.html";
  const fs::path previous = fs::current_path();
  fs::current_path(cases);  // the messages name the logs as given: by their file names
  size_t checked = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(cases)) {
    if (entry.path().extension() != ".csv") continue;
    // NAME_display.csv is the display log of NAME.csv, read with it (a case may itself be
    // named "..._display": only a file that another case's log names is skipped).
    const std::string stem = entry.path().stem().string();
    if (stem.size() > 8 && stem.compare(stem.size() - 8, 8, "_display") == 0 &&
        fs::exists(cases / (stem.substr(0, stem.size() - 8) + ".csv"))) {
      continue;
    }
    const std::string name = entry.path().filename().string();
    SCOPED_TRACE(name);
    std::ifstream in(fs::path(entry.path()).replace_extension(".expected"), std::ios::binary);
    ASSERT_TRUE(in.is_open()) << "no .expected beside it";
    std::string exit_line;
    std::getline(in, exit_line);
    const std::string expected((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    std::string out;
    std::string err;
    const int code = RunPaceReport({name, "-o", report.string()}, out, err);
    EXPECT_EQ("exit " + std::to_string(code), exit_line);
    const size_t report_line = out.rfind("\nreport: ");
    if (report_line != std::string::npos) out.erase(report_line + 1);
    EXPECT_EQ(err + out, expected);
    // The HTML report states the same verdict before its first chart.
    const size_t verdict_at = expected.find("  verdict      ");
    if (code == 0 && verdict_at != std::string::npos) {
      std::ifstream html_in(report, std::ios::binary);
      const std::string html((std::istreambuf_iterator<char>(html_in)),
                             std::istreambuf_iterator<char>());
      const size_t text_at = verdict_at + 15;
      const std::string verdict = expected.substr(text_at, expected.find('\n', text_at) - text_at);
      const size_t in_html = html.find("Verdict: " + verdict + "</li>");
      EXPECT_NE(in_html, std::string::npos) << verdict;
      EXPECT_LT(in_html, html.find("<svg"));
    }
    ++checked;
  }
  fs::current_path(previous);
  fs::remove(report);
  EXPECT_GE(checked, 23u);
}

// The report never overwrites a log, never reports a report it did not write, and refuses a
// directory on either side, with nothing written.
TEST(PaceReportTest, OutputThatCannotBeTrustedIsRefused) {
  const fs::path dir = fs::temp_directory_path() / "tsl_pace_report_paths";
  std::error_code leftover;
  fs::remove_all(dir, leftover);
  fs::create_directories(dir / "out.html");
  const std::string log = (dir / "run.csv").string();
  const std::string text = FormatPaceLog(KnownRun(), k10MHz);
  std::ofstream(log, std::ios::binary) << text;
  struct Case {
    std::vector<std::string> args;
    int code;
    const char* message;
  };
  const Case cases[] = {
      {{log, "-o", (dir / "out.html").string()}, kBadInput, "is a directory; name the report file"},
      {{log, "-o", log}, kBadInput, "the report would overwrite it"},
      {{log, log, "-o", (dir / "." / "run.csv").string()}, kBadInput, "would overwrite it"},
      {{dir.string()}, kBadInput, "is a directory, not a pace log"},
      {{log, "-o", (dir / "missing" / "r.html").string()},
       kReportNotWritten,
       "the report cannot be written"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    std::string out;
    std::string err;
    EXPECT_EQ(RunPaceReport(c.args, out, err), c.code);
    EXPECT_NE(err.find(c.message), std::string::npos) << err;
    EXPECT_EQ(out.find("\nreport: "), std::string::npos) << "a report said written";
  }
  {
    std::ifstream in(log, std::ios::binary);  // closed before the folder goes (Windows)
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()),
              text);
  }
  EXPECT_TRUE(fs::is_directory(dir / "out.html"));
  EXPECT_TRUE(fs::is_empty(dir / "out.html"));
  std::error_code ignored;
  fs::remove_all(dir, ignored);
}

}  // namespace
}  // namespace tsl::report
