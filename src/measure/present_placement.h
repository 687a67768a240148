#pragma once

// Where a sample of the display's statistics puts one present, once the tracker knows the
// refresh it first reached the screen at: its screen time, counted back from the sample's blank
// by the refresh period (where that is known), and whether it was late. Portable; the present
// tracker's.

#include <cstdint>

#include "measure/display_vocabulary.h"

namespace tsl {

// Places `r` at `refresh`. Late only on evidence: later than the blank after its present call
// (where the period is known) and its sync interval after `previous`, the image shown just
// before it. Without that image placed (null), the present may have waited behind an image
// shown longer, and nobody can say. `period_qpc` 0: not known.
void PlacePresent(DisplayRecord& r, uint32_t refresh, const DisplayRecord* previous,
                  const FrameStatistics& s, double period_qpc);

// The first blank after `r`'s present call, from the sample's blank and a known period.
uint32_t FirstBlankAfterCall(const DisplayRecord& r, const FrameStatistics& s, double period_qpc);

}  // namespace tsl
