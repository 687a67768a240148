#pragma once

// What a present did on the screen, in the words the tracker, the display lock, the display log,
// the overlay and the report share: the swap chain's frame statistics, how an image was
// composed, each present's state and record. Portable.

#include <cstdint>
#include <string_view>

namespace tsl {

// How the last image reached the screen, where the platform says (its media statistics).
enum class Composition : uint8_t {
  kUnknown,   // not said (no media statistics, or a composition failure)
  kComposed,  // through the compositor: a refresh after the blank it was made for
  kDirect,    // an independent flip or an overlay: at that blank
};

struct FrameStatistics {
  uint32_t present_count = 0;          // the last present shown (or images shown so far)
  uint32_t present_refresh_count = 0;  // the refresh it was first shown at
  uint32_t sync_refresh_count = 0;     // a recent vertical blank ...
  uint64_t sync_qpc = 0;               // ... and its counter time
  Composition composition = Composition::kUnknown;
};

enum class StatisticsRead {
  kOk,
  kDisjoint,     // DXGI_ERROR_FRAME_STATISTICS_DISJOINT: the history starts over
  kUnavailable,  // no statistics on this platform or swap chain
};

enum class DisplayState : uint8_t {
  kPending,       // not yet known to have left the queue
  kShown,         // placed at its refresh, on time
  kLate,          // placed at its refresh, later than it could have been
  kNeverShown,    // replaced before it reached the screen
  kUnplaced,      // left the queue, but when (and under sync interval 0, whether) it was shown is
                  // not known
  kNotMeasured,   // no statistics say anything about it
  kNotPresented,  // (display log only) the tick made no present
};

// "pending", "shown", "late", "never shown", "unplaced", "not measured", "not presented": the one
// spelling, written into the display log and read back by the report.
const char* DisplayStateName(DisplayState state);
// The state a name spells; false for any other text.
bool ParseDisplayState(std::string_view name, DisplayState& state);

// How PresentCount reads on this swap chain, as far as the data has shown.
enum class PresentCountReading : uint8_t { kUnknown, kPresentId, kImagesShown };

// Where a display-locked tick aimed its present: the blank it was meant to reach, when the tick
// was due (the blank less its lead), and the refreshes its pattern gives it. All 0 for a tick no
// display lock scheduled.
struct PresentAim {
  uint64_t blank_qpc = 0;
  uint64_t target_qpc = 0;
  uint32_t refreshes = 0;
};

struct DisplayRecord {
  uint64_t tick = 0;
  uint64_t seen_qpc = 0;     // when the receive thread saw the frame presented (0: a blank)
  uint64_t present_qpc = 0;  // when the present call returned
  uint32_t present_id = 0;
  uint32_t sync_interval = 0;
  DisplayState state = DisplayState::kPending;
  uint32_t refresh = 0;              // the refresh it was first shown at (shown, late)
  uint64_t display_qpc = 0;          // its screen time, 0 where not known
  uint32_t refreshes_on_screen = 0;  // until the next image replaced it; 0 while unknown
  PresentAim aim;
};

}  // namespace tsl
