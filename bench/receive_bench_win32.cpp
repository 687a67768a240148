// Measures the receive path against a real sender process: Tessaline's own receive thread and
// frame slot on a device of their own, and an output tick at a fixed rate that takes the newest
// frame as the pace thread does and reads back which sender frame it holds (the sender draws its
// frame numbers, tessaline_demo_sender --frame-code). scripts/run-receivebench runs it against
// senders at several rates and adds the CPU figures.
//
//   tessaline_receive_bench.exe --sender NAME [--seconds S] [--fps F] [--stamps MAPPING]
//
// Prints one line of figures:
//   receivebench: seconds=S ticks=N sender_frames=N passes=N publications=N title_hold_pct=X
//                 true_hold_pct=X delay_p50_ms=X delay_p99_ms=X delay_samples=N
//                 age_p50_ms=X age_p99_ms=X age_samples=N take_p99_ms=X late_takes=N
// The title's hold counts ticks whose slot version repeats the previous tick's (as the title
// does); the true hold counts ticks whose sender frame number repeats the previous tick's. The
// delay runs from the sender's signal (its stamp) to the publication in the slot; the frame age
// at tick from the signal of the frame a tick shows (its number read back, its stamp looked up)
// to the moment the tick took it. Each tick asks the receive thread for a take of an uncounted
// sender first, as Tessaline's tick does; take_p99_ms is how long ticks waited for it, and
// late_takes counts the ticks whose wait ran out.
#include <d3d11.h>
#include <mmsystem.h>
#include <windows.h>
#include <wrl/client.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "base/qpc.h"
#include "base/unique_handle_win32.h"
#include "common/tool_options.h"
#include "emulation/frame_code.h"
#include "gpu/frame_slot_win32.h"
#include "gpu/gpu_device_win32.h"
#include "receive/weft_receive_thread_win32.h"
#include "weft/mapped_view_win32.h"
#include "weft/weft_names.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr uint32_t kStampSlots = 256;

struct Options {
  std::string sender;
  double seconds = 10.0;
  double fps = 60.0;
  std::string stamps;
};

bool ParseOptions(int argc, char** argv, Options& o) {
  return tsl::tools::ToolOptions()
             .Text("--sender", o.sender)
             .Number("--seconds", o.seconds)
             .Number("--fps", o.fps)
             .Text("--stamps", o.stamps)
             .Parse(argc, argv) &&
         !o.sender.empty() && o.seconds > 0.0 && o.fps > 0.0;
}

// The sender's frame count, read without consuming it (-1 when it cannot be read).
long ReadFrameCount(HANDLE semaphore) {
  if (semaphore == nullptr || WaitForSingleObject(semaphore, 0) != WAIT_OBJECT_0) return -1;
  LONG previous = 0;
  if (!ReleaseSemaphore(semaphore, 1, &previous)) return -1;
  return previous;
}

// Reads the sender frame number a texture holds from its middle row, through a one-row staging
// texture.
class FrameNumberReader {
 public:
  explicit FrameNumberReader(tsl::GpuDevice& device) : device_(device) {}

  std::optional<uint32_t> Read(ID3D11Texture2D* texture, uint32_t width, uint32_t height,
                               uint32_t format) {
    if (!staging_ || width != width_ || format != format_) {
      staging_.Reset();
      D3D11_TEXTURE2D_DESC desc{};
      desc.Width = width;
      desc.Height = 1;
      desc.MipLevels = desc.ArraySize = 1;
      desc.Format = static_cast<DXGI_FORMAT>(format);
      desc.SampleDesc.Count = 1;
      desc.Usage = D3D11_USAGE_STAGING;
      desc.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
      if (FAILED(device_.device->CreateTexture2D(&desc, nullptr, &staging_))) return std::nullopt;
      width_ = width;
      format_ = format;
    }
    const D3D11_BOX row{0, height / 2, 0, width, height / 2 + 1, 1};
    device_.context->CopySubresourceRegion(staging_.Get(), 0, 0, 0, 0, texture, 0, &row);
    D3D11_MAPPED_SUBRESOURCE mapped{};
    if (FAILED(device_.context->Map(staging_.Get(), 0, D3D11_MAP_READ, 0, &mapped))) {
      return std::nullopt;
    }
    const auto* words = static_cast<const uint32_t*>(mapped.pData);
    const std::vector<uint32_t> pixels(words, words + width);
    device_.context->Unmap(staging_.Get(), 0);
    return tsl::emulation::DecodeFrameCode(pixels, width, width, 0);
  }

 private:
  tsl::GpuDevice& device_;
  ComPtr<ID3D11Texture2D> staging_;
  uint32_t width_ = 0;
  uint32_t format_ = 0;
};

double Percentile(std::vector<double> values, double q) {
  if (values.empty()) return std::nan("");
  std::sort(values.begin(), values.end());
  return values[static_cast<size_t>(static_cast<double>(values.size() - 1) * q)];
}

void SleepUntilQpc(uint64_t target) {
  for (uint64_t now = base::QpcNow(); now < target; now = base::QpcNow()) {
    const double ms = base::QpcDeltaMs(now, target, base::QpcFrequency());
    Sleep(ms >= 2.0 ? static_cast<DWORD>(ms - 1.0) : 0);
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!ParseOptions(argc, argv, o)) {
    std::fprintf(stderr,
                 "usage: tessaline_receive_bench --sender NAME [--seconds S] [--fps F] "
                 "[--stamps MAPPING]\n");
    return 2;
  }
  // As Tessaline's pace controller does for the whole process: without it a 1 ms sleep of the
  // receive thread lasts a scheduler tick (15.6 ms) on Windows.
  timeBeginPeriod(1);
  tsl::GpuDevice device;
  if (!device.Create()) {
    std::fprintf(stderr, "receivebench: no Direct3D 11 device\n");
    return 1;
  }
  tsl::FrameSlot slot;
  tsl::WeftReceiveThread receiver;
  if (!receiver.Start(&device, &slot, o.sender)) {
    std::fprintf(stderr, "receivebench: the receive thread did not start\n");
    return 1;
  }
  const ULONGLONG connect_deadline = GetTickCount64() + 20'000;
  while (!receiver.connected && GetTickCount64() < connect_deadline) Sleep(10);
  if (!receiver.connected) {
    std::fprintf(stderr, "receivebench: never connected to \"%s\"\n", o.sender.c_str());
    return 1;
  }

  std::string semaphore_name;
  weft::CountSemaphoreName(o.sender.c_str(), semaphore_name);
  const base::UniqueHandle semaphore(
      OpenSemaphoreA(SEMAPHORE_ALL_ACCESS, FALSE, semaphore_name.c_str()));
  const volatile uint64_t* stamps = nullptr;
  weft::MappedView stamp_mapping;
  if (!o.stamps.empty() && stamp_mapping.Open(o.stamps.c_str(), false)) {
    stamps = reinterpret_cast<const volatile uint64_t*>(stamp_mapping.data());
  }

  FrameNumberReader reader(device);
  const bool read_back = std::getenv("TSL_BENCH_NO_READBACK") == nullptr;
  const uint64_t frequency = base::QpcFrequency();
  const auto period = static_cast<uint64_t>(static_cast<double>(frequency) / o.fps);
  // The script samples the receive thread's CPU between this line and the result line.
  std::printf("receivebench: measuring\n");
  std::fflush(stdout);
  const long count_start = ReadFrameCount(semaphore.get());
  const uint64_t passes_start = receiver.passCount;
  const uint64_t published_start = receiver.publicationCount;
  const auto take_wait = tsl::WeftReceiveThread::TakeWaitFor(o.fps);  // as Tessaline's tick
  const uint64_t start = base::QpcNow();
  const uint64_t end = start + static_cast<uint64_t>(o.seconds * static_cast<double>(frequency));

  uint64_t ticks = 0, title_holds = 0, true_holds = 0, true_compared = 0;
  uint64_t last_version = 0;
  std::optional<uint32_t> last_number;
  std::vector<double> delays_ms;
  std::vector<double> ages_ms;
  std::vector<double> take_ms;  // how long each tick waited for its take
  uint64_t late_takes = 0;
  for (uint64_t target = start + period; target < end; target += period) {
    SleepUntilQpc(target);
    const uint64_t asked = base::QpcNow();
    if (!receiver.TakeFrameForTick(take_wait)) ++late_takes;
    take_ms.push_back(base::QpcDeltaMs(asked, base::QpcNow(), frequency));
    tsl::SlotFrame frame;
    if (!slot.Latest(frame)) continue;
    const uint64_t taken = base::QpcNow();
    const std::optional<uint32_t> number =
        read_back ? reader.Read(frame.texture.Get(), frame.width, frame.height, frame.format)
                  : std::nullopt;
    ++ticks;
    const bool new_version = frame.version != last_version;
    if (!new_version) ++title_holds;
    last_version = frame.version;
    if (number && last_number) {
      ++true_compared;
      if (*number == *last_number) ++true_holds;
    }
    // The frame a publication carried is the newest one the sender had signalled by then: the
    // receiver looks about every millisecond, and senders signal tens of milliseconds apart.
    if (new_version && stamps != nullptr && frame.published_qpc != 0) {
      uint64_t newest = 0;
      for (uint32_t i = 0; i < kStampSlots; ++i) {
        const uint64_t signalled = stamps[i];
        if (signalled <= frame.published_qpc && signalled > newest) newest = signalled;
      }
      if (newest != 0)
        delays_ms.push_back(base::QpcDeltaMs(newest, frame.published_qpc, frequency));
    }
    // A stamp from the slot's previous lap (over a second old) or later than the take means
    // the frame reached the texture before its signal was stamped: it was no older than the tick.
    if (number && stamps != nullptr) {
      const uint64_t signalled = stamps[*number % kStampSlots];
      const double age_ms = signalled != 0 && signalled <= taken
                                ? base::QpcDeltaMs(signalled, taken, frequency)
                                : 0.0;
      ages_ms.push_back(age_ms > 1000.0 ? 0.0 : age_ms);
    }
    last_number = number;
  }
  const double elapsed =
      static_cast<double>(base::QpcNow() - start) / static_cast<double>(frequency);
  const long count_end = ReadFrameCount(semaphore.get());
  const uint64_t passes = receiver.passCount - passes_start;
  const uint64_t published = receiver.publicationCount - published_start;
  const long sender_frames = count_start >= 0 && count_end >= 0 ? count_end - count_start : -1;
  std::printf(
      "receivebench: seconds=%.3f ticks=%llu sender_frames=%ld passes=%llu publications=%llu "
      "title_hold_pct=%.2f true_hold_pct=%.2f delay_p50_ms=%.3f delay_p99_ms=%.3f "
      "delay_samples=%zu age_p50_ms=%.3f age_p99_ms=%.3f age_samples=%zu take_p99_ms=%.3f "
      "late_takes=%llu\n",
      elapsed, static_cast<unsigned long long>(ticks), sender_frames,
      static_cast<unsigned long long>(passes), static_cast<unsigned long long>(published),
      ticks ? 100.0 * static_cast<double>(title_holds) / static_cast<double>(ticks) : 0.0,
      true_compared ? 100.0 * static_cast<double>(true_holds) / static_cast<double>(true_compared)
                    : 0.0,
      Percentile(delays_ms, 0.5), Percentile(delays_ms, 0.99), delays_ms.size(),
      Percentile(ages_ms, 0.5), Percentile(ages_ms, 0.99), ages_ms.size(),
      Percentile(take_ms, 0.99), static_cast<unsigned long long>(late_takes));
  std::fflush(stdout);
  // The receive thread runs on while the script reads its CPU time.
  Sleep(1000);
  receiver.Stop();
  device.Release();
  timeEndPeriod(1);
  return 0;
}
