#include "app/diagnose_win32.h"

#include <windows.h>
// After windows.h.
#include <dwmapi.h>
#include <dxgi1_2.h>
#include <mmsystem.h>
#include <wrl/client.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "app/sender_menu.h"
#include "base/qpc.h"
#include "base/utf8.h"
#include "gpu/gpu_device_win32.h"
#include "pacing/pace_platform.h"
#include "render/presenter_win32.h"
#include "tsl_version.h"
#include "weft/weft_directx_win32.h"
#include "weft/weft_sender_names_win32.h"
#include "window/main_window_win32.h"
#include "window/monitor_order.h"
#include "window/monitors_win32.h"

namespace tsl {

namespace {

std::string Format(const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

void System(std::string& out) {
  using GetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
  using WineVersion = const char*(CDECL*)();
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof version;
  const auto get_version =
      reinterpret_cast<GetVersion>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
  if (get_version != nullptr && get_version(&version) == 0) {
    out += Format("system: Windows %lu.%lu.%lu\n", version.dwMajorVersion, version.dwMinorVersion,
                  version.dwBuildNumber);
  }
  const auto wine = reinterpret_cast<WineVersion>(
      reinterpret_cast<void*>(GetProcAddress(ntdll, "wine_get_version")));
  if (wine != nullptr) out += Format("system: Wine %s\n", wine());
}

void Adapters(std::string& out) {
  Microsoft::WRL::ComPtr<IDXGIFactory1> factory;
  if (FAILED(CreateDXGIFactory1(IID_PPV_ARGS(&factory)))) {
    out += "adapters: none (no DXGI factory)\n";
    return;
  }
  Microsoft::WRL::ComPtr<IDXGIAdapter1> adapter;
  for (UINT i = 0; factory->EnumAdapters1(i, &adapter) != DXGI_ERROR_NOT_FOUND; ++i) {
    DXGI_ADAPTER_DESC1 desc{};
    adapter->GetDesc1(&desc);
    out += Format("adapter %u: \"%s\" vendor 0x%04X device 0x%04X, %llu MiB of its own%s\n", i,
                  base::PrintableAscii(desc.Description).c_str(), desc.VendorId, desc.DeviceId,
                  static_cast<unsigned long long>(desc.DedicatedVideoMemory >> 20),
                  (desc.Flags & DXGI_ADAPTER_FLAG_SOFTWARE) != 0 ? " (software)" : "");
  }
}

void Displays(std::string& out) {
  const std::vector<MonitorInfo> monitors = EnumerateMonitors();
  for (size_t i = 0; i < monitors.size(); ++i) {
    const MonitorInfo& m = monitors[i];
    out += "display " +
           MonitorLine(static_cast<int32_t>(i), m.name, m.width, m.height, m.refresh_hz, m.primary);
  }
  BOOL composed = FALSE;
  const bool known = SUCCEEDED(DwmIsCompositionEnabled(&composed));
  out += Format("composition: %s\n", !known     ? "unknown"
                                     : composed ? "on (desktop composed)"
                                                : "off");
}

// Two seconds of 1 ms waits on the pace thread's own timer: how late it wakes.
void Timer(std::string& out) {
  const std::unique_ptr<PacePlatform> platform = MakeSystemPacePlatform();
  const double frequency = static_cast<double>(platform->Frequency());
  out += Format("timer: counter %.0f Hz\n", frequency);
  TIMECAPS caps{};
  if (timeGetDevCaps(&caps, sizeof caps) == MMSYSERR_NOERROR) {
    out += Format("timer: system period %u to %u ms\n", caps.wPeriodMin, caps.wPeriodMax);
  }
  if (!platform->OpenTimer()) {
    out += "timer: the pace thread's waitable timer cannot be made\n";
    return;
  }
  platform->BeginTimerResolution();
  std::vector<double> late_ms;
  const uint64_t end = platform->Now() + platform->Frequency() * 2;
  while (platform->Now() < end) {
    const uint64_t due = platform->Now() + platform->Frequency() / 1000;
    platform->ArmTimer(std::chrono::milliseconds(1));
    platform->WaitTimer();
    late_ms.push_back(base::QpcDeltaMs(due, platform->Now(), platform->Frequency()));
  }
  platform->EndTimerResolution();
  platform->CloseTimer();
  std::sort(late_ms.begin(), late_ms.end());
  const auto at = [&](double q) { return late_ms[static_cast<size_t>((late_ms.size() - 1) * q)]; };
  if (!late_ms.empty()) {
    out += Format("timer: 1 ms waits for 2 s: %zu, late by p50 %.3f ms, p99 %.3f ms, max %.3f ms\n",
                  late_ms.size(), at(0.5), at(0.99), late_ms.back());
  }
}

const char* CompositionName(Composition c) {
  switch (c) {
    case Composition::kComposed:
      return "composed";
    case Composition::kDirect:
      return "direct (independent flip or overlay)";
    default:
      return "not stated";
  }
}

// A swap chain on a small window of its own, presented a few times under vsync.
void SwapChainFeatures(std::string& out, GpuDevice& device) {
  const HWND window = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, L"STATIC",
                                      L"Tessaline diagnostic", WS_POPUP | WS_VISIBLE, 0, 0, 64, 64,
                                      nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (window == nullptr) {
    out += "swap chain: no window for it\n";
    return;
  }
  {
    Presenter presenter;
    if (!presenter.Initialize(&device, window, 2)) {
      out += "swap chain: cannot be made here\n";
    } else {
      out += Format("swap chain: waitable %s, tearing %s\n",
                    presenter.LatencyWaitable() ? "yes" : "no",
                    device.tearingSupported ? "yes" : "no");
      for (int i = 0; i < 12; ++i) presenter.PresentBlank(1);
      Sleep(100);
      FrameStatistics stats;
      const StatisticsRead read = presenter.ReadStatistics(stats);
      uint32_t last_id = 0;
      const bool have_id = presenter.LastPresentId(last_id);
      if (read == StatisticsRead::kOk) {
        out += Format(
            "frame statistics: yes (PresentCount %u after %u presents, refresh %u), "
            "composition %s\n",
            stats.present_count, have_id ? last_id : 0, stats.present_refresh_count,
            CompositionName(stats.composition));
      } else {
        out += read == StatisticsRead::kDisjoint ? "frame statistics: disjoint (try again)\n"
                                                 : "frame statistics: none on this platform\n";
      }
      presenter.Release();
    }
  }
  DestroyWindow(window);
}

void Senders(std::string& out, GpuDevice& device) {
  weftSenderNames names;
  weft::SenderSet set;
  if (!names.ReadSenderSet(set) || set.empty()) {
    out += "senders: none listed\n";
    return;
  }
  weftDirectX directx;
  for (const std::string& name : set) {
    weft::SenderInfoRecord record;
    const weftSenderNames::RecordRead read = names.PeekSenderInfo(name.c_str(), record);
    std::string line = "sender \"" + EscapedName(name) + "\": ";
    if (read == weftSenderNames::RecordRead::kNoSegment) {
      out += line + "listed, but gone\n";
      continue;
    }
    if (read == weftSenderNames::RecordRead::kBusy) {
      out += line + "busy (its record's lock is held)\n";
      continue;
    }
    line += Format("%ux%u format %u share handle 0x%08X; ", record.width, record.height,
                   record.format, record.shareHandle);
    Microsoft::WRL::ComPtr<ID3D11Texture2D> texture;
    const auto handle = reinterpret_cast<HANDLE>(weft::ShareHandleValue(record.shareHandle));
    if (device.device && record.shareHandle != 0 &&
        directx.OpenDX11shareHandle(device.device.Get(), texture.GetAddressOf(), handle)) {
      line += "its texture opens on this adapter\n";
    } else {
      line += Format("its texture does not open here (error 0x%08X)\n", directx.LastOpenError());
    }
    out += line;
  }
}

}  // namespace

std::string DiagnosticReport() {
  std::string out = "Tessaline " TSL_VERSION " diagnostic report\n";
  SYSTEMTIME now{};
  GetLocalTime(&now);
  out += Format("taken: %04u-%02u-%02u %02u:%02u:%02u local time\n", now.wYear, now.wMonth,
                now.wDay, now.wHour, now.wMinute, now.wSecond);
  System(out);
  Adapters(out);
  Displays(out);
  Timer(out);
  GpuDevice device;
  if (device.Create()) {
    out += "device: \"" + base::PrintableAscii(device.adapterName) + "\"\n";
    SwapChainFeatures(out, device);
  } else {
    out += "device: a Direct3D 11 device cannot be made\n";
  }
  Senders(out, device);
  device.Release();
  return out;
}

}  // namespace tsl
