// Compares the pace controller with a naive std::this_thread::sleep_until pacer at 60, 144 and
// 240 Hz in one process and one run. The two pacers run in alternating half-second blocks, so
// drift in the machine's load hits both alike. Lateness is wake time minus target time; cpu_ms/s
// is the pacing thread's CPU time per second; the paced pacer's early wake (learned from its
// timer's overshoots) is printed as it settled.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "base/qpc.h"
#include "measure/pace_stats.h"
#include "pacing/pace_controller.h"
#include "thread_cpu_time.h"

namespace {

constexpr double kBlockSeconds = 0.5;

struct Result {
  std::vector<double> lateness_us;
  uint64_t missed = 0;
  double cpu_seconds = 0.0;
  double wall_seconds = 0.0;
  double margin_us = 0.0;  // the paced timer's early wake, as it settled
};

// One block of the pace controller in timer mode. The same controller runs every block of a
// rate, so its early wake goes on learning across them.
void RunPacedBlock(tsl::PaceController& controller, double hz, double seconds, Result& out) {
  const size_t max_ticks = static_cast<size_t>(hz * seconds * 2) + 16;
  std::vector<double> lateness;
  lateness.reserve(max_ticks);
  const uint64_t freq = base::QpcFrequency();
  double cpu_first = -1.0;
  double cpu_last = 0.0;
  uint64_t qpc_first = 0;
  uint64_t qpc_last = 0;

  const bool started = controller.Start(
      hz,
      [&](uint64_t, uint64_t target, uint64_t wake) {
        if (lateness.size() < max_ticks) {
          lateness.push_back(base::QpcDeltaMs(target, wake, freq) * 1000.0);
        }
        const double cpu = ThreadCpuSeconds();
        const uint64_t now = base::QpcNow();
        if (cpu_first < 0.0) {
          cpu_first = cpu;
          qpc_first = now;
        }
        cpu_last = cpu;
        qpc_last = now;
      },
      false, nullptr);
  if (!started) {
    std::fprintf(stderr, "pacebench: the pace controller did not start\n");
    std::exit(1);
  }
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  out.margin_us =
      static_cast<double>(controller.WakeMarginCounts()) * 1e6 / static_cast<double>(freq);
  controller.Stop();

  out.lateness_us.insert(out.lateness_us.end(), lateness.begin(), lateness.end());
  out.missed += controller.MissedTicks();
  if (cpu_first >= 0.0 && qpc_last > qpc_first) {
    out.cpu_seconds += cpu_last - cpu_first;
    out.wall_seconds += base::QpcDeltaMs(qpc_first, qpc_last, freq) / 1000.0;
  }
}

// One block of the naive pacer: sleep until the next target, never re-based. A tick more than a
// period late counts as missed.
void RunNaiveBlock(double hz, double seconds, Result& out) {
  using clock = std::chrono::steady_clock;
  const auto period =
      std::chrono::duration_cast<clock::duration>(std::chrono::duration<double>(1.0 / hz));
  const size_t max_ticks = static_cast<size_t>(hz * seconds * 2) + 16;
  std::vector<double> lateness;
  lateness.reserve(max_ticks);
  std::atomic<bool> running{true};
  uint64_t missed = 0;
  double cpu = 0.0;
  double wall = 0.0;

  std::thread worker([&] {
    const double cpu_start = ThreadCpuSeconds();
    const auto wall_start = clock::now();
    auto target = wall_start + period;
    while (running.load()) {
      std::this_thread::sleep_until(target);
      const auto wake = clock::now();
      const auto late = wake - target;
      if (lateness.size() < max_ticks) {
        lateness.push_back(std::chrono::duration<double, std::micro>(late).count());
      }
      if (late > period) ++missed;
      target += period;
    }
    cpu = ThreadCpuSeconds() - cpu_start;
    wall = std::chrono::duration<double>(clock::now() - wall_start).count();
  });
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  running = false;
  worker.join();

  out.lateness_us.insert(out.lateness_us.end(), lateness.begin(), lateness.end());
  out.missed += missed;
  out.cpu_seconds += cpu;
  out.wall_seconds += wall;
}

double Percentile(std::vector<double> values, double q) {
  return tsl::PercentileNearestBelow(values, q);
}

void PrintRow(double hz, const char* name, const Result& r) {
  const double max =
      r.lateness_us.empty() ? 0.0 : *std::max_element(r.lateness_us.begin(), r.lateness_us.end());
  std::printf("%5.0f  %-5s  %7zu  %9.1f  %9.1f  %9.1f  %9.1f  %6llu  %8.1f\n", hz, name,
              r.lateness_us.size(), Percentile(r.lateness_us, 0.50),
              Percentile(r.lateness_us, 0.99), Percentile(r.lateness_us, 0.999), max,
              static_cast<unsigned long long>(r.missed),
              r.wall_seconds > 0.0 ? r.cpu_seconds * 1000.0 / r.wall_seconds : 0.0);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 5.0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
      char* end = nullptr;
      seconds = std::strtod(argv[++i], &end);
      if (end == argv[i] || *end != '\0' || !std::isfinite(seconds) || seconds <= 0.0) {
        std::fprintf(stderr, "pacebench: --seconds takes a positive number\n");
        return 2;
      }
    } else {
      std::fprintf(stderr,
                   "usage: pacebench [--seconds N]   (measured seconds per rate and pacer)\n");
      return 2;
    }
  }

  std::printf("pacebench: %.1f s per rate and pacer, alternating %.1f s blocks\n", seconds,
              kBlockSeconds);
  std::printf("%5s  %-5s  %7s  %9s  %9s  %9s  %9s  %6s  %8s\n", "Hz", "pacer", "ticks", "p50_us",
              "p99_us", "p99.9_us", "max_us", "missed", "cpu_ms/s");

  double ratio_at_60 = 0.0;
  for (double hz : {60.0, 144.0, 240.0}) {
    Result paced;
    Result naive;
    tsl::PaceController controller;
    double left = seconds;
    while (left > 1e-9) {
      const double block = std::min(kBlockSeconds, left);
      RunPacedBlock(controller, hz, block, paced);
      RunNaiveBlock(hz, block, naive);
      left -= block;
    }
    PrintRow(hz, "paced", paced);
    PrintRow(hz, "naive", naive);
    std::printf("       (paced: early wake settled at %.0f us in its last block)\n",
                paced.margin_us);
    if (hz == 60.0) {
      const double paced_p99 = Percentile(paced.lateness_us, 0.99);
      const double naive_p99 = Percentile(naive.lateness_us, 0.99);
      ratio_at_60 = paced_p99 > 0.0 ? naive_p99 / paced_p99 : INFINITY;
    }
  }
  std::printf("p99 lateness ratio naive/paced at 60 Hz: %.1f\n", ratio_at_60);
  return 0;
}
