#include "measure/pace_log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "base/utf8.h"

namespace tsl {
namespace {

constexpr uint64_t kFreq = 10'000'000;
namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class PaceLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() / (std::string("tsl_pace_log_") + info->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string PathUtf8(const std::u8string& name) const {
    const std::u8string s = (dir_ / fs::path(name)).u8string();
    return std::string(s.begin(), s.end());
  }

  fs::path dir_;
};

TEST_F(PaceLogTest, RowsMatchTheExactBytes) {
  const std::vector<PaceSample> samples = {
      {0, 123'456'789'012ull, 123'456'790'512ull, 123'456'831'746ull, false, 7},
      // Woken early (negative jitter keeps its sign), a held frame.
      {1, 2'000'000, 1'998'500, 2'000'000, true, 7},
      // Vsync: target equals wake; done before wake gives a negative duration.
      {2, 5'000, 5'000, 4'999, false, 0},
      {18'446'744'073'709'551'615ull, 18'446'744'073'709'551'615ull, 18'446'744'073'709'551'615ull,
       18'446'744'073'709'551'615ull, true, 18'446'744'073'709'551'615ull},
      // Rounding at the fourth decimal: 0.00005 ms is 0.5 counts, not representable at 10 MHz;
      // 3 counts = 0.0003 ms, 12,345 counts = 1.2345 ms.
      {3, 0, 3, 12'348, false, 1},
  };
  EXPECT_EQ(FormatPaceLog(samples, kFreq),
            "tick,target_qpc,wake_qpc,done_qpc,jitter_ms,cb_ms,hold,src_version\r\n"
            "0,123456789012,123456790512,123456831746,0.1500,4.1234,0,7\r\n"
            "1,2000000,1998500,2000000,-0.1500,0.1500,1,7\r\n"
            "2,5000,5000,4999,0.0000,-0.0001,0,0\r\n"
            "18446744073709551615,18446744073709551615,18446744073709551615,"
            "18446744073709551615,0.0000,0.0000,1,18446744073709551615\r\n"
            "3,0,3,12348,0.0003,1.2345,0,1\r\n");
}

TEST_F(PaceLogTest, HalfwayValuesRoundLikePrintf) {
  // At 3 MHz, 1 count = 0.000333... ms and 2 counts = 0.000666... ms; at 20 MHz, 1 count is
  // 0.00005 ms exactly in decimal but not in binary.
  for (uint64_t freq : {3'000'000ull, 20'000'000ull, 1'000'000'000ull}) {
    for (uint64_t counts : {1ull, 2ull, 3ull, 7ull, 12'345ull, 99'999ull}) {
      const std::vector<PaceSample> samples = {{0, 0, counts, counts, false, 0}};
      char expected[64];
      std::snprintf(
          expected, sizeof expected, "%.4f",
          static_cast<double>(static_cast<int64_t>(counts)) * 1000.0 / static_cast<double>(freq));
      const std::string text = FormatPaceLog(samples, freq);
      EXPECT_NE(text.find(std::string(",") + expected + ",0.0000,"), std::string::npos)
          << freq << " " << counts << " " << text;
    }
  }
}

TEST_F(PaceLogTest, ExportBeforeAnyTickWritesTheHeaderAlone) {
  PaceStats stats(kPaceRingCapacity, kFreq);
  const std::string path = PathUtf8(u8"pace_log.csv");
  ASSERT_TRUE(stats.WriteCsv(path));
  EXPECT_EQ(ReadAll(dir_ / "pace_log.csv"),
            "tick,target_qpc,wake_qpc,done_qpc,jitter_ms,cb_ms,hold,src_version\r\n");
}

TEST_F(PaceLogTest, FullRingWritesHeaderAndNewest8192TicksAndASecondExportReplacesIt) {
  PaceStats stats(kPaceRingCapacity, kFreq);
  const std::string path = PathUtf8(u8"pace_log.csv");
  for (uint64_t t = 40; t < 40 + 9'000; ++t)
    stats.Record({t, t * 10, t * 10, t * 10 + 5, false, 1});
  ASSERT_TRUE(stats.WriteCsv(path));
  std::string text = ReadAll(dir_ / "pace_log.csv");
  size_t lines = 0;
  for (size_t pos = 0; (pos = text.find("\r\n", pos)) != std::string::npos; pos += 2) ++lines;
  EXPECT_EQ(lines, 8'193u);
  EXPECT_EQ(text.find('\n'), text.find("\r\n") + 1);
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
  const size_t first_row = text.find("\r\n") + 2;
  EXPECT_EQ(text.compare(first_row, 4, "848,"), 0);  // 40 + 9,000 - 8,192
  EXPECT_NE(text.find("\r\n9039,"), std::string::npos);

  stats.Record({9'040, 0, 0, 0, true, 2});
  ASSERT_TRUE(stats.WriteCsv(path));
  text = ReadAll(dir_ / "pace_log.csv");
  const std::string last = "\r\n9040,0,0,0,0.0000,0.0000,1,2\r\n";
  EXPECT_EQ(text.substr(text.size() - last.size()), last);
}

TEST_F(PaceLogTest, PathIsUtf8AndMayHoldNonAsciiDirectories) {
  PaceStats stats(kPaceRingCapacity, kFreq);
  stats.Record({5, 1, 2, 3, false, 0});
  fs::create_directories(dir_ / fs::path(u8"Übertragung – 日本"));
  const std::string path = PathUtf8(u8"Übertragung – 日本/pace_log.csv");
  ASSERT_TRUE(stats.WriteCsv(path));
  const std::string text = ReadAll(dir_ / fs::path(u8"Übertragung – 日本/pace_log.csv"));
  EXPECT_NE(text.find("\r\n5,1,2,3,"), std::string::npos);
}

TEST_F(PaceLogTest, FailuresAreReportedAndLeaveNoFile) {
  PaceStats stats(kPaceRingCapacity, kFreq);
  EXPECT_FALSE(stats.WriteCsv(PathUtf8(u8"missing-dir/pace_log.csv")));
  EXPECT_FALSE(fs::exists(dir_ / "missing-dir"));
#ifdef _WIN32
  // Windows paths are UTF-16: bytes that are not UTF-8 name no file we could mean.
  EXPECT_FALSE(stats.WriteCsv(PathUtf8(u8"x") + "\xC3(.csv"));
#endif
}

#ifdef __linux__
TEST_F(PaceLogTest, AFullDiskIsAFailureNotASavedLog) {
  PaceStats stats(kPaceRingCapacity, kFreq);
  for (uint64_t t = 0; t < 2'000; ++t) stats.Record({t, t, t, t, false, 0});
  EXPECT_FALSE(stats.WriteCsv("/dev/full"));
}
#endif

TEST(Utf8ToWideTest, ConvertsValidTextAndRefusesMalformedSequences) {
  struct Case {
    const char* utf8;
    bool ok;
    std::u32string code_points;
  };
  const Case cases[] = {
      {"plain", true, U"plain"},
      {"\xC3\x9C"
       "ber",
       true, U"\u00DCber"},
      {"\xE6\x97\xA5", true, U"\u65E5"},
      {"\xF0\x9F\x8E\x9E", true, U"\U0001F39E"},
      {"\xC0\xAF", false, U""},          // overlong slash
      {"\xED\xA0\x80", false, U""},      // surrogate
      {"\xF4\x90\x80\x80", false, U""},  // above U+10FFFF
      {"\xE6\x97", false, U""},          // cut short
      {"\x80", false, U""},              // stray continuation
      {"\xC3"
       "A",
       false, U""},  // continuation missing
  };
  for (const Case& c : cases) {
    std::wstring wide;
    EXPECT_EQ(base::Utf8ToWide(c.utf8, wide), c.ok) << c.utf8;
    if (!c.ok) continue;
    std::u32string decoded;
    for (size_t i = 0; i < wide.size(); ++i) {
      char32_t unit = static_cast<char32_t>(wide[i]);
      if (sizeof(wchar_t) == 2 && unit >= 0xD800 && unit <= 0xDBFF) {
        unit = 0x10000 + ((unit - 0xD800) << 10) + (static_cast<char32_t>(wide[++i]) - 0xDC00);
      }
      decoded.push_back(unit);
    }
    EXPECT_EQ(decoded, c.code_points) << c.utf8;
  }
}

}  // namespace
}  // namespace tsl
