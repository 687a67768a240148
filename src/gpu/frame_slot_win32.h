#pragma once

#include <d3d11.h>
#include <wrl/client.h>

#include <atomic>
#include <cstdint>
#include <mutex>

namespace tsl {

// One frame as the slot holds it.
struct SlotFrame {
  Microsoft::WRL::ComPtr<ID3D11Texture2D> texture;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t format = 0;
  uint64_t version = 0;
  // Counter times (base::QpcNow): when the receive thread saw the frame (the look that found its
  // signal, or the take of an uncounted sender; 0 when not given), and when it was published.
  // A frame's age runs from the first: it is as old as the sender's frame is to us.
  uint64_t seen_qpc = 0;
  uint64_t published_qpc = 0;
};

// The newest received frame and the one published before it, handed from the receive thread to
// the pace thread (a display-locked tick may keep to the older one rather than chatter between
// frames). The lock is held only for reference and field copies, never across a Direct3D device
// call.
class FrameSlot {
 public:
  // Stores the frame, stamped with `seen_qpc` and the time now, and bumps the version; the slot
  // keeps its own reference to the texture.
  void Publish(ID3D11Texture2D* texture, uint32_t width, uint32_t height, uint32_t format,
               uint64_t seen_qpc = 0);
  // False, `frame` untouched, before the first publication. Otherwise `frame` holds the newest
  // frame, with a reference to its texture (replacing the caller's if it differs).
  bool Latest(SlotFrame& frame);
  // The newest frame whose version is at most `version`, else the oldest held; false as Latest.
  bool AtMost(uint64_t version, SlotFrame& frame);
  // The versions and seen times of the newest frame and the one before it (version 0: none).
  void Stamps(uint64_t& newest_version, uint64_t& newest_seen_qpc, uint64_t& previous_version,
              uint64_t& previous_seen_qpc);
  // The format of the held frame (0 before the first), read under the lock.
  int32_t Format();
  // Lets go of the frames (their texture belongs to a device that is gone) but keeps the version
  // counting, so the next publication is a new frame. Latest is false until then.
  void Clear();

 private:
  static void CopyOut(const SlotFrame& from, SlotFrame& to);

  std::mutex mutex_;
  SlotFrame newest_;    // no texture before the first publication
  SlotFrame previous_;  // no texture until a second one
  std::atomic<uint64_t> version_{0};
};

}  // namespace tsl
