#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "measure/display_vocabulary.h"

namespace tsl::report {

// One row of pace_log_display.csv (see src/measure/display_log.h); a field the file leaves
// empty is not known and stays 0 (counts) or NaN (milliseconds).
struct DisplayRow {
  uint64_t tick = 0;
  uint64_t published_qpc = 0;  // when the receive thread saw the frame (0: a blank)
  uint64_t present_done_qpc = 0;
  double age_present_ms = 0.0;
  uint64_t display_qpc = 0;
  double age_display_ms = 0.0;
  uint64_t refreshes = 0;
  DisplayState state = DisplayState::kNotPresented;
  // Display-locked ticks (0 and NaN elsewhere, and in logs written before these columns).
  uint64_t meant_blank_qpc = 0;
  double lead_ms = 0.0;
  uint64_t pattern_refreshes = 0;
};

// The display log that belongs to a pace log: beside it, named after it ("pace_log.csv" gives
// "pace_log_display.csv").
std::filesystem::path DisplayLogBeside(const std::filesystem::path& pace_log);

// Parses a display log; false with `error` = "NAME:LINE: what is wrong" on the first bad line.
bool ParseDisplayLog(std::string_view text, const std::string& name, std::vector<DisplayRow>& rows,
                     std::string& error);

}  // namespace tsl::report
