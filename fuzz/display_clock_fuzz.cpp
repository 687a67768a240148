// Any sequence of frame statistics the swap chain may answer (disjoints, zeros, counts that go
// back or jump, times that go back) fed to the display lock as the pace thread does, between
// ticks at the times the lock asks for: no undefined behaviour, no endless loop, and whatever grid
// the lock follows has the period of a display (20 to 1000 Hz).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "pacing/display_lock.h"

namespace {

constexpr uint64_t kFrequency = 10'000'000;

// Reads the next `n` bytes as a little-endian number (0 past the end).
uint64_t Take(const uint8_t*& data, size_t& size, size_t n) {
  uint64_t v = 0;
  for (size_t i = 0; i < n && size > 0; ++i, --size) v |= static_cast<uint64_t>(*data++) << (8 * i);
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const uint8_t latency = static_cast<uint8_t>(1 + Take(data, size, 1) % 2);
  const double fps = 1.0 + static_cast<double>(Take(data, size, 2) % 1000);
  tsl::DisplayLock lock(kFrequency, fps, latency);
  tsl::BlankGrid stated;
  stated.source = tsl::BlankSource::kNominal;
  stated.period_qpc =
      static_cast<double>(kFrequency) / (20.0 + static_cast<double>(Take(data, size, 1)) * 3.0);
  stated.anchor_qpc = static_cast<double>(Take(data, size, 4));
  lock.SetStated(stated);
  uint64_t now = 1'000'000'000;
  uint32_t id = 0;
  while (size > 0) {
    uint64_t target = 0;
    uint64_t skipped = 0;
    if (lock.NextTarget(now, target, skipped)) {
      tsl::LockedTick tick;
      if (target >= now && lock.TickAt(target, tick) && lock.InTime(target) &&
          lock.StillInTime(target)) {
        lock.OnPresented(true, ++id, target, target + Take(data, size, 2));
      }
      now = target > now ? target : now + 1;
    } else {
      now += 1 + Take(data, size, 2);
    }
    const uint8_t kind = static_cast<uint8_t>(Take(data, size, 1));
    tsl::FrameStatistics s;
    s.present_count = id - static_cast<uint32_t>(Take(data, size, 1) % 4);
    s.sync_refresh_count = static_cast<uint32_t>(Take(data, size, 4));
    s.present_refresh_count = s.sync_refresh_count - static_cast<uint32_t>(Take(data, size, 1) % 8);
    s.sync_qpc = now - Take(data, size, 3);
    s.composition = static_cast<tsl::Composition>(kind % 3);
    const tsl::StatisticsRead read = kind % 11 == 0   ? tsl::StatisticsRead::kDisjoint
                                     : kind % 13 == 0 ? tsl::StatisticsRead::kUnavailable
                                                      : tsl::StatisticsRead::kOk;
    lock.OnStatistics(read, s);
    if (lock.TakeRestateRequest()) lock.SetStated(stated);
    const tsl::CadenceStatus status = lock.Status();
    if (status.locked &&
        !(status.refresh_hz >= 20.0 * 0.98 && status.refresh_hz <= 1000.0 * 1.02)) {
      std::abort();
    }
  }
  return 0;
}
