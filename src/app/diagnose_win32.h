#pragma once

#include <string>

namespace tsl {

// A plain-text report for a bug report: the program's version, the system, the graphics
// adapters, each display, the timer and two seconds of its wake overshoot, what a swap chain
// offers here (waitable, tearing, frame statistics, PresentCount, composition), and each listed
// sender's record with whether its texture opens on this adapter. Changes nothing; takes a
// little over two seconds.
std::string DiagnosticReport();

}  // namespace tsl
