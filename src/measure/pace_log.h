#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "measure/pace_stats.h"

namespace tsl {

inline constexpr char kPaceLogHeader[] =
    "tick,target_qpc,wake_qpc,done_qpc,jitter_ms,cb_ms,hold,src_version";

// The same columns one by one, for a reader that names the field it cannot read.
inline constexpr const char* kPaceLogColumns[] = {
    "tick", "target_qpc", "wake_qpc", "done_qpc", "jitter_ms", "cb_ms", "hold", "src_version"};
inline constexpr size_t kPaceLogColumnCount = std::size(kPaceLogColumns);

// True when `header` is `columns` joined by commas: the two spellings cannot drift apart.
constexpr bool HeaderSpells(const char* header, const char* const* columns, size_t count) {
  for (size_t c = 0; c < count; ++c) {
    if (c > 0 && *header++ != ',') return false;
    for (const char* name = columns[c]; *name != '\0'; ++name) {
      if (*header++ != *name) return false;
    }
  }
  return *header == '\0';
}
static_assert(HeaderSpells(kPaceLogHeader, kPaceLogColumns, kPaceLogColumnCount));

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
