// Costs of the pacing statistics on the paths that matter: one Record per tick on the pace
// thread, and a Snapshot and a CSV export of a full window on the main thread.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "measure/pace_log.h"
#include "measure/pace_stats.h"

namespace {

void Fill(tsl::PaceStats& stats, uint64_t count) {
  uint64_t t = 123'456'789'000ull;
  for (uint64_t i = 0; i < count; ++i, t += 166'666) {
    stats.Record(
        {i, t, t + (i * 7919) % 3'000, t + 40'000 + (i * 104'729) % 20'000, i % 3 == 0, i / 3});
  }
}

void BM_Record(benchmark::State& state) {
  tsl::PaceStats stats(tsl::kPaceRingCapacity, 10'000'000);
  tsl::PaceSample sample{0, 1, 2, 3, false, 4};
  for (auto _ : state) {
    ++sample.tick;
    stats.Record(sample);
  }
}
BENCHMARK(BM_Record);

void BM_SnapshotFullWindow(benchmark::State& state) {
  tsl::PaceStats stats(tsl::kPaceRingCapacity, 10'000'000);
  Fill(stats, tsl::kPaceRingCapacity + 100);
  for (auto _ : state) {
    benchmark::DoNotOptimize(stats.Snapshot());
  }
}
BENCHMARK(BM_SnapshotFullWindow)->Unit(benchmark::kMicrosecond);

void BM_WriteCsvFullWindow(benchmark::State& state) {
  tsl::PaceStats stats(tsl::kPaceRingCapacity, 10'000'000);
  Fill(stats, tsl::kPaceRingCapacity);
  const std::string path =
      (std::filesystem::temp_directory_path() / "tsl_bench_pace_log.csv").string();
  for (auto _ : state) {
    if (!stats.WriteCsv(path)) state.SkipWithError("WriteCsv failed");
  }
  std::remove(path.c_str());
}
BENCHMARK(BM_WriteCsvFullWindow)->Unit(benchmark::kMillisecond);

void BM_FormatPaceLogFullWindow(benchmark::State& state) {
  tsl::PaceStats stats(tsl::kPaceRingCapacity, 10'000'000);
  Fill(stats, tsl::kPaceRingCapacity);
  const auto window = stats.Window();
  for (auto _ : state) {
    benchmark::DoNotOptimize(tsl::FormatPaceLog(window, 10'000'000));
  }
}
BENCHMARK(BM_FormatPaceLogFullWindow)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
