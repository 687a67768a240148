#pragma once

// pace_log_display.csv: what became of each tick's frame on its way to the screen, written by
// the P key beside pace_log.csv from the same ticks. pace_log.csv keeps its own layout; this
// file holds what it has no room for.
//
//   tick               the tick, as in pace_log.csv
//   published_qpc      when the receive thread saw the frame the tick presented: the look that
//                      found its signal, or the take of a sender that does not count frames
//   present_done_qpc   when the tick's present returned (pace_log.csv's done_qpc)
//   age_present_ms     present done minus published_qpc: how old the frame was when presented
//   present_id         the swap chain's id of the present
//   display_qpc        when the frame reached the screen, where the platform says so
//   age_display_ms     display minus published_qpc
//   refreshes          refreshes the frame stayed on screen (known once the next one came)
//   state              shown, late, never shown, unplaced, pending, not measured, or not
//                      presented
//   meant_blank_qpc    display-locked ticks: the blank the present was meant to reach (against
//                      display_qpc: whether it did)
//   lead_ms            ... how long before that blank the tick was due
//   pattern_refreshes  ... the refreshes its pattern gives the frame
// An empty field is one that is not known; a figure is never made up as 0. Logs written before
// the last three columns existed still read.

#include <cstdint>
#include <string>
#include <vector>

#include "measure/display_vocabulary.h"
#include "measure/pace_stats.h"

namespace tsl {

inline constexpr char kDisplayLogHeader[] =
    "tick,published_qpc,present_done_qpc,age_present_ms,present_id,display_qpc,age_display_ms,"
    "refreshes,state,meant_blank_qpc,lead_ms,pattern_refreshes";
// The header of logs written before the aim's columns.
inline constexpr char kDisplayLogHeaderWithoutAim[] =
    "tick,published_qpc,present_done_qpc,age_present_ms,present_id,display_qpc,age_display_ms,"
    "refreshes,state";

// Writes the pace log at `pace_log_path` and its display log beside it, both from the same
// ticks: the two views of what each tick did. False when either cannot be written.
bool WriteTickLogs(const std::string& pace_log_path, const std::vector<PaceSample>& samples,
                   const std::vector<DisplayRecord>& records, uint64_t qpc_frequency);

// The display log that belongs to a pace log: beside it, named after it ("pace_log.csv" gives
// "pace_log_display.csv"). The one rule for the program that writes both and the report that
// reads them; paths in UTF-8.
std::string DisplayLogPathFor(const std::string& pace_log_path);

// One row per sample, joined by tick with the tracker's records (both oldest first); every line
// ends in CR LF.
std::string FormatDisplayLog(const std::vector<PaceSample>& samples,
                             const std::vector<DisplayRecord>& records, uint64_t qpc_frequency);

}  // namespace tsl
