#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "measure/pace_stats.h"

namespace tsl {

inline constexpr char kPaceLogHeader[] =
    "tick,target_qpc,wake_qpc,done_qpc,jitter_ms,cb_ms,hold,src_version";

// The pace log's bytes for these samples: the header and one row per sample, every line ending
// in CR LF on every platform, numbers in the classic locale. jitter_ms is signed here.
std::string FormatPaceLog(const std::vector<PaceSample>& samples, uint64_t qpc_frequency);

// Replaces the file at `utf8_path` with `bytes`. False when it cannot be opened, or when a write
// or the close fails (a full disk must not look like a saved log).
bool WriteFileUtf8Path(const std::string& utf8_path, const std::string& bytes);
// The same into "PATH.part", which is left for ReplaceWithPart; false (and no part left) when it
// cannot be written whole.
bool WritePartUtf8Path(const std::string& utf8_path, const std::string& bytes);
// Moves "PATH.part" over PATH (the file before stays whole until then); false when it cannot.
bool ReplaceWithPart(const std::string& utf8_path);
// Removes "PATH.part", if there is one.
void RemovePart(const std::string& utf8_path);

}  // namespace tsl
