// A Weft sender for trying Tessaline without another program: it registers a sender, publishes
// a moving test pattern at a chosen rate through a shared texture, counts frames through the
// frame-count semaphore and takes the access lock around each update, and unregisters when it
// ends.
//
//   tessaline_demo_sender.exe [--name NAME] [--fps N] [--size WxH] [--seconds S] [--emulate]
//                             [--format NAME] [--burst N] [--frame-code] [--stamps MAPPING]
//
// --format picks the pixel format by the name the title gives it (BGRA8, the default; RGBA8,
// their _sRGB and _typeless kinds, R10G10B10A2, RGBA16, RGBA16F, RGBA32F) or by its code. The
// pattern's lower quarter holds, left, a slow grey gradient (a 10-bit, 16-bit or float source
// shows it without bands only if the receiver carries its depth) and, right, patches of known
// colours: (204, 128, 51), mid grey (128) and the primaries. --burst N sends N frames at the
// given rate, then nothing for a second, over and over (a sender that stalls and catches up);
// --fps 0 publishes the first frame and then stays registered without sending another.
// --frame-code draws each frame's number as a picture (emulation/frame_code.h) instead of the
// pattern, so that a receiver can read back which frame it shows; --stamps MAPPING writes, for
// frame n, the counter time at which it was signalled into word n % 256 of a named mapping of
// 256 64-bit words, so that a receiver can measure the delay from signal to arrival.
//
// Where the platform cannot share textures (Wine answers E_NOTIMPL), it says so and publishes
// through the emulation mapping instead, which the development build tessaline_emulated.exe
// (and test builds) open.
#include <d3d11.h>
#include <dxgi.h>
#include <windows.h>
#include <wrl/client.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/tool_options.h"
#include "emulation/emulated_texture_publisher_win32.h"
#include "emulation/frame_code.h"
#include "emulation/pixel_encoding.h"
#include "tsl_version.h"
#include "weft/mapped_view_win32.h"
#include "weft/weft_names.h"
#include "weft/weft_protocol.h"
#include "weft/weft_sender_win32.h"

using Microsoft::WRL::ComPtr;

namespace {

struct Options {
  std::string name = "Larkmoor Weft Output";
  double fps = 30.0;
  uint32_t width = 1280;
  uint32_t height = 720;
  double seconds = 0.0;  // 0: until the process is ended
  bool emulate = false;
  uint32_t format = DXGI_FORMAT_B8G8R8A8_UNORM;
  uint32_t burst = 0;  // frames per burst; 0: a steady rate
  bool frame_code = false;
  std::string stamps;  // mapping name; empty: no stamps
};

constexpr uint32_t kStampSlots = 256;

constexpr double kBurstSilenceS = 1.0;

// When frame n (from 1) is due, in seconds after the start.
double FrameTime(const Options& o, uint64_t n) {
  const double period = 1.0 / o.fps;
  if (o.burst == 0) return static_cast<double>(n) * period;
  const uint64_t cycle = (n - 1) / o.burst;
  const uint64_t index = (n - 1) % o.burst;
  return static_cast<double>(cycle) * (o.burst * period + kBurstSilenceS) +
         static_cast<double>(index + 1) * period;
}

bool ParseOptions(int argc, char** argv, Options& o) {
  const auto format = [&o](const std::string& v) {
    o.format = tsl::emulation::FormatByName(v);
    return o.format != 0;
  };
  const auto size = [&o](const std::string& v) {
    unsigned w = 0, h = 0;
    char extra = 0;
    if (std::sscanf(v.c_str(), "%ux%u%c", &w, &h, &extra) != 2) return false;
    o.width = w;
    o.height = h;
    return true;
  };
  const bool read = tsl::tools::ToolOptions()
                        .Text("--name", o.name)
                        .Number("--fps", o.fps)
                        .Number("--seconds", o.seconds)
                        .Value("--size", size)
                        .Flag("--frame-code", o.frame_code)
                        .Text("--stamps", o.stamps)
                        .Flag("--emulate", o.emulate)
                        .Value("--format", format)
                        .Count("--burst", o.burst, 1)
                        .Parse(argc, argv);
  return read && !o.name.empty() && o.name.size() <= weft::kMaxNameBytes && o.fps >= 0.0 &&
         o.width > 0 && o.height > 0 && o.width <= 8192 && o.height <= 8192;
}

using tsl::emulation::Rgba;

// One pixel of the sender's format, as words.
std::vector<uint32_t> Encoded(uint32_t format, const Rgba& c) {
  std::vector<uint32_t> words;
  tsl::emulation::AppendPixel(format, c, words);
  return words;
}

Rgba FromBgra(uint32_t word) {
  return Rgba{static_cast<float>((word >> 16) & 0xFF) / 255,
              static_cast<float>((word >> 8) & 0xFF) / 255, static_cast<float>(word & 0xFF) / 255,
              static_cast<float>(word >> 24) / 255};
}

// What the pattern draws: colour bars that scroll sideways by `frame` pixels and a white bar
// sweeping down over the upper three quarters; below, a slow grey gradient and patches of known
// colours, still. Or the frame's number as a picture. Each colour is encoded once.
class Pattern {
 public:
  Pattern(uint32_t width, uint32_t height, uint32_t format, bool frame_code)
      : width_(width), height_(height), format_(format), frameCode_(frame_code) {
    static const uint32_t kBars[8] = {0xFFFFFFFF, 0xFF00FFFF, 0xFFFFFF00, 0xFF00FF00,
                                      0xFFFF00FF, 0xFF0000FF, 0xFFFF0000, 0xFF202020};  // BGRA
    for (const uint32_t bar : kBars) bars_.push_back(Encoded(format, FromBgra(bar)));
    white_ = Encoded(format, Rgba{1, 1, 1, 1});
    perPixel_ = white_.size();
    stillTop_ = frame_code ? height : height * 3 / 4;
    // 8% of full scale across half the width: in 8 bits about 20 levels, bands of 32 pixels in
    // a 1280-pixel picture.
    const uint32_t patches = width / 2;
    static const Rgba kPatches[] = {{204.0f / 255, 128.0f / 255, 51.0f / 255, 1},
                                    {128.0f / 255, 128.0f / 255, 128.0f / 255, 1},
                                    {1, 0, 0, 1},
                                    {0, 1, 0, 1},
                                    {0, 0, 1, 1}};
    for (uint32_t y = stillTop_; y < height; ++y) {
      for (uint32_t x = 0; x < width; ++x) {
        Rgba c;
        if (x < patches) {
          const float level = 0.25f + 0.08f * static_cast<float>(x) / static_cast<float>(patches);
          c = Rgba{level, level, level, 1};
        } else {
          c = kPatches[(x - patches) * 5 / (width - patches)];
        }
        tsl::emulation::AppendPixel(format, c, still_);
      }
    }
  }

  // Every pixel's words, row by row.
  void Draw(uint64_t frame, std::vector<uint32_t>& words) const {
    words.clear();
    if (frameCode_) {
      for (const uint32_t word :
           tsl::emulation::FrameCodePixels(static_cast<uint32_t>(frame & 0xFF), width_, height_)) {
        tsl::emulation::AppendPixel(format_, FromBgra(word), words);
      }
      return;
    }
    const uint32_t sweep = static_cast<uint32_t>((frame * 4) % stillTop_);
    for (uint32_t y = 0; y < stillTop_; ++y) {
      const bool bar = y >= sweep && y < sweep + height_ / 40 + 1;
      for (uint32_t x = 0; x < width_; ++x) {
        const std::vector<uint32_t>& c =
            bar ? white_ : bars_[((x + frame * 8) % width_) * 8 / width_];
        words.insert(words.end(), c.begin(), c.end());
      }
    }
    words.insert(words.end(), still_.begin(), still_.end());
  }

  // Bytes a row of the sender's texture takes.
  uint32_t RowBytes() const { return width_ * static_cast<uint32_t>(perPixel_) * 4; }

 private:
  uint32_t width_;
  uint32_t height_;
  uint32_t format_;
  bool frameCode_;
  std::vector<std::vector<uint32_t>> bars_;
  std::vector<uint32_t> white_;
  size_t perPixel_ = 1;
  uint32_t stillTop_ = 0;
  std::vector<uint32_t> still_;  // the rows below stillTop_
};

}  // namespace

constexpr char kUsage[] =
    "usage: tessaline_demo_sender [--name NAME] [--fps N] [--size WxH] [--seconds S] [--emulate]\n"
    "                             [--format NAME] [--burst N] [--frame-code] [--stamps MAPPING]\n";

constexpr char kHelp[] =
    "A Weft sender with a moving test pattern, for trying Tessaline.\n"
    "  --name NAME        the sender's name (default \"Larkmoor Weft Output\")\n"
    "  --fps N            frames per second (default 30; 0: the first frame, then nothing)\n"
    "  --size WxH         texture size (default 1280x720, at most 8192 each way)\n"
    "  --seconds S        end after S seconds (default: run until ended)\n"
    "  --emulate          publish through the emulation mapping of the development build\n"
    "  --format NAME      BGRA8 (default), RGBA8, BGRA8_sRGB, RGBA8_sRGB, BGRA8_typeless,\n"
    "                     RGBA8_typeless, R10G10B10A2, RGBA16, RGBA16F, RGBA32F, or a code\n"
    "  --burst N          N frames at the rate, then a second of nothing, over and over\n"
    "  --frame-code       draw each frame's number instead of the pattern\n"
    "  --stamps MAPPING   record when each frame was signalled (for the receive benchmark)\n";

namespace {

// The texture the frames are drawn into, on its own device, and how receivers reach it: by its
// share handle, or (where the platform cannot share) through the emulation mapping.
struct SharedTexture {
  ComPtr<ID3D11Device> device;
  ComPtr<ID3D11DeviceContext> context;
  ComPtr<ID3D11Texture2D> texture;
  DXGI_FORMAT format = DXGI_FORMAT_UNKNOWN;
  uint32_t share_handle = 0;
  bool emulated = false;
};

// "--help" or "--version" alone: prints it and gives true.
bool PrintedHelpOrVersion(int argc, char** argv) {
  if (argc != 2) return false;
  const char* arg = argv[1];
  if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0 ||
      std::strcmp(arg, "/?") == 0) {
    std::printf("tessaline_demo_sender %s\n%s%s", TSL_VERSION, kUsage, kHelp);
    return true;
  }
  if (std::strcmp(arg, "--version") == 0) {
    std::printf("tessaline_demo_sender %s\n", TSL_VERSION);
    return true;
  }
  return false;
}

bool MakeSharedTexture(const Options& o, SharedTexture& shared) {
  if (FAILED(D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr,
                               D3D11_CREATE_DEVICE_BGRA_SUPPORT, nullptr, 0, D3D11_SDK_VERSION,
                               &shared.device, nullptr, &shared.context))) {
    std::fprintf(stderr, "demo sender: no Direct3D 11 device\n");
    return false;
  }
  D3D11_TEXTURE2D_DESC desc{};
  desc.Width = o.width;
  desc.Height = o.height;
  desc.MipLevels = desc.ArraySize = 1;
  desc.Format = static_cast<DXGI_FORMAT>(o.format);
  desc.SampleDesc.Count = 1;
  desc.BindFlags = D3D11_BIND_SHADER_RESOURCE | D3D11_BIND_RENDER_TARGET;
  desc.MiscFlags = D3D11_RESOURCE_MISC_SHARED;
  if (FAILED(shared.device->CreateTexture2D(&desc, nullptr, &shared.texture))) {
    std::fprintf(stderr, "demo sender: cannot create the shared texture\n");
    return false;
  }
  shared.format = desc.Format;
  shared.emulated = o.emulate;
  if (!shared.emulated) {
    ComPtr<IDXGIResource> resource;
    HANDLE handle = nullptr;
    HRESULT hr = shared.texture.As(&resource);
    if (SUCCEEDED(hr)) hr = resource->GetSharedHandle(&handle);
    if (SUCCEEDED(hr)) {
      shared.share_handle = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(handle));
      return true;
    }
    std::printf(
        "demo sender: this platform cannot share Direct3D 11 textures (0x%08lX); publishing "
        "through the emulation mapping, which tessaline_emulated.exe opens\n",
        static_cast<unsigned long>(hr));
    shared.emulated = true;
  }
  // A value no real handle of this process has, unique per process.
  shared.share_handle = 0x40000000u | (GetCurrentProcessId() & 0xFFFFFu) << 4;
  return true;
}

// Signal times by frame number, for a receiver that measures the delay to arrival: null
// without --stamps.
bool OpenStamps(const Options& o, weft::MappedView& mapping, volatile uint64_t*& stamps) {
  stamps = nullptr;
  if (o.stamps.empty()) return true;
  if (!mapping.Create(o.stamps.c_str(), kStampSlots * sizeof(uint64_t))) {
    std::fprintf(stderr, "demo sender: cannot make the stamp mapping \"%s\"\n", o.stamps.c_str());
    return false;
  }
  stamps = reinterpret_cast<volatile uint64_t*>(mapping.data());
  return true;
}

// Frame 0, drawn before the sender is registered, so that a receiver finds a picture at once.
// The first frame is a frame like any other: counted, so that a receiver with frame counting
// knows from the start that this sender counts.
bool SendFirstFrame(const Options& o, SharedTexture& shared,
                    tsl::emulation::EmulatedTexturePublisher& publisher, weft::SenderSync& sync,
                    const Pattern& pattern, std::vector<uint32_t>& pixels) {
  pattern.Draw(0, pixels);
  shared.context->UpdateSubresource(shared.texture.Get(), 0, nullptr, pixels.data(),
                                    pattern.RowBytes(), 0);
  if (shared.emulated &&
      !publisher.Publish(shared.share_handle, o.width, o.height, shared.format, pixels)) {
    std::fprintf(stderr, "demo sender: cannot publish the emulated texture\n");
    return false;
  }
  sync.Signal();
  return true;
}

// Draws and sends frames at the options' times until --seconds have passed (or for ever);
// returns how many were sent.
uint64_t SendFrames(const Options& o, SharedTexture& shared,
                    tsl::emulation::EmulatedTexturePublisher& publisher, weft::SenderSync& sync,
                    const Pattern& pattern, std::vector<uint32_t>& pixels,
                    volatile uint64_t* stamps) {
  LARGE_INTEGER frequency, start, now;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  uint64_t frame = 0;
  for (;;) {
    QueryPerformanceCounter(&now);
    const double elapsed = static_cast<double>(now.QuadPart - start.QuadPart) /
                           static_cast<double>(frequency.QuadPart);
    if (o.seconds > 0.0 && elapsed >= o.seconds) return frame;
    if (o.fps == 0.0) {  // silent: registered, sending nothing
      Sleep(50);
      continue;
    }
    const double next = FrameTime(o, frame + 1);
    if (elapsed < next) {
      Sleep(static_cast<DWORD>((next - elapsed) * 1000.0));
      continue;
    }
    ++frame;
    pattern.Draw(frame, pixels);
    // The receiver copies under the same lock; a timeout just skips this frame's update.
    if (!sync.Lock()) continue;
    // Emulated, the frame reaches receivers through the mapping alone: our own texture is
    // shared with nobody, and updating it under the lock would only keep receivers waiting.
    if (shared.emulated) {
      publisher.Write(pixels);
    } else {
      shared.context->UpdateSubresource(shared.texture.Get(), 0, nullptr, pixels.data(),
                                        pattern.RowBytes(), 0);
      shared.context->Flush();
    }
    sync.Unlock();
    if (shared.emulated) publisher.WaitUntilRefreshed();
    if (stamps != nullptr) {
      LARGE_INTEGER signalled;
      QueryPerformanceCounter(&signalled);
      stamps[frame % kStampSlots] = static_cast<uint64_t>(signalled.QuadPart);
    }
    sync.Signal();
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (PrintedHelpOrVersion(argc, argv)) return 0;
  Options o;
  if (!ParseOptions(argc, argv, o)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  SharedTexture shared;
  if (!MakeSharedTexture(o, shared)) return 1;
  weft::SenderSync sync;
  if (!sync.Open(o.name)) {
    std::fprintf(stderr, "demo sender: cannot make the frame counter and access lock\n");
    return 1;
  }

  tsl::emulation::EmulatedTexturePublisher publisher;
  const Pattern pattern(o.width, o.height, o.format, o.frame_code);
  std::vector<uint32_t> pixels;
  if (!SendFirstFrame(o, shared, publisher, sync, pattern, pixels)) return 1;
  weft::SenderInfoRecord record;
  record.shareHandle = shared.share_handle;
  record.width = o.width;
  record.height = o.height;
  record.format = shared.format;
  weft::SenderRegistration registration;
  if (!registration.Register(o.name, record, true)) {
    std::fprintf(stderr, "demo sender: cannot register \"%s\"\n", o.name.c_str());
    return 1;
  }
  weft::MappedView stamp_mapping;
  volatile uint64_t* stamps = nullptr;
  if (!OpenStamps(o, stamp_mapping, stamps)) return 1;

  std::printf("demo sender: \"%s\" registered, %ux%u at %.2f fps, share handle 0x%08X%s\n",
              o.name.c_str(), o.width, o.height, o.fps, shared.share_handle,
              shared.emulated ? " (emulated)" : "");
  std::fflush(stdout);
  const uint64_t frames = SendFrames(o, shared, publisher, sync, pattern, pixels, stamps);
  registration.Unregister();
  std::printf("demo sender: \"%s\" unregistered after %llu frames\n", o.name.c_str(),
              static_cast<unsigned long long>(frames));
  return 0;
}
