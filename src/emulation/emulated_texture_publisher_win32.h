#pragma once

// The sender side of shared-texture emulation (see emulated_texture_layout.h): a sender that
// cannot share its texture publishes the description and pixels of each frame in a named
// mapping, under a share-handle value of its own choosing, and puts that value in its Weft
// record. Receivers that opened the mapping keep their texture up to date from it.

#include <windows.h>

#include <cstdint>
#include <vector>

#include "emulation/emulated_texture_layout.h"

namespace tsl::emulation {

class EmulatedTexturePublisher {
 public:
  EmulatedTexturePublisher() = default;
  ~EmulatedTexturePublisher() { Close(); }
  EmulatedTexturePublisher(const EmulatedTexturePublisher&) = delete;
  EmulatedTexturePublisher& operator=(const EmulatedTexturePublisher&) = delete;

  // Publishes a 4-byte-per-pixel texture under `share_handle`; the mapping lives as long as
  // this object (or as long as a receiver still holds it). Publishing again under a value that
  // receivers hold rewrites the mapping in place when it is large enough, and counts as a new
  // frame for them. False when the mapping cannot be made or is too small.
  bool Publish(uint32_t share_handle, uint32_t width, uint32_t height, uint32_t format,
               const std::vector<uint32_t>& pixels);
  // A solid colour (the word as stored, for B8G8R8A8: 0xAARRGGBB).
  bool Publish(uint32_t share_handle, uint32_t width, uint32_t height, uint32_t format,
               uint32_t colour) {
    return Publish(share_handle, width, height, format,
                   std::vector<uint32_t>(static_cast<size_t>(width) * height, colour));
  }

  // Writes the next frame (same size) and returns once every receiver holding the mapping has
  // copied it into its texture, or after `wait_ms`. A sender that signals its frame counter
  // after this call therefore never signals a frame its receivers cannot see yet. False when
  // nothing is published or the size differs.
  bool Update(const std::vector<uint32_t>& pixels, uint32_t wait_ms = 50);

  const TextureDescription& Description() const { return description_; }
  void Close();

 private:
  volatile LONG* Counter(size_t offset) const;
  void WritePixels(const std::vector<uint32_t>& pixels);

  HANDLE mapping_ = nullptr;
  uint8_t* view_ = nullptr;
  TextureDescription description_;
};

}  // namespace tsl::emulation
