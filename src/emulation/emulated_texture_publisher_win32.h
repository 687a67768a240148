#pragma once

// The sender side of shared-texture emulation (see emulated_texture_layout.h): a sender that
// cannot share its texture publishes the description and pixels of each frame in a named
// mapping, under a share-handle value of its own choosing, and puts that value in its Weft
// record. Receivers that opened the mapping keep their texture up to date from it.

#include <windows.h>

#include <cstdint>
#include <vector>

#include "emulation/emulated_texture_layout.h"
#include "weft/mapped_view_win32.h"

namespace tsl::emulation {

class EmulatedTexturePublisher {
 public:
  EmulatedTexturePublisher() = default;
  ~EmulatedTexturePublisher() { Close(); }
  EmulatedTexturePublisher(const EmulatedTexturePublisher&) = delete;
  EmulatedTexturePublisher& operator=(const EmulatedTexturePublisher&) = delete;

  // Publishes a texture under `share_handle`, its pixels as 32-bit words row by row (one, two
  // or four a pixel, by the format's size); the mapping lives as long as
  // this object (or as long as a receiver still holds it). Publishing again under a value that
  // receivers hold rewrites the mapping in place when it is large enough, and counts as a new
  // frame for them. False when the mapping cannot be made or is too small.
  bool Publish(uint32_t share_handle, uint32_t width, uint32_t height, uint32_t format,
               const std::vector<uint32_t>& pixels);
  // A solid colour of a 4-byte format (the word as stored, for B8G8R8A8: 0xAARRGGBB).
  bool Publish(uint32_t share_handle, uint32_t width, uint32_t height, uint32_t format,
               uint32_t colour) {
    return Publish(share_handle, width, height, format,
                   std::vector<uint32_t>(static_cast<size_t>(width) * height, colour));
  }

  // Writes the next frame (same size) into the mapping: what a sender does to its shared
  // texture, so it belongs under the sender's access lock. False when nothing is published or
  // the size differs.
  bool Write(const std::vector<uint32_t>& pixels);
  // Returns once every receiver holding the mapping has copied the last written frame into its
  // texture, or after `wait_ms`. A sender calls it after giving its access lock back and before
  // it signals its frame counter, so it never signals a frame its receivers cannot see yet,
  // and the wait (which a real shared texture does not have) never holds the lock receivers
  // copy under.
  void WaitUntilRefreshed(uint32_t wait_ms = 50);
  // Write, then WaitUntilRefreshed.
  bool Update(const std::vector<uint32_t>& pixels, uint32_t wait_ms = 50) {
    if (!Write(pixels)) return false;
    WaitUntilRefreshed(wait_ms);
    return true;
  }

  const TextureDescription& Description() const { return description_; }
  void Close();

 private:
  volatile LONG* Counter(size_t offset) const;
  void WritePixels(const std::vector<uint32_t>& pixels);
  // The words of a frame of this description.
  static size_t WordsFor(const TextureDescription& d);

  weft::MappedView mapping_;
  TextureDescription description_;
};

}  // namespace tsl::emulation
