#pragma once

// What start-up says, and to whom: warnings on standard error (kept, for a box that may have to
// show them), a failure on standard error or, where standard error goes nowhere (started from
// a shortcut), in a box with the warnings before it.

#include <cstdint>
#include <string>

#include "app/app_config.h"

namespace tsl {

void Warn(const std::string& line);
// Says `message` (and, in a box, the warnings before it); returns the exit code 1.
int StartupFailure(const char* message);
// The monitor to start fullscreen on (-1: windowed): the one --monitor names or numbers; one
// that is not there is said, and the primary is used.
int32_t StartMonitor(const AppConfig& cfg);
// True, with the warning said, when --fps is no rate the pace controller takes. Nothing is
// computed from the rate before that is known.
bool RateRefused(const AppConfig& cfg);

}  // namespace tsl
