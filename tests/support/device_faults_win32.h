#pragma once

// Faults of the GPU for a test, through the device platform seam
// (gpu/device_platform_win32.h): a test executable that links device_faults_win32.cpp gets
// these controls in place of the real calls' certainty.

#include <cstdint>

namespace tsl::testing {

// Every device made so far reports itself removed, as after a driver reset.
void LoseDevices();
// The next `count` device creations fail as if no adapter could be used.
void RefuseDeviceCreations(uint32_t count);
// Devices made successfully so far.
uint32_t DevicesCreated();

}  // namespace tsl::testing
