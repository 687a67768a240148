#pragma once

#include <cstdint>
#include <string>

namespace tsl {

// A sender as the machine's sender list shows it.
struct ListedSender {
  std::string name;        // 8-bit, as the list holds it
  bool have_info = false;  // its information segment could be read
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t format = 0;  // DXGI_FORMAT code
  bool active = false;  // the machine's active sender
  bool busy = false;    // its segment's lock stayed held while the list was read
};

}  // namespace tsl
