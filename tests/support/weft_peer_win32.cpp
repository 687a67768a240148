// A scriptable Weft sender for cross-process tests. It reads one command per line on standard
// input and answers one line ("ok ..." or "err ...") on standard output:
//   create SEGMENT SIZE            create or open a segment and keep it; answers the result code
//   write SEGMENT OFFSET TEXT      write TEXT (and its NUL) into a held segment, under its lock
//   register NAME HANDLE W H FMT   create the sender's segment with its record, list the name,
//                                  make it active if no sender is active yet
//   drop NAME                      close the sender's segment, leaving the name listed (stale)
//   unlist NAME                    remove the name from the list
//   active NAME                    write the active sender name
//   publish HANDLE W H FMT RGBA    publish an emulated shared texture (hex values)
//   paint HANDLE W H FMT R G B     publish one of any format a sender shares, solid, the colour
//                                  in levels of 255 (fractions allowed)
//   ramp HANDLE W H FMT LO HI      the same, a grey rising from level LO at the left to HI at
//                                  the right
//   hold MUTEX / release MUTEX     take or give back a named mutex
//   trylock MUTEX                  try a named mutex for 67 ms: "ok" (and release) or "timeout"
//   abandon MUTEX                  take a named mutex and exit at once without releasing it
//   signal NAME N                  raise the sender's frame-count semaphore by N
//   read NAME MS                   read the sender's frame count for MS ms as fast as another
//                                  receiver can (take one, give it back); answers "ok READS
//                                  DIPS", DIPS the reads that found less than the most seen
//   frame NAME HANDLE N            draw frame N (its number as a picture, frame_code.h) into the
//                                  texture published under HANDLE, under the sender's access
//                                  mutex, then signal one frame, as a sender does per frame
//   quit
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/unique_handle_win32.h"
#include "emulation/emulated_texture_publisher_win32.h"
#include "emulation/frame_code.h"
#include "emulation/pixel_encoding.h"
#include "weft/sender_set.h"
#include "weft/weft_names.h"
#include "weft/weft_protocol.h"
#include "weft/weft_sender_names_win32.h"
#include "weft/weft_sender_win32.h"
#include "weft/weft_shared_memory_win32.h"

namespace {

std::map<std::string, std::unique_ptr<WeftSharedMemory>> segments;
std::map<std::string, base::UniqueHandle> mutexes;
// Kept open, as a sender keeps its counter and access lock alive.
std::map<std::string, weft::SenderSync> senders;
std::map<uint32_t, std::unique_ptr<tsl::emulation::EmulatedTexturePublisher>> textures;

void Reply(const std::string& text) {
  std::printf("%s\n", text.c_str());
  std::fflush(stdout);
}

WeftSharedMemory& Segment(const std::string& name) {
  auto& slot = segments[name];
  if (!slot) slot = std::make_unique<WeftSharedMemory>();
  return *slot;
}

// The sender's frame counter and access lock, made as a sender does on first use.
weft::SenderSync* Sync(const std::string& name) {
  const auto found = senders.find(name);
  if (found != senders.end()) return &found->second;
  weft::SenderSync sync;
  if (!sync.Open(name)) return nullptr;
  return &senders.emplace(name, std::move(sync)).first->second;
}

std::string Run(const std::string& line) {
  std::istringstream in(line);
  std::string command;
  in >> command;
  if (command == "create") {
    std::string name;
    int size = 0;
    in >> name >> size;
    return "ok " + std::to_string(Segment(name).Create(name.c_str(), size));
  }
  if (command == "write") {
    std::string name, text;
    size_t offset = 0;
    in >> name >> offset >> text;
    WeftSharedMemory& segment = Segment(name);
    char* view = segment.Lock();
    if (view == nullptr) return "err lock";
    std::memcpy(view + offset, text.c_str(), text.size() + 1);
    segment.Unlock();
    return "ok";
  }
  if (command == "register") {
    std::string name;
    weft::SenderInfoRecord record;
    in >> name >> std::hex >> record.shareHandle >> std::dec >> record.width >> record.height >>
        record.format;
    WeftSharedMemory& segment = Segment(name);
    if (segment.Create(name.c_str(), 4096) == WEFT_CREATE_FAILED) return "err create";
    char* view = segment.Lock();
    if (view == nullptr) return "err lock";
    weft::WriteSenderInfoRecord(record, reinterpret_cast<uint8_t*>(view));
    segment.Unlock();
    if (!weft::EditSenderList(name, true)) return "err list";
    return weft::WriteActiveSender(name, true) ? "ok" : "err active";
  }
  if (command == "drop") {
    std::string name;
    in >> name;
    segments.erase(name);
    return "ok";
  }
  if (command == "unlist") {
    std::string name;
    in >> name;
    return weft::EditSenderList(name, false) ? "ok" : "err list";
  }
  if (command == "active") {
    std::string name;
    in >> name;
    return weft::WriteActiveSender(name, false) ? "ok" : "err active";
  }
  if (command == "publish") {
    uint32_t handle = 0, width = 0, height = 0, format = 0, rgba = 0;
    in >> std::hex >> handle >> std::dec >> width >> height >> format >> std::hex >> rgba;
    auto& texture = textures[handle];
    if (!texture) texture = std::make_unique<tsl::emulation::EmulatedTexturePublisher>();
    return texture->Publish(handle, width, height, format, rgba) ? "ok" : "err publish";
  }
  if (command == "paint" || command == "ramp") {
    uint32_t handle = 0, width = 0, height = 0, format = 0;
    float first = 0, second = 0, third = 0;
    in >> std::hex >> handle >> std::dec >> width >> height >> format >> first >> second;
    if (command == "paint") in >> third;
    if (!in || width == 0) return "err arguments";
    std::vector<uint32_t> words;
    for (uint32_t y = 0; y < height; ++y) {
      for (uint32_t x = 0; x < width; ++x) {
        tsl::emulation::Rgba c{first / 255, second / 255, third / 255, 1.0f};
        if (command == "ramp") {
          const float level = first + (second - first) * static_cast<float>(x) /
                                          static_cast<float>(width > 1 ? width - 1 : 1);
          c = tsl::emulation::Rgba{level / 255, level / 255, level / 255, 1.0f};
        }
        if (!tsl::emulation::AppendPixel(format, c, words)) return "err format";
      }
    }
    auto& texture = textures[handle];
    if (!texture) texture = std::make_unique<tsl::emulation::EmulatedTexturePublisher>();
    return texture->Publish(handle, width, height, format, words) ? "ok" : "err publish";
  }
  if (command == "hold" || command == "abandon" || command == "trylock") {
    std::string name;
    in >> name;
    base::UniqueHandle mutex(CreateMutexA(nullptr, FALSE, name.c_str()));
    if (!mutex) return "err mutex";
    const DWORD wait =
        WaitForSingleObject(mutex.get(), command == "trylock" ? weft::kLockTimeoutMs : 5000);
    if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) return "timeout";
    if (command == "abandon") ExitProcess(3);
    if (command == "trylock") {
      ReleaseMutex(mutex.get());
      return "ok";
    }
    mutexes[name] = std::move(mutex);
    return "ok";
  }
  if (command == "release") {
    std::string name;
    in >> name;
    const auto it = mutexes.find(name);
    if (it == mutexes.end()) return "err not held";
    ReleaseMutex(it->second.get());
    mutexes.erase(it);
    return "ok";
  }
  if (command == "signal") {
    std::string name;
    long count = 0;
    in >> name >> count;
    weft::SenderSync* sync = Sync(name);
    if (sync == nullptr) return "err semaphore";
    return sync->Signal(count) ? "ok" : "err release";
  }
  if (command == "read") {
    std::string name, semaphore_name;
    DWORD ms = 0;
    in >> name >> ms;
    if (!weft::CountSemaphoreName(name.c_str(), semaphore_name)) return "err name";
    const base::UniqueHandle semaphore(
        OpenSemaphoreA(SEMAPHORE_ALL_ACCESS, FALSE, semaphore_name.c_str()));
    if (!semaphore) return "err semaphore";
    long reads = 0, dips = 0, most = 0;
    for (const ULONGLONG end = GetTickCount64() + ms; GetTickCount64() < end;) {
      if (WaitForSingleObject(semaphore.get(), 0) != WAIT_OBJECT_0) continue;
      LONG previous = 0;
      if (!ReleaseSemaphore(semaphore.get(), 1, &previous)) return "err release";
      ++reads;
      if (previous < most) ++dips;
      if (previous > most) most = previous;
    }
    return "ok " + std::to_string(reads) + " " + std::to_string(dips);
  }
  if (command == "frame") {
    std::string name;
    uint32_t handle = 0, number = 0;
    in >> name >> std::hex >> handle >> std::dec >> number;
    const auto it = textures.find(handle);
    if (it == textures.end()) return "err not published";
    const tsl::emulation::TextureDescription& d = it->second->Description();
    weft::SenderSync* sync = Sync(name);
    if (sync == nullptr) return "err name";
    if (!sync->Lock(5000)) return "timeout";
    const bool written =
        it->second->Write(tsl::emulation::FrameCodePixels(number, d.width, d.height));
    sync->Unlock();
    if (!written) return "err update";
    it->second->WaitUntilRefreshed();
    return sync->Signal() ? "ok" : "err release";
  }
  return "err unknown command";
}

}  // namespace

int main() {
  char line[1024];
  while (std::fgets(line, sizeof line, stdin) != nullptr) {
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (text == "quit") break;
    Reply(Run(text));
  }
  return 0;
}
