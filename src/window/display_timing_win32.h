#pragma once

#include <windows.h>

#include "pacing/vblank_clock.h"

namespace tsl {

// What the platform says of the timing of the display the window is on: the mode's nominal
// refresh from the display configuration (the path whose source is the window's monitor) and
// the compositor's timing. Under Wine 8 the first is 0/1 and the second a made-up 60 Hz grid.
StatedTiming ReadStatedTiming(HWND window);

}  // namespace tsl
