#include "measure/display_log.h"

#include <charconv>

#include "base/qpc.h"
#include "measure/pace_log.h"

namespace tsl {

namespace {

void PutUnsigned(std::string& out, uint64_t value) {
  char buffer[24];
  out.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
}

// Milliseconds with four decimals, as pace_log.csv writes them, whatever the locale.
void PutMs(std::string& out, uint64_t from, uint64_t to, uint64_t frequency) {
  char buffer[48];
  const double ms = base::QpcDeltaMs(from, to, frequency);
  out.append(buffer,
             std::to_chars(buffer, buffer + sizeof buffer, ms, std::chars_format::fixed, 4).ptr);
}

}  // namespace

std::string DisplayLogPathFor(const std::string& pace_log_path) {
  const size_t name = pace_log_path.find_last_of("/\\");
  const size_t dot = pace_log_path.rfind('.');
  const bool has_extension =
      dot != std::string::npos && (name == std::string::npos || dot > name + 1);
  if (!has_extension) return pace_log_path + "_display";
  return pace_log_path.substr(0, dot) + "_display" + pace_log_path.substr(dot);
}

std::string FormatDisplayLog(const std::vector<PaceSample>& samples,
                             const std::vector<DisplayRecord>& records, uint64_t qpc_frequency) {
  std::string out = kDisplayLogHeader;
  out += "\r\n";
  size_t r = 0;
  for (const PaceSample& s : samples) {
    while (r < records.size() && records[r].tick < s.tick) ++r;
    const DisplayRecord* d =
        r < records.size() && records[r].tick == s.tick ? &records[r] : nullptr;
    PutUnsigned(out, s.tick);
    out += ',';
    const uint64_t published = d != nullptr ? d->seen_qpc : 0;
    if (published != 0) PutUnsigned(out, published);
    out += ',';
    PutUnsigned(out, s.done_qpc);
    out += ',';
    if (published != 0) PutMs(out, published, s.done_qpc, qpc_frequency);
    out += ',';
    if (d != nullptr) PutUnsigned(out, d->present_id);
    out += ',';
    const uint64_t shown = d != nullptr ? d->display_qpc : 0;
    if (shown != 0) PutUnsigned(out, shown);
    out += ',';
    if (shown != 0 && published != 0) PutMs(out, published, shown, qpc_frequency);
    out += ',';
    if (d != nullptr && d->refreshes_on_screen != 0) PutUnsigned(out, d->refreshes_on_screen);
    out += ',';
    out += DisplayStateName(d != nullptr ? d->state : DisplayState::kNotPresented);
    out += ',';
    const bool aimed = d != nullptr && d->aim.blank_qpc != 0;
    if (aimed) PutUnsigned(out, d->aim.blank_qpc);
    out += ',';
    if (aimed) PutMs(out, d->aim.target_qpc, d->aim.blank_qpc, qpc_frequency);
    out += ',';
    if (aimed) PutUnsigned(out, d->aim.refreshes);
    out += "\r\n";
  }
  return out;
}

bool WriteTickLogs(const std::string& pace_log_path, const std::vector<PaceSample>& samples,
                   const std::vector<DisplayRecord>& records, uint64_t qpc_frequency) {
  // Both whole beside their files before either is replaced, so a failed write leaves the pair
  // before as it was.
  const std::string display_path = DisplayLogPathFor(pace_log_path);
  if (!WritePartUtf8Path(pace_log_path, FormatPaceLog(samples, qpc_frequency)) ||
      !WritePartUtf8Path(display_path, FormatDisplayLog(samples, records, qpc_frequency))) {
    RemovePart(pace_log_path);
    RemovePart(display_path);
    return false;
  }
  if (!ReplaceWithPart(pace_log_path)) {
    RemovePart(display_path);
    return false;
  }
  return ReplaceWithPart(display_path);
}

}  // namespace tsl
